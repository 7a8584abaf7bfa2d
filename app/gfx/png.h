// PNG files of pictures: artwork is stored as PNG and every shell can write the composed window
// to one. A key colour, when given, is written fully transparent so the file shows the window's
// shape; reading turns transparent pixels back into that key colour.
#pragma once

#include <optional>
#include <string>

#include "app/gfx/bitmap.h"

bool SavePng(const TBitmap& picture, const std::string& fileName,
             std::optional<TColour> transparentKey = std::nullopt);
// Nothing when the file is missing or no PNG.
std::optional<TBitmap> LoadPng(const std::string& fileName,
                               std::optional<TColour> transparentKey = std::nullopt);

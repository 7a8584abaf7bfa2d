// Every picture of the main window, drawn in code: the program and its shells take them by
// resource name. Drawing is deterministic, so generated files only change with the code.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/gfx/bitmap.h"

struct TArtworkItem {
  std::string Name;
  int Width = 0;
  int Height = 0;
  // The colour that cuts the picture's shape (window, shaped buttons), when it has one: every
  // pixel outside the shape has exactly this colour and none inside does.
  std::optional<TColour> Key;
};

// The resource names with their sizes, in a fixed order.
std::vector<TArtworkItem> ArtworkCatalogue();
// The picture of that name; an empty bitmap for an unknown name.
TBitmap DrawArtwork(const std::string& name);

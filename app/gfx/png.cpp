#include "app/gfx/png.h"

#include <vector>

#include "app/gfx/stbimage.h"

bool SavePng(const TBitmap& picture, const std::string& fileName,
             std::optional<TColour> transparentKey) {
  if (picture.Empty()) return false;
  std::vector<unsigned char> rgba;
  rgba.reserve(picture.Pixels().size() * 4);
  for (const TColour& c : picture.Pixels()) {
    const bool clear = transparentKey && c == *transparentKey;
    rgba.insert(rgba.end(), {c.R, c.G, c.B, static_cast<unsigned char>(clear ? 0 : 255)});
  }
  return StbWritePng(fileName.c_str(), picture.Width(), picture.Height(), rgba.data());
}

std::optional<TBitmap> LoadPng(const std::string& fileName, std::optional<TColour> transparentKey) {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> rgba;
  if (!StbReadRgba(fileName.c_str(), width, height, rgba)) return std::nullopt;
  TBitmap picture(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const unsigned char* p = &rgba[(static_cast<size_t>(y) * width + x) * 4];
      TColour c{p[0], p[1], p[2]};
      if (transparentKey && p[3] < 128) c = *transparentKey;
      picture.SetPixel(x, y, c);
    }
  }
  return picture;
}

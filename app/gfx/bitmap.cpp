#include "app/gfx/bitmap.h"

#include <algorithm>
#include <cmath>

TBitmap::TBitmap(int width, int height, TColour fill)
    : Width_(std::max(width, 0)),
      Height_(std::max(height, 0)),
      Pixels_(static_cast<size_t>(Width_) * static_cast<size_t>(Height_), fill) {}

TColour TBitmap::Pixel(int x, int y) const {
  return Contains(x, y) ? Pixels_[static_cast<size_t>(y) * Width_ + x] : TColour{};
}

void TBitmap::SetPixel(int x, int y, TColour colour) {
  if (Contains(x, y)) Pixels_[static_cast<size_t>(y) * Width_ + x] = colour;
}

void TBitmap::BlendPixel(int x, int y, TColour colour, float coverage) {
  if (!Contains(x, y) || !(coverage > 0.0f)) return;
  if (coverage >= 1.0f) {
    SetPixel(x, y, colour);
    return;
  }
  TColour& target = Pixels_[static_cast<size_t>(y) * Width_ + x];
  auto mix = [coverage](uint8_t under, uint8_t over) {
    return static_cast<uint8_t>(std::lround(under + (over - under) * coverage));
  };
  target = TColour{mix(target.R, colour.R), mix(target.G, colour.G), mix(target.B, colour.B)};
}

namespace {

void Blend(TColour& target, TColour colour, uint8_t alpha) {
  if (alpha == 0) return;
  if (alpha == 255) {
    target = colour;
    return;
  }
  const unsigned over = alpha;
  const unsigned under = 255u - alpha;
  auto mix = [over, under](uint8_t below, uint8_t above) {
    return static_cast<uint8_t>((below * under + above * over + 127u) / 255u);
  };
  target = TColour{mix(target.R, colour.R), mix(target.G, colour.G), mix(target.B, colour.B)};
}

}  // namespace

void TBitmap::BlendPixel(int x, int y, TColour colour, uint8_t alpha) {
  if (Contains(x, y)) Blend(Pixels_[static_cast<size_t>(y) * Width_ + x], colour, alpha);
}

void TBitmap::BlendSpan(int x, int y, const uint8_t* alpha, int count, TColour colour) {
  if (y < 0 || y >= Height_) return;
  const int first = std::max(0, -x);
  const int end = std::min(count, Width_ - x);
  TColour* row = &Pixels_[static_cast<size_t>(y) * Width_];
  for (int i = first; i < end; ++i) Blend(row[x + i], colour, alpha[i]);
}

void TBitmap::Fill(TColour colour) {
  std::fill(Pixels_.begin(), Pixels_.end(), colour);
}

void TBitmap::FillRect(int left, int top, int right, int bottom, TColour colour) {
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::min(right, Width_);
  bottom = std::min(bottom, Height_);
  for (int y = top; y < bottom; ++y)
    for (int x = left; x < right; ++x) Pixels_[static_cast<size_t>(y) * Width_ + x] = colour;
}

void TBitmap::Draw(const TBitmap& source, int x, int y, std::optional<TColour> key) {
  if (!key) {
    // Row by row: read-out masks are copied in this way every second.
    const int left = std::max(x, 0);
    const int right = std::min(x + source.Width(), Width_);
    if (right <= left) return;
    for (int sy = std::max(0, -y); sy < source.Height() && y + sy < Height_; ++sy) {
      const auto from =
          source.Pixels_.begin() + static_cast<std::ptrdiff_t>(sy) * source.Width_ + (left - x);
      std::copy(from, from + (right - left),
                Pixels_.begin() + static_cast<std::ptrdiff_t>(y + sy) * Width_ + left);
    }
    return;
  }
  for (int sy = 0; sy < source.Height(); ++sy) {
    for (int sx = 0; sx < source.Width(); ++sx) {
      const TColour colour = source.Pixel(sx, sy);
      if (key && colour == *key) continue;
      SetPixel(x + sx, y + sy, colour);
    }
  }
}

TBitmap TBitmap::Crop(int left, int top, int width, int height) const {
  const int right = std::min(left + width, Width_);
  const int bottom = std::min(top + height, Height_);
  left = std::max(left, 0);
  top = std::max(top, 0);
  TBitmap part(std::max(right - left, 0), std::max(bottom - top, 0));
  for (int y = 0; y < part.Height(); ++y)
    for (int x = 0; x < part.Width(); ++x) part.SetPixel(x, y, Pixel(left + x, top + y));
  return part;
}

// The visible shape of a picture: everything except its pixels of one key colour, as a list of
// disjoint rectangles. Shells turn it into a window region (the borderless main window and the
// shaped buttons take the outline of their artwork) or use Contains for hit tests.
#pragma once

#include <cstdint>
#include <vector>

#include "app/gfx/bitmap.h"

// Right and Bottom are exclusive.
struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;

  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool Empty() const { return Right <= Left || Bottom <= Top; }
  bool operator==(const TRect&) const = default;
};

class TRegion {
 public:
  TRegion() = default;

  // Rows of non-key runs; consecutive rows with the same runs become one taller rectangle, so
  // large artwork gives a short list. Rectangles come sorted by Top, then Left, and those with
  // the same Top share their Bottom (bands, as window regions are kept).
  static TRegion OfPicture(const TBitmap& picture, TColour key);

  const std::vector<TRect>& Rects() const { return Rects_; }
  bool Empty() const { return Rects_.empty(); }
  bool Contains(int x, int y) const;
  int64_t Area() const;
  // The smallest rectangle holding the region; all zero when it is empty.
  TRect Bounds() const;

 private:
  std::vector<TRect> Rects_;
};

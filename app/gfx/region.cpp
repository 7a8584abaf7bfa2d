#include "app/gfx/region.h"

#include <algorithm>

namespace {

struct TRun {
  int Left = 0;
  int Right = 0;
  bool operator==(const TRun&) const = default;
};

// The runs of pixels in one row that are not the key colour.
void RowRuns(const TColour* row, int width, TColour key, std::vector<TRun>& runs) {
  runs.clear();
  int x = 0;
  while (x < width) {
    while (x < width && row[x] == key) ++x;
    if (x == width) break;
    const int left = x;
    while (x < width && !(row[x] == key)) ++x;
    runs.push_back(TRun{left, x});
  }
}

}  // namespace

TRegion TRegion::OfPicture(const TBitmap& picture, TColour key) {
  TRegion region;
  const int width = picture.Width();
  const int height = picture.Height();
  if (picture.Empty()) return region;

  std::vector<TRun> open;  // the runs of the band being grown
  std::vector<TRun> runs;
  int bandTop = 0;
  auto closeBand = [&](int bottom) {
    for (const TRun& run : open)
      region.Rects_.push_back(TRect{run.Left, bandTop, run.Right, bottom});
  };
  for (int y = 0; y < height; ++y) {
    RowRuns(&picture.Pixels()[static_cast<size_t>(y) * width], width, key, runs);
    if (y > 0 && runs == open) continue;
    closeBand(y);
    open.swap(runs);
    bandTop = y;
  }
  closeBand(height);
  return region;
}

bool TRegion::Contains(int x, int y) const {
  // The band holding y is the last one starting at or above it.
  auto afterBand = std::upper_bound(Rects_.begin(), Rects_.end(), y,
                                    [](int value, const TRect& r) { return value < r.Top; });
  if (afterBand == Rects_.begin()) return false;
  const TRect& last = *(afterBand - 1);
  if (y >= last.Bottom) return false;
  auto bandStart = std::lower_bound(Rects_.begin(), afterBand, last.Top,
                                    [](const TRect& r, int value) { return r.Top < value; });
  auto afterX = std::upper_bound(bandStart, afterBand, x,
                                 [](int value, const TRect& r) { return value < r.Left; });
  if (afterX == bandStart) return false;
  return x < (afterX - 1)->Right;
}

int64_t TRegion::Area() const {
  int64_t area = 0;
  for (const TRect& r : Rects_) area += static_cast<int64_t>(r.Width()) * r.Height();
  return area;
}

TRect TRegion::Bounds() const {
  if (Rects_.empty()) return TRect{};
  TRect bounds = Rects_.front();
  for (const TRect& r : Rects_) {
    bounds.Left = std::min(bounds.Left, r.Left);
    bounds.Top = std::min(bounds.Top, r.Top);
    bounds.Right = std::max(bounds.Right, r.Right);
    bounds.Bottom = std::max(bounds.Bottom, r.Bottom);
  }
  return bounds;
}

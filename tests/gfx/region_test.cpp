#include "app/gfx/region.h"

#include <gtest/gtest.h>

#include <random>

namespace {
constexpr TColour Key = Rgb(0, 0, 255);
constexpr TColour Paint = Rgb(10, 20, 30);
}  // namespace

TEST(RegionTest, PictureWithoutKeyIsItsFullRectangle) {
  const TRegion full = TRegion::OfPicture(TBitmap(644, 385, Paint), Key);
  ASSERT_EQ(full.Rects().size(), 1u);
  EXPECT_EQ(full.Rects()[0], (TRect{0, 0, 644, 385}));
  EXPECT_EQ(full.Area(), 644 * 385);

  const TRegion none = TRegion::OfPicture(TBitmap(5, 4, Key), Key);
  EXPECT_TRUE(none.Empty());
  EXPECT_EQ(none.Area(), 0);
  EXPECT_EQ(none.Bounds(), TRect{});
  EXPECT_FALSE(none.Contains(0, 0));
  EXPECT_TRUE(TRegion::OfPicture(TBitmap(), Key).Empty());
}

TEST(RegionTest, HoleSplitsOnlyItsOwnRows) {
  TBitmap picture(6, 5, Paint);
  picture.SetPixel(2, 2, Key);
  picture.SetPixel(3, 2, Key);
  const TRegion region = TRegion::OfPicture(picture, Key);
  const std::vector<TRect> expected = {{0, 0, 6, 2}, {0, 2, 2, 3}, {4, 2, 6, 3}, {0, 3, 6, 5}};
  EXPECT_EQ(region.Rects(), expected);
  EXPECT_EQ(region.Area(), 28);
  EXPECT_EQ(region.Bounds(), (TRect{0, 0, 6, 5}));
  EXPECT_FALSE(region.Contains(2, 2));
  EXPECT_FALSE(region.Contains(3, 2));
  EXPECT_TRUE(region.Contains(1, 2));
  EXPECT_TRUE(region.Contains(4, 2));
  EXPECT_TRUE(region.Contains(5, 4));
  EXPECT_FALSE(region.Contains(6, 4));
  EXPECT_FALSE(region.Contains(0, 5));
  EXPECT_FALSE(region.Contains(-1, 0));
}

// A window-shaped picture: keyed margins and a notch give three rectangles, not one per row.
TEST(RegionTest, WindowArtworkGivesACompactList) {
  TBitmap picture(644, 385, Key);
  picture.FillRect(10, 5, 634, 380, Paint);
  picture.FillRect(300, 5, 340, 25, Key);
  picture.SetPixel(633, 379, Rgb(0, 0, 254));  // near the key is not the key
  const TRegion region = TRegion::OfPicture(picture, Key);
  const std::vector<TRect> expected = {{10, 5, 300, 25}, {340, 5, 634, 25}, {10, 25, 634, 380}};
  EXPECT_EQ(region.Rects(), expected);
  EXPECT_EQ(region.Bounds(), (TRect{10, 5, 634, 380}));
}

TEST(RegionTest, MembershipMatchesThePictureForRandomPictures) {
  std::mt19937 random(7);
  for (int round = 0; round < 40; ++round) {
    const int width = 1 + static_cast<int>(random() % 40);
    const int height = 1 + static_cast<int>(random() % 30);
    // Long runs in some pictures, speckle in others, and repeated rows to merge.
    const unsigned keyShare = 1 + random() % 9;
    TBitmap picture(width, height, Paint);
    for (int y = 0; y < height; ++y) {
      if (y > 0 && random() % 3 == 0) {
        for (int x = 0; x < width; ++x) picture.SetPixel(x, y, picture.Pixel(x, y - 1));
        continue;
      }
      for (int x = 0; x < width; ++x)
        if (random() % 10 < keyShare) picture.SetPixel(x, y, Key);
    }
    const TRegion region = TRegion::OfPicture(picture, Key);
    int64_t visible = 0;
    for (int y = -1; y <= height; ++y) {
      for (int x = -1; x <= width; ++x) {
        const bool shown = picture.Contains(x, y) && !(picture.Pixel(x, y) == Key);
        visible += shown;
        ASSERT_EQ(region.Contains(x, y), shown) << round << ": " << x << "," << y;
      }
    }
    // Equal areas with exact membership means the rectangles do not overlap.
    EXPECT_EQ(region.Area(), visible);
    for (size_t i = 1; i < region.Rects().size(); ++i) {
      const TRect& a = region.Rects()[i - 1];
      const TRect& b = region.Rects()[i];
      EXPECT_TRUE(a.Top < b.Top || (a.Top == b.Top && a.Bottom == b.Bottom && a.Right <= b.Left));
    }
  }
}

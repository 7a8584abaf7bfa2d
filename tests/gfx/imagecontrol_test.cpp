#include "app/gfx/imagecontrol.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "app/gfx/sevensegment.h"

namespace {

bool Near(TColour a, TColour b) {
  return std::abs(a.R - b.R) <= 24 && std::abs(a.G - b.G) <= 24 && std::abs(a.B - b.B) <= 24;
}

TBitmap Artwork(int width, int height) {
  std::mt19937 random(3);
  TBitmap picture(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      picture.SetPixel(x, y, Rgb(random() & 255, random() & 255, random() & 255));
  return picture;
}

}  // namespace

TEST(ImageControlTest, KeyColourIsPureBlue) {
  EXPECT_EQ(TImageControl::KeyColour, Rgb(0, 0, 255));
  EXPECT_EQ(ToFrameworkColour(TImageControl::KeyColour), 16711680u);
}

TEST(ImageControlTest, MaskKeepsTheValuesDecimals) {
  EXPECT_EQ(TImageControl::MaskForValue(5, "7.5"), "888.8");
  EXPECT_EQ(TImageControl::MaskForValue(2, "12"), "88");
  EXPECT_EQ(TImageControl::MaskForValue(10, "1234.567"), "888888.888");
  EXPECT_EQ(TImageControl::MaskForValue(6, "1.2375"), "8.8888");
  EXPECT_EQ(TImageControl::MaskForValue(6, "1.2.3"), "88.888");  // the first point counts
  EXPECT_EQ(TImageControl::MaskForValue(4, "12."), "888.");
  EXPECT_EQ(TImageControl::MaskForValue(3, "3.14159"), ".88888");
  EXPECT_EQ(TImageControl::MaskForValue(3, ""), "888");
  EXPECT_EQ(TImageControl::MaskForValue(0, "5"), "");
}

// "7.5" on five digits: two dark cells, a lit 7, the point, a lit 5; where the 8 has a segment
// the value lacks, the unlit colour shows.
TEST(ImageControlTest, ValueLightsExactlyItsOwnSegments) {
  struct TCase {
    int Size;
    TColour Lit, Unlit;
  };
  const TImageControl painter;
  for (const TCase& c :
       {TCase{22, Rgb(70, 255, 10), Rgb(25, 54, 6)}, TCase{18, Rgb(242, 248, 238), Rgb(39, 39, 39)},
        TCase{16, Rgb(255, 145, 0), Rgb(47, 25, 20)}}) {
    SCOPED_TRACE(c.Size);
    TBitmap picture = Artwork(120, 40);
    const int x0 = 11, y0 = 6;
    painter.PaintValue(picture, 5, c.Size, c.Lit, "7.5", c.Unlit, x0, y0);
    const int wide = SevenSegmentAdvance('8', c.Size);
    const int cells[5] = {0, wide, 2 * wide, 3 * wide, 3 * wide + SevenSegmentAdvance('.', c.Size)};
    // Segment bits a..g and the point: nothing, nothing, 7 = a b c, the point, 5 = a c d f g.
    const int shown[5] = {0, 0, 0b0000111, 0b10000000, 0b1101101};
    for (int i = 0; i < 5; ++i) {
      for (int s = 0; s < 8; ++s) {
        const bool pointCell = i == 3;
        if (pointCell != (s == 7)) continue;
        const TPointF centre = SevenSegmentCentre(static_cast<ESegment>(s), c.Size);
        const TColour pixel = picture.Pixel(x0 + cells[i] + static_cast<int>(centre.X),
                                            y0 + static_cast<int>(centre.Y));
        const bool lit = (shown[i] >> s) & 1;
        EXPECT_TRUE(Near(pixel, lit ? c.Lit : c.Unlit)) << "cell " << i << " segment " << s;
        EXPECT_FALSE(Near(pixel, lit ? c.Unlit : c.Lit)) << "cell " << i << " segment " << s;
      }
    }
  }
}

TEST(ImageControlTest, LongValueExtendsLeftOfTheMaskAndNotRight) {
  const TImageControl painter;
  const TBitmap before = Artwork(100, 30);
  TBitmap picture = before;
  const int x0 = 40, size = 18, wide = SevenSegmentAdvance('8', size);
  painter.PaintValueOverMask(picture, "88", size, Rgb(255, 255, 255), "-1234", Rgb(40, 40, 40), x0,
                             2);
  const int right = x0 + 2 * wide;
  for (int y = 0; y < picture.Height(); ++y)
    for (int x = right; x < picture.Width(); ++x)
      ASSERT_EQ(picture.Pixel(x, y), before.Pixel(x, y)) << x << "," << y;
  // "1" falls three cells left of the mask, its upper right segment lit over the artwork.
  const TPointF b = SevenSegmentCentre(ESegment::B, size);
  EXPECT_EQ(picture.Pixel(x0 - 2 * wide + static_cast<int>(b.X), 2 + static_cast<int>(b.Y)),
            Rgb(255, 255, 255));
  // The "-" would start left of the picture: it is clipped, not wrapped or misplaced.
  painter.PaintValueOverMask(picture, "8", size, Rgb(255, 255, 255), "-12", Rgb(40, 40, 40), 5, 2);
  EXPECT_EQ(picture.Pixel(99, 29), before.Pixel(99, 29));
}

TEST(ImageControlTest, EraseThenMaskRestoresTheUnlitLook) {
  const TImageControl painter;
  TBitmap unlit = Artwork(200, 40);
  painter.PaintMask(unlit, "888888.888", 22, Rgb(25, 54, 6), 17, 5);

  TBitmap picture = unlit;
  painter.PaintValue(picture, 10, 22, Rgb(70, 255, 10), "1234.567", Rgb(25, 54, 6), 17, 5);
  EXPECT_FALSE(picture == unlit);
  painter.Erase(picture, "888888.888", 22, 17, 5);
  const TTextExtent extent = MeasureSevenSegment("888888.888", 22);
  for (int y = 0; y < picture.Height(); ++y) {
    for (int x = 0; x < picture.Width(); ++x) {
      const bool inside = x >= 17 && y >= 5 && x < 17 + extent.Width && y < 5 + extent.Height;
      ASSERT_EQ(picture.Pixel(x, y), inside ? Rgb(0, 0, 0) : unlit.Pixel(x, y)) << x << "," << y;
    }
  }
  painter.PaintMask(picture, "888888.888", 22, Rgb(25, 54, 6), 17, 5);
  EXPECT_TRUE(picture == unlit);
}

TEST(ImageControlTest, RegionOfUsesTheGivenKey) {
  const TImageControl painter;
  TBitmap button(4, 3, Rgb(0, 0, 0));
  button.SetPixel(1, 1, TImageControl::KeyColour);
  EXPECT_EQ(painter.RegionOf(button, TImageControl::KeyColour).Area(), 11);
  EXPECT_EQ(painter.RegionOf(button, Rgb(0, 0, 0)).Rects(), (std::vector<TRect>{{1, 1, 2, 2}}));
}

#include "app/gfx/sevensegment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "app/gfx/png.h"
#include "tests/support/tempdir.h"

namespace {

constexpr TColour Sentinel = Rgb(1, 2, 3);
const std::string Glyphs = "0123456789.:/- ";

}  // namespace

TEST(SevenSegmentTest, ExtentsFollowTheFixedMetrics) {
  struct TCase {
    int Size, Height, Wide, Narrow, Slash;
  };
  for (const TCase& c :
       {TCase{22, 29, 16, 8, 6}, TCase{18, 24, 13, 6, 5}, TCase{16, 21, 12, 6, 5}}) {
    SCOPED_TRACE(c.Size);
    EXPECT_EQ(MeasureSevenSegment("8", c.Size), (TTextExtent{c.Wide, c.Height}));
    for (const char wide : std::string("0123456789- x"))
      EXPECT_EQ(SevenSegmentAdvance(wide, c.Size), c.Wide) << wide;
    EXPECT_EQ(SevenSegmentAdvance('.', c.Size), c.Narrow);
    EXPECT_EQ(SevenSegmentAdvance(':', c.Size), c.Narrow);
    EXPECT_EQ(SevenSegmentAdvance('/', c.Size), c.Slash);
    EXPECT_EQ(MeasureSevenSegment("888888.888", c.Size).Width, 9 * c.Wide + c.Narrow);
    EXPECT_EQ(MeasureSevenSegment("88:88:88", c.Size).Width, 6 * c.Wide + 2 * c.Narrow);
    EXPECT_EQ(MeasureSevenSegment("8888/88/88", c.Size).Width, 8 * c.Wide + 2 * c.Slash);
  }
  EXPECT_EQ(MeasureSevenSegment("", 22), (TTextExtent{0, 0}));
  EXPECT_EQ(MeasureSevenSegment("8", 0), (TTextExtent{0, 0}));
}

TEST(SevenSegmentTest, InkStaysInsideTheExtentAndOnlyKnownGlyphsHaveInk) {
  for (const int size : {16, 18, 22, 40}) {
    for (const char c : Glyphs + "xA,") {
      SCOPED_TRACE(std::string(1, c) + " at " + std::to_string(size));
      TBitmap picture(60, 70, Sentinel);
      DrawSevenSegment(picture, 7, 5, std::string(1, c), size, Rgb(255, 255, 255));
      const TTextExtent extent = MeasureSevenSegment(std::string(1, c), size);
      int inked = 0;
      for (int y = 0; y < picture.Height(); ++y) {
        for (int x = 0; x < picture.Width(); ++x) {
          if (picture.Pixel(x, y) == Sentinel) continue;
          ++inked;
          EXPECT_TRUE(x >= 7 && y >= 5 && x < 7 + extent.Width && y < 5 + extent.Height)
              << x << "," << y;
        }
      }
      const bool blank = c == ' ' || Glyphs.find(c) == std::string::npos;
      EXPECT_EQ(inked == 0, blank);
    }
  }
}

// Drawing across the border must give exactly the visible part of the unclipped drawing.
TEST(SevenSegmentTest, ClippedDrawingMatchesTheVisiblePartOfAFullDrawing) {
  const int pad = 60;
  for (const auto& [x, y] : {std::pair{-9, -7}, std::pair{25, 20}, std::pair{-30, 15}}) {
    SCOPED_TRACE(std::to_string(x) + "," + std::to_string(y));
    TBitmap small(40, 30, Sentinel);
    TBitmap large(40 + 2 * pad, 30 + 2 * pad, Sentinel);
    DrawSevenSegment(small, x, y, "8.8:8", 22, Rgb(90, 200, 40), Rgb(5, 5, 5));
    DrawSevenSegment(large, x + pad, y + pad, "8.8:8", 22, Rgb(90, 200, 40), Rgb(5, 5, 5));
    EXPECT_TRUE(small == large.Crop(pad, pad, 40, 30));
  }
  TBitmap tiny(1, 1, Sentinel);
  DrawSevenSegment(tiny, 1, 0, "8", 22, Rgb(9, 9, 9), Rgb(0, 0, 0));
  EXPECT_EQ(tiny.Pixel(0, 0), Sentinel);
}

// Every digit's ink lies under the "8" of a read-out mask, and no two glyphs look alike.
TEST(SevenSegmentTest, EightCoversEveryDigitAndGlyphsAreDistinct) {
  const int size = 18;
  const TTextExtent cell = MeasureSevenSegment("8", size);
  auto render = [&](char c) {
    TBitmap glyph(cell.Width, cell.Height);
    DrawSevenSegment(glyph, 0, 0, std::string(1, c), size, Rgb(255, 255, 255));
    return glyph;
  };
  const TBitmap eight = render('8');
  const std::string wide = "0123456789/-";
  for (const char c : wide) {
    const TBitmap glyph = render(c);
    if (c != '/') {
      for (int y = 0; y < cell.Height; ++y)
        for (int x = 0; x < cell.Width; ++x)
          ASSERT_LE(glyph.Pixel(x, y).G, eight.Pixel(x, y).G) << c << " " << x << "," << y;
    }
    for (const char other : wide) {
      if (other == c) continue;
      EXPECT_FALSE(glyph == render(other)) << c << " vs " << other;
    }
  }
}

// A sheet of every glyph at the read-out sizes, for looking at the artwork; kept when
// KORZEM_GLYPH_SHEET names a file.
TEST(SevenSegmentTest, GlyphSheet) {
  TTempDir dir;
  TBitmap sheet(300, 90, Rgb(30, 30, 34));
  int y = 2;
  for (const int size : {16, 18, 22}) {
    DrawSevenSegment(sheet, 2, y, Glyphs, size, Rgb(70, 255, 10), Rgb(0, 0, 0));
    y += MeasureSevenSegment("8", size).Height + 2;
  }
  const char* keep = std::getenv("KORZEM_GLYPH_SHEET");
  const std::string file = keep ? std::string(keep) : dir / "glyphs.png";
  ASSERT_TRUE(SavePng(sheet, file));
  EXPECT_TRUE(LoadPng(file) == sheet);
}

// The font keeps each glyph once rasterised: drawing from its store gives the pixels of a fresh
// drawing, and the ink bounds are exactly the lit pixels.
TEST(SevenSegmentTest, StoredGlyphsDrawAsFreshOnesAndInkBoundsHoldTheLitPixels) {
  TSevenSegmentFont font;
  for (const int size : {14, 18, 22}) {
    for (const std::string text : {"8.8:8", "2026/12/09", "-1.5", " 7"}) {
      SCOPED_TRACE(text + " at " + std::to_string(size));
      TBitmap fresh(200, 40, Rgb(20, 30, 40));
      DrawSevenSegment(fresh, 3, 4, text, size, Rgb(250, 140, 0), Rgb(1, 1, 1));
      for (int pass = 0; pass < 2; ++pass) {
        TBitmap stored(200, 40, Rgb(20, 30, 40));
        font.Draw(stored, 3, 4, text, size, Rgb(250, 140, 0), Rgb(1, 1, 1));
        EXPECT_TRUE(stored == fresh) << "pass " << pass;
      }
      TBitmap ink(200, 40, Sentinel);
      DrawSevenSegment(ink, 0, 0, text, size, Rgb(255, 255, 255));
      TRect lit{200, 40, 0, 0};
      for (int y = 0; y < ink.Height(); ++y) {
        for (int x = 0; x < ink.Width(); ++x) {
          if (ink.Pixel(x, y) == Sentinel) continue;
          lit = TRect{std::min(lit.Left, x), std::min(lit.Top, y), std::max(lit.Right, x + 1),
                      std::max(lit.Bottom, y + 1)};
        }
      }
      EXPECT_EQ(SevenSegmentInkBounds(text, size), lit);
      EXPECT_EQ(font.InkBounds(text, size), lit);
    }
  }
  EXPECT_TRUE(SevenSegmentInkBounds("  ", 18).Empty());
}

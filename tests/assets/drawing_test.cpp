#include <gtest/gtest.h>

#include <cmath>

#include "assets/artwork/canvas.h"
#include "assets/artwork/strokefont.h"

using namespace artwork;

namespace {

float Sum(const TMask& m, int x0, int y0, int x1, int y1) {
  float s = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) s += m.At(x, y);
  return s;
}

}  // namespace

TEST(CanvasTest, FilledShapesCoverTheirAreaWithSoftEdgesOnly) {
  TCanvas c(20, 20, 100, 50, Rgbf(10, 10, 10));
  c.Fill(TRect{100, 50, 120, 70}, RoundRect(TRect{104, 54, 116, 66}, 0), Rgbf(200, 0, 0));
  const TBitmap b = c.ToBitmap();
  EXPECT_EQ(b.Pixel(5, 5), Rgb(200, 0, 0));     // drawing point 105,55
  EXPECT_EQ(b.Pixel(3, 10), Rgb(10, 10, 10));   // left of the square
  EXPECT_EQ(b.Pixel(4, 10), Rgb(200, 0, 0));    // first column inside
  EXPECT_EQ(b.Pixel(16, 10), Rgb(10, 10, 10));  // first column after it

  // A circle's edge pixel is a mix; its area matches pi r^2 within a pixel's worth per row.
  TMask m(c);
  m.Add(c.Window(), Circle(110, 60, 6));
  EXPECT_NEAR(Sum(m, 100, 50, 120, 70), 3.14159f * 36, 3.0f);
  EXPECT_EQ(m.At(110, 53), 0.0f);  // the row above the top
  EXPECT_EQ(m.At(110, 55), 1.0f);
  EXPECT_GT(m.At(114, 55), 0.0f);  // on the rim
  EXPECT_LT(m.At(114, 55), 1.0f);
  EXPECT_EQ(m.At(99, 60), 0.0f);  // outside the window
}

TEST(CanvasTest, BlurSpreadsCoverageWithoutLosingIt) {
  TCanvas c(40, 40);
  TMask m(c);
  m.Add(TRect{15, 15, 25, 25}, RoundRect(TRect{17, 17, 23, 23}, 1));
  const TMask soft = m.Blurred(2);
  EXPECT_NEAR(Sum(soft, 0, 0, 40, 40), Sum(m, 0, 0, 40, 40), 0.05f);
  EXPECT_GT(soft.At(14, 20), 0.0f);
  EXPECT_LT(soft.At(20, 20), m.At(20, 20));
}

TEST(CanvasTest, SampledShapeReadsBackTheShape) {
  const TCanvas window(60, 40, 10, 20);
  const TDistance shape = SmoothUnion(Circle(30, 40, 12), RoundRect(TRect{35, 25, 65, 50}, 5), 8);
  const TDistance sampled = Sampled(shape, window);
  for (float y = 20.25f; y < 60; y += 3.7f)
    for (float x = 10.1f; x < 70; x += 2.9f) EXPECT_NEAR(sampled(x, y), shape(x, y), 0.25f);
  EXPECT_FLOAT_EQ(sampled(500, 500), shape(500, 500));  // far outside: asks the shape itself
}

TEST(CanvasTest, CutOutIsExactlyTheOutsideEvenForKeyColouredPaint) {
  TCanvas c(10, 10, 0, 0, Rgbf(0, 0, 255));  // painted in the key colour on purpose
  const TBitmap b = c.ToBitmap(Circle(5, 5, 3), Rgb(0, 0, 255));
  EXPECT_EQ(b.Pixel(0, 0), Rgb(0, 0, 255));
  EXPECT_EQ(b.Pixel(5, 5), Rgb(0, 0, 254));
  TCanvas dark(4, 4);
  EXPECT_EQ(dark.ToBitmap(Circle(2, 2, 1.5f), Rgb(0, 0, 0)).Pixel(2, 2), Rgb(0, 0, 1));
}

TEST(CanvasTest, PaintsAndNoiseAreRepeatable) {
  EXPECT_EQ(Noise(3, 4, 9), Noise(3, 4, 9));
  EXPECT_NE(Noise(3, 4, 9), Noise(4, 3, 9));
  float low = 1, high = 0;
  for (int i = 0; i < 1000; ++i) {
    const float v = Noise(i, i * 7, 1);
    low = std::min(low, v), high = std::max(high, v);
  }
  EXPECT_GE(low, 0.0f);
  EXPECT_LT(high, 1.0f);
  EXPECT_GT(high - low, 0.9f);

  const TPaint ramp = Linear(0, 0, 10, 0, {{0, Rgbf(0, 0, 0)}, {1, Rgbf(100, 200, 0)}});
  EXPECT_FLOAT_EQ(ramp(5, 3).G, 100);
  EXPECT_FLOAT_EQ(ramp(-5, 0).R, 0);    // clamped before the first stop
  EXPECT_FLOAT_EQ(ramp(20, 0).R, 100);  // and after the last
  const TPaint brushed = Brushed(Solid(Rgbf(50, 50, 50)), 6, 3);
  EXPECT_FLOAT_EQ(brushed(12.5f, 7.5f).R, brushed(12.5f, 7.5f).R);
  EXPECT_LE(std::abs(brushed(12.5f, 7.5f).R - 50), 6.0f);
}

TEST(StrokeFontTest, DecodesUtf8AndKnowsItsGlyphs) {
  EXPECT_EQ(DecodeUtf8("A节 电"), std::u32string(U"A节 电"));
  for (char32_t c :
       std::u32string(U"本次节电总计自天时分重置动运行开关功率已用频压0123456789ACEGKMPRSTVWZ"))
    EXPECT_TRUE(HasGlyph(c)) << static_cast<uint32_t>(c);
  EXPECT_FALSE(HasGlyph(U'漢'));
}

TEST(StrokeFontTest, WidthFollowsTheTextAndAlignmentPlacesIt) {
  const TTextStyle style{7, 1.2f, 1.4f};
  EXPECT_EQ(TextWidth("", style), 0.0f);
  EXPECT_GT(TextWidth("KJ", style), TextWidth("K", style));
  EXPECT_FLOAT_EQ(TextWidth("kj", style), TextWidth("KJ", style));  // folded to capitals
  EXPECT_GT(TextWidth("节电", style), TextWidth("KJ", style));      // Chinese stands larger

  TCanvas c(120, 30);
  for (TAlign align : {TAlign::Left, TAlign::Centre, TAlign::Right}) {
    TMask m(c);
    AddText(m, "MHz 8", 60, 10, style, align);
    int first = 1000, last = -1;
    for (int x = 0; x < 120; ++x)
      for (int y = 0; y < 30; ++y)
        if (m.At(x, y) > 0.3f) first = std::min(first, x), last = std::max(last, x);
    ASSERT_LE(first, last);
    const float width = TextWidth("MHz 8", style);
    const float left = align == TAlign::Left     ? 60
                       : align == TAlign::Centre ? 60 - width / 2
                                                 : 60 - width;
    EXPECT_NEAR(first, left, 1.0f);
    EXPECT_NEAR(last + 1, left + width, 1.0f);
  }
}

TEST(StrokeFontTest, UnknownCharactersLeaveRoomButNoInk) {
  const TTextStyle style{6, 1.0f, 1.4f};
  TCanvas c(60, 20);
  TMask m(c);
  AddText(m, "漢I", 2, 5, style);
  const float blank = TextWidth(" I", style) - TextWidth("I", style);
  EXPECT_FLOAT_EQ(TextWidth("漢I", style), TextWidth(" I", style));
  // Only the bar of the I is inked, one blank to the right.
  for (int x = 0; x < static_cast<int>(2 + blank); ++x)
    for (int y = 0; y < 20; ++y) EXPECT_EQ(m.At(x, y), 0.0f) << x << "," << y;
  EXPECT_GT(m.At(static_cast<int>(2 + blank + 0.5f), 8), 0.5f);
}

TEST(CanvasTest, BevelLightsTheUpperLeftAndShadesTheLowerRight) {
  TCanvas c(40, 40, 0, 0, Rgbf(100, 100, 100));
  const TDistance box = RoundRect(TRect{10, 10, 30, 30}, 2);
  c.Bevel(c.Window(), box, -3, 0, Rgbf(255, 255, 255), Rgbf(0, 0, 0), 1);
  EXPECT_GT(c.Get(20, 10).R, 150);  // top edge faces the light
  EXPECT_GT(c.Get(10, 20).R, 120);  // left edge, less directly
  EXPECT_LT(c.Get(20, 29).R, 50);   // bottom edge in shadow
  EXPECT_LT(c.Get(29, 20).R, 70);
  EXPECT_FLOAT_EQ(c.Get(20, 20).R, 100);  // the middle stays
  EXPECT_FLOAT_EQ(c.Get(5, 5).R, 100);    // and so does the outside
}

TEST(CanvasTest, ShapesAreNegativeInsideAndArcsKeepTheirGap) {
  const TDistance tri = ConvexPolygon({0, 0, 10, 0, 0, 10});
  EXPECT_LT(tri(2, 2), 0);
  EXPECT_GT(tri(8, 8), 0);
  EXPECT_NEAR(tri(5, -3), 3, 1e-4);
  // The power symbol's ring: open at the top (angle -pi/2), closed at the bottom.
  const TDistance arc = Arc(0, 0, 10, 2, -1.0f, 4.14f);
  EXPECT_LT(arc(0, 10), 0);
  EXPECT_GT(arc(0, -10), 1.0f);
  EXPECT_LT(arc(10, 0), 0);
  const TDistance a = Circle(0, 0, 5), b = Circle(8, 0, 5);
  for (float x = -6; x <= 14; x += 0.5f)
    EXPECT_LE(SmoothUnion(a, b, 4)(x, 3), std::min(a(x, 3), b(x, 3)) + 1e-5f);
  EXPECT_GT(Subtract(a, b)(4.5f, 0), 0);
  EXPECT_LT(Subtract(a, b)(-3, 0), 0);
}

TEST(StrokeFontTest, ChineseStandsTallerThanCapitalsAndCentredOnThem) {
  const TTextStyle style{8, 1.0f, 1.4f};
  TCanvas c(60, 40);
  auto rows = [&](const char* text, int& top, int& bottom) {
    TMask m(c);
    AddText(m, text, 5, 15, style);
    top = 100, bottom = -1;
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 60; ++x)
        if (m.At(x, y) > 0.3f) top = std::min(top, y), bottom = std::max(bottom, y);
  };
  int latinTop = 0, latinBottom = 0, cjkTop = 0, cjkBottom = 0;
  rows("HE", latinTop, latinBottom);
  rows("重压", cjkTop, cjkBottom);
  // Capitals span y .. y + size, give or take the half pen that stands out.
  EXPECT_NEAR(latinTop, 15, 1);
  EXPECT_NEAR(latinBottom, 23, 1);
  EXPECT_LT(cjkTop, latinTop);
  EXPECT_GT(cjkBottom, latinBottom);
  EXPECT_NEAR((cjkTop + cjkBottom) / 2.0, (latinTop + latinBottom) / 2.0, 1.0);
}

#include "app/gfx/sevensegment.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Sub-rows per pixel row; coverage across a row is computed exactly, so eight rows give smooth
// slanted edges. A power of two keeps fully covered pixels at exactly 1.
constexpr int SubRows = 8;
constexpr float SubRowWeight = 1.0f / SubRows;

// Where the strokes of a cell lie at one size, in pixels from the cell's top-left corner. The
// horizontal edges are snapped to whole pixels so segments stay crisp; slanting is a shear about
// the body's bottom edge, which keeps those edges horizontal.
struct TLayout {
  float Em = 0;
  int Height = 0;
  int Advance = 0;
  int NarrowAdvance = 0;
  int SlashAdvance = 0;
  float Stroke = 0;
  float Half = 0;
  float Gap = 0;
  float Slope = 0;
  float BodyLeft = 0, BodyRight = 0, BodyTop = 0, BodyBottom = 0;
  float ColLeft = 0, ColRight = 0;
  float RowTop = 0, RowMiddle = 0, RowBottom = 0;
  float Dot = 0;
  float PointLeft = 0;
};

TLayout LayoutFor(int sizePt) {
  TLayout l;
  if (sizePt <= 0) return l;
  l.Em = static_cast<float>(sizePt) * 96.0f / 72.0f;
  l.Height = static_cast<int>(std::lround(l.Em));
  l.Advance = static_cast<int>(std::lround(l.Em * 0.545f));
  l.NarrowAdvance = static_cast<int>(std::lround(l.Em * 0.27f));
  l.SlashAdvance = static_cast<int>(std::lround(l.Em * 0.22f));
  l.Stroke = std::max(1.0f, std::round(l.Em * 0.09f));
  l.Half = l.Stroke / 2;
  l.Gap = std::max(0.4f, l.Stroke * 0.2f);
  l.Slope = 0.07f;

  const float margin = std::max(1.0f, std::round(l.Em * 0.1f));
  l.BodyTop = margin;
  l.BodyBottom = static_cast<float>(l.Height) - margin;
  l.RowTop = l.BodyTop + l.Half;
  l.RowBottom = l.BodyBottom - l.Half;
  l.RowMiddle = std::round((l.BodyTop + l.BodyBottom - l.Stroke) / 2) + l.Half;

  const float bearing = l.Em * 0.06f;
  const float lean = l.Slope * (l.BodyBottom - l.BodyTop);
  l.BodyLeft = bearing;
  l.BodyRight = static_cast<float>(l.Advance) - bearing - lean;
  l.ColLeft = l.BodyLeft + l.Half;
  l.ColRight = l.BodyRight - l.Half;

  l.Dot = l.Stroke;
  // The point sits a little left of its cell's middle, close to the digit before it, as on a
  // real display.
  l.PointLeft = std::max(0.0f, std::round((l.NarrowAdvance - l.Dot) / 2 - lean * 0.35f));
  return l;
}

struct TPolygon {
  TPointF P[6];
  int N = 0;
};

// Coverage of the visible part of a text's extent, one float per pixel.
class TCoverage {
 public:
  TCoverage(int left, int top, int right, int bottom)
      : Left_(left), Top_(top), Width_(right - left), Height_(bottom - top) {
    Cells_.assign(static_cast<size_t>(Width_) * static_cast<size_t>(Height_), 0.0f);
  }

  // Adds a convex polygon placed with its origin at ox, oy (extent coordinates).
  void AddConvex(const TPolygon& poly, float ox, float oy) {
    // Edge equations once per polygon; horizontal edges never cross a sample line.
    struct TEdge {
      float Top, Bottom, X, Step;
    };
    TEdge edges[6];
    int count = 0;
    float minY = poly.P[0].Y, maxY = poly.P[0].Y;
    for (int i = 0; i < poly.N; ++i) {
      const TPointF& p = poly.P[i];
      const TPointF& q = poly.P[i + 1 < poly.N ? i + 1 : 0];
      minY = std::min(minY, p.Y);
      maxY = std::max(maxY, p.Y);
      if (p.Y == q.Y) continue;
      const TPointF& upper = p.Y < q.Y ? p : q;
      const TPointF& lower = p.Y < q.Y ? q : p;
      edges[count++] = TEdge{upper.Y + oy, lower.Y + oy, upper.X + ox,
                             (lower.X - upper.X) / (lower.Y - upper.Y)};
    }
    const int firstRow = std::max(Top_, static_cast<int>(std::floor(minY + oy)));
    const int endRow = std::min(Top_ + Height_, static_cast<int>(std::ceil(maxY + oy)));
    for (int row = firstRow; row < endRow; ++row) {
      for (int s = 0; s < SubRows; ++s) {
        const float y = static_cast<float>(row) + (static_cast<float>(s) + 0.5f) * SubRowWeight;
        float xl = 0, xr = 0;
        bool any = false;
        for (int e = 0; e < count; ++e) {
          const TEdge& edge = edges[e];
          if (y < edge.Top || y >= edge.Bottom) continue;
          const float x = edge.X + (y - edge.Top) * edge.Step;
          xl = any ? std::min(xl, x) : x;
          xr = any ? std::max(xr, x) : x;
          any = true;
        }
        if (any && xr > xl) AddSpan(row, xl, xr);
      }
    }
  }

  void AddRect(float left, float top, float right, float bottom) {
    TPolygon box;
    box.N = 4;
    box.P[0] = {left, top};
    box.P[1] = {right, top};
    box.P[2] = {right, bottom};
    box.P[3] = {left, bottom};
    AddConvex(box, 0, 0);
  }

  // Coverage of the pixel col, row of the extent.
  float At(int col, int row) const {
    return Cells_[static_cast<size_t>(row - Top_) * Width_ + static_cast<size_t>(col - Left_)];
  }

 private:
  void AddSpan(int row, float xl, float xr) {
    xl = std::max(xl, static_cast<float>(Left_));
    xr = std::min(xr, static_cast<float>(Left_ + Width_));
    if (!(xr > xl)) return;
    float* cells = &Cells_[static_cast<size_t>(row - Top_) * Width_];
    const int first = static_cast<int>(std::floor(xl));
    const int last = std::min(static_cast<int>(std::ceil(xr)) - 1, Left_ + Width_ - 1);
    if (first == last) {
      cells[first - Left_] += (xr - xl) * SubRowWeight;
      return;
    }
    cells[first - Left_] += (static_cast<float>(first + 1) - xl) * SubRowWeight;
    for (int col = first + 1; col < last; ++col) cells[col - Left_] += SubRowWeight;
    cells[last - Left_] += (xr - static_cast<float>(last)) * SubRowWeight;
  }

  int Left_;
  int Top_;
  int Width_;
  int Height_;
  std::vector<float> Cells_;
};

TPointF Lean(const TLayout& l, float x, float y) {
  return TPointF{x + l.Slope * (l.BodyBottom - y), y};
}

TPolygon Segment(const TLayout& l, ESegment segment) {
  const float h = l.Half;
  const float g = l.Gap;
  TPolygon poly;
  poly.N = 6;
  auto horizontal = [&](float row) {
    const float a = l.ColLeft + g;
    const float b = l.ColRight - g;
    const TPointF points[6] = {{a, row}, {a + h, row - h}, {b - h, row - h},
                               {b, row}, {b - h, row + h}, {a + h, row + h}};
    for (int i = 0; i < 6; ++i) poly.P[i] = Lean(l, points[i].X, points[i].Y);
  };
  auto vertical = [&](float col, float from, float to) {
    const float a = from + g;
    const float b = to - g;
    const TPointF points[6] = {{col, a}, {col + h, a + h}, {col + h, b - h},
                               {col, b}, {col - h, b - h}, {col - h, a + h}};
    for (int i = 0; i < 6; ++i) poly.P[i] = Lean(l, points[i].X, points[i].Y);
  };
  switch (segment) {
    case ESegment::A:
      horizontal(l.RowTop);
      break;
    case ESegment::B:
      vertical(l.ColRight, l.RowTop, l.RowMiddle);
      break;
    case ESegment::C:
      vertical(l.ColRight, l.RowMiddle, l.RowBottom);
      break;
    case ESegment::D:
      horizontal(l.RowBottom);
      break;
    case ESegment::E:
      vertical(l.ColLeft, l.RowMiddle, l.RowBottom);
      break;
    case ESegment::F:
      vertical(l.ColLeft, l.RowTop, l.RowMiddle);
      break;
    case ESegment::G:
      horizontal(l.RowMiddle);
      break;
    case ESegment::Point:
      poly.N = 0;
      break;
  }
  return poly;
}

// The slash is a date separator, narrower still than the point and the colon, so a date fits
// between the labels laid out around it. It runs corner to corner of the body with the segments'
// stroke width.
TPolygon Slash(const TLayout& l) {
  const float left = 0.5f;
  const float right = static_cast<float>(l.SlashAdvance) - left;
  const float width = right - left;
  const float height = l.BodyBottom - l.BodyTop;
  const float across =
      std::min(width / 2, l.Stroke * std::sqrt(1.0f + (width * width) / (height * height)));
  TPolygon poly;
  poly.N = 4;
  poly.P[0] = {left, l.BodyBottom};
  poly.P[1] = {left + across, l.BodyBottom};
  poly.P[2] = {right, l.BodyTop};
  poly.P[3] = {right - across, l.BodyTop};
  return poly;
}

// Colon dots are upright squares on whole pixels, placed along the slant.
float ColonDotLeft(const TLayout& l, float centreY) {
  const float lean = l.Slope * (l.BodyBottom - l.BodyTop);
  const float centreX = l.NarrowAdvance / 2.0f + l.Slope * (l.BodyBottom - centreY) - lean / 2;
  return std::max(0.0f, std::round(centreX - l.Dot / 2));
}

float ColonDotTop(const TLayout& l, float centreY) {
  return std::round(centreY - l.Dot / 2);
}

void AddGlyph(TCoverage& coverage, const TLayout& l, char c, float ox) {
  switch (c) {
    case '.':
      coverage.AddRect(ox + l.PointLeft, l.BodyBottom - l.Dot, ox + l.PointLeft + l.Dot,
                       l.BodyBottom);
      return;
    case ':':
      for (const float centreY : {(l.RowTop + l.RowMiddle) / 2, (l.RowMiddle + l.RowBottom) / 2}) {
        const float left = ox + ColonDotLeft(l, centreY);
        const float top = ColonDotTop(l, centreY);
        coverage.AddRect(left, top, left + l.Dot, top + l.Dot);
      }
      return;
    case '/':
      coverage.AddConvex(Slash(l), ox, 0);
      return;
    default: {
      const uint8_t bits = SevenSegmentBits(c);
      for (int s = 0; s < 7; ++s) {
        if (bits & (1u << s)) coverage.AddConvex(Segment(l, static_cast<ESegment>(s)), ox, 0);
      }
    }
  }
}

int AdvanceIn(const TLayout& l, char c) {
  if (c == '/') return l.SlashAdvance;
  return c == '.' || c == ':' ? l.NarrowAdvance : l.Advance;
}

}  // namespace

uint8_t SevenSegmentBits(char c) {
  // Bit order a..g, then the point.
  static constexpr uint8_t Digits[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66,
                                         0x6D, 0x7D, 0x07, 0x7F, 0x6F};
  if (c >= '0' && c <= '9') return Digits[c - '0'];
  if (c == '-') return 0x40;
  if (c == '.') return 0x80;
  return 0;
}

int SevenSegmentAdvance(char c, int sizePt) {
  return AdvanceIn(LayoutFor(sizePt), c);
}

TTextExtent MeasureSevenSegment(std::string_view text, int sizePt) {
  const TLayout l = LayoutFor(sizePt);
  TTextExtent extent;
  if (text.empty()) return extent;
  for (const char c : text) extent.Width += AdvanceIn(l, c);
  extent.Height = l.Height;
  return extent;
}

void DrawSevenSegment(TBitmap& picture, int x, int y, std::string_view text, int sizePt,
                      TColour colour, std::optional<TColour> opaqueBackground) {
  TSevenSegmentFont font;
  font.Draw(picture, x, y, text, sizePt, colour, opaqueBackground);
}

TRect SevenSegmentInkBounds(std::string_view text, int sizePt) {
  TSevenSegmentFont font;
  return font.InkBounds(text, sizePt);
}

const TSevenSegmentFont::TGlyph& TSevenSegmentFont::Glyph(char c, int sizePt) {
  const auto key = std::pair{sizePt, c};
  const auto found = Glyphs_.find(key);
  if (found != Glyphs_.end()) return found->second;
  const TLayout l = LayoutFor(sizePt);
  TGlyph glyph;
  glyph.Width = AdvanceIn(l, c);
  glyph.Height = l.Height;
  TCoverage coverage(0, 0, glyph.Width, glyph.Height);
  AddGlyph(coverage, l, c, 0);
  glyph.Alpha.resize(static_cast<size_t>(glyph.Width) * static_cast<size_t>(glyph.Height));
  glyph.Ink.Left = glyph.Width;
  glyph.Ink.Top = glyph.Height;
  for (int row = 0; row < glyph.Height; ++row) {
    for (int col = 0; col < glyph.Width; ++col) {
      // Touching polygons may add up past full cover.
      const float cover = std::min(coverage.At(col, row), 1.0f);
      const auto alpha = static_cast<uint8_t>(cover >= 0.999f ? 255 : std::lround(cover * 255));
      glyph.Alpha[static_cast<size_t>(row) * static_cast<size_t>(glyph.Width) +
                  static_cast<size_t>(col)] = alpha;
      if (alpha == 0) continue;
      glyph.Ink.Left = std::min(glyph.Ink.Left, col);
      glyph.Ink.Top = std::min(glyph.Ink.Top, row);
      glyph.Ink.Right = std::max(glyph.Ink.Right, col + 1);
      glyph.Ink.Bottom = std::max(glyph.Ink.Bottom, row + 1);
    }
  }
  if (glyph.Ink.Empty()) {
    glyph.Ink = TRect{};
    glyph.Alpha.clear();
  }
  return Glyphs_.emplace(key, std::move(glyph)).first->second;
}

void TSevenSegmentFont::Draw(TBitmap& picture, int x, int y, std::string_view text, int sizePt,
                             TColour colour, std::optional<TColour> opaqueBackground) {
  const TTextExtent extent = MeasureSevenSegment(text, sizePt);
  if (extent.Width <= 0 || extent.Height <= 0) return;
  if (opaqueBackground)
    picture.FillRect(x, y, x + extent.Width, y + extent.Height, *opaqueBackground);
  int cell = x;
  for (const char c : text) {
    const TGlyph& glyph = Glyph(c, sizePt);
    // Glyphs keep inside their cells, so each is blended on its own; only the ink rows and
    // columns are visited.
    for (int row = glyph.Ink.Top; row < glyph.Ink.Bottom; ++row) {
      const uint8_t* alpha = &glyph.Alpha[static_cast<size_t>(row) * glyph.Width];
      picture.BlendSpan(cell + glyph.Ink.Left, y + row, alpha + glyph.Ink.Left,
                        glyph.Ink.Right - glyph.Ink.Left, colour);
    }
    cell += glyph.Width;
  }
}

TRect TSevenSegmentFont::InkBounds(std::string_view text, int sizePt) {
  TRect bounds;
  int cell = 0;
  for (const char c : text) {
    const TGlyph& glyph = Glyph(c, sizePt);
    if (!glyph.Ink.Empty()) {
      const TRect ink{cell + glyph.Ink.Left, glyph.Ink.Top, cell + glyph.Ink.Right,
                      glyph.Ink.Bottom};
      bounds = bounds.Empty()
                   ? ink
                   : TRect{std::min(bounds.Left, ink.Left), std::min(bounds.Top, ink.Top),
                           std::max(bounds.Right, ink.Right), std::max(bounds.Bottom, ink.Bottom)};
    }
    cell += glyph.Width;
  }
  return bounds;
}

TPointF SevenSegmentCentre(ESegment segment, int sizePt) {
  const TLayout l = LayoutFor(sizePt);
  const float midX = (l.ColLeft + l.ColRight) / 2;
  const float upper = (l.RowTop + l.RowMiddle) / 2;
  const float lower = (l.RowMiddle + l.RowBottom) / 2;
  switch (segment) {
    case ESegment::A:
      return Lean(l, midX, l.RowTop);
    case ESegment::B:
      return Lean(l, l.ColRight, upper);
    case ESegment::C:
      return Lean(l, l.ColRight, lower);
    case ESegment::D:
      return Lean(l, midX, l.RowBottom);
    case ESegment::E:
      return Lean(l, l.ColLeft, lower);
    case ESegment::F:
      return Lean(l, l.ColLeft, upper);
    case ESegment::G:
      return Lean(l, midX, l.RowMiddle);
    case ESegment::Point:
      break;
  }
  return TPointF{l.PointLeft + l.Dot / 2, l.BodyBottom - l.Dot / 2};
}

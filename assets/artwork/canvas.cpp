#include "assets/artwork/canvas.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <utility>

namespace artwork {

namespace {

constexpr float Pi = std::numbers::pi_v<float>;

float Clamp01(float v) {
  return std::clamp(v, 0.0f, 1.0f);
}

// Coverage of a pixel whose centre lies d pixels outside the edge.
float CoverageOf(float d) {
  return Clamp01(0.5f - d);
}

TRgbF AtStops(const std::vector<TStop>& stops, float t) {
  if (stops.empty()) return {};
  if (t <= stops.front().At) return stops.front().Colour;
  for (size_t i = 1; i < stops.size(); ++i) {
    if (t <= stops[i].At) {
      const float span = stops[i].At - stops[i - 1].At;
      const float k = span > 0 ? (t - stops[i - 1].At) / span : 1.0f;
      return Lerp(stops[i - 1].Colour, stops[i].Colour, k);
    }
  }
  return stops.back().Colour;
}

uint8_t ToByte(float v) {
  return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0f, 255.0f)));
}

TColour ToColour(TRgbF c) {
  return TColour{ToByte(c.R), ToByte(c.G), ToByte(c.B)};
}

// Pixel index range [first, last) covered by a span of drawing coordinates, inside a window.
std::pair<int, int> Span(float from, float to, int origin, int size) {
  const int first = std::max(static_cast<int>(std::floor(from)) - origin, 0);
  const int last = std::min(static_cast<int>(std::ceil(to)) - origin, size);
  return {first, last};
}

}  // namespace

TRgbF Lerp(TRgbF a, TRgbF b, float t) {
  return TRgbF{a.R + (b.R - a.R) * t, a.G + (b.G - a.G) * t, a.B + (b.B - a.B) * t};
}
TRgbF operator*(TRgbF c, float k) {
  return TRgbF{c.R * k, c.G * k, c.B * k};
}
TRgbF operator+(TRgbF a, TRgbF b) {
  return TRgbF{a.R + b.R, a.G + b.G, a.B + b.B};
}
TRgbF FromColour(TColour c) {
  return TRgbF{static_cast<float>(c.R), static_cast<float>(c.G), static_cast<float>(c.B)};
}

TRect Grow(const TRect& r, float by) {
  return TRect{r.Left - by, r.Top - by, r.Right + by, r.Bottom + by};
}

// ---- shapes ----

TDistance RoundRect(const TRect& r, float radius) {
  const float cx = (r.Left + r.Right) / 2;
  const float cy = (r.Top + r.Bottom) / 2;
  const float hx = (r.Right - r.Left) / 2 - radius;
  const float hy = (r.Bottom - r.Top) / 2 - radius;
  return [=](float x, float y) {
    const float qx = std::abs(x - cx) - hx;
    const float qy = std::abs(y - cy) - hy;
    const float ox = std::max(qx, 0.0f);
    const float oy = std::max(qy, 0.0f);
    return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0f) - radius;
  };
}

TDistance Circle(float cx, float cy, float radius) {
  return [=](float x, float y) { return std::hypot(x - cx, y - cy) - radius; };
}

TDistance Ellipse(float cx, float cy, float rx, float ry) {
  const float scale = std::min(rx, ry);
  return
      [=](float x, float y) { return (std::hypot((x - cx) / rx, (y - cy) / ry) - 1.0f) * scale; };
}

TDistance Ring(float cx, float cy, float radius, float width) {
  return
      [=](float x, float y) { return std::abs(std::hypot(x - cx, y - cy) - radius) - width / 2; };
}

TDistance Arc(float cx, float cy, float radius, float width, float a0, float a1) {
  const float sweep = a1 - a0;
  const float e0x = cx + radius * std::cos(a0), e0y = cy + radius * std::sin(a0);
  const float e1x = cx + radius * std::cos(a1), e1y = cy + radius * std::sin(a1);
  return [=](float x, float y) {
    float t = std::atan2(y - cy, x - cx) - a0;
    t = std::fmod(t, 2 * Pi);
    if (t < 0) t += 2 * Pi;
    if (t <= sweep) return std::abs(std::hypot(x - cx, y - cy) - radius) - width / 2;
    return std::min(std::hypot(x - e0x, y - e0y), std::hypot(x - e1x, y - e1y)) - width / 2;
  };
}

TDistance Segment(float x0, float y0, float x1, float y1, float width) {
  const float dx = x1 - x0, dy = y1 - y0;
  const float length2 = dx * dx + dy * dy;
  return [=](float x, float y) {
    float t = length2 > 0 ? ((x - x0) * dx + (y - y0) * dy) / length2 : 0.0f;
    t = Clamp01(t);
    return std::hypot(x - (x0 + t * dx), y - (y0 + t * dy)) - width / 2;
  };
}

TDistance ConvexPolygon(std::vector<float> xy) {
  return [xy = std::move(xy)](float x, float y) {
    const size_t n = xy.size() / 2;
    float d = -1e9f;
    for (size_t i = 0; i < n; ++i) {
      const size_t j = (i + 1) % n;
      const float ax = xy[2 * i], ay = xy[2 * i + 1];
      const float ex = xy[2 * j] - ax, ey = xy[2 * j + 1] - ay;
      const float length = std::hypot(ex, ey);
      if (length <= 0) continue;
      d = std::max(d, ((x - ax) * ey - (y - ay) * ex) / length);
    }
    return d;
  };
}

TDistance Union(TDistance a, TDistance b) {
  return
      [a = std::move(a), b = std::move(b)](float x, float y) { return std::min(a(x, y), b(x, y)); };
}

TDistance SmoothUnion(TDistance a, TDistance b, float k) {
  return [a = std::move(a), b = std::move(b), k](float x, float y) {
    const float da = a(x, y), db = b(x, y);
    const float h = std::max(k - std::abs(da - db), 0.0f) / k;
    return std::min(da, db) - h * h * k / 4;
  };
}

TDistance Intersect(TDistance a, TDistance b) {
  return
      [a = std::move(a), b = std::move(b)](float x, float y) { return std::max(a(x, y), b(x, y)); };
}

TDistance Subtract(TDistance a, TDistance cut) {
  return [a = std::move(a), cut = std::move(cut)](float x, float y) {
    return std::max(a(x, y), -cut(x, y));
  };
}

TDistance Offset(TDistance a, float by) {
  return [a = std::move(a), by](float x, float y) { return a(x, y) - by; };
}

// ---- paints ----

TPaint Solid(TRgbF c) {
  return [c](float, float) { return c; };
}

TPaint Linear(float x0, float y0, float x1, float y1, std::vector<TStop> stops) {
  const float dx = x1 - x0, dy = y1 - y0;
  const float length2 = dx * dx + dy * dy;
  return [=, stops = std::move(stops)](float x, float y) {
    const float t = length2 > 0 ? ((x - x0) * dx + (y - y0) * dy) / length2 : 0.0f;
    return AtStops(stops, t);
  };
}

TPaint Radial(float cx, float cy, float radius, std::vector<TStop> stops) {
  return [=, stops = std::move(stops)](float x, float y) {
    return AtStops(stops, std::hypot(x - cx, y - cy) / radius);
  };
}

float Noise(int32_t x, int32_t y, uint32_t seed) {
  uint32_t h = static_cast<uint32_t>(x) * 0x8da6b343u ^ static_cast<uint32_t>(y) * 0xd8163841u ^
               seed * 0xcb1ab31fu;
  h ^= h >> 13;
  h *= 0x5bd1e995u;
  h ^= h >> 15;
  h *= 0x27d4eb2du;
  h ^= h >> 16;
  return static_cast<float>(h >> 8) / 16777216.0f;
}

TPaint Brushed(TPaint base, float amplitude, uint32_t seed) {
  return [base = std::move(base), amplitude, seed](float x, float y) {
    const int32_t ix = static_cast<int32_t>(std::floor(x));
    const int32_t iy = static_cast<int32_t>(std::floor(y));
    // Each row is one stroke of the brush; its brightness drifts slowly along the row.
    const float row =
        0.5f * Noise(0, iy, seed) + 0.25f * (Noise(0, iy - 1, seed) + Noise(0, iy + 1, seed));
    const float position = x / 29.0f + Noise(1, iy, seed) * 50.0f;
    const float cell = std::floor(position);
    float f = position - cell;
    f = f * f * (3 - 2 * f);
    const int32_t ic = static_cast<int32_t>(cell);
    const float drift = Noise(ic, iy, seed + 1) * (1 - f) + Noise(ic + 1, iy, seed + 1) * f;
    const float fine = Noise(ix, iy, seed + 2);
    const float v = 0.5f * row + 0.3f * drift + 0.2f * fine - 0.5f;
    const float delta = v * 2 * amplitude;
    const TRgbF c = base(x, y);
    return TRgbF{c.R + delta, c.G + delta, c.B + delta};
  };
}

TPaint SpunMetal(TPaint base, float cx, float cy, float amplitude, uint32_t seed) {
  return [base = std::move(base), cx, cy, amplitude, seed](float x, float y) {
    const float r = std::hypot(x - cx, y - cy);
    const float angle = std::atan2(y - cy, x - cx);
    const int32_t ring = static_cast<int32_t>(r * 1.5f);
    const float grain = Noise(ring, 0, seed) - 0.5f;
    // Light catches the circular grain on two opposite sides.
    const float sheen = 0.5f * std::cos(2 * (angle + 0.8f));
    const float delta = (grain * 0.8f + sheen) * amplitude;
    const TRgbF c = base(x, y);
    return TRgbF{c.R + delta, c.G + delta, c.B + delta};
  };
}

// ---- mask ----

TMask::TMask(const TCanvas& window)
    : Width_(window.Width()),
      Height_(window.Height()),
      OriginX_(window.OriginX()),
      OriginY_(window.OriginY()),
      Cover_(static_cast<size_t>(Width_) * Height_, 0.0f) {}

void TMask::Add(const TRect& bounds, const TDistance& shape, float strength) {
  const auto [x0, x1] = Span(bounds.Left, bounds.Right, OriginX_, Width_);
  const auto [y0, y1] = Span(bounds.Top, bounds.Bottom, OriginY_, Height_);
  if (x0 >= x1 || y0 >= y1) return;
  for (int j = y0; j < y1; ++j) {
    for (int i = x0; i < x1; ++i) {
      const float c = CoverageOf(shape(OriginX_ + i + 0.5f, OriginY_ + j + 0.5f)) * strength;
      float& cell = Cover_[static_cast<size_t>(j) * Width_ + i];
      cell = std::max(cell, c);
    }
  }
  const TRect touched{static_cast<float>(x0 + OriginX_), static_cast<float>(y0 + OriginY_),
                      static_cast<float>(x1 + OriginX_), static_cast<float>(y1 + OriginY_)};
  if (!Any_) {
    Touched_ = touched;
    Any_ = true;
  } else {
    Touched_ =
        TRect{std::min(Touched_.Left, touched.Left), std::min(Touched_.Top, touched.Top),
              std::max(Touched_.Right, touched.Right), std::max(Touched_.Bottom, touched.Bottom)};
  }
}

TMask::TMask(const TCanvas& window, const TRect& region) {
  const TRect w = window.Window();
  const int left = static_cast<int>(std::floor(std::max(region.Left, w.Left)));
  const int top = static_cast<int>(std::floor(std::max(region.Top, w.Top)));
  const int right = static_cast<int>(std::ceil(std::min(region.Right, w.Right)));
  const int bottom = static_cast<int>(std::ceil(std::min(region.Bottom, w.Bottom)));
  OriginX_ = left;
  OriginY_ = top;
  Width_ = std::max(right - left, 0);
  Height_ = std::max(bottom - top, 0);
  Cover_.assign(static_cast<size_t>(Width_) * Height_, 0.0f);
}

float TMask::At(int x, int y) const {
  const int i = x - OriginX_, j = y - OriginY_;
  if (i < 0 || j < 0 || i >= Width_ || j >= Height_) return 0.0f;
  return Cover_[static_cast<size_t>(j) * Width_ + i];
}

void TMask::Scale(float k) {
  for (float& c : Cover_) c = Clamp01(c * k);
}

TMask TMask::Blurred(int radius) const {
  TMask out = *this;
  if (radius <= 0 || !Any_) return out;
  const TRect area = Grow(Touched_, static_cast<float>(3 * radius));
  const auto [x0, x1] = Span(area.Left, area.Right, OriginX_, Width_);
  const auto [y0, y1] = Span(area.Top, area.Bottom, OriginY_, Height_);
  std::vector<float> line;
  const float norm = 1.0f / static_cast<float>(2 * radius + 1);
  auto pass = [&](bool horizontal) {
    const int outer0 = horizontal ? y0 : x0, outer1 = horizontal ? y1 : x1;
    const int inner0 = horizontal ? x0 : y0, inner1 = horizontal ? x1 : y1;
    for (int o = outer0; o < outer1; ++o) {
      auto cell = [&](int k) -> float& {
        return horizontal ? out.Cover_[static_cast<size_t>(o) * Width_ + k]
                          : out.Cover_[static_cast<size_t>(k) * Width_ + o];
      };
      line.assign(static_cast<size_t>(inner1 - inner0), 0.0f);
      for (int k = inner0; k < inner1; ++k) line[k - inner0] = cell(k);
      for (int k = inner0; k < inner1; ++k) {
        float sum = 0;
        for (int d = -radius; d <= radius; ++d) {
          const int at = k + d;
          if (at >= inner0 && at < inner1) sum += line[at - inner0];
        }
        cell(k) = sum * norm;
      }
    }
  };
  for (int round = 0; round < 3; ++round) {
    pass(true);
    pass(false);
  }
  out.Touched_ = TRect{static_cast<float>(x0 + OriginX_), static_cast<float>(y0 + OriginY_),
                       static_cast<float>(x1 + OriginX_), static_cast<float>(y1 + OriginY_)};
  return out;
}

TDistance Sampled(const TDistance& shape, const TCanvas& window) {
  struct TField {
    int X0, Y0, W, H;
    std::vector<float> D;
  };
  auto field = std::make_shared<TField>();
  field->X0 = window.OriginX() - 1;
  field->Y0 = window.OriginY() - 1;
  field->W = window.Width() + 2;
  field->H = window.Height() + 2;
  field->D.resize(static_cast<size_t>(field->W) * field->H);
  for (int j = 0; j < field->H; ++j)
    for (int i = 0; i < field->W; ++i)
      field->D[static_cast<size_t>(j) * field->W + i] =
          shape(field->X0 + i + 0.5f, field->Y0 + j + 0.5f);
  return [field, shape](float x, float y) {
    const float fx = x - 0.5f - field->X0, fy = y - 0.5f - field->Y0;
    const int i = static_cast<int>(std::floor(fx)), j = static_cast<int>(std::floor(fy));
    if (i < 0 || j < 0 || i + 1 >= field->W || j + 1 >= field->H) return shape(x, y);
    const float tx = fx - i, ty = fy - j;
    const float* row = &field->D[static_cast<size_t>(j) * field->W + i];
    const float top = row[0] + (row[1] - row[0]) * tx;
    const float bottom = row[field->W] + (row[field->W + 1] - row[field->W]) * tx;
    return top + (bottom - top) * ty;
  };
}

// ---- canvas ----

TCanvas::TCanvas(int width, int height, int originX, int originY, TRgbF fill)
    : Width_(std::max(width, 0)),
      Height_(std::max(height, 0)),
      OriginX_(originX),
      OriginY_(originY),
      Pixels_(static_cast<size_t>(Width_) * Height_, fill) {}

TRect TCanvas::Window() const {
  return TRect{static_cast<float>(OriginX_), static_cast<float>(OriginY_),
               static_cast<float>(OriginX_ + Width_), static_cast<float>(OriginY_ + Height_)};
}

TRgbF TCanvas::Get(int x, int y) const {
  const int i = x - OriginX_, j = y - OriginY_;
  if (i < 0 || j < 0 || i >= Width_ || j >= Height_) return {};
  return Pixels_[static_cast<size_t>(j) * Width_ + i];
}

void TCanvas::Blend(int x, int y, TRgbF c, float alpha) {
  const int i = x - OriginX_, j = y - OriginY_;
  if (i < 0 || j < 0 || i >= Width_ || j >= Height_ || !(alpha > 0)) return;
  TRgbF& p = Pixels_[static_cast<size_t>(j) * Width_ + i];
  p = Lerp(p, c, std::min(alpha, 1.0f));
}

void TCanvas::Add(int x, int y, TRgbF c, float alpha) {
  const int i = x - OriginX_, j = y - OriginY_;
  if (i < 0 || j < 0 || i >= Width_ || j >= Height_ || !(alpha > 0)) return;
  TRgbF& p = Pixels_[static_cast<size_t>(j) * Width_ + i];
  p = p + c * alpha;
}

template <typename F>
void TCanvas::ForEach(const TRect& bounds, F&& f) {
  const auto [x0, x1] = Span(bounds.Left, bounds.Right, OriginX_, Width_);
  const auto [y0, y1] = Span(bounds.Top, bounds.Bottom, OriginY_, Height_);
  for (int j = y0; j < y1; ++j)
    for (int i = x0; i < x1; ++i) f(OriginX_ + i, OriginY_ + j, Pixels_[j * Width_ + i]);
}

void TCanvas::Fill(const TRect& bounds, const TDistance& shape, const TPaint& paint,
                   float opacity) {
  ForEach(bounds, [&](int x, int y, TRgbF& p) {
    const float fx = x + 0.5f, fy = y + 0.5f;
    const float c = CoverageOf(shape(fx, fy)) * opacity;
    if (c > 0) p = Lerp(p, paint(fx, fy), std::min(c, 1.0f));
  });
}

void TCanvas::Fill(const TRect& bounds, const TDistance& shape, TRgbF colour, float opacity) {
  Fill(bounds, shape, Solid(colour), opacity);
}

void TCanvas::Paint(const TMask& mask, const TPaint& paint, float opacity, bool additive) {
  ForEach(mask.Touched(), [&](int x, int y, TRgbF& p) {
    const float c = mask.At(x, y) * opacity;
    if (!(c > 0)) return;
    const TRgbF colour = paint(x + 0.5f, y + 0.5f);
    p = additive ? p + colour * c : Lerp(p, colour, std::min(c, 1.0f));
  });
}

void TCanvas::Paint(const TMask& mask, TRgbF colour, float opacity, bool additive) {
  Paint(mask, Solid(colour), opacity, additive);
}

void TCanvas::Bevel(const TRect& bounds, const TDistance& shape, float from, float to, TRgbF light,
                    TRgbF dark, float strength) {
  const float width = to - from;
  if (width <= 0) return;
  constexpr float LightX = -0.6f, LightY = -0.8f;
  ForEach(bounds, [&](int x, int y, TRgbF& p) {
    const float fx = x + 0.5f, fy = y + 0.5f;
    const float d = shape(fx, fy);
    if (d < from - 0.5f || d > to + 0.5f) return;
    const float gx = shape(fx + 0.5f, fy) - shape(fx - 0.5f, fy);
    const float gy = shape(fx, fy + 0.5f) - shape(fx, fy - 0.5f);
    const float length = std::hypot(gx, gy);
    if (length <= 0) return;
    const float facing = (gx * LightX + gy * LightY) / length;
    // Strongest at the shape's edge, fading across the band; soft at the band's far side.
    const float fade = 1.0f - std::min(std::abs(d), width) / width;
    const float inside = Clamp01(std::min(d - from + 0.5f, to - d + 0.5f));
    const float alpha = std::abs(facing) * fade * inside * strength;
    p = Lerp(p, facing > 0 ? light : dark, std::min(alpha, 1.0f));
  });
}

TBitmap TCanvas::ToBitmap() const {
  TBitmap out(Width_, Height_);
  for (int j = 0; j < Height_; ++j)
    for (int i = 0; i < Width_; ++i) out.SetPixel(i, j, ToColour(Pixels_[j * Width_ + i]));
  return out;
}

TBitmap TCanvas::ToBitmap(const TDistance& shape, TColour key) const {
  TBitmap out(Width_, Height_);
  for (int j = 0; j < Height_; ++j) {
    for (int i = 0; i < Width_; ++i) {
      if (shape(OriginX_ + i + 0.5f, OriginY_ + j + 0.5f) > 0) {
        out.SetPixel(i, j, key);
        continue;
      }
      TColour c = ToColour(Pixels_[j * Width_ + i]);
      if (c == key) c.B = key.B > 0 ? key.B - 1 : 1;
      out.SetPixel(i, j, c);
    }
  }
  return out;
}

}  // namespace artwork

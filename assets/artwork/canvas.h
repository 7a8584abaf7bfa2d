// The drawing surface the artwork is made on: floating-point colour, shapes given as signed
// distance functions (negative inside, in pixels) so every edge is anti-aliased the same way,
// and paints that colour a pixel from its position (gradients, brushed metal).
//
// A canvas is a window onto drawing coordinates: a picture that sits on the background at x, y is
// drawn by the same code as the background with the window's origin at x, y, so it matches the
// background pixel for pixel.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "app/gfx/bitmap.h"

namespace artwork {

struct TRgbF {
  float R = 0;
  float G = 0;
  float B = 0;
};

constexpr TRgbF Rgbf(float r, float g, float b) {
  return TRgbF{r, g, b};
}
constexpr TRgbF Rgbf(TColour c) {
  return TRgbF{static_cast<float>(c.R), static_cast<float>(c.G), static_cast<float>(c.B)};
}
TRgbF Lerp(TRgbF a, TRgbF b, float t);
TRgbF operator*(TRgbF c, float k);
TRgbF operator+(TRgbF a, TRgbF b);
TRgbF FromColour(TColour c);

// Left, top, right, bottom in drawing coordinates; pixel x covers [x, x + 1).
struct TRect {
  float Left = 0;
  float Top = 0;
  float Right = 0;
  float Bottom = 0;
};
TRect Grow(const TRect& r, float by);

using TDistance = std::function<float(float x, float y)>;
using TPaint = std::function<TRgbF(float x, float y)>;

// ---- shapes ----
TDistance RoundRect(const TRect& r, float radius);
TDistance Circle(float cx, float cy, float radius);
TDistance Ellipse(float cx, float cy, float rx, float ry);
// A ring of the given width centred on the circle of the given radius.
TDistance Ring(float cx, float cy, float radius, float width);
// Part of a ring from angle a0 to a1 (radians, clockwise from 3 o'clock, y down), round caps.
TDistance Arc(float cx, float cy, float radius, float width, float a0, float a1);
// A line from x0,y0 to x1,y1 of the given width with round caps.
TDistance Segment(float x0, float y0, float x1, float y1, float width);
// A convex polygon given clockwise (y down); the distance is exact enough for edge smoothing.
TDistance ConvexPolygon(std::vector<float> xy);
TDistance Union(TDistance a, TDistance b);
// Union with a fillet of radius k where the two shapes meet.
TDistance SmoothUnion(TDistance a, TDistance b, float k);
TDistance Intersect(TDistance a, TDistance b);
TDistance Subtract(TDistance a, TDistance cut);
TDistance Offset(TDistance a, float by);  // grows (by > 0) or shrinks the shape

// ---- paints ----
struct TStop {
  float At = 0;
  TRgbF Colour;
};
TPaint Solid(TRgbF c);
TPaint Linear(float x0, float y0, float x1, float y1, std::vector<TStop> stops);
TPaint Radial(float cx, float cy, float radius, std::vector<TStop> stops);
// Brushed metal: horizontal streaks around base, amplitude in colour steps, from a fixed seed.
TPaint Brushed(TPaint base, float amplitude, uint32_t seed);
// Concentric brushing for round knobs.
TPaint SpunMetal(TPaint base, float cx, float cy, float amplitude, uint32_t seed);

// A repeatable value in [0, 1) for integer coordinates and a seed.
float Noise(int32_t x, int32_t y, uint32_t seed);

class TCanvas;

// Coverage 0..1 per pixel of a canvas's window, built from shapes and strokes; painted later
// (several strokes of a word must not darken each other where they overlap).
class TMask {
 public:
  explicit TMask(const TCanvas& window);
  // Only the part of the canvas's window inside region: masks of small things stay small.
  TMask(const TCanvas& window, const TRect& region);
  void Add(const TRect& bounds, const TDistance& shape, float strength = 1.0f);
  float At(int x, int y) const;  // drawing coordinates, 0 outside the window
  // Box blur applied three times (close to a Gaussian), for glows and soft shadows.
  TMask Blurred(int radius) const;
  void Scale(float k);
  const TRect& Touched() const { return Touched_; }

 private:
  int Width_, Height_, OriginX_, OriginY_;
  std::vector<float> Cover_;
  TRect Touched_{};
  bool Any_ = false;
};

// The shape sampled once at every pixel centre of the canvas's window (and a pixel around it),
// read back by bilinear interpolation: for shapes built from many parts that several passes use.
TDistance Sampled(const TDistance& shape, const TCanvas& window);

class TCanvas {
 public:
  TCanvas(int width, int height, int originX = 0, int originY = 0, TRgbF fill = {});
  int Width() const { return Width_; }
  int Height() const { return Height_; }
  int OriginX() const { return OriginX_; }
  int OriginY() const { return OriginY_; }
  TRect Window() const;

  TRgbF Get(int x, int y) const;  // drawing coordinates
  void Blend(int x, int y, TRgbF c, float alpha);
  void Add(int x, int y, TRgbF c, float alpha);

  void Fill(const TRect& bounds, const TDistance& shape, const TPaint& paint, float opacity = 1.0f);
  void Fill(const TRect& bounds, const TDistance& shape, TRgbF colour, float opacity = 1.0f);
  // Blends paint through the mask; additive for light (glows, lit segments on black).
  void Paint(const TMask& mask, const TPaint& paint, float opacity = 1.0f, bool additive = false);
  void Paint(const TMask& mask, TRgbF colour, float opacity = 1.0f, bool additive = false);
  // Lights and darkens a band along a shape's edge as if lit from the upper left: inner band
  // (from -width to 0) for raised parts, outer band (0 to width) for recesses.
  void Bevel(const TRect& bounds, const TDistance& shape, float from, float to, TRgbF light,
             TRgbF dark, float strength);

  TBitmap ToBitmap() const;
  // Pixels whose centre lies outside shape become key; a pixel inside that would come out as the
  // key is moved one step off it, so the cut-out is exactly the outside.
  TBitmap ToBitmap(const TDistance& shape, TColour key) const;

 private:
  template <typename F>
  void ForEach(const TRect& bounds, F&& f);

  int Width_, Height_, OriginX_, OriginY_;
  std::vector<TRgbF> Pixels_;
};

}  // namespace artwork

#include "assets/artwork/parts.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace artwork {

namespace {
constexpr float Pi = std::numbers::pi_v<float>;
}

void DrawText(TCanvas& canvas, std::string_view text, float x, float y, const TTextStyle& style,
              TRgbF colour, TAlign align, float glow) {
  const float width = TextWidth(text, style);
  const float left = align == TAlign::Left     ? x
                     : align == TAlign::Centre ? x - width / 2
                                               : x - width;
  const float reach = style.Size + 2;
  TMask mask(canvas, TRect{left - reach, y - reach, left + width + reach, y + style.Size + reach});
  AddText(mask, text, x, y, style, align);
  if (glow > 0) {
    const int radius = std::max(1, static_cast<int>(style.Size / 6));
    canvas.Paint(mask.Blurred(radius), colour, glow, true);
  }
  canvas.Paint(mask, colour);
}

void DrawEngraved(TCanvas& canvas, std::string_view text, float x, float y, const TTextStyle& style,
                  TRgbF colour, TAlign align) {
  const float width = TextWidth(text, style);
  const float reach = style.Size + width + 2;
  TMask mask(canvas, TRect{x - reach, y - reach, x + reach, y + style.Size + reach});
  AddText(mask, text, x + 0.8f, y + 0.9f, style, align);
  canvas.Paint(mask, palette::Shadow, 0.8f);
  DrawText(canvas, text, x, y, style, colour, align);
}

void DrawLed(TCanvas& canvas, float cx, float cy, float radius, TRgbF colour, bool lit) {
  const TRect box = Grow(TRect{cx, cy, cx, cy}, radius + 6);
  // Socket: a dark ring sunk into the panel.
  canvas.Fill(box, Circle(cx, cy, radius + 1.2f), Rgbf(12, 13, 14));
  if (lit) {
    TMask halo(canvas, Grow(box, 6));
    halo.Add(box, Circle(cx, cy, radius + 0.5f));
    canvas.Paint(halo.Blurred(2), colour, 0.55f, true);
    canvas.Fill(box, Circle(cx, cy, radius),
                Radial(cx - radius * 0.3f, cy - radius * 0.35f, radius * 1.4f,
                       {{0.0f, Lerp(colour, Rgbf(255, 255, 255), 0.75f)},
                        {0.45f, colour},
                        {1.0f, colour * 0.55f}}));
  } else {
    canvas.Fill(box, Circle(cx, cy, radius),
                Radial(cx - radius * 0.3f, cy - radius * 0.35f, radius * 1.4f,
                       {{0.0f, colour * 0.32f}, {1.0f, colour * 0.1f}}));
  }
  // Glass highlight.
  canvas.Fill(box, Ellipse(cx - radius * 0.3f, cy - radius * 0.45f, radius * 0.42f, radius * 0.26f),
              Rgbf(255, 255, 255), lit ? 0.55f : 0.18f);
}

void DrawPowerSymbol(TCanvas& canvas, float cx, float cy, float radius, float width, TRgbF colour,
                     float glow) {
  const TRect box = Grow(TRect{cx, cy, cx, cy}, radius + width + 2);
  TMask mask(canvas, Grow(box, 3 * width + 2));
  // The ring opens at the top where the bar stands.
  mask.Add(box, Arc(cx, cy, radius, width, -Pi / 2 + 0.62f, 1.5f * Pi - 0.62f));
  mask.Add(box, Segment(cx, cy - radius - width * 0.35f, cx, cy - radius * 0.15f, width));
  if (glow > 0) {
    canvas.Paint(mask.Blurred(static_cast<int>(width)), colour, glow, true);
    canvas.Paint(mask.Blurred(2), colour, glow * 0.6f, true);
  }
  canvas.Paint(mask, colour);
}

void DrawScrew(TCanvas& canvas, float cx, float cy, float radius, float angle) {
  const TRect box = Grow(TRect{cx, cy, cx, cy}, radius + 3);
  canvas.Fill(box, Circle(cx + 0.6f, cy + 0.8f, radius + 0.6f), palette::Shadow, 0.7f);
  canvas.Fill(box, Circle(cx, cy, radius),
              Radial(cx - radius * 0.4f, cy - radius * 0.4f, radius * 1.8f,
                     {{0.0f, Rgbf(175, 180, 186)}, {1.0f, Rgbf(55, 58, 62)}}));
  const float dx = std::cos(angle) * radius * 0.75f, dy = std::sin(angle) * radius * 0.75f;
  canvas.Fill(box, Segment(cx - dx, cy - dy, cx + dx, cy + dy, radius * 0.38f), Rgbf(25, 26, 28));
}

}  // namespace artwork

// The image buttons. Each is cut out by its key colour, so its outside is exactly the key and
// nothing inside is.
#include <cmath>

#include "assets/artwork/parts.h"

namespace artwork {

namespace {

constexpr TColour BlueKey{0, 0, 255};
constexpr TColour BlackKey{0, 0, 0};

// Face colours of a metal button by look: hover lifts it, a press darkens and flips the light.
struct TFace {
  TRgbF Top, Bottom;
  float Shift;  // content moves down and right while pressed
  bool Pressed;
};

TFace FaceFor(TLook look) {
  switch (look) {
    case TLook::Focus:
      return {Rgbf(128, 134, 142), Rgbf(50, 54, 59), 0, false};
    case TLook::Down:
      return {Rgbf(30, 32, 35), Rgbf(72, 77, 83), 1.0f, true};
    case TLook::Active:
    case TLook::Normal:
      break;
  }
  return {Rgbf(100, 106, 113), Rgbf(38, 41, 45), 0, false};
}

void DrawFace(TCanvas& c, const TDistance& shape, const TRect& box, TLook look, uint32_t seed,
              bool accent = true) {
  const TFace face = FaceFor(look);
  c.Fill(box, shape,
         Brushed(Linear(0, box.Top, 0, box.Bottom, {{0, face.Top}, {1, face.Bottom}}), 4, seed));
  if (face.Pressed) {
    c.Bevel(box, shape, -2.5f, 0, palette::Shadow, Rgbf(120, 126, 134), 0.8f);
  } else {
    c.Bevel(box, shape, -2.5f, 0, Rgbf(210, 216, 222), palette::Shadow, 0.75f);
  }
  c.Fill(
      box, [&](float x, float y) { return std::abs(shape(x, y) + 0.5f) - 0.5f; }, Rgbf(14, 15, 17),
      0.9f);
  if (accent && look == TLook::Active) {
    c.Fill(
        box, [&](float x, float y) { return std::abs(shape(x, y) + 2.2f) - 0.7f; }, palette::Orange,
        0.85f);
  }
}

TRgbF CaptionColour(TLook look) {
  switch (look) {
    case TLook::Focus:
      return Rgbf(240, 244, 248);
    case TLook::Down:
      return Rgbf(150, 155, 160);
    case TLook::Active:
      return palette::Orange;
    case TLook::Normal:
      break;
  }
  return palette::Engraving;
}

}  // namespace

TBitmap PowerButton(bool on, TLook look) {
  TCanvas c(186, 184);
  // The on button's panel sits one pixel further left; its circle stays on the well's centre.
  const float cx = on ? 94.0f : 93.0f, cy = 92.0f;
  const TRect box{0, 0, 186, 184};
  const TDistance outer = Circle(cx, cy, 88);
  const bool pressed = look == TLook::Down;
  c.Fill(
      box, outer,
      SpunMetal(Linear(0, cy - 88, 0, cy + 88, {{0, Rgbf(165, 171, 178)}, {1, Rgbf(30, 32, 35)}}),
                cx, cy, 12, 21));
  c.Bevel(box, outer, -2, 0, Rgbf(230, 234, 238), palette::Shadow, 0.6f);
  c.Fill(box, Ring(cx, cy, 83.5f, 2.0f), Rgbf(12, 13, 14));

  // Light ring: shows the state from a distance.
  TRgbF ringColour = on ? palette::Lit : palette::Red;
  float ringLevel = on ? 0.9f : 0.35f;
  if (look == TLook::Focus) ringLevel = on ? 1.0f : 0.6f;
  if (pressed) ringLevel *= 0.55f;
  if (look == TLook::Active) ringColour = palette::Orange, ringLevel = 0.9f;
  TMask ring(c);
  ring.Add(box, Ring(cx, cy, 79, 3.2f));
  c.Fill(box, Ring(cx, cy, 79, 5), Rgbf(8, 9, 10));
  c.Paint(ring.Blurred(3), ringColour, 0.8f * ringLevel, true);
  c.Paint(ring, ringColour * (0.25f + 0.75f * ringLevel));

  // The cap: a dish that the press pushes in.
  const TDistance cap = Circle(cx, cy, 74);
  const float dome = pressed ? 0.72f : look == TLook::Focus ? 1.12f : 1.0f;
  c.Fill(box, cap,
         SpunMetal(Radial(cx - 28, cy - 34, 140,
                          {{0, Rgbf(132, 138, 146) * dome}, {1, Rgbf(30, 33, 37) * dome}}),
                   cx, cy, 9, 22));
  if (pressed) {
    c.Bevel(box, cap, -5, 0, palette::Shadow, Rgbf(150, 156, 164), 0.85f);
  } else {
    c.Bevel(box, cap, -4, 0, Rgbf(225, 230, 235), palette::Shadow, 0.65f);
  }
  const float s = pressed ? 1.5f : 0.0f;
  TRgbF symbol = on ? palette::Lit : Rgbf(205, 42, 26);
  float glow = on ? 0.65f : 0.3f;
  if (look == TLook::Focus) symbol = on ? Rgbf(150, 255, 110) : Rgbf(255, 70, 40), glow += 0.3f;
  if (pressed) symbol = symbol * 0.7f, glow = 0.15f;
  if (look == TLook::Active) symbol = palette::Orange, glow = 0.7f;
  // A dark recess behind the symbol so it reads as a lit inlay.
  c.Fill(box, Circle(cx + s, cy - 12 + s, 33), Rgbf(16, 17, 19), 0.55f);
  c.Bevel(box, Circle(cx + s, cy - 12 + s, 33), -2, 0, palette::Shadow, Rgbf(150, 156, 164), 0.5f);
  DrawPowerSymbol(c, cx + s, cy - 12 + s, 22, 6.5f, symbol, glow);
  DrawEngraved(c, "ENERGY SAVING", cx + s, cy + 29 + s, TTextStyle{6.5f, 1.2f, 1.5f},
               palette::Engraving * (pressed ? 0.7f : 1.0f), TAlign::Centre);
  DrawText(c, on ? "ON" : "OFF", cx + s, cy + 42 + s, TTextStyle{11, 2.2f, 1.6f}, symbol,
           TAlign::Centre, glow);
  return c.ToBitmap(outer, BlueKey);
}

TBitmap AutoRunButton(bool on, TLook look, TLang lang) {
  TCanvas c(93, 58);
  const TRect box{0, 0, 93, 58};
  const TDistance shape = RoundRect(TRect{0.5f, 0.5f, 92.5f, 57.5f}, 12);
  DrawFace(c, shape, box, look, 31);
  const float s = FaceFor(look).Shift;
  const TRect inset{6 + s, 6 + s, 87 + s, 52 + s};
  c.Fill(box, RoundRect(inset, 8), Rgbf(20, 22, 24));
  c.Bevel(box, RoundRect(inset, 8), -2, 0, palette::Shadow, Rgbf(120, 126, 134), 0.7f);
  DrawLed(c, 20 + s, 29 + s, 6, on ? palette::Lit : palette::Red, on);
  const TRgbF caption = CaptionColour(look);
  const TRgbF state = on                      ? palette::Lit
                      : look == TLook::Active ? palette::Orange
                                              : Rgbf(130, 135, 141);
  const float glow = on ? 0.6f : 0.0f;
  if (lang == TLang::Chinese) {
    DrawText(c, "自动运行", 32 + s, 13.5f + s, TTextStyle{7.5f, 1.0f, 1.3f}, caption);
    DrawText(c, on ? "开" : "关", 32 + s, 31 + s, TTextStyle{10, 1.4f, 1.4f}, state, TAlign::Left,
             glow);
  } else {
    DrawText(c, "AUTO RUN", 32 + s, 15 + s, TTextStyle{6.5f, 1.2f, 1.4f}, caption);
    DrawText(c, on ? "ON" : "OFF", 32 + s, 30 + s, TTextStyle{10, 1.9f, 1.5f}, state, TAlign::Left,
             glow);
  }
  return c.ToBitmap(shape, BlueKey);
}

TBitmap ResetButton(TLook look, TLang lang) {
  TCanvas c(43, 21);
  const TRect box{0, 0, 43, 21};
  const TDistance shape = RoundRect(TRect{0.5f, 0.5f, 42.5f, 20.5f}, 10);
  DrawFace(c, shape, box, look, 41);
  const float s = FaceFor(look).Shift;
  const TRgbF colour = look == TLook::Focus ? palette::Lit : CaptionColour(look);
  const float glow = look == TLook::Focus ? 0.4f : 0.0f;
  if (lang == TLang::Chinese) {
    DrawText(c, "重置", 21.5f + s, 6.2f + s, TTextStyle{8.5f, 1.1f, 1.4f}, colour, TAlign::Centre,
             glow);
  } else {
    DrawText(c, "RESET", 21.5f + s, 7.5f + s, TTextStyle{6, 1.15f, 1.4f}, colour, TAlign::Centre,
             glow);
  }
  return c.ToBitmap(shape, BlackKey);
}

TBitmap CaptionButton(bool close, TLook look) {
  TCanvas c(24, 24);
  const TRect box{0, 0, 24, 24};
  const TDistance shape = Circle(12, 12, 11.5f);
  DrawFace(c, shape, box, look, close ? 51 : 52);
  if (close && look == TLook::Focus) {
    c.Fill(box, Circle(12, 12, 9),
           Radial(9, 8, 14, {{0, Rgbf(235, 70, 50)}, {1, Rgbf(120, 20, 10)}}));
  }
  const float s = FaceFor(look).Shift * 0.7f;
  TRgbF colour = look == TLook::Focus ? Rgbf(250, 250, 250) : CaptionColour(look);
  TMask glyph(c);
  if (close) {
    glyph.Add(box, Segment(8.2f + s, 8.2f + s, 15.8f + s, 15.8f + s, 2.2f));
    glyph.Add(box, Segment(15.8f + s, 8.2f + s, 8.2f + s, 15.8f + s, 2.2f));
  } else {
    glyph.Add(box, Segment(7.5f + s, 15 + s, 16.5f + s, 15 + s, 2.4f));
  }
  c.Paint(glyph, colour);
  return c.ToBitmap(shape, BlueKey);
}

TBitmap ModeButton(bool total, TLook look, TLang lang) {
  TCanvas c(40, 13);
  const TRect box{0, 0, 40, 13};
  const TDistance shape = RoundRect(TRect{0.5f, 0.5f, 39.5f, 12.5f}, 6);
  // Too small for the accent ring: the active selector shows by its lit caption alone.
  DrawFace(c, shape, box, look, total ? 61 : 62, false);
  const float s = FaceFor(look).Shift * 0.5f;
  TRgbF colour = CaptionColour(look);
  float glow = 0;
  if (look == TLook::Active) colour = palette::Lit, glow = 0.5f;
  if (look == TLook::Focus) colour = Lerp(palette::Lit, Rgbf(255, 255, 255), 0.4f);
  if (lang == TLang::Chinese) {
    DrawText(c, total ? "总计" : "本次", 20 + s, 3 + s, TTextStyle{7, 1.0f, 1.3f}, colour,
             TAlign::Centre, glow);
  } else {
    DrawText(c, total ? "TOTAL" : "PERIOD", 20 + s, 4 + s, TTextStyle{5, 1.0f, 1.4f}, colour,
             TAlign::Centre, glow);
  }
  return c.ToBitmap(shape, BlueKey);
}

TBitmap TrayIcon() {
  TCanvas c(16, 16);
  const TRect box{0, 0, 16, 16};
  const TDistance shape = Circle(8, 8, 7.6f);
  c.Fill(box, shape, Radial(5, 4, 12, {{0, Rgbf(80, 86, 92)}, {1, Rgbf(14, 15, 17)}}));
  DrawPowerSymbol(c, 8, 8.6f, 3.9f, 1.7f, palette::Lit, 0.4f);
  return c.ToBitmap(shape, BlueKey);
}

}  // namespace artwork

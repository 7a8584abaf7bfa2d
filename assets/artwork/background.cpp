// The window's panel and the plain pictures that lie on it. The read-outs themselves are painted
// by the program at run time; the panel only leaves black windows where they go.
#include <algorithm>
#include <cmath>
#include <utility>

#include "assets/artwork/layout.h"
#include "assets/artwork/parts.h"

namespace artwork {

namespace {

using namespace layout;

// A band of the given width just inside a shape's edge.
TDistance EdgeBand(TDistance shape, float width) {
  return [shape = std::move(shape), width](float x, float y) {
    return std::abs(shape(x, y) + width / 2) - width / 2;
  };
}

TDistance DisplayShape() {
  return Subtract(RoundRect(DisplayWindow, 8), Circle(DialX, DialY, 101));
}

// A read-out window: raised dark bezel around a black hole whose lower edge catches the light.
void DrawReadoutWindow(TCanvas& c, const TDistance& hole, const TRect& box) {
  const TRect area = Grow(box, 8);
  const TDistance bezel = Offset(hole, 4);
  c.Fill(area, Offset(hole, 5.5f), palette::Shadow, 0.35f);
  c.Fill(area, bezel,
         Linear(0, box.Top - 4, 0, box.Bottom + 4, {{0, Rgbf(38, 41, 45)}, {1, Rgbf(24, 26, 28)}}));
  c.Bevel(area, bezel, -2, 0, Rgbf(120, 126, 134), palette::Shadow, 0.8f);
  c.Fill(area, hole, palette::Black);
  c.Bevel(area, hole, -1.5f, 0, palette::Black, Rgbf(70, 74, 80), 0.9f);
}

void DrawRecess(TCanvas& c, const TDistance& hole, const TRect& box, TRgbF floor) {
  const TRect area = Grow(box, 6);
  c.Fill(area, hole, floor);
  c.Bevel(area, hole, -3, 0, palette::Shadow, Rgbf(150, 156, 164), 0.75f);
  c.Bevel(area, hole, 0, 1.5f, Rgbf(110, 116, 124), palette::Shadow, 0.35f);
}

void DrawBody(TCanvas& c) {
  const TDistance body = Sampled(WindowShape(), c);
  const TRect all{0, 0, static_cast<float>(Width), static_cast<float>(Height)};
  c.Fill(all, body,
         Brushed(Linear(0, 12, 0, 360,
                        {{0, Rgbf(74, 79, 86)}, {0.45f, Rgbf(52, 56, 62)}, {1, Rgbf(33, 36, 40)}}),
                 5.0f, 7));
  c.Bevel(all, body, -4, 0, Rgbf(185, 192, 200), palette::Shadow, 0.75f);
  c.Fill(all, EdgeBand(body, 1.0f), Rgbf(16, 17, 19), 0.9f);
  // Groove above the bottom strip, and a vented grille on the left.
  c.Fill(TRect{30, 302, 380, 310}, Segment(40, 305.5f, 372, 305.5f, 1.2f), palette::Shadow, 0.7f);
  c.Fill(TRect{30, 302, 380, 310}, Segment(40, 306.8f, 372, 306.8f, 1.0f), Rgbf(120, 126, 134),
         0.35f);
  for (int i = 0; i < 9; ++i) {
    const float y = 128 + i * 12.0f;
    const TRect slot{24, y, 54, y + 5};
    DrawRecess(c, RoundRect(slot, 2.5f), slot, Rgbf(10, 11, 12));
  }
  DrawScrew(c, 36, 104, 4.5f, 0.6f);
  DrawScrew(c, 36, 290, 4.5f, 2.1f);
  DrawScrew(c, 586, 42, 4.5f, 1.2f);
  DrawScrew(c, 584, 330, 4.5f, 0.2f);
}

void DrawBranding(TCanvas& c, TLang lang) {
  const TTextStyle logo{17, 3.0f, 1.3f};
  const float kor = TextWidth("Kor", logo) - logo.Weight + logo.Tracking * logo.Size / 6;
  DrawEngraved(c, "Kor", 70, 33, logo, Rgbf(214, 219, 226));
  DrawText(c, "Zem", 70 + kor, 33, logo, palette::Lit, TAlign::Left, 0.55f);
  const TTextStyle small{6, 1.1f, 1.5f};
  if (lang == TLang::Chinese) {
    DrawEngraved(c, "CPU 自动节电", 170, 41.5f, TTextStyle{7.5f, 1.1f, 1.5f}, palette::Engraving);
    DrawEngraved(c, "CPU 自动节电", 72, 316, TTextStyle{7.5f, 1.1f, 1.5f},
                 palette::Engraving * 0.8f);
  } else {
    DrawEngraved(c, "INTELLIGENT ENERGY SAVER", 170, 43, small, palette::Engraving);
    DrawEngraved(c, "DYNAMIC PHASE CONTROL - CPU POWER SAVING", 72, 318, small,
                 palette::Engraving * 0.8f);
  }
}

void DrawGreenWindow(TCanvas& c) {
  DrawReadoutWindow(c, RoundRect(GreenWindow, 7), GreenWindow);
  // Lightning mark on the left of the saved-energy figure.
  const TRect box{100, 66, 140, 116};
  TMask bolt(c, Grow(box, 8));
  bolt.Add(box, ConvexPolygon({121, 71, 125, 71, 118, 90, 110, 90}));
  bolt.Add(box, ConvexPolygon({113, 88, 126, 88, 114, 110, 112, 110}));
  c.Paint(bolt.Blurred(2), palette::Lit, 0.25f, true);
  c.Paint(bolt, palette::Lit * 0.45f);
  DrawText(c, "KJ", 327, 73, TTextStyle{7, 1.3f, 1.4f}, palette::Lit * 0.62f, TAlign::Right);
  c.Fill(TRect{ControlsRule - 1, 66, ControlsRule + 1, 116},
         Segment(ControlsRule, 68, ControlsRule, 113, 1.0f), palette::LitUnder);
  // Marker LEDs of the mode selector; the lit one is a picture of its own.
  DrawLed(c, 339, 92, 3.6f, palette::Lit, false);
  DrawLed(c, 339, 107, 3.6f, palette::Lit, false);
}

void DrawDisplayWindow(TCanvas& c, TLang lang) {
  const TDistance hole = DisplayShape();
  DrawReadoutWindow(c, hole, DisplayWindow);
  c.Fill(TRect{66, 232, 385, 237}, Segment(70, 234.5f, 377, 234.5f, 1.0f), Rgbf(52, 52, 52));
  // Frames of the two indicator strips.
  for (const TRect& strip : {VcoreStrip, ClockStrip}) {
    const TRect frame = Grow(strip, 1.5f);
    c.Fill(Grow(frame, 2), EdgeBand(RoundRect(frame, 2), 1.0f), palette::OrangeUnder * 1.6f);
  }
  const TRgbF white = palette::White * 0.55f;
  const TRgbF orange = palette::Orange * 0.7f;
  const TTextStyle label{6, 1.1f, 1.4f};
  const TTextStyle unit{7, 1.3f, 1.4f};
  DrawText(c, "W", 145, 199, unit, white);
  DrawText(c, "KJ", 357, 221, unit, white);
  if (lang == TLang::Chinese) {
    const TTextStyle cjk{7.5f, 1.0f, 1.4f};
    DrawText(c, "CPU 功率", 83, 171, cjk, white);
    DrawText(c, "已运行", 169, 171, cjk, white);
    DrawText(c, "天", 224, 195, cjk, white);
    DrawText(c, "时", 286, 195, cjk, white);
    DrawText(c, "分", 338, 195, cjk, white);
    DrawText(c, "已用", 225, 215, cjk, white, TAlign::Right);
    DrawText(c, "电压 (V)", 149, 245, cjk, orange, TAlign::Right);
    DrawText(c, "CPU 频率 (MHz)", 172, 275, cjk, orange, TAlign::Right);
  } else {
    DrawText(c, "CPU POWER", 83, 172, label, white);
    DrawText(c, "TIME IN USE", 169, 172, label, white);
    DrawText(c, "DAY", 224, 197, label, white);
    DrawText(c, "HR", 286, 197, label, white);
    DrawText(c, "MIN", 338, 197, label, white);
    DrawText(c, "CONSUMED", 225, 217, label, white, TAlign::Right);
    DrawText(c, "VCORE (V)", 149, 247, label, orange, TAlign::Right);
    DrawText(c, "CPU CLOCK (MHz)", 172, 277, label, orange, TAlign::Right);
  }
}

void DrawDial(TCanvas& c) {
  const TRect box = Grow(TRect{DialX, DialY, DialX, DialY}, 104);
  c.Fill(box, Circle(DialX + 1, DialY + 2, 98), palette::Shadow, 0.5f);
  c.Fill(box, Circle(DialX, DialY, 96.5f),
         SpunMetal(Linear(0, DialY - 96, 0, DialY + 96,
                          {{0, Rgbf(150, 156, 164)}, {1, Rgbf(40, 43, 47)}}),
                   DialX, DialY, 14, 11));
  c.Bevel(box, Circle(DialX, DialY, 96.5f), -2, 0, Rgbf(220, 225, 230), palette::Shadow, 0.6f);
  c.Fill(box, Circle(DialX, DialY, 91), Rgbf(9, 10, 11));
  c.Bevel(box, Circle(DialX, DialY, 91), -2.5f, 0, palette::Shadow, Rgbf(90, 95, 102), 0.8f);
}

void DrawPhaseDisplay(TCanvas& c) {
  const TRect bezel = Grow(PhaseWindow, 4);
  const TRect area = Grow(bezel, 6);
  c.Fill(area, RoundRect(Grow(bezel, 1.5f), 7), palette::Shadow, 0.5f);
  c.Fill(area, RoundRect(bezel, 6),
         Linear(0, bezel.Top, 0, bezel.Bottom, {{0, Rgbf(60, 64, 70)}, {1, Rgbf(26, 28, 31)}}));
  c.Bevel(area, RoundRect(bezel, 6), -2, 0, Rgbf(170, 176, 184), palette::Shadow, 0.7f);
  c.Fill(area, RoundRect(PhaseWindow, 0.5f), palette::Black);
}

void DrawSockets(TCanvas& c) {
  // Close and minimise buttons.
  for (const auto& [x, y] : {std::pair{518.0f, 49.0f}, std::pair{511.0f, 94.0f}}) {
    const TRect box = Grow(TRect{x, y, x, y}, 14);
    DrawRecess(c, Circle(x, y, 13.5f), box, Rgbf(16, 17, 19));
  }
  DrawRecess(c, RoundRect(AutoRunSocket, 14), AutoRunSocket, Rgbf(16, 17, 19));
  // The unlit "on" marker; the on picture lights it.
  DrawReadoutWindow(c, RoundRect(OnSocket, 4), OnSocket);
  DrawText(c, "ON", (OnSocket.Left + OnSocket.Right) / 2, OnSocket.Top + 9,
           TTextStyle{10, 2.0f, 1.6f}, palette::LitUnder, TAlign::Centre);
}

void DrawPanel(TCanvas& c, TLang lang) {
  DrawBody(c);
  DrawBranding(c, lang);
  DrawGreenWindow(c);
  DrawDisplayWindow(c, lang);
  DrawDial(c);
  DrawPhaseDisplay(c);
  DrawSockets(c);
}

}  // namespace

TDistance WindowShape() {
  // Main plate with both left corners bevelled off.
  TDistance plate = RoundRect(TRect{12, 24, 600, 352}, 22);
  plate = Intersect(std::move(plate), [](float x, float y) {
    const float top = (92 - x - y) / std::sqrt(2.0f);
    const float bottom = (y - x - 284) / std::sqrt(2.0f);
    return std::max(top, bottom);
  });
  TDistance shape = SmoothUnion(std::move(plate), Circle(DialX, DialY, 110), 18);
  shape = SmoothUnion(std::move(shape), RoundRect(TRect{380, 12, 548, 128}, 18), 18);
  shape = SmoothUnion(std::move(shape), RoundRect(TRect{500, 98, 632, 206}, 16), 18);
  return shape;
}

TCanvas BackgroundPart(int x, int y, int width, int height, TLang lang) {
  TCanvas canvas(width, height, x, y);
  DrawPanel(canvas, lang);
  return canvas;
}

TBitmap BackgroundPicture(TLang lang) {
  return BackgroundPart(0, 0, Width, Height, lang).ToBitmap(WindowShape(), TColour{0, 0, 255});
}

TBitmap ModeCaption(bool total, bool lit, TLang lang) {
  TCanvas c = BackgroundPart(CaptionX, CaptionY, CaptionWidth, CaptionHeight, lang);
  const TRgbF colour = lit ? palette::Lit : palette::Dim;
  const float glow = lit ? 0.5f : 0.0f;
  // Far enough in that the glow fades out before the picture's edge.
  const float x = CaptionX + 6;
  if (lang == TLang::Chinese) {
    DrawText(c, total ? "总计节电" : "本次节电", x, CaptionY + 4.4f, TTextStyle{8.5f, 1.2f, 1.5f},
             colour, TAlign::Left, glow);
  } else {
    DrawText(c, total ? "TOTAL SAVING" : "PERIOD SAVING", x, CaptionY + 5.5f,
             TTextStyle{7, 1.3f, 1.4f}, colour, TAlign::Left, glow);
  }
  return c.ToBitmap();
}

TBitmap UnitLabel(const std::string& which, TLang lang) {
  struct TPlace {
    const char* Name;
    int X, Y, W, H;
    const char* English;
    const char* Chinese;
  };
  static constexpr TPlace Places[] = {
      {"Day", 199, 130, 24, 12, "DAY", "天"},       {"Hr", 259, 131, 20, 12, "HR", "时"},
      {"Min", 313, 131, 17, 12, "MIN", "分"},       {"Since", 106, 130, 34, 12, "SINCE", "自"},
      {"Dash", 256, 132, 12, 10, nullptr, nullptr},
  };
  for (const TPlace& p : Places) {
    if (which != p.Name) continue;
    TCanvas c = BackgroundPart(p.X, p.Y, p.W, p.H, lang);
    if (!p.English) {
      TMask dash(c);
      const float y = p.Y + p.H / 2.0f;
      dash.Add(Grow(TRect{static_cast<float>(p.X), y, static_cast<float>(p.X + p.W), y}, 2),
               Segment(p.X + 2.5f, y, p.X + p.W - 2.5f, y, 1.6f));
      c.Paint(dash.Blurred(1), palette::Lit, 0.5f, true);
      c.Paint(dash, palette::Lit);
    } else if (lang == TLang::Chinese) {
      DrawText(c, p.Chinese, p.X + p.W / 2.0f, p.Y + 2.8f, TTextStyle{6.5f, 1.05f, 1.4f},
               palette::Lit, TAlign::Centre);
    } else {
      DrawText(c, p.English, p.X + p.W / 2.0f, p.Y + 3, TTextStyle{6, 1.1f, 1.4f}, palette::Lit,
               TAlign::Centre);
    }
    return c.ToBitmap();
  }
  return {};
}

TBitmap ModeLight() {
  TCanvas c = BackgroundPart(334, 87, 10, 10, TLang::English);
  DrawLed(c, 339, 92, 3.6f, palette::Lit, true);
  return c.ToBitmap();
}

TBitmap OnMarker() {
  TCanvas c = BackgroundPart(static_cast<int>(OnSocket.Left), static_cast<int>(OnSocket.Top),
                             static_cast<int>(OnSocket.Right - OnSocket.Left),
                             static_cast<int>(OnSocket.Bottom - OnSocket.Top), TLang::English);
  DrawText(c, "ON", (OnSocket.Left + OnSocket.Right) / 2, OnSocket.Top + 9,
           TTextStyle{10, 2.0f, 1.6f}, palette::Lit, TAlign::Centre, 0.9f);
  return c.ToBitmap();
}

}  // namespace artwork

// Animated displays: the bar gauge of the two indicator strips, the regulator phase panel and the
// piggy bank.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>

#include "assets/artwork/layout.h"
#include "assets/artwork/parts.h"

namespace artwork {

namespace {

constexpr float Pi = std::numbers::pi_v<float>;

TRgbF GaugeColour(int segment) {
  static const std::vector<TStop> Stops = {{0.0f, palette::Lit},
                                           {0.45f, Rgbf(185, 235, 0)},
                                           {0.75f, palette::Orange},
                                           {1.0f, Rgbf(255, 64, 16)}};
  return Linear(0, 0, 9, 0, Stops)(static_cast<float>(segment), 0);
}

// One choke of the regulator: an outlined cell with a coil drawn in it.
void DrawPhaseCell(TCanvas& c, const TRect& cell, float light, bool sweep) {
  const TRect area = Grow(cell, 4);
  const TDistance outline = RoundRect(cell, 3);
  const float cy = (cell.Top + cell.Bottom) / 2 + 2;
  const float x0 = cell.Left + 9;
  TMask coil(c);
  coil.Add(area, Segment(cell.Left + 4, cy, x0 - 3.5f, cy, 1.4f));
  for (int k = 0; k < 3; ++k) coil.Add(area, Arc(x0 + k * 7.0f, cy, 3.5f, 1.4f, Pi, 2 * Pi));
  coil.Add(area, Segment(x0 + 17.5f, cy, cell.Right - 13, cy, 1.4f));
  // The switching transistor beside the coil.
  coil.Add(area, RoundRect(TRect{cell.Right - 10, cy - 5, cell.Right - 5, cy + 1}, 1));
  if (light <= 0) {
    c.Fill(area, Offset(outline, 0.5f), palette::LitUnder * 0.55f);
    c.Fill(
        area, [&](float x, float y) { return std::abs(outline(x, y) + 0.6f) - 0.6f; },
        palette::LitUnder * 1.5f);
    c.Paint(coil, palette::LitUnder * 1.7f);
    return;
  }
  const TRgbF face = palette::Lit * (sweep ? 0.34f : 0.16f * light);
  c.Fill(area, Offset(outline, 0.5f),
         Linear(0, cell.Top, 0, cell.Bottom, {{0, face * 1.4f}, {1, face * 0.6f}}));
  TMask edge(c);
  edge.Add(area, [&](float x, float y) { return std::abs(outline(x, y) + 0.6f) - 0.6f; });
  c.Paint(edge.Blurred(2), palette::Lit, 0.35f * light, true);
  c.Paint(edge, palette::Lit * (0.55f + 0.45f * light));
  const TRgbF wire = sweep ? Lerp(palette::Lit, Rgbf(255, 255, 255), 0.55f) : palette::Lit;
  c.Paint(coil.Blurred(1), palette::Lit, sweep ? 0.7f : 0.3f, true);
  c.Paint(coil, wire * (0.6f + 0.4f * light));
}

void DrawPhasePanel(TCanvas& c, int lit, int sweepCell, int flow, float pulse, const char* title,
                    const std::string& count, bool on) {
  const float ox = static_cast<float>(c.OriginX()), oy = static_cast<float>(c.OriginY());
  const TRgbF titleColour = on ? palette::Lit * 0.75f : palette::Dim * 0.8f;
  DrawText(c, title, ox + 6, oy + 6, TTextStyle{6, 1.1f, 1.4f}, titleColour);
  DrawText(c, count, ox + 95, oy + 4, TTextStyle{10, 2.0f, 1.4f},
           on ? palette::Lit : palette::Dim * 0.8f, TAlign::Right, on ? 0.7f : 0.0f);
  for (int i = 0; i < 8; ++i) {
    const float x = ox + (i % 2 == 0 ? 6 : 53), y = oy + 22 + (i / 2) * 20.0f;
    DrawPhaseCell(c, TRect{x, y, x + 42, y + 16}, i < lit ? pulse : 0.0f, i == sweepCell);
  }
  // Current flow bar along the bottom.
  for (int i = 0; i < 8; ++i) {
    const float x = ox + 6 + i * 11.2f, y = oy + 106;
    const TRect seg{x, y, x + 9, y + 6};
    const TRect area = Grow(seg, 4);
    const bool head = on && i == flow;
    const bool tail = on && (i + 1) % 8 == flow;
    if (head || tail) {
      TMask m(c);
      m.Add(area, RoundRect(seg, 1.5f));
      c.Paint(m.Blurred(2), palette::Lit, head ? 0.5f : 0.2f, true);
      c.Paint(m, palette::Lit * (head ? 1.0f : 0.5f));
    } else {
      c.Fill(area, RoundRect(seg, 1.5f), palette::LitUnder * 1.2f);
    }
  }
}

TDistance PigShape(float ox, float oy) {
  TDistance body = Ellipse(ox + 23, oy + 37, 16, 12.5f);
  body = SmoothUnion(body, RoundRect(TRect{ox + 35, oy + 31, ox + 43, oy + 41}, 3), 4);
  body =
      SmoothUnion(body, ConvexPolygon({ox + 27, oy + 21, ox + 33, oy + 26, ox + 26, oy + 27}), 3);
  for (float legX : {12.0f, 18.0f, 28.0f, 34.0f}) {
    body = SmoothUnion(
        body, RoundRect(TRect{ox + legX - 2.3f, oy + 44, ox + legX + 2.3f, oy + 53}, 1.5f), 3);
  }
  return body;
}

void DrawPig(TCanvas& c, bool on, int frame) {
  const float ox = static_cast<float>(c.OriginX()), oy = static_cast<float>(c.OriginY());
  const TRect all = c.Window();
  const TRgbF line = on ? palette::Lit : palette::Dim * 0.6f;
  // The coin falls into the slot on the pig's back: behind the body once it reaches it.
  static constexpr float CoinY[] = {9.5f, 15, 20, 26};
  if (on && frame < 4) {
    const float cx = ox + 22, cy = oy + CoinY[frame];
    const TRect box = Grow(TRect{cx, cy, cx, cy}, 9);
    TMask coin(c);
    coin.Add(box, Circle(cx, cy, 5.5f));
    c.Paint(coin.Blurred(1), palette::Orange, 0.55f, true);
    c.Fill(box, Circle(cx, cy, 5.5f),
           Radial(cx - 2, cy - 2, 8, {{0, Rgbf(255, 220, 120)}, {1, Rgbf(200, 100, 0)}}));
    c.Fill(box, Ring(cx, cy, 3.6f, 0.9f), Rgbf(150, 70, 0));
  }
  const TDistance pig = PigShape(ox, oy);
  c.Fill(all, pig,
         Linear(0, oy + 20, 0, oy + 56,
                {{0, on ? Rgbf(20, 62, 8) : Rgbf(22, 28, 20)}, {1, Rgbf(6, 14, 3)}}));
  TMask edge(c);
  edge.Add(all, [&](float x, float y) { return std::abs(pig(x, y) + 0.7f) - 0.7f; });
  // Slot, eye, nostril and curled tail.
  edge.Add(all, Segment(ox + 18, oy + 26, ox + 26, oy + 26, 1.6f));
  edge.Add(all, Circle(ox + 32, oy + 32, 1.2f));
  edge.Add(all, Circle(ox + 40.5f, oy + 36, 0.9f));
  edge.Add(all, Arc(ox + 5.5f, oy + 34, 2, 1.2f, 0.3f, 4.8f));
  if (on) c.Paint(edge.Blurred(1), palette::Lit, 0.45f, true);
  c.Paint(edge, line);
  if (on && frame == 4) {
    // Glint where the coin went in.
    TMask glint(c);
    const float gx = ox + 22, gy = oy + 16;
    const TRect box = Grow(TRect{gx, gy, gx, gy}, 8);
    glint.Add(box, Segment(gx - 5, gy, gx + 5, gy, 1.2f));
    glint.Add(box, Segment(gx, gy - 5, gx, gy + 5, 1.2f));
    glint.Add(box, Segment(gx - 2.5f, gy - 2.5f, gx + 2.5f, gy + 2.5f, 0.9f));
    glint.Add(box, Segment(gx - 2.5f, gy + 2.5f, gx + 2.5f, gy - 2.5f, 0.9f));
    c.Paint(glint.Blurred(1), palette::Orange, 0.8f, true);
    c.Paint(glint, Rgbf(255, 230, 160));
  }
}

}  // namespace

TBitmap IndicatorFrame(int frame) {
  TCanvas c(146, 27);
  for (int i = 0; i < 10; ++i) {
    const float x = 10 + i * 13.4f;
    const float h = 9 + i * 1.5f;
    const float bottom = 22, top = bottom - h;
    const TRect box{x - 4, top - 4, x + 15, bottom + 4};
    // Slanted segments, rising in height towards the top of the scale.
    const TDistance seg = ConvexPolygon({x + 2, top, x + 12, top, x + 10, bottom, x, bottom});
    const TRgbF colour = GaugeColour(i);
    if (i <= frame) {
      TMask m(c);
      m.Add(box, seg);
      c.Paint(m.Blurred(2), colour, 0.45f, true);
      c.Fill(box, seg,
             Linear(0, top, 0, bottom,
                    {{0, Lerp(colour, Rgbf(255, 255, 255), 0.3f)}, {1, colour * 0.75f}}));
      if (i == frame) c.Fill(box, Offset(seg, -2.2f), Rgbf(255, 255, 235), 0.6f);
    } else {
      c.Fill(box, seg, colour * 0.13f);
      c.Fill(
          box, [&](float px, float py) { return std::abs(seg(px, py) + 0.5f) - 0.5f; },
          colour * 0.3f);
    }
  }
  const TRect scale{8, 23, 146, 27};
  c.Fill(scale, Segment(10, 24.8f, 142, 24.8f, 0.9f), palette::OrangeUnder * 2.2f);
  for (int i = 0; i <= 10; ++i) {
    const float x = 10 + i * 13.4f - (i == 10 ? 2.4f : 0);
    c.Fill(scale, Segment(x, 24.5f, x, 26.5f, 0.9f), palette::OrangeUnder * 2.2f);
  }
  return c.ToBitmap();
}

TBitmap PhaseFrame(int phases, int frame, int frames) {
  TCanvas c(101, 120, static_cast<int>(layout::PhaseWindow.Left),
            static_cast<int>(layout::PhaseWindow.Top));
  const float pulse = 0.8f + 0.2f * std::cos(2 * Pi * static_cast<float>(frame) / frames);
  DrawPhasePanel(c, phases, frame % phases, frame * 8 / frames, pulse, "PHASE",
                 std::to_string(phases), true);
  return c.ToBitmap();
}

TBitmap PhaseOffFrame(int frame) {
  TCanvas c(101, 120, static_cast<int>(layout::PhaseWindow.Left),
            static_cast<int>(layout::PhaseWindow.Top));
  DrawPhasePanel(c, 0, -1, -1, 0, frame == 0 ? "PHASE" : "VRM", "OFF", false);
  return c.ToBitmap();
}

TBitmap PigFrame(int frame, bool off) {
  TCanvas c = BackgroundPart(410, 59, 49, 59, TLang::English);
  DrawPig(c, !off, frame);
  return c.ToBitmap();
}

}  // namespace artwork

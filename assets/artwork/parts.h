// Pieces every picture of the window shares: palette, caption drawing, lit and unlit LEDs, the
// power symbol, and the pictures' drawing functions by family.
#pragma once

#include <string>
#include <string_view>

#include "app/gfx/readoutcolours.h"
#include "assets/artwork/canvas.h"
#include "assets/artwork/strokefont.h"

namespace artwork {

enum class TLang { English, Chinese };
// The four looks of an image button; the Chinese sets have the first three only.
enum class TLook { Normal, Focus, Down, Active };

namespace palette {
constexpr TRgbF Key = Rgbf(0, 0, 255);
constexpr TRgbF Lit = Rgbf(kReadoutGreen);
constexpr TRgbF LitUnder = Rgbf(kReadoutGreenUnlit);
constexpr TRgbF Dim = Rgbf(kReadoutGreenDim);  // figures and captions while saving is off
constexpr TRgbF Orange = Rgbf(kReadoutOrange);
constexpr TRgbF OrangeUnder = Rgbf(kReadoutOrangeUnlit);
constexpr TRgbF White = Rgbf(kReadoutWhite);
constexpr TRgbF WhiteUnder = Rgbf(kReadoutWhiteUnlit);
constexpr TRgbF Red = Rgbf(225, 40, 25);
constexpr TRgbF Metal = Rgbf(52, 56, 61);
constexpr TRgbF MetalLight = Rgbf(150, 156, 164);
constexpr TRgbF Engraving = Rgbf(176, 182, 190);
constexpr TRgbF Shadow = Rgbf(0, 0, 0);
constexpr TRgbF Black = Rgbf(0, 0, 0);
}  // namespace palette

// Draws text in one colour; glow > 0 adds a soft halo of that strength, as lit segments have.
void DrawText(TCanvas& canvas, std::string_view text, float x, float y, const TTextStyle& style,
              TRgbF colour, TAlign align = TAlign::Left, float glow = 0.0f);
// Light text with a dark shadow below it, as if stamped into the metal.
void DrawEngraved(TCanvas& canvas, std::string_view text, float x, float y, const TTextStyle& style,
                  TRgbF colour, TAlign align = TAlign::Left);
// A round LED at cx, cy; lit ones glow into their surroundings.
void DrawLed(TCanvas& canvas, float cx, float cy, float radius, TRgbF colour, bool lit);
// The power symbol (broken ring and bar) centred on cx, cy.
void DrawPowerSymbol(TCanvas& canvas, float cx, float cy, float radius, float width, TRgbF colour,
                     float glow);
// A screw head: recessed slot in a small dome.
void DrawScrew(TCanvas& canvas, float cx, float cy, float radius, float angle);

// ---- picture families (size and key are the catalogue's) ----
TBitmap BackgroundPicture(TLang lang);
// Any part of the background: the plain pictures that lie on it start from it, so they match it.
TCanvas BackgroundPart(int x, int y, int width, int height, TLang lang);
TDistance WindowShape();

TBitmap ModeCaption(bool total, bool lit, TLang lang);
TBitmap UnitLabel(const std::string& which, TLang lang);  // "Day", "Hr", "Min", "Since", "Dash"
TBitmap ModeLight();
TBitmap OnMarker();
TBitmap IndicatorFrame(int frame);
TBitmap PhaseFrame(int phases, int frame, int frames);
TBitmap PhaseOffFrame(int frame);
TBitmap PigFrame(int frame, bool off);

TBitmap PowerButton(bool on, TLook look);
TBitmap AutoRunButton(bool on, TLook look, TLang lang);
TBitmap ResetButton(TLook look, TLang lang);
TBitmap CaptionButton(bool close, TLook look);  // close or minimise
TBitmap ModeButton(bool total, TLook look, TLang lang);
TBitmap TrayIcon();

}  // namespace artwork

// The captions' own stroke font: each glyph is a few polylines on a small grid, stroked with
// round caps, so captions scale to any size and stay crisp without a font file. Latin capitals,
// digits, a few lower-case letters and punctuation on a 6-unit-high grid; the simplified Chinese
// characters the localised pictures need on a 16-unit grid.
#pragma once

#include <string>
#include <string_view>

#include "assets/artwork/canvas.h"

namespace artwork {

enum class TAlign { Left, Centre, Right };

struct TTextStyle {
  float Size = 7.0f;      // height of Latin capitals, px
  float Weight = 1.2f;    // stroke width, px
  float Tracking = 1.4f;  // gap between glyphs in Latin grid units (Size / 6 px each)
};

// Chinese characters stand this much taller than Latin capitals, centred on them.
constexpr float CjkScale = 1.35f;

std::u32string DecodeUtf8(std::string_view text);
bool HasGlyph(char32_t code);
float TextWidth(std::string_view utf8, const TTextStyle& style);
// Strokes the text into the mask. x is the left edge, centre or right edge by align; y is the top
// of the capitals. Characters without a glyph take the room of a blank.
void AddText(TMask& mask, std::string_view utf8, float x, float y, const TTextStyle& style,
             TAlign align = TAlign::Left);

}  // namespace artwork

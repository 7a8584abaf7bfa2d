// "Korvan7Segment": the read-outs' own vector seven-segment font, drawn anti-aliased into a
// TBitmap. It needs no font file, so every shell shows identical figures at a fixed pixel size
// (sizes are points at 96 pixels per inch, whatever the screen's setting).
//
// Glyphs: digits 0-9, "." ":" "/" "-" and blank; any other character draws as blank. Metrics
// are fixed because the artwork is laid out around them: the text height is round(em) and a
// cell is round(em * 0.545) wide, round(em * 0.27) for "." and ":", and round(em * 0.22) for "/",
// em = size * 96 / 72. Every glyph's ink stays inside its own cell.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "app/gfx/bitmap.h"
#include "app/gfx/region.h"

inline constexpr const char* SevenSegmentFace = "Korvan7Segment";

struct TTextExtent {
  int Width = 0;
  int Height = 0;
  bool operator==(const TTextExtent&) const = default;
};

// Advance of one character in pixels.
int SevenSegmentAdvance(char c, int sizePt);
TTextExtent MeasureSevenSegment(std::string_view text, int sizePt);

// Draws text with its extent's top-left corner at x, y. With a background the whole extent is
// first filled with it (opaque mode); without, only the segments are laid over the picture.
// Nothing is drawn outside the extent nor outside the picture.
void DrawSevenSegment(TBitmap& picture, int x, int y, std::string_view text, int sizePt,
                      TColour colour, std::optional<TColour> opaqueBackground = std::nullopt);
// Where text drawn at 0, 0 can have ink: the smallest rectangle holding every lit pixel of its
// glyphs. Empty for a text without ink.
TRect SevenSegmentInkBounds(std::string_view text, int sizePt);

// The font with its glyphs rasterised once per character and size: a read-out repainted every
// second then only blends stored coverage, in integers. DrawSevenSegment draws through one.
class TSevenSegmentFont {
 public:
  void Draw(TBitmap& picture, int x, int y, std::string_view text, int sizePt, TColour colour,
            std::optional<TColour> opaqueBackground = std::nullopt);
  TRect InkBounds(std::string_view text, int sizePt);

 private:
  struct TGlyph {
    int Width = 0;
    int Height = 0;
    TRect Ink;                   // where Alpha is not zero, in the cell
    std::vector<uint8_t> Alpha;  // coverage x 255, Width x Height, top row first; empty: no ink
  };
  const TGlyph& Glyph(char c, int sizePt);

  std::map<std::pair<int, char>, TGlyph> Glyphs_;
};

// The segments of a cell: a top, b upper right, c lower right, d bottom, e lower left, f upper
// left, g middle; Point is the dot of "." (in its narrow cell).
enum class ESegment : uint8_t { A, B, C, D, E, F, G, Point };

// Bit (1 << segment) for every segment the character lights (0 for "/" ":" and blanks).
uint8_t SevenSegmentBits(char c);

struct TPointF {
  float X = 0;
  float Y = 0;
};
// The middle of a segment's ink, relative to its cell's top-left corner.
TPointF SevenSegmentCentre(ESegment segment, int sizePt);

// The painter of the skinned window: cuts shapes out of artwork by a key colour and paints the
// numeric read-outs onto the background picture in the seven-segment font. A read-out is a row
// of dark "8" cells (the mask) with the lit value laid over it, right-aligned, so unlit
// segments show through wherever the value has no ink.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <tuple>

#include "app/gfx/bitmap.h"
#include "app/gfx/region.h"
#include "app/gfx/sevensegment.h"

class TImageControl {
 public:
  // Pure blue marks the transparent parts of window and button artwork (0xFF0000 as the window
  // framework stores colours).
  static constexpr TColour KeyColour = FromFrameworkColour(16711680);

  // The picture without its pixels of exactly the key colour.
  TRegion RegionOf(const TBitmap& picture, TColour key) const;

  // "8" cells for a value: with a decimal point the mask keeps the value's decimals and gives
  // the rest of the digits to the integer part ("7.5", 5 digits -> "888.8").
  static std::string MaskForValue(int digits, std::string_view value);

  // The mask in colour, opaque on black.
  void PaintMask(TBitmap& picture, std::string_view mask, int sizePt, TColour colour, int x,
                 int y) const;
  // The mask for value and digits in the unlit colour, then the value over it in the lit one.
  void PaintValue(TBitmap& picture, int digits, int sizePt, TColour lit, std::string_view value,
                  TColour unlit, int x, int y) const;
  // As PaintValue with the mask given (dates and times: "8888/88/88", "88:88:88"). A value
  // longer than its mask extends to the left of x.
  void PaintValueOverMask(TBitmap& picture, std::string_view mask, int sizePt, TColour lit,
                          std::string_view value, TColour unlit, int x, int y) const;
  // Blanks the area the mask occupies.
  void Erase(TBitmap& picture, std::string_view mask, int sizePt, int x, int y) const;

 private:
  // A mask drawn on black: the same for every read-out that shows it, so it is drawn once and
  // copied in afterwards.
  const TBitmap& MaskPicture(std::string_view mask, int sizePt, TColour colour) const;

  // Read-outs are painted every second: glyphs and masks are kept once drawn.
  mutable TSevenSegmentFont Font_;
  mutable std::map<std::tuple<std::string, int, uint32_t>, TBitmap, std::less<>> Masks_;
};

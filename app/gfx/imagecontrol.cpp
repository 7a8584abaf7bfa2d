#include "app/gfx/imagecontrol.h"

#include <algorithm>

#include "app/gfx/sevensegment.h"

namespace {
constexpr TColour Black = Rgb(0, 0, 0);
}

TRegion TImageControl::RegionOf(const TBitmap& picture, TColour key) const {
  return TRegion::OfPicture(picture, key);
}

std::string TImageControl::MaskForValue(int digits, std::string_view value) {
  digits = std::max(digits, 0);
  const size_t point = value.find('.');
  if (point == std::string_view::npos) return std::string(static_cast<size_t>(digits), '8');
  const int decimals = static_cast<int>(value.size() - point - 1);
  // More decimals than cells leaves no integer cells rather than a negative count.
  const int whole = std::max(digits - decimals - 1, 0);
  return std::string(static_cast<size_t>(whole), '8') + "." +
         std::string(static_cast<size_t>(decimals), '8');
}

const TBitmap& TImageControl::MaskPicture(std::string_view mask, int sizePt, TColour colour) const {
  auto key = std::tuple{std::string(mask), sizePt, ToFrameworkColour(colour)};
  const auto found = Masks_.find(key);
  if (found != Masks_.end()) return found->second;
  const TTextExtent extent = MeasureSevenSegment(mask, sizePt);
  TBitmap picture(extent.Width, extent.Height, Black);
  Font_.Draw(picture, 0, 0, mask, sizePt, colour);
  return Masks_.emplace(std::move(key), std::move(picture)).first->second;
}

void TImageControl::PaintMask(TBitmap& picture, std::string_view mask, int sizePt, TColour colour,
                              int x, int y) const {
  picture.Draw(MaskPicture(mask, sizePt, colour), x, y);
}

void TImageControl::PaintValue(TBitmap& picture, int digits, int sizePt, TColour lit,
                               std::string_view value, TColour unlit, int x, int y) const {
  PaintValueOverMask(picture, MaskForValue(digits, value), sizePt, lit, value, unlit, x, y);
}

void TImageControl::PaintValueOverMask(TBitmap& picture, std::string_view mask, int sizePt,
                                       TColour lit, std::string_view value, TColour unlit, int x,
                                       int y) const {
  PaintMask(picture, mask, sizePt, unlit, x, y);
  const int right = x + MeasureSevenSegment(mask, sizePt).Width;
  const int valueLeft = right - MeasureSevenSegment(value, sizePt).Width;
  Font_.Draw(picture, valueLeft, y, value, sizePt, lit);
}

void TImageControl::Erase(TBitmap& picture, std::string_view mask, int sizePt, int x, int y) const {
  PaintMask(picture, mask, sizePt, Black, x, y);
}

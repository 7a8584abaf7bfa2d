#include "app/scene/readoutlayout.h"

#include "app/gfx/readoutcolours.h"
#include "app/gfx/sevensegment.h"

namespace {

constexpr TReadoutColours kGreen{kReadoutGreen, kReadoutGreenUnlit, kReadoutGreenDim};
constexpr TReadoutColours kWhite{kReadoutWhite, kReadoutWhiteUnlit, kReadoutWhite};
constexpr TReadoutColours kOrange{kReadoutOrange, kReadoutOrangeUnlit, kReadoutOrange};

// In the order of TReadoutId. The clock and the core voltage are drawn at 14 points: at 16 their
// last digit ran under the indicator strips beside them. The start date fits before the time
// because the font's "/" is a narrow separator.
constexpr std::array<TReadoutPlace, kReadoutCount> kPlaces{{
    {TReadoutId::SavedKJ, "saved kJ", 176, 89, 22, 10, "888888.888", kGreen, TReadoutMode::Both},
    {TReadoutId::PeriodDays, "period days", 136, 117, 22, 4, "8888", kGreen, TReadoutMode::Period},
    {TReadoutId::PeriodHours, "period hours", 227, 117, 22, 2, "88", kGreen, TReadoutMode::Period},
    {TReadoutId::PeriodMinutes, "period minutes", 280, 117, 22, 2, "88", kGreen,
     TReadoutMode::Period},
    {TReadoutId::StartDate, "start date", 142, 121, 18, 0, "8888/88/88", kGreen,
     TReadoutMode::Total},
    {TReadoutId::StartTime, "start time", 270, 121, 18, 0, "88:88:88", kGreen, TReadoutMode::Total},
    {TReadoutId::SinceDays, "days since start", 169, 180, 18, 4, "8888", kWhite,
     TReadoutMode::Both},
    {TReadoutId::SinceHours, "hours since start", 257, 180, 18, 2, "88", kWhite,
     TReadoutMode::Both},
    {TReadoutId::SinceMinutes, "minutes since start", 309, 180, 18, 2, "88", kWhite,
     TReadoutMode::Both},
    {TReadoutId::Power, "power", 83, 188, 18, 5, "888.8", kWhite, TReadoutMode::Both},
    {TReadoutId::Consumed, "consumed kJ", 230, 207, 18, 10, "888888.888", kWhite,
     TReadoutMode::Both},
    {TReadoutId::CpuSpeed, "clock", 177, 270, 14, 6, "8888.8", kOrange, TReadoutMode::Both},
    {TReadoutId::Vcore, "core voltage", 154, 240, 14, 6, "8.8888", kOrange, TReadoutMode::Both},
}};

constexpr bool InIdOrder() {
  for (size_t i = 0; i < kPlaces.size(); ++i)
    if (static_cast<size_t>(kPlaces[i].Id) != i) return false;
  return true;
}
static_assert(InIdOrder(), "read-out places must be listed in the order of TReadoutId");

}  // namespace

const std::array<TReadoutPlace, kReadoutCount>& ReadoutPlaces() {
  return kPlaces;
}

const TReadoutPlace& ReadoutPlaceOf(TReadoutId id) {
  return kPlaces[static_cast<size_t>(id)];
}

bool ReadoutShownInMode(const TReadoutPlace& place, int32_t workingMode) {
  switch (place.Mode) {
    case TReadoutMode::Period:
      return workingMode == 1;
    case TReadoutMode::Total:
      return workingMode != 1;
    case TReadoutMode::Both:
      break;
  }
  return true;
}

TRect ReadoutPaintBox(const TReadoutPlace& place) {
  const TTextExtent extent = MeasureSevenSegment(place.Mask, place.SizePt);
  return TRect{place.X, place.Y, place.X + extent.Width, place.Y + extent.Height};
}

TRect ReadoutInkBox(const TReadoutPlace& place) {
  const TRect ink = SevenSegmentInkBounds(place.Mask, place.SizePt);
  return TRect{place.X + ink.Left, place.Y + ink.Top, place.X + ink.Right, place.Y + ink.Bottom};
}

// The main window's seven-segment read-outs as data: where each one sits on the background
// picture, its size, its mask of unlit cells and its colours. The controller paints from this
// table and nothing else, shells and tests read it to place or check the figures.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "app/gfx/bitmap.h"
#include "app/gfx/region.h"

enum class TReadoutId : uint8_t {
  SavedKJ,     // period or total energy saved, kJ
  PeriodDays,  // length of the current period
  PeriodHours,
  PeriodMinutes,
  StartDate,  // total mode: when the statistics started
  StartTime,
  SinceDays,  // time since the start date
  SinceHours,
  SinceMinutes,
  Power,     // processor power, W
  Consumed,  // energy consumed, kJ
  CpuSpeed,  // processor clock, MHz
  Vcore,     // core voltage, V
};
inline constexpr size_t kReadoutCount = 13;

// Which mode shows a read-out: the period counters and the start date share a row.
enum class TReadoutMode : uint8_t { Both, Period, Total };

struct TReadoutColours {
  TColour Lit;
  TColour Unlit;
  TColour Dim;  // the saving figures while energy saving is off
};

struct TReadoutPlace {
  TReadoutId Id;
  const char* Name;
  int X, Y;  // top-left of the mask, in background pixels
  int SizePt;
  // Cells of a value's mask (a value brings its own decimal point); 0 for a read-out whose mask
  // is always Mask (dates and times).
  int Digits;
  // The mask the read-out shows before its first value; its cells are the read-out's place.
  std::string_view Mask;
  TReadoutColours Colours;
  TReadoutMode Mode;
};

const std::array<TReadoutPlace, kReadoutCount>& ReadoutPlaces();
const TReadoutPlace& ReadoutPlaceOf(TReadoutId id);
// Whether the read-out shows in working mode 1 (period) or 2 (total).
bool ReadoutShownInMode(const TReadoutPlace& place, int32_t workingMode);

// The rectangle a read-out's paint covers: its mask's cells, black behind them.
TRect ReadoutPaintBox(const TReadoutPlace& place);
// The part of the paint box where segments have ink: without the cells' bearings and the blank
// rows above and below the segments. Nothing drawn over it may cover it.
TRect ReadoutInkBox(const TReadoutPlace& place);

// The two indicator strips' components, which lie over the background beside the clock and
// voltage read-outs.
inline constexpr const char* kIndicatorStrips[] = {"VcoreIndicatorImage", "CpuSpeedIndicatorImage"};

// The colours of the window's seven-segment read-outs, lit and unlit: the painter draws with them
// and the artwork matches its read-out windows and captions to them.
#pragma once

#include "app/gfx/bitmap.h"

constexpr TColour kReadoutGreen = Rgb(70, 255, 10);  // period and total figures
constexpr TColour kReadoutGreenUnlit = Rgb(25, 54, 6);
constexpr TColour kReadoutGreenDim = Rgb(89, 130, 72);  // while energy saving is off
constexpr TColour kReadoutWhite = Rgb(242, 248, 238);   // since, power, consumed
constexpr TColour kReadoutWhiteUnlit = Rgb(39, 39, 39);
constexpr TColour kReadoutOrange = Rgb(255, 145, 0);  // clock and core voltage
constexpr TColour kReadoutOrangeUnlit = Rgb(47, 25, 20);

// Where things sit on the 644 x 385 background, in its pixels. The read-out positions are the
// program's; the windows around them are drawn to leave a margin of black on every side.
#pragma once

#include "assets/artwork/canvas.h"

namespace artwork::layout {

constexpr int Width = 644;
constexpr int Height = 385;

// Green read-outs: saved energy, period counters, start date and time. The start time runs on
// under the mode controls, which sit on the same glass at its right end.
constexpr TRect GreenWindow{96, 62, 388, 151};
constexpr float ControlsRule = 331.5f;
// White and orange read-outs share one window, split by a rule; its right side follows the dial.
constexpr TRect DisplayWindow{64, 166, 392, 300};
constexpr TRect VcoreStrip{215, 237, 361, 264};
constexpr TRect ClockStrip{235, 267, 381, 294};
// The big switch sits in a round well.
constexpr float DialX = 482;
constexpr float DialY = 246;
constexpr TRect PhaseWindow{397, 34, 498, 154};
constexpr TRect OnSocket{580, 170, 624, 198};
constexpr TRect AutoRunSocket{526, 104, 625, 168};

constexpr int CaptionX = 215;
constexpr int CaptionY = 70;
constexpr int CaptionWidth = 88;
constexpr int CaptionHeight = 18;

}  // namespace artwork::layout

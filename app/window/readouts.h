// What the main window shows, as one record the controller fills on every refresh: the text and
// look of each seven-segment read-out, the indicator and animation frames, the period and the time
// since the start date, the mode and the on/off look. Every shell renders from it (the window
// paints the read-outs it lists, the terminal writes them as text), so all of them show the same
// figures without knowing the engine or the model file.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "app/scene/readoutlayout.h"

enum class TReadoutLook : uint8_t {
  Untouched,  // never painted: the artwork under it shows
  Erased,     // blanked (the mode that showed it was left)
  Unlit,      // the mask's dark cells only
  Lit,        // Text over the mask in the lit colour
  Dim,        // Text over the mask in the dim colour (saving figures while energy saving is off)
};

struct TReadoutState {
  TReadoutLook Look = TReadoutLook::Untouched;
  std::string Text;
  bool operator==(const TReadoutState&) const = default;
};

// A length of time as the window counts it.
struct TReadoutSpan {
  int32_t Days = 0;
  int32_t Hours = 0;
  int32_t Minutes = 0;
  bool operator==(const TReadoutSpan&) const = default;
};

struct TZemReadouts {
  bool Running = false;      // the engine runs: the figures below mean something
  bool Hidden = false;       // in the tray: nothing is painted, the tray hint carries the figure
  bool SavingOn = false;     // the on look (the big button shows "on")
  bool SavingShown = false;  // the board shows period and total figures at all
  int32_t Mode = 1;          // 1 period, 2 total
  bool AutoRunOn = false;
  std::array<TReadoutState, kReadoutCount> Readouts{};
  // The period's clock: what the period read-outs show, and the seconds and milliseconds counted
  // towards its next minute.
  TReadoutSpan Period;
  int32_t PeriodSeconds = 0;
  int32_t PeriodElapsedMs = 0;
  TReadoutSpan Since;  // since the start date, as last painted
  // Indicator frames shown (0 lowest .. 9) and the frames they glide to.
  int32_t SpeedFrame = 0, SpeedTarget = 0;
  int32_t VcoreFrame = 0, VcoreTarget = 0;
  // The animation: the piggy bank (no phase display on this board) or the regulator's phases.
  bool PiggyBank = false;
  int32_t Phases = 0;           // active regulator phases
  int32_t AnimationFrame = 0;   // frame of the phase or piggy-bank animation shown
  int32_t AnimationFrames = 0;  // frames of that animation (0: none for this phase count)
  std::string TrayHint;
  std::string SavingHint;  // why the board shows no saving figures, when it shows none

  const TReadoutState& operator[](TReadoutId id) const { return Readouts[static_cast<size_t>(id)]; }
  TReadoutState& operator[](TReadoutId id) { return Readouts[static_cast<size_t>(id)]; }
};

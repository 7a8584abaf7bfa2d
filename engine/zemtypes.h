// The energy-saving engine's codes, each with the number the model file or the settings store:
// the power model, the saving state, the window's saving read-out mode, and the interfaces that
// switch the regulator with one table behind their names.
#pragma once

#include <cstdint>
#include <string_view>

#include "chips/gpiocontrol.h"

// "ZemControl"/"ControlType": which power model the board's coefficients belong to. Other values
// compute nothing.
enum TZemControlType : int32_t {
  kControlCurrentMonitor = 1,  // current-monitor curve with PSI
  kControlLinear = 2,          // VR10/VR11 linear model
  kControlSquareRoot = 3,
  kControlVidMinusVcore = 4,
  kControlCurrentMonitorToo = 5,  // as 1
  kControlThreeSegment = 6,
  kControlVidMinusVcoreToo = 10,  // as 4
};

// "ZEM"/"ZemStatus": whether energy saving is on, as the hardware last showed it.
enum TZemStatus : int32_t {
  kZemOn = 1,
  kZemOff = 2,
};

// "Config"/"WorkingMode" of the model file: what the saving read-out adds up.
enum TWorkingMode : int32_t {
  kWorkingPeriod = 1,  // since the last reset
  kWorkingTotal = 2,   // since the first start
};

// "Interface" values of the sections "LoadlineControl" and "PsiControl".
enum TZemInterface : int32_t {
  kZemNone = 0,
  kZemAmdPsi = 1,  // "AMDCNQ": the northbridge's PSI VID
  kZemW627Gpio = 11,
  kZemIchGpio = 12,
  kZemNvGpio = 13,
  kZemW667Gpio = 14,
};

// The one table of interfaces: the GPIO rows take their names from the GPIO layer's table.
struct TZemInterfaceEntry {
  TZemInterface Code;
  TGpioKind Gpio;  // kGpioNone: not a GPIO interface
};
inline constexpr std::string_view kAmdPsiName = "AMDCNQ";
inline constexpr TZemInterfaceEntry kZemInterfaces[] = {
    {kZemAmdPsi, kGpioNone}, {kZemW627Gpio, kGpioW627}, {kZemIchGpio, kGpioIch},
    {kZemNvGpio, kGpioNv},   {kZemW667Gpio, kGpioW667},
};

// kZemNone for an empty or unknown name (exact, case-sensitive comparison).
TZemInterface ZemInterfaceCode(std::string_view name);
// "AMDCNQ", a GPIO interface's name, or empty.
std::string_view ZemInterfaceName(TZemInterface code);
// The GPIO family a code switches through; kGpioNone for the northbridge and for none.
TGpioKind ZemGpioKind(TZemInterface code);

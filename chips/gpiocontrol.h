// Picks a GPIO back-end by the interface name a model file gives ("ICHGPIO", "W627GPIO", ...)
// and runs one request on it: which line of a section of pin settings the pins show, or drive
// the pins into a setting. Each request creates a fresh back-end and frees it afterwards, so it
// reads the chip (and finds its base) again.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "base/inifile.h"
#include "chips/gpiobase.h"

class TReadWrite;
class TSio;

// Chip families. The first four are the families the model file's interfaces select (the
// engine's GPIO interface codes 11 to 14 minus 10); the IT8720 is created directly by its users.
enum TGpioKind : int {
  kGpioNone = 0,
  kGpioW627 = 1,
  kGpioIch = 2,
  kGpioNv = 3,
  kGpioW667 = 4,
  kGpioIt8720 = 5,
};

// The one table of GPIO interface names. A model file may name the first four; the IT8720 is
// created directly by its users (and by zemctl).
struct TGpioInterface {
  std::string_view Name;
  TGpioKind Kind;
  bool InModelFiles;
};
inline constexpr TGpioInterface kGpioInterfaces[] = {
    {"W627GPIO", kGpioW627, true}, {"ICHGPIO", kGpioIch, true},        {"NVGPIO", kGpioNv, true},
    {"W667GPIO", kGpioW667, true}, {"IT8720GPIO", kGpioIt8720, false},
};

// Every interface name, the IT8720's "IT8720GPIO" included; kGpioNone for any other text (exact,
// case-sensitive).
TGpioKind GpioKindByName(std::string_view interfaceName);
// The kind's name; empty for kGpioNone.
std::string_view GpioInterfaceName(TGpioKind kind);
// The names, comma-separated, for messages ("W627GPIO, ICHGPIO, ...").
std::string GpioInterfaceNames(bool modelFileOnly);

// A back-end of the kind; null for kGpioNone, and for the Super I/O families when sio is null.
std::unique_ptr<TGpioBase> CreateGpio(TGpioKind kind, TReadWrite& rw, TSio* sio);
std::unique_ptr<TGpioBase> CreateGpio(std::string_view interfaceName, TReadWrite& rw, TSio* sio);

class TGpioControl {
 public:
  // cfg: the model file. currentSio gives the Super I/O object at the time of a request (the
  // program may replace it); it may return null when there is none.
  TGpioControl(const TiFile& cfg, TReadWrite& rw, std::function<TSio*()> currentSio);

  // "W627GPIO" 1, "ICHGPIO" 2, "NVGPIO" 3, "W667GPIO" 4; any other text 0 (exact comparison).
  static TGpioKind KindOf(std::string_view interfaceName);
  // Index of the first value of the model file's section whose setting the pins show; 0 when none
  // does, and for kind 0 (*found tells the two apart).
  int StateIndex(int kind, std::string_view section, bool* found = nullptr);
  // Drives the pins into setting; true only when every pin then shows the state asked for (false
  // for kind 0, a chip that is not present and a setting that does not parse).
  bool ApplySetting(int kind, std::string_view setting);

 private:
  std::unique_ptr<TGpioBase> Create(int kind);

  const TiFile& Cfg_;
  TReadWrite& Rw_;
  std::function<TSio*()> CurrentSio_;
};

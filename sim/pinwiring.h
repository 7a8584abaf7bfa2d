// A board's wiring of chip pins: which pin of which chip is tied to a fixed strap level and which
// share a named net ("VR.PSI", "VR.LOADLINE") with other pins or with a model that reads it, such
// as the voltage regulator. Chips register under a prefix ("SIO", "ICH", "MCP") and answer what
// each of their pins drives; the wiring answers what an input pin sees and what level a net
// carries. Levels are pulled on demand, never pushed, so nothing has to be kept in step.
//
// Board-file section (after the sections of the chips it names):
//   [Wiring]   CHIP.PIN=High | Low    an input strap (the pin reads this level)
//              CHIP.PIN=NET           the pin is on the named net
//              Pull.NET=High | Low    the level of the net while no pin drives it (default High)
// Names compare without regard to case. A pin that is not wired reads its chip's default (the
// chips model weak pull-ups, so high unless the chip says otherwise).
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "sim/simdevice.h"

class TIniFile;
class TSimMachine;

// What a pin puts on its wire.
enum class TSimPinDrive : uint8_t { Floating, Low, High };

// A chip whose pins the wiring can see. Pin names are the chip's own ("GPIO24").
class ISimPinSource {
 public:
  virtual bool HasPin(std::string_view pin) const = 0;
  // Floating for an input, a pin serving another function, or a name the chip does not have.
  virtual TSimPinDrive PinDrive(std::string_view pin) const = 0;

 protected:
  ~ISimPinSource() = default;
};

// The number of a pin named "GPIO" + decimal digits (any case, no leading zero); nothing for any
// other name. The chip checks the range.
std::optional<unsigned> SimGpioNumber(std::string_view pin);

// What other models (the voltage regulator) read off the board.
class ISimNetLevels {
 public:
  // The driven level of the net, else its pull.
  virtual bool NetLevel(std::string_view net) const = 0;
  // Floating when no pin on the net drives it.
  virtual TSimPinDrive NetDrive(std::string_view net) const = 0;

 protected:
  ~ISimNetLevels() = default;
};

class TSimPinWiring : public ISimDevice, public ISimNetLevels {
 public:
  static constexpr const char* Name = "wiring";

  // A chip's pins become "PREFIX.PIN". False when the prefix is taken.
  bool AddChip(std::string_view prefix, const ISimPinSource* chip);

  // target is "High", "Low" or a net name (letters, digits and "._-"). False with a message when
  // the chip or pin is unknown or the target malformed.
  bool Wire(std::string_view pin, std::string_view target, std::string* error);
  // A strap set at run time (tests, demo); replaces whatever the pin was wired to.
  bool SetStrap(std::string_view pin, bool level, std::string* error);
  void SetPull(std::string_view net, bool level);

  // What an input pin of chip prefix sees: its strap, or its net's level. Nothing when unwired.
  std::optional<bool> InputLevel(std::string_view prefix, std::string_view pin) const;
  // What the pin "PREFIX.PIN" drives.
  TSimPinDrive PinDrive(std::string_view pin) const;
  // The level on the pin's wire: what it drives, else what it sees as an input (high when
  // unwired, as the chips' pull-ups make it).
  bool PinLevel(std::string_view pin) const;
  // The net or strap the pin is wired to ("NET", "HIGH", "LOW"), empty when unwired.
  std::string WiredTo(std::string_view pin) const;

  bool NetLevel(std::string_view net) const override;
  TSimPinDrive NetDrive(std::string_view net) const override;

  // The wiring and pulls, since straps can change at run time.
  std::string DeviceName() const override { return Name; }
  void SaveState(TSimState& state) const override;
  bool LoadState(const TSimState& state, std::string* error) override;

 private:
  struct TEnd {
    bool IsNet = false;
    bool Level = false;  // strap level
    std::string Net;
  };
  bool CheckPin(const std::string& pin, std::string* error) const;
  TSimPinDrive DriveOf(const std::string& pin) const;

  std::map<std::string, const ISimPinSource*> Chips_;  // by upper-case prefix
  std::map<std::string, TEnd> Ends_;                   // by upper-case "PREFIX.PIN"
  std::map<std::string, bool> Pulls_;                  // by upper-case net
};

// The machine's wiring, added on first use.
TSimPinWiring& SimWiring(TSimMachine& machine);

// The [Wiring] section.
bool BuildSimWiring(TSimMachine& machine, const TIniFile& ini, const std::string& section,
                    std::string* error);

// The pin model shared by every GPIO chip: one state code per pin, the pin settings of the model
// file ("GPIO14=High GPIO15=Low", items separated by blanks or commas), and the operations on them:
// test whether the pins are in the named states, drive them there, pick the first matching
// setting of a list, and list every pin. A chip back-end only reads its pins into state codes and
// drives one pin; everything about names and settings lives here.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/inifile.h"

// State codes, one bit each so that a setting word can accept several ("INPUT" is both inputs).
constexpr uint8_t kPinNotGpio = 1;
constexpr uint8_t kPinDisabled = 2;
constexpr uint8_t kPinInputLow = 4;
constexpr uint8_t kPinInputHigh = 8;
constexpr uint8_t kPinInput = kPinInputLow | kPinInputHigh;
constexpr uint8_t kPinOutputLow = 16;
constexpr uint8_t kPinOutputHigh = 32;

// The codes a pin can be driven into. Any other code (an unknown word: "Not GPIO") drives nothing,
// so a setting never takes a pin away from its own function.
bool IsDrivenState(uint8_t code);

// "Not GPIO", "Disabled", "Input Low", "Input High", "Output Low", "Output High"; any other code
// " !!!ERROR!!! ".
std::string PinStateText(uint8_t code);
// Setting word (upper case) to code: INPUTLOW/INPUT_LOW 4, INPUTHIGH/INPUT_HIGH 8, INPUT 12, LOW
// 16, HIGH 32, anything else 1 (so an unknown word matches only a pin that is no GPIO).
uint8_t SettingWordCode(std::string_view word);

// How a chip names its pins.
struct TPinNaming {
  int PinCount = 128;
  // Grouped: "GPIO" + group digit + bit digit (0-7), index = (group - first) * 8 + bit.
  // Otherwise "GPIO" + decimal number, index = number - first.
  bool Grouped = true;
  uint8_t FirstNumber = 1;
};

struct TPinItem {
  uint8_t Index = 0;
  uint8_t Code = 0;
};

// The state of bit b of a group of pins described by masks, as the chips that have a pin
// multiplexer show it: not enabled for GPIO -> Not GPIO; not usable -> Disabled; otherwise input
// (direction bit 1) or output, high when level XOR inversion is 1.
struct TPinMasks {
  uint32_t Enable = 0;
  uint32_t Usable = 0xFFFFFFFFu;
  uint32_t Direction = 0;  // 1 = input
  uint32_t Level = 0;
  uint32_t Inversion = 0;
};
uint8_t CommonPinState(const TPinMasks& masks, int bit);

// The items of a setting: trimmed, upper-cased, split at blanks and commas (empty items dropped).
std::vector<std::string> SplitPinSetting(std::string_view setting);
// One upper-case item "GPIOnn=WORD". Nothing when it does not start with "GPIO", has no "=", its
// pin number is not decimal (grouped: not exactly two digits, the bit digit above 7), or the pin
// lies outside the chip.
std::optional<TPinItem> ParsePinItem(std::string_view item, const TPinNaming& naming);
// "GPIO" + number of the pin at index, as the chip's names spell it.
std::string PinName(int index, const TPinNaming& naming);

class TGpioBase {
 public:
  static constexpr int kMaxPins = 128;

  virtual ~TGpioBase() = default;
  TGpioBase(const TGpioBase&) = delete;
  TGpioBase& operator=(const TGpioBase&) = delete;

  // False when the chip this back-end drives was not found or is not of its family: the back-end
  // then touches no port, matches nothing and drives nothing.
  virtual bool Present() const { return true; }
  // Reads the chip into the state codes of every pin.
  virtual void ReadPins() {}
  // Drives the pin at index (0-based) into a state code.
  virtual void SetPin(uint8_t /*index*/, uint8_t /*state*/) {}
  // Reads the pins, then appends one line per pin ("GPIO14 = Output High"); grouped chips follow
  // each group of eight with an empty line.
  virtual void Dump(TStrings& lines);

  // True when every item of the setting holds (pin state AND the word's code is not 0); false for
  // an empty setting and at the first item that fails or does not parse. Reads the pins first.
  bool Matches(std::string_view setting);
  // Drives the pins item by item, then reads them back: true only when every pin shows the state
  // asked for. A setting with an item that does not parse drives nothing; false for an empty one
  // and on a chip that is not present.
  bool Apply(std::string_view setting);
  // Index of the first setting that matches; 0 when none does (as for the first), *found tells.
  int FindMatching(const TStrings& settings, bool* found = nullptr);
  // Lines "value=setting": the value of the first line whose setting matches, or empty. The
  // matching line is shown on the trace console.
  std::string SelectByPins(const TStrings& lines);

  const TPinNaming& Naming() const { return Naming_; }
  int PinCount() const { return Naming_.PinCount; }
  // The state code ReadPins left for the pin; 0 before the first read.
  uint8_t PinState(int index) const;

 protected:
  explicit TGpioBase(const TPinNaming& naming = {});

  std::array<uint8_t, kMaxPins> PinStates_{};

 private:
  TPinNaming Naming_;
};

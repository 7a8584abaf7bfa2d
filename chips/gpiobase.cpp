#include "chips/gpiobase.h"

#include <algorithm>

#include "base/textfmt.h"
#include "base/trace.h"

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// A non-empty run of decimal digits, at most nine so that it fits.
std::optional<int> DecimalNumber(std::string_view text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (!IsDigit(c)) return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace

std::string PinStateText(uint8_t code) {
  switch (code) {
    case kPinNotGpio:
      return "Not GPIO";
    case kPinDisabled:
      return "Disabled";
    case kPinInputLow:
      return "Input Low";
    case kPinInputHigh:
      return "Input High";
    case kPinOutputLow:
      return "Output Low";
    case kPinOutputHigh:
      return "Output High";
    default:
      return " !!!ERROR!!! ";
  }
}

uint8_t SettingWordCode(std::string_view word) {
  if (word == "INPUTLOW" || word == "INPUT_LOW") return kPinInputLow;
  if (word == "INPUTHIGH" || word == "INPUT_HIGH") return kPinInputHigh;
  if (word == "INPUT") return kPinInput;
  if (word == "LOW") return kPinOutputLow;
  if (word == "HIGH") return kPinOutputHigh;
  return kPinNotGpio;
}

bool IsDrivenState(uint8_t code) {
  switch (code) {
    case kPinInputLow:
    case kPinInputHigh:
    case kPinInput:
    case kPinOutputLow:
    case kPinOutputHigh:
      return true;
    default:
      return false;
  }
}

uint8_t CommonPinState(const TPinMasks& masks, int bit) {
  const uint32_t mask = uint32_t{1} << bit;
  if ((masks.Enable & mask) == 0) return kPinNotGpio;
  if ((masks.Usable & mask) == 0) return kPinDisabled;
  const bool high = ((masks.Level ^ masks.Inversion) & mask) != 0;
  if ((masks.Direction & mask) != 0) return high ? kPinInputHigh : kPinInputLow;
  return high ? kPinOutputHigh : kPinOutputLow;
}

std::vector<std::string> SplitPinSetting(std::string_view setting) {
  const std::string text = ToUpperAscii(TrimBlanks(setting));
  std::vector<std::string> items;
  std::string item;
  for (char c : text) {
    if (c == ' ' || c == ',' || c == '\t') {
      if (!item.empty()) items.push_back(std::move(item));
      item.clear();
    } else {
      item += c;
    }
  }
  if (!item.empty()) items.push_back(std::move(item));
  return items;
}

std::optional<TPinItem> ParsePinItem(std::string_view item, const TPinNaming& naming) {
  constexpr std::string_view kPrefix = "GPIO";
  if (item.substr(0, kPrefix.size()) != kPrefix) return std::nullopt;
  const size_t equals = item.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  const std::string number = TrimBlanks(item.substr(kPrefix.size(), equals - kPrefix.size()));

  int index = 0;
  if (naming.Grouped) {
    // Group digit and bit digit; a bit above 7 would silently name a pin of the next group.
    if (number.size() != 2 || !IsDigit(number[0]) || !IsDigit(number[1])) return std::nullopt;
    const int group = number[0] - '0';
    const int bit = number[1] - '0';
    if (bit > 7) return std::nullopt;
    index = (group - naming.FirstNumber) * 8 + bit;
  } else {
    const std::optional<int> value = DecimalNumber(number);
    if (!value) return std::nullopt;
    index = *value - naming.FirstNumber;
  }
  if (index < 0 || index >= naming.PinCount || index >= TGpioBase::kMaxPins) return std::nullopt;

  TPinItem parsed;
  parsed.Index = static_cast<uint8_t>(index);
  parsed.Code = SettingWordCode(TrimBlanks(item.substr(equals + 1)));
  return parsed;
}

std::string PinName(int index, const TPinNaming& naming) {
  if (naming.Grouped)
    return "GPIO" + std::to_string(naming.FirstNumber + index / 8) + std::to_string(index % 8);
  return "GPIO" + std::to_string(naming.FirstNumber + index);
}

TGpioBase::TGpioBase(const TPinNaming& naming) : Naming_(naming) {}

uint8_t TGpioBase::PinState(int index) const {
  if (index < 0 || index >= kMaxPins) return 0;
  return PinStates_[static_cast<size_t>(index)];
}

void TGpioBase::Dump(TStrings& lines) {
  if (!Present()) return;
  ReadPins();
  const int count = std::min(Naming_.PinCount, kMaxPins);
  for (int index = 0; index < count; ++index) {
    lines.push_back(PinName(index, Naming_) + " = " + PinStateText(PinState(index)));
    if (Naming_.Grouped && index % 8 == 7) lines.emplace_back();
  }
}

bool TGpioBase::Matches(std::string_view setting) {
  const std::vector<std::string> items = SplitPinSetting(setting);
  if (items.empty() || !Present()) return false;
  ReadPins();
  for (const std::string& item : items) {
    const std::optional<TPinItem> parsed = ParsePinItem(item, Naming_);
    if (!parsed || (PinState(parsed->Index) & parsed->Code) == 0) return false;
  }
  return true;
}

bool TGpioBase::Apply(std::string_view setting) {
  const std::vector<std::string> items = SplitPinSetting(setting);
  if (items.empty() || !Present()) return false;
  std::vector<TPinItem> parsed;
  for (const std::string& item : items) {
    const std::optional<TPinItem> pin = ParsePinItem(item, Naming_);
    if (!pin) return false;
    parsed.push_back(*pin);
  }
  for (const TPinItem& pin : parsed) {
    if (IsDrivenState(pin.Code)) SetPin(pin.Index, pin.Code);
  }
  // A write can be lost (a chip that ignores it, a register that is read-only on this board): only
  // what the chip shows afterwards counts.
  ReadPins();
  for (const TPinItem& pin : parsed) {
    if ((PinState(pin.Index) & pin.Code) == 0) return false;
  }
  return true;
}

int TGpioBase::FindMatching(const TStrings& settings, bool* found) {
  for (size_t i = 0; i < settings.size(); ++i) {
    if (Matches(settings[i])) {
      if (found != nullptr) *found = true;
      return static_cast<int>(i);
    }
  }
  if (found != nullptr) *found = false;
  return 0;
}

std::string TGpioBase::SelectByPins(const TStrings& lines) {
  for (const std::string& line : lines) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string value = line.substr(0, equals);
    const std::string setting = line.substr(equals + 1);
    if (!Matches(setting)) continue;
    TraceLine("str = " + line);
    TraceLine("Value = " + value);
    TraceLine("OmdexSetting = " + setting);
    return value;
  }
  return {};
}

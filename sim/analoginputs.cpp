#include "sim/analoginputs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "base/inifile.h"
#include "base/textfmt.h"
#include "sim/sectionreader.h"
#include "sim/simmachine.h"
#include "sim/simstate.h"

namespace {

constexpr std::string_view ValueKey = "monitor.";

std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  while (true) {
    const size_t start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos) return words;
    text.remove_prefix(start);
    const size_t end = text.find_first_of(" \t");
    words.push_back(text.substr(0, end));
    if (end == std::string_view::npos) return words;
    text.remove_prefix(end);
  }
}

const char* UnitText(TSimUnit unit) {
  switch (unit) {
    case TSimUnit::Volts:
      return "V";
    case TSimUnit::Celsius:
      return "C";
    case TSimUnit::Rpm:
      return "RPM";
  }
  return "?";
}

}  // namespace

bool TSimAnalogInputs::Parse(std::string_view text, TSimAnalogInput* input, std::string* error) {
  const std::vector<std::string_view> words = Words(text);
  TSimAnalogInput parsed;
  if (words.size() < 2 || !TSimSectionReader::ParseReal(words[0], &parsed.Constant)) {
    *error = "expected VALUE UNIT, such as \"1.25 V\", \"45 C\" or \"2250 RPM\"";
    return false;
  }
  if (EqualsNoCase(words[1], "V")) {
    parsed.Unit = TSimUnit::Volts;
  } else if (EqualsNoCase(words[1], "C")) {
    parsed.Unit = TSimUnit::Celsius;
  } else if (EqualsNoCase(words[1], "RPM")) {
    parsed.Unit = TSimUnit::Rpm;
  } else {
    *error = "unit '" + std::string(words[1]) + "' is not V, C or RPM";
    return false;
  }
  for (size_t i = 2; i < words.size(); i += 2) {
    if (parsed.Unit != TSimUnit::Volts || i + 1 >= words.size()) {
      *error = "only a voltage takes \"divider R1/R2\" and \"ref VOLTS\"";
      return false;
    }
    const std::string_view what = words[i];
    const std::string_view arg = words[i + 1];
    if (EqualsNoCase(what, "divider")) {
      const size_t slash = arg.find('/');
      if (slash == std::string_view::npos ||
          !TSimSectionReader::ParseReal(arg.substr(0, slash), &parsed.R1) ||
          !TSimSectionReader::ParseReal(arg.substr(slash + 1), &parsed.R2) || parsed.R1 < 0 ||
          !(parsed.R2 > 0)) {
        *error = "divider '" + std::string(arg) + "' is not R1/R2 with R2 above 0";
        return false;
      }
    } else if (EqualsNoCase(what, "ref")) {
      if (!TSimSectionReader::ParseReal(arg, &parsed.RefVolts)) {
        *error = "ref '" + std::string(arg) + "' is not a voltage";
        return false;
      }
    } else {
      *error = "'" + std::string(what) + "' is neither divider nor ref";
      return false;
    }
  }
  *input = parsed;
  return true;
}

const TSimAnalogInputs::TSlot* TSimAnalogInputs::Find(std::string_view name) const {
  const auto slot = Slots_.find(ToUpperAscii(name));
  return slot == Slots_.end() ? nullptr : &slot->second;
}

TSimAnalogInputs::TSlot* TSimAnalogInputs::Find(std::string_view name) {
  const auto slot = Slots_.find(ToUpperAscii(name));
  return slot == Slots_.end() ? nullptr : &slot->second;
}

void TSimAnalogInputs::Declare(std::string_view name, TSimUnit unit) {
  TSlot& slot = Slots_[ToUpperAscii(name)];
  slot.Unit = unit;
  slot.Input.Unit = unit;
}

bool TSimAnalogInputs::Declared(std::string_view name) const {
  return Find(name) != nullptr;
}

bool TSimAnalogInputs::Defined(std::string_view name) const {
  const TSlot* slot = Find(name);
  return slot != nullptr && slot->Defined;
}

bool TSimAnalogInputs::Define(std::string_view name, const TSimAnalogInput& input,
                              std::string* error) {
  TSlot* slot = Find(name);
  if (slot == nullptr) {
    *error = "the board's monitor has no input " + std::string(name) +
             " (the chip's section comes before the monitor inputs)";
    return false;
  }
  if (slot->Unit != input.Unit) {
    *error =
        std::string(name) + " measures " + UnitText(slot->Unit) + ", not " + UnitText(input.Unit);
    return false;
  }
  slot->Input = input;
  slot->Defined = true;
  return true;
}

std::optional<double> TSimAnalogInputs::Value(std::string_view name) const {
  const TSlot* slot = Find(name);
  if (slot == nullptr || !slot->Defined) return std::nullopt;
  const TSimAnalogInput& input = slot->Input;
  return input.Source != nullptr ? input.Source->AnalogValue() : input.Constant;
}

std::optional<double> TSimAnalogInputs::PinValue(std::string_view name) const {
  const std::optional<double> value = Value(name);
  if (!value) return std::nullopt;
  const TSimAnalogInput& input = Find(name)->Input;
  if (input.Unit != TSimUnit::Volts || input.R1 == 0) return value;
  return (*value * input.R2 + input.RefVolts * input.R1) / (input.R1 + input.R2);
}

bool TSimAnalogInputs::SetValue(std::string_view name, double value) {
  TSlot* slot = Find(name);
  if (slot == nullptr) return false;
  slot->Defined = true;
  slot->Input.Constant = value;
  slot->Input.Source = nullptr;
  return true;
}

bool TSimAnalogInputs::Connect(std::string_view name, const ISimAnalogSource* source) {
  TSlot* slot = Find(name);
  if (slot == nullptr) return false;
  if (source != nullptr) slot->Defined = true;
  slot->Input.Source = source;
  return true;
}

void TSimAnalogInputs::SaveState(TSimState& state) const {
  for (const auto& [name, slot] : Slots_) {
    // A model's source keeps its own state; only constants belong here.
    if (!slot.Defined || slot.Input.Source != nullptr) continue;
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", slot.Input.Constant);
    state.SetText(std::string(ValueKey) + name, text);
  }
}

bool TSimAnalogInputs::LoadState(const TSimState& state, std::string* error) {
  std::map<std::string, double> values;
  for (const std::string& key : state.KeysWithPrefix(ValueKey)) {
    std::string text;
    if (!state.GetText(key, &text, error)) return false;
    const std::string name = key.substr(ValueKey.size());
    double value = 0;
    if (Find(name) == nullptr || !TSimSectionReader::ParseReal(text, &value)) {
      *error = "state entry '" + key + "' is no input of this board's monitor";
      return false;
    }
    values[name] = value;
  }
  for (const auto& [name, value] : values) {
    TSlot& slot = *Find(name);
    if (slot.Input.Source == nullptr) SetValue(name, value);
  }
  return true;
}

uint8_t SimAdcCode(double volts, double lsb) {
  if (!std::isfinite(volts)) return 0;
  return static_cast<uint8_t>(std::clamp(std::lround(volts / lsb), 0l, 255l));
}

uint8_t SimTemperatureCode(double celsius) {
  if (!std::isfinite(celsius)) return 0;
  return static_cast<uint8_t>(std::clamp(std::lround(celsius), -128l, 127l) & 0xFF);
}

uint32_t SimFanCount(double rpm, uint32_t divisor, uint32_t max) {
  if (!(rpm > 0) || divisor == 0) return max;
  const double count = std::round(1350000.0 / (rpm * divisor));
  return count >= max ? max : static_cast<uint32_t>(std::max(count, 1.0));
}

TSimAnalogInputs& SimMonitorInputs(TSimMachine& machine) {
  if (auto* existing =
          dynamic_cast<TSimAnalogInputs*>(machine.FindDevice(TSimAnalogInputs::Name))) {
    return *existing;
  }
  return *machine.Add(std::make_unique<TSimAnalogInputs>());
}

bool BuildSimMonitorInputs(TSimMachine& machine, const TIniFile& ini, const std::string& section,
                           std::string* error) {
  TSimAnalogInputs& inputs = SimMonitorInputs(machine);
  TStrings keys;
  ini.ReadSection(section, keys);
  for (const std::string& key : keys) {
    TSimAnalogInput input;
    std::string why;
    if (!TSimAnalogInputs::Parse(ini.ReadString(section, key, ""), &input, &why) ||
        !inputs.Define(key, input, &why)) {
      *error = ini.FileName() + ": [" + section + "] " + key + ": " + why;
      return false;
    }
  }
  return true;
}

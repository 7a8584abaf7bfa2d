#include "sim/pinwiring.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "base/inifile.h"
#include "base/textfmt.h"
#include "sim/simmachine.h"
#include "sim/simstate.h"

std::optional<unsigned> SimGpioNumber(std::string_view pin) {
  if (pin.size() < 5 || !StartsWithNoCase(pin, "GPIO")) return std::nullopt;
  const std::string_view digits = pin.substr(4);
  unsigned number = 0;
  const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  if (result.ec != std::errc() || result.ptr != digits.data() + digits.size() ||
      (digits.size() > 1 && digits[0] == '0')) {
    return std::nullopt;
  }
  return number;
}

namespace {

constexpr std::string_view PinKey = "wiring.pin.";
constexpr std::string_view PullKey = "wiring.pull.";
constexpr std::string_view NetMark = "NET:";

// Net names end up in state keys, so they keep to the characters those allow.
bool IsNetName(std::string_view name) {
  return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '_' || c == '-';
  });
}

std::optional<bool> LevelWord(std::string_view word) {
  if (EqualsNoCase(word, "High")) return true;
  if (EqualsNoCase(word, "Low")) return false;
  return std::nullopt;
}

}  // namespace

bool TSimPinWiring::AddChip(std::string_view prefix, const ISimPinSource* chip) {
  return Chips_.emplace(ToUpperAscii(prefix), chip).second;
}

bool TSimPinWiring::CheckPin(const std::string& pin, std::string* error) const {
  const size_t dot = pin.find('.');
  const auto chip = dot == std::string::npos ? Chips_.end() : Chips_.find(pin.substr(0, dot));
  if (chip == Chips_.end()) {
    *error = "'" + pin + "' names no chip of this board (chip sections come before the wiring)";
    return false;
  }
  if (!chip->second->HasPin(pin.substr(dot + 1))) {
    *error = "chip " + chip->first + " has no pin " + pin.substr(dot + 1);
    return false;
  }
  return true;
}

bool TSimPinWiring::Wire(std::string_view pin, std::string_view target, std::string* error) {
  const std::string key = ToUpperAscii(TrimBlanks(pin));
  if (!CheckPin(key, error)) return false;
  const std::string to = TrimBlanks(target);
  TEnd end;
  if (const auto level = LevelWord(to)) {
    end.Level = *level;
  } else if (IsNetName(to)) {
    end.IsNet = true;
    end.Net = ToUpperAscii(to);
  } else {
    *error = "'" + to + "' is neither High, Low nor a net name";
    return false;
  }
  Ends_[key] = end;
  return true;
}

bool TSimPinWiring::SetStrap(std::string_view pin, bool level, std::string* error) {
  return Wire(pin, level ? "High" : "Low", error);
}

void TSimPinWiring::SetPull(std::string_view net, bool level) {
  Pulls_[ToUpperAscii(net)] = level;
}

TSimPinDrive TSimPinWiring::DriveOf(const std::string& pin) const {
  const size_t dot = pin.find('.');
  if (dot == std::string::npos) return TSimPinDrive::Floating;
  const auto chip = Chips_.find(pin.substr(0, dot));
  return chip == Chips_.end() ? TSimPinDrive::Floating
                              : chip->second->PinDrive(pin.substr(dot + 1));
}

TSimPinDrive TSimPinWiring::NetDrive(std::string_view net) const {
  const std::string name = ToUpperAscii(net);
  // The first driving pin wins; the models do not simulate contention between two drivers.
  for (const auto& [pin, end] : Ends_) {
    if (!end.IsNet || end.Net != name) continue;
    const TSimPinDrive drive = DriveOf(pin);
    if (drive != TSimPinDrive::Floating) return drive;
  }
  return TSimPinDrive::Floating;
}

bool TSimPinWiring::NetLevel(std::string_view net) const {
  switch (NetDrive(net)) {
    case TSimPinDrive::High:
      return true;
    case TSimPinDrive::Low:
      return false;
    case TSimPinDrive::Floating:
      break;
  }
  const auto pull = Pulls_.find(ToUpperAscii(net));
  return pull == Pulls_.end() || pull->second;
}

std::optional<bool> TSimPinWiring::InputLevel(std::string_view prefix, std::string_view pin) const {
  const auto end = Ends_.find(ToUpperAscii(prefix) + "." + ToUpperAscii(pin));
  if (end == Ends_.end()) return std::nullopt;
  return end->second.IsNet ? NetLevel(end->second.Net) : end->second.Level;
}

TSimPinDrive TSimPinWiring::PinDrive(std::string_view pin) const {
  return DriveOf(ToUpperAscii(pin));
}

bool TSimPinWiring::PinLevel(std::string_view pin) const {
  const std::string key = ToUpperAscii(pin);
  switch (DriveOf(key)) {
    case TSimPinDrive::High:
      return true;
    case TSimPinDrive::Low:
      return false;
    case TSimPinDrive::Floating:
      break;
  }
  const size_t dot = key.find('.');
  if (dot == std::string::npos) return true;
  return InputLevel(key.substr(0, dot), key.substr(dot + 1)).value_or(true);
}

std::string TSimPinWiring::WiredTo(std::string_view pin) const {
  const auto end = Ends_.find(ToUpperAscii(pin));
  if (end == Ends_.end()) return "";
  if (end->second.IsNet) return end->second.Net;
  return end->second.Level ? "HIGH" : "LOW";
}

void TSimPinWiring::SaveState(TSimState& state) const {
  for (const auto& [pin, end] : Ends_) {
    state.SetText(std::string(PinKey) + pin,
                  end.IsNet ? std::string(NetMark) + end.Net : (end.Level ? "HIGH" : "LOW"));
  }
  for (const auto& [net, level] : Pulls_) state.SetNumber(std::string(PullKey) + net, level);
}

bool TSimPinWiring::LoadState(const TSimState& state, std::string* error) {
  std::map<std::string, TEnd> ends;
  std::map<std::string, bool> pulls;
  for (const std::string& key : state.KeysWithPrefix(PinKey)) {
    std::string value;
    if (!state.GetText(key, &value, error)) return false;
    const std::string pin = key.substr(PinKey.size());
    if (!CheckPin(pin, error)) return false;
    TEnd end;
    if (value.rfind(NetMark, 0) == 0 && IsNetName(value.substr(NetMark.size()))) {
      end.IsNet = true;
      end.Net = value.substr(NetMark.size());
    } else if (const auto level = LevelWord(value)) {
      end.Level = *level;
    } else {
      *error = "state entry '" + key + "': '" + value + "' is no wiring";
      return false;
    }
    ends[pin] = end;
  }
  for (const std::string& key : state.KeysWithPrefix(PullKey)) {
    uint64_t level = 0;
    if (!state.GetNumber(key, &level, error)) return false;
    pulls[key.substr(PullKey.size())] = level != 0;
  }
  Ends_ = std::move(ends);
  Pulls_ = std::move(pulls);
  return true;
}

TSimPinWiring& SimWiring(TSimMachine& machine) {
  if (auto* existing = dynamic_cast<TSimPinWiring*>(machine.FindDevice(TSimPinWiring::Name))) {
    return *existing;
  }
  return *machine.Add(std::make_unique<TSimPinWiring>());
}

bool BuildSimWiring(TSimMachine& machine, const TIniFile& ini, const std::string& section,
                    std::string* error) {
  TSimPinWiring& wiring = SimWiring(machine);
  TStrings keys;
  ini.ReadSection(section, keys);
  for (const std::string& key : keys) {
    const std::string value = ini.ReadString(section, key, "");
    std::string why;
    if (StartsWithNoCase(key, "Pull.")) {
      const auto level = LevelWord(TrimBlanks(value));
      const std::string net = key.substr(5);
      if (!IsNetName(net)) {
        why = "'" + net + "' is no net name";
      } else if (!level) {
        why = "expected High or Low";
      } else {
        wiring.SetPull(net, *level);
        continue;
      }
    } else if (wiring.Wire(key, value, &why)) {
      continue;
    }
    *error = ini.FileName() + ": [" + section + "] " + key + ": " + why;
    return false;
  }
  return true;
}

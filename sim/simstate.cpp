#include "sim/simstate.h"

#include <charconv>

#include "base/textfmt.h"

namespace {

bool IsKeyCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '_' || c == ':' || c == '-';
}

bool IsValidKey(std::string_view key) {
  if (key.empty()) return false;
  for (char c : key) {
    if (!IsKeyCharacter(c)) return false;
  }
  return true;
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string MissingEntry(const std::string& key) {
  return "state entry '" + key + "' is missing";
}

}  // namespace

void TSimState::SetText(const std::string& key, std::string_view value) {
  std::string clean(value);
  for (char& c : clean) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  Entries_[key] = clean;
}

void TSimState::SetNumber(const std::string& key, uint64_t value) {
  Entries_[key] = HexQword(value);
}

void TSimState::SetBytes(const std::string& key, const uint8_t* data, size_t length) {
  while (length > 0 && data[length - 1] == 0) --length;
  static constexpr char Digits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(length * 2);
  for (size_t i = 0; i < length; ++i) {
    text.push_back(Digits[data[i] >> 4]);
    text.push_back(Digits[data[i] & 15]);
  }
  Entries_[key] = text;
}

bool TSimState::GetText(const std::string& key, std::string* value, std::string* error) const {
  const auto it = Entries_.find(key);
  if (it == Entries_.end()) {
    *error = MissingEntry(key);
    return false;
  }
  Used_.insert(key);
  *value = it->second;
  return true;
}

bool TSimState::GetNumber(const std::string& key, uint64_t* value, std::string* error) const {
  std::string text;
  if (!GetText(key, &text, error)) return false;
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const char* first = text.data() + (hex ? 2 : 0);
  const char* last = text.data() + text.size();
  const auto result = std::from_chars(first, last, *value, hex ? 16 : 10);
  if (text.empty() || result.ec != std::errc() || result.ptr != last) {
    *error = "state entry '" + key + "' is not a number: '" + text + "'";
    return false;
  }
  return true;
}

bool TSimState::GetBytes(const std::string& key, uint8_t* data, size_t length,
                         std::string* error) const {
  std::string text;
  if (!GetText(key, &text, error)) return false;
  if (text.size() % 2 != 0 || text.size() / 2 > length) {
    *error = "state entry '" + key + "' holds " + std::to_string(text.size()) +
             " hex digits, expected an even number up to " + std::to_string(length * 2);
    return false;
  }
  for (size_t i = 0; i < text.size() / 2; ++i) {
    const int high = HexDigitValue(text[2 * i]);
    const int low = HexDigitValue(text[2 * i + 1]);
    if (high < 0 || low < 0) {
      *error = "state entry '" + key + "' is not a hex byte string";
      return false;
    }
    data[i] = static_cast<uint8_t>(high << 4 | low);
  }
  for (size_t i = text.size() / 2; i < length; ++i) data[i] = 0;
  return true;
}

std::vector<std::string> TSimState::KeysWithPrefix(std::string_view prefix) const {
  std::vector<std::string> keys;
  for (auto it = Entries_.lower_bound(std::string(prefix));
       it != Entries_.end() && std::string_view(it->first).substr(0, prefix.size()) == prefix;
       ++it) {
    keys.push_back(it->first);
  }
  return keys;
}

std::vector<std::string> TSimState::UnusedKeys() const {
  std::vector<std::string> keys;
  for (const auto& [key, value] : Entries_) {
    if (Used_.count(key) == 0) keys.push_back(key);
  }
  return keys;
}

std::string TSimState::ToText() const {
  std::string text = std::string(Magic) + " " + std::to_string(Version) + "\n";
  for (const auto& [key, value] : Entries_) text += key + "=" + value + "\n";
  return text;
}

bool TSimState::FromText(std::string_view text, TSimState* state, std::string* error) {
  state->Entries_.clear();
  state->Used_.clear();
  size_t lineNumber = 0;
  bool headerSeen = false;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!headerSeen) {
      const std::string magic = std::string(Magic) + " ";
      if (line.substr(0, magic.size()) != magic) {
        *error = "not a simulator state file (it must begin with \"" + std::string(Magic) + "\")";
        return false;
      }
      const std::string_view versionText = line.substr(magic.size());
      uint32_t version = 0;
      const auto result =
          std::from_chars(versionText.data(), versionText.data() + versionText.size(), version);
      if (versionText.empty() || result.ec != std::errc() ||
          result.ptr != versionText.data() + versionText.size()) {
        *error = "line 1: bad state file version '" + std::string(versionText) + "'";
        return false;
      }
      if (version != Version) {
        *error = "state file version " + std::to_string(version) +
                 " is not supported (this build reads version " + std::to_string(Version) + ")";
        return false;
      }
      headerSeen = true;
      continue;
    }
    if (line.empty()) continue;
    const size_t equals = line.find('=');
    const std::string_view key = line.substr(0, equals);
    if (equals == std::string_view::npos || !IsValidKey(key)) {
      *error = "line " + std::to_string(lineNumber) + ": expected key=value, found '" +
               std::string(line.substr(0, 60)) + "'";
      return false;
    }
    const auto [it, inserted] =
        state->Entries_.emplace(std::string(key), std::string(line.substr(equals + 1)));
    if (!inserted) {
      *error = "line " + std::to_string(lineNumber) + ": entry '" + it->first + "' appears twice";
      return false;
    }
  }
  if (!headerSeen) {
    *error = "empty file, not a simulator state file";
    return false;
  }
  return true;
}

// Typed reads of one section of a simulated board's file: the one reader of board files, used by
// the board loader, the firmware tables and every device model, so that a number, a list of hex
// bytes or a level means the same in every section.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/inifile.h"
#include "base/textfmt.h"

// Typed reads of one board-file section, failing with a message that names file, section and key.
// Every read leaves its value alone when the key is missing, unless the key is required.
class TSimSectionReader {
 public:
  TSimSectionReader(const TIniFile& ini, const std::string& section, std::string* error)
      : Ini_(ini), Section_(section), Error_(error) {}

  // "0x" hexadecimal or decimal, the whole text.
  static bool ParseNumber(std::string_view text, uint64_t* value);
  // A finite decimal number with an optional sign and fraction, the whole text.
  static bool ParseReal(std::string_view text, double* value);
  // The non-empty items between any of separators.
  static std::vector<std::string_view> SplitItems(std::string_view text,
                                                  std::string_view separators);
  // Numbers (as ParseNumber) separated by commas and/or blanks; an empty text is no numbers.
  static bool ParseNumberList(std::string_view text, std::vector<uint64_t>* values);
  // Hex bytes separated by blanks ("01 04 00 00"); an empty text is no bytes.
  static bool ParseHexBytes(std::string_view text, std::vector<uint8_t>* bytes);

  const std::string& Section() const { return Section_; }
  const TIniFile& Ini() const { return Ini_; }
  bool Fail(std::string_view key, std::string_view what) const;
  // Every key is one of names or begins with one of prefixes.
  bool CheckKeys(std::span<const std::string_view> names,
                 std::span<const std::string_view> prefixes = {}) const;
  bool CheckKeys(std::initializer_list<std::string_view> names,
                 std::initializer_list<std::string_view> prefixes = {}) const {
    return CheckKeys(std::span(names.begin(), names.size()),
                     std::span(prefixes.begin(), prefixes.size()));
  }
  bool Has(std::string_view key) const { return Ini_.ValueExists(Section_, key); }
  std::string Text(std::string_view key) const { return Ini_.ReadString(Section_, key, ""); }
  TStrings Keys() const;

  bool Number(std::string_view key, uint64_t* value, uint64_t max, bool required = false) const;
  // The same, also bounded by what T holds.
  template <class T>
  bool Number(std::string_view key, T* value, uint64_t max = ~uint64_t{0},
              bool required = false) const {
    auto wide = static_cast<uint64_t>(*value);
    max = std::min<uint64_t>(max, std::numeric_limits<T>::max());
    if (!Number(key, &wide, max, required)) return false;
    *value = static_cast<T>(wide);
    return true;
  }
  // 0 or 1.
  bool Flag(std::string_view key, bool* value) const;
  // value x scale, the value within min..max.
  bool Real(std::string_view key, double min, double max, double scale, double* value) const;
  // A whole number within min..max.
  bool Count(std::string_view key, uint32_t min, uint32_t max, uint32_t* value) const;
  // Megahertz with an optional fraction ("2666.67"), as hertz.
  bool Megahertz(std::string_view key, uint64_t* hz, bool required = false) const;
  // "High" (true) or "Low" (false).
  bool Level(std::string_view key, bool* value) const;
  // The text, at most maxLength characters.
  bool String(std::string_view key, std::string* value, size_t maxLength = std::string::npos) const;
  // "BB:DD.F" (hexadecimal) of the key, or fallback when the key is missing; false with a message
  // for anything else.
  bool PciAddress(std::string_view key, std::string_view fallback, uint8_t* bus, uint8_t* device,
                  uint8_t* function) const;
  // "HH HH ..." hex bytes; an empty value is an error unless allowEmpty.
  bool HexBytes(std::string_view key, std::vector<uint8_t>* bytes, bool allowEmpty = false) const;
  // Every key PREFIX.OFFSET=HH HH ...: the bytes handed to store from the offset on, which must
  // stay below size.
  template <class F>
  bool ByteLists(std::string_view prefix, size_t size, F store) const {
    for (const std::string& key : Keys()) {
      if (!StartsWithNoCase(key, prefix)) continue;
      uint64_t offset = 0;
      std::vector<uint8_t> bytes;
      if (!ParseNumber(std::string_view(key).substr(prefix.size()), &offset))
        return Fail(key, "not a register offset");
      if (!HexBytes(key, &bytes)) return false;
      if (offset + bytes.size() > size) return Fail(key, "runs past the last register");
      for (size_t i = 0; i < bytes.size(); ++i) store(offset + i, bytes[i]);
    }
    return true;
  }

 private:
  const TIniFile& Ini_;
  const std::string& Section_;
  std::string* Error_;
};

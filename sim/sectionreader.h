// Typed reads of one section of a simulated board's file, shared by the device models.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "base/inifile.h"
#include "base/textfmt.h"

// Typed reads of one board-file section for the chip models, failing with a message that names
// file, section and key.
class TSimSectionReader {
 public:
  TSimSectionReader(const TIniFile& ini, const std::string& section, std::string* error)
      : Ini_(ini), Section_(section), Error_(error) {}

  // "0x" hexadecimal or decimal, the whole text.
  static bool ParseNumber(std::string_view text, uint64_t* value);

  const std::string& Section() const { return Section_; }
  bool Fail(std::string_view key, std::string_view what) const;
  // Every key is one of names or begins with one of prefixes.
  bool CheckKeys(std::initializer_list<std::string_view> names,
                 std::initializer_list<std::string_view> prefixes = {}) const;
  bool Has(std::string_view key) const { return Ini_.ValueExists(Section_, key); }
  std::string Text(std::string_view key) const { return Ini_.ReadString(Section_, key, ""); }
  TStrings Keys() const;
  // Leaves *value alone when the key is missing, unless it is required.
  bool Number(std::string_view key, uint64_t* value, uint64_t max, bool required = false) const;
  template <class T>
  bool Number(std::string_view key, T* value, uint64_t max, bool required = false) const {
    auto wide = static_cast<uint64_t>(*value);
    if (!Number(key, &wide, max, required)) return false;
    *value = static_cast<T>(wide);
    return true;
  }
  // "BB:DD.F" (hexadecimal) of the key, or fallback when the key is missing; false with a message
  // for anything else.
  bool PciAddress(std::string_view key, std::string_view fallback, uint8_t* bus, uint8_t* device,
                  uint8_t* function) const;
  // "HH HH ..." hex bytes.
  bool HexBytes(std::string_view key, std::vector<uint8_t>* bytes) const;
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

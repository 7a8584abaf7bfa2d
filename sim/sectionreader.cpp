#include "sim/sectionreader.h"

#include <algorithm>
#include <charconv>

bool TSimSectionReader::ParseNumber(std::string_view text, uint64_t* value) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  if (hex) text.remove_prefix(2);
  if (text.empty()) return false;
  const auto result =
      std::from_chars(text.data(), text.data() + text.size(), *value, hex ? 16 : 10);
  return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

bool TSimSectionReader::Fail(std::string_view key, std::string_view what) const {
  *Error_ = Ini_.FileName() + ": [" + Section_ + "]" +
            (key.empty() ? std::string() : " " + std::string(key)) + ": " + std::string(what);
  return false;
}

TStrings TSimSectionReader::Keys() const {
  TStrings keys;
  Ini_.ReadSection(Section_, keys);
  return keys;
}

bool TSimSectionReader::CheckKeys(std::initializer_list<std::string_view> names,
                                  std::initializer_list<std::string_view> prefixes) const {
  for (const std::string& key : Keys()) {
    const bool known =
        std::any_of(names.begin(), names.end(),
                    [&](std::string_view name) { return EqualsNoCase(key, name); }) ||
        std::any_of(prefixes.begin(), prefixes.end(),
                    [&](std::string_view prefix) { return StartsWithNoCase(key, prefix); });
    if (!known) return Fail(key, "unknown key");
  }
  return true;
}

bool TSimSectionReader::Number(std::string_view key, uint64_t* value, uint64_t max,
                               bool required) const {
  if (!Has(key)) return required ? Fail(key, "missing") : true;
  const std::string text = TrimBlanks(Text(key));
  uint64_t parsed = 0;
  if (!ParseNumber(text, &parsed)) return Fail(key, "'" + text + "' is not a number");
  if (parsed > max) {
    return Fail(key, "'" + text + "' is out of range (at most " + HexMin(max) + ")");
  }
  *value = parsed;
  return true;
}

bool TSimSectionReader::HexBytes(std::string_view key, std::vector<uint8_t>* bytes) const {
  bytes->clear();
  const std::string value = Text(key);
  std::string_view text = value;
  while (true) {
    const size_t start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos) break;
    text.remove_prefix(start);
    const std::string_view item = text.substr(0, text.find_first_of(" \t"));
    uint8_t byte = 0;
    const auto result = std::from_chars(item.data(), item.data() + item.size(), byte, 16);
    if (item.size() > 2 || result.ec != std::errc() || result.ptr != item.data() + item.size()) {
      bytes->clear();
      break;
    }
    bytes->push_back(byte);
    text.remove_prefix(item.size());
  }
  return !bytes->empty() || Fail(key, "expected hex bytes such as \"01 04\"");
}

bool TSimSectionReader::PciAddress(std::string_view key, std::string_view fallback, uint8_t* bus,
                                   uint8_t* device, uint8_t* function) const {
  const std::string where = Has(key) ? TrimBlanks(Text(key)) : std::string(fallback);
  uint64_t b = 0, d = 0, f = 0;
  const bool parsed = where.size() == 7 && where[2] == ':' && where[5] == '.' &&
                      ParseNumber("0x" + where.substr(0, 2), &b) &&
                      ParseNumber("0x" + where.substr(3, 2), &d) &&
                      ParseNumber("0x" + where.substr(6, 1), &f) && d < 32 && f < 8;
  if (!parsed) return Fail(key, "'" + where + "' is no PCI function BB:DD.F");
  *bus = static_cast<uint8_t>(b);
  *device = static_cast<uint8_t>(d);
  *function = static_cast<uint8_t>(f);
  return true;
}

#include "sim/sectionreader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

bool TSimSectionReader::ParseNumber(std::string_view text, uint64_t* value) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  if (hex) text.remove_prefix(2);
  if (text.empty()) return false;
  const auto result =
      std::from_chars(text.data(), text.data() + text.size(), *value, hex ? 16 : 10);
  return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

bool TSimSectionReader::ParseReal(std::string_view text, double* value) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  const auto result = std::from_chars(text.data(), text.data() + text.size(), *value);
  return !text.empty() && result.ec == std::errc() && result.ptr == text.data() + text.size() &&
         std::isfinite(*value);
}

std::vector<std::string_view> TSimSectionReader::SplitItems(std::string_view text,
                                                            std::string_view separators) {
  std::vector<std::string_view> items;
  while (true) {
    const size_t start = text.find_first_not_of(separators);
    if (start == std::string_view::npos) return items;
    text.remove_prefix(start);
    const size_t end = text.find_first_of(separators);
    items.push_back(text.substr(0, end));
    if (end == std::string_view::npos) return items;
    text.remove_prefix(end);
  }
}

bool TSimSectionReader::ParseNumberList(std::string_view text, std::vector<uint64_t>* values) {
  values->clear();
  for (std::string_view item : SplitItems(text, " \t,")) {
    uint64_t value = 0;
    if (!ParseNumber(item, &value)) return false;
    values->push_back(value);
  }
  return true;
}

bool TSimSectionReader::ParseHexBytes(std::string_view text, std::vector<uint8_t>* bytes) {
  bytes->clear();
  for (std::string_view item : SplitItems(text, " \t")) {
    uint8_t byte = 0;
    const auto result = std::from_chars(item.data(), item.data() + item.size(), byte, 16);
    if (item.size() > 2 || result.ec != std::errc() || result.ptr != item.data() + item.size()) {
      bytes->clear();
      return false;
    }
    bytes->push_back(byte);
  }
  return true;
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

bool TSimSectionReader::CheckKeys(std::span<const std::string_view> names,
                                  std::span<const std::string_view> prefixes) const {
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

bool TSimSectionReader::Flag(std::string_view key, bool* value) const {
  if (!Has(key)) return true;
  const std::string text = TrimBlanks(Text(key));
  if (text != "0" && text != "1") return Fail(key, "expected 0 or 1");
  *value = text == "1";
  return true;
}

bool TSimSectionReader::Real(std::string_view key, double min, double max, double scale,
                             double* value) const {
  if (!Has(key)) return true;
  const std::string text = TrimBlanks(Text(key));
  double parsed = 0;
  if (!ParseReal(text, &parsed) || parsed < min || parsed > max) {
    char range[64];
    std::snprintf(range, sizeof range, "%g..%g", min, max);
    return Fail(key, "'" + text + "' is not a number in " + range);
  }
  *value = parsed * scale;
  return true;
}

bool TSimSectionReader::Count(std::string_view key, uint32_t min, uint32_t max,
                              uint32_t* value) const {
  double parsed = *value;
  if (!Real(key, min, max, 1, &parsed)) return false;
  if (parsed != std::floor(parsed)) {
    return Fail(key, "'" + TrimBlanks(Text(key)) + "' is not a whole number");
  }
  *value = static_cast<uint32_t>(parsed);
  return true;
}

bool TSimSectionReader::Megahertz(std::string_view key, uint64_t* hz, bool required) const {
  if (!Has(key)) return required ? Fail(key, "missing") : true;
  const std::string text = TrimBlanks(Text(key));
  double mhz = 0;
  if (!ParseReal(text, &mhz) || !(mhz > 0) || mhz > 100000) {
    return Fail(key, "'" + text + "' is not a frequency in MHz");
  }
  *hz = static_cast<uint64_t>(std::llround(mhz * 1e6));
  return true;
}

bool TSimSectionReader::Level(std::string_view key, bool* value) const {
  if (!Has(key)) return true;
  const std::string text = TrimBlanks(Text(key));
  if (EqualsNoCase(text, "High")) {
    *value = true;
  } else if (EqualsNoCase(text, "Low")) {
    *value = false;
  } else {
    return Fail(key, "expected High or Low");
  }
  return true;
}

bool TSimSectionReader::String(std::string_view key, std::string* value, size_t maxLength) const {
  if (!Has(key)) return true;
  const std::string text = Text(key);
  if (text.size() > maxLength) {
    return Fail(key, "longer than " + std::to_string(maxLength) + " characters");
  }
  *value = text;
  return true;
}

bool TSimSectionReader::HexBytes(std::string_view key, std::vector<uint8_t>* bytes,
                                 bool allowEmpty) const {
  if (ParseHexBytes(Text(key), bytes) && (allowEmpty || !bytes->empty())) return true;
  return Fail(key, "expected hex bytes such as \"01 04 00 00\"");
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

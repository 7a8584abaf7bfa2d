#include "base/inifile.h"

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <system_error>
#include <type_traits>
#include <utility>

#include "base/iniparse.h"
#include "base/textfmt.h"
#include "os/atomicfile.h"

namespace {

// Every read sees the file as it is now. A file that is missing or cannot be read reads as empty,
// so every lookup falls back to the caller's default.
std::string LoadText(const std::string& fileName) {
  std::string text;
  OsReadWholeFile(fileName, text);
  return text;
}

// The caller's default loses its trailing spaces, as the platform service does (tabs stay).
std::string DefaultText(std::string_view defaultValue) {
  while (!defaultValue.empty() && defaultValue.back() == ' ') {
    defaultValue.remove_suffix(1);
  }
  return std::string(defaultValue);
}

// The value of a key as the platform service returns it; nullopt when the file, section or key is
// missing or a name is empty.
std::optional<std::string> FindValue(const std::string& fileName, std::string_view section,
                                     std::string_view key) {
  section = TrimIni(section);
  key = TrimIni(key);
  if (section.empty() || key.empty()) return std::nullopt;
  const std::string text = LoadText(fileName);
  const TIniText ini(text);
  const size_t line = ini.FindKey(ini.FindSection(section), key);
  if (line == TIniText::npos) return std::nullopt;
  return std::string(UnquoteIni(ini.Lines()[line].Value));
}

template <typename TNumber>
std::optional<TNumber> WholeNumber(std::string_view text, int base) {
  TNumber value{};
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value, base);
  if (error != std::errc() || stop != end) return std::nullopt;
  return value;
}

// Decimal with an optional minus sign, or "0x"/"0X" and hex digits when the text is longer than
// two characters; hex texts are 32-bit patterns ("0xFFFFFFFF" is -1). No sign "+", no blanks.
std::optional<int32_t> ParseInteger(std::string_view text) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    const auto pattern = WholeNumber<uint32_t>(text.substr(2), 16);
    if (!pattern) return std::nullopt;
    return static_cast<int32_t>(*pattern);
  }
  return WholeNumber<int32_t>(text, 10);
}

// The C library's parser for an extended value below the normal range (about 3.4e-4932), which
// from_chars reports as out of range instead of returning it. strtold rounds such values exactly;
// the text is first rewritten without its decimal point (digits and exponent), so the locale's
// decimal separator cannot matter.
std::optional<long double> TinyExtended(std::string_view text) {
  std::string number;
  long exponent = 0;
  size_t i = 0;
  if (i < text.size() && text[i] == '-') number += text[i++];
  bool fraction = false;
  for (; i < text.size() && text[i] != 'e' && text[i] != 'E'; ++i) {
    if (text[i] == '.' && !fraction) {
      fraction = true;
    } else if (text[i] >= '0' && text[i] <= '9') {
      number += text[i];
      if (fraction) --exponent;
    } else {
      return std::nullopt;
    }
  }
  if (i < text.size()) {
    std::string_view written = text.substr(i + 1);
    if (!written.empty() && written.front() == '+') written.remove_prefix(1);
    const auto value = WholeNumber<long>(written, 10);
    if (!value) return std::nullopt;
    // Far beyond the range of any type either way; the clamp keeps the sum from overflowing.
    exponent += std::clamp(*value, -100000L, 100000L);
  }
  number += "e" + std::to_string(exponent);
  char* stop = nullptr;
  const long double value = std::strtold(number.c_str(), &stop);
  if (*stop != '\0' || std::isinf(value)) return std::nullopt;
  return value;
}

#ifdef _WIN32
// mingw-w64's from_chars reads a long double only to double precision, so an energy total would
// lose its last bits at every save; strtold reads it whole. The text has passed from_chars
// already; the locale's decimal point stands in for ".".
long double WholeExtended(std::string_view text) {
  std::string number(text);
  std::replace(number.begin(), number.end(), '.', *std::localeconv()->decimal_point);
  return std::strtold(number.c_str(), nullptr);
}
#endif

// from_chars reads "." as the decimal separator whatever the locale.
template <typename TFloat>
std::optional<TFloat> ParseFloat(std::string_view text) {
  TFloat value{};
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value, std::chars_format::general);
  if constexpr (std::is_same_v<TFloat, long double>) {
    if (error == std::errc::result_out_of_range && stop == end) return TinyExtended(text);
#ifdef _WIN32
    if (error == std::errc() && stop == end && std::isfinite(value)) value = WholeExtended(text);
#endif
  }
  // from_chars takes "nan" and "inf" as well: neither is a setting's number.
  if (error != std::errc() || stop != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

template <typename TFloat>
TFloat ReadFloatAs(const std::string& fileName, std::string_view section, std::string_view key,
                   TFloat defaultValue) {
  const auto text = FindValue(fileName, section, key);
  if (!text) return defaultValue;
  return ParseFloat<TFloat>(*text).value_or(defaultValue);
}

// The shortest text that reads back as the same value of the type written (to_chars guarantees
// the round trip and never uses the locale).
template <typename TNumber>
std::string NumberText(TNumber value) {
  char buffer[128];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

}  // namespace

TIniFile::TIniFile(std::string fileName) : FileName_(std::move(fileName)) {}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 std::string_view defaultValue) const {
  auto value = FindValue(FileName_, section, key);
  return value ? std::move(*value) : DefaultText(defaultValue);
}

int32_t TIniFile::ReadInteger(std::string_view section, std::string_view key,
                              int32_t defaultValue) const {
  const auto text = FindValue(FileName_, section, key);
  if (!text) return defaultValue;
  return ParseInteger(*text).value_or(defaultValue);
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool defaultValue) const {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

double TIniFile::ReadFloat(std::string_view section, std::string_view key,
                           double defaultValue) const {
  return ReadFloatAs(FileName_, section, key, defaultValue);
}

float TIniFile::ReadSingle(std::string_view section, std::string_view key,
                           float defaultValue) const {
  return ReadFloatAs(FileName_, section, key, defaultValue);
}

long double TIniFile::ReadExtended(std::string_view section, std::string_view key,
                                   long double defaultValue) const {
  return ReadFloatAs(FileName_, section, key, defaultValue);
}

bool TIniFile::ChangeFile(const std::function<void(TIniEditor&)>& change) {
  std::string text;
  const TWholeFileRead read = OsReadWholeFile(FileName_, text);
  // A file that exists but cannot be read must not be replaced by one holding only this change.
  if (read == TWholeFileRead::Failed) return false;
  TIniEditor editor(text);
  change(editor);
  // Nothing to do when the text stays as it is (a missing file stays missing).
  if (editor.Text() == text) return true;
  return OsReplaceWholeFile(FileName_, editor.Text(), FailWriteAfter_);
}

bool TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  if (!IniSectionCanBeWritten(section) || !IniKeyCanBeWritten(key) ||
      !IniValueCanBeWritten(value)) {
    return false;
  }
  return ChangeFile([&](TIniEditor& editor) { editor.SetValue(section, key, value); });
}

bool TIniFile::WriteInteger(std::string_view section, std::string_view key, int32_t value) {
  return WriteString(section, key, std::to_string(value));
}

bool TIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  return WriteString(section, key, value ? "1" : "0");
}

bool TIniFile::WriteFloat(std::string_view section, std::string_view key, double value) {
  return WriteString(section, key, NumberText(value));
}

bool TIniFile::WriteSingle(std::string_view section, std::string_view key, float value) {
  return WriteString(section, key, NumberText(value));
}

bool TIniFile::WriteExtended(std::string_view section, std::string_view key, long double value) {
  return WriteString(section, key, NumberText(value));
}

void TIniFile::ReadSection(std::string_view section, TStrings& keys) const {
  keys.clear();
  const std::string text = LoadText(FileName_);
  const TIniText ini(text);
  for (size_t line : ini.SectionKeys(ini.FindSection(TrimIni(section)))) {
    keys.emplace_back(ini.Lines()[line].Name);
  }
}

void TIniFile::ReadSections(TStrings& sections) const {
  sections.clear();
  const std::string text = LoadText(FileName_);
  for (std::string_view name : TIniText(text).SectionNames()) sections.emplace_back(name);
}

void TIniFile::ReadSectionValues(std::string_view section, TStrings& lines) const {
  lines.clear();
  const std::string text = LoadText(FileName_);
  const TIniText ini(text);
  for (size_t index : ini.SectionKeys(ini.FindSection(TrimIni(section)))) {
    const TIniLine& line = ini.Lines()[index];
    std::string entry(line.Name);
    entry.append("=").append(UnquoteIni(line.Value));
    lines.push_back(std::move(entry));
  }
}

void TIniFile::ReadSectionLines(std::string_view section, TStrings& lines) const {
  lines.clear();
  const std::string text = LoadText(FileName_);
  const TIniText ini(text);
  const size_t header = ini.FindSection(TrimIni(section));
  if (header == TIniText::npos) return;
  const size_t end = ini.SectionEnd(header);
  for (size_t i = header + 1; i < end; ++i) {
    const TIniLine& line = ini.Lines()[i];
    if (line.Kind == TIniLineKind::Key) {
      std::string entry(line.Name);
      entry.append("=").append(line.Value);
      lines.push_back(std::move(entry));
    } else if (line.Kind == TIniLineKind::Text) {
      lines.emplace_back(TrimIni(line.Raw));
    }
  }
}

bool TIniFile::SectionExists(std::string_view section) const {
  TStrings keys;
  ReadSection(section, keys);
  return !keys.empty();
}

bool TIniFile::ValueExists(std::string_view section, std::string_view key) const {
  return FindValue(FileName_, section, key).has_value();
}

bool TIniFile::DeleteKey(std::string_view section, std::string_view key) {
  return ChangeFile([&](TIniEditor& editor) { editor.DeleteKey(section, key); });
}

bool TIniFile::EraseSection(std::string_view section) {
  return ChangeFile([&](TIniEditor& editor) { editor.EraseSection(section); });
}

void TiFile::ReadSectionKeys(std::string_view section, TStrings& keys) const {
  ReadSection(section, keys);
}

void TiFile::ReadSectionValueList(std::string_view section, TStrings& values) const {
  ReadSectionValuesByPrefix(section, "", values);
}

void TiFile::ReadSectionValuesByPrefix(std::string_view section, std::string_view prefix,
                                       TStrings& values) const {
  // One reading of the file for the whole list, so the list is never a mix of two versions.
  const std::string text = LoadText(FileName());
  const TIniText ini(text);
  for (size_t index : ini.SectionKeys(ini.FindSection(TrimIni(section)))) {
    const TIniLine& line = ini.Lines()[index];
    // Key names compare without regard to case, so the prefix does too.
    if (!StartsWithNoCase(line.Name, prefix)) continue;
    values.emplace_back(TrimIni(UnquoteIni(line.Value)));
  }
}

void TiFile::WriteSectionPairs(std::string_view section, const TStrings& lines) {
  if (!IniSectionCanBeWritten(section)) return;
  // All pairs go to disk in one replacement: either every pair is written or none is.
  ChangeFile([&](TIniEditor& editor) {
    for (const std::string& line : lines) {
      const size_t equals = line.find('=');
      const std::string_view text(line);
      const std::string_view name = equals == std::string::npos ? text : text.substr(0, equals);
      const std::string_view value = equals == std::string::npos ? text : text.substr(equals + 1);
      if (IniKeyCanBeWritten(name) && IniValueCanBeWritten(value)) {
        editor.SetValue(section, name, value);
      }
    }
  });
}

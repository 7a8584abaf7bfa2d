#include "base/iniparse.h"

#include <algorithm>

#include "base/textfmt.h"

namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

TIniLine Classify(std::string_view raw) {
  TIniLine line;
  line.Raw = raw;
  const std::string_view text = TrimIni(raw);
  if (text.empty()) return line;
  if (text.front() == ';') {
    line.Kind = TIniLineKind::Comment;
    return line;
  }
  if (text.front() == '[') {
    const size_t close = text.rfind(']');
    if (close != std::string_view::npos && close > 0) {
      line.Kind = TIniLineKind::Section;
      line.Name = TrimIni(text.substr(1, close - 1));
      return line;
    }
  }
  const size_t equals = text.find('=');
  if (equals == std::string_view::npos) {
    line.Kind = TIniLineKind::Text;
    return line;
  }
  line.Kind = TIniLineKind::Key;
  line.Name = TrimIni(text.substr(0, equals));
  line.Value = TrimIni(text.substr(equals + 1));
  return line;
}

bool HasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

}  // namespace

bool IsIniBlank(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1A';
}

std::string_view TrimIni(std::string_view text) {
  while (!text.empty() && IsIniBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsIniBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string_view UnquoteIni(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

TIniText::TIniText(std::string_view text) {
  // A UTF-8 byte-order mark written by some editors must not hide the first header.
  size_t pos = text.substr(0, kUtf8Mark.size()) == kUtf8Mark ? kUtf8Mark.size() : 0;
  while (pos < text.size()) {
    const size_t breakAt = std::min(text.find_first_of("\r\n", pos), text.size());
    size_t next = breakAt;
    if (next < text.size())
      next += (text[next] == '\r' && next + 1 < text.size() && text[next + 1] == '\n') ? 2 : 1;
    TIniLine line = Classify(text.substr(pos, breakAt - pos));
    line.Offset = pos;
    line.Eol = text.substr(breakAt, next - breakAt);
    Lines_.push_back(line);
    pos = next;
  }
}

size_t TIniText::FindSection(std::string_view name) const {
  if (name.empty()) return npos;
  for (size_t i = 0; i < Lines_.size(); ++i) {
    if (Lines_[i].Kind == TIniLineKind::Section && EqualsNoCase(Lines_[i].Name, name)) return i;
  }
  return npos;
}

size_t TIniText::SectionEnd(size_t header) const {
  size_t i = header + 1;
  while (i < Lines_.size() && Lines_[i].Kind != TIniLineKind::Section) ++i;
  return i;
}

size_t TIniText::FindKey(size_t header, std::string_view key) const {
  if (header == npos || key.empty()) return npos;
  const size_t end = SectionEnd(header);
  for (size_t i = header + 1; i < end; ++i) {
    if (Lines_[i].Kind == TIniLineKind::Key && EqualsNoCase(Lines_[i].Name, key)) return i;
  }
  return npos;
}

std::vector<size_t> TIniText::SectionKeys(size_t header) const {
  std::vector<size_t> keys;
  if (header == npos) return keys;
  const size_t end = SectionEnd(header);
  for (size_t i = header + 1; i < end; ++i) {
    const TIniLine& line = Lines_[i];
    if (line.Kind != TIniLineKind::Key || line.Name.empty()) continue;
    const bool seen = std::any_of(keys.begin(), keys.end(), [&](size_t earlier) {
      return EqualsNoCase(Lines_[earlier].Name, line.Name);
    });
    if (!seen) keys.push_back(i);
  }
  return keys;
}

std::vector<std::string_view> TIniText::SectionNames() const {
  std::vector<std::string_view> names;
  for (const TIniLine& line : Lines_) {
    if (line.Kind != TIniLineKind::Section || line.Name.empty()) continue;
    const bool seen = std::any_of(names.begin(), names.end(), [&](std::string_view name) {
      return EqualsNoCase(name, line.Name);
    });
    if (!seen) names.push_back(line.Name);
  }
  return names;
}

void TIniEditor::EnsureFinalLineEnd() {
  if (!Text_.empty() && Text_.back() != '\n' && Text_.back() != '\r') Text_ += kCrLf;
}

void TIniEditor::SetValue(std::string_view section, std::string_view key, std::string_view value) {
  section = TrimIni(section);
  key = TrimIni(key);
  const std::string original = Text_;  // the parsed lines refer to the text before the edit
  const TIniText ini(original);
  const size_t header = ini.FindSection(section);
  if (header == TIniText::npos) {
    EnsureFinalLineEnd();
    Text_.append("[").append(section).append("]").append(kCrLf);
    Text_.append(key).append("=").append(value).append(kCrLf);
    return;
  }
  const auto& lines = ini.Lines();
  const size_t existing = ini.FindKey(header, key);
  if (existing != TIniText::npos) {
    // The key keeps its spelling in the file and its line keeps its end.
    const TIniLine& line = lines[existing];
    std::string replacement(line.Name);
    replacement.append("=").append(value);
    Text_.replace(line.Offset, line.Raw.size(), replacement);
    return;
  }
  size_t after = header;
  const size_t end = ini.SectionEnd(header);
  for (size_t i = header + 1; i < end; ++i) {
    if (lines[i].Kind == TIniLineKind::Key || lines[i].Kind == TIniLineKind::Text) after = i;
  }
  const TIniLine& anchor = lines[after];
  const size_t insertAt = anchor.Offset + anchor.Raw.size() + anchor.Eol.size();
  std::string inserted;
  if (anchor.Eol.empty()) inserted.append(kCrLf);  // the anchor was the last line, without end
  inserted.append(key).append("=").append(value).append(kCrLf);
  Text_.insert(insertAt, inserted);
}

void TIniEditor::DeleteKey(std::string_view section, std::string_view key) {
  section = TrimIni(section);
  key = TrimIni(key);
  const std::string original = Text_;  // the parsed lines refer to the text before the edit
  const TIniText ini(original);
  const size_t header = ini.FindSection(section);
  if (header == TIniText::npos || key.empty()) return;
  const auto& lines = ini.Lines();
  // From the back, so the offsets of the lines still to be removed stay valid.
  for (size_t i = ini.SectionEnd(header); i-- > header + 1;) {
    const TIniLine& line = lines[i];
    if (line.Kind == TIniLineKind::Key && EqualsNoCase(line.Name, key)) {
      Text_.erase(line.Offset, line.Raw.size() + line.Eol.size());
    }
  }
}

void TIniEditor::EraseSection(std::string_view section) {
  section = TrimIni(section);
  if (section.empty()) return;
  const std::string original = Text_;  // the parsed lines refer to the text before the edit
  const TIniText ini(original);
  const auto& lines = ini.Lines();
  for (size_t i = lines.size(); i-- > 0;) {
    const TIniLine& line = lines[i];
    if (line.Kind != TIniLineKind::Section || !EqualsNoCase(line.Name, section)) continue;
    const size_t end = ini.SectionEnd(i);
    const size_t endOffset = end < lines.size() ? lines[end].Offset : original.size();
    Text_.erase(line.Offset, endOffset - line.Offset);
  }
}

bool IniSectionCanBeWritten(std::string_view section) {
  section = TrimIni(section);
  return !section.empty() && !HasLineBreak(section);
}

bool IniKeyCanBeWritten(std::string_view key) {
  key = TrimIni(key);
  return !key.empty() && !HasLineBreak(key) && key.find('=') == std::string_view::npos &&
         key.front() != ';' && key.front() != '[';
}

bool IniValueCanBeWritten(std::string_view value) {
  return !HasLineBreak(value);
}

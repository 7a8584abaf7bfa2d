// The INI grammar of the private-profile service, on a text held in memory: classification of
// lines, section and key lookup, and edits that keep every untouched byte of the text.
//
// Grammar (each line is trimmed of blanks before it is classified):
//   - empty: a blank line;
//   - ";...": a comment, never a key;
//   - "[...]...": a section header; the name lies between "[" and the last "]" of the line and is
//     trimmed ("[ name ]" is "name"); a "[" line without "]" is no header;
//   - "name=value": a key; the name is what precedes the first "=", the value what follows it, both
//     trimmed; a line with an empty name is not found by any key lookup;
//   - anything else: a line without "=", which belongs to its section's lines but is no key.
// Lines end with CR LF, LF or a lone CR; all three read the same and each line keeps its own end.
// Lines before the first header belong to no section. Names compare without regard to ASCII case;
// when a section or a key of a section occurs twice, only the first counts.
// Lines may be of any length: nothing is truncated (the platform service cuts a value at the
// caller's buffer size, which would silently damage long command strings).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

enum class TIniLineKind { Blank, Comment, Section, Key, Text };

struct TIniLine {
  TIniLineKind Kind = TIniLineKind::Blank;
  size_t Offset = 0;       // where the line starts in the text
  std::string_view Raw;    // the line without its end
  std::string_view Eol;    // "\r\n", "\n", "\r", or empty for a last line without end
  std::string_view Name;   // section name or key name, trimmed
  std::string_view Value;  // key value, trimmed (quotes kept)
};

// A parsed view of an INI text; it refers to the text, which must outlive it.
class TIniText {
 public:
  static constexpr size_t npos = static_cast<size_t>(-1);

  explicit TIniText(std::string_view text);

  const std::vector<TIniLine>& Lines() const { return Lines_; }
  // Index of the header of the first section with this name; npos when there is none.
  size_t FindSection(std::string_view name) const;
  // Index one past the last line of the section whose header is at header.
  size_t SectionEnd(size_t header) const;
  // Index of the first key line of that name in the section; npos when there is none.
  size_t FindKey(size_t header, std::string_view key) const;
  // The key lines of the section, the first line of each name only, in file order.
  std::vector<size_t> SectionKeys(size_t header) const;
  // Section names, each name once, in file order.
  std::vector<std::string_view> SectionNames() const;

 private:
  std::vector<TIniLine> Lines_;
};

// Blanks trimmed by the grammar: space, tab, vertical tab, form feed and the DOS end-of-file mark.
bool IsIniBlank(char c);
std::string_view TrimIni(std::string_view text);
// A value enclosed in matching double or single quotes loses them; a lone quote stays.
std::string_view UnquoteIni(std::string_view value);

// Applies changes to an INI text the way the private-profile service writes: a changed key keeps
// its line (and that line's end) and becomes "name=value"; a new key follows the last key or
// keyless line of its section (so blank lines and comments that close the section stay below
// it); a new section goes at the end of the text. Lines written anew end with CR LF; all other
// lines stay byte for byte.
class TIniEditor {
 public:
  explicit TIniEditor(std::string text) : Text_(std::move(text)) {}

  const std::string& Text() const { return Text_; }

  // Names and value must already be valid (see the checks below).
  void SetValue(std::string_view section, std::string_view key, std::string_view value);
  // Removes every line of the key in the section that counts; the header stays.
  void DeleteKey(std::string_view section, std::string_view key);
  // Removes every section of that name, header to the line before the next header.
  void EraseSection(std::string_view section);

 private:
  void EnsureFinalLineEnd();

  std::string Text_;
};

// Whether a section or key name, trimmed, can be written so that it reads back as itself: not
// empty, no line break; a key name also holds no "=" and does not start with ";" or "[".
bool IniSectionCanBeWritten(std::string_view section);
bool IniKeyCanBeWritten(std::string_view key);
// A value holds no line break.
bool IniValueCanBeWritten(std::string_view value);

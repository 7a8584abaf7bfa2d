// INI files with the semantics of the Windows private-profile service: no cache (every read sees
// the file as it is now, every write is on disk when it returns), case-insensitive section and key
// names, first occurrence wins, values trimmed. Reads never fail: a missing file, section or key
// gives the caller's default. Writes keep every other line of the file and replace the file
// atomically (temporary file in the same directory, then rename), so a failure mid-write leaves
// either the old or the new file. The grammar is described in base/iniparse.h.
//
// Details shared with the platform service: a value in matching double or single quotes is read
// without them; trailing spaces of a caller's default are dropped; an empty section or key name
// reads as missing; a write creates a missing file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

using TStrings = std::vector<std::string>;

class TIniEditor;

// The platform's INI class: typed reads with defaults and writes of one key at a time.
class TIniFile {
 public:
  explicit TIniFile(std::string fileName);
  virtual ~TIniFile() = default;

  const std::string& FileName() const { return FileName_; }

  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const;
  // Decimal with optional minus sign, or hexadecimal when longer than two characters and starting
  // with "0x"/"0X"; anything else gives the default.
  int32_t ReadInteger(std::string_view section, std::string_view key, int32_t defaultValue) const;
  // An integer: 0 is false, any other integer true; a non-integer gives the default.
  bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;
  // "." is the decimal separator whatever the locale; a non-number gives the default.
  double ReadFloat(std::string_view section, std::string_view key, double defaultValue) const;
  // For values held as 32-bit floats: parsed straight to float, so the text WriteSingle wrote comes
  // back as the same value without a detour through double.
  float ReadSingle(std::string_view section, std::string_view key, float defaultValue) const;
  long double ReadExtended(std::string_view section, std::string_view key,
                           long double defaultValue) const;

  // Each write returns false when the file could not be written (the old file stays intact) or
  // when a name or value cannot be written so that it reads back (empty name, line break, "=" in a
  // key name).
  bool WriteString(std::string_view section, std::string_view key, std::string_view value);
  bool WriteInteger(std::string_view section, std::string_view key, int32_t value);
  bool WriteBool(std::string_view section, std::string_view key, bool value);  // "1" / "0"
  // Shortest text that reads back to the same value in the precision the caller holds it in.
  bool WriteFloat(std::string_view section, std::string_view key, double value);
  bool WriteSingle(std::string_view section, std::string_view key, float value);
  bool WriteExtended(std::string_view section, std::string_view key, long double value);

  // Key names of a section, in file order (lines without "=" are no keys).
  void ReadSection(std::string_view section, TStrings& keys) const;
  // All section names, in file order.
  void ReadSections(TStrings& sections) const;
  // The section's keys as "key=value" texts, in file order, each value as ReadString gives it.
  void ReadSectionValues(std::string_view section, TStrings& lines) const;
  // The section's lines as they stand, trimmed, in file order, with duplicates and lines without
  // "=" (blank lines and comments left out); what GetPrivateProfileSection returns.
  void ReadSectionLines(std::string_view section, TStrings& lines) const;
  // True when the section holds at least one key: a bare header counts as absent, as it always has
  // for this INI class (ReadSections still lists it).
  bool SectionExists(std::string_view section) const;
  bool ValueExists(std::string_view section, std::string_view key) const;

  // Removes the key's lines from the section (the header stays, even when it is left empty).
  bool DeleteKey(std::string_view section, std::string_view key);
  // Removes the section, header and every line up to the next section.
  bool EraseSection(std::string_view section);

  // For tests of the failure path: every later write of this object fails after writing this many
  // bytes of the new file.
  void SetWriteFailureForTest(size_t afterBytes) { FailWriteAfter_ = afterBytes; }

 protected:
  // Reads the file, lets change edit its text and writes the result back if it differs.
  bool ChangeFile(const std::function<void(TIniEditor&)>& change);

 private:
  std::string FileName_;
  size_t FailWriteAfter_ = static_cast<size_t>(-1);
};

// The register-access configuration's reader (KorZem.ini).
class TmiFile : public TIniFile {
 public:
  using TIniFile::TIniFile;
};

// The model file's reader: list operations on top of the typed accessors.
class TiFile : public TIniFile {
 public:
  using TIniFile::TIniFile;

  // Replaces keys with the key names of the section, in file order.
  void ReadSectionKeys(std::string_view section, TStrings& keys) const;
  // Appends the trimmed value of every key of the section, in file order.
  void ReadSectionValueList(std::string_view section, TStrings& values) const;
  // As ReadSectionValueList, only for keys whose name begins with prefix (empty: every key).
  void ReadSectionValuesByPrefix(std::string_view section, std::string_view prefix,
                                 TStrings& values) const;
  // Writes every "name=value" line of lines under its name (a line without "=" is name and value).
  void WriteSectionPairs(std::string_view section, const TStrings& lines);
};

// INI files with the semantics of the Windows private-profile service: no cache (every read sees
// the file as it is now, every write is on disk when it returns), case-insensitive section and key
// names, first occurrence wins, values trimmed. Reads never fail: a missing file, section or key
// gives the caller's default. Writes keep every other line of the file and replace the file
// atomically (temporary file in the same directory, then rename), so a failure mid-write leaves
// either the old or the new file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using TStrings = std::vector<std::string>;

// The platform's INI class: typed reads with defaults and writes of one key at a time.
class TIniFile {
 public:
  explicit TIniFile(std::string fileName);
  virtual ~TIniFile() = default;

  const std::string& FileName() const { return FileName_; }

  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const;
  // Decimal with optional sign, or hexadecimal when longer than two characters and starting with
  // "0x"/"0X"; anything else gives the default.
  int32_t ReadInteger(std::string_view section, std::string_view key, int32_t defaultValue) const;
  // An integer: 0 is false, any other integer true; a non-integer gives the default.
  bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;
  // "." is the decimal separator whatever the locale; a non-number gives the default.
  double ReadFloat(std::string_view section, std::string_view key, double defaultValue) const;
  long double ReadExtended(std::string_view section, std::string_view key,
                           long double defaultValue) const;

  // Each write returns false when the file could not be written (the old file stays intact).
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
  // The section's keys as "key=value" texts, in file order.
  void ReadSectionValues(std::string_view section, TStrings& lines) const;
  bool SectionExists(std::string_view section) const;
  bool ValueExists(std::string_view section, std::string_view key) const;

  bool DeleteKey(std::string_view section, std::string_view key);
  bool EraseSection(std::string_view section);

 private:
  std::string FileName_;
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

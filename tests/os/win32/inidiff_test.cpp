// The INI engine against the system's own private-profile functions (GetPrivateProfileStringA and
// WritePrivateProfileStringA), differentially: the same files through both, every read compared.
//
// Deliberate differences:
// - the engine replaces the file atomically (temporary file, then rename); the system rewrites
//   it in place;
// - the engine never truncates a value to a caller's buffer;
// - the engine refuses writes that would not read back (a key name with "=", a line break);
// - a name that occurs twice in a section or file is listed once by the engine, the system lists
//   every occurrence (both read values from the first one only);
// - an empty section or key name ("[]", "=value") is never found by the engine; the system lists
//   and finds it;
// - deleting a duplicated key or section removes every copy the engine hides; the system removes
//   the first and so brings the next copy's older value back to light.
// The comparisons below take these into account; everything else must agree.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/inifile.h"
#include "tests/os/win32/win32testdir.h"

namespace {

constexpr DWORD kBufferChars = 1 << 16;

struct TCase {
  const char* Name;
  std::string Text;
};

std::string LongValue() {
  std::string value;
  for (int i = 0; i < 3000; ++i) value += static_cast<char>('a' + i % 26);
  return value;
}

// The corpus: each case one file.
std::vector<TCase> Corpus() {
  return {
      {"crlf", "[Config]\r\nRwDebug=1\r\nName = Value with  blanks  \r\n\r\n[Other]\r\nKey=x\r\n"},
      {"lf", "[Config]\nRwDebug=1\nName = Value with  blanks  \n\n[Other]\nKey=x\n"},
      {"quotes",
       "[Q]\r\nA=\"quoted\"\r\nB='single'\r\nC=\"unbalanced\r\nD=\"a\" b\"\r\nE=\" padded \"\r\n"
       "F=\"\"\r\nG='\r\nH=\"mixed'\r\n"},
      {"blanks",
       "  [ Spaced ]  \r\n  key one  =  value one  \r\n\tTab\t=\tv\t\r\nempty=\r\n=noname\r\n"},
      {"duplicates", "[Dup]\r\nk=first\r\nk=second\r\n[dup]\r\nk=third\r\nonly2=yes\r\n"},
      {"mixed case", "[MiXeD]\r\nKeY=Val\r\nkEy=other\r\n"},
      {"empty sections", "[Empty]\r\n[Empty2]\r\n\r\n[Full]\r\na=1\r\n[Last]"},
      {"comments", "; comment\r\n[S]\r\n;k=commented\r\nnoequals\r\nk=v ; not a comment\r\n"},
      {"equals in value", "[S]\r\nk=a=b\r\nurl=http://x/?a=1\r\n"},
      {"no final line end", "[S]\r\nk=v"},
      {"long value", "[L]\r\nlong=" + LongValue() + "\r\nafter=1\r\n"},
      {"empty file", ""},
      {"nameless", "\r\nkey=orphan\r\n[]\r\nkey=unnamed\r\n[s]\r\nk=v\r\n"},
      {"brackets", "[a]b]\r\nd=4\r\n[open\r\ne=5\r\n[ x ] trailing\r\nf=6\r\n"},
      {"lone cr", "[S]\rk=v\r[T]\rk=w\r"},
  };
}

class TIniDiff : public ::testing::Test {
 protected:
  // A new file for every text: the system caches a file it has read and may miss a replacement
  // made within its time-stamp resolution.
  std::string Fresh(const std::string& text) {
    const std::string path = Dir_.File("f" + std::to_string(++Files_) + ".ini");
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  static std::string Load(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
  }

  static std::string SystemRead(const std::string& path, const char* section, const char* key,
                                const char* defaultValue) {
    std::vector<char> buffer(kBufferChars, '\0');
    const DWORD length = ::GetPrivateProfileStringA(section, key, defaultValue, buffer.data(),
                                                    kBufferChars, path.c_str());
    return std::string(buffer.data(), length);
  }

  // A double-zero-terminated list as the system returns it.
  static std::vector<std::string> SplitList(const std::vector<char>& buffer, DWORD length) {
    std::vector<std::string> items;
    for (size_t i = 0; i < length;) {
      const std::string item(buffer.data() + i);
      items.push_back(item);
      i += item.size() + 1;
    }
    return items;
  }

  // A name list as the engine gives it: each name once (first spelling), no empty name.
  static std::vector<std::string> Distinct(const std::vector<std::string>& names) {
    std::vector<std::string> distinct;
    std::set<std::string> seen;
    for (const std::string& name : names) {
      std::string folded = name;
      for (char& c : folded) c = static_cast<char>(::tolower(static_cast<unsigned char>(c)));
      if (!name.empty() && seen.insert(folded).second) distinct.push_back(name);
    }
    return distinct;
  }

  static std::vector<std::string> SystemSections(const std::string& path) {
    std::vector<char> buffer(kBufferChars, '\0');
    const DWORD length =
        ::GetPrivateProfileSectionNamesA(buffer.data(), kBufferChars, path.c_str());
    return SplitList(buffer, length);
  }

  static std::vector<std::string> SystemKeys(const std::string& path, const std::string& section) {
    std::vector<char> buffer(kBufferChars, '\0');
    const DWORD length = ::GetPrivateProfileStringA(section.c_str(), nullptr, "", buffer.data(),
                                                    kBufferChars, path.c_str());
    return SplitList(buffer, length);
  }

  static std::vector<std::string> SystemSectionLines(const std::string& path,
                                                     const std::string& section) {
    std::vector<char> buffer(kBufferChars, '\0');
    const DWORD length =
        ::GetPrivateProfileSectionA(section.c_str(), buffer.data(), kBufferChars, path.c_str());
    return SplitList(buffer, length);
  }

  // Every read the engine offers against the system's on the same text: section names, each
  // section's keys and lines, each key's value (by its own name and in other case), and misses.
  void ExpectSameReads(const std::string& text) {
    const std::string path = Fresh(text);
    const TIniFile ini(path);
    TStrings sections;
    ini.ReadSections(sections);
    EXPECT_EQ(sections, Distinct(SystemSections(path)));

    std::set<std::string> names(sections.begin(), sections.end());
    names.insert("Nope");
    for (const std::string& section : names) {
      SCOPED_TRACE("section [" + section + "]");
      TStrings keys;
      ini.ReadSection(section, keys);
      EXPECT_EQ(keys, Distinct(SystemKeys(path, section)));
      TStrings lines;
      ini.ReadSectionLines(section, lines);
      EXPECT_EQ(lines, SystemSectionLines(path, section));
      keys.push_back("nope");
      for (const std::string& key : keys) {
        SCOPED_TRACE("key " + key);
        EXPECT_EQ(ini.ReadString(section, key, "def"),
                  SystemRead(path, section.c_str(), key.c_str(), "def"));
        std::string upper = key;
        for (char& c : upper) c = static_cast<char>(::toupper(static_cast<unsigned char>(c)));
        EXPECT_EQ(ini.ReadString(section, upper, "def"),
                  SystemRead(path, section.c_str(), upper.c_str(), "def"));
      }
    }
    // Defaults lose their trailing blanks on both sides.
    for (const char* defaultValue : {"d  ", "d\t", "  d", "d \t "}) {
      EXPECT_EQ(ini.ReadString("Nope", "k", defaultValue),
                SystemRead(path, "Nope", "k", defaultValue));
    }
  }

  // Two texts hold the same sections, keys and values, as the engine reads them.
  void ExpectSameContent(const std::string& mineText, const std::string& systemText) {
    const TIniFile mine(Fresh(mineText));
    const TIniFile system(Fresh(systemText));
    TStrings mySections, systemSections;
    mine.ReadSections(mySections);
    system.ReadSections(systemSections);
    EXPECT_EQ(mySections, systemSections);
    for (const std::string& section : mySections) {
      TStrings myValues, systemValues;
      mine.ReadSectionValues(section, myValues);
      system.ReadSectionValues(section, systemValues);
      EXPECT_EQ(myValues, systemValues) << "section " << section;
    }
  }

  TWin32TestDir Dir_;
  int Files_ = 0;
};

TEST_F(TIniDiff, ReadsAgreeOnTheWholeCorpus) {
  for (const TCase& entry : Corpus()) {
    SCOPED_TRACE(entry.Name);
    ExpectSameReads(entry.Text);
  }
}

TEST_F(TIniDiff, AMissingFileReadsAsDefaultsAndNothingElse) {
  const std::string path = Dir_.File("missing.ini");
  const TIniFile ini(path);
  EXPECT_EQ(ini.ReadString("S", "k", "fallback"), SystemRead(path, "S", "k", "fallback"));
  TStrings sections;
  ini.ReadSections(sections);
  EXPECT_EQ(sections, SystemSections(path));
  EXPECT_EQ(::GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

// One write, through the engine and through the system.
struct TWrite {
  const char* Section;
  const char* Key;    // null: the whole section goes
  const char* Value;  // null: the key goes
};

void EngineWrite(TIniFile& ini, const TWrite& write) {
  if (write.Key == nullptr) {
    EXPECT_TRUE(ini.EraseSection(write.Section));
  } else if (write.Value == nullptr) {
    EXPECT_TRUE(ini.DeleteKey(write.Section, write.Key));
  } else {
    EXPECT_TRUE(ini.WriteString(write.Section, write.Key, write.Value));
  }
}

void SystemWrite(const std::string& path, const TWrite& write) {
  EXPECT_TRUE(::WritePrivateProfileStringA(write.Section, write.Key, write.Value, path.c_str()));
  ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());  // flush the cache
}

TEST_F(TIniDiff, WritesLeaveFilesThatReadTheSame) {
  const std::vector<TWrite> writes = {
      {"Config", "RwDebug", "0"},          // replace
      {"config", "RWDEBUG", "2"},          // replace in other case
      {"Config", "NewKey", "new value"},   // add to a section
      {"Fresh", "k", "v"},                 // add a section
      {"Config", "Padded", "  blanks  "},  // blanks are trimmed when read
      {"Config", "Quoted", "\"q\""},       // quotes are removed when read
      {"Config", "Empty", ""},             // an empty value
      {"Other", "Key", nullptr},           // delete a key
      {"Other", "Absent", nullptr},        // delete a key that is not there
      {"Other", nullptr, nullptr},         // delete a section
      {"Dup", "k", "new"},                 // the first of duplicates
      {"Dup", "k", nullptr},               // delete duplicated keys
      {"dup", nullptr, nullptr},           // delete a duplicated section
      {"Empty", "a", "1"},                 // fill an empty section
      {"S", "k", "appended"},              // after a last line without end
  };
  // Per case the writes go one after another into one file through the engine and into another
  // through the system; after each both files must hold the same, and at the end each must read
  // the same through both.
  for (const TCase& entry : Corpus()) {
    const std::string ours = Fresh(entry.Text);
    const std::string theirs = Fresh(entry.Text);
    TIniFile ini(ours);
    for (const TWrite& write : writes) {
      // Deletes of duplicated names differ on purpose (see the top and the test below).
      const bool deletesDuplicate = std::string(entry.Name) == "duplicates" &&
                                    (write.Key == nullptr || write.Value == nullptr);
      if (deletesDuplicate) continue;
      SCOPED_TRACE(std::string(entry.Name) + ": [" + write.Section + "] " +
                   (write.Key ? write.Key : "(section)") + " = " +
                   (write.Value ? write.Value : "(delete)"));
      EngineWrite(ini, write);
      SystemWrite(theirs, write);
      ExpectSameContent(Load(ours), Load(theirs));
    }
    SCOPED_TRACE(std::string(entry.Name) + " after all writes");
    ExpectSameReads(Load(ours));
    ExpectSameReads(Load(theirs));
  }
}

TEST_F(TIniDiff, DeletingADuplicatedNameLeavesNoOlderCopyBehind) {
  const std::string text = "[Dup]\r\nk=first\r\nk=second\r\n[dup]\r\nk=third\r\n[Keep]\r\nx=1\r\n";
  TIniFile keyDeleted(Fresh(text));
  ASSERT_TRUE(keyDeleted.DeleteKey("dup", "K"));
  EXPECT_FALSE(keyDeleted.ValueExists("Dup", "k"));
  TIniFile sectionErased(Fresh(text));
  ASSERT_TRUE(sectionErased.EraseSection("DUP"));
  TStrings sections;
  sectionErased.ReadSections(sections);
  EXPECT_EQ(sections, TStrings{"Keep"});
  // What is left reads the same through the system.
  EXPECT_EQ(SystemRead(Fresh(Load(keyDeleted.FileName())), "Dup", "k", "gone"), "gone");
  EXPECT_EQ(SystemSections(Fresh(Load(sectionErased.FileName()))), TStrings{"Keep"});
}

TEST_F(TIniDiff, AWriteCreatesAMissingFileAsTheSystemDoes) {
  const std::string ours = Dir_.File("ours.ini");
  const std::string theirs = Dir_.File("theirs.ini");
  TIniFile ini(ours);
  ASSERT_TRUE(ini.WriteString("New", "Key", "Value"));
  SystemWrite(theirs, {"New", "Key", "Value"});
  // Both write the one section as "[New]" and "Key=Value", each line ended by CR LF.
  EXPECT_EQ(Load(ours), Load(theirs));
  EXPECT_EQ(SystemRead(Fresh(Load(ours)), "new", "key", ""), "Value");
}

TEST_F(TIniDiff, DeletingFromAMissingFileCreatesNothing) {
  const std::string ours = Dir_.File("ours.ini");
  TIniFile ini(ours);
  EXPECT_TRUE(ini.DeleteKey("S", "k"));
  EXPECT_TRUE(ini.EraseSection("S"));
  EXPECT_EQ(::GetFileAttributesA(ours.c_str()), INVALID_FILE_ATTRIBUTES);
  const std::string theirs = Dir_.File("theirs.ini");
  ::WritePrivateProfileStringA("S", "k", nullptr, theirs.c_str());
  ::WritePrivateProfileStringA("S", nullptr, nullptr, theirs.c_str());
  ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, theirs.c_str());
  EXPECT_EQ(::GetFileAttributesA(theirs.c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace

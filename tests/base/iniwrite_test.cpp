// Writing INI files: placement of new lines, preservation of everything else, deletes, and the
// atomic replacement that keeps the old file when a write fails.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include "tests/support/tempfiletest.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/inifile.h"
#include "os/atomicfile.h"

namespace {

using namespace std::string_literals;

class IniWrite : public TTempFileTest {
 protected:
  // Everything in the scratch directory: a leftover temporary file would show up here.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(Dir)) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }
};

// --- building, changing and deleting -------------------------------------------------------------

TEST_F(IniWrite, BuildsAFileWithCrLfLinesAndDeletesKeysAndSections) {
  TIniFile ini(Path);  // the file does not exist yet: the first write creates it
  ASSERT_TRUE(ini.WriteString("App1", "key1", "string1"));
  ASSERT_TRUE(ini.WriteString("App1", "key2", "string2"));
  ASSERT_TRUE(ini.WriteString("App1", "key3", "string3"));
  ASSERT_TRUE(ini.WriteString("App2", "key4", "string4"));
  ASSERT_TRUE(ini.WriteString("App3", "key5", "string5"));
  EXPECT_EQ(Bytes(),
            "[App1]\r\nkey1=string1\r\nkey2=string2\r\nkey3=string3\r\n"
            "[App2]\r\nkey4=string4\r\n[App3]\r\nkey5=string5\r\n");

  ASSERT_TRUE(ini.DeleteKey("App1", "KEY2"));
  EXPECT_EQ(Bytes(),
            "[App1]\r\nkey1=string1\r\nkey3=string3\r\n"
            "[App2]\r\nkey4=string4\r\n[App3]\r\nkey5=string5\r\n");
  ASSERT_TRUE(ini.DeleteKey("App1", "key2"));  // deleting it again changes nothing
  EXPECT_EQ(Bytes(),
            "[App1]\r\nkey1=string1\r\nkey3=string3\r\n"
            "[App2]\r\nkey4=string4\r\n[App3]\r\nkey5=string5\r\n");

  ASSERT_TRUE(ini.EraseSection("app1"));
  EXPECT_EQ(Bytes(), "[App2]\r\nkey4=string4\r\n[App3]\r\nkey5=string5\r\n");
  ASSERT_TRUE(ini.EraseSection("App2"));
  EXPECT_EQ(Bytes(), "[App3]\r\nkey5=string5\r\n");

  // Deleting the last key leaves the header.
  ASSERT_TRUE(ini.DeleteKey("App3", "key5"));
  EXPECT_EQ(Bytes(), "[App3]\r\n");
  ASSERT_TRUE(ini.WriteString("App3", "key", ""));
  EXPECT_EQ(Bytes(), "[App3]\r\nkey=\r\n");
}

TEST_F(IniWrite, ChangingAValueKeepsEveryOtherByte) {
  const std::string before =
      "; KorZem model file\n"
      "garbage before any section\r\n"
      "[Config]\n"
      "\tWorkingMode = 1\n"
      "  TotalKJ = 1.0   ; old\r\n"
      "keyless line\n"
      "totalkj=shadowed\n"
      "\n"
      "; comment before the next section\r"
      "[ZEM]\r\n"
      "AutoApply=0";
  Put(before);
  TIniFile ini(Path);
  ASSERT_TRUE(ini.WriteString("CONFIG", "totalkj", "12.5"));
  // The changed line keeps the file's spelling of the key and its own line end.
  std::string expected = before;
  const std::string old = "  TotalKJ = 1.0   ; old";
  expected.replace(expected.find(old), old.size(), "TotalKJ=12.5");
  EXPECT_EQ(Bytes(), expected);

  // The last line has no line end and keeps it that way.
  ASSERT_TRUE(ini.WriteBool("ZEM", "AutoApply", true));
  expected.replace(expected.size() - 1, 1, "1");
  EXPECT_EQ(Bytes(), expected);
}

TEST_F(IniWrite, ANewKeyFollowsTheLastKeyLineOfItsSection) {
  Put("[A]\r\nk=1\r\n\r\n; about B\r\n[B]\r\nx=1\r\n");
  TIniFile ini(Path);
  ASSERT_TRUE(ini.WriteString("a", "n", "2"));
  EXPECT_EQ(Bytes(), "[A]\r\nk=1\r\nn=2\r\n\r\n; about B\r\n[B]\r\nx=1\r\n");

  // A section without keys gets it right below its header.
  Put("[A]\r\n\r\n[B]\r\n");
  ASSERT_TRUE(ini.WriteString("A", "n", "2"));
  EXPECT_EQ(Bytes(), "[A]\r\nn=2\r\n\r\n[B]\r\n");

  // A keyless line is part of the section, so the key goes after it.
  Put("[A]\nk=1\nflag\n[B]\n");
  ASSERT_TRUE(ini.WriteString("A", "n", "2"));
  EXPECT_EQ(Bytes(), "[A]\nk=1\nflag\nn=2\r\n[B]\n");

  // A last line without end gets one before the new line; LF lines stay LF.
  Put("[A]\nk=1");
  ASSERT_TRUE(ini.WriteString("A", "n", "2"));
  EXPECT_EQ(Bytes(), "[A]\nk=1\r\nn=2\r\n");
  Put("[A]");
  ASSERT_TRUE(ini.WriteString("A", "n", "2"));
  EXPECT_EQ(Bytes(), "[A]\r\nn=2\r\n");
}

TEST_F(IniWrite, ANewSectionGoesAtTheEndAndKeepsEvenNulBytesBeforeIt) {
  const std::string data = "Data \0 before \0 first \0 section"s;
  Put(data);
  TIniFile ini(Path);
  ASSERT_TRUE(ini.WriteString("section1", "key1", "string1"));
  EXPECT_EQ(Bytes(), data + "\r\n[section1]\r\nkey1=string1\r\n");

  Put("[A]\r\nk=1\r\n\r\n");
  ASSERT_TRUE(ini.WriteString("B", "k", "2"));
  EXPECT_EQ(Bytes(), "[A]\r\nk=1\r\n\r\n[B]\r\nk=2\r\n");
}

TEST_F(IniWrite, WritesGoToTheFirstOfDuplicatedSectionsAndDeletesRemoveEveryCopy) {
  Put("[A]\r\nk=1\r\nk=2\r\nj=0\r\n[B]\r\nk=9\r\n[a]\r\nk=3\r\n");
  TIniFile ini(Path);
  ASSERT_TRUE(ini.WriteString("A", "k", "x"));
  EXPECT_EQ(Bytes(), "[A]\r\nk=x\r\nk=2\r\nj=0\r\n[B]\r\nk=9\r\n[a]\r\nk=3\r\n");
  // Removing only the first line would bring the shadowed "k=2" to light.
  ASSERT_TRUE(ini.DeleteKey("A", "k"));
  EXPECT_EQ(Bytes(), "[A]\r\nj=0\r\n[B]\r\nk=9\r\n[a]\r\nk=3\r\n");
  EXPECT_FALSE(ini.ValueExists("A", "k"));
  ASSERT_TRUE(ini.EraseSection("A"));
  EXPECT_EQ(Bytes(), "[B]\r\nk=9\r\n");
}

TEST_F(IniWrite, EraseSectionTakesCommentsAndBlankLinesUpToTheNextHeader) {
  Put("[Keep]\nx=1\n[Drop]\n; comment\nk=1\n\n[Last]\ny=2");
  TIniFile ini(Path);
  ASSERT_TRUE(ini.EraseSection("Drop"));
  EXPECT_EQ(Bytes(), "[Keep]\nx=1\n[Last]\ny=2");
  ASSERT_TRUE(ini.EraseSection("Last"));
  EXPECT_EQ(Bytes(), "[Keep]\nx=1\n");
}

TEST_F(IniWrite, DeletesOnAMissingFileSucceedWithoutCreatingIt) {
  TIniFile ini(Path);
  EXPECT_TRUE(ini.DeleteKey("A", "k"));
  EXPECT_TRUE(ini.EraseSection("A"));
  EXPECT_FALSE(std::filesystem::exists(Path));
}

TEST_F(IniWrite, NamesAndValuesThatCannotReadBackAreRefused) {
  TIniFile ini(Path);
  EXPECT_FALSE(ini.WriteString("", "k", "v"));
  EXPECT_FALSE(ini.WriteString("  ", "k", "v"));
  EXPECT_FALSE(ini.WriteString("A", "", "v"));
  EXPECT_FALSE(ini.WriteString("A", "a=b", "v"));
  EXPECT_FALSE(ini.WriteString("A", ";k", "v"));
  EXPECT_FALSE(ini.WriteString("A", "[k]", "v"));
  EXPECT_FALSE(ini.WriteString("A", "k", "two\r\nlines"));
  EXPECT_FALSE(ini.WriteString("A\n", "k", "v"));
  EXPECT_FALSE(std::filesystem::exists(Path));
  // Blanks around names are not part of them.
  ASSERT_TRUE(ini.WriteString(" A ", " k ", "v"));
  EXPECT_EQ(Bytes(), "[A]\r\nk=v\r\n");
}

TEST_F(IniWrite, SectionPairsSplitAtTheFirstEqualsAndGoToDiskTogether) {
  Put("[Other]\r\nx=1\r\n");
  TiFile ini(Path);
  ini.WriteSectionPairs("Pins", {"A=1", "B=x=y", "C", "=nameless", "A=2"});
  EXPECT_EQ(Bytes(), "[Other]\r\nx=1\r\n[Pins]\r\nA=2\r\nB=x=y\r\nC=C\r\n");
  EXPECT_EQ(ini.ReadString("Pins", "B", ""), "x=y");
}

// --- atomic replacement ------------------------------------------------------------------------

TEST_F(IniWrite, AFailureMidWriteLeavesTheOldFileAndNoTemporaryFile) {
  const std::string old = "; keep me\r\n[Config]\r\nTotalKJ=1.5\r\n";
  Put(old);
  TIniFile ini(Path);
  // Half the old size is less than either new file (one key more, one key less).
  ini.SetWriteFailureForTest(old.size() / 2);
  EXPECT_FALSE(ini.WriteString("Config", "ConsumesKJ", "2"));
  EXPECT_FALSE(ini.DeleteKey("Config", "TotalKJ"));
  EXPECT_EQ(Bytes(), old);
  EXPECT_EQ(Entries(), std::vector<std::string>{"Model.ini"});

  // The same object writes again once the fault is gone.
  ini.SetWriteFailureForTest(kNeverFail);
  EXPECT_TRUE(ini.WriteString("Config", "ConsumesKJ", "2"));
  EXPECT_EQ(Bytes(), old + "ConsumesKJ=2\r\n");
  EXPECT_EQ(Entries(), std::vector<std::string>{"Model.ini"});
}

TEST_F(IniWrite, TheWriterReplacesWholeFilesAndKeepsPermissions) {
  Put("old contents");
  ASSERT_EQ(::chmod(Path.c_str(), 0640), 0);
  ASSERT_TRUE(OsReplaceWholeFile(Path, "new"));
  EXPECT_EQ(Bytes(), "new");
  struct stat info {};
  ASSERT_EQ(::stat(Path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);

  EXPECT_FALSE(OsReplaceWholeFile(Path, "abcdef", 3));
  EXPECT_EQ(Bytes(), "new");
  // A failure on the very first byte, and an empty replacement, behave the same way.
  EXPECT_FALSE(OsReplaceWholeFile(Path, "abcdef", 0));
  EXPECT_EQ(Bytes(), "new");
  ASSERT_TRUE(OsReplaceWholeFile(Path, ""));
  EXPECT_EQ(Bytes(), "");
  EXPECT_EQ(Entries(), std::vector<std::string>{"Model.ini"});

  std::string read = "stale";
  EXPECT_EQ(OsReadWholeFile((Dir / "absent").string(), read), TWholeFileRead::Missing);
  EXPECT_TRUE(read.empty());
  EXPECT_EQ(OsReadWholeFile(Dir.string(), read), TWholeFileRead::Failed);
}

TEST_F(IniWrite, AWriteThatCannotReachTheDiskReturnsFalse) {
  TIniFile inMissingDirectory((Dir / "no-such-dir" / "Model.ini").string());
  EXPECT_FALSE(inMissingDirectory.WriteString("A", "k", "v"));
  // A path that exists but is no readable file is never replaced by a one-key file.
  std::filesystem::create_directory(Dir / "Dir.ini");
  TIniFile onDirectory((Dir / "Dir.ini").string());
  EXPECT_FALSE(onDirectory.WriteString("A", "k", "v"));
  EXPECT_TRUE(std::filesystem::is_directory(Dir / "Dir.ini"));
}

TEST_F(IniWrite, WritesGoThroughASymbolicLinkToItsTarget) {
  Put("[A]\r\nk=1\r\n");
  const std::filesystem::path link = Dir / "Link.ini";
  std::filesystem::create_symlink(Path, link);
  TIniFile ini(link.string());
  ASSERT_TRUE(ini.WriteString("A", "k", "2"));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(Bytes(), "[A]\r\nk=2\r\n");
}

}  // namespace

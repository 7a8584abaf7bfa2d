// Reading INI files: grammar, typed values and list operations.
#include "base/inifile.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include "tests/support/tempfiletest.h"

#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>

namespace {

class IniRead : public TTempFileTest {
 protected:
};

// --- grammar ---------------------------------------------------------------------------------

TEST_F(IniRead, NamesIgnoreCaseAndValuesAreTrimmedButKeepInnerBlanks) {
  Put("[Config]\r\n  WorkingMode \t=  two  words  \t\r\n");
  const TIniFile ini(Path);
  EXPECT_EQ(ini.ReadString("CONFIG", "workingmode", "d"), "two  words");
  EXPECT_EQ(ini.ReadString(" config ", " WorkingMode ", "d"), "two  words");
}

TEST_F(IniRead, MatchingQuotesAreStrippedALoneQuoteStays) {
  Put("[s]\r\nd=\"val2\"\r\nq='single'\r\nlone=\"\r\nmixed=\"abc'\r\nempty=\"\"\r\n"
      "inner=a\"b\"\r\nspaced=  \" x \"  \r\n");
  const TIniFile ini(Path);
  EXPECT_EQ(ini.ReadString("s", "d", "default"), "val2");
  EXPECT_EQ(ini.ReadString("s", "q", "default"), "single");
  EXPECT_EQ(ini.ReadString("s", "lone", "default"), "\"");
  EXPECT_EQ(ini.ReadString("s", "mixed", "default"), "\"abc'");
  EXPECT_EQ(ini.ReadString("s", "empty", "default"), "");
  EXPECT_EQ(ini.ReadString("s", "inner", "default"), "a\"b\"");
  // Blanks outside the quotes go with the trimming, those inside stay.
  EXPECT_EQ(ini.ReadString("s", "spaced", "default"), " x ");
}

TEST_F(IniRead, ALineWithoutEqualsIsNoKeyButStaysAmongTheSectionLines) {
  Put("[s]\r\nname1=val1\r\nname2=\r\nname3\r\nname4=val4\r\n[t]\r\n=val5\r\n");
  const TIniFile ini(Path);
  TStrings list{"stale"};
  ini.ReadSection("s", list);
  EXPECT_EQ(list, (TStrings{"name1", "name2", "name4"}));
  ini.ReadSectionLines("s", list);
  EXPECT_EQ(list, (TStrings{"name1=val1", "name2=", "name3", "name4=val4"}));
  EXPECT_EQ(ini.ReadString("s", "name3", "default"), "default");
  EXPECT_EQ(ini.ReadString("s", "name2", "default"), "");  // present but empty: no default
  EXPECT_FALSE(ini.ValueExists("s", "name3"));
  EXPECT_TRUE(ini.ValueExists("s", "NAME2"));
  // A key with an empty name is a line of its section but never a key.
  ini.ReadSection("t", list);
  EXPECT_TRUE(list.empty());
  ini.ReadSectionLines("t", list);
  EXPECT_EQ(list, (TStrings{"=val5"}));
}

TEST_F(IniRead, TrailingBlanksOfTheDefaultAreDroppedOthersKept) {
  Put("[s]\r\nk=v\r\n");
  const TIniFile ini(Path);
  EXPECT_EQ(ini.ReadString("s", "missing", "default  "), "default");
  EXPECT_EQ(ini.ReadString("s", "missing", "one two  "), "one two");
  EXPECT_EQ(ini.ReadString("s", "missing", "  lead"), "  lead");
  EXPECT_EQ(ini.ReadString("s", "missing", "tab\t"), "tab\t");
}

TEST_F(IniRead, EmptyNamesAndMissingSectionKeyOrFileGiveTheDefault) {
  // Keys before the first header belong to no section; "[]" is a section without a name.
  Put("\r\nkey=val_no_section\r\n[]\r\nkey=val_e_section\r\n[s]\r\n=val_no_key\r\n[t]\r\n");
  const TIniFile ini(Path);
  EXPECT_EQ(ini.ReadString("", "key", "default"), "default");
  EXPECT_EQ(ini.ReadString("s", "", "default"), "default");
  EXPECT_EQ(ini.ReadString("notasection", "key", "default"), "default");
  EXPECT_EQ(ini.ReadString("t", "key", "default"), "default");
  TStrings sections;
  ini.ReadSections(sections);
  EXPECT_EQ(sections, (TStrings{"s", "t"}));

  const TIniFile missing((Dir / "absent.ini").string());
  EXPECT_EQ(missing.ReadString("s", "key", "default"), "default");
  EXPECT_EQ(missing.ReadInteger("s", "key", 7), 7);
  missing.ReadSections(sections);
  EXPECT_TRUE(sections.empty());
  EXPECT_FALSE(missing.SectionExists("s"));
}

TEST_F(IniRead, SectionHeadersAreTrimmedAndEndAtTheLastBracket) {
  Put("[ section1 ]\r\na=1\r\n  [section2]  ; note\r\nb=2\r\n[a]b]\r\nc=3\r\n[open\r\nd=4\r\n");
  const TIniFile ini(Path);
  TStrings sections;
  ini.ReadSections(sections);
  EXPECT_EQ(sections, (TStrings{"section1", "section2", "a]b"}));
  EXPECT_EQ(ini.ReadString("section1", "a", ""), "1");
  EXPECT_EQ(ini.ReadString("section2", "b", ""), "2");
  // "[open" has no closing bracket, so it is no header and "d" stays in section "a]b".
  EXPECT_EQ(ini.ReadString("a]b", "d", ""), "4");
}

TEST_F(IniRead, CrOnlyLfAndCrLfLineEndsReadTheSame) {
  for (const std::string eol : {"\r\n", "\n", "\r"}) {
    SCOPED_TRACE(eol == "\r" ? "CR" : eol == "\n" ? "LF" : "CRLF");
    Put("[section1]" + eol + "name1=val1" + eol + "name2=\"val2\"" + eol + "name3" + eol +
        "name4=a" + eol + "[section2]" + eol);
    const TIniFile ini(Path);
    TStrings list;
    ini.ReadSections(list);
    EXPECT_EQ(list, (TStrings{"section1", "section2"}));
    ini.ReadSection("section1", list);
    EXPECT_EQ(list, (TStrings{"name1", "name2", "name4"}));
    EXPECT_EQ(ini.ReadString("section1", "NaMe1", "default"), "val1");
    EXPECT_EQ(ini.ReadString("section1", "name2", "default"), "val2");
    EXPECT_EQ(ini.ReadString("section1", "name4", "default"), "a");
    EXPECT_EQ(ini.ReadString("section2", "name1", "default"), "default");
  }
}

TEST_F(IniRead, OnlyTheFirstSectionAndKeyOfADuplicatedNameCount) {
  Put("[A]\r\nk=1\r\nK=2\r\n[B]\r\nx=1\r\n[a]\r\nk=3\r\ny=4\r\n");
  const TIniFile ini(Path);
  EXPECT_EQ(ini.ReadString("a", "k", ""), "1");
  EXPECT_EQ(ini.ReadString("A", "y", "default"), "default");
  TStrings list;
  ini.ReadSections(list);
  EXPECT_EQ(list, (TStrings{"A", "B"}));
  ini.ReadSection("A", list);
  EXPECT_EQ(list, (TStrings{"k"}));
  ini.ReadSectionValues("A", list);
  EXPECT_EQ(list, (TStrings{"k=1"}));
  ini.ReadSectionLines("A", list);
  EXPECT_EQ(list, (TStrings{"k=1", "K=2"}));
}

TEST_F(IniRead, CommentsAreNeitherKeysNorLines) {
  Put("; header comment\r\n[A]\r\n;k=1\r\n   ; indented = comment\r\nk=2\r\n");
  const TIniFile ini(Path);
  EXPECT_EQ(ini.ReadString("A", "k", ""), "2");
  EXPECT_EQ(ini.ReadString("A", ";k", "default"), "default");
  TStrings list;
  ini.ReadSection("A", list);
  EXPECT_EQ(list, (TStrings{"k"}));
  ini.ReadSectionLines("A", list);
  EXPECT_EQ(list, (TStrings{"k=2"}));
}

TEST_F(IniRead, EveryReadSeesTheFileAsItIsNow) {
  Put("[Test]\nProfileInt=123\n");
  const TIniFile ini(Path);
  EXPECT_EQ(ini.ReadInteger("Test", "ProfileInt", 0), 123);
  Put("[Test]\nProfileInt=124\n");
  EXPECT_EQ(ini.ReadInteger("Test", "ProfileInt", 0), 124);
  std::filesystem::remove(Path);
  EXPECT_EQ(ini.ReadInteger("Test", "ProfileInt", 421), 421);
}

TEST_F(IniRead, VeryLongLinesAndAByteOrderMarkAreReadWhole) {
  const std::string longValue(100000, 'x');
  Put("\xEF\xBB\xBF[Long]\r\nKey=" + longValue + "\r\nNext=1\r\n");
  const TIniFile ini(Path);
  EXPECT_EQ(ini.ReadString("Long", "Key", ""), longValue);
  EXPECT_EQ(ini.ReadInteger("Long", "Next", 0), 1);
}

TEST_F(IniRead, SectionExistsNeedsAKeyWhileReadSectionsListsBareHeaders) {
  Put("[Bare]\r\n; only a comment\r\n[Full]\r\nk=\r\n");
  const TIniFile ini(Path);
  EXPECT_FALSE(ini.SectionExists("Bare"));
  EXPECT_TRUE(ini.SectionExists("full"));
  EXPECT_FALSE(ini.SectionExists("Other"));
  TStrings sections;
  ini.ReadSections(sections);
  EXPECT_EQ(sections, (TStrings{"Bare", "Full"}));
}

// --- typed values ----------------------------------------------------------------------------

TEST_F(IniRead, IntegersAreDecimalOrHexLongerThanTwoCharacters) {
  Put("[n]\r\nhex=0x1F\r\nbare=0x\r\nneg=-12\r\nplus=+1\r\ntail=12a\r\n"
      "allOnes=0xFFFFFFFF\r\nwide=0x100000000\r\nbig=2147483648\r\nmin=-2147483648\r\n"
      "empty=\r\nblanks=  7  \r\nhexNeg=0x-1\r\nfraction=1.5\r\nquoted=\"42\"\r\n"
      "leadingZeros=007\r\nnegHex=-0x10\r\n");
  const TIniFile ini(Path);
  const int32_t d = -99;
  EXPECT_EQ(ini.ReadInteger("n", "hex", d), 31);
  EXPECT_EQ(ini.ReadInteger("n", "bare", d), d);
  EXPECT_EQ(ini.ReadInteger("n", "neg", d), -12);
  EXPECT_EQ(ini.ReadInteger("n", "plus", d), d);
  EXPECT_EQ(ini.ReadInteger("n", "tail", d), d);
  EXPECT_EQ(ini.ReadInteger("n", "allOnes", d), -1);
  EXPECT_EQ(ini.ReadInteger("n", "wide", d), d);
  EXPECT_EQ(ini.ReadInteger("n", "big", d), d);
  EXPECT_EQ(ini.ReadInteger("n", "min", d), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(ini.ReadInteger("n", "empty", d), d);
  EXPECT_EQ(ini.ReadInteger("n", "blanks", d), 7);
  EXPECT_EQ(ini.ReadInteger("n", "hexNeg", d), d);
  EXPECT_EQ(ini.ReadInteger("n", "fraction", d), d);
  EXPECT_EQ(ini.ReadInteger("n", "quoted", d), 42);
  EXPECT_EQ(ini.ReadInteger("n", "leadingZeros", d), 7);
  EXPECT_EQ(ini.ReadInteger("n", "negHex", d), d);
  EXPECT_EQ(ini.ReadInteger("n", "missing", d), d);
}

TEST_F(IniRead, UpperCaseHexPrefixIsHexToo) {
  Put("[n]\r\nk=0XfF\r\n");
  EXPECT_EQ(TIniFile(Path).ReadInteger("n", "k", 0), 255);
}

TEST_F(IniRead, BooleansAreIntegers) {
  Put("[b]\r\nzero=0\r\ntwo=2\r\nminus=-1\r\nhexZero=0x0\r\nword=True\r\nbare=0x\r\n");
  const TIniFile ini(Path);
  EXPECT_FALSE(ini.ReadBool("b", "zero", true));
  EXPECT_TRUE(ini.ReadBool("b", "two", false));
  EXPECT_TRUE(ini.ReadBool("b", "minus", false));
  EXPECT_FALSE(ini.ReadBool("b", "hexZero", true));
  EXPECT_TRUE(ini.ReadBool("b", "word", true));
  EXPECT_FALSE(ini.ReadBool("b", "word", false));
  EXPECT_TRUE(ini.ReadBool("b", "bare", true));
  EXPECT_FALSE(ini.ReadBool("b", "missing", false));
}

TEST_F(IniRead, FloatsUseADotAndRejectOtherTexts) {
  Put("[f]\r\nhalf=1.5\r\nexp=-2.25e3\r\ncomma=1,5\r\nword=abc\r\nint=3\r\ntail=1.5V\r\n");
  const TIniFile ini(Path);
  EXPECT_EQ(ini.ReadFloat("f", "half", 0), 1.5);
  EXPECT_EQ(ini.ReadFloat("f", "exp", 0), -2250.0);
  EXPECT_EQ(ini.ReadFloat("f", "comma", -1), -1);
  EXPECT_EQ(ini.ReadFloat("f", "word", -1), -1);
  EXPECT_EQ(ini.ReadFloat("f", "int", -1), 3.0);
  EXPECT_EQ(ini.ReadFloat("f", "tail", -1), -1);
  EXPECT_EQ(ini.ReadSingle("f", "half", 0), 1.5f);
  EXPECT_EQ(ini.ReadExtended("f", "half", 0), 1.5L);
  EXPECT_EQ(ini.ReadExtended("f", "comma", -1), -1.0L);
}

// A locale whose decimal separator is "," must change neither reading nor writing.
TEST_F(IniRead, FloatsIgnoreTheLocale) {
  const char* candidates[] = {"de_DE.UTF-8", "de_DE.utf8",  "de_DE",       "fr_FR.UTF-8",
                              "fr_FR.utf8",  "ru_RU.UTF-8", "nl_NL.UTF-8", "German_Germany.1252"};
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  const char* chosen = nullptr;
  for (const char* name : candidates) {
    if (std::setlocale(LC_ALL, name) != nullptr &&
        std::strcmp(std::localeconv()->decimal_point, ",") == 0) {
      chosen = name;
      break;
    }
  }
  if (chosen == nullptr) {
    std::setlocale(LC_ALL, previous.c_str());
    GTEST_SKIP() << "no locale with a decimal comma is installed";
  }
  Put("[f]\r\nhalf=1.5\r\ncomma=1,5\r\n");
  TIniFile ini(Path);
  const double half = ini.ReadFloat("f", "half", 0);
  const double comma = ini.ReadFloat("f", "comma", -1);
  const bool written = ini.WriteFloat("f", "quarter", 0.25);
  const std::string quarter = ini.ReadString("f", "quarter", "");
  std::setlocale(LC_ALL, previous.c_str());
  EXPECT_EQ(half, 1.5) << chosen;
  EXPECT_EQ(comma, -1) << chosen;
  EXPECT_TRUE(written);
  EXPECT_EQ(quarter, "0.25");
}

TEST_F(IniRead, WrittenNumbersReadBackUnchangedInTheirPrecision) {
  TIniFile ini(Path);
  const double doubles[] = {0.1,           1.0 / 3, 1e300, -4.9406564584124654e-324,
                            123456789.123, DBL_MAX, -0.0,  2.5e-8};
  for (double value : doubles) {
    ASSERT_TRUE(ini.WriteFloat("Config", "Value", value));
    const double back = ini.ReadFloat("Config", "Value", 42);
    EXPECT_EQ(std::memcmp(&back, &value, sizeof value), 0) << value;
  }
  const float singles[] = {0.1f, 1.0f / 3, FLT_MIN, FLT_MAX, 1e-45f, 16777216.0f, 3.3f, 1.15f};
  for (float value : singles) {
    ASSERT_TRUE(ini.WriteSingle("Config", "TotalKJ", value));
    EXPECT_EQ(ini.ReadSingle("Config", "TotalKJ", 42), value);
    // A caller that reads a 32-bit value through ReadFloat gets it back too.
    EXPECT_EQ(static_cast<float>(ini.ReadFloat("Config", "TotalKJ", 42)), value);
  }
  // Values below the normal range take the C library's path; they must come back too.
  const long double tiny = std::numeric_limits<long double>::denorm_min();
  const long double extendeds[] = {
      1.0L / 3, LDBL_MAX, LDBL_MIN, tiny, -tiny * 12345, 0.1L, 12345.678901234567890123L};
  for (long double value : extendeds) {
    ASSERT_TRUE(ini.WriteExtended("Config", "ConsumesKJ", value));
    EXPECT_EQ(ini.ReadExtended("Config", "ConsumesKJ", 42), value);
  }
  // The shortest text of each precision, not a 17-digit rendering of the float's double.
  ASSERT_TRUE(ini.WriteSingle("Config", "TotalKJ", 0.1f));
  EXPECT_EQ(ini.ReadString("Config", "TotalKJ", ""), "0.1");
  ASSERT_TRUE(ini.WriteExtended("Config", "ConsumesKJ", 0.5L));
  EXPECT_EQ(ini.ReadString("Config", "ConsumesKJ", ""), "0.5");
}

TEST_F(IniRead, IntegersAndBooleansAreWrittenAsDecimal) {
  TIniFile ini(Path);
  ASSERT_TRUE(ini.WriteInteger("Config", "CpuID", -5));
  ASSERT_TRUE(ini.WriteBool("Config", "StartMinimize", true));
  ASSERT_TRUE(ini.WriteBool("Config", "AutoExit", false));
  ASSERT_TRUE(ini.WriteInteger("Config", "Max", std::numeric_limits<int32_t>::max()));
  EXPECT_EQ(ini.ReadString("Config", "CpuID", ""), "-5");
  EXPECT_EQ(ini.ReadString("Config", "StartMinimize", ""), "1");
  EXPECT_EQ(ini.ReadString("Config", "AutoExit", ""), "0");
  EXPECT_EQ(ini.ReadInteger("Config", "Max", 0), std::numeric_limits<int32_t>::max());
}

// --- list operations of the model file's reader ------------------------------------------------

TEST_F(IniRead, ReadSectionKeysReplacesTheList) {
  Put("[Pins]\r\nGPIO1=a\r\nNoKey\r\nGpio2=b\r\n");
  const TiFile ini(Path);
  TStrings keys{"old"};
  ini.ReadSectionKeys("pins", keys);
  EXPECT_EQ(keys, (TStrings{"GPIO1", "Gpio2"}));
  ini.ReadSectionKeys("missing", keys);
  EXPECT_TRUE(keys.empty());
}

TEST_F(IniRead, ValueListsAppendTrimmedValuesInFileOrder) {
  Put("[Pins]\r\nGPIO1 = ' a '\r\nOther=\"b\"\r\nNoKey\r\nGpio2=c\r\nGPIO1=dup\r\nGpioEmpty=\r\n");
  const TiFile ini(Path);
  TStrings values{"kept"};
  ini.ReadSectionValueList("Pins", values);
  EXPECT_EQ(values, (TStrings{"kept", "a", "b", "c", ""}));
  TStrings gpio;
  ini.ReadSectionValuesByPrefix("Pins", "GPIO", gpio);
  EXPECT_EQ(gpio, (TStrings{"a", "c", ""}));
  TStrings all;
  ini.ReadSectionValuesByPrefix("Pins", "", all);
  EXPECT_EQ(all, (TStrings{"a", "b", "c", ""}));
  TStrings none{"kept"};
  ini.ReadSectionValueList("Missing", none);
  EXPECT_EQ(none, (TStrings{"kept"}));
}

TEST_F(IniRead, SectionValuesAreKeyEqualsValueTexts) {
  Put("[GPIO12]\r\n  Port = 0x480 \r\nBit=\"3\"\r\nnote\r\n");
  const TiFile ini(Path);
  TStrings lines;
  ini.ReadSectionValues("gpio12", lines);
  EXPECT_EQ(lines, (TStrings{"Port=0x480", "Bit=3"}));
}

}  // namespace

// The one reader of board files: every section reads numbers, hex bytes and flags the same way.
#include "sim/sectionreader.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/tempdir.h"

namespace {

TEST(SimSectionReaderTest, ParsersAgreeOnEmptyAndMalformedText) {
  std::vector<uint8_t> bytes{1};
  EXPECT_TRUE(TSimSectionReader::ParseHexBytes("", &bytes));
  EXPECT_TRUE(bytes.empty());
  EXPECT_TRUE(TSimSectionReader::ParseHexBytes(" 01\t4f ", &bytes));
  EXPECT_EQ((std::vector<uint8_t>{0x01, 0x4F}), bytes);
  EXPECT_FALSE(TSimSectionReader::ParseHexBytes("01 100", &bytes));
  EXPECT_TRUE(bytes.empty());

  uint64_t value = 7;
  EXPECT_FALSE(TSimSectionReader::ParseNumber("", &value));
  EXPECT_FALSE(TSimSectionReader::ParseNumber("0x", &value));
  EXPECT_TRUE(TSimSectionReader::ParseNumber("0x1F", &value));
  EXPECT_EQ(0x1Fu, value);

  std::vector<uint64_t> list;
  EXPECT_TRUE(TSimSectionReader::ParseNumberList("1, 0x10 3", &list));
  EXPECT_EQ((std::vector<uint64_t>{1, 16, 3}), list);
  EXPECT_FALSE(TSimSectionReader::ParseNumberList("1,x", &list));

  double real = 0;
  EXPECT_TRUE(TSimSectionReader::ParseReal("+1.25", &real));
  EXPECT_DOUBLE_EQ(1.25, real);
  EXPECT_FALSE(TSimSectionReader::ParseReal("1.2V", &real));
}

TEST(SimSectionReaderTest, TypedReadsBoundValuesAndNameTheKeyOnFailure) {
  TTempDir dir;
  const std::string path = dir / "board.ini";
  std::ofstream(path) << "[S]\nByte=0x100\nWord=0x100\nEmpty=\nFlag=2\nReal=3.5\nLevel=low\n";
  const TIniFile ini(path);
  const std::string section = "S";
  std::string error;
  const TSimSectionReader reader(ini, section, &error);

  uint8_t byte = 9;
  EXPECT_FALSE(reader.Number("Byte", &byte));  // bounded by what a byte holds
  EXPECT_NE(std::string::npos, error.find("[S] Byte: '0x100' is out of range")) << error;
  EXPECT_EQ(9, byte);
  uint16_t word = 0;
  EXPECT_TRUE(reader.Number("Word", &word));
  EXPECT_EQ(0x100, word);
  EXPECT_TRUE(reader.Number("Missing", &word));
  EXPECT_FALSE(reader.Number("Missing", &word, 0xFFFF, /*required=*/true));
  EXPECT_NE(std::string::npos, error.find("[S] Missing: missing")) << error;

  std::vector<uint8_t> bytes;
  EXPECT_FALSE(reader.HexBytes("Empty", &bytes));
  EXPECT_TRUE(reader.HexBytes("Empty", &bytes, /*allowEmpty=*/true));

  bool flag = false;
  EXPECT_FALSE(reader.Flag("Flag", &flag));
  EXPECT_NE(std::string::npos, error.find("expected 0 or 1")) << error;
  double real = 0;
  EXPECT_TRUE(reader.Real("Real", 0, 10, 1e-3, &real));
  EXPECT_DOUBLE_EQ(0.0035, real);
  EXPECT_FALSE(reader.Real("Real", 0, 2, 1, &real));
  bool level = true;
  EXPECT_TRUE(reader.Level("Level", &level));
  EXPECT_FALSE(level);
}

}  // namespace

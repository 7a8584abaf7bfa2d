#include "base/textfmt.h"

#include <gtest/gtest.h>

#include <vector>

TEST(TextFormat, HexWidthsAreFixedAndUpperCase) {
  EXPECT_EQ(HexByte(0x0A), "0x0A");
  EXPECT_EQ(HexWord(0x1F), "0x001F");
  EXPECT_EQ(HexDword(0xFEC00000u), "0xFEC00000");
  EXPECT_EQ(HexQword(0x1ull), "0x0000000000000001");
  EXPECT_EQ(HexMin(0), "0x0");
  EXPECT_EQ(HexMin(0x2E), "0x2E");
  EXPECT_EQ(DecHex(-1), "-1 (0xFFFFFFFF)");
  EXPECT_EQ(Bracketed("Cpu->IsAMDCpu() = ", BoolText(true)), "Cpu->IsAMDCpu() = [True]");
}

TEST(TextFormat, DelimitersFallBackToTheWholeText) {
  EXPECT_EQ(TextAfter("GPIO12=OutputHigh", "="), "OutputHigh");
  EXPECT_EQ(TextAfter("no delimiter", "="), "no delimiter");
  EXPECT_EQ(TextBefore("GPIO12=OutputHigh", "="), "GPIO12");
  EXPECT_EQ(TextBefore("a=b=c", "="), "a");
  EXPECT_EQ(TextBetween("x(abc)y", "(", ")"), "abc");
  EXPECT_EQ(TextBetween("abc)y", "(", ")"), "abc");
  EXPECT_EQ(TextBetween("x(abc", "(", ")"), "abc");
}

TEST(TextFormat, HexDumpWithHeaderAlignsOffsetsAndPadsTheLastLine) {
  std::vector<uint8_t> data(20);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(0x3E + i);
  std::vector<std::string> lines;
  HexDump(data.data(), data.size(), true, [&](const std::string& line) { lines.push_back(line); });
  ASSERT_EQ(lines.size(), 3u);
  // Offsets up to 0x13 need two digits, so the ruler starts with two blanks.
  EXPECT_EQ(lines[0], "   00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F\t0123456789ABCDEF");
  EXPECT_EQ(lines[1], "00 3E 3F 40 41 42 43 44 45 46 47 48 49 4A 4B 4C 4D\t>?@ABCDEFGHIJKLM");
  EXPECT_EQ(lines[2], "10 4E 4F 50 51                                    \tNOPQ            ");
}

TEST(TextFormat, HexDumpWithoutHeaderShowsUnprintableBytesAsDots) {
  const uint8_t data[3] = {0x00, 0x41, 0xFF};
  std::vector<std::string> lines;
  HexDump(data, sizeof data, false, [&](const std::string& line) { lines.push_back(line); });
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].substr(0, 8), "00 41 FF");
  EXPECT_EQ(lines[0].substr(lines[0].find('\t')), "\t.A.             ");
}

// The text layer: normalisation, command lists, operand tokens, numbers, locals and byte lists.
#include "script/scriptlex.h"

#include <gtest/gtest.h>

using namespace script;

namespace {

using TStrings = std::vector<std::string>;

TEST(ScriptText, NormalisingUpperCasesAndDropsSeparatorsAndTrailingSemicolons) {
  // The ")" turns into a blank before the trailing ";" go, so a blank may be left at the end.
  EXPECT_EQ(NormaliseScript("  iid(2eh,2fh,20h);;  "), "IID 2EH 2FH 20H ");
  EXPECT_EQ(NormaliseScript("\tlocal1=5; i 2eh;"), "LOCAL1=5; I 2EH");
  // Only the semicolons at the very end go; one in front of a blank stays.
  EXPECT_EQ(NormaliseScript("I 2EH; ;"), "I 2EH; ");
  EXPECT_EQ(NormaliseScript(""), "");
}

TEST(ScriptText, CommandListsSplitAtSemicolons) {
  EXPECT_EQ(SplitCommandList(" ;; I 2EH ; O 80H 1"), (TStrings{"I 2EH", "O 80H 1"}));
  // Two semicolons in a row make an empty command, which the dispatcher refuses.
  EXPECT_EQ(SplitCommandList("I 2EH;;I 2FH"), (TStrings{"I 2EH", "", "I 2FH"}));
  // A list may end in ";" (text in front of a block often does).
  EXPECT_EQ(SplitCommandList("I 2EH; "), (TStrings{"I 2EH"}));
  EXPECT_EQ(SplitCommandList("   "), TStrings{});
}

TEST(ScriptText, OperandTokensKeepQuotedStretchesWhole) {
  EXPECT_EQ(SplitOperandTokens("0F0000H  10000H 16 0 \"5FH 53H 4DH 5FH\" /S"),
            (TStrings{"0F0000H", "10000H", "16", "0", "5FH 53H 4DH 5FH", "/S"}));
  EXPECT_EQ(SplitOperandTokens("\"\" A"), (TStrings{"", "A"}));
  EXPECT_EQ(SplitOperandTokens("\"OPEN END"), (TStrings{"OPEN END"}));
}

TEST(ScriptText, NumbersInEveryForm) {
  const struct {
    const char* Token;
    std::optional<uint32_t> Value;
  } cases[] = {
      {"46", 46u},
      {"0X2E", 0x2Eu},
      {"0x2e", 0x2Eu},
      {"$2E", 0x2Eu},
      {"2EH", 0x2Eu},
      {"0F0000H", 0xF0000u},
      {"FFFF8086H", 0xFFFF8086u},
      {"-1", 0xFFFFFFFFu},
      {"-0X10", 0xFFFFFFF0u},
      {"4294967295", 0xFFFFFFFFu},
      {"2E", std::nullopt},     // hex digits need their "H"
      {"0X2EH", std::nullopt},  // a "0x" number keeps its "H"
      {"H", std::nullopt},
      {"0X", std::nullopt},
      {"$", std::nullopt},
      {"4294967296", std::nullopt},  // above 32 bits
      {"1FFFFFFFFH", std::nullopt},
      {"12 ", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseNumber(c.Token), c.Value) << c.Token;
}

TEST(ScriptText, LocalIndexesAreOneHexNumberUpToF) {
  EXPECT_EQ(ParseLocalIndex("LOCAL0"), 0);
  EXPECT_EQ(ParseLocalIndex("LOCALA"), 10);
  EXPECT_EQ(ParseLocalIndex("LOCAL0F"), 15);
  EXPECT_EQ(ParseLocalIndex("LOCAL10"), std::nullopt);
  EXPECT_EQ(ParseLocalIndex("LOCALG"), std::nullopt);
  EXPECT_EQ(ParseLocalIndex("LOCAL"), std::nullopt);
  EXPECT_EQ(ParseLocalIndex("LOCAL1 "), std::nullopt);  // LOCAL1 = 5 is no assignment
  EXPECT_EQ(ParseLocalIndex("I 2EH"), std::nullopt);
}

TEST(ScriptText, ByteListsHoldUpTo256BytesOfValue0To255) {
  std::string bytes;
  ASSERT_TRUE(ParseByteList("5FH 53H 4DH 5FH", bytes));
  EXPECT_EQ(bytes, "_SM_");
  ASSERT_TRUE(ParseByteList("0 255", bytes));
  EXPECT_EQ(bytes, std::string("\x00\xFF", 2));

  std::string list256;
  for (int i = 0; i < 256; ++i) list256 += "1 ";
  ASSERT_TRUE(ParseByteList(list256, bytes));
  EXPECT_EQ(bytes.size(), 256u);
  EXPECT_FALSE(ParseByteList(list256 + "1", bytes));

  EXPECT_FALSE(ParseByteList("5FH 100H", bytes));
  EXPECT_FALSE(ParseByteList("_SM_", bytes));
  EXPECT_FALSE(ParseByteList("LOCAL1", bytes));
  EXPECT_FALSE(ParseByteList("", bytes));
}

}  // namespace

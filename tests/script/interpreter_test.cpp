// The script language on the simulated board: dispatcher messages, locals, the result cell,
// blocks, break conditions, trace lines and the log file.
#include "script/interpreter.h"

#include <gtest/gtest.h>

#include "scriptrig.h"

using namespace scripttest;

namespace {

constexpr const char* kLocalsMessage =
    "Support 16 local variables only, i.e. Local# where # is in hex from 0 to 0F";

TEST(ScriptLanguage, MalformedCommandsFailWithTheirMessage) {
  const TCase cases[] = {
      {"I 2E", "Operand format error."},
      {"I", "Command error!"},
      {"I 2EH;;I 2FH", "Command error!"},
      {"FOO 1", "Unknown command!"},
      {"i2eh", "Command error!"},
      {"O 80H", "parameter error!"},
      {"IID 2EH 2FH", "parameter error!"},
      {"ADD LOCALG 1", kLocalsMessage},
      {"LOCAL1 = 5", kLocalsMessage},
      {"LOCAL10=5", kLocalsMessage},
      {"LOCAL=5", kLocalsMessage},
      // Only commands with operands stand on the right of "=".
      {"LOCAL1=RDTSC", "Command error!"},
      {"LOCAL1=BKIF0 I 2EH", "Unknown command!"},
      {"LOCAL1=LOCALZ", "Command error!"},
      // The prefixes too take commands with operands only.
      {"BKIF0 RESULT", "Command error!"},
      {"BKIF1", "Command error!"},
      {"RESULT 1", "Unknown command!"},
      {"CMDS{I 2EH", "CMDS miss '}'"},
      {"WAIT{1 2 I 2EH", "WAIT miss '}'"},
      {"LOOP{2 I 2EH", "LOOP miss '}'"},
      {"WAIT{", "parameter error!"},
      {"LOOP{}", "parameter error!"},
      {"WAIT{X 2 I 2EH}", "Operand format error."},
      {"LOOP{LOCALG I 2EH}", kLocalsMessage},
      {"DIV 1 0", "Division by zero!"},
      {"MOD 1 0", "Division by zero!"},
  };
  TScriptRig rig;
  for (const TCase& c : cases) {
    rig.Ip = rig.MakeInterpreter(2);  // no message left over from the case before
    EXPECT_FALSE(rig.Run(c.Script)) << c.Script;
    EXPECT_EQ(rig.Text(), c.Text) << c.Script;
  }
}

TEST(ScriptLanguage, KeywordsAndHexDigitsIgnoreCase) {
  TScriptRig rig;
  rig.SuperIo.Index = 0x87;
  ASSERT_TRUE(rig.Run("i 2eh"));
  EXPECT_EQ(rig.Text(), "In Port 0x2E = 0x87");
  EXPECT_EQ(rig.Result(), 0x87);
  ASSERT_TRUE(rig.Run("iid(2Eh, 2fH, 20h)"));
  EXPECT_EQ(rig.Text(), "In Index/Data/Offset 0x2E/0x2F/0x20 = 0x00");
}

TEST(ScriptLanguage, ShowingALocalSetsTheResult) {
  TScriptRig rig;
  ASSERT_TRUE(rig.Run("LOCAL0=2EH; LOCAL0="));
  EXPECT_EQ(rig.Text(), "Local00 = 0x0000002E (46)");
  EXPECT_EQ(rig.Result(), 0x2E);
  EXPECT_EQ(rig.Local(0), 0x2E);

  ASSERT_TRUE(rig.Run("LOCALF=-2; LOCALF="));
  EXPECT_EQ(rig.Text(), "Local0F = 0xFFFFFFFE (-2)");
  EXPECT_EQ(rig.Result(), -2);
}

TEST(ScriptLanguage, AssigningAnOperandLeavesTheResult) {
  TScriptRig rig;
  ASSERT_TRUE(rig.Run("ADD 7 0"));
  const TCase cases[] = {
      {"LOCAL1=5", "Local1 = 0x00000005 (5)"},
      {"LOCAL1= 0AH", "Local1 = 0x0000000A (10)"},
      {"LOCAL2=LOCAL1", "Local2 = 0x0000000A (10)"},
      {"LOCALC=$FFFFFFFF", "LocalC = 0xFFFFFFFF (-1)"},
      // Without "=" the local is assigned to itself and shown.
      {"LOCAL3", "Local3 = 0x00000000 (0)"},
  };
  for (const TCase& c : cases) {
    ASSERT_TRUE(rig.Run(c.Script)) << c.Script;
    EXPECT_EQ(rig.Text(), c.Text) << c.Script;
  }
  EXPECT_EQ(rig.Local(2), 10);
  EXPECT_EQ(rig.Local(0xC), -1);
  EXPECT_EQ(rig.Result(), 7);
}

TEST(ScriptLanguage, ACommandOnTheRightStoresIntoTheLocalAndTheResultOnly) {
  TScriptRig rig;
  ASSERT_TRUE(rig.Run("ADD 40 2"));  // slot 16 now holds 42
  ASSERT_TRUE(rig.Run("LOCAL0=2EH; LOCAL2= ADD LOCAL0 1"));
  EXPECT_EQ(rig.Text(), "Add (0x2E, 0x1) = 0x0000002F");
  EXPECT_EQ(rig.Local(2), 0x2F);
  EXPECT_EQ(rig.Result(), 0x2F);
  EXPECT_EQ(rig.Ip->Slot(TInterpreter::kUnnamedSlot), 42);

  ASSERT_TRUE(rig.Run("RESULT"));
  EXPECT_EQ(rig.Text(), "Last result = 0x0000002A");
  EXPECT_EQ(rig.Result(), 42);
}

TEST(ScriptLanguage, LocalsLiveAsLongAsTheInterpreter) {
  TScriptRig rig;
  ASSERT_TRUE(rig.Run("LOCAL5=1234"));
  ASSERT_TRUE(rig.Run("ADD LOCAL5 1"));
  EXPECT_EQ(rig.Result(), 1235);
  auto fresh = rig.MakeInterpreter(2);
  ASSERT_TRUE(fresh->Execute("ADD LOCAL5 1"));
  EXPECT_EQ(fresh->ResultCell(), 1);
}

TEST(ScriptLanguage, TheCallersCellChangesOnlyWithAValue) {
  TScriptRig rig;
  int32_t cell = 77;
  EXPECT_TRUE(rig.Ip->Evaluate("LOCAL1=5; O 0E0H 1; LOGFILE", cell));
  EXPECT_EQ(cell, 77);
  EXPECT_FALSE(rig.Ip->Evaluate("I 2E", cell));
  EXPECT_EQ(cell, 77);
  EXPECT_TRUE(rig.Ip->Evaluate("I 0E0H", cell));
  EXPECT_EQ(cell, 1);
  // The interpreter's own cell was not involved.
  EXPECT_EQ(rig.Result(), 0);
}

TEST(ScriptLanguage, AFailureStopsTheScriptAndKeepsWhatWasDone) {
  TScriptRig rig;
  EXPECT_FALSE(rig.Run("O 0E0H 5; LOCAL1=9; FOO 1; O 0E1H 6"));
  EXPECT_EQ(rig.Text(), "Unknown command!");
  EXPECT_EQ(rig.Scratch.Bytes[0], 5);
  EXPECT_EQ(rig.Scratch.Bytes[1], 0);
  EXPECT_EQ(rig.Local(1), 9);
}

TEST(ScriptLanguage, EachCommandIsTracedWithItsOutcome) {
  TScriptRig rig;
  rig.SuperIo.Index = 0x87;
  ASSERT_TRUE(rig.Run("i 2eh; LOCAL1=3"));
  EXPECT_EQ(rig.Debug.Lines, (std::vector<std::string>{
                                 "IP: i 2eh; LOCAL1=3",
                                 "IPCommand: I 2EH",
                                 "RW: IoBaseReadByte 0x002E=0x87",
                                 "IPResult: In Port 0x2E = 0x87",
                                 "IPCommand: LOCAL1=3",
                                 "IPResult: Local1 = 0x00000003 (3)",
                             }));
  rig.Debug.Lines.clear();
  EXPECT_FALSE(rig.Run("I 2E"));
  EXPECT_EQ(rig.Debug.Lines, (std::vector<std::string>{"IP: I 2E", "IPCommand: I 2E",
                                                       "IPResult: Operand format error."}));
}

// ---------------------------------------------------------------------------------------------
// Blocks

TEST(ScriptBlocks, WaitStopsWhenTheValueComes) {
  TScriptRig rig;
  rig.SuperIo.ReadyAfter = 5;
  ASSERT_TRUE(rig.Run("WAIT{1 100 IID 2EH 2FH 20H}"));
  EXPECT_EQ(rig.SuperIo.Reg20Reads, 5);
  EXPECT_EQ(rig.Result(), 1);
}

TEST(ScriptBlocks, WaitRunningOutOfPassesIsNoError) {
  TScriptRig rig;
  ASSERT_TRUE(rig.Run("WAIT{1 100 IID 2EH 2FH 20H}; O 0E0H 3"));
  EXPECT_EQ(rig.SuperIo.Reg20Reads, 100);
  EXPECT_EQ(rig.Text(), "Out port 0xE0 = 0x03");
}

TEST(ScriptBlocks, WaitTakesLocalsForValueAndCount) {
  TScriptRig rig;
  rig.SuperIo.ReadyAfter = 3;
  rig.SuperIo.Ready = 0x55;
  ASSERT_TRUE(rig.Run("LOCAL1=55H; LOCAL2=10; WAIT{LOCAL1 LOCAL2 IID 2EH 2FH 20H}"));
  EXPECT_EQ(rig.SuperIo.Reg20Reads, 3);
}

TEST(ScriptBlocks, WaitCountWithNothingBehindFailsWithoutANewMessage) {
  TScriptRig rig;
  ASSERT_TRUE(rig.Run("ADD 1 1"));
  EXPECT_FALSE(rig.Run("WAIT{1 2}"));
  EXPECT_EQ(rig.Text(), "Add (0x1, 0x1) = 0x00000002");
}

TEST(ScriptBlocks, LoopRunsItsCount) {
  TScriptRig rig;
  ASSERT_TRUE(rig.Run("LOOP{3 LOCAL1= ADD LOCAL1 1; O 0E0H LOCAL1}"));
  EXPECT_EQ(rig.Local(1), 3);
  EXPECT_EQ(rig.Scratch.Writes.size(), 3u);
}

TEST(ScriptBlocks, LoopOfZeroOnlyEndsOnABreak) {
  TScriptRig rig;
  ASSERT_TRUE(
      rig.Run("LOOP{0 DELAY 10; LOCAL1= ADD LOCAL1 1; LOCAL2= SUB LOCAL1 1000; BKIF1 CMZ LOCAL2}"));
  EXPECT_EQ(rig.Text(), "Command break");
  EXPECT_EQ(rig.Local(1), 1000);
  ASSERT_EQ(rig.Sleeps.size(), 1000u);
  EXPECT_EQ(rig.Sleeps.front(), 10u);
}

TEST(ScriptBlocks, BreakIfZeroEndsTheListWithSuccess) {
  TScriptRig rig;
  ASSERT_TRUE(rig.Run("BKIF0 I 0E0H; O 0E0H 1"));
  EXPECT_EQ(rig.Text(), "Command break");
  EXPECT_TRUE(rig.Scratch.Writes.empty());

  rig.Scratch.Bytes[0] = 5;
  ASSERT_TRUE(rig.Run("BKIF0 I 0E0H; O 0E0H 1"));
  EXPECT_EQ(rig.Text(), "Out port 0xE0 = 0x01");
  EXPECT_EQ(rig.Scratch.Writes.size(), 1u);
}

TEST(ScriptBlocks, BreakIfNonZeroEndsTheList) {
  TScriptRig rig;
  rig.Scratch.Bytes[0] = 5;
  ASSERT_TRUE(rig.Run("BKIF1 I 0E0H; O 0E0H 1"));
  EXPECT_EQ(rig.Text(), "Command break");
  EXPECT_TRUE(rig.Scratch.Writes.empty());
}

TEST(ScriptBlocks, ABreakOnlyLeavesItsBlock) {
  TScriptRig rig;
  ASSERT_TRUE(rig.Run("CMDS{BKIF0 I 0E0H; O 0E0H 1} O 0E1H 2"));
  EXPECT_EQ(rig.Text(), "Out port 0xE1 = 0x02");
  EXPECT_EQ(rig.Scratch.Bytes[0], 0);
  EXPECT_EQ(rig.Scratch.Bytes[1], 2);

  ASSERT_TRUE(rig.Run("WAIT{5 10 BKIF0 I 0E2H}"));
  EXPECT_EQ(rig.Text(), "Command break");
  ASSERT_TRUE(rig.Run("CMDS{BKIF0 I 0E2H}"));
  EXPECT_EQ(rig.Text(), "Command break");
}

TEST(ScriptBlocks, TextInFrontOfABlockIsAPlainList) {
  TScriptRig rig;
  ASSERT_TRUE(rig.Run("O 0E0H 1; CMDS{O 0E1H 2}; O 0E2H 3; LOOP{2 O 0E3H 4}"));
  EXPECT_EQ(rig.Scratch.Bytes, (std::array<uint8_t, 4>{1, 2, 3, 4}));
  EXPECT_EQ(rig.Scratch.Writes.size(), 5u);
}

TEST(ScriptBlocks, BlocksAreFoundByKindNotByPosition) {
  TScriptRig rig;
  EXPECT_FALSE(rig.Run("I 2EH; WAIT{1 2 I 2FH}; CMDS{I 4EH}"));
  EXPECT_EQ(rig.Text(), "Unknown command!");
  EXPECT_EQ(rig.Debug.Starting("IPCommand: "),
            (std::vector<std::string>{"IPCommand: I 2EH", "IPCommand: WAIT{1 2 I 2FH}"}));
}

TEST(ScriptBlocks, TheFirstBraceClosesABlock) {
  TScriptRig rig;
  // The inner "CMDS{" is just text of the outer body.
  EXPECT_FALSE(rig.Run("CMDS{O 0E0H 1; CMDS{O 0E1H 2}}"));
  EXPECT_EQ(rig.Text(), "Unknown command!");
  EXPECT_EQ(rig.Scratch.Bytes[0], 1);
  EXPECT_EQ(rig.Scratch.Bytes[1], 0);
}

// ---------------------------------------------------------------------------------------------
// Log file

TEST(ScriptLog, RecordsEachRunAfterLogfileOpensIt) {
  TScriptRig rig;
  ASSERT_TRUE(rig.Run("LOGFILE ZEM.LOG"));
  EXPECT_EQ(rig.Text(), "Logfile = ZEM.LOG");
  ASSERT_TRUE(rig.Files.Files.count("ZEM.LOG"));
  EXPECT_TRUE(rig.Files.Files["ZEM.LOG"]->WriteThrough);
  ASSERT_TRUE(rig.Run("ADD 1 2"));
  EXPECT_FALSE(rig.Run("I 2E"));
  ASSERT_TRUE(rig.Run("CPUID 0"));
  EXPECT_EQ(rig.Files.Text("ZEM.LOG"),
            "Logfile = ZEM.LOG\r\n"
            ">ADD 1 2\r\nAdd (0x1, 0x2) = 0x00000003\r\n"
            ">I 2E\r\nOperand format error.\r\n"
            ">CPUID 0\r\nCPUID 0x0\r\n"
            "                 31    24 23    16 15     8 7      0\r\n"
            "EAX = 0x0000000D 00000000-00000000-00000000-00001101\r\n"
            "EBX = 0x756E6547 01110101-01101110-01100101-01000111\r\n"
            "ECX = 0x6C65746E 01101100-01100101-01110100-01101110\r\n"
            "EDX = 0x49656E69 01001001-01100101-01101110-01101001\r\n");
}

// The script is upper-cased as a whole; a file name must still reach a case-sensitive file
// system as written ("/TMP/X.TXT" is another file, in a folder that does not exist).
TEST(ScriptLog, FileNamesKeepTheirCaseOnCaseSensitiveSystems) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows file names are not case-sensitive: the script's upper case stands";
#endif
  TScriptRig rig;
  ASSERT_TRUE(rig.Run("logfile /tmp/Zem-Log.txt"));
  EXPECT_EQ(rig.Text(), "Logfile = /tmp/Zem-Log.txt");
  EXPECT_TRUE(rig.Files.Files.count("/tmp/Zem-Log.txt"));
  ASSERT_TRUE(rig.Run("Add 1 2; dmem 0 10h \"Dump File.txt\""));
  EXPECT_EQ(rig.Text(), "Dump Memory: Address=0x0, Size=0x10, File=Dump File.txt");
  EXPECT_TRUE(rig.Files.Files.count("Dump File.txt"));
  EXPECT_FALSE(rig.Files.Files.count("DUMP FILE.TXT"));
}

TEST(ScriptLog, LogfileAloneClosesIt) {
  TScriptRig rig;
  ASSERT_TRUE(rig.Run("LOGFILE A.LOG"));
  ASSERT_TRUE(rig.Run("LOGFILE"));
  EXPECT_EQ(rig.Text(), "Logfile is canceled.");
  EXPECT_FALSE(rig.Files.Files["A.LOG"]->Open);
  ASSERT_TRUE(rig.Run("LOGFILE"));
  EXPECT_EQ(rig.Text(), "Logfile is not set.");
  EXPECT_EQ(rig.Files.Text("A.LOG"), "Logfile = A.LOG\r\n>LOGFILE\r\n");
}

TEST(ScriptLog, ANewLogfileClosesTheOldOne) {
  TScriptRig rig;
  ASSERT_TRUE(rig.Run("LOGFILE A.LOG; LOGFILE B.LOG"));
  EXPECT_FALSE(rig.Files.Files["A.LOG"]->Open);
  EXPECT_TRUE(rig.Files.Files["B.LOG"]->Open);
  EXPECT_EQ(rig.Files.Text("A.LOG"), "");
  EXPECT_EQ(rig.Files.Text("B.LOG"), "Logfile = B.LOG\r\n");
}

TEST(ScriptLog, DestructionClosesTheLogfile) {
  TScriptRig rig;
  ASSERT_TRUE(rig.Run("LOGFILE A.LOG"));
  ASSERT_TRUE(rig.Files.Files["A.LOG"]->Open);
  rig.Ip.reset();
  EXPECT_FALSE(rig.Files.Files["A.LOG"]->Open);
}

TEST(ScriptLog, AFileThatCannotBeCreatedFailsTheCommand) {
  TScriptRig rig;
  rig.Files.Refused.push_back("NO.LOG");
  EXPECT_FALSE(rig.Run("LOGFILE NO.LOG"));
  EXPECT_EQ(rig.Text(), "Logfile cannot be created: NO.LOG");
  EXPECT_FALSE(rig.Ip->LogFileOpen());
}

// ---------------------------------------------------------------------------------------------
// Leaving the program

TEST(ScriptExit, RwExitAsksTheRunningProgramToQuit) {
  TScriptRig rig;
  ASSERT_TRUE(rig.Run("RWEXIT"));
  EXPECT_EQ(rig.Text(), "RW Exit");
  EXPECT_EQ(rig.Instance.Posted, std::vector<TInstanceRequest>{TInstanceRequest::Exit});
}

TEST(ScriptExit, RwExitSucceedsWithNoProgramToReach) {
  TScriptRig rig;
  rig.Instance.Running = false;
  ASSERT_TRUE(rig.Run("RWEXIT"));
  EXPECT_EQ(rig.Text(), "RW Exit");
  EXPECT_EQ(rig.Instance.Attempts, std::vector<TInstanceRequest>{TInstanceRequest::Exit});
  EXPECT_TRUE(rig.Instance.Posted.empty());
}

}  // namespace

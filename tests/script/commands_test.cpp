// Every command of the script language on the simulated P35 board: its line, its value, the
// locals it fills, its range checks and its extra output.
#include <gtest/gtest.h>

#include "base/textfmt.h"
#include "scriptrig.h"

using namespace scripttest;

namespace {

using TLines = std::vector<std::string>;

constexpr const char* kRuler64 =
    "63    56 55    48 47    40 39    32 31    24 23    16 15     8 7      0";

// A script that produces a value: its line and the value in the result cell.
struct TValueCase {
  const char* Script;
  const char* Text;
  uint32_t Value;
};

void ExpectValues(TScriptRig& rig, std::initializer_list<TValueCase> cases) {
  for (const TValueCase& c : cases) {
    ASSERT_TRUE(rig.Run(c.Script)) << c.Script << ": " << rig.Text();
    EXPECT_EQ(rig.Text(), c.Text) << c.Script;
    EXPECT_EQ(static_cast<uint32_t>(rig.Result()), c.Value) << c.Script;
  }
}

// Commands without a value: the line only, and the result cell left alone.
void ExpectLines(TScriptRig& rig, std::initializer_list<TCase> cases) {
  for (const TCase& c : cases) {
    const int32_t before = rig.Result();
    ASSERT_TRUE(rig.Run(c.Script)) << c.Script << ": " << rig.Text();
    EXPECT_EQ(rig.Text(), c.Text) << c.Script;
    EXPECT_EQ(rig.Result(), before) << c.Script;
  }
}

void ExpectFailures(TScriptRig& rig, std::initializer_list<TCase> cases) {
  for (const TCase& c : cases) {
    EXPECT_FALSE(rig.Run(c.Script)) << c.Script;
    EXPECT_EQ(rig.Text(), c.Text) << c.Script;
  }
}

// ---------------------------------------------------------------------------------------------
// Ports and index/data pairs

TEST(ScriptPorts, ReadsShowTheirWidth) {
  TScriptRig rig;
  rig.Scratch.Bytes = {0x44, 0x33, 0x22, 0x11};
  ExpectValues(rig, {
                        {"I 0E0H", "In Port 0xE0 = 0x44", 0x44},
                        {"I16 0E2H", "In Port 0xE2 = 0x1122", 0x1122},
                        {"I32 0E0H", "In Port 0xE0 = 0x11223344", 0x11223344},
                        {"I 0FFFFH", "In Port 0xFFFF = 0xFF", 0xFF},  // nothing answers there
                    });
}

TEST(ScriptPorts, APortThatReads87) {
  TScriptRig rig;
  ExpectValues(rig, {{"O 2EH 87H; I 2EH", "In Port 0x2E = 0x87", 0x87}});
}

TEST(ScriptPorts, WritesShowTheOperandAndProduceNoValue) {
  TScriptRig rig;
  ExpectLines(rig, {
                       {"O32 0E0H 12345678H", "Out port 0xE0 = 0x12345678"},
                       {"O16 0E2H 0ABCDH", "Out port 0xE2 = 0xABCD"},
                       {"O 0E0H 1FFH", "Out port 0xE0 = 0x1FF"},
                   });
  EXPECT_EQ(rig.Scratch.Bytes, (std::array<uint8_t, 4>{0xFF, 0x56, 0xCD, 0xAB}));
}

TEST(ScriptPorts, IndexDataPairs) {
  TScriptRig rig;
  rig.SuperIo.Regs[0x20] = 0x52;
  rig.SuperIo.Regs[0x21] = 0xB4;
  ExpectValues(rig,
               {
                   {"IID 2EH 2FH 20H", "In Index/Data/Offset 0x2E/0x2F/0x20 = 0x52", 0x52},
                   {"IID16 2EH 2FH 20H", "In Index/Data/Offset 0x2E/0x2F/0x20 = 0xB452", 0xB452},
               });
  ExpectLines(
      rig, {
               {"OID 2EH 2FH 7 0AH", "Out Index/Data/Offset 0x2E/0x2F/0x07 = 0x0A"},
               {"OID16 2EH 2FH 70H 0ABCDH", "Out Index/Data/Offset 0x2E/0x2F/0x70 = 0xABCD"},
               {"OID32 2EH 2FH 60H 12345678H", "Out Index/Data/Offset 0x2E/0x2F/0x60 = 0x12345678"},
           });
  EXPECT_EQ(rig.SuperIo.Regs[0x07], 0x0A);
  EXPECT_EQ(rig.SuperIo.Regs[0x70], 0xCD);
  EXPECT_EQ(rig.SuperIo.Regs[0x71], 0xAB);
  EXPECT_EQ(rig.SuperIo.Regs[0x60], 0x78);
  EXPECT_EQ(rig.SuperIo.Regs[0x63], 0x12);
  ExpectValues(
      rig, {{"IID32 2EH 2FH 60H", "In Index/Data/Offset 0x2E/0x2F/0x60 = 0x12345678", 0x12345678}});
}

TEST(ScriptPorts, RangesAreChecked) {
  TScriptRig rig;
  ExpectFailures(rig, {
                          {"I 10000H", "Operand range is 0 to 0xFFFF!"},
                          {"O32 10000H 1", "Operand range is 0 to 0xFFFF!"},
                          {"IID 10000H 2FH 0", "Operand range is 0 to 0xFFFF!"},
                          {"IID 2EH 10000H 0", "Operand range is 0 to 0xFFFF!"},
                          {"IID16 2EH 2FH 100H", "Operand range is 0 to 0xFF!"},
                          {"OID 2EH 2FH 100H 1", "Operand range is 0 to 0xFF!"},
                      });
  EXPECT_TRUE(rig.Scratch.Writes.empty());
}

// ---------------------------------------------------------------------------------------------
// PCI configuration space

TEST(ScriptPci, Reads) {
  TScriptRig rig;
  ExpectValues(
      rig,
      {
          {"RPCI 0 0 0 0", "Read PCI Bus/Dev/Fun/Offset 0x00/0x00/0x00/0x00 = 0x86", 0x86},
          {"RPCI16 0 0 0 2", "Read PCI Bus/Dev/Fun/Offset 0x00/0x00/0x00/0x02 = 0x29C0", 0x29C0},
          {"RPCI32 0 1FH 0 0", "Read PCI Bus/Dev/Fun/Offset 0x00/0x1F/0x00/0x00 = 0x29188086",
           0x29188086},
          {"RPCIE32 3 0 0 0", "Read PCIE Bus/Dev/Fun/Offset 0x03/0x00/0x00/0x00 = 0x816810EC",
           0x816810EC},
          {"RPCI 0 5 0 0", "Read PCI Bus/Dev/Fun/Offset 0x00/0x05/0x00/0x00 = 0xFF", 0xFF},
          // The packed forms: bus in bits 15-8, device in 7-3, function in 2-0.
          {"ERPCI 00F8H 0", "Read PCI Bus/Dev/Fun/Offset 0x00/0x1F/0x00/0x00 = 0x86", 0x86},
          {"ERPCI16 0300H 0", "Read PCI Bus/Dev/Fun/Offset 0x03/0x00/0x00/0x00 = 0x10EC", 0x10EC},
          {"ERPCIE32 00D2H 8", "Read PCIE Bus/Dev/Fun/Offset 0x00/0x1A/0x02/0x08 = 0x0C030002",
           0x0C030002},
      });
}

TEST(ScriptPci, Writes) {
  TScriptRig rig;
  TSimPciFunction* lpc = rig.Machine->Pci().Function(0, 0x1F, 0);
  ASSERT_NE(lpc, nullptr);
  for (uint16_t offset : {0x44, 0x45, 0x46, 0x47, 0x144, 0x145, 0x146, 0x147})
    lpc->SetWriteMask(offset, 0xFF);

  ExpectLines(
      rig,
      {
          {"WPCI32 0 1FH 0 44H 11223344H",
           "Write PCI Bus/Dev/Fun/Offset 0x00/0x1F/0x00/0x44 = 0x11223344"},
          {"WPCIE 0 1FH 0 45H 0AAH", "Write PCIE Bus/Dev/Fun/Offset 0x00/0x1F/0x00/0x45 = 0xAA"},
          {"EWPCI16 00F8H 46H 0BEEFH", "Write PCI Bus/Dev/Fun/Offset 0x00/0x1F/0x00/0x46 = 0xBEEF"},
          // Offsets past 0xFF only the memory-mapped route reaches.
          {"EWPCIE32 00F8H 144H 0CAFEF00DH",
           "Write PCIE Bus/Dev/Fun/Offset 0x00/0x1F/0x00/0x144 = 0xCAFEF00D"},
      });
  EXPECT_EQ(lpc->Dword(0x44), 0xBEEFAA44u);
  EXPECT_EQ(lpc->Dword(0x144), 0xCAFEF00Du);
  ExpectValues(rig,
               {{"ERPCIE32 00F8H 144H",
                 "Read PCIE Bus/Dev/Fun/Offset 0x00/0x1F/0x00/0x144 = 0xCAFEF00D", 0xCAFEF00D}});
}

TEST(ScriptPci, RangesAreCheckedBusFirst) {
  TScriptRig rig;
  ExpectFailures(rig, {
                          {"RPCI 0 20H 0 0", "Operand range is 0 to 0x1F!"},
                          {"RPCI 100H 20H 8 100H", "Operand range is 0 to 0xFF!"},
                          {"RPCI 0 1FH 8 100H", "Operand range is 0 to 0x7!"},
                          {"RPCIE16 0 0 0 100H", "Operand range is 0 to 0xFF!"},
                          {"WPCI 0 0 8 0 1", "Operand range is 0 to 0x7!"},
                          {"WPCIE32 0 0 0 100H 1", "Operand range is 0 to 0xFF!"},
                          {"WPCI16 0 20H 0 0 1", "Operand range is 0 to 0x1F!"},
                          {"FPCI 8086H 100H", "Operand range is 0 to 0xFF!"},
                          {"RPCI 0 0 0", "parameter error!"},
                          {"EWPCI 00F8H 44H", "parameter error!"},
                      });
}

TEST(ScriptPci, Searches) {
  TScriptRig rig;
  ExpectValues(rig,
               {
                   // Vendor 0x8086 whatever the device: 00:00.0 first, then 00:01.0.
                   {"FPCI FFFF8086H 1", "Find PCI Device: 0xFFFF8086 Index 0x1 = 0x0008", 8},
                   {"FPCI 816810ECH", "Find PCI Device: 0x816810EC Index 0x0 = 0x0300", 0x300},
                   {"FPCI 12345678H", "Find PCI Device: 0x12345678 Index 0x0 = 0xFFFF", 0xFFFF},
                   {"FPCICLASS 0C0300H 2", "Find PCI Class: 0xC0300 Index 0x2 = 0x00D2", 0xD2},
                   // Any programming interface: the EHCI at 00:1a.7 is the fourth.
                   {"FPCICLASS 0C03FFH 3", "Find PCI Class: 0xC03FF Index 0x3 = 0x00D7", 0xD7},
               });
}

// ---------------------------------------------------------------------------------------------
// Physical memory

TEST(ScriptMemory, ReadsAndWrites) {
  TScriptRig rig;
  ExpectLines(rig, {{"W32 1000H 12345678H", "Write Memory Address 0x1000 = 0x12345678"}});
  ExpectValues(rig, {
                        {"R32 1000H", "Read Memory Address 0x1000 = 0x12345678", 0x12345678},
                        {"R 1000H", "Read Memory Address 0x1000 = 0x78", 0x78},
                        {"R16 1002H", "Read Memory Address 0x1002 = 0x1234", 0x1234},
                    });
  ExpectLines(rig, {
                       {"W16 1000H 0ABCDH", "Write Memory Address 0x1000 = 0xABCD"},
                       {"W 1003H 1FFH", "Write Memory Address 0x1003 = 0x1FF"},
                   });
  EXPECT_EQ(rig.Machine->Memory().ReadDword(0x1000), 0xFF34ABCDu);
}

class ScriptDump : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string bytes = "KorZem\x01";
    rig.Machine->Memory().Write(0x2000, reinterpret_cast<const uint8_t*>(bytes.data()),
                                bytes.size());
  }
  // The column header of a dump whose offsets take digits hex digits.
  static std::string Header(size_t digits) {
    return std::string(digits, ' ') +
           " 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F\t0123456789ABCDEF";
  }
  TScriptRig rig;
};

TEST_F(ScriptDump, SixteenBytesALine) {
  ExpectLines(rig, {{"DMEM 2000H 20H", "Dump Memory: Address=0x2000, Size=0x20"}});
  EXPECT_EQ(
      rig.Ip->OutputLines(),
      (TLines{Header(2),
              "00 4B 6F 72 5A 65 6D 01 00 00 00 00 00 00 00 00 00\tKorZem" + std::string(10, '.'),
              "10 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\t................"}));
}

TEST_F(ScriptDump, APartLineIsPaddedWithBlanks) {
  ExpectLines(rig, {{"DMEM 2000H 12H", "Dump Memory: Address=0x2000, Size=0x12"}});
  ASSERT_EQ(rig.Ip->OutputLines().size(), 3u);
  EXPECT_EQ(rig.Ip->OutputLines()[2],
            "10 00 00" + std::string(14 * 3, ' ') + "\t.." + std::string(14, ' '));

  ExpectLines(rig, {{"DMEM 2000H 1", "Dump Memory: Address=0x2000, Size=0x1"}});
  EXPECT_EQ(rig.Ip->OutputLines(),
            (TLines{Header(1), "0 4B" + std::string(15 * 3, ' ') + "\tK" + std::string(15, ' ')}));
}

TEST_F(ScriptDump, DefaultsTo256Bytes) {
  ExpectLines(rig, {{"DMEM 2000H", "Dump Memory: Address=0x2000, Size=0x100"}});
  ASSERT_EQ(rig.Ip->OutputLines().size(), 17u);
  EXPECT_EQ(rig.Ip->OutputLines()[0], Header(2));
  EXPECT_EQ(rig.Ip->OutputLines()[16].substr(0, 3), "F0 ");
}

TEST_F(ScriptDump, AFileGetsAllOutputOfTheRun) {
  ASSERT_TRUE(rig.Run("CPUID 0; DMEM 2000H 10H DUMP.TXT"));
  EXPECT_EQ(rig.Text(), "Dump Memory: Address=0x2000, Size=0x10, File=DUMP.TXT");
  const TLines& lines = rig.Ip->OutputLines();
  ASSERT_EQ(lines.size(), 7u);  // the CPUID ruler and registers, then the dump
  std::string expected;
  for (const std::string& line : lines) expected += line + "\r\n";
  EXPECT_EQ(rig.Files.Text("DUMP.TXT"), expected);
  EXPECT_FALSE(rig.Files.Files["DUMP.TXT"]->WriteThrough);
  EXPECT_FALSE(rig.Files.Files["DUMP.TXT"]->Open);
}

// A dump whose text cannot be had (the heap is full) fails the command with its own message
// instead of ending the program with std::bad_alloc.
TEST_F(ScriptDump, MemoryThatRunsOutFailsTheCommand) {
  rig.Files.OutOfMemory = true;
  ExpectFailures(rig, {{"DMEM 2000H 10H DUMP.TXT",
                        "Dump Memory: Address=0x2000, Size=0x10 - Allocate buffer error"}});
  EXPECT_TRUE(rig.Ip->OutputLines().empty());
  rig.Files.OutOfMemory = false;
  ExpectLines(rig, {{"DMEM 2000H 10H", "Dump Memory: Address=0x2000, Size=0x10"}});
}

TEST_F(ScriptDump, AFileThatCannotBeCreatedIsLeftOut) {
  rig.Files.Refused.push_back("DUMP.TXT");
  ExpectLines(rig, {{"DMEM 2000H 10H DUMP.TXT", "Dump Memory: Address=0x2000, Size=0x10"}});
  EXPECT_EQ(rig.Ip->OutputLines().size(), 2u);
}

class ScriptFindMemory : public ::testing::Test {
 protected:
  void SetUp() override {
    Put(0x30000, "_");
    Put(0x30010, "_SM_");
    Put(0x30080, "5FH");
    Put(0x30100, "_SM_");
  }
  void Put(uint32_t address, const std::string& bytes) {
    rig.Machine->Memory().Write(address, reinterpret_cast<const uint8_t*>(bytes.data()),
                                bytes.size());
  }
  TScriptRig rig;
};

TEST_F(ScriptFindMemory, QuotedByteListsAreOnePattern) {
  ExpectValues(rig, {
                        // Without quotes only the first byte is the pattern.
                        {"FMEM 30000H 1000H 16 0 5FH 53H 4DH 5FH",
                         "Find Memory: 0x30000, 0x1000, 0x10, 0x0 - 0x30000", 0x30000},
                        {"FMEM 30000H 1000H 16 0 \"5FH 53H 4DH 5FH\"",
                         "Find Memory: 0x30000, 0x1000, 0x10, 0x0 - 0x30010", 0x30010},
                        {"FMEM 30000H 1000H 16 1 \"5FH 53H 4DH 5FH\"",
                         "Find Memory: 0x30000, 0x1000, 0x10, 0x1 - 0x30100", 0x30100},
                    });
}

TEST_F(ScriptFindMemory, TextPatterns) {
  ExpectValues(rig, {
                        // "/S" makes even a byte list text.
                        {"FMEM 30000H 1000H 1 0 5FH /S",
                         "Find Memory: 0x30000, 0x1000, 0x1, 0x0 - 0x30080", 0x30080},
                        // Not a byte list: text, upper-cased with the rest of the script.
                        {"fmem 30000h 1000h 16 0 \"_sm_\"",
                         "Find Memory: 0x30000, 0x1000, 0x10, 0x0 - 0x30010", 0x30010},
                    });
}

TEST_F(ScriptFindMemory, AMatchIsDumped) {
  ASSERT_TRUE(rig.Run("FMEM 30000H 1000H 16 0 \"5FH 53H 4DH 5FH\""));
  const TLines& lines = rig.Ip->OutputLines();
  ASSERT_EQ(lines.size(), 17u);
  EXPECT_EQ(lines[1],
            "00 5F 53 4D 5F 00 00 00 00 00 00 00 00 00 00 00 00\t_SM_" + std::string(12, '.'));
  EXPECT_EQ(lines[16].substr(0, 6), "F0 5F ");  // the second anchor, 0xF0 bytes further on
}

TEST_F(ScriptFindMemory, NoMatch) {
  ExpectValues(rig, {{"FMEM 30000H 1000H 16 2 \"5FH 53H 4DH 5FH\"",
                      "Find Memory: 0x30000, 0x1000, 0x10, 0x2 - not found", 0xFFFFFFFF}});
  EXPECT_TRUE(rig.Ip->OutputLines().empty());
  ExpectFailures(rig, {{"FMEM 30000H 1000H 16 0", "parameter error!"}});
}

// ---------------------------------------------------------------------------------------------
// Arithmetic

TEST(ScriptArithmetic, ValuesAndLines) {
  TScriptRig rig;
  ExpectValues(rig,
               {
                   {"ADD 1 2", "Add (0x1, 0x2) = 0x00000003", 3},
                   {"ADD -1 2", "Add (0xFFFFFFFF, 0x2) = 0x00000001", 1},
                   {"SUB 1 2", "Sub (0x1, 0x2) = 0xFFFFFFFF", 0xFFFFFFFF},
                   {"MUL 10000H 10001H", "Mul (0x10000, 0x10001) = 0x00010000", 0x10000},
                   {"DIV -1 2", "Div (0xFFFFFFFF, 0x2) = 0x7FFFFFFF", 0x7FFFFFFF},
                   {"MOD 17 5", "Mod (0x11, 0x5) = 0x00000002", 2},
                   {"AND 0F0H 3CH", "And (0xF0, 0x3C) = 0x00000030", 0x30},
                   {"OR 0F0H 0FH", "Or (0x000000F0, 0x0000000F) = 0x000000FF", 0xFF},
                   {"XOR 0FFH 0F0H", "Xor (0x000000FF, 0x000000F0) = 0x0000000F", 0x0F},
                   {"SHR 80000000H 33", "Shr (0x80000000, 0x00000021) = 0x40000000", 0x40000000},
                   {"SHL 1 33", "Shl (0x00000001, 0x00000021) = 0x00000002", 2},
                   {"NOT 0", "Not (0x00000000) = 0xFFFFFFFF", 0xFFFFFFFF},
                   {"CMZ 0", "Complement Zero (0x0) = 0xFFFFFFFF", 0xFFFFFFFF},
                   {"CMZ 5", "Complement Zero (0x5) = 0x0", 0},
                   // Every operand form.
                   {"ADD $10 10H", "Add (0x10, 0x10) = 0x00000020", 0x20},
                   {"ADD 0x10 10", "Add (0x10, 0xA) = 0x0000001A", 0x1A},
                   // Surplus operands are ignored.
                   {"ADD 1 2 3", "Add (0x1, 0x2) = 0x00000003", 3},
               });
  ExpectFailures(rig, {
                          {"ADD 1", "parameter error!"},
                          {"ADD 1 2E", "Operand format error."},
                          {"NOT", "Command error!"},
                      });
}

// ---------------------------------------------------------------------------------------------
// Processor

TEST(ScriptProcessor, ReadMsrFillsTheRegisterLocals) {
  TScriptRig rig;
  ExpectLines(rig,
              {{"RDMSR 198H",
                "Read MSR 0x198 : High 32bit(EDX) = 0x06000A22, Low 32bit(EAX) = 0x06000A22"}});
  EXPECT_EQ(rig.Ip->OutputLines(),
            (TLines{kRuler64,
                    "00000110-00000000-00001010-00100010-00000110-00000000-00001010-00100010"}));
  EXPECT_EQ(rig.Local(0xA), 0x06000A22);
  EXPECT_EQ(rig.Local(0xC), 0x198);
  EXPECT_EQ(rig.Local(0xD), 0x06000A22);
  EXPECT_EQ(rig.Ip->RegSet().ECX, 0x198u);
  ExpectFailures(rig, {{"RDMSR 12345H", "Command fail!"}});
}

TEST(ScriptProcessor, WriteMsr) {
  TScriptRig rig;
  ExpectLines(rig,
              {{"WRMSR 199H 0 0A23H",
                "Write MSR 0x199 : High 32bit(EDX) = 0x00000000, Low 32bit(EAX) = 0x00000A23"}});
  EXPECT_EQ(rig.Ip->OutputLines(),
            (TLines{kRuler64,
                    "00000000-00000000-00000000-00000000-00000000-00000000-00001010-00100011"}));
  uint64_t value = 0;
  ASSERT_TRUE(rig.Machine->Cpu(0).ReadMsr(0x199, &value));
  EXPECT_EQ(value, 0xA23u);
  // The platform id is read-only: the write faults.
  ExpectFailures(rig, {{"WRMSR 17H 0 0", "Command fail!"}});
}

TEST(ScriptProcessor, CpuSwitchesTheCoreLaterAccessesReach) {
  TScriptRig rig;
  ASSERT_TRUE(rig.Run("CPU 2; RDMSR 1BH"));
  EXPECT_EQ(rig.Local(0xA), static_cast<int32_t>(0xFEE00800));  // an application processor
  ASSERT_TRUE(rig.Run("CPU 1"));
  EXPECT_EQ(rig.Text(), "Current CPU = CPU1");
  ASSERT_TRUE(rig.Run("RDMSR 1BH"));
  EXPECT_EQ(rig.Local(0xA), static_cast<int32_t>(0xFEE00900));  // the bootstrap processor
  EXPECT_EQ(rig.System.AffinityLog, (std::vector<uint32_t>{2, 1}));
}

// The processor must exist: "Current CPU = CPU9" on a two-processor machine left the MSR reads
// that followed on the previous processor.
TEST(ScriptProcessor, CpuRefusesAProcessorTheSystemDoesNotHave) {
  TScriptRig rig;
  ASSERT_TRUE(rig.Run("CPU 2"));
  ExpectFailures(rig, {{"CPU 9", "Error to switch CPU!"}, {"CPU 0", "Error to switch CPU!"}});
  EXPECT_EQ(rig.System.AffinityLog, (std::vector<uint32_t>{2}));
  EXPECT_EQ(rig.Machine->SelectedCpu(), 1u);  // still the second processor
}

TEST(ScriptProcessor, CpuOnOneProcessorTriesNothing) {
  TScriptRig rig(1);
  ExpectFailures(rig, {{"CPU 2", "Error: single CPU system!"}});
  EXPECT_TRUE(rig.System.AffinityLog.empty());
}

TEST(ScriptProcessor, CpuReportsASwitchTheServiceRefuses) {
  TScriptRig rig(1, 2);  // the service believes in one processor, the interpreter in two
  ExpectFailures(rig, {{"CPU 2", "Error to switch CPU!"}});
}

TEST(ScriptProcessor, ControlRegisters) {
  TScriptRig rig;
  // The driver reads control registers as 32 bits and sign-extends them: CR0 has PG (bit 31) set.
  ExpectLines(rig, {{"RDCR 0", "Read CR0 : High 32bit = 0xFFFFFFFF, Low 32bit = 0x8001003B"}});
  EXPECT_EQ(rig.Ip->OutputLines()[0], kRuler64);
  EXPECT_EQ(rig.Local(0xA), static_cast<int32_t>(0x8001003B));
  EXPECT_EQ(rig.Local(0xB), -1);
  EXPECT_EQ(rig.Ip->Wide(), 0xFFFFFFFF8001003Bu);
  ExpectLines(rig,
              {{"WRCR 4 0 6F8H", "Write CR4 : High 32bit = 0x00000000, Low 32bit = 0x000006F8"},
               {"RDCR 4", "Read CR4 : High 32bit = 0x00000000, Low 32bit = 0x000006F8"}});
  ExpectFailures(rig, {{"RDCR 1", "Command fail!"}, {"WRCR 1 0 0", "Command fail!"}});
}

TEST(ScriptProcessor, PerformanceCounters) {
  TScriptRig rig;
  ASSERT_TRUE(rig.Run("WRMSR 0C1H 0 1234H"));  // IA32_PMC0
  ExpectLines(rig, {{"RDPMC 0", "Read PMC 0 : High 32bit = 0x00000000, Low 32bit = 0x00001234"}});
  EXPECT_EQ(rig.Local(0xA), 0x1234);
  EXPECT_EQ(rig.Ip->OutputLines().size(), 2u);
  // A counter the processor does not have reads 0; the command has no failure of its own.
  ExpectLines(rig, {{"RDPMC 9", "Read PMC 9 : High 32bit = 0x00000000, Low 32bit = 0x00000000"}});
}

TEST(ScriptProcessor, CpuIdFillsTheRegisterLocals) {
  TScriptRig rig;
  ExpectLines(rig, {{"CPUID 1", "CPUID 0x1"}});
  EXPECT_EQ(rig.Local(0xA), 0x10677);
  ASSERT_EQ(rig.Ip->OutputLines().size(), 5u);
  EXPECT_EQ(rig.Ip->OutputLines()[0], "                 31    24 23    16 15     8 7      0");
  EXPECT_EQ(rig.Ip->OutputLines()[1], "EAX = 0x00010677 00000000-00000001-00000110-01110111");
  EXPECT_EQ(rig.Ip->OutputLines()[4].substr(0, 6), "EDX = ");
  EXPECT_EQ(rig.Local(0xD), static_cast<int32_t>(0xBFEBFBFF));
}

TEST(ScriptProcessor, TimeStampCounterGoesToLocalsAAndB) {
  TScriptRig rig;
  rig.Machine->Clock().Advance(5'000'000);  // five seconds: past 32 bits at 2.67 GHz
  const uint64_t tsc = rig.Machine->Cpu(0).ReadTsc();
  ASSERT_GT(tsc >> 32, 0u);
  ASSERT_TRUE(rig.Run("RDTSC"));
  EXPECT_EQ(rig.Text(), "Read TSC = " + HexQword(tsc));
  EXPECT_EQ(rig.Result(), 0);  // no value
  EXPECT_EQ(rig.Ip->Wide(), tsc);
  EXPECT_EQ(rig.Local(0xB), static_cast<int32_t>(tsc >> 32));
  ASSERT_TRUE(rig.Run("RDTSC; LOCALA="));
  EXPECT_EQ(rig.Text(), "Local0A = " + HexDword(static_cast<uint32_t>(tsc)) + " (" +
                            std::to_string(static_cast<int32_t>(tsc)) + ")");
  EXPECT_EQ(rig.Result(), static_cast<int32_t>(tsc));
}

// ---------------------------------------------------------------------------------------------
// Other

TEST(ScriptOther, DelaySleeps) {
  TScriptRig rig;
  ExpectLines(rig, {{"DELAY 25", "Delay 25 ms"}});
  EXPECT_EQ(rig.Sleeps, std::vector<uint32_t>{25});
}

}  // namespace

#include "sim/simboard.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

namespace {

const std::string BoardsDir = std::string(KORZEM_SOURCE_DIR) + "/data/boards";

uint32_t Cf8(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset) {
  return 0x80000000u | uint32_t{bus} << 16 | uint32_t{device} << 11 | uint32_t{function} << 8 |
         (offset & 0xFC);
}

TEST(SimBoard, P35BoardIsAnIch9DesktopWithACore2) {
  std::string error;
  auto machine = CreateSimMachine("p35-core2", BoardsDir, &error);
  ASSERT_NE(machine, nullptr) << error;
  EXPECT_EQ(machine->BoardName(), "p35-core2");
  EXPECT_EQ(machine->CpuCount(), 2u);

  CpuRegisters regs{1, 0, 0, 0};
  machine->ExecuteCpuId(regs);
  EXPECT_EQ(regs.EAX, 0x10677u);
  regs = {0, 0, 0, 0};
  machine->ExecuteCpuId(regs);
  EXPECT_EQ(regs.EBX, 0x756E6547u);  // "Genu"

  EXPECT_EQ(machine->PciConfigRead(Cf8(0, 0, 0, 0), 0, 4), 0x29C08086u);
  EXPECT_EQ(machine->PciConfigRead(Cf8(0, 0, 0, 8), 0, 4) >> 8, 0x060000u);
  EXPECT_EQ(machine->PciConfigRead(Cf8(0, 0x1F, 0, 0), 0, 4), 0x29188086u);
  EXPECT_EQ(machine->PciConfigRead(Cf8(0, 0x1F, 0, 8), 0, 4) >> 8, 0x060100u);
  EXPECT_EQ(machine->PciConfigRead(Cf8(0, 0x1F, 0, 0x0C), 2, 1), 0x80u);
  EXPECT_EQ(machine->PciConfigRead(Cf8(0, 0x1F, 3, 0), 0, 4), 0x29308086u);
  EXPECT_EQ(machine->PciConfigRead(Cf8(1, 0, 0, 8), 0, 4) >> 8, 0x030000u);
  EXPECT_EQ(machine->PciConfigRead(Cf8(0, 1, 0, 0x18), 1, 1), 1u);  // secondary bus
  EXPECT_EQ(machine->PciConfigRead(Cf8(0, 2, 0, 0), 0, 4), 0xFFFFFFFFu);
  // Registers later device models build on.
  EXPECT_EQ(machine->PciConfigRead(Cf8(0, 0x1F, 0, 0x40), 0, 4), 0x00000401u);
  EXPECT_EQ(machine->PciConfigRead(Cf8(0, 0x1F, 0, 0x48), 0, 4), 0x00000481u);
  EXPECT_EQ(machine->PciConfigRead(Cf8(0, 0, 0, 0x60), 0, 4), 0xE0000001u);

  // ECAM at 0xE0000000, PM timer at 0x408 (24 bits), Core 2 MSRs.
  EXPECT_EQ(machine->Memory().ReadDword(0xE00F8000), 0x29188086u);
  EXPECT_EQ(machine->PmTimer().Port(), 0x408);
  EXPECT_EQ(machine->PmTimer().Bits(), 24);
  uint64_t value = 0;
  ASSERT_TRUE(machine->ReadMsr(0x198, &value));
  EXPECT_EQ((value >> 40) & 0x7F, 10u);  // maximum ratio
  ASSERT_TRUE(machine->ReadMsr(0x1B, &value));
  EXPECT_EQ(value & 0x100, 0x100u);  // core 0 is the bootstrap processor
  ASSERT_TRUE(machine->ReadMsr(0xE8, &value));
  const uint64_t tsc = machine->ReadTsc();
  machine->Clock().Advance(1000);
  EXPECT_EQ(machine->ReadTsc() - tsc, 2666670u);
}

TEST(SimBoard, NameAndPathFindTheSameBoard) {
  std::string error;
  auto byPath = CreateSimMachine(BoardsDir + "/p35-core2.ini", "/nonexistent", &error);
  ASSERT_NE(byPath, nullptr) << error;
  EXPECT_EQ(byPath->Pci().FunctionCount(),
            CreateSimMachine("p35-core2", BoardsDir, &error)->Pci().FunctionCount());
  EXPECT_EQ(CreateSimMachine("no-such-board", BoardsDir, &error), nullptr);
  EXPECT_EQ(error, "board file not found: " + BoardsDir + "/no-such-board.ini");
}

TEST(SimBoard, ListingIncludesTheShippedBoards) {
  const std::vector<TBoardFileInfo> boards = ListBoardFiles(BoardsDir);
  const auto p35 = std::find_if(boards.begin(), boards.end(),
                                [](const TBoardFileInfo& b) { return b.Name == "p35-core2"; });
  ASSERT_NE(p35, boards.end());
  EXPECT_NE(p35->Description.find("P35"), std::string::npos);
  EXPECT_EQ(p35->Path, BoardsDir + "/p35-core2.ini");
  EXPECT_TRUE(ListBoardFiles(BoardsDir + "/missing").empty());
}

class SimBoardFileTest : public ::testing::Test {
 protected:
  SimBoardFileTest() {
    Dir = std::filesystem::temp_directory_path() /
          ("korzem-boards-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(Dir);
  }
  ~SimBoardFileTest() override { std::filesystem::remove_all(Dir); }

  std::string Write(const std::string& name, const std::string& text) {
    const std::string path = (Dir / name).string();
    std::ofstream(path) << text;
    return path;
  }

  static constexpr const char* Minimal =
      "[Board]\nName=tiny\nDescription=Smallest board\n"
      "[Processor]\nVendor=AuthenticAMD\nSignature=0x100F42\nFrequencyMHz=3000\n";

  std::filesystem::path Dir;
};

TEST_F(SimBoardFileTest, ListingIsSortedByNameAndSkipsOtherFiles) {
  Write("b.ini", "[Board]\nName=zeta\n");
  Write("a.ini", "[Board]\nName=alpha\nDescription=First\n");
  Write("unnamed.ini", "[Board]\n");
  Write("notes.txt", "[Board]\nName=aaa\n");
  const std::vector<TBoardFileInfo> boards = ListBoardFiles(Dir.string());
  ASSERT_EQ(boards.size(), 3u);
  EXPECT_EQ(boards[0].Name, "alpha");
  EXPECT_EQ(boards[0].Description, "First");
  EXPECT_EQ(boards[1].Name, "unnamed");  // the file name stands in for a missing Name
  EXPECT_EQ(boards[2].Name, "zeta");
}

TEST_F(SimBoardFileTest, MinimalBoardUsesDefaults) {
  std::string error;
  auto machine = CreateSimMachine(Write("tiny.ini", Minimal), "", &error);
  ASSERT_NE(machine, nullptr) << error;
  EXPECT_EQ(machine->BoardName(), "tiny");
  EXPECT_EQ(machine->CpuCount(), 1u);
  uint64_t count = 0;
  EXPECT_TRUE(machine->WriteMsr(0xC0010000, 0x430076));  // AMD counters exist
  machine->Clock().Advance(1);
  ASSERT_TRUE(machine->ReadPmc(0, &count));
  EXPECT_EQ(count, 3000u);
}

TEST_F(SimBoardFileTest, BrokenFilesNameFileSectionAndKey) {
  const std::string minimal = Minimal;
  struct TCase {
    const char* Name;
    std::string Text;
    const char* Message;
  };
  const TCase cases[] = {
      {"empty", "", "no [Board] section"},
      {"no processor", "[Board]\nName=x\n", "no [Processor] section"},
      {"vendor", "[Board]\n[Processor]\nVendor=Intel\nSignature=1\nFrequencyMHz=1\n",
       "[Processor] Vendor: must be the 12-character"},
      {"signature", "[Board]\n[Processor]\nVendor=GenuineIntel\nSignature=abc\nFrequencyMHz=1\n",
       "[Processor] Signature: 'abc' is not a number"},
      {"frequency", "[Board]\n[Processor]\nVendor=GenuineIntel\nSignature=1\n",
       "[Processor] FrequencyMHz: missing"},
      {"timer width",
       "[Board]\nPmTimerBits=16\n[Processor]\nVendor=GenuineIntel\nSignature=1\nFrequencyMHz=1\n",
       "[Board] PmTimerBits: must be 24 or 32"},
      {"unknown section", minimal + "[Sound Blaster]\nPort=0x220\n",
       "[Sound Blaster]: unknown section"},
      {"unknown key", minimal + "[PCI 00:00.0]\nVendor=1\nDevice=2\nClass=3\nColour=red\n",
       "[PCI 00:00.0] Colour: unknown key"},
      {"pci address", minimal + "[PCI 0:31.0]\nVendor=1\nDevice=2\nClass=3\n",
       "[PCI 0:31.0]: expected [PCI bb:dd.f]"},
      {"pci device", minimal + "[PCI 00:00.0]\nVendor=0x8086\nClass=3\n",
       "[PCI 00:00.0] Device: missing"},
      {"pci range", minimal + "[PCI 00:00.0]\nVendor=0x18086\nDevice=2\nClass=3\n",
       "[PCI 00:00.0] Vendor: '0x18086' is out of range"},
      {"config bytes", minimal + "[PCI 00:00.0]\nVendor=1\nDevice=2\nClass=3\nConfig.0x40=1G\n",
       "[PCI 00:00.0] Config.0x40: expected hex bytes"},
      {"config end", minimal + "[PCI 00:00.0]\nVendor=1\nDevice=2\nClass=3\nConfig.0xFFF=01 02\n",
       "runs past the 4 KiB configuration space"},
      {"cpuid", minimal + "[CPUID]\n0x6=1,2,3\n", "[CPUID] 0x6: expected EAX,EBX,ECX,EDX"},
      {"msr", minimal + "[MSR]\n0x198=fast\n", "[MSR] 0x198: expected VALUE"},
      {"msr core", minimal + "[MSR Cpu1]\n0x198=1\n", "[MSR Cpu1]: expected [MSR CoreN]"},
  };
  for (const TCase& c : cases) {
    std::string error;
    const std::string path = Write("broken.ini", c.Text);
    EXPECT_EQ(CreateSimMachine(path, "", &error), nullptr) << c.Name;
    EXPECT_NE(error.find(c.Message), std::string::npos) << c.Name << ": " << error;
    EXPECT_EQ(error.rfind(path, 0), 0u) << c.Name << ": " << error;
  }
}

TEST_F(SimBoardFileTest, PciSectionsSetHeaderFieldsBytesAndMasks) {
  std::string error;
  auto machine = CreateSimMachine(
      Write("pci.ini", std::string(Minimal) +
                           "[PCI 00:18.3]\nVendor=0x1022\nDevice=0x1203\nClass=0x060000\n"
                           "SubsystemVendor=0x1043\nConfig.0xA0=05 00 00 80\nMask.0xA0=7F 00\n"
                           "[PCI 00:01.0]\nVendor=0x1022\nDevice=0x9603\nClass=0x060400\n"
                           "HeaderType=1\nSecondaryBus=1\nSubordinateBus=1\n"),
      "", &error);
  ASSERT_NE(machine, nullptr) << error;
  TSimPciBus& pci = machine->Pci();
  EXPECT_EQ(pci.ConfigRead(0, 0x18, 3, 0x2C, 2), 0x1043u);
  EXPECT_EQ(pci.ConfigRead(0, 0x18, 3, 0xA0, 4), 0x80000005u);
  pci.ConfigWrite(0, 0x18, 3, 0xA0, 2, 0xFFFF);
  EXPECT_EQ(pci.ConfigRead(0, 0x18, 3, 0xA0, 4), 0x8000007Fu);
  EXPECT_EQ(pci.ConfigRead(0, 1, 0, 0x0E, 1), 0x01u);
  EXPECT_EQ(pci.ConfigRead(0, 1, 0, 0x18, 4), 0x00010100u);
}

}  // namespace

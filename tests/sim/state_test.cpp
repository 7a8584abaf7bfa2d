#include "sim/simstate.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "sim/simmachine.h"

namespace {

class SimStateTest : public ::testing::Test {
 protected:
  SimStateTest() {
    Dir = std::filesystem::temp_directory_path() /
          ("korzem-simstate-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(Dir);
  }
  ~SimStateTest() override { std::filesystem::remove_all(Dir); }

  static TSimMachineConfig Config() {
    TSimMachineConfig config;
    config.BoardName = "test-board";
    config.Processor.Cores = 2;
    config.Processor.CpuIdLeaves[6] = {1, 0, 1, 0};
    config.Processor.Msrs = {{0x199, 0x0A22, 0xFFFF}};
    return config;
  }

  static std::unique_ptr<TSimMachine> NewMachine() {
    auto machine = std::make_unique<TSimMachine>(Config());
    machine->Pci().AddFunction(
        0, 0x1F, 0, std::make_unique<TSimPciFunction>(0x8086, 0x2918, 0x060100, 0x02, 0));
    return machine;
  }

  // Everything a program could observe that this test changes.
  struct TReadings {
    uint64_t Tsc0, Tsc1, Aperf1, Msr199, Cr3;
    uint32_t PmTimer, Pci48, Cf8, Mem, Bios;
    uint8_t Cmos40;
    bool operator==(const TReadings&) const = default;
  };
  static TReadings Read(TSimMachine& machine) {
    TReadings r{};
    machine.SelectCpu(0);
    r.Tsc0 = machine.ReadTsc();
    machine.SelectCpu(1);
    r.Tsc1 = machine.ReadTsc();
    machine.ReadMsr(0xE8, &r.Aperf1);
    machine.ReadMsr(0x199, &r.Msr199);
    machine.ReadCr(3, &r.Cr3);
    r.PmTimer = machine.PortIn(0x408, 4);
    r.Cf8 = machine.PortIn(0xCF8, 4);
    r.Pci48 = machine.Pci().ConfigRead(0, 0x1F, 0, 0x48, 4);
    r.Mem = machine.Memory().ReadDword(0x1FF00000);
    r.Bios = machine.Memory().ReadDword(0xF0000);
    r.Cmos40 = machine.Cmos().Byte(0x40);
    return r;
  }

  static void Modify(TSimMachine& machine) {
    machine.Clock().Advance(123456);
    machine.SelectCpu(1);
    machine.WriteMsr(0x199, 0x0613);
    machine.WriteMsr(0x10, 0x1000);
    machine.Cpu(1).SetCoreFrequencyHz(1600000000);
    machine.WriteCr(3, 0x00AB0000);
    machine.Clock().Advance(1000);
    machine.PortOut(0xCF8, 4, 0x8000F848);
    machine.PortOut(0xCFC, 4, 0x00000481);
    machine.Memory().WriteDword(0x1FF00000, 0xCAFEF00D);
    machine.Memory().WriteDword(0xF0000, 0x5F4D535F);
    machine.PortOut(0x70, 1, 0x40);
    machine.PortOut(0x71, 1, 0x99);
  }

  std::string WriteFile(const std::string& name, const std::string& text) {
    const std::string path = (Dir / name).string();
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  std::filesystem::path Dir;
};

TEST_F(SimStateTest, SavedMachineReadsTheSameAfterLoadingIntoAFreshOne) {
  auto original = NewMachine();
  Modify(*original);
  const std::string path = (Dir / "machine.state").string();
  std::string error;
  ASSERT_TRUE(original->SaveState(path, &error)) << error;
  const TReadings before = Read(*original);

  auto restored = NewMachine();
  ASSERT_NE(Read(*restored), before);
  ASSERT_TRUE(restored->LoadState(path, &error)) << error;
  EXPECT_EQ(Read(*restored), before);
  // Time keeps moving the same way in both.
  original->Clock().Advance(500);
  restored->Clock().Advance(500);
  EXPECT_EQ(Read(*restored), Read(*original));
  EXPECT_EQ(restored->Cpu(1).CoreFrequencyHz(), 1600000000u);
  EXPECT_EQ(restored->Memory().PageCount(), 2u);
}

TEST_F(SimStateTest, LoadingReplacesPagesWrittenSinceTheSave) {
  auto machine = NewMachine();
  std::string error;
  const std::string path = (Dir / "clean.state").string();
  ASSERT_TRUE(machine->SaveState(path, &error)) << error;
  machine->Memory().WriteDword(0x200000, 1);
  ASSERT_TRUE(machine->LoadState(path, &error)) << error;
  EXPECT_EQ(machine->Memory().ReadDword(0x200000), 0xFFFFFFFFu);
  EXPECT_EQ(machine->Memory().PageCount(), 0u);
}

TEST_F(SimStateTest, MalformedFilesAreRejectedWithAReasonAndChangeNothing) {
  auto source = NewMachine();
  TSimState state;
  source->SaveState(state);
  const std::string good = state.ToText();

  struct TCase {
    const char* Name;
    std::string Text;
    const char* Message;
  };
  const std::string header = "KorZemSimState 1\n";
  std::string truncated = good.substr(0, good.find("cpu1."));
  std::string badHex = good;
  badHex.replace(badHex.find("cmos.ram=") + 9, 2, "ZZ");
  const TCase cases[] = {
      {"empty", "", "not a simulator state file"},
      {"binary",
       std::string("\x7F"
                   "ELF\x02\x01\x01\0\0",
                   9),
       "not a simulator state file"},
      {"future", "KorZemSimState 9\n", "version 9 is not supported"},
      {"garbage line", header + "board=test-board\nthis line has no equals sign\n", "line 3"},
      {"twice", header + "board=a\nboard=b\n", "appears twice"},
      {"other board", header + "board=p35-core2\n", "belongs to board 'p35-core2'"},
      {"missing entries", truncated, "'cpu1.tsc' is missing"},
      {"bad hex", badHex, "cmos.ram' is not a hex byte string"},
      {"unknown entry", good + "gpio.level=0x00\n", "'gpio.level' does not belong"},
      {"not a page", good + "mem.00000000DEAD0000=00\n", "does not name a RAM page"},
      {"bad number", header + "board=test-board\nclock.ns=soon\n", "'clock.ns' is not a number"},
  };
  auto machine = NewMachine();
  Modify(*machine);
  const TReadings before = Read(*machine);
  for (const TCase& c : cases) {
    std::string error;
    EXPECT_FALSE(machine->LoadState(WriteFile("bad.state", c.Text), &error)) << c.Name;
    EXPECT_NE(error.find(c.Message), std::string::npos) << c.Name << ": " << error;
    EXPECT_NE(error.find("bad.state"), std::string::npos) << c.Name << ": " << error;
    EXPECT_EQ(Read(*machine), before) << c.Name;
  }
  std::string error;
  EXPECT_FALSE(machine->LoadState((Dir / "absent.state").string(), &error));
  EXPECT_NE(error.find("cannot read state file"), std::string::npos) << error;
}

TEST_F(SimStateTest, StateTextRoundTripsEntries) {
  TSimState state;
  const uint8_t bytes[] = {0x00, 0xA5, 0x00, 0x00};
  state.SetBytes("x.bytes", bytes, sizeof bytes);
  state.SetNumber("x.number", 0xFEDCBA9876543210ull);
  state.SetText("x.text", "two\nlines");
  TSimState parsed;
  std::string error;
  ASSERT_TRUE(TSimState::FromText(state.ToText(), &parsed, &error)) << error;
  uint8_t out[4] = {1, 1, 1, 1};
  uint64_t number = 0;
  std::string text;
  ASSERT_TRUE(parsed.GetBytes("x.bytes", out, sizeof out, &error)) << error;
  EXPECT_EQ(std::memcmp(out, bytes, sizeof out), 0);
  ASSERT_TRUE(parsed.GetNumber("x.number", &number, &error)) << error;
  EXPECT_EQ(number, 0xFEDCBA9876543210ull);
  ASSERT_TRUE(parsed.GetText("x.text", &text, &error)) << error;
  EXPECT_EQ(text, "two lines");
  EXPECT_TRUE(parsed.UnusedKeys().empty());
  uint8_t small[1];
  EXPECT_FALSE(parsed.GetBytes("x.bytes", small, 1, &error));
}

}  // namespace

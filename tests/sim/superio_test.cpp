// The Super I/O configuration port seen through port I/O: entry keys, chip identity, logical
// devices, write masks, the [SuperIO] section, the shipped boards and saved state.
#include "sim/superio.h"

#include <gtest/gtest.h>

#include "sim/itechips.h"
#include "sim/winbondchips.h"
#include "superio_testboard.h"

namespace {

using namespace simchips;

TEST(SimSuperIo, WinbondKeyUnlocksAndAaLocks) {
  auto m = Board("[SuperIO]\nChip=W83627DHG\nPort=0x2E\n");
  ASSERT_NE(m, nullptr);
  // Locked: both ports float and a data write changes nothing.
  EXPECT_EQ(ConfigRead(*m, 0x2E, 0x20), 0xFF);
  ConfigWrite(*m, 0x2E, 0x07, 0x09);
  // ITE's key is not Winbond's; neither is a single 0x87 followed by something else.
  IteEnter(*m, 0x2E);
  EXPECT_EQ(ConfigRead(*m, 0x2E, 0x20), 0xFF);
  m->PortOut(0x2E, 1, 0x87);
  m->PortOut(0x2E, 1, 0x20);
  EXPECT_EQ(m->PortIn(0x2F, 1), 0xFFu);
  // A repeated first byte still counts: 87 87 87 unlocks.
  m->PortOut(0x2E, 1, 0x87);
  WinbondEnter(*m, 0x2E);
  EXPECT_EQ(ConfigRead(*m, 0x2E, 0x20), 0xA0);
  EXPECT_EQ(ConfigRead(*m, 0x2E, 0x21), 0x21);
  EXPECT_EQ(ConfigRead(*m, 0x2E, 0x07), 0x00);  // the locked write above did not land
  EXPECT_EQ(m->PortIn(0x2E, 1), 0x07u);         // the index reads back while unlocked
  WinbondExit(*m, 0x2E);
  EXPECT_EQ(ConfigRead(*m, 0x2E, 0x20), 0xFF);
  // The other configuration port belongs to nobody.
  WinbondEnter(*m, 0x4E);
  EXPECT_EQ(ConfigRead(*m, 0x4E, 0x20), 0xFF);
}

TEST(SimSuperIo, IteKeyDependsOnThePortAndRegister2Locks) {
  auto at2e = Board("[SuperIO]\nChip=IT8720F\nPort=0x2E\n");
  auto at4e = Board("[SuperIO]\nChip=IT8712F\nPort=0x4E\n");
  ASSERT_TRUE(at2e && at4e);
  // The 0x4E key (last byte 0xAA) does not open a chip at 0x2E, and Winbond's never does.
  for (uint32_t byte : {0x87u, 0x01u, 0x55u, 0xAAu}) at2e->PortOut(0x2E, 1, byte);
  EXPECT_EQ(ConfigRead(*at2e, 0x2E, 0x20), 0xFF);
  WinbondEnter(*at2e, 0x2E);
  EXPECT_EQ(ConfigRead(*at2e, 0x2E, 0x20), 0xFF);
  IteEnter(*at2e, 0x2E);
  EXPECT_EQ(ConfigRead(*at2e, 0x2E, 0x20), 0x87);
  EXPECT_EQ(ConfigRead(*at2e, 0x2E, 0x21), 0x20);
  // 0xAA at the index port only selects register 0xAA on ITE chips.
  at2e->PortOut(0x2E, 1, 0xAA);
  EXPECT_EQ(ConfigRead(*at2e, 0x2E, 0x20), 0x87);
  ConfigWrite(*at2e, 0x2E, 0x02, 0x02);
  EXPECT_EQ(ConfigRead(*at2e, 0x2E, 0x20), 0xFF);

  IteEnter(*at4e, 0x4E);
  EXPECT_EQ(ConfigRead(*at4e, 0x4E, 0x20), 0x87);
  EXPECT_EQ(ConfigRead(*at4e, 0x4E, 0x21), 0x12);
  EXPECT_EQ(ConfigRead(*at4e, 0x4E, 0x22), 0x08);
}

TEST(SimSuperIo, IdentityOfEveryChip) {
  struct {
    const char* Chip;
    uint8_t Id, Revision;
  } chips[] = {{"W83627DHG", 0xA0, 0x21}, {"W83627EHF", 0x88, 0x51}, {"W83667HG", 0xA5, 0x13}};
  for (const auto& c : chips) {
    auto m = Board(std::string("[SuperIO]\nChip=") + c.Chip + "\nPort=0x4E\n");
    ASSERT_NE(m, nullptr);
    WinbondEnter(*m, 0x4E);
    EXPECT_EQ(ConfigRead(*m, 0x4E, 0x20), c.Id) << c.Chip;
    EXPECT_EQ(ConfigRead(*m, 0x4E, 0x21), c.Revision) << c.Chip;
    EXPECT_EQ(ConfigRead(*m, 0x4E, 0x26) & 0x40, 0x40) << c.Chip << ": HEFRAS strap";
    ConfigWrite(*m, 0x4E, 0x20, 0x12);  // read-only
    EXPECT_EQ(ConfigRead(*m, 0x4E, 0x20), c.Id);
  }
}

TEST(SimSuperIo, LogicalDevicesHaveTheirOwnRegistersAndMasks) {
  auto m = Board("[SuperIO]\nChip=W83627DHG\nPort=0x2E\n");
  ASSERT_NE(m, nullptr);
  WinbondEnter(*m, 0x2E);
  ConfigWrite(*m, 0x2E, 0x07, 0x0B);
  EXPECT_EQ(ConfigRead(*m, 0x2E, 0x07), 0x0B);
  EXPECT_EQ(ConfigRead(*m, 0x2E, 0xF0), 0x81);  // reset value
  ConfigWrite(*m, 0x2E, 0x60, 0x02);
  ConfigWrite(*m, 0x2E, 0x61, 0x97);  // the monitor's base is 8-aligned
  ConfigWrite(*m, 0x2E, 0x30, 0xFF);  // only the activation bit exists
  EXPECT_EQ(ConfigRead(*m, 0x2E, 0x61), 0x90);
  EXPECT_EQ(ConfigRead(*m, 0x2E, 0x30), 0x01);
  ConfigWrite(*m, 0x2E, 0x07, 0x02);
  EXPECT_EQ(ConfigRead(*m, 0x2E, 0x60), 0x03);  // UART A keeps 0x3F8
  EXPECT_EQ(ConfigRead(*m, 0x2E, 0x61), 0xF8);
  ConfigWrite(*m, 0x2E, 0x07, 0x04);  // no LDN 4 on this chip
  EXPECT_EQ(ConfigRead(*m, 0x2E, 0x30), 0xFF);
  // Global registers answer whatever device is selected; bit 0 of register 2 resets the devices.
  EXPECT_EQ(ConfigRead(*m, 0x2E, 0x2C), 0xE2);
  ConfigWrite(*m, 0x2E, 0x07, 0x0B);
  ConfigWrite(*m, 0x2E, 0x02, 0x01);
  EXPECT_EQ(ConfigRead(*m, 0x2E, 0x60), 0x00);
  EXPECT_EQ(ConfigRead(*m, 0x2E, 0x30), 0x00);
  EXPECT_EQ(ConfigRead(*m, 0x2E, 0x20), 0xA0);  // still unlocked
}

TEST(SimSuperIo, ItePinSelectsAnswerOnlyInTheGpioDevice) {
  auto m = Board("[SuperIO]\nChip=IT8720F\nPort=0x2E\n");
  ASSERT_NE(m, nullptr);
  IteEnter(*m, 0x2E);
  ConfigWrite(*m, 0x2E, 0x07, 0x04);
  EXPECT_EQ(ConfigRead(*m, 0x2E, 0x25), 0xFF);
  EXPECT_EQ(ConfigRead(*m, 0x2E, 0x61), 0x90);  // environment controller default 0x290
  ConfigWrite(*m, 0x2E, 0x07, 0x07);
  EXPECT_EQ(ConfigRead(*m, 0x2E, 0x25), 0x01);
  EXPECT_EQ(ConfigRead(*m, 0x2E, 0x28), 0x40);
  EXPECT_EQ(ConfigRead(*m, 0x2E, 0x20), 0x87);
}

TEST(SimSuperIo, BoardSectionSetsRegistersAndRejectsMistakes) {
  auto m = Board(
      "[SuperIO]\nChip=w83667hg\nPort=0x2E\nHwmBase=0x290\nConfig.0x29=08\nLdn9.0x30=0F\n"
      "Ldn0x07.0xE0=F0 01\nHwm.0x55A=33\n");
  ASSERT_NE(m, nullptr);
  WinbondEnter(*m, 0x2E);
  EXPECT_EQ(ConfigRead(*m, 0x2E, 0x29), 0x08);
  ConfigWrite(*m, 0x2E, 0x07, 0x07);
  EXPECT_EQ(ConfigRead(*m, 0x2E, 0xE0), 0xF0);
  EXPECT_EQ(ConfigRead(*m, 0x2E, 0xE1), 0x01);
  ConfigWrite(*m, 0x2E, 0x07, 0x0B);
  EXPECT_EQ(ConfigRead(*m, 0x2E, 0x30), 0x01);
  EXPECT_EQ(ConfigRead(*m, 0x2E, 0x60), 0x02);
  EXPECT_EQ(ConfigRead(*m, 0x2E, 0x61), 0x90);
  MonitorWrite(*m, 0x290, 0x4E, 0x05);
  EXPECT_EQ(MonitorRead(*m, 0x290, 0x5A), 0x33);
  MonitorWrite(*m, 0x290, 0x4E, 0x00);
  EXPECT_EQ(MonitorRead(*m, 0x290, 0x5A), 0x00);

  struct {
    const char* Sections;
    const char* Expected;
  } broken[] = {
      {"[SuperIO]\nChip=W83627XYZ\nPort=0x2E\n", "[SuperIO] Chip: 'W83627XYZ' is not"},
      {"[SuperIO]\nChip=IT8720F\nPort=0x3F0\n", "Port: must be 0x2E or 0x4E"},
      {"[SuperIO]\nChip=IT8720F\n", "Port: missing"},
      {"[SuperIO]\nChip=W83627DHG\nPort=0x2E\nLdn4.0x30=01\n", "no register 0x30"},
      {"[SuperIO]\nChip=W83627DHG\nPort=0x2E\nConfig.0x2F=00 00\n", "no register 0x30"},
      {"[SuperIO]\nChip=W83627DHG\nPort=0x2E\nHwm.0x20=10\n", "no register 0x20"},
      {"[SuperIO]\nChip=W83627DHG\nPort=0x2E\nSimpleIoBase=0x800\n", "SimpleIoBase"},
      {"[SuperIO]\nChip=W83627DHG\nPort=0x2E\nHwmBase=0x291\n", "multiple of 8"},
      {"[SuperIO]\nChip=W83627DHG\nPort=0x2E\nSpeed=3\n", "Speed: unknown key"},
      {"[SuperIO]\nChip=W83627DHG\nPort=0x2E\nLdn9.0x30=0G\n", "expected hex bytes"},
      {"[SuperIO]\nChip=W83627DHG\nPort=0x2E\n[PCI 00:1f.0]\nVendor=1\nDevice=2\nClass=3\n"
       "[IchGpio]\nGP_LVL=1\n[Wiring]\nSIO.GPIO99=High\n",
       "chip SIO has no pin GPIO99"},
      {"[Wiring]\nSIO.GPIO24=High\n", "names no chip"},
      {"[SuperIO]\nChip=W83627DHG\nPort=0x2E\n[Wiring]\nSIO.GPIO24=two words\n",
       "neither High, Low nor a net name"},
      {"[SuperIO]\nChip=W83627DHG\nPort=0x2E\n[Monitor]\nVIN9=1 V\n", "no input VIN9"},
      {"[SuperIO]\nChip=W83627DHG\nPort=0x2E\n[Monitor]\nCPUTIN=1 V\n", "measures C, not V"},
      {"[SuperIO]\nChip=W83627DHG\nPort=0x2E\n[Monitor]\nVIN0=12 V divider 56\n", "divider"},
      {"[SuperIO]\nChip=W83627DHG\nPort=0x2E\n[Monitor]\nSYSTIN=40 C ref 2\n", "only a voltage"},
      {"[SuperIO]\nChip=W83627DHG\nPort=0x2E\n[Monitor]\nSYSTIN=40 K\n", "unit 'K'"},
  };
  for (const auto& b : broken) {
    std::string error;
    EXPECT_EQ(Board(b.Sections, &error), nullptr) << b.Sections;
    EXPECT_NE(error.find(b.Expected), std::string::npos) << error;
  }
}

TEST(SimSuperIo, ShippedBoardsCarryTheirChips) {
  struct {
    const char* Board;
    uint16_t Port;
    bool Ite;
    uint8_t Id1, Id2;
  } boards[] = {{"p35-core2", 0x2E, false, 0xA0, 0x21},
                {"x58-nehalem", 0x2E, false, 0xA5, 0x13},
                {"am2-k8", 0x2E, false, 0xA0, 0x21},
                {"tr900-phenom", 0x2E, true, 0x87, 0x20},
                {"am2p-phenom", 0x4E, true, 0x87, 0x12}};
  for (const auto& b : boards) {
    std::string error;
    auto m = CreateSimMachine(b.Board, BoardsDir, &error);
    ASSERT_NE(m, nullptr) << error;
    b.Ite ? IteEnter(*m, b.Port) : WinbondEnter(*m, b.Port);
    EXPECT_EQ(ConfigRead(*m, b.Port, 0x20), b.Id1) << b.Board;
    EXPECT_EQ(ConfigRead(*m, b.Port, 0x21), b.Id2) << b.Board;
    // The monitor's base, read the way the program reads it, answers at base + 5/6.
    ConfigWrite(*m, b.Port, 0x07, b.Ite ? 0x04 : 0x0B);
    const uint16_t base =
        static_cast<uint16_t>(ConfigRead(*m, b.Port, 0x60) << 8 | ConfigRead(*m, b.Port, 0x61));
    EXPECT_EQ(base, 0x290) << b.Board;
    EXPECT_NE(m->Ports().Owner(base + 5), "") << b.Board;
    EXPECT_EQ(MonitorRead(*m, base, b.Ite ? 0x58 : 0x4F), b.Ite ? 0x90 : 0x5C) << b.Board;
  }
}

TEST(SimSuperIo, StateFileKeepsRegistersModeAndDecoding) {
  std::string error;
  auto before = CreateSimMachine("x58-nehalem", BoardsDir, &error);
  ASSERT_NE(before, nullptr) << error;
  WinbondEnter(*before, 0x2E);
  ConfigWrite(*before, 0x2E, 0x07, 0x0B);
  ConfigWrite(*before, 0x2E, 0x61, 0xA0);  // the monitor moves to 0x2A0
  ConfigWrite(*before, 0x2E, 0x07, 0x09);
  ConfigWrite(*before, 0x2E, 0xE0, 0xFD);  // GP21 an output, driven high
  ConfigWrite(*before, 0x2E, 0xE1, 0x02);
  MonitorWrite(*before, 0x2A0, 0x4E, 0x85);  // bank 5, vendor ID high byte
  MonitorWrite(*before, 0x2A0, 0x06, 0x3C);
  TSimState saved, state;
  before->SaveState(saved);
  // Through the file's text, as zemctl keeps it between runs.
  ASSERT_TRUE(TSimState::FromText(saved.ToText(), &state, &error)) << error;

  auto after = CreateSimMachine("x58-nehalem", BoardsDir, &error);
  ASSERT_NE(after, nullptr) << error;
  ASSERT_TRUE(after->LoadState(state, &error)) << error;
  // Still in configuration mode with LDN 9 selected, as the chip was left.
  EXPECT_EQ(ConfigRead(*after, 0x2E, 0x07), 0x09);
  EXPECT_EQ(ConfigRead(*after, 0x2E, 0xE1), 0x7F);  // the latch, and the inputs' straps
  EXPECT_EQ(SimWiring(*after).NetDrive("VR.LOADLINE"), TSimPinDrive::High);
  EXPECT_EQ(after->Ports().Owner(0x295), "");
  EXPECT_EQ(MonitorRead(*after, 0x2A0, 0x4F), 0x5C);
  EXPECT_EQ(MonitorRead(*after, 0x2A0, 0x53), MonitorRead(*before, 0x2A0, 0x53));
  EXPECT_EQ(MonitorRead(*after, 0x2A0, 0x06), 0x3C);
  // A state whose chip registers are missing is refused and changes nothing.
  TSimState partial;
  before->SaveState(partial);
  TSimState text;
  ASSERT_TRUE(TSimState::FromText(
      [&] {
        std::string all = partial.ToText(), out;
        for (size_t at = 0; at < all.size();) {
          const size_t end = all.find('\n', at);
          const std::string line = all.substr(at, end - at + 1);
          if (line.rfind("superio.hwm.regs=", 0) != 0) out += line;
          at = end == std::string::npos ? all.size() : end + 1;
        }
        return out;
      }(),
      &text, &error))
      << error;
  EXPECT_FALSE(after->LoadState(text, &error));
  EXPECT_NE(error.find("superio.hwm.regs"), std::string::npos) << error;
  EXPECT_EQ(MonitorRead(*after, 0x2A0, 0x06), 0x3C);
}

}  // namespace

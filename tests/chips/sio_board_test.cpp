// Super I/O detection with the shipped database on the shipped simulated boards: each board's
// chip is found at the board's port (the IT8712F through the ITE family section), the chip is left
// locked, and its monitor base reads back through ReadDeviceBase.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "sim/superio.h"
#include "sio_rig.h"

namespace siotest {
namespace {

using Lines = std::vector<std::string>;

struct TBoardCase {
  const char* Board;
  const char* Name;
  const char* Vendor;
  uint16_t Port;
  bool VendorSection;
  uint8_t ChipId;  // register 0x20
};

void PrintTo(const TBoardCase& board, std::ostream* out) {
  *out << board.Board;
}

const TBoardCase kBoards[] = {
    {"p35-core2", "W83627DHG", "Winbond", 0x2E, false, 0xA0},
    {"x58-nehalem", "W83667HG", "Winbond", 0x2E, false, 0xA5},
    {"am2-k8", "W83627DHG", "Winbond", 0x2E, false, 0xA0},
    {"tr900-phenom", "IT8720F", "ITE", 0x2E, false, 0x87},
    {"am2p-phenom", "ITE IT87xx", "ITE", 0x4E, true, 0x87},
};

TSimSuperIo* BoardChip(TSimMachine& machine) {
  return dynamic_cast<TSimSuperIo*>(machine.FindDevice(TSimSuperIo::Name));
}

class SioBoardTest : public ::testing::TestWithParam<TBoardCase> {};

TEST_P(SioBoardTest, FindsTheBoardsChipAtItsPort) {
  const TBoardCase& expected = GetParam();
  TSioRig rig(expected.Board);
  TSimSuperIo* chip = BoardChip(*rig.Machine);
  ASSERT_NE(chip, nullptr);
  rig.WriteShipped();
  TSio& sio = rig.Detect();

  ASSERT_TRUE(sio.Detected());
  EXPECT_EQ(sio.Name, expected.Name);
  EXPECT_EQ(sio.Vendor, expected.Vendor);
  EXPECT_EQ(sio.MatchedVendorSection, expected.VendorSection);
  EXPECT_EQ(sio.IndexPortNo, expected.Port);
  EXPECT_EQ(sio.DataPortNo, expected.Port + 1);
  EXPECT_FALSE(chip->ConfigMode());
  const std::string found = expected.VendorSection ? "SIO Vendor detected: " : "SIO detected: ";
  EXPECT_EQ(rig.Lines.Starting(found), Lines{found + expected.Name});

  EXPECT_EQ(sio.ReadConfigReg(0x20), expected.ChipId);
  EXPECT_FALSE(chip->ConfigMode());
}

// The hardware monitors find their I/O base this way.
TEST_P(SioBoardTest, ReadsTheMonitorBaseOfTheBoard) {
  TSioRig rig(GetParam().Board);
  TSimSuperIo* chip = BoardChip(*rig.Machine);
  ASSERT_NE(chip, nullptr);
  rig.WriteShipped();
  TSio& sio = rig.Detect();
  ASSERT_TRUE(sio.Detected());

  const uint8_t monitor = chip->Spec().MonitorLdn;
  sio.SelectLogicalDevice(monitor);
  EXPECT_EQ(chip->SelectedLdn(), monitor);
  EXPECT_EQ(sio.ReadDeviceBase(), chip->DeviceBase(monitor));
  EXPECT_NE(chip->DeviceBase(monitor), 0);
  EXPECT_FALSE(chip->ConfigMode());
}

TEST_P(SioBoardTest, WritesReachTheChipThroughTheSectionsScripts) {
  TSioRig rig(GetParam().Board);
  TSimSuperIo* chip = BoardChip(*rig.Machine);
  ASSERT_NE(chip, nullptr);
  rig.WriteShipped();
  TSio& sio = rig.Detect();
  ASSERT_TRUE(sio.Detected());

  // Register 0x30 of the monitor's device: activation, writable on every chip.
  const uint8_t monitor = chip->Spec().MonitorLdn;
  sio.SelectLogicalDevice(monitor);
  const uint8_t active = sio.ReadConfigReg(0x30);
  EXPECT_EQ(active & 1, 1);
  sio.WriteConfigReg(0x30, static_cast<uint8_t>(active & ~1));
  EXPECT_FALSE(chip->DeviceActive(monitor));
  EXPECT_EQ(sio.ReadConfigReg(0x30), active & ~1);
  EXPECT_FALSE(chip->ConfigMode());
}

INSTANTIATE_TEST_SUITE_P(Boards, SioBoardTest, ::testing::ValuesIn(kBoards), [](const auto& info) {
  std::string name = info.param.Board;
  for (char& c : name)
    if (c == '-') c = '_';
  return name;
});

TEST(SioBoardNoChipTest, ABoardWithoutSuperIoDetectsNothing) {
  TSioRig rig("p4-netburst");
  ASSERT_EQ(BoardChip(*rig.Machine), nullptr);
  rig.WriteShipped();
  TSio& sio = rig.Detect();
  EXPECT_EQ(sio.DetectedIndex, -1);
  EXPECT_EQ(sio.IndexPortNo, 0);
  EXPECT_EQ(sio.DataPortNo, 0);
  // The record keeps the last family section read, whose vendor the monitor choice still sees.
  EXPECT_EQ(sio.Vendor, "ITE");
  EXPECT_FALSE(sio.MatchedVendorSection);
  rig.Lines.Clear();
  EXPECT_EQ(sio.ReadConfigReg(0x20), 0xFF);
  EXPECT_EQ(rig.Lines.All, Lines{"SIO: no Super I/O detected, ReadConfigReg 0x20 refused"});
}

TEST(SioBoardNoChipTest, DisableSuperIoLeavesTheBoardsChipAlone) {
  TSioRig rig("p35-core2");
  TSimSuperIo* chip = BoardChip(*rig.Machine);
  ASSERT_NE(chip, nullptr);
  rig.WriteShipped(/*disableSuperIo=*/true);
  TSio& sio = rig.Detect();
  EXPECT_EQ(sio.DetectedIndex, -1);
  EXPECT_TRUE(rig.Lines.All.empty());
  EXPECT_EQ(sio.ReadDeviceBase(), 0xFFFF);
  EXPECT_FALSE(chip->ConfigMode());
}

}  // namespace
}  // namespace siotest

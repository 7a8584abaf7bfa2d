// The shipped Super I/O database (data/KorZem.ini) against configuration-mode doubles of each
// supported chip at each configuration port: the right section matches, its port scripts reach
// the chip, and no candidate leaves a chip unlocked.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "sio_rig.h"

namespace siotest {
namespace {

using TFamily = TConfigChip::TFamily;
using Lines = std::vector<std::string>;

struct TChipCase {
  const char* Label;
  TFamily Family;
  uint16_t Port;
  uint8_t Id;
  uint8_t Revision;
  const char* Name;
  const char* Vendor;
  bool VendorSection;
};

void PrintTo(const TChipCase& chip, std::ostream* out) {
  *out << chip.Label;
}

const TChipCase kChips[] = {
    {"W83627DHG_2E", TFamily::Winbond, 0x2E, 0xA0, 0x23, "W83627DHG", "Winbond", false},
    {"W83627DHG_4E", TFamily::Winbond, 0x4E, 0xA0, 0x20, "W83627DHG", "Winbond", false},
    {"W83627EHF_2E", TFamily::Winbond, 0x2E, 0x88, 0x53, "W83627EHF", "Winbond", false},
    {"W83627EHG_4E", TFamily::Winbond, 0x4E, 0x88, 0x61, "W83627EHF", "Winbond", false},
    {"W83667HG_2E", TFamily::Winbond, 0x2E, 0xA5, 0x13, "W83667HG", "Winbond", false},
    {"W83667HG_4E", TFamily::Winbond, 0x4E, 0xA5, 0x1A, "W83667HG", "Winbond", false},
    {"IT8718F_2E", TFamily::Ite, 0x2E, 0x87, 0x18, "IT8718F", "ITE", false},
    {"IT8718F_4E", TFamily::Ite, 0x4E, 0x87, 0x18, "IT8718F", "ITE", false},
    {"IT8720F_2E", TFamily::Ite, 0x2E, 0x87, 0x20, "IT8720F", "ITE", false},
    {"IT8720F_4E", TFamily::Ite, 0x4E, 0x87, 0x20, "IT8720F", "ITE", false},
    // Family members without a chip section of their own.
    {"NCT6776F_2E", TFamily::Winbond, 0x2E, 0xC3, 0x33, "Winbond/Nuvoton", "Winbond", true},
    {"W83627DHGP_4E", TFamily::Winbond, 0x4E, 0xB0, 0x73, "Winbond/Nuvoton", "Winbond", true},
    {"IT8712F_2E", TFamily::Ite, 0x2E, 0x87, 0x12, "ITE IT87xx", "ITE", true},
    {"IT8716F_4E", TFamily::Ite, 0x4E, 0x87, 0x16, "ITE IT87xx", "ITE", true},
};

class SioDatabaseTest : public ::testing::TestWithParam<TChipCase> {};

TEST_P(SioDatabaseTest, FindsTheChipAndLeavesItLocked) {
  const TChipCase& expected = GetParam();
  TSioRig rig;
  TConfigChip chip(expected.Family, expected.Port, expected.Id, expected.Revision);
  rig.Place(chip);
  rig.WriteShipped();
  TSio& sio = rig.Detect();

  ASSERT_TRUE(sio.Detected());
  EXPECT_EQ(sio.Name, expected.Name);
  EXPECT_EQ(sio.Vendor, expected.Vendor);
  EXPECT_EQ(sio.MatchedVendorSection, expected.VendorSection);
  EXPECT_EQ(sio.IndexPortNo, expected.Port);
  EXPECT_EQ(sio.DataPortNo, expected.Port + 1);
  // Every candidate that unlocked the chip locked it again.
  EXPECT_FALSE(chip.Unlocked);
  EXPECT_GE(chip.Unlocks, 1);
  EXPECT_EQ(chip.Unlocks, chip.Locks);

  const std::string number = std::to_string(sio.DetectedIndex);
  if (expected.VendorSection) {
    EXPECT_EQ(sio.LdnCount, 0);
    EXPECT_EQ(rig.Lines.Starting("SIO Vendor detected: "),
              Lines{std::string("SIO Vendor detected: ") + expected.Name});
    EXPECT_TRUE(rig.Lines.Console.empty());
  } else {
    EXPECT_GT(sio.LdnCount, 0);
    EXPECT_EQ(rig.Lines.Starting("SIO detected: "),
              Lines{std::string("SIO detected: ") + expected.Name});
    EXPECT_EQ(rig.Lines.Console, Lines{"SIO DETECTED[" + number + "]" + expected.Name});
  }

  // The section's EnterConfig and ExitConfig reach the chip at its port.
  const int unlocks = chip.Unlocks;
  EXPECT_EQ(sio.ReadConfigReg(0x20), expected.Id);
  EXPECT_EQ(sio.ReadConfigReg(0x21), expected.Revision);
  EXPECT_EQ(chip.Unlocks, unlocks + 2);
  EXPECT_FALSE(chip.Unlocked);
}

INSTANTIATE_TEST_SUITE_P(Chips, SioDatabaseTest, ::testing::ValuesIn(kChips),
                         [](const auto& info) { return std::string(info.param.Label); });

TEST(SioDatabaseContentTest, ListsTheLogicalDevicesTheBackEndsUse) {
  TSioRig rig;
  TConfigChip chip(TFamily::Ite, 0x2E, 0x87, 0x20);
  rig.Place(chip);
  rig.WriteShipped();
  TSio& sio = rig.Detect();
  ASSERT_EQ(sio.Name, "IT8720F");

  std::vector<int> numbers;
  for (int i = 0; i < sio.LdnCount; ++i) numbers.push_back(sio.Ldns[static_cast<size_t>(i)].Number);
  EXPECT_EQ(numbers, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 10}));
  EXPECT_EQ(sio.Ldns[4].Text, "Environment controller");
  EXPECT_EQ(sio.Ldns[7].Text, "GPIO");
}

// Every candidate for a chip's port unlocks it with the right key and locks it again, and a chip
// never answers the other family's keys.
TEST(SioDatabaseContentTest, EachCandidateAtThePortUnlocksOnce) {
  TSioRig rig;
  TConfigChip winbond(TFamily::Winbond, 0x4E, 0xA5, 0x13);
  TConfigChip ite(TFamily::Ite, 0x2E, 0x87, 0x20);
  rig.Place(winbond);
  rig.Place(ite);
  rig.WriteShipped();
  TSio& sio = rig.Detect();

  EXPECT_EQ(sio.Name, "W83667HG");
  EXPECT_EQ(sio.IndexPortNo, 0x4E);
  // W83627DHG, W83627EHF and W83667HG at 0x4E; the ITE chip heard only Winbond keys.
  EXPECT_EQ(winbond.Unlocks, 3);
  EXPECT_EQ(winbond.Locks, 3);
  EXPECT_EQ(ite.Unlocks, 0);
}

TEST(SioDatabaseContentTest, EveryIteCandidateAt4EUsesTheSecondKey) {
  TSioRig rig;
  TConfigChip ite(TFamily::Ite, 0x4E, 0x87, 0x12);
  rig.Place(ite);
  rig.WriteShipped();
  TSio& sio = rig.Detect();

  EXPECT_TRUE(sio.MatchedVendorSection);
  // IT8718F and IT8720F at 0x4E, then the family section at 0x4E.
  EXPECT_EQ(ite.Unlocks, 3);
  EXPECT_EQ(ite.Locks, 3);
}

}  // namespace
}  // namespace siotest

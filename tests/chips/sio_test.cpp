// TSio against hand-made database sections: the walk, the result cell, locals, the port scripts
// replayed into fresh interpreters, and the lines both sinks receive.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sio_rig.h"

namespace siotest {
namespace {

using Lines = std::vector<std::string>;
using Writes = std::vector<std::pair<uint16_t, uint8_t>>;

// Hand-made sections write marks to the logged ports at 0xE0/0xE1.
class SioWalkTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Rig.Machine->Ports().Claim(0xE0, 2, &Log, "test-log")); }

  TSioRig Rig;
  TPortLog Log;
};

TEST_F(SioWalkTest, StopsAtTheFirstMissingNumberOfEachKind) {
  Rig.WriteIni(
      "[SIO1]\nDetect=O 0E0H 1; ADD 0 1\n"
      "[SIO2]\nDetect=O 0E0H 2; ADD 0 1\n"
      "[SIO4]\nName=Behind the gap\nDetect=O 0E0H 4; SUB 0 0\n"
      "[SIOVENDOR1]\nName=Family one\nDetect=O 0E0H 11H; ADD 0 1\n"
      "[SIOVENDOR3]\nDetect=O 0E0H 13H; SUB 0 0\n");
  TSio& sio = Rig.Detect();

  EXPECT_EQ(Log.Writes, (Writes{{0xE0, 1}, {0xE0, 2}, {0xE0, 0x11}}));
  EXPECT_EQ(sio.DetectedIndex, -1);
  EXPECT_EQ(sio.IndexPortNo, 0);
  EXPECT_EQ(sio.DataPortNo, 0);
  // Nothing matched: the record keeps the last section read.
  EXPECT_EQ(sio.Name, "Family one");
  EXPECT_TRUE(Rig.Lines.Console.empty());
}

TEST_F(SioWalkTest, ListsLogicalDevicesInNumberOrder) {
  Rig.WriteIni(
      "[SIO1]\nName=Two devices\nLdn11=Hardware monitor\nLdn7=\nLdn5=Keyboard\nLdn32=Out of "
      "range\nDetect=SUB 0 0\nIndexPort=ADD 2EH 0\nDataPort=ADD 2FH 0\n");
  TSio& sio = Rig.Detect();

  ASSERT_EQ(sio.DetectedIndex, 1);
  ASSERT_EQ(sio.LdnCount, 2);
  EXPECT_EQ(sio.Ldns[0].Number, 5);
  EXPECT_EQ(sio.Ldns[0].Text, "Keyboard");
  EXPECT_EQ(sio.Ldns[1].Number, 11);
  EXPECT_EQ(sio.Ldns[1].Text, "Hardware monitor");
  EXPECT_TRUE(sio.Ldns[2].Text.empty());
}

TEST_F(SioWalkTest, AnEmptyDetectNeverMatches) {
  Rig.WriteIni(
      "[SIO1]\nName=No test\nIndexPort=LOCAL0=\n[SIOVENDOR1]\nName=No test either\n"
      "Detect=\n");
  TSio& sio = Rig.Detect();
  EXPECT_EQ(sio.DetectedIndex, -1);
  EXPECT_FALSE(sio.Detected());
}

TEST_F(SioWalkTest, JudgesDetectByTheSharedResultCellAlone) {
  // SIO2 fails before producing a value and so inherits SIO1's 7; SIO3 fails after producing 0,
  // which counts.
  Rig.WriteIni(
      "[SIO1]\nDetect=ADD 0 7\n"
      "[SIO2]\nDetect=I 2E\n"
      "[SIO3]\nName=Failing but present\nDetect=SUB 1 1; I 2E\n"
      "IndexPort=ADD 4EH 0\nDataPort=ADD 4FH 0\n");
  TSio& sio = Rig.Detect();
  EXPECT_EQ(sio.DetectedIndex, 3);
  EXPECT_EQ(sio.Name, "Failing but present");
  EXPECT_EQ(Rig.Lines.Starting("IPResult: Operand format error.").size(), 2u);
}

TEST_F(SioWalkTest, LocalsCarryOverWithinOneDetection) {
  // SIO2 finds Local3 as SIO1 left it, and its port scripts find the ports its Detect left.
  Rig.WriteIni(
      "[SIO1]\nDetect=LOCAL3=5; ADD 0 1\n"
      "[SIO2]\nName=Second\nDetect=LOCAL0=300H; LOCAL1=ADD LOCAL0 4; SUB LOCAL3 5\n"
      "IndexPort=LOCAL0=\nDataPort=LOCAL1=\nIndexPorts=300H\n");
  TSio& sio = Rig.Detect();
  ASSERT_EQ(sio.DetectedIndex, 2);
  EXPECT_EQ(sio.IndexPortNo, 0x300);
  EXPECT_EQ(sio.DataPortNo, 0x304);
  EXPECT_FALSE(sio.MatchedVendorSection);
}

TEST_F(SioWalkTest, PortsAreTheLow16BitsOfTheScriptResults) {
  Rig.WriteIni(
      "[SIO1]\nDetect=SUB 0 0\nIndexPort=ADD 12345H 0\nDataPort=SUB 0 1\nIndexPorts=0x2345\n");
  TSio& sio = Rig.Detect();
  EXPECT_EQ(sio.IndexPortNo, 0x2345);
  EXPECT_EQ(sio.DataPortNo, 0xFFFF);
}

// A section whose port scripts do not work would have the unlock key and register numbers written
// to port 0 (the DMA controller): such a match is skipped and the walk goes on.
TEST_F(SioWalkTest, AMatchWithoutAConfigurationPortIsSkipped) {
  Rig.WriteIni(
      "[SIO1]\nName=No port script\nDetect=SUB 0 0\n"
      "[SIO2]\nName=Port 0E0H not listed\nDetect=SUB 0 0\nIndexPort=ADD 0E0H 0\n"
      "DataPort=ADD 0E1H 0\n"
      // An empty DataPort leaves the result cell as IndexPort set it.
      "[SIO3]\nName=Data port missing\nDetect=SUB 0 0\nIndexPort=ADD 2EH 0\n"
      "[SIO4]\nName=Listed\nDetect=SUB 0 0\nIndexPort=ADD 0E0H 0\nDataPort=ADD 0E1H 0\n"
      "IndexPorts=2EH, 0xE0\n");
  TSio& sio = Rig.Detect();
  EXPECT_EQ(sio.DetectedIndex, 4);
  EXPECT_EQ(sio.Name, "Listed");
  EXPECT_EQ(sio.IndexPortNo, 0xE0);
  EXPECT_EQ(sio.DataPortNo, 0xE1);
  EXPECT_EQ(
      Rig.Lines.Starting("SIO: "),
      (Lines{"SIO: No port script in [SIO1] gives index port 0x0000, data port 0x0000: not a "
             "configuration port, skipped",
             "SIO: Port 0E0H not listed in [SIO2] gives index port 0x00E0, data port 0x00E1: "
             "not a configuration port, skipped",
             "SIO: Data port missing in [SIO3] gives index port 0x002E, data port 0x002E: not "
             "a configuration port, skipped"}));

  // Nothing plausible at all: nothing detected, and the register operations refuse.
  TSioRig bare;
  bare.WriteIni("[SIOVENDOR1]\nName=Family\nDetect=SUB 0 0\nIndexPort=SUB 0 0\n");
  TSio& none = bare.Detect();
  EXPECT_FALSE(none.Detected());
  EXPECT_EQ(none.IndexPortNo, 0);
  EXPECT_EQ(none.ReadConfigReg(0x20), 0xFF);
}

TEST_F(SioWalkTest, AVendorSectionMatchesWithoutLogicalDevices) {
  Rig.WriteIni(
      "[SIO1]\nName=Chip\nDetect=ADD 0 1\nLdn4=Environment controller\n"
      "[SIOVENDOR1]\nName=Other family\nDetect=ADD 0 1\n"
      "[SIOVENDOR2]\nName=Family\nVendor=ITE\nDetect=LOCAL0=4EH; SUB 0 0\n"
      "IndexPort=LOCAL0=\nDataPort=ADD LOCAL0 1\nInfoName=Info\nExtInfo=More\n");
  TSio& sio = Rig.Detect();

  EXPECT_EQ(sio.DetectedIndex, 2);
  EXPECT_TRUE(sio.MatchedVendorSection);
  EXPECT_EQ(sio.LdnCount, 0);
  EXPECT_EQ(sio.Name, "Family");
  EXPECT_EQ(sio.Vendor, "ITE");
  EXPECT_EQ(sio.InfoName, "Info");
  EXPECT_EQ(sio.ExtInfo, "More");
  EXPECT_EQ(sio.IndexPortNo, 0x4E);
  EXPECT_EQ(sio.DataPortNo, 0x4F);
  EXPECT_EQ(Rig.Lines.Starting("SIO Vendor detected: "), Lines{"SIO Vendor detected: Family"});
  EXPECT_TRUE(Rig.Lines.Starting("SIO detected: ").empty());
  // A family match says so in the debug file only.
  EXPECT_TRUE(Rig.Lines.Console.empty());
}

// The whole conversation of a detection and one register read, line by line: the detection's
// own lines, the interpreter's, the port accesses, and the port scripts replayed with the
// detected ports into fresh interpreters. Local9 shows the freshness: 0x77 in the detection, 0x33
// after EnterConfig, 0 again in both the unlock and the lock.
TEST_F(SioWalkTest, DetectionAndRegisterReadLineByLine) {
  Rig.WriteIni(
      "[SIO1]\nName=Test chip\nDetect=LOCAL0=0E0H; LOCAL1=0E1H; LOCAL9=77H; SUB 0 0\n"
      "IndexPort=LOCAL0=\nDataPort=LOCAL1=\nEnterConfig=O LOCAL0 LOCAL9; LOCAL9=33H\n"
      "ExitConfig=O LOCAL1 LOCAL9\nIndexPorts=0E0H\n");
  Log.ReadValue = 0x5A;
  TSio& sio = Rig.Detect();

  EXPECT_EQ(Rig.Lines.All, (Lines{
                               "Starting SIO detection",
                               "IP: LOCAL0=0E0H; LOCAL1=0E1H; LOCAL9=77H; SUB 0 0",
                               "IPCommand: LOCAL0=0E0H",
                               "IPResult: Local0 = 0x000000E0 (224)",
                               "IPCommand: LOCAL1=0E1H",
                               "IPResult: Local1 = 0x000000E1 (225)",
                               "IPCommand: LOCAL9=77H",
                               "IPResult: Local9 = 0x00000077 (119)",
                               "IPCommand: SUB 0 0",
                               "IPResult: Sub (0x0, 0x0) = 0x00000000",
                               "IP: LOCAL0=",
                               "IPCommand: LOCAL0=",
                               "IPResult: Local00 = 0x000000E0 (224)",
                               "IP: LOCAL1=",
                               "IPCommand: LOCAL1=",
                               "IPResult: Local01 = 0x000000E1 (225)",
                               "SIO detected: Test chip",
                               "console: SIO DETECTED[1]Test chip",
                           }));

  Rig.Lines.Clear();
  EXPECT_EQ(sio.ReadConfigReg(0x20), 0x5A);
  EXPECT_EQ(Rig.Lines.All, (Lines{
                               "IP: LOCAL0= 224",
                               "IPCommand: LOCAL0= 224",
                               "IPResult: Local0 = 0x000000E0 (224)",
                               "IP: LOCAL1= 225",
                               "IPCommand: LOCAL1= 225",
                               "IPResult: Local1 = 0x000000E1 (225)",
                               "IP: O LOCAL0 LOCAL9; LOCAL9=33H",
                               "IPCommand: O LOCAL0 LOCAL9",
                               "RW: IoBaseWriteByte 0x00E0=0x00",
                               "IPResult: Out port 0xE0 = 0x00",
                               "IPCommand: LOCAL9=33H",
                               "IPResult: Local9 = 0x00000033 (51)",
                               "RW: IoBaseWriteByte 0x00E0=0x20",
                               "RW: IoBaseReadByte 0x00E1=0x5A",
                               "IP: LOCAL0= 224",
                               "IPCommand: LOCAL0= 224",
                               "IPResult: Local0 = 0x000000E0 (224)",
                               "IP: LOCAL1= 225",
                               "IPCommand: LOCAL1= 225",
                               "IPResult: Local1 = 0x000000E1 (225)",
                               "IP: O LOCAL1 LOCAL9",
                               "IPCommand: O LOCAL1 LOCAL9",
                               "RW: IoBaseWriteByte 0x00E1=0x00",
                               "IPResult: Out port 0xE1 = 0x00",
                           }));
}

TEST_F(SioWalkTest, DisabledDetectionReadsNothingAndSaysNothing) {
  Rig.WriteIni("[Config]\nDisableSuperIo=1\n[SIO1]\nName=Chip\nDetect=O 0E0H 1; SUB 0 0\n");
  TSio& sio = Rig.Detect();
  EXPECT_EQ(sio.DetectedIndex, -1);
  EXPECT_EQ(sio.IndexPortNo, 0);
  EXPECT_EQ(sio.DataPortNo, 0);
  EXPECT_TRUE(sio.Name.empty());
  EXPECT_TRUE(Log.Writes.empty());
  EXPECT_TRUE(Rig.Lines.All.empty());
}

TEST_F(SioWalkTest, AMissingDatabaseDetectsNothing) {
  Rig.WriteIni("[Config]\nDisableSuperIo=0\n");
  TSio& sio = Rig.Detect();
  EXPECT_EQ(sio.DetectedIndex, -1);
  EXPECT_EQ(Rig.Lines.All, Lines{"Starting SIO detection"});
}

// --- register operations on a Winbond double behind the shipped database ---

class SioRegisterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Rig.Place(Chip);
    Rig.WriteShipped();
    Rig.Detect();
    ASSERT_TRUE(Rig.Sio->Detected());
    Rig.Lines.Clear();
  }

  TSioRig Rig;
  TConfigChip Chip{TConfigChip::TFamily::Winbond, 0x2E, 0xA0, 0x23};
};

TEST_F(SioRegisterTest, SelectLogicalDeviceWritesRegister7BetweenUnlockAndLock) {
  Rig.Sio->SelectLogicalDevice(8);
  EXPECT_EQ(Rig.Lines.PortLines(), (Lines{
                                       "RW: IoBaseWriteByte 0x002E=0x87",
                                       "RW: IoBaseWriteByte 0x002E=0x87",
                                       "RW: IoBaseWriteByte 0x002E=0x07",
                                       "RW: IoBaseWriteByte 0x002F=0x08",
                                       "RW: IoBaseWriteByte 0x002E=0xAA",
                                   }));
  EXPECT_EQ(Chip.Global[0x07], 8);
  EXPECT_FALSE(Chip.Unlocked);
}

TEST_F(SioRegisterTest, ReadDeviceBaseReadsRegisters60And61InOneUnlock) {
  Chip.Reg(0x0B, 0x60) = 0x02;
  Chip.Reg(0x0B, 0x61) = 0x90;
  Rig.Sio->SelectLogicalDevice(0x0B);
  Rig.Lines.Clear();
  const int unlocks = Chip.Unlocks;

  EXPECT_EQ(Rig.Sio->ReadDeviceBase(), 0x0290);
  EXPECT_EQ(Chip.Unlocks, unlocks + 1);
  EXPECT_FALSE(Chip.Unlocked);
  EXPECT_EQ(Rig.Lines.Console,
            (Lines{"iPort [2E],dPort[2F]", "Data60 [02]", "Data60 [02],Data61[90]"}));
  EXPECT_EQ(Rig.Lines.PortLines(), (Lines{
                                       "RW: IoBaseWriteByte 0x002E=0x87",
                                       "RW: IoBaseWriteByte 0x002E=0x87",
                                       "RW: IoBaseWriteByte 0x002E=0x60",
                                       "RW: IoBaseReadByte 0x002F=0x02",
                                       "RW: IoBaseWriteByte 0x002E=0x61",
                                       "RW: IoBaseReadByte 0x002F=0x90",
                                       "RW: IoBaseWriteByte 0x002E=0xAA",
                                   }));
}

TEST(SioNoChipTest, RegisterOperationsRefuseWithADebugLine) {
  TSioRig rig;
  rig.WriteShipped();
  TSio& sio = rig.Detect();
  ASSERT_FALSE(sio.Detected());
  rig.Lines.Clear();

  EXPECT_EQ(sio.ReadConfigReg(0x20), 0xFF);
  sio.WriteConfigReg(0x2C, 0x01);
  sio.SelectLogicalDevice(7);
  EXPECT_EQ(sio.ReadDeviceBase(), 0xFFFF);
  sio.EnterConfigMode();
  sio.ExitConfigMode();

  EXPECT_EQ(rig.Lines.All, (Lines{
                               "SIO: no Super I/O detected, ReadConfigReg 0x20 refused",
                               "SIO: no Super I/O detected, WriteConfigReg 0x2C=0x01 refused",
                               "SIO: no Super I/O detected, WriteConfigReg 0x07=0x07 refused",
                               "SIO: no Super I/O detected, ReadDeviceBase refused",
                           }));
}

}  // namespace
}  // namespace siotest

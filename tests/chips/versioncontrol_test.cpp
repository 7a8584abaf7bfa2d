// Board revisions on the simulated P35 board: the ICH9 strap GPIO14 reads high, the W83627DHG's
// GPIO30 and GPIO31 read low and high once they are inputs, and CMOS sits behind ports 0x70/0x71.
// Each test writes a model file with its own "VersionControl" sections.
#include "platform/versioncontrol.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/textfmt.h"
#include "chips/revisionpins.h"
#include "chips/w627gpio.h"
#include "gpiorig.h"

namespace {

using gpiotest::TGpioRig;

class VersionControl : public ::testing::Test {
 protected:
  VersionControl() : Rig("p35-core2") {
    ModelPath = (std::filesystem::path(Rig.IniPath).parent_path() / "Model.ini").string();
  }

  void WriteModel(const std::string& text) const {
    std::ofstream out(ModelPath, std::ios::binary | std::ios::trunc);
    out << text;
  }
  // The Super I/O found by the shipped database, with the revision straps made inputs.
  TSio* DetectSio() {
    TSio& sio = Rig.DetectShipped();
    EXPECT_EQ(sio.Name, "W83627DHG");
    EXPECT_TRUE(TW627Gpio(sio).Apply("GPIO30=Input GPIO31=Input"));
    return &sio;
  }
  TVersionControl Run(TSio* sio) {
    Rig.Lines.Clear();
    TGpioRevisionPins pins(*Rig.Rw, sio);
    return TVersionControl(TiFile(ModelPath), *Rig.Rw, pins);
  }
  bool Traced(const std::string& line) const {
    const auto& lines = Rig.Lines.Console;
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

  TGpioRig Rig;
  std::string ModelPath;
};

TEST_F(VersionControl, NoRevisionListMeansNotPresent) {
  for (const char* model : {"", "[ZemControl]\r\nControlType=2\r\n", "[VersionControl]\r\n"}) {
    WriteModel(model);
    const TVersionControl version = Run(nullptr);
    EXPECT_FALSE(version.IsPresent()) << model;
    EXPECT_EQ(version.Index(), -1) << model;
  }
}

TEST_F(VersionControl, TheIchStrapPicksTheFirstMatchingRevision) {
  WriteModel(
      "[VersionControl]\r\nA=Rev10\r\nB=Rev11\r\nC=Rev12\r\n"
      "[Rev10]\r\nInterface=ICHGPIO\r\nSection=Pins10\r\nDescription=Rev 1.0\r\n"
      "[Pins10]\r\n1=GPIO14=InputLow\r\n"
      "[Rev11]\r\nInterface=ICHGPIO\r\nSection=Pins11\r\nDescription=Rev 1.1\r\n"
      "[Pins11]\r\n0=GPIO14=InputLow\r\n1=GPIO14=InputHigh GPIO33=High\r\n"
      "[Rev12]\r\nInterface=ICHGPIO\r\nSection=Pins12\r\nDescription=Rev 1.2\r\n"
      "[Pins12]\r\n1=GPIO14=InputHigh\r\n");
  const TVersionControl version = Run(nullptr);
  EXPECT_TRUE(version.IsPresent());
  EXPECT_EQ(version.Index(), 1);  // Rev12 matches as well, but comes later
  EXPECT_EQ(Rig.Lines.Console.back(), ">>> Description = Rev 1.1");
  EXPECT_FALSE(Traced(">>> Description = Rev 1.2"));
}

TEST_F(VersionControl, TheFirstLineThePinsShowDecidesEvenWhenItIsNotOne) {
  WriteModel(
      "[VersionControl]\r\nOnly=RevA\r\n"
      "[RevA]\r\nInterface=ICHGPIO\r\nSection=PinsA\r\nDescription=Rev A\r\n"
      "[PinsA]\r\n0=GPIO14=Input\r\n1=GPIO14=InputHigh\r\n");
  const TVersionControl version = Run(nullptr);
  EXPECT_TRUE(version.IsPresent());
  EXPECT_EQ(version.Index(), -1);
  EXPECT_FALSE(Traced(">>> Description = Rev A"));
}

TEST_F(VersionControl, WinbondRevisionsCheckTheirSuperIo) {
  TSio* sio = DetectSio();
  WriteModel(
      "[VersionControl]\r\nv1=RevOther\r\nv2=RevNoChip\r\nv3=RevOurs\r\n"
      "[RevOther]\r\nInterface=W627GPIO\r\nSection=Straps\r\nDescription=other chip\r\n"
      "SIO=W83627EHF\r\n"
      "[RevNoChip]\r\nInterface=W627GPIO\r\nSection=Straps\r\nDescription=any chip\r\n"
      "[RevOurs]\r\nInterface=W627GPIO\r\nSection=Straps\r\nDescription=ours\r\nSIO=W83627DHG\r\n"
      "[Straps]\r\n0=GPIO30=InputHigh\r\n1=GPIO30=InputLow,GPIO31=InputHigh\r\n");
  {
    // The pins match for every revision: the first one without another chip wins.
    const TVersionControl version = Run(sio);
    EXPECT_EQ(version.Index(), 1);
    EXPECT_EQ(Rig.Lines.Console.back(), ">>> Ver Description = any chip");
    EXPECT_FALSE(Traced(">>> Ver Description = other chip"));
  }
  // Without the chip-free revision the one naming the detected chip is taken.
  WriteModel(
      "[VersionControl]\r\nv1=RevOther\r\nv3=RevOurs\r\n"
      "[RevOther]\r\nInterface=W627GPIO\r\nSection=Straps\r\nDescription=other chip\r\n"
      "SIO=W83627EHF\r\n"
      "[RevOurs]\r\nInterface=W627GPIO\r\nSection=Straps\r\nDescription=ours\r\nSIO=W83627DHG\r\n"
      "[Straps]\r\n1=GPIO30=InputLow,GPIO31=InputHigh\r\n");
  EXPECT_EQ(Run(sio).Index(), 1);
  EXPECT_EQ(Rig.Lines.Console.back(), ">>> Ver Description = ours");
  // A revision naming another chip never matches, however its pins read.
  WriteModel(
      "[VersionControl]\r\nv1=RevOther\r\n"
      "[RevOther]\r\nInterface=W627GPIO\r\nSection=Straps\r\nSIO=W83667HG\r\n"
      "[Straps]\r\n1=GPIO30=InputLow\r\n");
  EXPECT_EQ(Run(sio).Index(), -1);
}

TEST_F(VersionControl, WinbondRevisionsNeedADetectedSuperIo) {
  WriteModel(
      "[VersionControl]\r\nv1=Rev\r\n"
      "[Rev]\r\nInterface=W627GPIO\r\nSection=Straps\r\nDescription=any chip\r\n"
      "[Straps]\r\n1=GPIO30=InputLow,GPIO31=InputHigh\r\n");
  EXPECT_EQ(Run(DetectSio()).Index(), 0);
  const TVersionControl version = Run(nullptr);
  EXPECT_TRUE(version.IsPresent());
  EXPECT_EQ(version.Index(), -1);
}

TEST_F(VersionControl, IncompleteAndUnknownRevisionsAreSkipped) {
  WriteModel(
      "[VersionControl]\r\n"
      "a=RevNoInterface\r\nb=RevNoSection\r\nc=RevEmptyPins\r\nd=RevMissing\r\ne=RevNv\r\n"
      "f=RevLowerCase\r\ng=RevGood\r\n"
      "[RevNoInterface]\r\nSection=Pins\r\n"
      "[RevNoSection]\r\nInterface=ICHGPIO\r\n"
      "[RevEmptyPins]\r\nInterface=ICHGPIO\r\nSection=NoPins\r\n"
      "[NoPins]\r\n"
      "[RevNv]\r\nInterface=NVGPIO\r\nSection=Pins\r\n"
      "[RevLowerCase]\r\nInterface=ichgpio\r\nSection=Pins\r\n"
      "[RevGood]\r\nInterface=ICHGPIO\r\nSection=Pins\r\nDescription=good\r\n"
      "[Pins]\r\n1=GPIO14=InputHigh\r\n");
  const TVersionControl version = Run(nullptr);
  EXPECT_EQ(version.Index(), 6);
  EXPECT_EQ(Rig.Lines.Console.back(), ">>> Description = good");
  // Only the two unknown interfaces say so; the incomplete revisions pass silently.
  EXPECT_EQ(
      std::count(Rig.Lines.Console.begin(), Rig.Lines.Console.end(), ">>>  Unknown LL Interface"),
      2);
}

TEST_F(VersionControl, TheCmosFlagIsBitZeroOfRegister5A) {
  WriteModel("");
  TVersionControl version = Run(nullptr);
  TSimCmos& cmos = Rig.Machine->Cmos();
  for (const auto& [stored, flag] : std::vector<std::pair<uint8_t, int>>{
           {0x01, 1}, {0x00, 0}, {0xFE, 0}, {0xFF, 1}, {0x5B, 1}}) {
    cmos.SetByte(0x5A, stored);
    cmos.SetByte(0x5B, static_cast<uint8_t>(~stored));  // a neighbour that must not be read
    cmos.SetByte(0x59, static_cast<uint8_t>(~stored));
    Rig.Lines.Clear();
    EXPECT_EQ(version.CmosFlag(), flag) << int{stored};
    EXPECT_EQ(Rig.Lines.PortLines(),
              (std::vector<std::string>{"RW: IoBaseWriteByte 0x0070=0x5A",
                                        "RW: IoBaseReadByte 0x0071=" + HexByte(stored)}));
  }
}

}  // namespace

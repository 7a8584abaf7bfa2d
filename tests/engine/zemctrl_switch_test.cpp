// Switching energy saving on simulated boards: which interface and which command a model file
// selects, the power-scheme step, the state read back from the pins, the boot's GPIO backup, the
// persisted state and the record log.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "base/textfmt.h"
#include "base/trace.h"
#include "chips/gpiocontrol.h"
#include "engine/zemrecord.h"
#include "platform/cpu.h"
#include "tests/support/simcontext.h"
#include "tests/support/tracecapture.h"
#include "winpower/advreg.h"

namespace {

int Activations(const TSimContext& sim) {
  return static_cast<int>(
      std::count(sim.Power.Calls.begin(), sim.Power.Calls.end(), "PowerSetActiveScheme"));
}

bool IchPins(TSimContext& sim, const std::string& setting) {
  return CreateGpio(kGpioIch, *sim.Context().Rw, nullptr)->Matches(setting);
}

TEST(ZemSwitch, SingleVariantIchBoardSwitchesBothPinsWithOneScheme) {
  TTraceCapture console;
  TSimContext sim("p45-core2");  // ICH GPIO34: load line; GPIO35: the saving LED, lit low
  sim.WriteModelFile(
      "[LoadlineControl]\nInterface=ICHGPIO\nEnabled=GPIO34=Low\nDisabled=GPIO34=High\n"
      "[PsiControl]\nInterface=ICHGPIO\nEnabled=GPIO35=Low\nDisabled=GPIO35=High\n");
  ASSERT_TRUE(sim.Start());
  TZemCtrl& zem = sim.Zem();
  EXPECT_EQ(zem.LoadlineInterface(), kZemIchGpio);
  EXPECT_EQ(zem.PsiInterface(), kZemIchGpio);
  EXPECT_FALSE(zem.MultiVariant());
  EXPECT_EQ(zem.ReadStatus(), TZemCtrl::kStatusOff);

  zem.SwitchOn();
  EXPECT_EQ(Activations(sim), 1);
  EXPECT_EQ(sim.Power.ActiveName(), u"Korvan ZEM");
  EXPECT_TRUE(console.Has("Enabled CmdString = [GPIO35=Low]"));
  EXPECT_TRUE(IchPins(sim, "GPIO34=Low GPIO35=Low"));
  EXPECT_EQ(zem.Status(), TZemCtrl::kStatusOn);

  // Intel boards leave the scheme alone when switching off.
  zem.SwitchOff();
  EXPECT_EQ(Activations(sim), 1);
  EXPECT_EQ(sim.Power.ActiveName(), u"Korvan ZEM");
  EXPECT_TRUE(console.Has("Disabled CmdString = [GPIO35=High]"));
  EXPECT_TRUE(IchPins(sim, "GPIO34=High GPIO35=High"));
  EXPECT_EQ(zem.Status(), TZemCtrl::kStatusOff);
}

TEST(ZemSwitch, MultiVariantTakesTheFirstFittedVariant) {
  TTraceCapture console;
  TSimContext sim("x58-nehalem");  // Super I/O GPIO21: the load line
  sim.WriteModelFile(
      "[LoadlineControl]\nPresent0=0\nEnabled1=GPIO21=Low\nInterface0=ICHGPIO\n"
      "Enabled0=GPIO33=Low\nPresent1=1\nInterface1=W667GPIO\nDisabled1=GPIO21=High\n");
  ASSERT_TRUE(sim.Start());
  TZemCtrl& zem = sim.Zem();
  EXPECT_TRUE(console.Has("HasVersionControl = TRUE"));
  EXPECT_TRUE(zem.MultiVariant());
  EXPECT_EQ(zem.LoadlineInterface(), kZemW667Gpio);
  zem.SwitchOn();
  EXPECT_EQ(zem.Status(), TZemCtrl::kStatusOn);
  EXPECT_TRUE(IchPins(sim, "GPIO33=InputHigh"));  // variant 0's command was not run
  zem.SwitchOff();
  EXPECT_EQ(zem.Status(), TZemCtrl::kStatusOff);
}

TEST(ZemSwitch, DetectionSectionWithAnotherSuperIoIsNotFitted) {
  // Variant 0 is fitted by its pin table (ICH GPIO33 is strapped high) unless the section names
  // a Super I/O chip the board does not carry.
  for (const char* chip : {"W83667HG", "W83627DHG"}) {
    TSimContext sim("x58-nehalem");
    sim.WriteModelFile(std::string("[LoadlineControl]\nPresent0=Detect0\nInterface0=ICHGPIO\n"
                                   "Present1=1\nInterface1=W667GPIO\n"
                                   "[Detect0]\nSection=Straps\nInterface=ICHGPIO\nSIO=") +
                       chip + "\n[Straps]\n0=GPIO33=InputLow\n1=GPIO33=InputHigh\n");
    ASSERT_TRUE(sim.Start());
    EXPECT_EQ(sim.Zem().LoadlineInterface(),
              std::string(chip) == "W83667HG" ? kZemIchGpio : kZemW667Gpio)
        << chip;
  }
}

TEST(ZemSwitch, CmosFlagClearSelectsVariantZerosPsiCommand) {
  struct TCase {
    uint8_t Cmos;
    const char* Enable;
    const char* Command;
  };
  for (const TCase& c : {TCase{0x00, "1", "GPIO35=Low"}, TCase{0x01, "1", "GPIO35=Input"},
                         TCase{0x00, "0", "GPIO35=Input"}}) {
    TTraceCapture console;
    TSimContext sim("p45-core2");
    sim.Machine().Cmos().SetByte(0x5A, c.Cmos);
    sim.WriteModelFile(std::string("[CheckCMOS5A]\nEnable=") + c.Enable +
                       "\n[LoadlineControl]\nPresent0=1\nEnabled0=GPIO34=Low\n"
                       "Interface0=ICHGPIO\nDisabled0=GPIO34=High\n"
                       "[PsiControl]\nPresent0=0\nPresent2=1\nInterface2=ICHGPIO\n"
                       "Enabled0=GPIO35=Low\nEnabled2=GPIO35=Input\n");
    ASSERT_TRUE(sim.Start());
    sim.Zem().SwitchOn();
    EXPECT_TRUE(console.Has(std::string("Enabled CmdString = [") + c.Command + "]"))
        << "CMOS " << int(c.Cmos) << " Enable " << c.Enable;
  }
}

TEST(ZemSwitch, UnmatchedBoardRevisionReadsOff) {
  TTraceCapture console;
  TSimContext sim("p45-core2");
  sim.WriteModelFile(
      "[VersionControl]\nA=Rev3\n[Rev3]\nInterface=ICHGPIO\nSection=Rev3Pins\n"
      "[Rev3Pins]\n1=GPIO14=InputHigh\n"
      "[LoadlineControl]\nInterface=ICHGPIO\nEnabled=GPIO34=Low\nDisabled=GPIO34=High\n"
      "[LoadlineControl0]\nInterface=ICHGPIO\nEnabled=GPIO34=Low\n");
  ASSERT_TRUE(sim.Start());
  sim.Zem().SwitchOn();
  EXPECT_TRUE(IchPins(sim, "GPIO34=Low"));
  EXPECT_TRUE(console.Has(">>> Use Section [LoadlineControl-1]"));
  EXPECT_EQ(sim.Zem().Status(), TZemCtrl::kStatusOff);
}

const std::string kBackupBoard =
    "[BackupValue]\nGPIO=GPIO35\n"
    "[LoadlineControl]\nPresent0=1\nEnabled0=GPIO34=Low\nInterface0=ICHGPIO\n"
    "Disabled0=GPIO34=High\n";

TEST(ZemSwitch, GpioBackupIsTakenOncePerBoot) {
  TSimContext sim("p45-core2");
  sim.WriteModelFile(kBackupBoard);
  auto backup = [&]() -> std::string {
    const TFakeRegistry::TValue* value = sim.Registry.Find(kZemBackupKey, "GPIO35");
    return value != nullptr ? value->Text : "(none)";
  };
  ASSERT_TRUE(sim.Start());
  EXPECT_EQ(backup(), "GPIO35=High");
  EXPECT_TRUE(sim.Registry.Keys[kZemBackupKey].Volatile);

  // The pin changes; later runs of the same boot keep the first state.
  sim.Context().Gpio->ApplySetting(kGpioIch, "GPIO35=Low");
  sim.Stop();
  ASSERT_TRUE(sim.Start());
  EXPECT_EQ(backup(), "GPIO35=High");

  // After a restart the volatile key is gone and the pin's state now is saved.
  sim.Stop();
  sim.Registry.Restart();
  ASSERT_TRUE(sim.Start());
  EXPECT_EQ(backup(), "GPIO35=Low");
}

TEST(ZemSwitch, SwitchOffRestoresTheBackedUpPinInMultiVariantForm) {
  for (bool multi : {true, false}) {
    TSimContext sim("p45-core2");
    sim.WriteModelFile(multi ? kBackupBoard
                             : "[BackupValue]\nGPIO=GPIO35\n[LoadlineControl]\nInterface=ICHGPIO\n"
                               "Enabled=GPIO34=Low\nDisabled=GPIO34=High\n");
    ASSERT_TRUE(sim.Start());
    sim.Zem().SwitchOn();
    sim.Context().Gpio->ApplySetting(kGpioIch, "GPIO35=Low");
    sim.Zem().SwitchOff();
    EXPECT_TRUE(IchPins(sim, "GPIO34=High"));
    EXPECT_EQ(IchPins(sim, "GPIO35=High"), multi) << (multi ? "multi" : "single");
  }
}

TEST(ZemSwitch, AutoApplyNeedsTheSameProcessor) {
  const std::string board =
      "[LoadlineControl]\nInterface=ICHGPIO\nEnabled=GPIO34=Low\nDisabled=GPIO34=High\n"
      "[ZEM]\nAutoApply=1\nZemStatus=1\n";
  for (const char* cpuId : {"67191", "67190"}) {  // 0x10677 is the board's E7300
    const bool same = std::string(cpuId) == "67191";
    TSimContext sim("p45-core2");
    const std::string model = sim.WriteModelFile(board + "[Config]\nCpuID=" + cpuId + "\n");
    ASSERT_TRUE(sim.Start());
    EXPECT_EQ(sim.Zem().AutoApply, same) << cpuId;
    EXPECT_EQ(IchPins(sim, "GPIO34=Low"), same) << cpuId;
    EXPECT_EQ(Activations(sim), same ? 1 : 0);
    sim.Stop();
    const TIniFile stored(model);
    EXPECT_EQ(stored.ReadString("ZEM", "AutoApply", ""), same ? "1" : "0");
    EXPECT_EQ(stored.ReadString("ZEM", "ZemStatus", ""), "1");
  }
}

TEST(ZemSwitch, StatusAndAutoApplyAreStoredAtExit) {
  TSimContext sim("p45-core2");
  const std::string model = sim.WriteModelFile(
      "[LoadlineControl]\nInterface=ICHGPIO\nEnabled=GPIO34=Low\nDisabled=GPIO34=High\n");
  ASSERT_TRUE(sim.Start());
  EXPECT_FALSE(sim.Zem().AutoApply);
  sim.Zem().AutoApply = true;
  sim.Zem().SwitchOn();
  sim.Stop();
  const TIniFile stored(model);
  EXPECT_EQ(stored.ReadString("ZEM", "AutoApply", ""), "1");
  EXPECT_EQ(stored.ReadString("ZEM", "ZemStatus", ""), "1");
}

TEST(ZemSwitch, RecordLogHeadersByControlType) {
  for (int type : {1, 2, 4}) {
    TSimContext sim("p45-core2");
    sim.WriteModelFile(
        "[ZemControl]\nZemRecord=1\nConstantImon=0.5\nControlType=" + std::to_string(type) + "\n");
    ASSERT_TRUE(sim.Start());
    const std::string cpu =
        "CpuId=0x00010677, CpuType=" + HexDword(sim.Context().Cpu->GetCpuCode()) + "\r\n";
    sim.Stop();
    const std::string text = sim.ReadProgramFile(TZemCtrl::kRecordFileName);
    if (type == 1) {
      EXPECT_EQ(text, "SioImonVReg=36, ConstantImon=0.5, VImax=0, Izem=0, Wzem=0\r\n" + cpu);
    } else if (type == 2) {
      EXPECT_EQ(text, cpu);
    } else {
      EXPECT_EQ(text, cpu + "MaxVid=1.25\r\n");  // the E7300's top VID
    }
  }
}

TEST(ZemSwitch, RecordLogTickOfTheLinearModel) {
  TSimContext sim("p45-core2");
  sim.WriteModelFile(
      "[SioHwmSetting]\nSioVcoreReg=0x20\nSioVcoreR2=1\n"
      "[ZemControl]\nZemRecord=1\nControlType=2\nVR11_Div_Off=2\n"
      "VR11_VImon_Off=1\nVR11_W_Off=1\n");
  ASSERT_TRUE(sim.Start());
  const std::string header = sim.ReadProgramFile(TZemCtrl::kRecordFileName);
  sim.Tick();
  TZemCtrl& zem = sim.Zem();
  const float vcore = sim.Context().Hwm->GetVcore();
  const std::string expected =
      "ZEM Off, VR11, Vid=" + RecordNumber(zem.Vid()) + ", Vcore=" + RecordNumber(vcore) +
      ", VImon=" + RecordNumber(zem.VImon()) + ", Izem=" + RecordNumber(zem.Izem()) + "\r\n" +
      "Wzem=" + RecordNumber(vcore * zem.Izem()) + " Wzem(Adjusted)=" + RecordNumber(zem.Wzem()) +
      " Wzem(Average)=" + RecordNumber(zem.Wzem()) + "\r\n" +
      "DeltaV=0, Wsaving=0, Phase=4\r\n\r\n";
  sim.Stop();
  EXPECT_EQ(sim.ReadProgramFile(TZemCtrl::kRecordFileName), header + expected);
}

}  // namespace

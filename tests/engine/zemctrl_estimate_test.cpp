// The engine's per-tick power and saving models on simulated boards. Each expectation is worked
// out from the inputs the engine itself read on that tick (the current-monitor voltage, the
// monitor's Vcore, the VID), with coefficients chosen so that each branch of the model is taken.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "base/trace.h"
#include "engine/cfg.h"
#include "platform/versioncontrol.h"
#include "tests/support/simcontext.h"
#include "tests/support/tracecapture.h"

namespace {

// Vcore from CPUVCORE (8 mV a count) and the regulator's current monitor on VIN1.
const std::string kMonitor =
    "[SioHwmSetting]\nSioVcoreReg=0x20\nSioVcoreR2=1\nSioImonVReg=0x24\n"
    "[SioHwmSetting_ITE]\nSioVcoreReg=0x20\nSioVcoreR2=1\nSioImonVReg=0x21\n";
// The LQ-P45D3's load line on ICH GPIO34 (driven low for energy saving).
const std::string kIchLoadline =
    "[LoadlineControl]\nInterface=ICHGPIO\nEnabled=GPIO34=Low\nDisabled=GPIO34=High\n";

float Vcore(TSimContext& sim) {
  return sim.Context().Hwm->GetVcore();
}

TEST(ZemEstimate, NoControlSectionGivesTheCurrentMonitorDefaults) {
  TSimContext sim("p45-core2");
  sim.WriteModelFile(kMonitor);
  ASSERT_TRUE(sim.Start());
  EXPECT_EQ(sim.Zem().ControlType(), 1);
  EXPECT_EQ(sim.Zem().PhaseSwitch(), 1);
  sim.Tick();
  // ConstantImon 1: VImon is the raw register; VIidle starts at 256 and drops to it, so g = 0 and
  // the current is Aidle (5 A).
  EXPECT_EQ(sim.Zem().VImon(), static_cast<float>(sim.Context().Hwm->ReadRegister(0x24)));
  EXPECT_FLOAT_EQ(sim.Zem().Izem(), 5.0f);
  EXPECT_FLOAT_EQ(sim.Zem().Wzem(), Vcore(sim) * 5.0f);
  EXPECT_EQ(sim.Zem().Wsaving(), 0.0f);  // no PSI on an Intel board
  EXPECT_EQ(sim.Zem().PhaseCount(), 4);
}

TEST(ZemEstimate, CurrentMonitorCurveAboveIdle) {
  for (int type : {1, 5}) {
    TSimContext sim("p45-core2");
    sim.WriteModelFile(kMonitor + "[ZemControl]\nControlType=" + std::to_string(type) +
                       "\nConstantImon=0.008\nConstant1=40\nConstant2=0.01\nAidle=3\n");
    ASSERT_TRUE(sim.Start());
    sim.Tick();
    const float idle = sim.Zem().VImon();
    sim.SetLoad(60);  // busy, but below the 80 % at which the peaks stand in
    sim.Tick();
    const float vimon = sim.Zem().VImon();
    ASSERT_GT(vimon, idle);
    const float g = (vimon - idle) * 40.0f;
    const float izem = g * (1 - 0.01f * g) + 3.0f;
    EXPECT_FLOAT_EQ(sim.Zem().Izem(), izem) << "type " << type;
    EXPECT_FLOAT_EQ(sim.Zem().Wzem(), Vcore(sim) * izem);
    EXPECT_EQ(sim.Zem().PhaseCount(), type == 5 ? 3 : 4);
  }
}

TEST(ZemEstimate, LinearModelUsesTheRegulatorSetBoundsAndVidFactors) {
  TSimContext sim("p45-core2");  // Core 2 (family 6): the VR11 set
  sim.WriteModelFile(kMonitor + kIchLoadline +
                     "[ZemControl]\nControlType=2\nConstantImon=0.01\nZemOnVidFactor=1\n"
                     "VR11_VImon_Off=20\nVR11_Vcore_Off=2\nVR11_Vid_Off=3\nVR11_Offset_Off=1\n"
                     "VR11_Div_Off=0.5\nVR11_W_Off=1.5\nVR11_W_Offset_Off=2\nVR11_Wmax_Off=30\n"
                     "VR11_VImon_On=10\nVR11_Vcore_On=1\nVR11_Vid_On=1\nVR11_Offset_On=99\n"
                     "VR11_Div_On=2\nVR11_W_On=1\nVR11_W_Offset_On=-1\nVR11_Wmin_On=4\n"
                     "VR11_Vid_DeltaV=0.1\nVR11_IOn_DeltaV=0.01\nVR11_Offset_DeltaV=-0.05\n"
                     "VR11_Wsaving_Min=0.5\nVR10_W_P2_Wsaving=0.2\nVR10_DeltaW_P2_Wsaving=3\n"
                     "VR11_W_P2_Wsaving=7\nPhase1_Izem=1\nPhase4_Izem=100\n"
                     "[ZemOnVidFactor]\n1.3=5\n1.2=0.25\n1.1=9\n");
  ASSERT_TRUE(sim.Start());
  TZemCtrl& zem = sim.Zem();
  sim.Tick();
  ASSERT_EQ(zem.Status(), TZemCtrl::kStatusOff);
  float vimon = zem.VImon(), vid = zem.Vid(), vcore = Vcore(sim);
  float izem = (vimon * 20 + vcore * 2 + vid * 3 + 1) / 0.5f;
  EXPECT_FLOAT_EQ(zem.Izem(), izem);
  EXPECT_FLOAT_EQ(zem.Wzem(), std::min(vcore * izem * 1.5f + 2, 30.0f));
  EXPECT_EQ(zem.Wsaving(), 0.0f);
  EXPECT_EQ(zem.PhaseCount(), 4);

  zem.SwitchOn();
  ASSERT_EQ(zem.Status(), TZemCtrl::kStatusOn);
  sim.Tick();
  vimon = zem.VImon(), vid = zem.Vid(), vcore = Vcore(sim);
  ASSERT_FLOAT_EQ(vid, 1.25f);  // between the keys 1.3 and 1.2: the factor of 1.2 replaces 99
  izem = (vimon * 10 + vcore * 1 + vid * 1 + 0.25f) / 2;
  EXPECT_FLOAT_EQ(zem.Izem(), izem);
  EXPECT_FLOAT_EQ(zem.Wzem(), std::max(vcore * izem * 1 - 1, 4.0f));
  // Two phases between the thresholds; the phase coefficients come from the VR10 keys.
  const float deltaV = vid * 0.1f + izem * 0.01f - 0.05f;
  EXPECT_EQ(zem.PhaseCount(), 2);
  EXPECT_FLOAT_EQ(zem.Wsaving(), std::max(vcore * izem * 0.2f + izem * deltaV * 3, 0.5f));
}

TEST(ZemEstimate, VidFactorBelowEveryKeyIsZero) {
  TSimContext sim("p45-core2");
  sim.WriteModelFile(kMonitor + kIchLoadline +
                     "[ZemControl]\nControlType=2\nZemOnVidFactor=1\nVR11_Div_On=1\n"
                     "VR11_W_On=1\nVR11_Offset_On=50\n[ZemOnVidFactor]\n1.4=5\n1.3=7\n");
  ASSERT_TRUE(sim.Start());
  sim.Zem().SwitchOn();
  sim.Tick();
  EXPECT_EQ(sim.Zem().Izem(), 0.0f);  // every other coefficient is 0
}

TEST(ZemEstimate, SquareRootModelAndItsFloors) {
  TSimContext sim("p45-core2");
  sim.WriteModelFile(kMonitor + kIchLoadline +
                     "[ZemControl]\nControlType=3\nConstantImon=0.01\nConstant1=4\nConstant2=2\n"
                     "Constant3=1\nConstant4=1\nConstant5=1\nConstant6=0.5\nConstant7=10\n"
                     "Constant8=0.2\nConstant9=0.001\nConstant10=0\nConstant11=500\n"
                     "Constant12=1\nConstant13=7\n");
  ASSERT_TRUE(sim.Start());
  TZemCtrl& zem = sim.Zem();
  sim.Tick();
  float vimon = zem.VImon();
  float izem = (std::sqrt(4 - (1 - vimon * 1) * 2 / 1) - 0.5f) * 10;
  EXPECT_FLOAT_EQ(zem.Izem(), izem);
  EXPECT_FLOAT_EQ(zem.Wzem(), Vcore(sim) * izem);  // above the off floor C12
  EXPECT_EQ(zem.Wsaving(), 0.0f);

  zem.SwitchOn();
  sim.Tick();
  vimon = zem.VImon();
  izem = (std::sqrt(4 - (1 - vimon * 1) * 2 / 1) - 0.5f) * 10;
  EXPECT_FLOAT_EQ(zem.Izem(), izem);
  EXPECT_EQ(zem.Wzem(), 500.0f);  // raised to the on floor C11
  EXPECT_FLOAT_EQ(zem.Wsaving(), izem * (0.2f - izem * 0.001f));
}

TEST(ZemEstimate, SquareRootBelowThresholdAndAveraging) {
  TSimContext sim("p45-core2");
  sim.WriteModelFile(kMonitor + kIchLoadline +
                     "[ZemControl]\nControlType=3\nWzemAverage=1\nConstant10=100000\n"
                     "Constant11=20\nConstant12=10\nConstant13=1.25\n");
  ASSERT_TRUE(sim.Start());
  TZemCtrl& zem = sim.Zem();
  // Below C10 the power is C12 (off) or C11 (on); the reported value is the ring's mean.
  sim.Tick();
  EXPECT_EQ(zem.Izem(), 0.0f);
  EXPECT_FLOAT_EQ(zem.Wzem(), 10.0f);
  zem.SwitchOn();
  sim.Tick();
  EXPECT_FLOAT_EQ(zem.Wzem(), 15.0f);
  EXPECT_EQ(zem.Wsaving(), 1.25f);  // C13
  sim.Tick();
  EXPECT_FLOAT_EQ(zem.Wzem(), 50.0f / 3);
  zem.SwitchOff();
  sim.Tick();
  EXPECT_FLOAT_EQ(zem.Wzem(), 15.0f);
}

// Control types 4 and 10: (Vid - Vcore) / divisor, the divisor picked by the regulator type, the
// VID against the maximum VID and the state. Each divisor constant is a distinct power of two so
// the result tells which one was used.
struct TDivisorCase {
  const char* Board;
  int Type;
  bool On;
  const char* Extra;
  float Divisor;
};

TEST(ZemEstimate, VidMinusVcoreDivisorChoices) {
  const std::string divisors =
      "Constant1=2\nConstant2=4\nConstant3=8\nConstant4=16\nConstant5=32\nConstant6=64\n"
      "Constant7=128\nConstant8=256\nConstant10=1000\nConstant12=1000\nConstant9=-7\n"
      "Constant11=-7\nConstant14=-100\n";
  const std::vector<TDivisorCase> cases = {
      {"p45-core2", 4, false, "", 4},     // VR11, Vid at the maximum: C2
      {"p45-core2", 4, true, "", 64},     // ... on: C6
      {"x58-nehalem", 4, false, "", 2},   // VR11, Vid below the maximum: C1
      {"x58-nehalem", 10, true, "", 32},  // ... on: C5
      {"am2-k8", 4, false, "", 16},       // VR10 at the maximum, C21 = 0: C4
      {"am2-k8", 4, false, "Constant21=512\n", 512},
      {"am2-k8", 4, true, "Constant22=1024\n", 1024},
      {"am2-k8", 4, true, "", 256},  // C22 = 0: C8
  };
  for (const TDivisorCase& c : cases) {
    SCOPED_TRACE(std::string(c.Board) + " type " + std::to_string(c.Type) +
                 (c.On ? " on" : " off") + " " + c.Extra);
    TSimContext sim(c.Board);
    sim.WriteModelFile(kMonitor + "[ZEM]\nZemStatus=" + (c.On ? "1" : "2") +
                       "\n[ZemControl]\nControlType=" + std::to_string(c.Type) + "\n" + divisors +
                       c.Extra);
    ASSERT_TRUE(sim.Start());
    sim.Tick();
    const float izem = (sim.Zem().Vid() - Vcore(sim)) / c.Divisor;
    EXPECT_FLOAT_EQ(sim.Zem().Izem(), izem);
    // Below zero the power becomes C9 (off) or C11 (on); no other bound applies here.
    const float wzem = Vcore(sim) * izem;
    EXPECT_FLOAT_EQ(sim.Zem().Wzem(), wzem >= 0 ? wzem : -7.0f);
    EXPECT_EQ(sim.Zem().PhaseCount(), 4);
  }
}

TEST(ZemEstimate, VidMinusVcoreBounds) {
  // Type 10 off: a power below 7.5 W becomes C9, then at most C10, and on VR10 at least C14.
  {
    TSimContext sim("am2-k8");
    sim.WriteModelFile(kMonitor +
                       "[ZemControl]\nControlType=10\nConstant4=1000\nConstant9=30\n"
                       "Constant10=20\nConstant14=5\n");
    ASSERT_TRUE(sim.Start());
    sim.Tick();
    ASSERT_LT(Vcore(sim) * sim.Zem().Izem(), 7.5f);
    EXPECT_EQ(sim.Zem().Wzem(), 20.0f);
  }
  {
    TSimContext sim("am2-k8");
    sim.WriteModelFile(kMonitor +
                       "[ZemControl]\nControlType=10\nConstant4=1000\nConstant9=1\n"
                       "Constant10=20\nConstant14=5\n");
    ASSERT_TRUE(sim.Start());
    sim.Tick();
    EXPECT_EQ(sim.Zem().Wzem(), 5.0f);
  }
  // Type 4 on: a negative power becomes C11, a large one is capped at C12; the saving is C13 of it.
  for (const char* divisor : {"-0.001", "0.0001"}) {
    TSimContext sim("am2-k8");
    sim.WriteModelFile(kMonitor + "[ZEM]\nZemStatus=1\n[ZemControl]\nControlType=4\nConstant8=" +
                       divisor + "\nConstant11=3\nConstant12=60\nConstant13=0.25\n");
    ASSERT_TRUE(sim.Start());
    sim.Tick();
    const float expected = divisor[0] == '-' ? 3.0f : 60.0f;
    EXPECT_EQ(sim.Zem().Wzem(), expected);
    EXPECT_FLOAT_EQ(sim.Zem().Wsaving(), expected * 0.25f);
  }
}

TEST(ZemEstimate, ThreeSegmentModel) {
  TSimContext sim("p45-core2");
  sim.WriteModelFile(kMonitor + kIchLoadline +
                     "[ZemControl]\nControlType=6\nConstantImon=0.01\nConstant1=0.1\n"
                     "Constant2=0.05\nConstant3=1000\nConstant6=0.2\nConstant7=0.02\n"
                     "Constant8=0.002\nConstant9=0.01\nConstant10=1\nConstant11=0.1\n"
                     "Constant12=0.3\nConstant13=5\nConstant14=2\nConstant15=77\nConstant16=77\n");
  ASSERT_TRUE(sim.Start());
  TZemCtrl& zem = sim.Zem();
  sim.Tick();
  float vimon = zem.VImon(), vcore = Vcore(sim);
  float izem = (vimon - 0.2f) / 0.02f;  // off: C6 and C7 (no board version control)
  EXPECT_FLOAT_EQ(zem.Izem(), izem);
  EXPECT_FLOAT_EQ(zem.Wzem(), std::max(vcore * izem, 1.0f));
  EXPECT_EQ(zem.Wsaving(), 0.0f);
  EXPECT_EQ(zem.PhaseCount(), 8);

  zem.SwitchOn();
  sim.Tick();
  vimon = zem.VImon(), vcore = Vcore(sim);
  ASSERT_GE(vimon, 0.3f);
  ASSERT_LT(vimon, 5.0f);
  izem = (vimon - 0.1f) / 0.05f;  // below C3: the first segment, C1 and C2
  EXPECT_FLOAT_EQ(zem.Izem(), izem);
  EXPECT_FLOAT_EQ(zem.Wzem(), std::max(vcore * izem, 2.0f));
  // The saving is the current times the voltage the saving load line takes off, DeltaV = Izem x
  // C8 + C9; the processor's own power (Vcore x Izem) is not saved.
  EXPECT_FLOAT_EQ(zem.Wsaving(), izem * (izem * 0.002f + 0.01f));
  EXPECT_LT(zem.Wsaving(), zem.Wzem());
  EXPECT_EQ(zem.PhaseCount(), 4);  // VImon between C12 and C13
}

TEST(ZemEstimate, ThreeSegmentWithoutVoltageReductionSavesNothing) {
  // C8 = C9 = 0: the load line takes nothing off, so a positive current saves nothing at all
  // (the estimate once counted Vcore x Izem, the whole processor power, as saved).
  TSimContext sim("p45-core2");
  sim.WriteModelFile(kMonitor + kIchLoadline +
                     "[ZEM]\nZemStatus=1\n[ZemControl]\nControlType=6\nConstantImon=0.01\n"
                     "Constant1=0.1\nConstant2=0.05\nConstant3=1000\nConstant6=0.2\n"
                     "Constant7=0.02\nConstant11=0.1\nConstant12=0.3\nConstant13=5\n");
  ASSERT_TRUE(sim.Start());
  sim.Zem().SwitchOn();
  sim.Tick();
  ASSERT_GT(sim.Zem().Izem(), 0.0f);
  EXPECT_EQ(sim.Zem().Wsaving(), 0.0f);
  EXPECT_GT(sim.Zem().Wzem(), 0.0f);
}

// The two watts of a model without current are a saving of energy saving: none while it is off.
TEST(ZemEstimate, ThreeSegmentNoCurrentSavesTwoWattsOnlyWhileOn) {
  for (const char* status : {"1", "2"}) {
    TSimContext sim("p45-core2");
    sim.WriteModelFile(kMonitor + "[ZEM]\nZemStatus=" + status +
                       "\n[ZemControl]\nControlType=6\nConstant1=100000\nConstant2=1\n"
                       "Constant3=100000\nConstant6=100000\nConstant7=1\n");
    ASSERT_TRUE(sim.Start());
    sim.Tick();
    EXPECT_LT(sim.Zem().Izem(), 0.0f);
    EXPECT_EQ(sim.Zem().Wsaving(), status[0] == '1' ? 2.0f : 0.0f) << "status " << status;
  }
}

// "inf" in the model file is no number: ConstantImon keeps its default instead of turning every
// current into 0 (whose two-watt rule then credited a saving every tick with energy saving off).
TEST(ZemEstimate, NonFiniteCoefficientsTakeTheirDefault) {
  for (const char* text : {"inf", "-infinity", "nan", "INF"}) {
    TSimContext sim("p45-core2");
    sim.WriteModelFile(kMonitor + "[ZemControl]\nControlType=6\nConstantImon=" + text +
                       "\nConstant2=1\nConstant3=1000\nConstant7=1\n");
    ASSERT_TRUE(sim.Start());
    sim.Tick();
    EXPECT_TRUE(sim.Zem().EstimateAvailable()) << text;
    // ConstantImon's default of 1: VImon is the raw register.
    EXPECT_EQ(sim.Zem().VImon(), static_cast<float>(sim.Context().Hwm->ReadRegister(0x24))) << text;
    EXPECT_EQ(sim.Zem().Wsaving(), 0.0f) << text;  // energy saving is off
  }
}

// No Super I/O (DisableSuperIo=1): the monitor has no ports and every register reads 0xFF. That
// is no reading: no Vcore, no power, and nothing for the energy totals.
TEST(ZemEstimate, WithoutAMonitorThereIsNoEstimateAndNothingToAdd) {
  TTraceCapture console;
  TSimContext sim("x58-nehalem");
  sim.WriteModelFile(TSimContext::ReadFile(std::string(KORZEM_SOURCE_DIR) + "/data/ATX58R.ini"));
  TIniFile(sim.ProgramDirectory() + "/KorZem.ini").WriteString("Config", "DisableSuperIo", "1");
  ASSERT_TRUE(sim.Start());
  ASSERT_FALSE(sim.Context().Hwm->Available());
  for (int tick = 0; tick < 3; ++tick) {
    if (tick == 1) sim.Zem().SwitchOn();
    sim.Tick();
    EXPECT_EQ(Vcore(sim), -1.0f);
    EXPECT_FALSE(sim.Zem().EstimateAvailable()) << "tick " << tick;
    EXPECT_EQ(sim.Zem().Wzem(), 0.0f) << "tick " << tick;
    EXPECT_EQ(sim.Zem().Izem(), 0.0f) << "tick " << tick;
    EXPECT_EQ(sim.Zem().Wsaving(), 0.0f) << "tick " << tick;
  }
  EXPECT_TRUE(console.HasStart("Vcore not available"));
}

// A key that is no number used to read as 0 and match every VID; "1.2abc" read as 1.2.
TEST(ZemEstimate, VidFactorKeysThatAreNoNumbersAreSkipped) {
  TTraceCapture console;
  TSimContext sim("p45-core2");
  sim.WriteModelFile(kMonitor + kIchLoadline +
                     "[ZemControl]\nControlType=2\nZemOnVidFactor=1\nVR11_Div_On=1\n"
                     "VR11_Offset_On=50\n"
                     "[ZemOnVidFactor]\nbogus=5\n1.2abc=7\nnan=8\n1.3=oops\n1.2=0.25\n");
  ASSERT_TRUE(sim.Start());
  sim.Zem().SwitchOn();
  sim.Tick();
  ASSERT_FLOAT_EQ(sim.Zem().Vid(), 1.25f);
  EXPECT_FLOAT_EQ(sim.Zem().Izem(), 0.25f);  // only the key 1.2 applies; the rest is 0
  for (const char* line : {"ZemOnVidFactor bogus=5 is not a number, skipped",
                           "ZemOnVidFactor 1.2abc=7 is not a number, skipped",
                           "ZemOnVidFactor nan=8 is not a number, skipped",
                           "ZemOnVidFactor 1.3=oops is not a number, skipped"})
    EXPECT_TRUE(console.Has(line)) << line;
}

TEST(ZemEstimate, ThreeSegmentVersionVariantConstants) {
  // Board version control lists two revisions; the LQ-P45D3's strap (ICH GPIO14 low) selects the
  // second (index 1), whose offsets are C15 (on) and C16 (off).
  const std::string model =
      kMonitor +
      "[VersionControl]\nA=Rev1\nB=Rev2\n[Rev1]\nInterface=ICHGPIO\nSection=Rev1Pins\n"
      "[Rev1Pins]\n1=GPIO14=InputHigh\n[Rev2]\nInterface=ICHGPIO\nSection=Rev2Pins\n"
      "[Rev2Pins]\n1=GPIO14=InputLow\n"
      "[ZemControl]\nControlType=6\nConstantImon=0.01\nConstant1=0.1\nConstant2=0.05\n"
      "Constant3=1000\nConstant6=0.2\nConstant7=0.02\nConstant15=0.15\nConstant16=0.25\n";
  for (const char* status : {"1", "2"}) {
    TSimContext sim("p45-core2");
    sim.WriteModelFile(model + "[ZEM]\nZemStatus=" + status + "\n");
    ASSERT_TRUE(sim.Start());
    ASSERT_EQ(sim.Context().Version->Index(), 1);
    sim.Tick();
    const float vimon = sim.Zem().VImon();
    const float expected = status[0] == '1' ? (vimon - 0.15f) / 0.05f : (vimon - 0.25f) / 0.02f;
    EXPECT_FLOAT_EQ(sim.Zem().Izem(), expected) << "status " << status;
  }
}

TEST(ZemEstimate, ZeroDivisorMakesTheEstimateUnavailable) {
  TTraceCapture console;
  TSimContext sim("p45-core2");
  sim.WriteModelFile(kMonitor + "[ZemControl]\nControlType=2\nVR11_VImon_Off=1\nVR11_W_Off=1\n");
  ASSERT_TRUE(sim.Start());
  sim.Tick();
  EXPECT_FALSE(sim.Zem().EstimateAvailable());
  EXPECT_EQ(sim.Zem().Izem(), 0.0f);
  EXPECT_EQ(sim.Zem().Wzem(), 0.0f);
  EXPECT_TRUE(console.HasStart("Izem is not a finite number"));
}

TEST(ZemEstimate, ZeroDivisorKeepsTheStoredTotalsFinite) {
  TSimContext sim("p45-core2");
  const std::string model = sim.WriteModelFile(
      kMonitor + kIchLoadline +
      "[ZemControl]\nControlType=6\nConstant2=0\nConstant5=0\nConstant7=0\nConstant3=1\n");
  ASSERT_TRUE(sim.Start());
  TZemContext& context = sim.Context();
  // The window's integration over ten one-second ticks, on and off.
  for (int tick = 0; tick < 10; ++tick) {
    if (tick == 5) sim.Zem().SwitchOn();
    sim.Tick();
    EXPECT_FALSE(sim.Zem().EstimateAvailable()) << "tick " << tick;
    context.Cfg->ConsumesKJ += sim.Zem().Wzem() * 1000 * 0.001 * 0.001;
    context.Cfg->TotalKJ += sim.Zem().Wsaving() * 1000 * 0.001f * 0.001f;
    context.Cfg->DurationKJ += sim.Zem().Wsaving() * 1000 * 0.001f * 0.001f;
  }
  sim.Stop();
  const TIniFile stored(model);
  for (const char* key : {"TotalKJ", "ConsumesKJ"}) {
    const std::string text = stored.ReadString("Config", key, "");
    ASSERT_FALSE(text.empty()) << key;
    EXPECT_TRUE(std::isfinite(std::stod(text))) << key << "=" << text;
  }
}

}  // namespace

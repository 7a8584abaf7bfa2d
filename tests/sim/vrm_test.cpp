#include "sim/vrm.h"

#include <gtest/gtest.h>

#include <cmath>

#include "sim/pcibus.h"
#include "sim/pinwiring.h"
#include "sim/workload.h"
#include "superio_testboard.h"

namespace {

using namespace simchips;

// A one-core 2 GHz processor with a fixed VID and round coefficients, so that every output can be
// worked out by hand.
constexpr const char* RoundVrm =
    "[VRM]\nVidVolts=1.2\nLeakageAmpsPerVolt=5\nCdynNanofarad=5\nHaltShare=0\n"
    "LoadLineMilliohm=2\nLoadLineSavingMilliohm=3\nSavingOffsetMillivolt=25\n"
    "ImonOffset=0.3\nImonGain=0.02\nPhases=4\nPhasesPsi=1\nPsiMaxAmps=15\n"
    "PhaseSwitchingWatts=0.5\nPhaseMilliohm=4\nControllerWatts=0.2\n"
    "NetLoadLine=VR.LOADLINE\nNetLoadLineActive=Low\nNetPsi=VR.PSI\nNetPsiActive=Low\n";

// p35-core2: the Winbond monitor at 0x290 (Vcore register 0x20, current monitor on VIN1,
// register 0x24, 8 mV steps), the ICH9's GP_LVL2 at 0x4B8 (GPIO 33 on VR.PSI) and the Super
// I/O's GPIO 24 on VR.LOADLINE (LDN 9, direction 0xE3, data 0xE4, bit 4).
constexpr uint16_t P35Hwm = 0x290;

void P35SavingPins(TSimMachine& m, bool on) {
  const uint32_t level = m.PortIn(0x4B8, 4);
  m.PortOut(0x4B8, 4, on ? level & ~0x2u : level | 0x2u);
  WinbondEnter(m, 0x2E);
  ConfigWrite(m, 0x2E, 0x07, 9);
  ConfigWrite(m, 0x2E, 0xE4, ConfigRead(m, 0x2E, 0xE4) & ~0x10);
  const uint8_t direction = ConfigRead(m, 0x2E, 0xE3);
  ConfigWrite(m, 0x2E, 0xE3, on ? direction & ~0x10 : direction | 0x10);  // output low, or input
  WinbondExit(m, 0x2E);
}

void SetCore2PState(TSimMachine& m, uint16_t ratioAndVid) {
  for (uint32_t core = 0; core < m.CpuCount(); ++core) {
    m.SelectCpu(core);
    ASSERT_TRUE(m.WriteMsr(0x199, ratioAndVid));
  }
  m.SelectCpu(0);
}

std::unique_ptr<TSimMachine> Shipped(const std::string& name) {
  std::string error;
  auto machine = CreateSimMachine(name, BoardsDir, &error);
  EXPECT_NE(machine, nullptr) << error;
  return machine;
}

TEST(SimVrm, OutputsFollowTheLoadModel) {
  auto m = Board(RoundVrm);
  ASSERT_NE(m, nullptr);
  TSimVrm* vrm = FindSimVrm(*m);
  ASSERT_NE(vrm, nullptr);
  // Half load: K = 5 + 5 nF x 2 GHz x 0.5 = 10 A/V, I = 10 x 1.2 / (1 + 10 x 0.002).
  SimWorkload(*m).SetFixed(50);
  TSimVrmReading r = vrm->Read();
  EXPECT_DOUBLE_EQ(r.VidVolts, 1.2);
  EXPECT_NEAR(r.Amps, 12 / 1.02, 1e-9);
  EXPECT_NEAR(r.Vcore, 1.2 - 0.002 * 12 / 1.02, 1e-12);
  EXPECT_NEAR(r.ImonVolts, 0.3 + 0.02 * 12 / 1.02, 1e-12);
  EXPECT_NEAR(r.ProcessorWatts, r.Vcore * r.Amps, 1e-12);
  EXPECT_NEAR(r.RegulatorLossWatts, 0.2 + 4 * 0.5 + r.Amps * r.Amps * 0.004 / 4, 1e-12);
  EXPECT_EQ(r.Phases, 4u);
  EXPECT_FALSE(r.Psi);
  EXPECT_FALSE(r.LoadLineSaving);

  // Idle leaves the leakage alone (HaltShare 0): K = 5.
  SimWorkload(*m).SetFixed(0);
  r = vrm->Read();
  EXPECT_NEAR(r.Amps, 6 / 1.01, 1e-9);
  // Full load: K = 15.
  SimWorkload(*m).SetFixed(100);
  const TSimVrmReading full = vrm->Read();
  EXPECT_NEAR(full.Amps, 18 / 1.03, 1e-9);
  EXPECT_LT(full.Vcore, r.Vcore);
  EXPECT_GT(full.ImonVolts, r.ImonVolts);
}

// The loss model against figures worked out by hand (0.2 W controller, 0.5 W per running phase,
// 4 mOhm per phase), at two operating points.
TEST(SimVrm, InputPowerIsTheProcessorsPowerPlusTheRegulatorsLosses) {
  auto m = Board(RoundVrm);
  ASSERT_NE(m, nullptr);
  TSimVrm& vrm = *FindSimVrm(*m);
  // Half load on four phases: I = 11.7647 A, Vcore = 1.17647 V, 13.8408 W into the processor;
  // losses 0.2 + 4 x 0.5 + 11.7647^2 x 0.004 / 4 = 2.3384 W.
  SimWorkload(*m).SetFixed(50);
  TSimVrmReading r = vrm.Read();
  EXPECT_NEAR(r.ProcessorWatts, 13.840830, 1e-6);
  EXPECT_NEAR(r.RegulatorLossWatts, 2.338408, 1e-6);
  EXPECT_NEAR(r.InputWatts, 16.179239, 1e-6);
  // Idle with PSI on one phase: I = 5.9406 A, 7.0581 W; losses 0.2 + 0.5 + 5.9406^2 x 0.004 =
  // 0.8412 W. On all four phases the same current would cost 2.2353 W.
  SimWorkload(*m).SetFixed(0);
  SimWiring(*m).SetPull("VR.PSI", false);
  r = vrm.Read();
  EXPECT_EQ(r.Phases, 1u);
  EXPECT_NEAR(r.ProcessorWatts, 7.058132, 1e-6);
  EXPECT_NEAR(r.RegulatorLossWatts, 0.841163, 1e-6);
  EXPECT_NEAR(r.InputWatts, 7.899294, 1e-6);
  EXPECT_NEAR(SimVrmLossWatts(vrm.Settings(), r.Amps, 4), 2.235291, 1e-6);
  // No phase running is still counted as one, so a reading can never divide by zero.
  EXPECT_DOUBLE_EQ(SimVrmLossWatts(vrm.Settings(), 0, 0), 0.2 + 0.5);
}

TEST(SimVrm, LoadLineInputSelectsTheSavingDroopAndOffset) {
  auto m = Board(RoundVrm);
  ASSERT_NE(m, nullptr);
  TSimVrm& vrm = *FindSimVrm(*m);
  TSimPinWiring& wiring = SimWiring(*m);
  SimWorkload(*m).SetFixed(100);  // K = 15 A/V
  const TSimVrmReading normal = vrm.Read();
  // The VID-minus-Vcore estimate rests on this: the droop is exactly R x I.
  EXPECT_NEAR((normal.VidVolts - normal.Vcore) / 0.002, normal.Amps, 1e-9);

  wiring.SetPull("VR.LOADLINE", false);
  const TSimVrmReading saving = vrm.Read();
  EXPECT_TRUE(saving.LoadLineSaving);
  EXPECT_DOUBLE_EQ(saving.LoadLineOhms, 0.003);
  // The set point drops by 25 mV and the steeper line takes 3 mOhm x I more.
  EXPECT_NEAR(saving.Amps, 15 * 1.175 / 1.045, 1e-9);
  EXPECT_NEAR(saving.Vcore, 1.175 - 0.003 * saving.Amps, 1e-12);
  EXPECT_LT(saving.Vcore, normal.Vcore);
  EXPECT_LT(saving.ProcessorWatts, normal.ProcessorWatts);
  // High is the inactive level.
  wiring.SetPull("VR.LOADLINE", true);
  EXPECT_DOUBLE_EQ(vrm.Read().Vcore, normal.Vcore);
}

TEST(SimVrm, PsiShedsPhasesOnlyAtLightLoad) {
  auto m = Board(RoundVrm);
  ASSERT_NE(m, nullptr);
  TSimVrm& vrm = *FindSimVrm(*m);
  TSimPinWiring& wiring = SimWiring(*m);
  struct TCase {
    double Load;
    bool Psi;
    uint32_t Phases;
  };
  // Light load draws about 6 A, heavy about 17.5 A, against PsiMaxAmps 15.
  for (const TCase& c :
       {TCase{0, false, 4}, TCase{0, true, 1}, TCase{100, false, 4}, TCase{100, true, 4}}) {
    SCOPED_TRACE(testing::Message() << "load " << c.Load << " PSI " << c.Psi);
    SimWorkload(*m).SetFixed(c.Load);
    wiring.SetPull("VR.PSI", !c.Psi);
    const TSimVrmReading r = vrm.Read();
    EXPECT_EQ(r.Psi, c.Psi);
    EXPECT_EQ(r.Phases, c.Phases);
    EXPECT_NEAR(r.RegulatorLossWatts, 0.2 + c.Phases * 0.5 + r.Amps * r.Amps * 0.004 / c.Phases,
                1e-12);
  }
  // What the phases change is the regulator's own loss, not the processor's power.
  SimWorkload(*m).SetFixed(0);
  wiring.SetPull("VR.PSI", true);
  const TSimVrmReading all = vrm.Read();
  wiring.SetPull("VR.PSI", false);
  const TSimVrmReading one = vrm.Read();
  EXPECT_LT(one.RegulatorLossWatts, all.RegulatorLossWatts);
  EXPECT_DOUBLE_EQ(one.ProcessorWatts, all.ProcessorWatts);
}

TEST(SimVrm, P35MonitorRegistersFollowLoadAndPState) {
  auto m = Shipped("p35-core2");
  ASSERT_NE(m, nullptr);
  TSimVrm& vrm = *FindSimVrm(*m);
  TSimWorkload& workload = SimWorkload(*m);
  EXPECT_EQ(workload.Load(0), TSimWorkload::IdlePercent);

  const TSimVrmReading idle = vrm.Read();
  const uint8_t idleVcore = MonitorRead(*m, P35Hwm, 0x20);
  const uint8_t idleImon = MonitorRead(*m, P35Hwm, 0x24);
  EXPECT_DOUBLE_EQ(idle.VidVolts, 1.25);  // VID 0x22
  EXPECT_EQ(idleVcore, std::lround(idle.Vcore / 0.008));
  EXPECT_EQ(idleImon, std::lround(idle.ImonVolts / 0.008));

  workload.SetFixed(100);
  const TSimVrmReading full = vrm.Read();
  EXPECT_GT(full.Amps, 3 * idle.Amps);
  EXPECT_LT(MonitorRead(*m, P35Hwm, 0x20), idleVcore);
  EXPECT_GT(MonitorRead(*m, P35Hwm, 0x24), idleImon + 40);

  // The low P-state, ratio 6 at VID 0x16: a lower VID and a slower clock draw less.
  SetCore2PState(*m, 0x0616);
  const TSimVrmReading low = vrm.Read();
  EXPECT_DOUBLE_EQ(low.VidVolts, 1.1);
  EXPECT_LT(low.Amps, 0.7 * full.Amps);
  EXPECT_LT(MonitorRead(*m, P35Hwm, 0x24), std::lround(full.ImonVolts / 0.008));
  EXPECT_LT(MonitorRead(*m, P35Hwm, 0x20), std::lround(full.Vcore / 0.008));
  // One core back at the top: the shared plane follows the higher VID.
  m->SelectCpu(0);
  ASSERT_TRUE(m->WriteMsr(0x199, 0x0A22));
  EXPECT_DOUBLE_EQ(vrm.Read().VidVolts, 1.25);
}

TEST(SimVrm, P35SavingPinsLowerVcoreAndPhases) {
  auto m = Shipped("p35-core2");
  ASSERT_NE(m, nullptr);
  TSimVrm& vrm = *FindSimVrm(*m);
  TSimWorkload& workload = SimWorkload(*m);

  // Light load: saving on sheds phases and lowers Vcore.
  const TSimVrmReading lightOff = vrm.Read();
  P35SavingPins(*m, true);
  const TSimVrmReading lightOn = vrm.Read();
  EXPECT_EQ(lightOff.Phases, 4u);
  EXPECT_TRUE(lightOn.Psi && lightOn.LoadLineSaving);
  EXPECT_EQ(lightOn.Phases, 1u);
  EXPECT_LT(lightOn.Vcore, lightOff.Vcore);
  EXPECT_LE(MonitorRead(*m, P35Hwm, 0x20), std::lround(lightOff.Vcore / 0.008));

  // Heavy load: all phases run again, and the steeper line takes a visible bite of Vcore.
  workload.SetFixed(100);
  const TSimVrmReading heavyOn = vrm.Read();
  const uint8_t heavyOnCode = MonitorRead(*m, P35Hwm, 0x20);
  EXPECT_EQ(heavyOn.Phases, 4u);
  P35SavingPins(*m, false);
  const TSimVrmReading heavyOff = vrm.Read();
  EXPECT_FALSE(heavyOff.Psi || heavyOff.LoadLineSaving);
  EXPECT_GT(heavyOff.Vcore - heavyOn.Vcore, 0.025);
  EXPECT_GE(MonitorRead(*m, P35Hwm, 0x20), heavyOnCode + 3);
}

// The estimates the engine forms from register bytes recover the simulated current: from the
// current monitor at any load, and from VID minus Vcore once the droop spans several ADC steps.
TEST(SimVrm, RegisterBytesGiveTheCurrentWithinTenPercent) {
  auto m = Shipped("p35-core2");
  ASSERT_NE(m, nullptr);
  TSimVrm& vrm = *FindSimVrm(*m);
  const TSimVrmSettings& s = vrm.Settings();
  for (bool saving : {false, true}) {
    P35SavingPins(*m, saving);
    for (double load : {2.0, 25.0, 60.0, 100.0}) {
      SCOPED_TRACE(testing::Message() << "load " << load << " saving " << saving);
      SimWorkload(*m).SetFixed(load);
      const TSimVrmReading r = vrm.Read();
      const double imon = MonitorRead(*m, P35Hwm, 0x24) * 0.008;
      EXPECT_NEAR((imon - s.ImonOffsetVolts) / s.ImonVoltsPerAmp, r.Amps, 0.1 * r.Amps);
      if (load >= 60) {
        const double vcore = MonitorRead(*m, P35Hwm, 0x20) * 0.008;
        EXPECT_NEAR((r.VidVolts - vcore) / r.LoadLineOhms, r.Amps, 0.1 * r.Amps);
      }
    }
  }
}

TEST(SimVrm, AmdFamily10hAssertsPsiAtOrBelowThePsiVid) {
  auto m = Shipped("am2p-phenom");
  ASSERT_NE(m, nullptr);
  TSimVrm& vrm = *FindSimVrm(*m);
  const auto setPState = [&](uint32_t core, uint64_t pstate) {
    m->SelectCpu(core);
    ASSERT_TRUE(m->WriteMsr(0xC0010062, pstate));
    m->SelectCpu(0);
  };
  EXPECT_DOUBLE_EQ(vrm.Read().VidVolts, 1.55 - 0.0125 * 0x12);
  // PSI VID 0x16 enabled, as the program computes it from P1's VID 0x1A.
  m->Pci().ConfigWrite(0, 0x18, 3, 0xA0, 1, 0x80 | 0x16);
  EXPECT_FALSE(vrm.Read().Psi);  // every core in P0
  for (uint32_t core = 0; core < 4; ++core) setPState(core, 3);
  TSimVrmReading r = vrm.Read();
  EXPECT_DOUBLE_EQ(r.VidVolts, 1.55 - 0.0125 * 0x2C);
  EXPECT_TRUE(r.Psi);
  EXPECT_EQ(r.Phases, 1u);
  // A single core back in P0 raises the plane above the PSI VID.
  setPState(2, 0);
  EXPECT_FALSE(vrm.Read().Psi);
  setPState(2, 1);  // VID 0x1A, below the PSI voltage
  EXPECT_TRUE(vrm.Read().Psi);
  // Disabled again.
  m->Pci().ConfigWrite(0, 0x18, 3, 0xA0, 1, 0);
  EXPECT_FALSE(vrm.Read().Psi);
}

TEST(SimVrm, AmdFamily0FhVidFollowsFidVidStatus) {
  auto m = Shipped("am2-k8");
  ASSERT_NE(m, nullptr);
  TSimVrm& vrm = *FindSimVrm(*m);
  const TSimVrmReading top = vrm.Read();
  EXPECT_DOUBLE_EQ(top.VidVolts, 1.35);  // VID 8
  // FID 2 (1 GHz) at VID 0x12 on both cores, with InitFidVid.
  for (uint32_t core = 0; core < 2; ++core) {
    m->SelectCpu(core);
    ASSERT_TRUE(m->WriteMsr(0xC0010041, 0x12ull << 8 | 0x02 | 1ull << 16));
  }
  const TSimVrmReading low = vrm.Read();
  EXPECT_DOUBLE_EQ(low.VidVolts, 1.1);
  EXPECT_LT(low.Amps, 0.6 * top.Amps);
  EXPECT_LT(low.ImonVolts, top.ImonVolts);
}

TEST(SimVrm, ShippedBoardsDriveTheirMonitorInputs) {
  struct TRow {
    const char* Board;
    const char* VcoreInput;
    const char* ImonInput;
  };
  for (const TRow& row :
       {TRow{"p35-core2", "CPUVCORE", "VIN1"}, TRow{"x58-nehalem", "CPUVCORE", "VIN1"},
        TRow{"p45-core2", "CPUVCORE", "VIN1"}, TRow{"am2-k8", "CPUVCORE", "VIN1"},
        TRow{"am2p-phenom", "VIN0", "VIN4"}, TRow{"tr900-phenom", "VIN0", "VIN4"}}) {
    SCOPED_TRACE(row.Board);
    auto m = Shipped(row.Board);
    ASSERT_NE(m, nullptr);
    TSimVrm* vrm = FindSimVrm(*m);
    ASSERT_NE(vrm, nullptr);
    TSimAnalogInputs& inputs = SimMonitorInputs(*m);
    for (double load : {2.0, 100.0}) {
      SimWorkload(*m).SetFixed(load);
      const TSimVrmReading r = vrm->Read();
      EXPECT_DOUBLE_EQ(inputs.Value(row.VcoreInput).value_or(-1), r.Vcore);
      EXPECT_DOUBLE_EQ(inputs.Value(row.ImonInput).value_or(-1), r.ImonVolts);
      EXPECT_GT(r.Vcore, 0.9);
      EXPECT_LT(r.ImonVolts, 2.0);  // inside every monitor's range
    }
  }
  // The Pentium 4 board has no monitor and no regulator.
  auto p4 = Shipped("p4-netburst");
  ASSERT_NE(p4, nullptr);
  EXPECT_EQ(FindSimVrm(*p4), nullptr);
}

TEST(SimVrm, StateFileKeepsWhatTheOutputsFollow) {
  auto m = Shipped("p35-core2");
  ASSERT_NE(m, nullptr);
  P35SavingPins(*m, true);
  SetCore2PState(*m, 0x0616);
  std::string error;
  ASSERT_TRUE(SimWorkload(*m).SetScript({5, 40, 90}, 1000, false, &error)) << error;
  m->Clock().Advance(1500);  // tick 1
  const TSimVrmReading before = FindSimVrm(*m)->Read();
  TSimState state;
  m->SaveState(state);

  auto restored = Shipped("p35-core2");
  ASSERT_NE(restored, nullptr);
  const TSimVrmReading fresh = FindSimVrm(*restored)->Read();
  ASSERT_TRUE(restored->LoadState(state, &error)) << error;
  const TSimVrmReading after = FindSimVrm(*restored)->Read();
  EXPECT_NE(fresh.Amps, after.Amps);
  EXPECT_DOUBLE_EQ(after.Amps, before.Amps);
  EXPECT_DOUBLE_EQ(after.Vcore, before.Vcore);
  EXPECT_EQ(after.Phases, before.Phases);
  EXPECT_TRUE(after.Psi && after.LoadLineSaving);
  EXPECT_EQ(SimWorkload(*restored).Load(0), 40);
  restored->Clock().Advance(1000);
  EXPECT_EQ(SimWorkload(*restored).Load(0), 90);
}

TEST(SimVrm, BrokenSectionsNameFileSectionAndKey) {
  struct TCase {
    std::string Sections;
    std::string Expected;
  };
  const TCase cases[] = {
      {"[VRM]\nVidVolts=1.2\nPhase=4\n", "[VRM] Phase: unknown key"},
      {"[VRM]\nVidVolts=1.2\nLoadLineMilliohm=abc\n", "[VRM] LoadLineMilliohm: 'abc'"},
      {"[VRM]\nVidVolts=1.2\nPhases=2\nPhasesPsi=3\n", "[VRM] PhasesPsi: more than Phases"},
      {"[VRM]\nVidVolts=1.2\nPhases=2.5\n", "[VRM] Phases: '2.5' is not a whole number"},
      {"[VRM]\nVidVolts=1.2\nNetPsi=VR PSI\n", "[VRM] NetPsi: 'VR PSI' is no net name"},
      {"[VRM]\nVidVolts=1.2\nNetPsiActive=Up\n", "[VRM] NetPsiActive: expected High or Low"},
      {"[VRM]\nImonGain=0.02\n", "no VID registers the regulator knows; set VidVolts"},
      {"[VRM]\nVidVolts=1.2\nProcessorPsi=1\n", "needs an AMD family 10h processor"},
      {"[VRM]\nVidVolts=1.2\nVcoreInput=CPUVCORE\n", "[VRM] VcoreInput: the board's monitor"},
      {"[SuperIO]\nChip=W83627DHG\nPort=0x2E\n[VRM]\nVidVolts=1.2\nImonInput=VIN9\n",
       "has no input VIN9"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Sections);
    std::string error;
    EXPECT_EQ(Board(c.Sections, &error), nullptr);
    EXPECT_NE(error.find(c.Expected), std::string::npos) << error;
  }
}

}  // namespace

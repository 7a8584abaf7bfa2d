// The ITE monitor against a register double, and THwm's choice between the two monitors.
#include <gtest/gtest.h>

#include "hwmrig.h"

namespace {

using hwmtest::TFixedPort;
using hwmtest::THwmRig;
using siotest::TConfigChip;

constexpr auto kIte = TConfigChip::TFamily::Ite;

// Vcore direct on 0x20; 3.3 V behind 1k/1k on 0x22; 5 V behind 3k/2k on 0x23; 12 V behind 5k/1k on
// 0x24.
const char* const kRails =
    "[SioHwmSetting_ITE]\nSioVcoreReg=0x20\nSioVcoreR2=1\nSioVcoreOffset=0.02\n"
    "Sio3VReg=0x22\nSio3VR1=1\nSio3VR2=1\n"
    "Sio5VReg=0x23\nSio5VR1=3\nSio5VR2=2\n"
    "Sio12VReg=0x24\nSio12VR1=5\nSio12VR2=1\n";

class HwmIte : public ::testing::Test {
 protected:
  HwmIte() : Rig(kIte) {
    auto& m = Rig.Monitor;
    m.At(0, 0x20) = 75;   // 1.2 V + offset
    m.At(0, 0x22) = 103;  // 3.296 V
    m.At(0, 0x23) = 125;  // 5.0 V
    m.At(0, 0x24) = 125;  // 12.0 V
    m.At(0, 0x29) = 50;   // CPU
    m.At(0, 0x2A) = 0;    // board sensor absent
  }

  TIteHwm& Make(const std::string& model = kRails) {
    Rig.WriteModel(model);
    Monitor = std::make_unique<TIteHwm>(Context);
    return *Monitor;
  }

  THwmRig Rig;
  THwmContext Context = Rig.Context();
  std::unique_ptr<TIteHwm> Monitor;
};

TEST_F(HwmIte, DetectsTheSuperIoAgainAndFindsLogicalDevice4) {
  const TSio* before = Rig.Sio.get();
  Rig.Lines.Clear();
  TIteHwm& hwm = Make("[SioHwmSetting_ITE]\nSioImonVReg=0x21\n");
  EXPECT_EQ(Rig.NewSioCalls, 1);
  ASSERT_NE(Rig.Sio.get(), nullptr);
  EXPECT_NE(Rig.Sio.get(), before);
  EXPECT_EQ(Rig.Sio->Name, "IT8720F");
  ASSERT_FALSE(Rig.Lines.Console.empty());
  EXPECT_EQ(Rig.Lines.Console.front(), "<<<< ITE HWM >>>>");
  EXPECT_EQ(hwm.IndexPort, 0x0295);
  EXPECT_EQ(hwm.DataPort, 0x0296);
  EXPECT_EQ(hwm.ImonReg, 0x21);
  EXPECT_EQ(hwm.GpuPort, -1);
  EXPECT_EQ(hwm.GpuTemp, -1);
  EXPECT_EQ(hwm.GpuTempF, -1);
  EXPECT_EQ(hwm.VcoreOffset0, -1.0f);
}

TEST_F(HwmIte, RevisionSpecificVcoreOffsets) {
  const std::string model = std::string(kRails) + "SioVcoreOffset0=0.1\nSioVcoreOffset1=0.05\n";
  struct TCase {
    int32_t Revision;
    const std::string& Model;
    float Offset;
  };
  const std::string withoutOffset1 = std::string(kRails) + "SioVcoreOffset0=0.1\n";
  for (const TCase& c : {TCase{-1, model, 0.02f}, TCase{0, model, 0.1f}, TCase{1, model, 0.05f},
                         TCase{2, model, 0.02f}, TCase{1, withoutOffset1, 0.02f}}) {
    Context.RevisionIndex = c.Revision;
    EXPECT_FLOAT_EQ(Make(c.Model).VcoreIn.Offset, c.Offset) << "revision " << c.Revision;
  }
  Monitor->RefreshVcore();
  EXPECT_FLOAT_EQ(Monitor->Vcore, 1.22f);
}

TEST_F(HwmIte, FullRefresh) {
  TFixedPort gpu;
  gpu.Value = 14000;
  ASSERT_TRUE(Rig.Machine->Ports().Claim(0x2A0, 2, &gpu, "test-gpu"));
  auto& m = Rig.Monitor;
  m.At(0, 0x18) = 0x02;  // CPU fan: 0x02A6 = 678 counts
  m.At(0, 0x0D) = 0xA6;
  m.At(0, 0x19) = 0xFF;  // chassis fan: 0xFFFF, stopped
  m.At(0, 0x0E) = 0xFF;
  m.At(0, 0x1A) = 0x00;  // northbridge fan: 0x0087
  m.At(0, 0x0F) = 0x87;
  TIteHwm& hwm = Make(std::string(kRails) +
                      "[GpuTempConfig]\nIoPort=0x2A0\n"
                      "[FanConfig]\nCPUFAN=Cpu\nCHASSISFAN=Chassis\nCHASSIS2FAN=Nb\nNBFAN=Nb\n"
                      "POWERFAN=Nb\n"
                      "[Cpu]\nReadingMsbReg=0x18\nReadingLsbReg=0x0D\nDivisor=2\n"
                      "[Chassis]\nReadingMsbReg=0x19\nReadingLsbReg=0x0E\nDivisor=2\n"
                      "[Nb]\nReadingMsbReg=0x1A\nReadingLsbReg=0x0F\nDivisor=1\n");
  hwm.Refresh();
  EXPECT_EQ(hwm.CpuTemp, 50);
  EXPECT_EQ(hwm.CpuTempF, 122);
  EXPECT_EQ(hwm.BoardTemp, -1);
  EXPECT_EQ(hwm.BoardTempF, 31);
  // Fans 3 and 5 are not read even with a record.
  EXPECT_EQ(hwm.Fans, (std::array<int32_t, 5>{1000, 0, 0, 10044, 0}));
  EXPECT_FLOAT_EQ(hwm.Vcore, 1.22f);
  EXPECT_FLOAT_EQ(hwm.V3_3, 3.296f);
  EXPECT_FLOAT_EQ(hwm.V5, 5.0f);
  EXPECT_FLOAT_EQ(hwm.V12, 12.0f);
  EXPECT_FLOAT_EQ(hwm.PeakVcore, 1.22f);
  EXPECT_EQ(hwm.GpuTemp, 42);
  EXPECT_EQ(hwm.GpuTempF, 107);
  EXPECT_EQ(gpu.Reads, 1);

  m.At(0, 0x20) = 70;
  hwm.Refresh();
  EXPECT_FLOAT_EQ(hwm.Vcore, 1.14f);
  EXPECT_FLOAT_EQ(hwm.PeakVcore, 1.22f);
}

TEST_F(HwmIte, AGpuPortBeyondSixteenBitsIsNone) {
  TFixedPort gpu;
  gpu.Value = 14000;
  ASSERT_TRUE(Rig.Machine->Ports().Claim(0x2A0, 2, &gpu, "test-gpu"));
  TIteHwm& hwm = Make(std::string(kRails) + "[GpuTempConfig]\nIoPort=0x102A0\n");
  EXPECT_EQ(hwm.GpuPort, -1);
  hwm.Refresh();
  EXPECT_EQ(hwm.GpuTemp, -1);
  EXPECT_EQ(gpu.Reads, 0);
}

TEST_F(HwmIte, FansReadZeroWithoutFanConfig) {
  Rig.Monitor.At(0, 0x18) = 0x02;
  Rig.Monitor.At(0, 0x0D) = 0xA6;
  TIteHwm& hwm = Make();
  hwm.Refresh();
  EXPECT_EQ(hwm.Fans, (std::array<int32_t, 5>{}));
  EXPECT_EQ(hwm.GpuTemp, -1);  // no GPU port configured
}

TEST_F(HwmIte, HeavyLoadOnAmdShowsThePeakVcore) {
  Context.AmdProcessor = true;
  Context.CpuLoad = [] { return 95.0; };
  TIteHwm& hwm = Make();
  hwm.Refresh();
  Rig.Monitor.At(0, 0x20) = 60;
  hwm.Refresh();
  EXPECT_FLOAT_EQ(hwm.Vcore, 1.22f);
}

TEST_F(HwmIte, RefreshVcoreKeepsTheLargestAsAlternateAndRejectsZero) {
  TIteHwm& hwm = Make();
  Rig.Lines.Clear();
  hwm.RefreshVcore();
  EXPECT_FLOAT_EQ(hwm.Vcore, 1.22f);
  EXPECT_FLOAT_EQ(hwm.AltVcore, 1.22f);
  Rig.Monitor.At(0, 0x20) = 70;
  hwm.RefreshVcore();
  EXPECT_FLOAT_EQ(hwm.Vcore, 1.14f);
  EXPECT_FLOAT_EQ(hwm.AltVcore, 1.22f);
  EXPECT_EQ(Rig.Lines.Console, (std::vector<std::string>{"SioVcoreReg:0x20", "SioVcoreReg:0x20"}));

  Rig.Lines.Clear();
  TIteHwm& zero = Make("[SioHwmSetting_ITE]\nSioVcoreReg=0x20\nSioVcoreR2=1\n");
  Rig.Monitor.At(0, 0x20) = 0;
  Rig.Lines.Clear();
  zero.RefreshVcore();
  EXPECT_EQ(zero.Vcore, -1.0f);
  EXPECT_EQ(zero.AltVcore, 0.0f);
  EXPECT_EQ(Rig.Lines.Console, (std::vector<std::string>{"SioVcoreReg:0x20", "Can't read VcoreV"}));

  // Without R2 the formula has no value at all; that is no voltage either.
  TIteHwm& unset = Make("");
  unset.RefreshVcore();
  EXPECT_EQ(unset.Vcore, -1.0f);
}

TEST_F(HwmIte, RefreshVcoreNoOffsetWritesVcore) {
  TIteHwm& hwm = Make();
  hwm.RefreshVcoreNoOffset();
  EXPECT_FLOAT_EQ(hwm.Vcore, 1.2f);
  EXPECT_EQ(hwm.VcoreNoOffset, 0.0f);
}

TEST_F(HwmIte, CpuFanControl) {
  auto& m = Rig.Monitor;
  m.At(0, 0x13) = 0x70;
  TIteHwm& hwm = Make("");
  uint8_t target = 0;
  uint8_t value = 0;
  EXPECT_FALSE(hwm.GetCpuFanControl(target, value));
  m.Writes.clear();
  hwm.SetCpuFanControl(55, 0x40, true);
  EXPECT_EQ(m.Writes, (std::vector<std::string>{"b0 13=71", "b0 15=80", "b0 60=9F", "b0 61=37",
                                                "b0 62=37", "b0 63=40", "b0 64=08"}));
  EXPECT_TRUE(hwm.GetCpuFanControl(target, value));
  EXPECT_EQ(target, 55);
  EXPECT_EQ(value, 0x40);

  // No record read and no range tracking on this chip.
  int32_t minRpm = 5;
  int32_t maxRpm = 6;
  TSensorRecord record;
  const int accesses = m.DataAccesses;
  hwm.TrackCpuFanRange(minRpm, maxRpm);
  hwm.RefreshInto(&record);
  EXPECT_EQ(m.DataAccesses, accesses);
  EXPECT_EQ(minRpm, 5);
  EXPECT_EQ(maxRpm, 6);
  EXPECT_EQ(record.Vcore, 0.0f);
}

// --- THwm ---

TEST(Hwm, BuildsTheWinbondMonitorForAnyOtherVendor) {
  THwmRig rig(TConfigChip::TFamily::Winbond);
  rig.Monitor.At(0, 0x20) = 140;
  rig.Monitor.At(0, 0x24) = 0x5A;
  rig.WriteModel("[SioHwmSetting]\nSioVcoreReg=0x20\nSioVcoreR2=1\n");
  rig.Lines.Clear();
  THwm hwm(rig.Context());
  ASSERT_NE(hwm.Monitor(), nullptr);
  EXPECT_EQ(hwm.Monitor()->Name, "Winbond");
  EXPECT_EQ(rig.Lines.Console.front(), "Super IO Vender Winbond");
  hwm.RefreshVcore();
  EXPECT_FLOAT_EQ(hwm.GetVcore(), 1.12f);
  EXPECT_EQ(hwm.GetAlternateVcore(), 0.0f);
  EXPECT_EQ(hwm.ReadRegister(0x24), 0x5A);
  hwm.SetVcore(1.4f);
  EXPECT_EQ(hwm.GetVcore(), 1.4f);
}

TEST(Hwm, BuildsTheIteMonitorForVendorIte) {
  THwmRig rig(kIte);
  rig.WriteModel(kRails);
  rig.Monitor.At(0, 0x20) = 75;
  rig.Lines.Clear();
  THwm hwm(rig.Context());
  ASSERT_NE(hwm.Monitor(), nullptr);
  EXPECT_EQ(hwm.Monitor()->Name, "ITE");
  const auto& console = rig.Lines.Console;
  ASSERT_GE(console.size(), 3u);
  EXPECT_EQ(console.front(), "Super IO Vender ITE");
  EXPECT_EQ(console[1], "<<<< ITE HWM >>>>");
  EXPECT_EQ(console.back(), "....ITE OK");
  hwm.RefreshVcore();
  EXPECT_FLOAT_EQ(hwm.GetVcore(), 1.22f);
  EXPECT_FLOAT_EQ(hwm.GetAlternateVcore(), 1.22f);
}

// No Super I/O found (or DisableSuperIo): the monitor has no ports, reads 0xFF everywhere, and
// must report that as no reading rather than compute a Vcore of 2.040 V from it.
TEST(Hwm, AMonitorWithoutPortsReadsAsNotAvailable) {
  for (const auto family : {TConfigChip::TFamily::Winbond, kIte}) {
    THwmRig rig(family, /*detect=*/false);
    rig.WriteModel(kRails);
    THwm hwm(rig.Context());
    ASSERT_NE(hwm.Monitor(), nullptr);
    IHwm& m = *hwm.Monitor();
    EXPECT_FALSE(m.HasPorts());
    EXPECT_FALSE(hwm.Available());
    hwm.RefreshVcore();
    EXPECT_EQ(hwm.GetVcore(), -1.0f);
    EXPECT_EQ(hwm.GetAlternateVcore(), -1.0f);
    hwm.SetVcore(1.3f);  // the engine's load rule cannot make a reading of it either
    EXPECT_EQ(hwm.GetVcore(), -1.0f);
    m.Refresh();
    EXPECT_EQ(m.Vcore, -1.0f);
    EXPECT_EQ(m.V12, -1.0f);
    EXPECT_EQ(m.CpuTemp, -1);
    EXPECT_EQ(m.Fans[0], 0);
    m.RefreshVcoreNoOffset();
    EXPECT_TRUE(m.VcoreNoOffset < 0 || m.Vcore < 0);
    uint8_t target = 0, value = 0;
    EXPECT_FALSE(m.GetCpuFanControl(target, value));
    EXPECT_EQ(rig.Monitor.DataAccesses, 0);
  }
}

TEST(Hwm, WithoutAMonitor) {
  THwm hwm;
  hwm.RefreshVcore();
  hwm.SetVcore(1.0f);
  EXPECT_EQ(hwm.GetVcore(), -1.0f);
  EXPECT_EQ(hwm.GetAlternateVcore(), -1.0f);
  EXPECT_EQ(hwm.ReadRegister(0x24), 255);
  EXPECT_EQ(hwm.SensorReport(), std::vector<std::string>{"Monitor: none"});
}

TEST(Hwm, SensorReportShowsTheRecordAndTheEnginesReadings) {
  THwmRig rig(TConfigChip::TFamily::Winbond);
  auto& m = rig.Monitor;
  m.At(0, 0x20) = 150;
  m.At(0, 0x24) = 0x5A;
  m.At(0, 0x27) = 40;
  m.At(1, 0x50) = 55;
  m.At(0, 0x29) = 135;
  // The rails have no divider here: a model file without R2 gives "not available" (-1).
  rig.WriteModel("[SioHwmSetting]\nSioVcoreReg=0x20\nSioVcoreR2=1\nSioVcoreOffset=0.01\n");
  THwm hwm(rig.Context());
  const std::vector<std::string> lines = hwm.SensorReport();
  const std::vector<std::string> expected = {
      "Monitor: Winbond", "IndexPort: 0x0295",
      "DataPort: 0x0296", "Fan1: 10044",
      "Fan2: 0",          "Fan4: 0",
      "Fan5: 0",          "Fan3: 0",
      "CpuTemp: 55",      "CpuTempF: 131",
      "BoardTemp: 40",    "BoardTempF: 104",
      "GpuTemp: -1",      "GpuTempF: -1",
      "Vcore: 1.210",     "V3.3: -1.000",
      "V5: -1.000",       "V12: -1.000",
      "PeakVcore: 1.210", "RefreshVcore: 1.210",
      "AltVcore: 0.000",  "ImonReg: 36 (0x24)",
      "ImonByte: 0x5A",
  };
  EXPECT_EQ(lines, expected);
}

}  // namespace

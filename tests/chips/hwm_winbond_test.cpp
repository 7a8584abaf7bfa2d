// The Winbond monitor against a register double: banks, the full read, fans, CPU-fan control.
#include <gtest/gtest.h>

#include "hwmrig.h"

namespace {

using hwmtest::TFixedPort;
using hwmtest::THwmRig;
using siotest::TConfigChip;

constexpr auto kWinbond = TConfigChip::TFamily::Winbond;

// Vcore direct on bank 0 register 0x20; 3.3 V behind 34k/34k on 0x22; 5 V behind 34k/51k on 0x23;
// 12 V behind 56k/10k on bank 5 register 0x51.
const char* const kRails =
    "[SioHwmSetting]\nSioVcoreReg=0x20\nSioVcoreR2=1\n"
    "Sio3VReg=0x22\nSio3VR1=34\nSio3VR2=34\n"
    "Sio5VReg=0x23\nSio5VR1=34\nSio5VR2=51\n"
    "Sio12VBank=5\nSio12VReg=0x51\nSio12VR1=56\nSio12VR2=10\n";

class HwmWinbond : public ::testing::Test {
 protected:
  HwmWinbond() : Rig(kWinbond) {
    auto& m = Rig.Monitor;
    m.At(0, 0x4E) = 0x80;  // high-byte access bit, which a bank switch must keep
    m.At(0, 0x20) = 140;   // 1.12 V
    m.At(0, 0x22) = 206;
    m.At(0, 0x23) = 200;
    m.At(5, 0x51) = 227;
    m.At(0, 0x27) = 40;  // board
    m.At(1, 0x50) = 55;  // CPU
  }

  TWinbondHwm& Make(const std::string& model = kRails) {
    Rig.WriteModel(model);
    Monitor = std::make_unique<TWinbondHwm>(Context);
    return *Monitor;
  }
  // The data writes other than bank switches.
  std::vector<std::string> RegisterWrites() const {
    std::vector<std::string> writes;
    for (const std::string& w : Rig.Monitor.Writes)
      if (w.find(" 4E=") == std::string::npos) writes.push_back(w);
    return writes;
  }

  THwmRig Rig;
  THwmContext Context = Rig.Context();
  std::unique_ptr<TWinbondHwm> Monitor;
};

TEST_F(HwmWinbond, FindsTheMonitorBehindLogicalDevice11) {
  TWinbondHwm& hwm = Make("[SioHwmSetting]\nSioImonVReg=0x25\n");
  EXPECT_EQ(hwm.IndexPort, 0x0295);
  EXPECT_EQ(hwm.DataPort, 0x0296);
  EXPECT_EQ(hwm.ImonReg, 0x25);
  EXPECT_EQ(hwm.AltVcore, 0.0f);
  EXPECT_EQ(Rig.Lines.Console.back(), "HWMIndex = [0295], HWMData = [0296]");
  EXPECT_EQ(Rig.NewSioCalls, 0);  // only the ITE monitor detects again

  EXPECT_EQ(Make("").ImonReg, 36);
}

TEST_F(HwmWinbond, FullRefreshReadsEverySensorInItsBank) {
  auto& m = Rig.Monitor;
  // Fan 1: count 135, divisor field 1 of 0x47 = 1. Fan 2: count 200, field 2, third bit in 0x5D.
  m.At(0, 0x29) = 135;
  m.At(0, 0x28) = 200;
  m.At(0, 0x47) = 0x60;
  m.At(0, 0x5D) = 0x20;
  m.At(0, 0x3F) = 255;  // fan 3 stopped
  m.At(5, 0x53) = 100;  // fan 4 in bank 5, divisor field 1 from 0x59
  m.At(0, 0x59) = 0x04;
  m.At(5, 0x59) = 0xFF;  // the divisors live in bank 0 only
  m.At(0, 0x2A) = 0;     // fan 5 absent

  TWinbondHwm& hwm = Make();
  hwm.Refresh();
  EXPECT_EQ(hwm.BoardTemp, 40);
  EXPECT_EQ(hwm.BoardTempF, 104);
  EXPECT_EQ(hwm.CpuTemp, 55);
  EXPECT_EQ(hwm.CpuTempF, 131);
  EXPECT_EQ(hwm.Fans, (std::array<int32_t, 5>{5022, 105, 0, 6780, 0}));
  EXPECT_FLOAT_EQ(hwm.Vcore, 1.12f);
  EXPECT_FLOAT_EQ(hwm.V3_3, 3.296f);
  EXPECT_FLOAT_EQ(hwm.V5, 200.0f * 85 / (51 * 125));
  EXPECT_FLOAT_EQ(hwm.V12, 11.9856f);
  EXPECT_FLOAT_EQ(hwm.PeakVcore, 1.12f);
  EXPECT_EQ(hwm.GpuTemp, -1);  // no GPU port on this monitor
  EXPECT_EQ(m.At(0, 0x4E) & 0xF8, 0x80);

  m.At(0, 0x20) = 150;
  hwm.Refresh();
  m.At(0, 0x20) = 145;
  hwm.Refresh();
  EXPECT_FLOAT_EQ(hwm.Vcore, 1.16f);
  EXPECT_FLOAT_EQ(hwm.PeakVcore, 1.2f);
}

TEST_F(HwmWinbond, BoardTemperatureOffsetAppliesOnlyWhenTheSumIsPositive) {
  TWinbondHwm& raised = Make("[SioHwmSetting]\nMbTempOffset=5\n");
  raised.Refresh();
  EXPECT_EQ(raised.BoardTemp, 45);
  EXPECT_EQ(raised.BoardTempF, 113);

  TWinbondHwm& lowered = Make("[SioHwmSetting]\nMbTempOffset=-50\n");
  lowered.Refresh();
  EXPECT_EQ(lowered.BoardTemp, 40);
}

TEST_F(HwmWinbond, CpuTemperatureNeverBelowTheBoardWhenAsked) {
  TWinbondHwm& hwm = Make("[SioHwmSetting]\nModCpuTempFromMbTemp=3\nMbTempOffset=5\n");
  Rig.Monitor.At(1, 0x50) = 44;  // below the corrected board temperature of 45
  hwm.Refresh();
  EXPECT_EQ(hwm.CpuTemp, 48);
  EXPECT_EQ(hwm.CpuTempF, 118);
  Rig.Monitor.At(1, 0x50) = 45;  // equal counts too
  hwm.Refresh();
  EXPECT_EQ(hwm.CpuTemp, 48);
  Rig.Monitor.At(1, 0x50) = 46;
  hwm.Refresh();
  EXPECT_EQ(hwm.CpuTemp, 46);
}

TEST_F(HwmWinbond, AveragesTheCpuTemperatureWhenAsked) {
  TWinbondHwm& hwm = Make("[SioHwmSetting]\nAverageCpuTemp=1\n");
  for (uint8_t t : {40, 50, 60}) {
    Rig.Monitor.At(1, 0x50) = t;
    hwm.Refresh();
  }
  EXPECT_EQ(hwm.CpuTemp, 50);
  EXPECT_EQ(hwm.CpuTempF, 122);

  TWinbondHwm& plain = Make("");
  for (uint8_t t : {40, 50, 60}) {
    Rig.Monitor.At(1, 0x50) = t;
    plain.Refresh();
  }
  EXPECT_EQ(plain.CpuTemp, 60);
}

TEST_F(HwmWinbond, FanConfigRecordsReplaceTheDefaultSets) {
  TFixedPort tach;
  tach.Value = 70;
  ASSERT_TRUE(Rig.Machine->Ports().Claim(0x2A0, 1, &tach, "test-tach"));
  auto& m = Rig.Monitor;
  m.At(2, 0x60) = 100;   // the CPU fan's count, bank 2
  m.At(3, 0x61) = 0x02;  // divisor field 1 = 2 in bank 3
  m.At(4, 0x62) = 0x10;  // divisor field 2 = 4 in bank 4
  m.At(0, 0x29) = 135;   // the default set would read this
  TWinbondHwm& hwm = Make(
      "[FanConfig]\nCPUFAN=Cpu\nCHASSISFAN=Chassis\nCHASSIS2FAN=Unset\nNBFAN=Smbus\n"
      "[Cpu]\nReadingBank=2\nReadingReg=0x60\nDiv1Bank=3\nDiv1Reg=0x61\nDiv1Mask=3\n"
      "Div2Bank=4\nDiv2Reg=0x62\nDiv2Mask=0x10\nDiv2Shift=2\n"
      "[Chassis]\nInterface=IOBASE\nIoPort=0x2A0\nMultiple=30\n"
      "[Unset]\nInterface=IOBASE\nIoPort=0x2A0\n"
      "[Smbus]\nInterface=SMBUS\n");
  hwm.Refresh();
  EXPECT_EQ(hwm.Fans[0], 1356000 / (100 << 6));
  EXPECT_EQ(hwm.Fans[1], 2100);
  EXPECT_EQ(hwm.Fans[2], -1);  // IOBASE without a multiplier
  EXPECT_EQ(hwm.Fans[3], -1);  // an interface this monitor does not know
  EXPECT_EQ(hwm.Fans[4], 0);   // no record
  EXPECT_EQ(tach.Reads, 1);

  m.At(2, 0x60) = 254;
  hwm.Refresh();
  EXPECT_EQ(hwm.Fans[0], 0);
}

// A port beyond 16 bits would be cut to another device's port; a large multiplier must not
// overflow (the product is computed in 64 bits and refused when it is no RPM).
TEST_F(HwmWinbond, IoBaseFanRecordsRejectWidePortsAndOverflowingProducts) {
  TFixedPort tach;
  tach.Value = 200;
  ASSERT_TRUE(Rig.Machine->Ports().Claim(0x2A0, 1, &tach, "test-tach"));
  TWinbondHwm& hwm = Make(
      "[FanConfig]\nCPUFAN=Wide\nCHASSISFAN=Huge\nCHASSIS2FAN=Fine\nNBFAN=Negative\n"
      "[Wide]\nInterface=IOBASE\nIoPort=0x102A0\nMultiple=30\n"
      "[Huge]\nInterface=IOBASE\nIoPort=0x2A0\nMultiple=2147483647\n"
      "[Fine]\nInterface=IOBASE\nIoPort=0x2A0\nMultiple=10737418\n"
      "[Negative]\nInterface=IOBASE\nIoPort=-2\nMultiple=30\n");
  hwm.Refresh();
  EXPECT_EQ(hwm.Fans[0], -1);
  EXPECT_EQ(hwm.Fans[1], -1);
  EXPECT_EQ(hwm.Fans[2], 200 * 10737418);
  EXPECT_EQ(hwm.Fans[3], -1);
  EXPECT_EQ(tach.Reads, 2);  // Huge and Fine; the 0x02A0 cut of 0x102A0 was never read
}

TEST_F(HwmWinbond, BoardVK300MReadsFansFourAndFiveFromEachOthersInputs) {
  auto& m = Rig.Monitor;
  m.At(5, 0x53) = 100;  // fan-4 input: 13560 RPM
  m.At(0, 0x2A) = 200;  // fan-5 input: 6780 RPM
  m.At(0, 0x29) = 135;
  const char* const fanConfig =
      "[FanConfig]\nCPUFAN=Cpu\nNBFAN=Cpu\nPOWERFAN=Cpu\n"
      "[Cpu]\nReadingReg=0x29\n";
  Context.BoardModel = "VK300M/64X";
  TWinbondHwm& swapped = Make(fanConfig);
  swapped.Refresh();
  EXPECT_EQ(swapped.Fans[0], 10044);  // fans 1 to 3 still follow FanConfig
  EXPECT_EQ(swapped.Fans[3], 6780);
  EXPECT_EQ(swapped.Fans[4], 13560);

  Context.BoardModel = "VK300M";
  TWinbondHwm& other = Make("");
  other.Refresh();
  EXPECT_EQ(other.Fans[3], 13560);
  EXPECT_EQ(other.Fans[4], 6780);
}

TEST_F(HwmWinbond, RefreshIntoFillsOnlyTheRecordsOwnWords) {
  Rig.Monitor.At(0, 0x29) = 135;
  Rig.Monitor.At(0, 0x2A) = 200;
  TWinbondHwm& hwm = Make();
  TSensorRecord record;
  record.Unused1.fill(0x5A5A5A5A);
  record.Unused2 = 0x5A5A5A5A;
  record.GpuTemp = 77;
  record.GpuTempF = 170;
  record.PeakVcore = 1.5f;
  hwm.RefreshInto(&record);
  EXPECT_EQ(record.Fan1, 10044);
  EXPECT_EQ(record.Fan5, 6780);
  EXPECT_EQ(record.CpuTemp, 55);
  EXPECT_EQ(record.BoardTempF, 104);
  EXPECT_FLOAT_EQ(record.Vcore, 1.12f);
  EXPECT_FLOAT_EQ(record.V12, 11.9856f);
  EXPECT_FLOAT_EQ(record.PeakVcore, 1.5f);  // the record's own peak
  EXPECT_EQ(record.Unused1, (std::array<int32_t, 6>{0x5A5A5A5A, 0x5A5A5A5A, 0x5A5A5A5A, 0x5A5A5A5A,
                                                    0x5A5A5A5A, 0x5A5A5A5A}));
  EXPECT_EQ(record.Unused2, 0x5A5A5A5A);
  EXPECT_EQ(record.GpuTemp, 77);
  EXPECT_EQ(record.GpuTempF, 170);
  EXPECT_EQ(hwm.Vcore, 0.0f);  // the object's fields stay as they were
  EXPECT_EQ(hwm.CpuTemp, -1);

  const int accesses = Rig.Monitor.DataAccesses;
  hwm.RefreshInto(nullptr);
  EXPECT_EQ(Rig.Monitor.DataAccesses, accesses);
}

TEST_F(HwmWinbond, HeavyLoadOnAmdShowsThePeakVcore) {
  double load = 90;
  int loadReads = 0;
  Context.CpuLoad = [&] {
    ++loadReads;
    return load;
  };
  Context.AmdProcessor = true;
  TWinbondHwm& amd = Make();
  Rig.Monitor.At(0, 0x20) = 150;  // 1.2 V
  amd.Refresh();
  Rig.Monitor.At(0, 0x20) = 125;  // 1.0 V
  amd.Refresh();
  EXPECT_FLOAT_EQ(amd.Vcore, 1.2f);
  load = 80;  // not above 80
  amd.Refresh();
  EXPECT_FLOAT_EQ(amd.Vcore, 1.0f);
  EXPECT_EQ(loadReads, 3);

  Context.AmdProcessor = false;
  load = 100;
  loadReads = 0;
  TWinbondHwm& intel = Make();
  Rig.Monitor.At(0, 0x20) = 150;
  intel.Refresh();
  Rig.Monitor.At(0, 0x20) = 125;
  intel.Refresh();
  EXPECT_FLOAT_EQ(intel.Vcore, 1.0f);
  EXPECT_EQ(loadReads, 0);
}

TEST_F(HwmWinbond, VcoreRefreshesWithAndWithoutOffset) {
  Rig.Monitor.At(2, 0x55) = 150;
  TWinbondHwm& hwm = Make(
      "[SioHwmSetting]\nSioVcoreBank=2\nSioVcoreReg=0x55\nSioVcoreR2=1\n"
      "SioVcoreOffset=0.05\n");
  hwm.RefreshVcore();
  EXPECT_FLOAT_EQ(hwm.Vcore, 1.25f);
  EXPECT_EQ(Rig.Monitor.Bank(), 2);
  hwm.RefreshVcoreNoOffset();
  EXPECT_FLOAT_EQ(hwm.VcoreNoOffset, 1.2f);
  EXPECT_FLOAT_EQ(hwm.Vcore, 1.25f);
  EXPECT_EQ(hwm.PeakVcore, 0.0f);  // only the full read tracks the peak
}

TEST_F(HwmWinbond, SetCpuFanControlBelowTarget) {
  auto& m = Rig.Monitor;
  m.At(0, 0x04) = 0xFF;
  m.At(0, 0x07) = 0xFF;
  m.At(1, 0x50) = 40;
  TWinbondHwm& hwm = Make("");
  m.Writes.clear();
  hwm.SetCpuFanControl(50, 0x80, true);
  EXPECT_EQ(RegisterWrites(),
            (std::vector<std::string>{"b0 04=CF", "b0 06=32", "b0 07=2F", "b0 0B=FF", "b0 09=80",
                                      "b0 0D=3C", "b0 03=80", "b0 04=DF"}));
  EXPECT_EQ(Rig.Sleeps, std::vector<uint32_t>{1000});

  uint8_t target = 0;
  uint8_t value = 0;
  EXPECT_TRUE(hwm.GetCpuFanControl(target, value));
  EXPECT_EQ(target, 50);
  EXPECT_EQ(value, 0x80);
}

TEST_F(HwmWinbond, SetCpuFanControlAtOrAboveTarget) {
  auto& m = Rig.Monitor;
  m.At(0, 0x04) = 0xFF;
  m.At(0, 0x07) = 0x05;
  m.At(1, 0x50) = 50;
  TWinbondHwm& hwm = Make("");
  m.Writes.clear();
  hwm.SetCpuFanControl(50, 0x40, false);
  EXPECT_EQ(RegisterWrites(),
            (std::vector<std::string>{"b0 04=CD", "b0 06=32", "b0 07=25", "b0 0B=FF", "b0 09=40",
                                      "b0 0D=3C", "b0 04=DD"}));
  EXPECT_TRUE(Rig.Sleeps.empty());
}

TEST_F(HwmWinbond, GetCpuFanControlOnlyInThermalCruise) {
  auto& m = Rig.Monitor;
  m.At(0, 0x06) = 60;
  m.At(0, 0x09) = 0x90;
  m.At(2, 0x04) = 0x10;  // a bank-2 register of the same number does not count
  TWinbondHwm& hwm = Make("");
  uint8_t target = 1;
  uint8_t value = 2;
  for (uint8_t mode : {0x00, 0x20, 0x30, 0x0F}) {
    m.At(0, 0x04) = mode;
    Rig.Monitor.At(0, 0x4E) = 2;
    EXPECT_FALSE(hwm.GetCpuFanControl(target, value)) << int{mode};
  }
  EXPECT_EQ(target, 1);
  m.At(0, 0x04) = 0xDF;
  EXPECT_TRUE(hwm.GetCpuFanControl(target, value));
  EXPECT_EQ(target, 60);
  EXPECT_EQ(value, 0x90);
}

TEST_F(HwmWinbond, TrackCpuFanRangeAtTheEndsOfTheOutput) {
  auto& m = Rig.Monitor;
  m.At(0, 0x29) = 135;  // fan 1: 10044 RPM
  TWinbondHwm& hwm = Make("");
  int32_t minRpm = 20000;
  int32_t maxRpm = 0;
  m.At(0, 0x03) = 100;
  hwm.TrackCpuFanRange(minRpm, maxRpm);
  EXPECT_EQ(minRpm, 20000);
  EXPECT_EQ(maxRpm, 0);
  m.At(0, 0x03) = 241;
  hwm.TrackCpuFanRange(minRpm, maxRpm);
  EXPECT_EQ(maxRpm, 10044);
  EXPECT_EQ(minRpm, 20000);
  m.At(0, 0x03) = 26;
  hwm.TrackCpuFanRange(minRpm, maxRpm);
  EXPECT_EQ(minRpm, 10044);
  m.At(0, 0x29) = 200;  // 6780: neither a new maximum at full output
  m.At(0, 0x03) = 255;
  hwm.TrackCpuFanRange(minRpm, maxRpm);
  EXPECT_EQ(maxRpm, 10044);
  m.At(0, 0x03) = 240;  // the upper end starts above 240
  minRpm = 20000;
  hwm.TrackCpuFanRange(minRpm, maxRpm);
  EXPECT_EQ(minRpm, 20000);
}

TEST(HwmWinbondWithoutSuperIo, TouchesNoMonitorPort) {
  THwmRig rig(kWinbond, /*detect=*/false);
  ASSERT_FALSE(rig.Sio->Detected());
  THwmContext context = rig.Context();
  rig.WriteModel(kRails);
  TWinbondHwm hwm(context);
  EXPECT_EQ(hwm.IndexPort, 0);
  EXPECT_EQ(rig.Lines.Console.back(), "HWMIndex = [0000], HWMData = [0000]");
  hwm.Refresh();
  hwm.SetCpuFanControl(50, 0x80, true);
  EXPECT_EQ(hwm.ReadRegister(0x20), 0xFF);
  EXPECT_EQ(rig.Monitor.DataAccesses, 0);
}

}  // namespace

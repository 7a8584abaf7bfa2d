// The hardware monitors through their index/data ports: voltages read back with the program's
// single-precision formula within one step, temperatures, fan counts and divisors, Winbond banks,
// and the monitor inputs behind them.
#include <gtest/gtest.h>

#include "sim/analoginputs.h"
#include "superio_testboard.h"

namespace {

using namespace simchips;

constexpr uint16_t Base = 0x290;

uint8_t BankedRead(TSimMachine& m, uint8_t bank, uint8_t reg) {
  MonitorWrite(m, Base, 0x4E, static_cast<uint8_t>((MonitorRead(m, Base, 0x4E) & 0xF8) | bank));
  return MonitorRead(m, Base, reg);
}

// Fan speed as the program computes it from one default register set of a Winbond chip.
int ProgramRpm(TSimMachine& m, uint8_t bank, uint8_t countReg, uint8_t div1, uint8_t mask1,
               uint8_t shift1, uint8_t div2, uint8_t mask2, uint8_t shift2) {
  const int count = BankedRead(m, bank, countReg);
  if (count == 0 || count >= 254) return 0;
  const int e1 = (BankedRead(m, 0, div1) & mask1) >> shift1;
  const int e2 = (BankedRead(m, 0, div2) & mask2) >> shift2;
  return 1356000 / (count * (1 << (e1 + e2)));
}

TEST(SimWinbondMonitor, VoltagesComeBackThroughTheProgramsFormula) {
  auto m = Board(
      "[SuperIO]\nChip=W83627EHF\nPort=0x2E\nHwmBase=0x290\n"
      "[Monitor]\nCPUVCORE=1.1875 V\nVIN0=12.10 V divider 56/10\nAVCC=3.31 V\n"
      "VIN2=5.02 V divider 22/10\nVIN3=-12.0 V divider 470/56 ref 2.048\n3VSB=3.30 V\n"
      "VBAT=3.17 V\nVIN4=1.55 V\n");
  ASSERT_NE(m, nullptr);
  struct {
    uint8_t Bank, Reg;
    float R1, R2;
    uint16_t Ref;
    double Volts;
  } rails[] = {
      {0, 0x20, 0, 1, 0, 1.1875}, {0, 0x21, 56, 10, 0, 12.10},     {0, 0x22, 1, 1, 0, 3.31},
      {0, 0x25, 22, 10, 0, 5.02}, {0, 0x26, 470, 56, 4096, -12.0}, {5, 0x50, 34, 34, 0, 3.30},
      {5, 0x51, 1, 1, 0, 3.17},   {5, 0x52, 0, 1, 0, 1.55},
  };
  for (const auto& r : rails) {
    const uint8_t raw = BankedRead(*m, r.Bank, r.Reg);
    const float volts = ProgramVolts(raw, r.R1, r.R2, r.Ref, 125.0f);
    const float step = 0.008f * (r.R1 + r.R2) / r.R2;  // one ADC step at the rail
    EXPECT_NEAR(volts, r.Volts, step) << "bank " << int(r.Bank) << " reg " << int(r.Reg);
  }
  EXPECT_EQ(BankedRead(*m, 0, 0x20), 148);  // 1.1875 V / 8 mV = 148.4
  EXPECT_EQ(BankedRead(*m, 0, 0x23), 0);    // 3VCC not defined by this board
  // Rails past the ADC's range clip rather than wrap.
  SimMonitorInputs(*m).SetValue("CPUVCORE", 3.0);
  EXPECT_EQ(BankedRead(*m, 0, 0x20), 255);
  SimMonitorInputs(*m).SetValue("CPUVCORE", -0.5);
  EXPECT_EQ(BankedRead(*m, 0, 0x20), 0);
}

TEST(SimWinbondMonitor, BanksVendorIdAndReadOnlyReadings) {
  auto m = Board(
      "[SuperIO]\nChip=W83627DHG\nPort=0x2E\nHwmBase=0x290\n"
      "[Monitor]\nSYSTIN=38 C\nCPUTIN=45.5 C\nAUXTIN=-10 C\n3VSB=3.3 V\n");
  ASSERT_NE(m, nullptr);
  // 0x4F: vendor ID 0x5CA3, high byte while 0x4E bit 7 is set (the power-on value).
  EXPECT_EQ(MonitorRead(*m, Base, 0x4E), 0x80);
  EXPECT_EQ(MonitorRead(*m, Base, 0x4F), 0x5C);
  MonitorWrite(*m, Base, 0x4E, 0x00);
  EXPECT_EQ(MonitorRead(*m, Base, 0x4F), 0xA3);
  // Temperatures: SYSTIN in bank 0, CPUTIN in bank 1 with the half degree in 0x51 bit 7,
  // AUXTIN in bank 2 in two's complement.
  EXPECT_EQ(BankedRead(*m, 0, 0x27), 38);
  EXPECT_EQ(BankedRead(*m, 1, 0x50), 45);
  EXPECT_EQ(BankedRead(*m, 1, 0x51), 0x80);
  EXPECT_EQ(BankedRead(*m, 2, 0x50), 0xF6);
  EXPECT_EQ(BankedRead(*m, 2, 0x51), 0x00);
  EXPECT_EQ(BankedRead(*m, 5, 0x50), 206);  // 3VSB behind the chip's halving divider
  // Registers outside 0x50..0x5F are the same in every bank; 0x50..0x5F are each bank's own.
  MonitorWrite(*m, Base, 0x4E, 0x03);
  MonitorWrite(*m, Base, 0x06, 0x41);
  MonitorWrite(*m, Base, 0x55, 0x42);
  EXPECT_EQ(BankedRead(*m, 0, 0x06), 0x41);
  EXPECT_NE(BankedRead(*m, 0, 0x55), 0x42);
  EXPECT_EQ(BankedRead(*m, 3, 0x55), 0x42);
  // Readings ignore writes; the bank register keeps only its bank and HBACS bits.
  MonitorWrite(*m, Base, 0x4E, 0x00);
  MonitorWrite(*m, Base, 0x27, 0x00);
  EXPECT_EQ(MonitorRead(*m, Base, 0x27), 38);
  MonitorWrite(*m, Base, 0x4E, 0x7F);
  EXPECT_EQ(MonitorRead(*m, Base, 0x4E), 0x07);
  // Readings follow the inputs at every read.
  SimMonitorInputs(*m).SetValue("SYSTIN", 52);
  MonitorWrite(*m, Base, 0x4E, 0x00);
  EXPECT_EQ(MonitorRead(*m, Base, 0x27), 52);
}

TEST(SimWinbondMonitor, FanCountsFollowTheDivisors) {
  auto m = Board(
      "[SuperIO]\nChip=W83627DHG\nPort=0x2E\nHwmBase=0x290\nHwm.0x47=F0\n"
      "[Monitor]\nCPUFANIN0=2250 RPM\nSYSFANIN=1500 RPM\nAUXFANIN1=3000 RPM\n");
  ASSERT_NE(m, nullptr);
  // Fan 1 of the program: count 0x29, divisor 0x47 bits 7:6 and 0x5D bit 6.
  EXPECT_EQ(BankedRead(*m, 0, 0x29), 75);  // 1350000 / (2250 x 8)
  EXPECT_NEAR(ProgramRpm(*m, 0, 0x29, 0x47, 0xC0, 6, 0x5D, 0x40, 4), 2250, 2250 / 75 + 1);
  EXPECT_NEAR(ProgramRpm(*m, 0, 0x28, 0x47, 0x30, 4, 0x5D, 0x20, 3), 1500, 1500 / 112 + 1);
  // Divisor bit 2 in bank 0's 0x5D: 2^(3 + 4) = 128 makes the count small.
  MonitorWrite(*m, Base, 0x4E, 0x00);
  MonitorWrite(*m, Base, 0x5D, 0x40);
  EXPECT_EQ(MonitorRead(*m, Base, 0x29), 5);  // 1350000 / (2250 x 128) = 4.7
  // Fan 4 of the program: bank 5 0x53, divisors in bank 0 0x59 (power-on divisor 2).
  EXPECT_EQ(BankedRead(*m, 5, 0x53), 225);
  EXPECT_NEAR(ProgramRpm(*m, 5, 0x53, 0x59, 0x0C, 2, 0x59, 0x80, 5), 3000, 3000 / 225 + 1);
  // A stopped or too slow fan reads 255, which the program shows as 0 RPM.
  SimMonitorInputs(*m).SetValue("CPUFANIN0", 0);
  EXPECT_EQ(BankedRead(*m, 0, 0x29), 255);
  SimMonitorInputs(*m).SetValue("AUXFANIN1", 2000);
  EXPECT_EQ(BankedRead(*m, 5, 0x53), 255);  // 337 does not fit in eight bits
  EXPECT_EQ(ProgramRpm(*m, 5, 0x53, 0x59, 0x0C, 2, 0x59, 0x80, 5), 0);
}

TEST(SimWinbondMonitor, PortsFollowTheMonitorDevice) {
  auto m = Board("[SuperIO]\nChip=W83667HG\nPort=0x4E\n");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(MonitorRead(*m, Base, 0x4F), 0xFF);  // inactive, base 0
  WinbondEnter(*m, 0x4E);
  ConfigWrite(*m, 0x4E, 0x07, 0x0B);
  ConfigWrite(*m, 0x4E, 0x60, 0x02);
  ConfigWrite(*m, 0x4E, 0x61, 0x90);
  EXPECT_EQ(MonitorRead(*m, Base, 0x4F), 0xFF);  // still inactive
  ConfigWrite(*m, 0x4E, 0x30, 0x01);
  EXPECT_EQ(MonitorRead(*m, Base, 0x4F), 0x5C);
  ConfigWrite(*m, 0x4E, 0x61, 0xA0);
  EXPECT_EQ(MonitorRead(*m, Base, 0x4F), 0xFF);
  EXPECT_EQ(MonitorRead(*m, 0x2A0, 0x4F), 0x5C);
  ConfigWrite(*m, 0x4E, 0x30, 0x00);
  EXPECT_EQ(MonitorRead(*m, 0x2A0, 0x4F), 0xFF);
}

TEST(SimIteMonitor, SixteenMillivoltStepsTemperaturesAndWideFanCounts) {
  auto m = Board(
      "[SuperIO]\nChip=IT8720F\nPort=0x2E\nHwmBase=0x290\nHwm.0x0C=07\n"
      "[Monitor]\nVIN0=1.30 V\nVIN4=0.52 V\nVIN5=12.10 V divider 30/10\n"
      "VIN6=-5.0 V divider 100/20 ref 4.096\nTMPIN1=48 C\nTMPIN2=-3 C\n"
      "FAN_TAC1=2600 RPM\nFAN_TAC2=40 RPM\nFAN_TAC4=1800 RPM\n");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(MonitorRead(*m, Base, 0x58), 0x90);
  struct {
    uint8_t Reg;
    float R1, R2;
    uint16_t Ref;
    double Volts;
  } rails[] = {{0x20, 0, 1, 0, 1.30},
               {0x24, 0, 1, 0, 0.52},
               {0x25, 30, 10, 0, 12.10},
               {0x26, 100, 20, 4096, -5.0}};
  for (const auto& r : rails) {
    const uint8_t raw = MonitorRead(*m, Base, r.Reg);
    const float step = 0.016f * (r.R1 + r.R2) / r.R2;
    EXPECT_NEAR(ProgramVolts(raw, r.R1, r.R2, r.Ref, 62.5f), r.Volts, step) << int(r.Reg);
  }
  EXPECT_EQ(MonitorRead(*m, Base, 0x20), 81);  // 1.30 V / 16 mV = 81.25
  EXPECT_EQ(MonitorRead(*m, Base, 0x29), 48);
  EXPECT_EQ(MonitorRead(*m, Base, 0x2A), 0xFD);
  // 16-bit counts: 1350000 / (RPM x 2), high byte in 0x18.. and 0x81.
  auto count = [&](uint8_t msb, uint8_t lsb) {
    return MonitorRead(*m, Base, msb) * 256 + MonitorRead(*m, Base, lsb);
  };
  EXPECT_EQ(count(0x18, 0x0D), 260);    // 2600 RPM
  EXPECT_EQ(count(0x19, 0x0E), 16875);  // 40 RPM still counts
  EXPECT_EQ(count(0x81, 0x80), 375);
  EXPECT_EQ(count(0x1A, 0x0F), 0xFFFF);  // stopped
  EXPECT_EQ(1356000 / (count(0x18, 0x0D) * 2), 2607);
  // 8-bit mode: the divisor register (fan 1 bits 2:0 as a power of two), no high byte.
  MonitorWrite(*m, Base, 0x0C, 0x00);
  MonitorWrite(*m, Base, 0x0B, 0x03);
  EXPECT_EQ(MonitorRead(*m, Base, 0x0D), 65);  // 1350000 / (2600 x 8)
  EXPECT_EQ(MonitorRead(*m, Base, 0x18), 0);
  EXPECT_EQ(MonitorRead(*m, Base, 0x0E), 0xFF);  // 40 RPM overflows
  // Fan control registers the program writes are plain storage; readings are read-only.
  MonitorWrite(*m, Base, 0x63, 0x5A);
  MonitorWrite(*m, Base, 0x29, 0x00);
  EXPECT_EQ(MonitorRead(*m, Base, 0x63), 0x5A);
  EXPECT_EQ(MonitorRead(*m, Base, 0x29), 48);
}

class TFixedVcore : public ISimAnalogSource {
 public:
  double AnalogValue() const override { return Volts; }
  double Volts = 1.25;
};

TEST(SimMonitorInputs, SourcesConstantsAndSavedState) {
  auto m =
      Board("[SuperIO]\nChip=W83627DHG\nPort=0x2E\nHwmBase=0x290\n[Monitor]\nCPUVCORE=1.1 V\n");
  ASSERT_NE(m, nullptr);
  TSimAnalogInputs& inputs = SimMonitorInputs(*m);
  TFixedVcore regulator;
  ASSERT_TRUE(inputs.Connect("cpuvcore", &regulator));
  MonitorWrite(*m, Base, 0x4E, 0x00);
  EXPECT_EQ(MonitorRead(*m, Base, 0x20), 156);  // 1.25 V
  regulator.Volts = 0.9;
  EXPECT_EQ(MonitorRead(*m, Base, 0x20), 113);
  EXPECT_FALSE(inputs.Connect("VIN9", &regulator));
  // A new constant replaces the source; the constant goes into the state, the source does not.
  inputs.SetValue("CPUVCORE", 1.3375);
  inputs.SetValue("VIN1", 0.45);
  TSimState state;
  m->SaveState(state);
  auto again =
      Board("[SuperIO]\nChip=W83627DHG\nPort=0x2E\nHwmBase=0x290\n[Monitor]\nCPUVCORE=1.1 V\n");
  std::string error;
  ASSERT_TRUE(again->LoadState(state, &error)) << error;
  EXPECT_DOUBLE_EQ(SimMonitorInputs(*again).Value("CPUVCORE").value_or(0), 1.3375);
  EXPECT_DOUBLE_EQ(SimMonitorInputs(*again).Value("VIN1").value_or(0), 0.45);
  EXPECT_FALSE(SimMonitorInputs(*again).Value("VIN2").has_value());

  TSimAnalogInput input;
  ASSERT_TRUE(TSimAnalogInputs::Parse("+12.2 v DIVIDER 30/10 ref 0.5", &input, &error)) << error;
  EXPECT_EQ(input.Unit, TSimUnit::Volts);
  EXPECT_DOUBLE_EQ(input.Constant, 12.2);
  EXPECT_DOUBLE_EQ(input.R1, 30);
  EXPECT_DOUBLE_EQ(input.RefVolts, 0.5);
  EXPECT_FALSE(TSimAnalogInputs::Parse("12.2", &input, &error));
  EXPECT_FALSE(TSimAnalogInputs::Parse("12.2 V divider 30/0", &input, &error));
  EXPECT_FALSE(TSimAnalogInputs::Parse("12.2 V divider", &input, &error));
}

}  // namespace

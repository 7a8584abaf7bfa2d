// The conversions of the hardware monitors: voltages, temperatures, fan counts, the CPU
// temperature average, the model-file records and the sensor record's lines.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "base/inifile.h"
#include "chips/hwm.h"
#include "chips/itehwm.h"
#include "chips/winbondhwm.h"

namespace {

using namespace hwmcalc;

TVoltageInput Divider(int32_t r1, int32_t r2, int32_t ref = 0) {
  TVoltageInput input;
  input.R1 = r1;
  input.R2 = r2;
  input.Ref = ref;
  return input;
}

TEST(HwmVolts, WinbondKnownValues) {
  // A direct input: 8 mV a count.
  EXPECT_FLOAT_EQ(WinbondVolts(140, Divider(0, 1), 0), 1.12f);
  EXPECT_FLOAT_EQ(WinbondVolts(255, Divider(0, 1), 0), 2.04f);
  // The 12 V rail behind 56k/10k: 227 x 66 / 1250.
  EXPECT_FLOAT_EQ(WinbondVolts(227, Divider(56, 10), 0), 11.9856f);
  // A reference term pulls the reading down: (100 x 30 - 1000 x 0.0625 x 10) / 2500.
  EXPECT_FLOAT_EQ(WinbondVolts(100, Divider(10, 20, 1000), 0), 0.95f);
  // The offset is added after scaling.
  EXPECT_FLOAT_EQ(WinbondVolts(140, Divider(0, 1), 0.05f), 1.17f);
  EXPECT_FLOAT_EQ(WinbondVolts(0, Divider(0, 1), -0.25f), -0.25f);
}

TEST(HwmVolts, WinbondTakesResistorsAsBytesAndRefAsWord) {
  EXPECT_EQ(WinbondVolts(227, Divider(0x100 + 56, 0x200 + 10), 0),
            WinbondVolts(227, Divider(56, 10), 0));
  EXPECT_EQ(WinbondVolts(100, Divider(10, 20, 0x10000 + 1000), 0),
            WinbondVolts(100, Divider(10, 20, 1000), 0));
}

TEST(HwmVolts, WithoutR2TheVoltageIsNotAvailable) {
  // The default R2 of 0 leaves the divisor 0; nothing in the program may take that for a voltage,
  // and no infinity or NaN may reach the power figures.
  EXPECT_EQ(WinbondVolts(140, Divider(10, 0), 0), -1.0f);
  EXPECT_EQ(WinbondVolts(140, TVoltageInput{}, 0.5f), -1.0f);
  EXPECT_EQ(IteVolts(140, TVoltageInput{}, 0.5f), -1.0f);
  // Only the low byte of R2 counts on Winbond, so 0x100 is 0 as well.
  EXPECT_EQ(WinbondVolts(140, Divider(10, 0x100), 0), -1.0f);
}

TEST(HwmVolts, IteKnownValues) {
  // 16 mV a count.
  EXPECT_FLOAT_EQ(IteVolts(100, Divider(0, 1), 0), 1.6f);
  EXPECT_FLOAT_EQ(IteVolts(200, Divider(10, 10), 0), 6.4f);
  // (100 x 30 - 10 x 1000 x 0.0625) / 1250.
  EXPECT_FLOAT_EQ(IteVolts(100, Divider(10, 20, 1000), 0), 1.9f);
  EXPECT_FLOAT_EQ(IteVolts(100, Divider(0, 1), 0.05f), 1.65f);
  // The resistors are whole numbers here, not bytes.
  EXPECT_FLOAT_EQ(IteVolts(100, Divider(300, 100), 0), 6.4f);
  // Ref keeps only its low 16 bits.
  EXPECT_EQ(IteVolts(100, Divider(10, 20, 0x10000 + 1000), 0),
            IteVolts(100, Divider(10, 20, 1000), 0));
}

TEST(HwmVolts, ResultsAreSinglePrecision) {
  // raw / 125 rounded once to float, not computed in double and narrowed afterwards.
  const float expected = static_cast<float>(147) / 125.0f;
  EXPECT_EQ(WinbondVolts(147, Divider(0, 1), 0), expected);
  const float withOffset = expected + 0.1f;
  EXPECT_EQ(WinbondVolts(147, Divider(0, 1), 0.1f), withOffset);
}

TEST(HwmTemperature, ByteRules) {
  EXPECT_EQ(Temperature(0), -1);  // no sensor
  EXPECT_EQ(Temperature(0x2D), 45);
  EXPECT_EQ(Temperature(0x7F), 127);
  EXPECT_EQ(Temperature(0x80), 128);
  EXPECT_EQ(Temperature(0xF6), 10);  // two's complement of a negative reading
  EXPECT_EQ(Temperature(0xFF), 1);
}

TEST(HwmTemperature, FahrenheitInIntegers) {
  EXPECT_EQ(Fahrenheit(45), 113);
  EXPECT_EQ(Fahrenheit(42), 107);  // 75.6 truncated
  EXPECT_EQ(Fahrenheit(100), 212);
  EXPECT_EQ(Fahrenheit(-1), 31);
  EXPECT_EQ(Fahrenheit(-746), -1310);
}

TEST(HwmFans, WinbondCounts) {
  EXPECT_EQ(WinbondFanRpm(135, 0), 10044);
  EXPECT_EQ(WinbondFanRpm(135, 2), 2511);
  EXPECT_EQ(WinbondFanRpm(253, 0), 5359);
  EXPECT_EQ(WinbondFanRpm(254, 0), 0);  // counter overflow: the fan stands still
  EXPECT_EQ(WinbondFanRpm(255, 0), 0);
  EXPECT_EQ(WinbondFanRpm(0, 0), 0);
  EXPECT_EQ(WinbondFanRpm(1, 20), 1);
  EXPECT_EQ(WinbondFanRpm(1, 21), 0);
  EXPECT_EQ(WinbondFanRpm(1, 255), 0);  // a record's odd mask cannot overflow the shift
}

TEST(HwmFans, IteCounts) {
  EXPECT_EQ(IteFanRpm(1356, 2), 500);
  EXPECT_EQ(IteFanRpm(0xFFFD, 1), 20);
  EXPECT_EQ(IteFanRpm(0xFFFE, 1), 0);
  EXPECT_EQ(IteFanRpm(0xFFFF, 1), 0);
  EXPECT_EQ(IteFanRpm(0, 1), 0);
  EXPECT_EQ(IteFanRpm(1356, 0), 0);
  EXPECT_EQ(IteFanRpm(1356, -2), 0);
  EXPECT_EQ(IteFanRpm(0x8000, 0x7FFFFFFF), 0);  // no 32-bit overflow in count x divisor
}

TEST(HwmFans, DivisorFields) {
  EXPECT_EQ(Field(0xC0, 0xC0, 6), 3u);
  EXPECT_EQ(Field(0x40, 0x40, 4), 4u);  // a divisor's third bit weighs 4 in the exponent
  EXPECT_EQ(Field(0x3F, 0x30, 4), 3u);
  EXPECT_EQ(Field(0xC0, 0xC0, 38), 3u);  // shift counts wrap at 32
  EXPECT_EQ(Field(0xFF, 0, 0), 0u);
}

TEST(HwmTemperatureRing, AveragesTheReadingsSoFar) {
  TTemperatureRing ring;
  EXPECT_EQ(ring.Add(40), 40);
  EXPECT_EQ(ring.Add(50), 45);
  EXPECT_EQ(ring.Add(61), 50);  // 151 / 3
  EXPECT_EQ(ring.Add(-1), 37);  // an absent sensor counts as -1
}

TEST(HwmTemperatureRing, KeepsSixteenAndWraps) {
  TTemperatureRing ring;
  for (int i = 0; i < 16; ++i) ring.Add(30);
  EXPECT_EQ(ring.Add(90), 33);  // replaces the oldest: (90 + 15 x 30) / 16
  for (int i = 0; i < 15; ++i) ring.Add(90);
  EXPECT_EQ(ring.Add(10), 85);  // (10 + 15 x 90) / 16
  ring.Clear();
  EXPECT_EQ(ring.Add(20), 20);
}

TEST(HwmSensorRecord, LinesFollowTheRecord) {
  TSensorRecord record;
  record.Fan1 = 2100;
  record.Fan4 = 900;
  record.Fan3 = 1500;
  record.CpuTemp = 45;
  record.CpuTempF = 113;
  record.BoardTemp = -1;
  record.GpuTemp = 42;
  record.Vcore = 1.2f;
  record.V12 = 11.9856f;
  record.PeakVcore = 1.3125f;
  const std::vector<std::string> expected = {
      "Fan1: 2100",    "Fan2: 0",     "Fan4: 900",     "Fan5: 0",
      "Fan3: 1500",    "CpuTemp: 45", "CpuTempF: 113", "BoardTemp: -1",
      "BoardTempF: 0", "GpuTemp: 42", "GpuTempF: 0",   "Vcore: 1.200",
      "V3.3: 0.000",   "V5: 0.000",   "V12: 11.986",   "PeakVcore: 1.312",
  };
  EXPECT_EQ(SensorRecordLines(record), expected);
}

class HwmModelFile : public ::testing::Test {
 protected:
  void SetUp() override {
    Path_ = std::filesystem::path(::testing::TempDir()) /
            ("hwm-model-" + std::to_string(::getpid()) + ".ini");
  }
  void TearDown() override { std::filesystem::remove(Path_); }
  TiFile Write(const std::string& text) {
    std::ofstream(Path_, std::ios::binary) << text;
    return TiFile(Path_.string());
  }

 private:
  std::filesystem::path Path_;
};

TEST_F(HwmModelFile, VoltageInputKeysAndDefaults) {
  const TiFile model = Write(
      "[SioHwmSetting]\nSio12VBank=0\nSio12VReg=0x21\nSio12VR1=56\nSio12VR2=10\nSio12VRef=0x10\n"
      "Sio12VOffset=-0.125\n");
  const TVoltageInput rail = ReadVoltageInput(model, "SioHwmSetting", "Sio12V");
  EXPECT_EQ(rail.Reg, 0x21);
  EXPECT_EQ(rail.R1, 56);
  EXPECT_EQ(rail.R2, 10);
  EXPECT_EQ(rail.Ref, 16);
  EXPECT_FLOAT_EQ(rail.Offset, -0.125f);
  const TVoltageInput missing = ReadVoltageInput(model, "SioHwmSetting", "SioVcore");
  EXPECT_EQ(missing.Bank, 0);
  EXPECT_EQ(missing.Reg, 0);
  EXPECT_EQ(missing.R2, 0);
  EXPECT_EQ(missing.Offset, 0.0f);
}

TEST_F(HwmModelFile, FanRecordsLiveInTheSectionsTheirKeysName) {
  const TiFile model = Write(
      "[FanConfig]\nCPUFAN=CpuFan\nCHASSISFAN=NoSuchSection\nNBFAN=NbFan\nPOWERFAN=\n"
      "[CpuFan]\nReadingBank=0\nReadingReg=0x29\nDiv1Reg=0x47\nDiv1Mask=0xC0\nDiv1Shift=6\n"
      "Div2Bank=0\nDiv2Reg=0x5D\nDiv2Mask=0x40\nDiv2Shift=4\nFanCtlPort=0x2F0\n"
      "[NbFan]\nReadingMsbReg=0x19\nReadingLsbReg=0x0E\nDivisor=2\nInterface=IOBASE\n"
      "IoPort=0x2A0\nMultiple=30\n");
  const TFanConfig config = TFanConfig::Load(model);
  EXPECT_TRUE(config.Loaded);
  ASSERT_TRUE(config.Fans[0].has_value());
  EXPECT_EQ(config.Fans[0]->ReadingReg, 0x29);
  EXPECT_EQ(config.Fans[0]->Div1Mask, 0xC0);
  EXPECT_EQ(config.Fans[0]->Div2Shift, 4);
  EXPECT_EQ(config.Fans[0]->FanCtlPort, 0x2F0);
  EXPECT_EQ(config.Fans[0]->Interface, "");
  EXPECT_EQ(config.Fans[0]->IoPort, -1);
  EXPECT_EQ(config.Fans[0]->Multiple, -1);
  EXPECT_FALSE(config.Fans[1].has_value());  // names a section the file lacks
  EXPECT_FALSE(config.Fans[2].has_value());  // no key
  ASSERT_TRUE(config.Fans[3].has_value());
  EXPECT_EQ(config.Fans[3]->ReadingMsbReg, 0x19);
  EXPECT_EQ(config.Fans[3]->Divisor, 2);
  EXPECT_EQ(config.Fans[3]->Interface, "IOBASE");
  EXPECT_EQ(config.Fans[3]->IoPort, 0x2A0);
  EXPECT_EQ(config.Fans[3]->Multiple, 30);
  EXPECT_EQ(config.Fans[3]->ReadingReg, 0);
  EXPECT_FALSE(config.Fans[4].has_value());  // empty value
}

TEST_F(HwmModelFile, NoFanConfigSection) {
  const TFanConfig config = TFanConfig::Load(Write("[CpuFan]\nReadingReg=0x29\n"));
  EXPECT_FALSE(config.Loaded);
  for (const auto& fan : config.Fans) EXPECT_FALSE(fan.has_value());
}

TEST(HwmGpu, PortReadingToDegrees) {
  EXPECT_EQ(TIteHwm::GpuTemperature(14000), 42);           // 41.76
  EXPECT_EQ(TIteHwm::GpuTemperature(14000 | 0xC000), 42);  // the top two bits are not data
  EXPECT_EQ(TIteHwm::GpuTemperature(13258), 0);            // 0.035
  EXPECT_EQ(TIteHwm::GpuTemperature(0), -746);
}

}  // namespace

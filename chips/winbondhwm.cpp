#include "chips/winbondhwm.h"

#include <cstdint>

#include "base/inifile.h"
#include "base/textfmt.h"
#include "base/trace.h"
#include "hw/readwrite.h"

namespace {

constexpr uint8_t kHwmLdn = 0x0B;
constexpr uint8_t kBankSelect = 0x4E;
constexpr uint8_t kBoardTempReg = 0x27;  // bank 0
constexpr uint8_t kCpuTempBank = 1;
constexpr uint8_t kCpuTempReg = 0x50;
// CPU-fan control, bank 0.
constexpr uint8_t kFanOutput = 0x03;
constexpr uint8_t kFanMode = 0x04;
constexpr uint8_t kFanTarget = 0x06;
constexpr uint8_t kFanTolerance = 0x07;
constexpr uint8_t kFanStopValue = 0x09;
constexpr uint8_t kFanStartValue = 0x0B;
constexpr uint8_t kFanStepTime = 0x0D;

std::string FourHex(uint16_t value) {
  return HexWord(value).substr(2);
}

}  // namespace

const std::array<TWinbondHwm::TFanRegs, 5> TWinbondHwm::kDefaultFans = {{
    {0, 0x29, 0x47, 0xC0, 6, 0x5D, 0x40, 4},
    {0, 0x28, 0x47, 0x30, 4, 0x5D, 0x20, 3},
    {0, 0x3F, 0x59, 0x03, 0, 0x4C, 0x80, 5},
    {5, 0x53, 0x59, 0x0C, 2, 0x59, 0x80, 5},
    {0, 0x2A, 0x4B, 0xC0, 6, 0x5D, 0x80, 5},
}};

int32_t TTemperatureRing::Add(int32_t reading) {
  Samples_[Next_] = reading;
  Next_ = (Next_ + 1) % Samples_.size();
  int64_t sum = 0;
  int32_t count = 0;
  for (int32_t sample : Samples_) {
    if (sample == 0) break;
    sum += sample;
    ++count;
  }
  // The first slot always holds a reading (temperatures are never 0), so count is at least 1;
  // the guard only keeps a ring started with a 0 from dividing by it.
  return count == 0 ? reading : static_cast<int32_t>(sum / count);
}

void TTemperatureRing::Clear() {
  Samples_.fill(0);
  Next_ = 0;
}

TWinbondHwm::TWinbondHwm(const THwmContext& context) : IHwm(context) {
  Name = "Winbond";
  FindPorts(kHwmLdn);
  TraceLine("HWMIndex = [" + FourHex(IndexPort) + "], HWMData = [" + FourHex(DataPort) + "]");

  Ring_.Clear();
  AverageCpuTemp = Model_.ReadBool(kSection, "AverageCpuTemp", false);
  ModCpuTempFromMbTemp = Model_.ReadInteger(kSection, "ModCpuTempFromMbTemp", 0);
  VcoreIn = ReadVoltageInput(Model_, kSection, "SioVcore");
  V3In = ReadVoltageInput(Model_, kSection, "Sio3V");
  V5In = ReadVoltageInput(Model_, kSection, "Sio5V");
  V12In = ReadVoltageInput(Model_, kSection, "Sio12V");
  MbTempOffset = Model_.ReadInteger(kSection, "MbTempOffset", 0);
  ImonReg = Model_.ReadInteger(kSection, "SioImonVReg", 36);
  FanConfig = TFanConfig::Load(Model_);
  AltVcore = 0;
}

void TWinbondHwm::SelectBank(int32_t bank) {
  const uint8_t current = ReadRegister(kBankSelect);
  WriteRegister(kBankSelect, static_cast<uint8_t>((current & 0xF8) | static_cast<uint8_t>(bank)));
}

uint8_t TWinbondHwm::ReadBanked(int32_t bank, int32_t reg) {
  SelectBank(bank);
  return ReadRegister(static_cast<uint8_t>(reg));
}

int32_t TWinbondHwm::ReadTemperature(int32_t bank, int32_t reg) {
  return hwmcalc::Temperature(ReadBanked(bank, reg));
}

float TWinbondHwm::ReadVolts(const TVoltageInput& input, float offset) {
  return hwmcalc::WinbondVolts(ReadBanked(input.Bank, input.Reg), input, offset);
}

int32_t TWinbondHwm::ReadDefaultFan(const TFanRegs& regs) {
  const uint8_t count = ReadBanked(regs.Bank, regs.Count);
  if (count == 0 || count >= 254) return 0;
  SelectBank(0);
  const uint32_t e1 = hwmcalc::Field(ReadRegister(regs.Div1Reg), regs.Div1Mask, regs.Div1Shift);
  const uint32_t e2 = hwmcalc::Field(ReadRegister(regs.Div2Reg), regs.Div2Mask, regs.Div2Shift);
  return hwmcalc::WinbondFanRpm(count, e1 + e2);
}

int32_t TWinbondHwm::ReadFanRecord(const TFanRecord& record) {
  if (record.Interface.empty()) {
    const uint8_t count = ReadBanked(record.ReadingBank, record.ReadingReg);
    if (count == 0 || count > 253) return 0;
    const uint32_t e1 = hwmcalc::Field(ReadBanked(record.Div1Bank, record.Div1Reg), record.Div1Mask,
                                       record.Div1Shift);
    const uint32_t e2 = hwmcalc::Field(ReadBanked(record.Div2Bank, record.Div2Reg), record.Div2Mask,
                                       record.Div2Shift);
    return hwmcalc::WinbondFanRpm(count, e1 + e2);
  }
  if (record.Interface == "IOBASE") {
    if (record.IoPort == -1 || record.Multiple == -1) return -1;
    // A port the processor does not have would be cut to 16 bits and read some other device.
    if (record.IoPort < 0 || record.IoPort > 0xFFFF) {
      TraceLine("Fan IoPort " + std::to_string(record.IoPort) + " is not an I/O port");
      return -1;
    }
    const int64_t rpm =
        int64_t{Rw_.IoBaseReadByte(static_cast<uint16_t>(record.IoPort))} * record.Multiple;
    if (rpm < 0 || rpm > INT32_MAX) return -1;
    return static_cast<int32_t>(rpm);
  }
  return -1;
}

int32_t TWinbondHwm::ReadFan(size_t fan) {
  // This board's fans 4 and 5 sit on each other's tachometer inputs, whatever FanConfig says.
  if (BoardModel_ == kSwappedFansBoard && (fan == 3 || fan == 4))
    return ReadDefaultFan(kDefaultFans[fan == 3 ? 4 : 3]);
  if (FanConfig.Loaded) return FanConfig.Fans[fan] ? ReadFanRecord(*FanConfig.Fans[fan]) : 0;
  return ReadDefaultFan(kDefaultFans[fan]);
}

void TWinbondHwm::ReadAll(TSensorRecord& record) {
  int32_t board = ReadTemperature(0, kBoardTempReg);
  if (MbTempOffset != 0 && board + MbTempOffset > 0) board += MbTempOffset;
  record.BoardTemp = board;
  record.BoardTempF = hwmcalc::Fahrenheit(board);

  int32_t cpu = ReadTemperature(kCpuTempBank, kCpuTempReg);
  if (AverageCpuTemp) cpu = Ring_.Add(cpu);
  // Boards whose CPU diode reads low: never show the CPU cooler than the board.
  if (ModCpuTempFromMbTemp != 0 && board >= cpu) cpu = board + ModCpuTempFromMbTemp;
  record.CpuTemp = cpu;
  record.CpuTempF = hwmcalc::Fahrenheit(cpu);

  record.Fan1 = ReadFan(0);
  record.Fan2 = ReadFan(1);
  record.Fan3 = ReadFan(2);
  record.Fan4 = ReadFan(3);
  record.Fan5 = ReadFan(4);

  record.Vcore = ReadVolts(VcoreIn, VcoreIn.Offset);
  record.V3_3 = ReadVolts(V3In, V3In.Offset);
  record.V5 = ReadVolts(V5In, V5In.Offset);
  record.V12 = ReadVolts(V12In, V12In.Offset);

  if (record.Vcore > record.PeakVcore) record.PeakVcore = record.Vcore;
  // Under heavy load the sampled Vcore of AMD boards dips between the regulator's steps; the peak
  // is the better figure.
  if (HeavyAmdLoad()) record.Vcore = record.PeakVcore;
}

void TWinbondHwm::Refresh() {
  if (!HasPorts()) return MarkNotAvailable();
  TSensorRecord record;
  record.PeakVcore = PeakVcore;
  ReadAll(record);
  BoardTemp = record.BoardTemp;
  BoardTempF = record.BoardTempF;
  CpuTemp = record.CpuTemp;
  CpuTempF = record.CpuTempF;
  Fans = {record.Fan1, record.Fan2, record.Fan3, record.Fan4, record.Fan5};
  Vcore = record.Vcore;
  V3_3 = record.V3_3;
  V5 = record.V5;
  V12 = record.V12;
  PeakVcore = record.PeakVcore;
}

void TWinbondHwm::RefreshInto(TSensorRecord* record) {
  if (record == nullptr) return;
  if (!HasPorts()) return MarkNotAvailable(record);
  ReadAll(*record);
}

void TWinbondHwm::RefreshVcore() {
  Vcore = HasPorts() ? ReadVolts(VcoreIn, VcoreIn.Offset) : -1.0f;
}

void TWinbondHwm::RefreshVcoreNoOffset() {
  VcoreNoOffset = HasPorts() ? ReadVolts(VcoreIn, 0.0f) : -1.0f;
}

bool TWinbondHwm::GetCpuFanControl(uint8_t& target, uint8_t& value) {
  SelectBank(0);
  if (((ReadRegister(kFanMode) >> 4) & 0x03) != 0x01) return false;
  target = ReadRegister(kFanTarget);
  value = ReadRegister(kFanStopValue);
  return true;
}

void TWinbondHwm::SetCpuFanControl(uint8_t target, uint8_t value, bool flag) {
  SelectBank(0);
  WriteRegister(kFanMode,
                static_cast<uint8_t>((ReadRegister(kFanMode) & 0xCD) | (flag ? 0x02 : 0)));
  WriteRegister(kFanTarget, target);
  WriteRegister(kFanTolerance, static_cast<uint8_t>((ReadRegister(kFanTolerance) & 0x0F) | 0x20));
  WriteRegister(kFanStartValue, 0xFF);
  WriteRegister(kFanStopValue, value);
  WriteRegister(kFanStepTime, 60);
  const int32_t cpu = ReadTemperature(kCpuTempBank, kCpuTempReg);
  SelectBank(0);
  // A CPU below the target would leave the fan at its old output until the next step; start it at
  // the requested value and give it a second to spin up.
  if (cpu < target) {
    WriteRegister(kFanOutput, value);
    Wait(1000);
  }
  WriteRegister(kFanMode, static_cast<uint8_t>((ReadRegister(kFanMode) & 0xCF) | 0x10));
}

void TWinbondHwm::TrackCpuFanRange(int32_t& minRpm, int32_t& maxRpm) {
  if (!HasPorts()) return;
  const uint8_t output = ReadRegister(kFanOutput);
  if (output > 240) {
    const int32_t rpm = ReadDefaultFan(kDefaultFans[0]);
    if (rpm > maxRpm) maxRpm = rpm;
  } else if (output <= 26) {
    const int32_t rpm = ReadDefaultFan(kDefaultFans[0]);
    if (rpm < minRpm) minRpm = rpm;
  }
}

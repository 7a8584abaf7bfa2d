#include "chips/itehwm.h"

#include <cmath>

#include "base/inifile.h"
#include "base/textfmt.h"
#include "base/trace.h"
#include "chips/sio.h"
#include "hw/readwrite.h"

namespace {

constexpr uint8_t kEcLdn = 0x04;
constexpr uint8_t kCpuTempReg = 0x29;
constexpr uint8_t kBoardTempReg = 0x2A;
// SmartGuardian control of the CPU fan.
constexpr uint8_t kFanMainControl = 0x13;
constexpr uint8_t kFanPwmControl = 0x15;
constexpr uint8_t kFanOffTemp = 0x60;
constexpr uint8_t kFanStartTemp = 0x61;
constexpr uint8_t kFanFullTemp = 0x62;
constexpr uint8_t kFanStartPwm = 0x63;
constexpr uint8_t kFanSlope = 0x64;

constexpr const char* kGpuSection = "GpuTempConfig";

}  // namespace

TFanConfig TFanConfig::Load(const TiFile& model) {
  TFanConfig config;
  config.Loaded = model.SectionExists(kSection);
  if (!config.Loaded) return config;
  for (size_t fan = 0; fan < kKeys.size(); ++fan) {
    const std::string name = model.ReadString(kSection, kKeys[fan], "");
    if (name.empty() || !model.SectionExists(name)) continue;
    TFanRecord r;
    r.ReadingBank = model.ReadInteger(name, "ReadingBank", r.ReadingBank);
    r.ReadingReg = model.ReadInteger(name, "ReadingReg", r.ReadingReg);
    r.Div1Bank = model.ReadInteger(name, "Div1Bank", r.Div1Bank);
    r.Div1Reg = model.ReadInteger(name, "Div1Reg", r.Div1Reg);
    r.Div1Mask = model.ReadInteger(name, "Div1Mask", r.Div1Mask);
    r.Div1Shift = model.ReadInteger(name, "Div1Shift", r.Div1Shift);
    r.Div2Bank = model.ReadInteger(name, "Div2Bank", r.Div2Bank);
    r.Div2Reg = model.ReadInteger(name, "Div2Reg", r.Div2Reg);
    r.Div2Mask = model.ReadInteger(name, "Div2Mask", r.Div2Mask);
    r.Div2Shift = model.ReadInteger(name, "Div2Shift", r.Div2Shift);
    r.ReadingMsbReg = model.ReadInteger(name, "ReadingMsbReg", r.ReadingMsbReg);
    r.ReadingLsbReg = model.ReadInteger(name, "ReadingLsbReg", r.ReadingLsbReg);
    r.Divisor = model.ReadInteger(name, "Divisor", r.Divisor);
    r.Interface = model.ReadString(name, "Interface", "");
    r.IoPort = model.ReadInteger(name, "IoPort", r.IoPort);
    r.Multiple = model.ReadInteger(name, "Multiple", r.Multiple);
    r.FanCtlPort = model.ReadInteger(name, "FanCtlPort", r.FanCtlPort);
    config.Fans[fan] = r;
  }
  return config;
}

TIteHwm::TIteHwm(const THwmContext& context) : IHwm(context) {
  Name = "ITE";
  TraceLine("<<<< ITE HWM >>>>");
  // The detection that chose this monitor ran before the chip's environment controller was in
  // use; a fresh one sees the chip as it is now.
  if (Sio_ && NewSio_) Sio_ = NewSio_();
  FindPorts(kEcLdn);

  AverageCpuTemp = Model_.ReadBool(kSection, "AverageCpuTemp", false);
  ModCpuTempFromMbTemp = Model_.ReadInteger(kSection, "ModCpuTempFromMbTemp", 0);
  VcoreIn = ReadVoltageInput(Model_, kSection, "SioVcore");
  VcoreOffset0 = static_cast<float>(Model_.ReadFloat(kSection, "SioVcoreOffset0", -1.0));
  VcoreOffset1 = static_cast<float>(Model_.ReadFloat(kSection, "SioVcoreOffset1", -1.0));
  V3In = ReadVoltageInput(Model_, kSection, "Sio3V");
  V5In = ReadVoltageInput(Model_, kSection, "Sio5V");
  V12In = ReadVoltageInput(Model_, kSection, "Sio12V");
  MbTempOffset = Model_.ReadInteger(kSection, "MbTempOffset", 0);
  // The engine takes the current-monitor register from this section on ITE boards; the monitor's
  // field follows it so that diagnostics show the same register.
  ImonReg = Model_.ReadInteger(kSection, "SioImonVReg", 36);

  // Board revisions differ in the Vcore sense line's offset.
  if (RevisionIndex_ == 0 && VcoreOffset0 != -1.0f) VcoreIn.Offset = VcoreOffset0;
  if (RevisionIndex_ == 1 && VcoreOffset1 != -1.0f) VcoreIn.Offset = VcoreOffset1;

  if (Model_.SectionExists(kGpuSection)) GpuPort = Model_.ReadInteger(kGpuSection, "IoPort", -1);
  if (GpuPort > 0xFFFF) {
    TraceLine("GpuTempConfig IoPort " + std::to_string(GpuPort) + " is not an I/O port");
    GpuPort = -1;
  }
  GpuTemp = -1;
  GpuTempF = -1;
  AltVcore = 0;
  FanConfig = TFanConfig::Load(Model_);
}

float TIteHwm::ReadVolts(const TVoltageInput& input, float offset) {
  return hwmcalc::IteVolts(ReadRegister(static_cast<uint8_t>(input.Reg)), input, offset);
}

int32_t TIteHwm::ReadFan(const TFanRecord& record) {
  const uint8_t msb = ReadRegister(static_cast<uint8_t>(record.ReadingMsbReg));
  const uint8_t lsb = ReadRegister(static_cast<uint8_t>(record.ReadingLsbReg));
  return hwmcalc::IteFanRpm(msb * 256u + lsb, record.Divisor);
}

int32_t TIteHwm::GpuTemperature(uint16_t value) {
  return static_cast<int32_t>(std::nearbyint((value & 0x3FFF) * 0.056234301 - 745.519));
}

void TIteHwm::Refresh() {
  if (!HasPorts()) return MarkNotAvailable();
  CpuTemp = hwmcalc::Temperature(ReadRegister(kCpuTempReg));
  CpuTempF = hwmcalc::Fahrenheit(CpuTemp);
  BoardTemp = hwmcalc::Temperature(ReadRegister(kBoardTempReg));
  BoardTempF = hwmcalc::Fahrenheit(BoardTemp);

  // Only the CPU, chassis and northbridge fans are wired on the ITE boards.
  for (size_t fan : {size_t{0}, size_t{1}, size_t{3}})
    Fans[fan] = FanConfig.Fans[fan] ? ReadFan(*FanConfig.Fans[fan]) : 0;

  Vcore = ReadVolts(VcoreIn, VcoreIn.Offset);
  V3_3 = ReadVolts(V3In, V3In.Offset);
  V5 = ReadVolts(V5In, V5In.Offset);
  V12 = ReadVolts(V12In, V12In.Offset);
  if (Vcore > PeakVcore) PeakVcore = Vcore;
  if (HeavyAmdLoad()) Vcore = PeakVcore;

  if (GpuPort >= 0) {
    GpuTemp = GpuTemperature(Rw_.IoBaseReadWord(static_cast<uint16_t>(GpuPort)));
    GpuTempF = hwmcalc::Fahrenheit(GpuTemp);
  }
}

void TIteHwm::RefreshInto(TSensorRecord*) {}

void TIteHwm::RefreshVcore() {
  TraceLine("SioVcoreReg:" + HexByte(static_cast<uint8_t>(VcoreIn.Reg)));
  if (!HasPorts()) {
    TraceLine("Can't read VcoreV");
    Vcore = AltVcore = -1.0f;
    return;
  }
  Vcore = ReadVolts(VcoreIn, VcoreIn.Offset);
  if (Vcore > AltVcore) AltVcore = Vcore;
  if (!(Vcore > 0.0f)) {
    TraceLine("Can't read VcoreV");
    Vcore = -1.0f;
  }
}

void TIteHwm::RefreshVcoreNoOffset() {
  Vcore = HasPorts() ? ReadVolts(VcoreIn, 0.0f) : -1.0f;
}

bool TIteHwm::GetCpuFanControl(uint8_t& target, uint8_t& value) {
  if (!HasPorts()) return false;
  if ((ReadRegister(kFanMainControl) & 0x01) == 0) return false;
  target = ReadRegister(kFanFullTemp);
  value = ReadRegister(kFanStartPwm);
  return true;
}

void TIteHwm::SetCpuFanControl(uint8_t target, uint8_t value, bool) {
  WriteRegister(kFanMainControl, static_cast<uint8_t>(ReadRegister(kFanMainControl) | 0x01));
  WriteRegister(kFanPwmControl, 0x80);
  WriteRegister(kFanOffTemp, 0x9F);
  WriteRegister(kFanStartTemp, target);
  WriteRegister(kFanFullTemp, target);
  WriteRegister(kFanStartPwm, value);
  WriteRegister(kFanSlope, 8);
}

void TIteHwm::TrackCpuFanRange(int32_t&, int32_t&) {}

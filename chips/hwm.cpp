#include "chips/hwm.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

#include "base/inifile.h"
#include "base/textfmt.h"
#include "base/trace.h"
#include "chips/itehwm.h"
#include "chips/sio.h"
#include "chips/winbondhwm.h"
#include "hw/readwrite.h"
#include "platform/cpu.h"
#include "platform/korspec.h"

namespace {

std::string Volts(float value) {
  // A divider left out of the model file gives no number; say so the same way everywhere.
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", static_cast<double>(value));
  return text;
}

std::string Line(std::string_view name, const std::string& value) {
  return std::string(name) + ": " + value;
}

}  // namespace

std::vector<std::string> SensorRecordLines(const TSensorRecord& r) {
  return {
      Line("Fan1", std::to_string(r.Fan1)),
      Line("Fan2", std::to_string(r.Fan2)),
      Line("Fan4", std::to_string(r.Fan4)),
      Line("Fan5", std::to_string(r.Fan5)),
      Line("Fan3", std::to_string(r.Fan3)),
      Line("CpuTemp", std::to_string(r.CpuTemp)),
      Line("CpuTempF", std::to_string(r.CpuTempF)),
      Line("BoardTemp", std::to_string(r.BoardTemp)),
      Line("BoardTempF", std::to_string(r.BoardTempF)),
      Line("GpuTemp", std::to_string(r.GpuTemp)),
      Line("GpuTempF", std::to_string(r.GpuTempF)),
      Line("Vcore", Volts(r.Vcore)),
      Line("V3.3", Volts(r.V3_3)),
      Line("V5", Volts(r.V5)),
      Line("V12", Volts(r.V12)),
      Line("PeakVcore", Volts(r.PeakVcore)),
  };
}

void TakePlatformFacts(THwmContext& context, TCpu& cpu, const TKorSpec& korSpec) {
  context.BoardModel = korSpec.ModelName();
  context.AmdProcessor = cpu.IsAMDCpu();
}

TVoltageInput ReadVoltageInput(const TiFile& model, std::string_view section,
                               std::string_view prefix) {
  const std::string p(prefix);
  TVoltageInput input;
  input.Bank = model.ReadInteger(section, p + "Bank", 0);
  input.Reg = model.ReadInteger(section, p + "Reg", 0);
  input.R1 = model.ReadInteger(section, p + "R1", 0);
  input.R2 = model.ReadInteger(section, p + "R2", 0);
  input.Ref = model.ReadInteger(section, p + "Ref", 0);
  input.Offset = static_cast<float>(model.ReadFloat(section, p + "Offset", 0.0));
  return input;
}

namespace hwmcalc {

constexpr float kNotAvailableVolts = -1.0f;

// A divider R2 of 0 (a model file without the key) leaves no voltage to compute: the division would
// give an infinity or NaN that the engine would turn into power figures and energy totals. Such an
// input reads as not available (-1), like a missing monitor.
float WinbondVolts(uint8_t raw, const TVoltageInput& input, float offset) {
  const auto r1 = static_cast<uint8_t>(input.R1);
  const auto r2 = static_cast<uint8_t>(input.R2);
  if (r2 == 0) return kNotAvailableVolts;
  const auto ref = static_cast<uint16_t>(input.Ref);
  const float numerator = static_cast<float>(raw * (r1 + r2)) -
                          static_cast<float>(ref) * 0.0625f * static_cast<float>(r1);
  const float divisor = static_cast<float>(r2) * 125.0f;
  return numerator / divisor + offset;
}

float IteVolts(uint8_t raw, const TVoltageInput& input, float offset) {
  const auto r1 = static_cast<float>(input.R1);
  const auto r2 = static_cast<float>(input.R2);
  if (r2 == 0.0f) return kNotAvailableVolts;
  const auto ref = static_cast<uint16_t>(input.Ref);
  const float numerator =
      static_cast<float>(raw) * (r1 + r2) - r1 * static_cast<float>(ref) * 0.0625f;
  const float divisor = r2 * 125.0f * 0.5f;
  return numerator / divisor + offset;
}

int32_t Temperature(uint8_t value) {
  if (value == 0) return -1;
  if (value & 0x80) return 256 - value;
  return value;
}

int32_t Fahrenheit(int32_t celsius) {
  return celsius * 9 / 5 + 32;
}

int32_t WinbondFanRpm(uint8_t count, uint32_t exponent) {
  if (count == 0 || count >= 254) return 0;
  if (exponent > 31) return 0;  // 1356000 / (count << 21 or more) is 0 already
  return static_cast<int32_t>(1356000u / (uint64_t{count} << exponent));
}

int32_t IteFanRpm(uint32_t count, int32_t divisor) {
  if (count == 0 || count >= 0xFFFE || divisor <= 0) return 0;
  return static_cast<int32_t>(1356000u / (uint64_t{count} * static_cast<uint32_t>(divisor)));
}

uint32_t Field(uint8_t value, int32_t mask, int32_t shift) {
  return (value & static_cast<uint32_t>(mask)) >> (static_cast<uint32_t>(shift) & 31u);
}

}  // namespace hwmcalc

// ---------------------------------------------------------------------------------------------
// IHwm

IHwm::IHwm(const THwmContext& context)
    : Rw_(context.Rw),
      Model_(context.Model),
      Sio_(context.Sio),
      NewSio_(context.NewSio),
      BoardModel_(context.BoardModel),
      AmdProcessor_(context.AmdProcessor),
      CpuLoad_(context.CpuLoad),
      RevisionIndex_(context.RevisionIndex),
      Sleep_(context.Sleep) {}

uint8_t IHwm::ReadRegister(uint8_t reg) {
  if (IndexPort == 0) return 0xFF;
  Rw_.IoBaseWriteByte(IndexPort, reg);
  return Rw_.IoBaseReadByte(DataPort);
}

void IHwm::WriteRegister(uint8_t reg, uint8_t value) {
  if (IndexPort == 0) return;
  Rw_.IoBaseWriteByte(IndexPort, reg);
  Rw_.IoBaseWriteByte(DataPort, value);
}

uint16_t IHwm::FindPorts(uint8_t ldn) {
  IndexPort = 0;
  DataPort = 0;
  if (!Sio_ || !Sio_->Detected()) return 0;
  Sio_->SelectLogicalDevice(ldn);
  const uint16_t base = Sio_->ReadDeviceBase();
  IndexPort = static_cast<uint16_t>(base + 5);
  DataPort = static_cast<uint16_t>(IndexPort + 1);
  return base;
}

bool IHwm::HeavyAmdLoad() const {
  return AmdProcessor_ && CpuLoad_ && CpuLoad_() > 80.0;
}

void IHwm::MarkNotAvailable(TSensorRecord* record) {
  constexpr float kNone = -1.0f;
  CpuTemp = CpuTempF = BoardTemp = BoardTempF = -1;
  Fans.fill(0);
  Vcore = VcoreNoOffset = V3_3 = V5 = V12 = AltVcore = kNone;
  if (record == nullptr) return;
  record->Fan1 = record->Fan2 = record->Fan3 = record->Fan4 = record->Fan5 = 0;
  record->CpuTemp = record->CpuTempF = record->BoardTemp = record->BoardTempF = -1;
  record->Vcore = record->V3_3 = record->V5 = record->V12 = kNone;
}

void IHwm::Wait(uint32_t milliseconds) const {
  if (Sleep_)
    Sleep_(milliseconds);
  else
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void IHwm::FillRecord(TSensorRecord& record) const {
  record.Fan1 = Fans[0];
  record.Fan2 = Fans[1];
  record.Fan3 = Fans[2];
  record.Fan4 = Fans[3];
  record.Fan5 = Fans[4];
  record.CpuTemp = CpuTemp;
  record.CpuTempF = CpuTempF;
  record.BoardTemp = BoardTemp;
  record.BoardTempF = BoardTempF;
  record.GpuTemp = GpuTemp;
  record.GpuTempF = GpuTempF;
  record.Vcore = Vcore;
  record.V3_3 = V3_3;
  record.V5 = V5;
  record.V12 = V12;
  record.PeakVcore = PeakVcore;
}

// ---------------------------------------------------------------------------------------------
// THwm

THwm::THwm(const THwmContext& context) {
  const std::string vendor = context.Sio ? context.Sio->Vendor : std::string();
  TraceLine("Super IO Vender " + vendor);
  if (vendor == "ITE") {
    Monitor_ = std::make_unique<TIteHwm>(context);
    TraceLine("....ITE OK");
  } else {
    Monitor_ = std::make_unique<TWinbondHwm>(context);
  }
}

THwm::THwm(std::unique_ptr<IHwm> monitor) : Monitor_(std::move(monitor)) {}

THwm::~THwm() = default;

void THwm::RefreshVcore() {
  if (Monitor_) Monitor_->RefreshVcore();
}

uint8_t THwm::ReadRegister(uint8_t reg) {
  return Monitor_ ? Monitor_->ReadRegister(reg) : 255;
}

float THwm::GetVcore() const {
  return Available() ? Monitor_->Vcore : -1.0f;
}

float THwm::GetAlternateVcore() const {
  return Available() ? Monitor_->AltVcore : -1.0f;
}

void THwm::SetVcore(float value) {
  if (Monitor_) Monitor_->Vcore = value;
}

std::vector<std::string> THwm::SensorReport() {
  if (!Monitor_) return {"Monitor: none"};
  IHwm& m = *Monitor_;
  std::vector<std::string> lines = {
      Line("Monitor", m.Name),
      Line("IndexPort", HexWord(m.IndexPort)),
      Line("DataPort", HexWord(m.DataPort)),
  };
  m.Refresh();
  TSensorRecord record;
  m.FillRecord(record);
  for (std::string& line : SensorRecordLines(record)) lines.push_back(std::move(line));
  m.RefreshVcore();
  lines.push_back(Line("RefreshVcore", Volts(m.Vcore)));
  lines.push_back(Line("AltVcore", Volts(m.AltVcore)));
  lines.push_back(Line("ImonReg", std::to_string(m.ImonReg) + " (" +
                                      HexMin(static_cast<uint32_t>(m.ImonReg)) + ")"));
  lines.push_back(Line("ImonByte", HexByte(m.ReadRegister(static_cast<uint8_t>(m.ImonReg)))));
  return lines;
}

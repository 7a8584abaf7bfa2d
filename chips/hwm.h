// The board's hardware monitor: the Super I/O block that digitises the core voltage, the supply
// rails, temperatures and fan tachometers. The energy-saving engine needs only the core voltage and
// one raw register (the voltage regulator's current-monitor output) per timer tick; the full sensor
// read and the CPU-fan operations serve diagnostics.
//
// IHwm holds the sensor values and the index/data port pair; TWinbondHwm (winbondhwm.h) and
// TIteHwm (itehwm.h) read them from the two chip families. THwm picks the family from the detected
// Super I/O vendor and forwards the few calls the rest of the program makes.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TReadWrite;
class TSio;
class TiFile;
class TCpu;
class TKorSpec;

// What a hardware monitor works with. The platform objects are passed as the facts the monitors
// take from them, so a monitor can be built before (or without) them.
struct THwmContext {
  TReadWrite& Rw;
  const TiFile& Model;  // the board's model file
  // The program's one Super I/O object; may be empty. The ITE monitor replaces it with a freshly
  // detected one (made by NewSio, when given), because its detection only sees the chip's
  // environment controller once the chip is active.
  std::unique_ptr<TSio>& Sio;
  std::function<std::unique_ptr<TSio>()> NewSio = {};
  std::string BoardModel = {};  // SMBIOS base-board model name (TKorSpec::ModelName)
  bool AmdProcessor = false;    // TCpu::IsAMDCpu
  // Processor load in percent (the CPU-usage meter); asked only on AMD processors. Empty reads 0.
  std::function<double()> CpuLoad = {};
  // Index of the board revision that board version control found; -1 for none (or no control).
  int32_t RevisionIndex = -1;
  // Waits the given milliseconds; empty sleeps the calling thread.
  std::function<void(uint32_t)> Sleep = {};
};

// Fills BoardModel and AmdProcessor from the platform objects.
void TakePlatformFacts(THwmContext& context, TCpu& cpu, const TKorSpec& korSpec);

// The caller's record of a full sensor read: 32-bit words in this order. The words marked unused
// are left as the caller set them.
struct TSensorRecord {
  int32_t Fan1 = 0;  // RPM
  int32_t Fan2 = 0;
  int32_t Fan4 = 0;
  int32_t Fan5 = 0;
  int32_t Fan3 = 0;
  int32_t CpuTemp = 0;  // degrees C
  int32_t CpuTempF = 0;
  std::array<int32_t, 6> Unused1{};
  int32_t BoardTemp = 0;
  int32_t BoardTempF = 0;
  int32_t GpuTemp = 0;
  int32_t GpuTempF = 0;
  float Vcore = 0;  // volts
  int32_t Unused2 = 0;
  float V3_3 = 0;
  float V5 = 0;
  float V12 = 0;
  float PeakVcore = 0;
};
static_assert(sizeof(TSensorRecord) == 23 * 4, "the sensor record is 23 packed 32-bit words");

// One "name: value" line per written field of the record, in record order.
std::vector<std::string> SensorRecordLines(const TSensorRecord& record);

// Where a monitored voltage is and how its divider scales it (keys <prefix>Bank, Reg, R1, R2, Ref,
// Offset of the monitor's model-file section).
struct TVoltageInput {
  int32_t Bank = 0;  // Winbond only
  int32_t Reg = 0;
  int32_t R1 = 0;
  int32_t R2 = 0;
  int32_t Ref = 0;
  float Offset = 0;
};
TVoltageInput ReadVoltageInput(const TiFile& model, std::string_view section,
                               std::string_view prefix);

// The conversions both chip families share.
namespace hwmcalc {
// Winbond: 8 mV a count; R1 and R2 are taken as bytes, Ref as a 16-bit word, all in single
// precision. With R1 = 0 and R2 = 1 this is raw x 8 mV + offset.
float WinbondVolts(uint8_t raw, const TVoltageInput& input, float offset);
// ITE: 16 mV a count; R1 and R2 as floating-point numbers.
float IteVolts(uint8_t raw, const TVoltageInput& input, float offset);
// A temperature byte: 0 (sensor absent) gives -1; a byte with bit 7 set reads as its two's
// complement, so the result is 1 to 128.
int32_t Temperature(uint8_t value);
int32_t Fahrenheit(int32_t celsius);  // C x 9 / 5 + 32 in integer arithmetic
// 1356000 / (count x 2^exponent); a count of 0 or 254 and above (a stopped fan) gives 0.
int32_t WinbondFanRpm(uint8_t count, uint32_t exponent);
// 1356000 / (count x divisor) for the ITE 16-bit counts; 0 and 0xFFFE and above give 0, as does a
// divisor that is not positive.
int32_t IteFanRpm(uint32_t count, int32_t divisor);
// (value AND mask) shifted right; the shift is taken modulo 32, as the processor does.
uint32_t Field(uint8_t value, int32_t mask, int32_t shift);
}  // namespace hwmcalc

class IHwm {
 public:
  virtual ~IHwm() = default;
  IHwm(const IHwm&) = delete;
  IHwm& operator=(const IHwm&) = delete;

  // Slot 0: reads every sensor into the fields below.
  virtual void Refresh() = 0;
  // Slot 1: the same read into a caller's record (nothing for a null record).
  virtual void RefreshInto(TSensorRecord* record) = 0;
  // Slot 2: recomputes Vcore only.
  virtual void RefreshVcore() = 0;
  // Slot 3: Vcore with the offset left out.
  virtual void RefreshVcoreNoOffset() = 0;
  // Slot 4: the CPU fan's automatic control: true with its target temperature and output value
  // when the chip runs the CPU fan in that mode.
  virtual bool GetCpuFanControl(uint8_t& target, uint8_t& value) = 0;
  // Slot 5: switches the CPU fan to automatic control with a target temperature and output value.
  virtual void SetCpuFanControl(uint8_t target, uint8_t value, bool flag) = 0;
  // Slot 6: widens the observed CPU-fan speed range at the ends of the fan output.
  virtual void TrackCpuFanRange(int32_t& minRpm, int32_t& maxRpm) = 0;
  // Slot 7: one register through the index/data pair; 0xFF when the monitor has no ports.
  uint8_t ReadRegister(uint8_t reg);

  // Copies the fields of the last Refresh into a record (the unused words stay as they are).
  void FillRecord(TSensorRecord& record) const;

  // False when no monitor was found (no Super I/O, or DisableSuperIo): every register then reads
  // 0xFF, which is no reading at all, so the monitor reports its values as not available.
  bool HasPorts() const { return IndexPort != 0; }

  std::string Name;        // the chip family, for diagnostics
  uint16_t IndexPort = 0;  // monitor base + 5; 0 when the monitor could not be found
  uint16_t DataPort = 0;   // index port + 1
  int32_t CpuTemp = -1;    // degrees C, -1 when not available
  int32_t CpuTempF = -1;
  int32_t BoardTemp = -1;
  int32_t BoardTempF = -1;
  std::array<int32_t, 5> Fans{};  // fan 1 to fan 5, RPM
  float Vcore = 0;
  float VcoreNoOffset = 0;
  float V3_3 = 0;
  float V5 = 0;
  float V12 = 0;
  float PeakVcore = 0;
  float AltVcore = 0;
  int32_t ImonReg = 36;  // register of the current-monitor input
  int32_t GpuTemp = -1;
  int32_t GpuTempF = -1;

 protected:
  explicit IHwm(const THwmContext& context);

  void WriteRegister(uint8_t reg, uint8_t value);
  // Selects the monitor's logical device, reads its base address and sets the port pair; without
  // a detected Super I/O the ports stay 0 and the monitor touches no port.
  uint16_t FindPorts(uint8_t ldn);
  // The AMD rule of the full read: under heavy load the peak stands in for the sampled Vcore.
  bool HeavyAmdLoad() const;
  // A monitor without ports: temperatures and voltages -1, fans 0, in the fields and in record.
  void MarkNotAvailable(TSensorRecord* record = nullptr);
  void Wait(uint32_t milliseconds) const;

  TReadWrite& Rw_;
  const TiFile& Model_;
  std::unique_ptr<TSio>& Sio_;
  std::function<std::unique_ptr<TSio>()> NewSio_;
  std::string BoardModel_;
  bool AmdProcessor_;
  std::function<double()> CpuLoad_;
  int32_t RevisionIndex_;
  std::function<void(uint32_t)> Sleep_;
};

class THwm {
 public:
  // Traces the Super I/O vendor and builds the ITE monitor for vendor "ITE", else the Winbond one.
  explicit THwm(const THwmContext& context);
  // A given monitor, or none.
  explicit THwm(std::unique_ptr<IHwm> monitor = nullptr);
  ~THwm();
  THwm(const THwm&) = delete;
  THwm& operator=(const THwm&) = delete;

  void RefreshVcore();
  uint8_t ReadRegister(uint8_t reg);  // 255 without a monitor
  float GetVcore() const;             // -1 without a monitor or its ports
  float GetAlternateVcore() const;    // -1 without a monitor or its ports
  // A monitor whose ports were found: its readings are readings.
  bool Available() const { return Monitor_ && Monitor_->HasPorts(); }
  void SetVcore(float value);  // the engine's Vcore under load

  IHwm* Monitor() { return Monitor_.get(); }

  // Diagnostics: the monitor and its ports, a full read as the sensor record's lines, then the
  // engine's view: Vcore by RefreshVcore, the alternate Vcore, the current-monitor register and its
  // byte.
  std::vector<std::string> SensorReport();

 private:
  std::unique_ptr<IHwm> Monitor_;
};

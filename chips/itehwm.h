// The ITE environment controller (IT87xx, logical device 4): no register banks, 16 mV a count,
// 16-bit fan counts, and a GPU temperature read from an I/O port the model file names.
//
// Also the fan records of the model file's "FanConfig" section, which both monitor families read
// their fans through when the section exists.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "chips/hwm.h"

// Where one fan's tachometer is, for either chip family.
struct TFanRecord {
  // Winbond: bank and register of the 8-bit count and the two divisor fields.
  int32_t ReadingBank = 0;
  int32_t ReadingReg = 0;
  int32_t Div1Bank = 0;
  int32_t Div1Reg = 0;
  int32_t Div1Mask = 0;
  int32_t Div1Shift = 0;
  int32_t Div2Bank = 0;
  int32_t Div2Reg = 0;
  int32_t Div2Mask = 0;
  int32_t Div2Shift = 0;
  // ITE: the 16-bit count's registers and the divisor.
  int32_t ReadingMsbReg = 0;
  int32_t ReadingLsbReg = 0;
  int32_t Divisor = 1;
  // Winbond: "" reads the registers above, "IOBASE" a byte from IoPort times Multiple.
  std::string Interface;
  int32_t IoPort = -1;  // -1: not set
  int32_t Multiple = -1;
  int32_t FanCtlPort = -1;  // kept with the record; nothing reads it
};

// The "FanConfig" section: each key names the section holding one fan's record.
struct TFanConfig {
  static constexpr const char* kSection = "FanConfig";
  // The keys in fan order: fan 1 to fan 5.
  static constexpr std::array<const char*, 5> kKeys = {"CPUFAN", "CHASSISFAN", "CHASSIS2FAN",
                                                       "NBFAN", "POWERFAN"};

  bool Loaded = false;  // the model file has the section
  std::array<std::optional<TFanRecord>, 5> Fans;

  // A key that is missing or empty, or that names a section the file does not have, leaves its
  // fan without a record.
  static TFanConfig Load(const TiFile& model);
};

class TIteHwm : public IHwm {
 public:
  // Detects the Super I/O afresh, finds the controller through logical device 4 and reads the
  // section "SioHwmSetting_ITE" (and "GpuTempConfig").
  explicit TIteHwm(const THwmContext& context);

  void Refresh() override;
  void RefreshInto(TSensorRecord* record) override;  // nothing: this monitor has no record read
  // Vcore; its largest value so far goes to AltVcore; a reading not above 0 becomes -1.
  void RefreshVcore() override;
  // Vcore with offset 0, written to Vcore.
  void RefreshVcoreNoOffset() override;
  bool GetCpuFanControl(uint8_t& target, uint8_t& value) override;
  void SetCpuFanControl(uint8_t target, uint8_t value, bool flag) override;  // flag unused
  void TrackCpuFanRange(int32_t& minRpm, int32_t& maxRpm) override;          // nothing

  // RPM of a record on this chip.
  int32_t ReadFan(const TFanRecord& record);
  // GPU temperature of a raw 16-bit reading of the GPU port.
  static int32_t GpuTemperature(uint16_t value);

  static constexpr const char* kSection = "SioHwmSetting_ITE";

  // The model file's settings (the three temperature keys are kept; this monitor applies none).
  bool AverageCpuTemp = false;
  int32_t ModCpuTempFromMbTemp = 0;
  int32_t MbTempOffset = 0;
  TVoltageInput VcoreIn, V3In, V5In, V12In;
  float VcoreOffset0 = -1.0f;
  float VcoreOffset1 = -1.0f;
  int32_t GpuPort = -1;  // -1: none
  TFanConfig FanConfig;

 private:
  float ReadVolts(const TVoltageInput& input, float offset);
};

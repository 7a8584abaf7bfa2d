// The Winbond hardware monitor (W83627 and W83667 families, logical device 11): byte registers in
// banks selected through register 0x4E, 8 mV a count, 8-bit fan counts with a power-of-two divisor
// spread over two register fields.
#pragma once

#include <array>
#include <cstdint>

#include "chips/hwm.h"
#include "chips/itehwm.h"

// The last 16 CPU temperatures, for a steadier reading.
class TTemperatureRing {
 public:
  // Stores a reading and returns the integer average of the entries from the first up to the first
  // that is still 0 (never written).
  int32_t Add(int32_t reading);
  void Clear();

 private:
  std::array<int32_t, 16> Samples_{};
  size_t Next_ = 0;
};

class TWinbondHwm : public IHwm {
 public:
  // The default register set of one fan: the count in a bank, the divisor in two fields of bank 0.
  struct TFanRegs {
    uint8_t Bank, Count, Div1Reg, Div1Mask, Div1Shift, Div2Reg, Div2Mask, Div2Shift;
  };
  static const std::array<TFanRegs, 5> kDefaultFans;  // fan 1 to fan 5
  // The board whose fans 4 and 5 are wired the other way round.
  static constexpr const char* kSwappedFansBoard = "VK300M/64X";
  static constexpr const char* kSection = "SioHwmSetting";

  // Finds the monitor through logical device 11 and reads the section "SioHwmSetting" (and
  // "FanConfig").
  explicit TWinbondHwm(const THwmContext& context);

  void Refresh() override;
  void RefreshInto(TSensorRecord* record) override;
  void RefreshVcore() override;
  void RefreshVcoreNoOffset() override;
  bool GetCpuFanControl(uint8_t& target, uint8_t& value) override;
  void SetCpuFanControl(uint8_t target, uint8_t value, bool flag) override;
  void TrackCpuFanRange(int32_t& minRpm, int32_t& maxRpm) override;

  void SelectBank(int32_t bank);
  uint8_t ReadBanked(int32_t bank, int32_t reg);
  // RPM of fan 1 to 5 (index 0 to 4) the way this board reads it.
  int32_t ReadFan(size_t fan);
  int32_t ReadDefaultFan(const TFanRegs& regs);
  // RPM of a model-file record on this chip; -1 for an interface it does not know.
  int32_t ReadFanRecord(const TFanRecord& record);

  // The model file's settings.
  bool AverageCpuTemp = false;
  int32_t ModCpuTempFromMbTemp = 0;
  int32_t MbTempOffset = 0;
  TVoltageInput VcoreIn, V3In, V5In, V12In;
  TFanConfig FanConfig;

 private:
  // The full read into a record; the record's peak Vcore is the one it tracks.
  void ReadAll(TSensorRecord& record);
  float ReadVolts(const TVoltageInput& input, float offset);
  int32_t ReadTemperature(int32_t bank, int32_t reg);

  TTemperatureRing Ring_;
};

// CMOS RAM behind the RTC's index/data pair at 0x70/0x71: 128 bytes, the index port's bit 7
// (NMI disable) ignored. The clock registers are kept as plain bytes.
#pragma once

#include <array>
#include <cstdint>

#include "sim/simdevice.h"

class TSimCmos : public ISimPortHandler, public ISimDevice {
 public:
  static constexpr uint16_t IndexPort = 0x70;
  static constexpr uint16_t DataPort = 0x71;
  static constexpr size_t Size = 128;

  TSimCmos();

  uint8_t Byte(uint8_t index) const { return Ram_[index % Size]; }
  void SetByte(uint8_t index, uint8_t value) { Ram_[index % Size] = value; }

  uint32_t PortRead(uint16_t port, uint8_t width) override;
  void PortWrite(uint16_t port, uint8_t width, uint32_t value) override;

  std::string DeviceName() const override { return "cmos"; }
  void SaveState(TSimState& state) const override;
  bool LoadState(const TSimState& state, std::string* error) override;

 private:
  std::array<uint8_t, Size> Ram_{};
  uint8_t Index_ = 0;
};

// The ACPI power-management timer: a free-running 3.579545 MHz counter, 24 or 32 bits wide,
// read-only, at the port the board's FADT names. Its value is computed from the virtual clock.
#pragma once

#include <cstdint>

#include "sim/simdevice.h"
#include "sim/virtualclock.h"

class TSimPmTimer : public ISimPortHandler {
 public:
  static constexpr uint64_t FrequencyHz = 3579545;

  // bits is 24 or 32; port is the first of the four ports the timer is claimed at.
  TSimPmTimer(const TVirtualClock& clock, uint16_t port, uint8_t bits);

  uint32_t Value() const;
  uint8_t Bits() const { return Bits_; }
  uint16_t Port() const { return Port_; }

  // Claimed as a 4-port block; narrower reads see the bytes of the counter.
  uint32_t PortRead(uint16_t port, uint8_t width) override;
  void PortWrite(uint16_t, uint8_t, uint32_t) override {}

 private:
  const TVirtualClock& Clock_;
  uint16_t Port_;
  uint8_t Bits_;
};

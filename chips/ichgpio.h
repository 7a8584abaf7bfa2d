// GPIO of the Intel ICH south bridge: 64 pins in the I/O-mapped block whose base the LPC bridge
// (bus 0, device 31, function 0) holds in its GPIOBASE register. Pins are named GPIO0 to GPIO63.
// The bridge must be Intel's LPC bridge with its GPIO block enabled at a plausible base; otherwise
// the back-end is not present and touches no port.
#pragma once

#include <cstdint>

#include "chips/gpiobase.h"

class TReadWrite;

class TIchGpio : public TGpioBase {
 public:
  // Finds and checks the block's base once.
  explicit TIchGpio(TReadWrite& rw);

  bool Present() const override { return Present_; }
  uint16_t Base() const { return Base_; }

  void ReadPins() override;
  void SetPin(uint8_t index, uint8_t state) override;

 private:
  // Read-modify-write of one 32-bit register: set bits, then clear bits.
  void Change(uint16_t offset, uint32_t set, uint32_t clear);

  TReadWrite& Rw_;
  uint16_t Base_ = 0;
  bool Present_ = false;
};

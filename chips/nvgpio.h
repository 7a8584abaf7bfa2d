// GPIO of NVIDIA MCP chipsets: 64 pins, one byte each in the I/O space of the SMBus controller
// (GPIO1 to GPIO64). The low nibble of a pin's byte is its mode: 0 input low, 1 input high,
// 4 output low, 5 output high.
#pragma once

#include <cstdint>

#include "chips/gpiobase.h"

class TReadWrite;

class TNvGpio : public TGpioBase {
 public:
  // Looks for the first SMBus controller once; it must be NVIDIA's.
  explicit TNvGpio(TReadWrite& rw);

  bool Found() const { return Found_; }
  bool Present() const override { return Found_; }
  uint16_t Base() const { return Base_; }

  // Without the device these read and drive nothing (and Dump lists no pins).
  void ReadPins() override;
  void SetPin(uint8_t index, uint8_t state) override;

 private:
  TReadWrite& Rw_;
  bool Found_ = false;
  uint16_t Base_ = 0;
};

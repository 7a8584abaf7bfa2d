// GPIO of the ITE IT8720F Super I/O: eight sets of eight pins (GPIO10 to GPIO87). The
// configuration registers of logical device 7 hold enables, polarity and direction (a set bit is
// an output); the pin levels are the "simple I/O" ports at the base in registers 0x62/0x63.
#pragma once

#include <cstdint>
#include <optional>

#include "chips/gpiobase.h"

class TReadWrite;
class TSio;

class TIT8720Gpio : public TGpioBase {
 public:
  TIT8720Gpio(TReadWrite& rw, TSio& sio);

  // Without a detected IT8720F these read and drive nothing and list no pins; with a level-port
  // base that is not plausible they drive nothing and match nothing.
  bool Present() const override { return Present_; }
  void ReadPins() override;
  void SetPin(uint8_t index, uint8_t state) override;

 private:
  // Selects logical device 7 and reads the level ports' base; read at every call because the
  // BIOS or another tool may move it. Nothing (and a debug line) for an implausible base.
  std::optional<uint16_t> SelectAndReadBase();
  void ChangeReg(uint8_t reg, uint8_t set, uint8_t clear);

  TReadWrite& Rw_;
  TSio& Sio_;
  bool Present_ = false;
};

// ITE IT8720F and IT8712F: the configuration registers of sim/superio.h (chip ID 0x87 0x20 or
// 0x87 0x12 at 0x20/0x21, version at 0x22), the GPIO sets of logical device 7 with their simple-
// I/O level ports, and the environment controller of logical device 4.
//
// GPIO. Pins are named GPIO<set><bit> ("GPIO14" is set 1, bit 4). In logical device 7: the
// multi-function selects 0x25 to 0x29 (bit set: GPIO; decoded only while device 7 is selected),
// simple-I/O enables 0xC0 to 0xC4 (bit set: simple I/O), polarity 0xB0 to 0xB4 (bit set:
// inverted), pull-ups 0xB8 to 0xBC and output enables 0xC8 onwards (bit set: OUTPUT, the
// opposite of the Winbond direction registers). Sets 6 to 8 of the IT8720F have no selects,
// polarity or pull-ups. A pin is a GPIO when its select and enable bits are both set (always on
// sets 6 to 8). The level of set n is the I/O port simple-I/O base (0x62/0x63) + n - 1: an output
// reads its latch and drives latch XOR polarity; an input reads its wired level (pull-up level
// when unwired) XOR polarity; writes to input bits are ignored. The ports decode while the base
// is not 0.
//
// Environment controller. Index port = base + 5, data port = base + 6, decoded while device 4 is
// active with a base other than 0. No banks. Computed at each read from the monitor inputs:
//   voltages  16 mV steps: VIN0..VIN7 0x20..0x27, VBAT 0x28
//   temperatures  degrees Celsius, two's complement: TMPIN1..TMPIN3 0x29..0x2B
//   fans      FAN_TAC1..FAN_TAC3 count low bytes 0x0D..0x0F with high bytes 0x18..0x1A,
//             FAN_TAC4 0x80/0x81 and FAN_TAC5 0x82/0x83 (IT8720F). In 16-bit mode (register 0x0C
//             bits 0..2 for fans 1 to 3; fans 4 and 5 always) the count is 1350000 / (RPM x 2) up
//             to 0xFFFF; otherwise the low byte counts with the divisor of register 0x0B (fan 1
//             bits 2:0 and fan 2 bits 5:3 as powers of two, fan 3 bit 6: 8 or 2) up to 0xFF and
//             the high byte reads 0.
// 0x58 reads the vendor ID 0x90. Other registers (limits, fan control) are plain storage.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <string_view>

#include "sim/pinwiring.h"
#include "sim/superio.h"

class TSimAnalogInputs;
struct TIteChipInfo;

class TSimIteChip : public TSimSuperIo, public ISimPinSource {
 public:
  TSimIteChip(TSimMachine& machine, const TIteChipInfo& info, uint16_t port);
  ~TSimIteChip() override;

  // Bases while their ports decode, else 0.
  uint16_t MonitorBase() const { return EcBase_; }
  uint16_t SimpleIoBase() const { return SimpleIoBase_; }
  // What a read of environment-controller register reg through the ports returns.
  uint8_t MonitorRead(uint8_t reg) const;
  bool SetMonitorRegister(uint16_t reg, uint8_t value) override;
  // What a read of the level port of set (1-based) returns.
  uint8_t SimpleIoRead(uint8_t set) const;

  bool HasPin(std::string_view pin) const override;
  TSimPinDrive PinDrive(std::string_view pin) const override;
  bool PinIsGpio(std::string_view pin) const;

 protected:
  void RegisterChanged(uint8_t ldn, uint8_t reg) override;
  void RegistersRestored() override;
  void SaveChipState(TSimState& state) const override;
  bool LoadChipState(const TSimState& state, std::string* error) override;

 private:
  class TEcPorts : public ISimPortHandler {
   public:
    explicit TEcPorts(TSimIteChip& chip) : Chip_(chip) {}
    uint32_t PortRead(uint16_t port, uint8_t width) override;
    void PortWrite(uint16_t port, uint8_t width, uint32_t value) override;

   private:
    TSimIteChip& Chip_;
  };
  class TSimpleIoPorts : public ISimPortHandler {
   public:
    explicit TSimpleIoPorts(TSimIteChip& chip) : Chip_(chip) {}
    uint32_t PortRead(uint16_t port, uint8_t width) override;
    void PortWrite(uint16_t port, uint8_t width, uint32_t value) override;

   private:
    TSimIteChip& Chip_;
  };

  bool FindPin(std::string_view pin, size_t* set, uint8_t* bit) const;
  bool GpioBit(size_t set, uint8_t bit) const;
  uint8_t Outputs(size_t set) const;
  uint8_t Polarity(size_t set) const;
  bool InputLevel(size_t set, uint8_t bit) const;
  void SimpleIoWrite(uint8_t set, uint8_t value);
  uint8_t EcPortRead(uint16_t port) const;
  void EcPortWrite(uint16_t port, uint8_t value);
  void FollowBases();

  TSimMachine& Machine_;
  const TIteChipInfo& Info_;
  TSimPinWiring& Wiring_;
  TSimAnalogInputs& Inputs_;
  TEcPorts EcPorts_;
  TSimpleIoPorts SimpleIoPorts_;
  std::array<uint8_t, 256> Ec_{};
  uint8_t EcIndex_ = 0;
  std::array<uint8_t, 8> Latch_{};  // output latches of the simple-I/O sets
  uint16_t EcBase_ = 0;
  uint16_t SimpleIoBase_ = 0;
};

// The chip of that name ("IT8720F", "IT8712F") with its configuration port at port; null for
// another name.
std::unique_ptr<TSimSuperIo> CreateSimIteChip(TSimMachine& machine, std::string_view name,
                                              uint16_t port);
// "IT8720F, IT8712F", for messages.
std::string SimIteChipNames();

// The GPIO block of an Intel ICH LPC bridge (PCI 00:1f.0). Its I/O base is GPIOBASE, the word at
// offset 0x48 of the bridge's configuration space (bits 15:6 on the ICH9's 64-byte block, 15:7
// on the ICH10's 128-byte one), decoded while GPIO_EN, bit 4 of GPIO_CNTL at 0x4C, is set; the
// model follows configuration writes to both and moves its ports.
//
// Registers (32-bit, any width reaches them):
//   0x00 GPIO_USE_SEL   bit set: the pin is a GPIO (else its native function)
//   0x04 GP_IO_SEL      bit set: input
//   0x0C GP_LVL         an output reads and drives its latch; an input reads the pin's wired
//                       level (high when unwired); writes to input bits are ignored
//   0x18 GPO_BLINK, 0x1C GP_SER_BLINK, 0x20 GP_SB_CMDSTS, 0x24 GP_SB_DATA (plain storage)
//   0x2C GPI_INV        inverts GPIO 0..15 on their way to the SCI/SMI logic only; GP_LVL is
//                       not inverted
//   0x30, 0x34, 0x38    GPIO_USE_SEL2, GP_IO_SEL2, GP_LVL2 for GPIO 32..63
//   0x40, 0x44, 0x48    GPIO_USE_SEL3, GP_IO_SEL3, GP_LVL3 for GPIO 64..95 (ICH10)
//   0x60 GP_RST_SEL     (ICH10, plain storage)
// Bits of GPIOs the chip lacks read 0 and ignore writes. Pins are named GPIO0, GPIO1, ... and join
// the board wiring under the prefix "ICH".
//
// Board-file section (after the bridge's [PCI 00:1f.0] section):
//   [IchGpio]  Chip       ICH9 (61 GPIOs, the default), ICH10R (61) or ICH10 (the corporate
//                         ICH10D/DO, 72)
//              Function   the LPC bridge, default 00:1f.0
//              GPIO_USE_SEL, GP_IO_SEL, GP_LVL, ... = the register values the BIOS left (the
//              model starts all registers at 0)
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "sim/pinwiring.h"
#include "sim/simdevice.h"

class TIniFile;
class TSimMachine;
class TSimPciFunction;

struct TSimIchGpioRegister {
  uint8_t Offset;
  std::string_view Name;
  uint8_t Bank;        // the register's bits are GPIO (32 x Bank + bit); 0xFF: not per pin
  uint32_t WriteMask;  // before the chip's missing GPIOs are masked off
};

struct TSimIchGpioSpec {
  std::string_view Name;
  uint16_t BlockSize;  // 64 or 128 ports
  uint8_t Pins;
  std::span<const TSimIchGpioRegister> Registers;
};

class TSimIchGpio : public ISimPortHandler, public ISimDevice, public ISimPinSource {
 public:
  static constexpr const char* Name = "ich-gpio";
  static constexpr uint16_t GpioBaseOffset = 0x48;
  static constexpr uint16_t GpioControlOffset = 0x4C;
  static constexpr uint8_t GpioEnable = 0x10;
  static constexpr uint8_t UseSel = 0x00;
  static constexpr uint8_t IoSel = 0x04;
  static constexpr uint8_t Level = 0x0C;
  static constexpr uint8_t Invert = 0x2C;
  static constexpr uint8_t UseSel2 = 0x30;
  static constexpr uint8_t IoSel2 = 0x34;
  static constexpr uint8_t Level2 = 0x38;

  // Null for an unknown chip name.
  static const TSimIchGpioSpec* FindSpec(std::string_view chip);

  // Follows lpc's GPIOBASE and GPIO_CNTL; makes their bits writable.
  TSimIchGpio(TSimMachine& machine, TSimPciFunction& lpc, const TSimIchGpioSpec& spec);
  ~TSimIchGpio() override;
  TSimIchGpio(const TSimIchGpio&) = delete;
  TSimIchGpio& operator=(const TSimIchGpio&) = delete;

  const TSimIchGpioSpec& Spec() const { return Spec_; }
  // The decoded base, 0 while GPIO_EN is clear or GPIOBASE is 0.
  uint16_t Base() const { return Claimed_; }
  // Stored register value, and what a read through the ports returns.
  uint32_t Register(uint8_t offset) const;
  uint32_t ReadRegister(uint8_t offset) const;
  // Board setup and tests; false for an offset that is no register.
  bool SetRegister(uint8_t offset, uint32_t value);
  // Re-reads GPIOBASE and GPIO_CNTL and moves the port claim.
  void FollowBase();

  bool HasPin(std::string_view pin) const override;
  TSimPinDrive PinDrive(std::string_view pin) const override;

  uint32_t PortRead(uint16_t port, uint8_t width) override;
  void PortWrite(uint16_t port, uint8_t width, uint32_t value) override;

  std::string DeviceName() const override { return Name; }
  void SaveState(TSimState& state) const override;
  bool LoadState(const TSimState& state, std::string* error) override;

 private:
  const TSimIchGpioRegister* Find(uint8_t offset) const;
  uint32_t Implemented(uint8_t bank) const;
  uint32_t InputLevels(uint8_t bank) const;
  void WriteRegister(uint8_t offset, uint32_t value, uint32_t lanes);
  bool PinIndex(std::string_view pin, uint8_t* index) const;

  TSimMachine& Machine_;
  TSimPciFunction& Lpc_;
  const TSimIchGpioSpec& Spec_;
  TSimPinWiring& Wiring_;
  std::array<uint32_t, 32> Regs_{};  // by offset / 4
  uint16_t Claimed_ = 0;
};

// The [IchGpio] section.
bool BuildSimIchGpio(TSimMachine& machine, const TIniFile& ini, const std::string& section,
                     std::string* error);

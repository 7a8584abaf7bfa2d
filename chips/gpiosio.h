// The engine behind the Winbond Super I/O GPIO back-ends. A chip is described by a table: one row
// per group of eight pins naming its logical device, activation bit, direction, level and
// inversion registers, how its enable mask is formed, when the whole group is no GPIO, and the
// extra pin-multiplexer rules that take single pins away. The engine reads every register the
// table names (each logical device selected once), fills the state codes, and drives pins with
// read-modify-writes of the configuration registers, through TSio.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "chips/gpiobase.h"

class TSio;

// The activation register of every logical device.
constexpr uint8_t kSioActivate = 0x30;

// What ReadPins read: global configuration registers (CRxx) and registers of logical devices.
class TSioGpioRegs {
 public:
  static constexpr int kLdnCount = 16;
  uint8_t Cr(uint8_t reg) const { return Global_[reg]; }
  uint8_t Reg(uint8_t ldn, uint8_t reg) const { return Ldn_[ldn % kLdnCount][reg]; }
  void SetCr(uint8_t reg, uint8_t value) { Global_[reg] = value; }
  void SetReg(uint8_t ldn, uint8_t reg, uint8_t value) { Ldn_[ldn % kLdnCount][reg] = value; }

 private:
  std::array<uint8_t, 256> Global_{};
  std::array<std::array<uint8_t, 256>, kLdnCount> Ldn_{};
};

// The state codes of every pin of a chip, indexed by pin.
using TPinStates = std::array<uint8_t, TGpioBase::kMaxPins>;

struct TSioGpioGroup {
  uint8_t Ldn = 0;
  uint8_t ActBit = 0;  // in register 0x30 of the logical device
  uint8_t Direction = 0, Level = 0, Inversion = 0;
  // The enable mask (bit 0: Not GPIO); null: all ones. EnableReg is the register of the group's
  // logical device it reads (0: none), so that ReadPins fetches it.
  uint8_t EnableReg = 0;
  uint8_t (*Enable)(const TSioGpioRegs&) = nullptr;
  // The group's pins are all Not GPIO when this holds; null: never.
  bool (*NotGpio)(const TSioGpioRegs&) = nullptr;
  // Pin-multiplexer rules applied after the group's pins were computed; null: none.
  void (*Extra)(const TSioGpioRegs&, TPinStates&) = nullptr;
  // SetPin: bits of a global register set before the logical device is selected (SetCr 0: none),
  // and a register of the device in which the pin's bit is cleared after activation (0: none).
  uint8_t SetCr = 0, SetCrBit = 0;
  uint8_t ClearReg = 0;
};

struct TSioGpioChip {
  std::span<const TSioGpioGroup> Groups;    // group g holds pins 8g to 8g + 7
  std::span<const uint8_t> LdnOrder;        // the order in which ReadPins visits the devices
  std::span<const uint8_t> GlobalRegs;      // the global registers the conditions look at
  std::string_view Interface;               // the back-end's interface name, for debug lines
  std::span<const std::string_view> Chips;  // the database names of the chips this map fits
};

// True when the Super I/O was detected through a chip section whose name is one of chips. A chip
// known only by its family's vendor section, or another chip, gets a debug line: its registers
// may mean something else entirely.
bool SioOfFamily(const TSio& sio, std::span<const std::string_view> chips,
                 std::string_view interfaceName);

class TSioGpio : public TGpioBase {
 public:
  // Without a detected Super I/O of the chip's family these read and drive nothing and list no
  // pins, so that no setting matches on a board without the chip.
  bool Present() const override { return Present_; }
  void ReadPins() override;
  void SetPin(uint8_t index, uint8_t state) override;

 protected:
  TSioGpio(TSio& sio, const TSioGpioChip& chip);

 private:
  // Read-modify-write of one configuration register: set bits, then clear bits.
  void Change(uint8_t reg, uint8_t set, uint8_t clear);

  TSio& Sio_;
  const TSioGpioChip& Chip_;
  bool Present_ = false;
};

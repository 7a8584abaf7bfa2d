// Winbond W83627DHG, W83627EHF and W83667HG: the configuration registers of sim/superio.h, the
// GPIO groups in logical devices 7, 8 and 9 and the hardware monitor of logical device 0x0B.
//
// GPIO. Pins are named GPIO<group><bit> ("GPIO24" is group 2, bit 4). Each group has a direction
// register (bit set: input), a data register and an inversion register, an activation bit in
// register 0x30 of its device, and the chip's multi-function selects (global registers 0x24 to
// 0x2D, and per-device select registers) that decide whether a pin is a GPIO at all. A GPIO of an
// active group set to output drives data XOR inversion; the data register reads an input pin's
// level (from the board wiring, high when unwired) XOR inversion, and writes to input bits are
// ignored.
//
// Hardware monitor. Index port = base + 5, data port = base + 6, decoded while LDN 0x0B is active
// with a base other than 0. Register 0x4E selects the bank (bits 2:0) of registers 0x50 to 0x5F,
// whose bank 0 copy the other registers share; 0x4F reads the vendor ID 0x5CA3, high byte while
// 0x4E bit 7 is set. Sensor registers are computed from the board's monitor inputs at each read:
//   voltages  8 mV steps (AVCC, 3VCC, 3VSB, VBAT: 16 mV behind the chip's own halving divider)
//             CPUVCORE 0x20, VIN0 0x21, AVCC 0x22, 3VCC 0x23, VIN1 0x24, VIN2 0x25, VIN3 0x26,
//             3VSB bank 5 0x50, VBAT bank 5 0x51, VIN4 bank 5 0x52 (W83627EHF)
//   temperatures in degrees Celsius, two's complement: SYSTIN 0x27; CPUTIN bank 1 0x50 with the
//             half degree in bit 7 of 0x51; AUXTIN bank 2 0x50/0x51
//   fans      count = 1350000 / (RPM x divisor), 255 when stopped or too slow; divisor
//             2^(field + 4 x bit):
//             SYSFANIN 0x28 (0x47 bits 5:4, bank 0 0x5D bit 5), CPUFANIN0 0x29 (0x47 bits 7:6,
//             0x5D bit 6), AUXFANIN0 0x2A (0x4B bits 7:6, 0x5D bit 7), CPUFANIN1 0x3F (bank 0
//             0x59 bits 1:0, 0x4C bit 7), AUXFANIN1 bank 5 0x53 (0x59 bits 3:2, 0x59 bit 7)
// An input the board does not define reads 0. Other registers (limits, fan control) are plain
// storage.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <string_view>

#include "sim/pinwiring.h"
#include "sim/superio.h"

class TSimAnalogInputs;
struct TWbChipInfo;

class TSimWinbondChip : public TSimSuperIo, public ISimPinSource {
 public:
  TSimWinbondChip(TSimMachine& machine, const TWbChipInfo& info, uint16_t port);
  ~TSimWinbondChip() override;

  // The monitor's base while it decodes, else 0.
  uint16_t MonitorBase() const { return ClaimedBase_; }
  // What a read of monitor register reg (bank x 0x100 + register) through the ports returns.
  uint8_t MonitorRead(uint16_t reg) const;
  bool SetMonitorRegister(uint16_t reg, uint8_t value) override;
  uint8_t MonitorBankSelect() const { return Bank0_[BankSelect]; }

  bool HasPin(std::string_view pin) const override;
  TSimPinDrive PinDrive(std::string_view pin) const override;
  // Whether the pin currently serves as a GPIO (multi-function selects and group conditions).
  bool PinIsGpio(std::string_view pin) const;

 protected:
  uint8_t ReadHook(uint8_t ldn, uint8_t reg, uint8_t stored) const override;
  uint8_t WriteHook(uint8_t ldn, uint8_t reg, uint8_t before, uint8_t after) override;
  void RegisterChanged(uint8_t ldn, uint8_t reg) override;
  void RegistersRestored() override;
  void SaveChipState(TSimState& state) const override;
  bool LoadChipState(const TSimState& state, std::string* error) override;

 private:
  static constexpr uint8_t BankSelect = 0x4E;
  class TMonitorPorts : public ISimPortHandler {
   public:
    explicit TMonitorPorts(TSimWinbondChip& chip) : Chip_(chip) {}
    uint32_t PortRead(uint16_t port, uint8_t width) override;
    void PortWrite(uint16_t port, uint8_t width, uint32_t value) override;

   private:
    TSimWinbondChip& Chip_;
  };

  // GPIO helpers; group is an index into the chip's group table.
  bool FindPin(std::string_view pin, size_t* group, uint8_t* bit) const;
  bool GpioBit(size_t group, uint8_t bit) const;
  bool GroupActive(size_t group) const;
  bool InputLevel(size_t group, uint8_t bit) const;

  // Monitor helpers.
  uint8_t* MonitorSlot(uint16_t reg);
  uint8_t MonitorStored(uint16_t reg) const;
  uint8_t MonitorPortRead(uint16_t port);
  void MonitorPortWrite(uint16_t port, uint8_t value);
  void FollowMonitorBase();

  TSimMachine& Machine_;
  const TWbChipInfo& Info_;
  TSimPinWiring& Wiring_;
  TSimAnalogInputs& Inputs_;
  TMonitorPorts MonitorPorts_;
  std::array<uint8_t, 256> Bank0_{};
  std::array<std::array<uint8_t, 16>, 8> Banked_{};  // registers 0x50..0x5F of each bank
  uint8_t MonitorIndex_ = 0;
  uint16_t ClaimedBase_ = 0;
};

// The chip of that name ("W83627DHG", "W83627EHF", "W83667HG") with its configuration port at
// port; null for another name.
std::unique_ptr<TSimSuperIo> CreateSimWinbondChip(TSimMachine& machine, std::string_view name,
                                                  uint16_t port);
// "W83627DHG, W83627EHF, W83667HG", for messages.
std::string SimWinbondChipNames();

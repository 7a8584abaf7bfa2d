// The configuration side of a Super I/O chip: an index/data port pair at 0x2E/0x2F or 0x4E/0x4F
// that answers only after the family's entry key, global registers below 0x30 (chip ID at
// 0x20/0x21, logical device select at 0x07) and one register file per logical device (LDN)
// from 0x30 on (activation at 0x30, base address at 0x60/0x61). Every register is a row of a
// constant table with its reset value and write mask; the chip models (sim/winbondchips.h,
// sim/itechips.h) add their behaviour through a few hooks.
//
// Entry keys, written to the index port:
//   Winbond  0x87 0x87; writing 0xAA to the index port leaves.
//   ITE      0x87 0x01 0x55 0x55 at 0x2E, 0x87 0x01 0x55 0xAA at 0x4E; writing bit 1 of register
//            0x02 leaves. On both, bit 0 of register 0x02 puts the devices' registers back to
//            their reset values.
// Any byte off the sequence starts it over, so a wrong key leaves the chip locked; a locked chip
// reads all ones on both ports and ignores data writes.
//
// Board-file section:
//   [SuperIO]  Chip          W83627DHG, W83627EHF, W83667HG, IT8720F or IT8712F
//              Port          0x2E or 0x4E, the configuration index port
//              HwmBase       base of the hardware monitor (Winbond LDN 0x0B, ITE environment
//                            controller LDN 4): sets 0x60/0x61 and activates the device
//              SimpleIoBase  ITE: base of the GPIO level ports (LDN 7 registers 0x62/0x63)
//              Config.REG=HH HH ...     global registers from REG on, as the BIOS left them
//              LdnN.REG=HH HH ...       registers of logical device N from REG on
//              Hwm.REG=HH HH ...        monitor registers from REG on (Winbond: bank x 0x100 + REG)
// The chip's pins join the board wiring under the prefix "SIO" and its monitor declares its
// inputs for the [Monitor] section (sim/pinwiring.h, sim/analoginputs.h).
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/inifile.h"
#include "sim/sectionreader.h"
#include "sim/simdevice.h"

class TSimMachine;

enum class TSioFamily : uint8_t { Winbond, Ite };

struct TSioRegister {
  uint8_t Reg;
  uint8_t Reset;
  uint8_t WriteMask;  // bits a configuration write may change
};

struct TSioDevice {
  uint8_t Ldn;
  std::string_view Name;
  std::span<const TSioRegister> Regs;
};

constexpr uint8_t SioNoLdn = 0xFF;

struct TSioChipSpec {
  std::string_view Name;
  TSioFamily Family;
  std::span<const TSioRegister> Global;  // below 0x30; 0x02 and 0x07 are the core's own
  std::span<const TSioDevice> Devices;
  uint8_t MonitorLdn = SioNoLdn;   // the device whose 0x60/0x61 is the monitor's base
  uint8_t SimpleIoLdn = SioNoLdn;  // ITE: the device whose 0x62/0x63 is the GPIO port base
  // ITE decodes some registers below 0x30 (its multi-function pin selects) only while the GPIO
  // device is selected; they are rows of that device's table.
  uint8_t BankedGlobalsLdn = SioNoLdn;
  uint8_t BankedGlobalsFirst = 0;
  uint8_t BankedGlobalsLast = 0;
};

class TSimSuperIo : public ISimPortHandler, public ISimDevice {
 public:
  static constexpr const char* Name = "superio";
  static constexpr uint8_t ConfigControl = 0x02;
  static constexpr uint8_t LdnSelect = 0x07;
  static constexpr uint8_t Activate = 0x30;

  TSimSuperIo(const TSioChipSpec& spec, uint16_t indexPort);
  ~TSimSuperIo() override = default;
  TSimSuperIo(const TSimSuperIo&) = delete;
  TSimSuperIo& operator=(const TSimSuperIo&) = delete;

  const TSioChipSpec& Spec() const { return Spec_; }
  uint16_t IndexPort() const { return IndexPort_; }
  uint16_t DataPort() const { return static_cast<uint16_t>(IndexPort_ + 1); }
  bool ConfigMode() const { return Unlocked_; }
  uint8_t SelectedLdn() const { return Selected_; }

  // The register file as the board and other models see it, without configuration mode, write
  // masks or read behaviour. reg below 0x30 is global (ldn only matters for ITE's banked ones).
  bool HasRegister(uint8_t ldn, uint8_t reg) const;
  uint8_t Register(uint8_t ldn, uint8_t reg) const;  // 0xFF for a register the chip lacks
  // Board setup and tests: stores the value and lets the chip follow (base moves, pin levels).
  bool SetRegister(uint8_t ldn, uint8_t reg, uint8_t value);
  uint16_t DeviceBase(uint8_t ldn, uint8_t highReg = 0x60) const;
  bool DeviceActive(uint8_t ldn) const { return (Register(ldn, Activate) & 1) != 0; }
  void ResetRegisters();

  // The chip's monitor: base address (activates the device) and its registers by number (the
  // Winbond monitor counts bank x 0x100 + register). False when the chip has no such register.
  bool SetMonitorBase(uint16_t base);
  bool SetSimpleIoBase(uint16_t base);
  virtual bool SetMonitorRegister(uint16_t reg, uint8_t value) = 0;

  // The configuration port pair.
  uint32_t PortRead(uint16_t port, uint8_t width) override;
  void PortWrite(uint16_t port, uint8_t width, uint32_t value) override;

  std::string DeviceName() const override { return Name; }
  void SaveState(TSimState& state) const override;
  bool LoadState(const TSimState& state, std::string* error) override;

 protected:
  // What a configuration read of (ldn, reg) returns, given the stored value.
  virtual uint8_t ReadHook(uint8_t /*ldn*/, uint8_t /*reg*/, uint8_t stored) const {
    return stored;
  }
  // What a configuration write stores, given the old value and the masked new one.
  virtual uint8_t WriteHook(uint8_t /*ldn*/, uint8_t /*reg*/, uint8_t /*before*/, uint8_t after) {
    return after;
  }
  // After a register changed by a configuration write or SetRegister.
  virtual void RegisterChanged(uint8_t /*ldn*/, uint8_t /*reg*/) {}
  // After every register was replaced (reset, state load).
  virtual void RegistersRestored() {}
  // The chip's own state under "superio.".
  virtual void SaveChipState(TSimState& /*state*/) const {}
  virtual bool LoadChipState(const TSimState& /*state*/, std::string* /*error*/) { return true; }

 private:
  struct TDeviceRegs {
    uint8_t Ldn = 0;
    std::array<uint8_t, 256> Value{};
    std::array<uint8_t, 256> Mask{};
    std::array<bool, 256> Exists{};
  };

  bool Banked(uint8_t reg) const;
  const TDeviceRegs* Device(uint8_t ldn) const;
  // Storage of (ldn, reg) and its write mask; null when the chip lacks the register.
  uint8_t* Slot(uint8_t ldn, uint8_t reg, uint8_t* mask);
  const uint8_t* Slot(uint8_t ldn, uint8_t reg) const;
  uint8_t ReadData();
  void WriteData(uint8_t value);
  void KeyByte(uint8_t value);

  const TSioChipSpec& Spec_;
  const uint16_t IndexPort_;
  std::vector<uint8_t> Key_;
  std::array<uint8_t, 0x30> Global_{};
  std::array<uint8_t, 0x30> GlobalMask_{};
  std::array<bool, 0x30> GlobalExists_{};
  std::vector<TDeviceRegs> Devices_;
  uint8_t Selected_ = 0;
  uint8_t Index_ = 0;
  uint8_t KeyStep_ = 0;
  bool Unlocked_ = false;
};

// The [SuperIO] section: builds the named chip at its port.
bool BuildSimSuperIo(TSimMachine& machine, const TIniFile& ini, const std::string& section,
                     std::string* error);

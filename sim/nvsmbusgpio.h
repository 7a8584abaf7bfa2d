// The GPIO bytes of an NVIDIA nForce MCP, reached through its SMBus controller function
// (vendor 0x10DE, class 0x0C05xx; 00:01.1 on the MCP51/55/61). Bits 15:8 of the word at offset
// 0x64 of that function are the base of the system-control I/O block; GPIO n (1-based) is the
// byte at base + 0xC0 + n - 1:
//   bits 3:2  mode: 0 input, 1 output, 2 and 3 the pin's other function
//   bit 0     output: the level driven (reads back as written); input: reads the pin's wired
//             level (high when unwired)
//   other bits are kept as written.
// The model follows configuration writes to the base and moves its ports (only the GPIO bytes
// are modelled). Pins are named GPIO1, GPIO2, ... and join the board wiring under "MCP".
//
// Board-file section (after the function's [PCI bb:dd.f] section):
//   [NvSmbusGpio]  Function   the SMBus function, default 00:01.1
//                  Pins       number of GPIO bytes, default 64
//                  SysCtrlBase  the base the BIOS programmed into offset 0x64 (else the
//                             function's own configuration bytes say)
//                  GPIOn      the byte the BIOS left for GPIO n (default 0: input)
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/pinwiring.h"
#include "sim/simdevice.h"

class TIniFile;
class TSimMachine;
class TSimPciFunction;

class TSimNvSmbusGpio : public ISimPortHandler, public ISimDevice, public ISimPinSource {
 public:
  static constexpr const char* Name = "nv-smbus-gpio";
  static constexpr uint16_t BaseOffset = 0x64;
  static constexpr uint16_t GpioOffset = 0xC0;
  static constexpr uint8_t ModeMask = 0x0C;
  static constexpr uint8_t ModeInput = 0x00;
  static constexpr uint8_t ModeOutput = 0x04;

  // Follows smbus's base word; makes its bits 15:8 writable.
  TSimNvSmbusGpio(TSimMachine& machine, TSimPciFunction& smbus, uint8_t pins);
  ~TSimNvSmbusGpio() override;
  TSimNvSmbusGpio(const TSimNvSmbusGpio&) = delete;
  TSimNvSmbusGpio& operator=(const TSimNvSmbusGpio&) = delete;

  uint8_t Pins() const { return static_cast<uint8_t>(Bytes_.size()); }
  // The system-control base while the GPIO bytes decode, else 0.
  uint16_t Base() const { return Claimed_; }
  // Stored byte of GPIO number (1-based), and what a read through the port returns.
  uint8_t PinByte(uint8_t number) const;
  uint8_t ReadPinByte(uint8_t number) const;
  bool SetPinByte(uint8_t number, uint8_t value);
  void FollowBase();

  bool HasPin(std::string_view pin) const override;
  TSimPinDrive PinDrive(std::string_view pin) const override;

  uint32_t PortRead(uint16_t port, uint8_t width) override;
  void PortWrite(uint16_t port, uint8_t width, uint32_t value) override;

  std::string DeviceName() const override { return Name; }
  void SaveState(TSimState& state) const override;
  bool LoadState(const TSimState& state, std::string* error) override;

 private:
  bool PinNumber(std::string_view pin, uint8_t* number) const;

  TSimMachine& Machine_;
  TSimPciFunction& Smbus_;
  TSimPinWiring& Wiring_;
  std::vector<uint8_t> Bytes_;
  uint16_t Claimed_ = 0;
};

// The [NvSmbusGpio] section.
bool BuildSimNvSmbusGpio(TSimMachine& machine, const TIniFile& ini, const std::string& section,
                         std::string* error);

// AMD platform parts of the simulated PC: the processor's integrated northbridge (PCI functions
// 00:18.0 to 00:18.3, and 00:18.4 on family 10h) and the chipset clock throttles found on AMD
// boards. Each throttle, while set, slows every core through the machine's clock control
// (sim/simcpumodels.h), so a clock measurement sees it.
//
// Board-file sections (numbers decimal or "0x" hexadecimal; unknown keys are errors):
//   [AmdNorthbridge]  HtLinkMHz    HyperTransport link clock: 200, 300, 400, 500, 600, 800, 1000,
//                                  1200 ... 2600 (default 1000 on family 0Fh, 1800 on 10h)
//                     HtcEnabled   0/1, hardware thermal control engaged at power-on (F3x64 bit 0)
//                     NbFid        family 10h northbridge frequency ID (F3xD4 bits 4:0, default 5)
//                     F3x1F0       family 10h dword at F3x1F0 (default 0x00000020)
//                     F4x1E0       family 10h dword at F4x1E0 (default: P-state 0's CpuFid and
//                                  CpuDid)
//                     HtcPercent   clock share left while HTC is engaged (default 50)
//   [AmdSbPm]         the SB6xx/SB7xx power-management registers at index/data ports 0xCD6/0xCD7:
//                     Config.OFFSET=HH HH ...  register reset values from OFFSET on
//                     ThrottleRegister, ThrottleMask, ThrottlePercent  the register bits that
//                                  throttle the processor clock (default 0x61, 0x10, 50)
//   [McpPcnt]         the NVIDIA MCP's ACPI processor control register (P_CNT, four ports):
//                     Port (required), Value (dword reset value), ThrottleMask (in the dword,
//                     default 0x1000), ThrottlePercent (default 50)
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "sim/simcpu.h"
#include "sim/simdevice.h"

class TIniFile;
class TSimMachine;
class TSimPciFunction;

// The link clocks, in MHz, that the link-frequency codes 0..14 at F0x89 select.
constexpr std::array<uint32_t, 15> SimHtLinkMHz = {200,  300,  400,  500,  600,  800,  1000, 1200,
                                                   1400, 1600, 1800, 2000, 2200, 2400, 2600};

struct TSimAmdNorthbridgeSettings {
  uint32_t HtLinkMHz = 0;  // 0: the family's default
  bool HtcEnabled = false;
  uint32_t HtcPercent = 50;
  uint8_t NbFid = 5;
  uint32_t F3x1F0 = 0x00000020;
  bool HasF4x1E0 = false;  // false: P-state 0's frequency code
  uint32_t F4x1E0 = 0;
};

// The northbridge functions. On family 10h it also follows NB_CFG (MSR 0xC001001F) bit 46,
// EnableCf8ExtCfg, which decides whether 0xCF8 bits 27:24 reach the extended configuration space.
// F3x64 bit 0 (HtcEn) engages hardware thermal control, which throttles the clock; the simulated
// processor is taken to sit above its HTC temperature limit, so HtcActive (bit 4) follows HtcEn.
// F3xA0 (PsiVid bits 6:0, PsiVidEn bit 7) is writable on family 10h.
class TSimAmdNorthbridge : public ISimDevice, public ISimMsrObserver {
 public:
  static constexpr const char* Name = "amd-northbridge";
  static constexpr uint8_t Device = 0x18;

  // Builds the functions on machine's bus; null with a message when the processor is not an AMD
  // family 0Fh or 10h one, a setting is out of range or the slots are taken.
  static TSimAmdNorthbridge* Add(TSimMachine& machine, const TSimAmdNorthbridgeSettings& settings,
                                 std::string* error);

  bool Family10h() const { return Family10h_; }
  TSimPciFunction& Function(uint8_t function);

  void MsrWritten(TSimCpu& cpu, uint32_t msr, uint64_t value) override;

  // The functions' registers are kept by the PCI bus; loading re-derives what follows them.
  std::string DeviceName() const override { return Name; }
  void SaveState(TSimState&) const override {}
  bool LoadState(const TSimState& state, std::string* error) override;

 private:
  TSimAmdNorthbridge(TSimMachine& machine, bool family10h, uint32_t htcPercent);
  void FollowHtc();
  void FollowNbConfig(uint64_t value);

  TSimMachine& Machine_;
  bool Family10h_;
  uint32_t HtcPercent_;
};

// An index/data register file whose chosen bits throttle the processor clock.
class TSimAmdSbPm : public ISimPortHandler, public ISimDevice {
 public:
  static constexpr const char* Name = "amd-sb-pm";
  static constexpr uint16_t IndexPort = 0xCD6;
  static constexpr uint16_t DataPort = 0xCD7;

  TSimAmdSbPm(TSimMachine& machine, uint8_t throttleRegister, uint8_t throttleMask,
              uint32_t throttlePercent);

  uint8_t Register(uint8_t index) const { return Regs_[index]; }
  void SetRegister(uint8_t index, uint8_t value);

  uint32_t PortRead(uint16_t port, uint8_t width) override;
  void PortWrite(uint16_t port, uint8_t width, uint32_t value) override;

  std::string DeviceName() const override { return Name; }
  void SaveState(TSimState& state) const override;
  bool LoadState(const TSimState& state, std::string* error) override;

 private:
  void FollowThrottle();

  TSimMachine& Machine_;
  uint8_t ThrottleRegister_;
  uint8_t ThrottleMask_;
  uint32_t ThrottlePercent_;
  std::array<uint8_t, 256> Regs_{};
  uint8_t Index_ = 0;
};

// A dword I/O register of four ports whose chosen bits throttle the processor clock.
class TSimMcpPcnt : public ISimPortHandler, public ISimDevice {
 public:
  static constexpr const char* Name = "mcp-pcnt";

  TSimMcpPcnt(TSimMachine& machine, uint16_t port, uint32_t value, uint32_t throttleMask,
              uint32_t throttlePercent);

  uint16_t Port() const { return Port_; }
  uint32_t Value() const { return Value_; }

  uint32_t PortRead(uint16_t port, uint8_t width) override;
  void PortWrite(uint16_t port, uint8_t width, uint32_t value) override;

  std::string DeviceName() const override { return Name; }
  void SaveState(TSimState& state) const override;
  bool LoadState(const TSimState& state, std::string* error) override;

 private:
  void FollowThrottle();

  TSimMachine& Machine_;
  uint16_t Port_;
  uint32_t Value_;
  uint32_t ThrottleMask_;
  uint32_t ThrottlePercent_;
};

// Board-file sections: build the device from the section's keys; false with a message naming the
// file, section and key.
bool BuildSimAmdNorthbridge(TSimMachine& machine, const TIniFile& ini, const std::string& section,
                            std::string* error);
bool BuildSimAmdSbPm(TSimMachine& machine, const TIniFile& ini, const std::string& section,
                     std::string* error);
bool BuildSimMcpPcnt(TSimMachine& machine, const TIniFile& ini, const std::string& section,
                     std::string* error);

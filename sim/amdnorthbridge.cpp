#include "sim/amdnorthbridge.h"

#include <algorithm>
#include <charconv>
#include <string_view>
#include <vector>

#include "base/inifile.h"
#include "base/textfmt.h"
#include "sim/pcibus.h"
#include "sim/sectionreader.h"
#include "sim/simcpumodels.h"
#include "sim/simmachine.h"
#include "sim/simstate.h"

namespace {

constexpr uint16_t AmdVendor = 0x1022;
constexpr uint32_t HostBridgeClass = 0x060000;
constexpr uint32_t MsrNbConfig = 0xC001001F;
constexpr uint64_t EnableCf8ExtCfg = 1ull << 46;
constexpr uint32_t MsrPState0 = 0xC0010064;

constexpr uint16_t HtLinkOffset = 0x89;  // F0: link-frequency code of link 0
constexpr uint16_t HtcOffset = 0x64;     // F3: hardware thermal control
constexpr uint8_t HtcEnable = 0x01;
constexpr uint8_t HtcActive = 0x10;
constexpr uint16_t PsiOffset = 0xA0;         // F3, family 10h: PsiVid and PsiVidEn
constexpr uint16_t ClockPowerOffset = 0xD4;  // F3, family 10h: NbFid in bits 4:0

}  // namespace

// --- northbridge ---

TSimAmdNorthbridge::TSimAmdNorthbridge(TSimMachine& machine, bool family10h, uint32_t htcPercent)
    : Machine_(machine), Family10h_(family10h), HtcPercent_(htcPercent) {}

TSimAmdNorthbridge* TSimAmdNorthbridge::Add(TSimMachine& machine,
                                            const TSimAmdNorthbridgeSettings& settings,
                                            std::string* error) {
  const TSimCpuScheme scheme = SimCpuScheme(machine.Config().Processor);
  if (scheme != TSimCpuScheme::K8 && scheme != TSimCpuScheme::K10) {
    *error = "the northbridge needs an AMD family 0Fh or 10h processor";
    return nullptr;
  }
  const bool family10h = scheme == TSimCpuScheme::K10;
  const uint32_t linkMHz = settings.HtLinkMHz != 0 ? settings.HtLinkMHz : family10h ? 1800 : 1000;
  const auto link = std::find(SimHtLinkMHz.begin(), SimHtLinkMHz.end(), linkMHz);
  if (link == SimHtLinkMHz.end()) {
    *error = "no link-frequency code gives " + std::to_string(linkMHz) + " MHz";
    return nullptr;
  }
  if (settings.HtcPercent < 1 || settings.HtcPercent > 100) {
    *error = "the HTC clock share must be 1..100 percent";
    return nullptr;
  }
  const uint8_t functions = family10h ? 5 : 4;
  if (machine.FindDevice(Name) != nullptr) {
    *error = "the northbridge is defined twice";
    return nullptr;
  }
  for (uint8_t f = 0; f < functions; ++f) {
    if (machine.Pci().Function(0, Device, f) != nullptr) {
      *error = "PCI function 00:18." + std::to_string(f) + " is already taken";
      return nullptr;
    }
  }

  auto* nb = machine.Add(std::unique_ptr<TSimAmdNorthbridge>(
      new TSimAmdNorthbridge(machine, family10h, settings.HtcPercent)));
  const uint16_t deviceBase = family10h ? 0x1200 : 0x1100;
  for (uint8_t f = 0; f < functions; ++f) {
    auto function = std::make_unique<TSimPciFunction>(
        AmdVendor, static_cast<uint16_t>(deviceBase + f), HostBridgeClass, 0x00, 0);
    // Firmware settings: read-only here except for the registers modelled below.
    for (uint16_t at = 0x40; at < TSimPciFunction::ConfigSize; ++at) function->SetWriteMask(at, 0);
    if (f == 0) function->SetByte(HtLinkOffset, static_cast<uint8_t>(link - SimHtLinkMHz.begin()));
    if (f == 3) {
      function->SetByte(HtcOffset, settings.HtcEnabled ? HtcEnable : 0);
      function->SetWriteMask(HtcOffset, HtcEnable);
      if (family10h) {
        function->SetWriteMask(PsiOffset, 0xFF);
        function->SetDword(ClockPowerOffset, 0xC3003020u | (settings.NbFid & 0x1F));
        function->SetDword(0x1F0, settings.F3x1F0);
      }
      function->AddListener([nb](TSimPciFunction&, uint16_t, uint8_t) { nb->FollowHtc(); });
    }
    if (f == 4) {
      uint64_t pstate0 = 0;
      machine.Cpu(0).ReadMsr(MsrPState0, &pstate0);
      function->SetDword(
          0x1E0, settings.HasF4x1E0 ? settings.F4x1E0 : static_cast<uint32_t>(pstate0 & 0x1FF));
    }
    machine.Pci().AddFunction(0, Device, f, std::move(function));
  }
  if (family10h) {
    for (uint32_t core = 0; core < machine.CpuCount(); ++core) {
      machine.Cpu(core).AddMsrObserver(nb);
    }
    uint64_t config = 0;
    if (machine.Cpu(0).ReadMsr(MsrNbConfig, &config)) nb->FollowNbConfig(config);
  }
  nb->FollowHtc();
  return nb;
}

TSimPciFunction& TSimAmdNorthbridge::Function(uint8_t function) {
  return *Machine_.Pci().Function(0, Device, function);
}

void TSimAmdNorthbridge::FollowHtc() {
  TSimPciFunction& misc = Function(3);
  const bool engaged = (misc.Byte(HtcOffset) & HtcEnable) != 0;
  misc.SetByte(HtcOffset, static_cast<uint8_t>((misc.Byte(HtcOffset) & ~HtcActive) |
                                               (engaged ? HtcActive : 0)));
  SimCpuClock(Machine_).SetThrottle(std::string(Name) + ".htc", engaged ? HtcPercent_ : 100);
}

void TSimAmdNorthbridge::FollowNbConfig(uint64_t value) {
  Machine_.Pci().SetCf8ExtendedOffsets((value & EnableCf8ExtCfg) != 0);
}

void TSimAmdNorthbridge::MsrWritten(TSimCpu& cpu, uint32_t msr, uint64_t value) {
  if (msr != MsrNbConfig) return;
  // One northbridge serves every core: they all see the same configuration.
  for (uint32_t core = 0; core < Machine_.CpuCount(); ++core) {
    if (core != cpu.Index()) Machine_.Cpu(core).SetMsrValue(MsrNbConfig, value);
  }
  FollowNbConfig(value);
}

bool TSimAmdNorthbridge::LoadState(const TSimState&, std::string*) {
  uint64_t config = 0;
  if (Family10h_ && Machine_.Cpu(0).ReadMsr(MsrNbConfig, &config)) FollowNbConfig(config);
  FollowHtc();
  return true;
}

// --- SB power-management registers ---

TSimAmdSbPm::TSimAmdSbPm(TSimMachine& machine, uint8_t throttleRegister, uint8_t throttleMask,
                         uint32_t throttlePercent)
    : Machine_(machine),
      ThrottleRegister_(throttleRegister),
      ThrottleMask_(throttleMask),
      ThrottlePercent_(throttlePercent) {}

void TSimAmdSbPm::SetRegister(uint8_t index, uint8_t value) {
  Regs_[index] = value;
  if (index == ThrottleRegister_) FollowThrottle();
}

uint32_t TSimAmdSbPm::PortRead(uint16_t port, uint8_t width) {
  uint32_t value = 0;
  for (uint8_t i = 0; i < width; ++i) {
    const uint8_t byte = port + i == IndexPort ? Index_ : Regs_[Index_];
    value |= uint32_t{byte} << (8 * i);
  }
  return value;
}

void TSimAmdSbPm::PortWrite(uint16_t port, uint8_t width, uint32_t value) {
  for (uint8_t i = 0; i < width; ++i) {
    const auto byte = static_cast<uint8_t>(value >> (8 * i));
    if (port + i == IndexPort) {
      Index_ = byte;
    } else {
      SetRegister(Index_, byte);
    }
  }
}

void TSimAmdSbPm::FollowThrottle() {
  const bool active = (Regs_[ThrottleRegister_] & ThrottleMask_) != 0;
  SimCpuClock(Machine_).SetThrottle(Name, active ? ThrottlePercent_ : 100);
}

void TSimAmdSbPm::SaveState(TSimState& state) const {
  state.SetNumber(std::string(Name) + ".index", Index_);
  state.SetBytes(std::string(Name) + ".regs", Regs_.data(), Regs_.size());
}

bool TSimAmdSbPm::LoadState(const TSimState& state, std::string* error) {
  uint64_t index = 0;
  std::array<uint8_t, 256> regs{};
  if (!state.GetNumber(std::string(Name) + ".index", &index, error) ||
      !state.GetBytes(std::string(Name) + ".regs", regs.data(), regs.size(), error)) {
    return false;
  }
  Index_ = static_cast<uint8_t>(index);
  Regs_ = regs;
  FollowThrottle();
  return true;
}

// --- MCP processor control register ---

TSimMcpPcnt::TSimMcpPcnt(TSimMachine& machine, uint16_t port, uint32_t value, uint32_t throttleMask,
                         uint32_t throttlePercent)
    : Machine_(machine),
      Port_(port),
      Value_(value),
      ThrottleMask_(throttleMask),
      ThrottlePercent_(throttlePercent) {}

uint32_t TSimMcpPcnt::PortRead(uint16_t port, uint8_t width) {
  const uint32_t shift = 8u * (port - Port_);
  const uint64_t mask = (uint64_t{1} << (8 * width)) - 1;
  return static_cast<uint32_t>((Value_ >> shift) & mask);
}

void TSimMcpPcnt::PortWrite(uint16_t port, uint8_t width, uint32_t value) {
  const uint32_t shift = 8u * (port - Port_);
  const uint64_t mask = ((uint64_t{1} << (8 * width)) - 1) << shift;
  Value_ = static_cast<uint32_t>((Value_ & ~mask) | ((uint64_t{value} << shift) & mask));
  FollowThrottle();
}

void TSimMcpPcnt::FollowThrottle() {
  SimCpuClock(Machine_).SetThrottle(Name, (Value_ & ThrottleMask_) != 0 ? ThrottlePercent_ : 100);
}

void TSimMcpPcnt::SaveState(TSimState& state) const {
  state.SetNumber(std::string(Name) + ".value", Value_);
}

bool TSimMcpPcnt::LoadState(const TSimState& state, std::string* error) {
  uint64_t value = 0;
  if (!state.GetNumber(std::string(Name) + ".value", &value, error)) return false;
  Value_ = static_cast<uint32_t>(value);
  FollowThrottle();
  return true;
}

// --- board-file sections ---

bool BuildSimAmdNorthbridge(TSimMachine& machine, const TIniFile& ini, const std::string& section,
                            std::string* error) {
  const TSimSectionReader reader(ini, section, error);
  if (!reader.CheckKeys({"HtLinkMHz", "HtcEnabled", "HtcPercent", "NbFid", "F3x1F0", "F4x1E0"})) {
    return false;
  }
  TSimAmdNorthbridgeSettings settings;
  settings.HasF4x1E0 = reader.Has("F4x1E0");
  if (!reader.Number("HtLinkMHz", &settings.HtLinkMHz, 2600) ||
      !reader.Number("HtcEnabled", &settings.HtcEnabled, 1) ||
      !reader.Number("HtcPercent", &settings.HtcPercent, 100) ||
      !reader.Number("NbFid", &settings.NbFid, 0x1F) ||
      !reader.Number("F3x1F0", &settings.F3x1F0, 0xFFFFFFFF) ||
      !reader.Number("F4x1E0", &settings.F4x1E0, 0xFFFFFFFF)) {
    return false;
  }
  std::string why;
  if (TSimAmdNorthbridge::Add(machine, settings, &why) == nullptr) return reader.Fail("", why);
  return true;
}

bool BuildSimAmdSbPm(TSimMachine& machine, const TIniFile& ini, const std::string& section,
                     std::string* error) {
  const TSimSectionReader reader(ini, section, error);
  if (!reader.CheckKeys({"ThrottleRegister", "ThrottleMask", "ThrottlePercent"}, {"Config."})) {
    return false;
  }
  uint8_t throttleRegister = 0x61, throttleMask = 0x10;
  uint32_t percent = 50;
  if (!reader.Number("ThrottleRegister", &throttleRegister, 0xFF) ||
      !reader.Number("ThrottleMask", &throttleMask, 0xFF) ||
      !reader.Number("ThrottlePercent", &percent, 100)) {
    return false;
  }
  if (percent < 1) return reader.Fail("ThrottlePercent", "at least 1");
  auto device = std::make_unique<TSimAmdSbPm>(machine, throttleRegister, throttleMask, percent);
  TSimAmdSbPm* pm = device.get();
  if (!reader.ByteLists("Config.", 256, [pm](size_t at, uint8_t byte) {
        pm->SetRegister(static_cast<uint8_t>(at), byte);
      })) {
    return false;
  }
  if (machine.Add(std::move(device)) == nullptr) return reader.Fail("", "defined twice");
  if (!machine.Ports().Claim(TSimAmdSbPm::IndexPort, 2, pm, "AMD SB PM")) {
    return reader.Fail("", "ports 0xCD6/0xCD7 are already taken");
  }
  return true;
}

bool BuildSimMcpPcnt(TSimMachine& machine, const TIniFile& ini, const std::string& section,
                     std::string* error) {
  const TSimSectionReader reader(ini, section, error);
  if (!reader.CheckKeys({"Port", "Value", "ThrottleMask", "ThrottlePercent"})) return false;
  uint16_t port = 0;
  uint32_t value = 0, mask = 0x1000, percent = 50;
  if (!reader.Number("Port", &port, 0xFFFC, true) || !reader.Number("Value", &value, 0xFFFFFFFF) ||
      !reader.Number("ThrottleMask", &mask, 0xFFFFFFFF) ||
      !reader.Number("ThrottlePercent", &percent, 100)) {
    return false;
  }
  if (percent < 1) return reader.Fail("ThrottlePercent", "at least 1");
  auto* pcnt = machine.Add(std::make_unique<TSimMcpPcnt>(machine, port, value, mask, percent));
  if (pcnt == nullptr) return reader.Fail("", "defined twice");
  if (!machine.Ports().Claim(port, 4, pcnt, "MCP P_CNT")) {
    return reader.Fail("Port", "ports " + HexWord(port) + ".. are already taken");
  }
  pcnt->PortWrite(port, 4, value);  // the clock follows the reset value
  return true;
}

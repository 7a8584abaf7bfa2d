#include "sim/superio.h"

#include <algorithm>
#include <charconv>

#include "base/textfmt.h"
#include "sim/itechips.h"
#include "sim/pinwiring.h"
#include "sim/simmachine.h"
#include "sim/simstate.h"
#include "sim/winbondchips.h"

namespace {

constexpr uint8_t ControlExit = 0x02;       // ITE: back to waiting for the key
constexpr uint8_t ControlResetLdns = 0x01;  // both: devices' registers to their reset values
constexpr uint8_t WinbondExitKey = 0xAA;

std::vector<uint8_t> EntryKey(TSioFamily family, uint16_t port) {
  if (family == TSioFamily::Winbond) return {0x87, 0x87};
  return {0x87, 0x01, 0x55, static_cast<uint8_t>(port == 0x4E ? 0xAA : 0x55)};
}

std::string StateKey(std::string_view item) {
  return std::string(TSimSuperIo::Name) + "." + std::string(item);
}

}  // namespace

TSimSuperIo::TSimSuperIo(const TSioChipSpec& spec, uint16_t indexPort)
    : Spec_(spec), IndexPort_(indexPort), Key_(EntryKey(spec.Family, indexPort)) {
  for (const TSioRegister& row : Spec_.Global) {
    if (row.Reg >= Global_.size()) continue;
    GlobalExists_[row.Reg] = true;
    GlobalMask_[row.Reg] = row.WriteMask;
  }
  for (const TSioDevice& device : Spec_.Devices) {
    TDeviceRegs regs;
    regs.Ldn = device.Ldn;
    for (const TSioRegister& row : device.Regs) {
      regs.Exists[row.Reg] = true;
      regs.Mask[row.Reg] = row.WriteMask;
    }
    Devices_.push_back(regs);
  }
  ResetRegisters();
}

void TSimSuperIo::ResetRegisters() {
  for (const TSioRegister& row : Spec_.Global) {
    if (row.Reg < Global_.size()) Global_[row.Reg] = row.Reset;
  }
  for (const TSioDevice& device : Spec_.Devices) {
    for (TDeviceRegs& regs : Devices_) {
      if (regs.Ldn != device.Ldn) continue;
      for (const TSioRegister& row : device.Regs) regs.Value[row.Reg] = row.Reset;
    }
  }
  RegistersRestored();
}

bool TSimSuperIo::Banked(uint8_t reg) const {
  return Spec_.BankedGlobalsLdn != SioNoLdn && reg >= Spec_.BankedGlobalsFirst &&
         reg <= Spec_.BankedGlobalsLast;
}

const TSimSuperIo::TDeviceRegs* TSimSuperIo::Device(uint8_t ldn) const {
  for (const TDeviceRegs& regs : Devices_) {
    if (regs.Ldn == ldn) return &regs;
  }
  return nullptr;
}

const uint8_t* TSimSuperIo::Slot(uint8_t ldn, uint8_t reg) const {
  if (reg < Global_.size() && !Banked(reg)) return GlobalExists_[reg] ? &Global_[reg] : nullptr;
  const TDeviceRegs* regs = Device(ldn);
  return regs != nullptr && regs->Exists[reg] ? &regs->Value[reg] : nullptr;
}

uint8_t* TSimSuperIo::Slot(uint8_t ldn, uint8_t reg, uint8_t* mask) {
  if (reg < Global_.size() && !Banked(reg)) {
    *mask = GlobalMask_[reg];
    return GlobalExists_[reg] ? &Global_[reg] : nullptr;
  }
  auto* regs = const_cast<TDeviceRegs*>(Device(ldn));
  if (regs == nullptr || !regs->Exists[reg]) return nullptr;
  *mask = regs->Mask[reg];
  return &regs->Value[reg];
}

bool TSimSuperIo::HasRegister(uint8_t ldn, uint8_t reg) const {
  return reg == LdnSelect || Slot(ldn, reg) != nullptr;
}

uint8_t TSimSuperIo::Register(uint8_t ldn, uint8_t reg) const {
  if (reg == LdnSelect) return Selected_;
  const uint8_t* slot = Slot(ldn, reg);
  return slot != nullptr ? *slot : 0xFF;
}

bool TSimSuperIo::SetRegister(uint8_t ldn, uint8_t reg, uint8_t value) {
  if (reg == LdnSelect) {
    Selected_ = value;
    return true;
  }
  uint8_t mask = 0;
  uint8_t* slot = Slot(ldn, reg, &mask);
  if (slot == nullptr) return false;
  *slot = value;
  RegisterChanged(ldn, reg);
  return true;
}

uint16_t TSimSuperIo::DeviceBase(uint8_t ldn, uint8_t highReg) const {
  return static_cast<uint16_t>(Register(ldn, highReg) << 8 |
                               Register(ldn, static_cast<uint8_t>(highReg + 1)));
}

bool TSimSuperIo::SetMonitorBase(uint16_t base) {
  const uint8_t ldn = Spec_.MonitorLdn;
  return ldn != SioNoLdn && SetRegister(ldn, 0x60, static_cast<uint8_t>(base >> 8)) &&
         SetRegister(ldn, 0x61, static_cast<uint8_t>(base)) &&
         SetRegister(ldn, Activate, Register(ldn, Activate) | 1);
}

bool TSimSuperIo::SetSimpleIoBase(uint16_t base) {
  const uint8_t ldn = Spec_.SimpleIoLdn;
  return ldn != SioNoLdn && SetRegister(ldn, 0x62, static_cast<uint8_t>(base >> 8)) &&
         SetRegister(ldn, 0x63, static_cast<uint8_t>(base));
}

void TSimSuperIo::KeyByte(uint8_t value) {
  if (value == Key_[KeyStep_]) {
    if (++KeyStep_ == Key_.size()) {
      KeyStep_ = 0;
      Unlocked_ = true;
    }
    return;
  }
  KeyStep_ = value == Key_[0] ? 1 : 0;
}

uint8_t TSimSuperIo::ReadData() {
  if (Index_ == LdnSelect) return Selected_;
  if (Index_ == ConfigControl) return 0;  // write-only
  const uint8_t* slot = Slot(Selected_, Index_);
  return slot != nullptr ? ReadHook(Selected_, Index_, *slot) : 0xFF;
}

void TSimSuperIo::WriteData(uint8_t value) {
  if (Index_ == LdnSelect) {
    Selected_ = value;
    return;
  }
  if (Index_ == ConfigControl) {
    if ((value & ControlResetLdns) != 0) ResetRegisters();
    if (Spec_.Family == TSioFamily::Ite && (value & ControlExit) != 0) Unlocked_ = false;
    return;
  }
  uint8_t mask = 0;
  uint8_t* slot = Slot(Selected_, Index_, &mask);
  if (slot == nullptr) return;
  const uint8_t before = *slot;
  *slot =
      WriteHook(Selected_, Index_, before, static_cast<uint8_t>((before & ~mask) | (value & mask)));
  RegisterChanged(Selected_, Index_);
}

uint32_t TSimSuperIo::PortRead(uint16_t port, uint8_t width) {
  uint32_t value = 0;
  for (uint8_t i = 0; i < width; ++i) {
    const auto at = static_cast<uint16_t>(port + i);
    uint8_t byte = 0xFF;
    if (Unlocked_) byte = at == IndexPort_ ? Index_ : ReadData();
    value |= uint32_t{byte} << (8 * i);
  }
  return value;
}

void TSimSuperIo::PortWrite(uint16_t port, uint8_t width, uint32_t value) {
  for (uint8_t i = 0; i < width; ++i) {
    const auto at = static_cast<uint16_t>(port + i);
    const auto byte = static_cast<uint8_t>(value >> (8 * i));
    if (!Unlocked_) {
      if (at == IndexPort_) KeyByte(byte);
    } else if (at != IndexPort_) {
      WriteData(byte);
    } else if (Spec_.Family == TSioFamily::Winbond && byte == WinbondExitKey) {
      Unlocked_ = false;
    } else {
      Index_ = byte;
    }
  }
}

void TSimSuperIo::SaveState(TSimState& state) const {
  state.SetBytes(StateKey("global"), Global_.data(), Global_.size());
  for (const TDeviceRegs& regs : Devices_) {
    state.SetBytes(StateKey("ldn." + HexByte(regs.Ldn).substr(2)), regs.Value.data(),
                   regs.Value.size());
  }
  state.SetNumber(StateKey("ldnselect"), Selected_);
  state.SetNumber(StateKey("index"), Index_);
  state.SetNumber(StateKey("keystep"), KeyStep_);
  state.SetNumber(StateKey("unlocked"), Unlocked_ ? 1 : 0);
  SaveChipState(state);
}

bool TSimSuperIo::LoadState(const TSimState& state, std::string* error) {
  std::array<uint8_t, 0x30> global{};
  std::vector<TDeviceRegs> devices = Devices_;
  uint64_t selected = 0, index = 0, keyStep = 0, unlocked = 0;
  if (!state.GetBytes(StateKey("global"), global.data(), global.size(), error)) return false;
  for (TDeviceRegs& regs : devices) {
    if (!state.GetBytes(StateKey("ldn." + HexByte(regs.Ldn).substr(2)), regs.Value.data(),
                        regs.Value.size(), error)) {
      return false;
    }
  }
  if (!state.GetNumber(StateKey("ldnselect"), &selected, error) ||
      !state.GetNumber(StateKey("index"), &index, error) ||
      !state.GetNumber(StateKey("keystep"), &keyStep, error) ||
      !state.GetNumber(StateKey("unlocked"), &unlocked, error)) {
    return false;
  }
  if (keyStep >= Key_.size() || selected > 0xFF || index > 0xFF) {
    *error = "state of the Super I/O configuration port is out of range";
    return false;
  }
  Global_ = global;
  Devices_ = devices;
  Selected_ = static_cast<uint8_t>(selected);
  Index_ = static_cast<uint8_t>(index);
  KeyStep_ = static_cast<uint8_t>(keyStep);
  Unlocked_ = unlocked != 0;
  if (!LoadChipState(state, error)) return false;
  RegistersRestored();
  return true;
}

// --- the [SuperIO] section ---

namespace {

// REG=HH HH ... keys of one prefix: the register number after the prefix's ".", then the bytes.
template <class F>
bool ApplyRegisterLists(const TSimSectionReader& reader, std::string_view prefix, uint64_t last,
                        F store) {
  for (const std::string& key : reader.Keys()) {
    if (!StartsWithNoCase(key, prefix)) continue;
    const size_t dot = key.find('.');
    uint64_t first = 0;
    std::vector<uint8_t> bytes;
    if (dot == std::string::npos || !TSimSectionReader::ParseNumber(key.substr(dot + 1), &first) ||
        first > last) {
      return reader.Fail(key, "not a register number");
    }
    if (!reader.HexBytes(key, &bytes)) return false;
    for (size_t i = 0; i < bytes.size(); ++i) {
      if (first + i > last || !store(key, first + i, bytes[i])) {
        return reader.Fail(key, "the chip has no register " + HexMin(first + i));
      }
    }
  }
  return true;
}

}  // namespace

bool BuildSimSuperIo(TSimMachine& machine, const TIniFile& ini, const std::string& section,
                     std::string* error) {
  const TSimSectionReader reader(ini, section, error);
  if (!reader.CheckKeys({"Chip", "Port", "HwmBase", "SimpleIoBase"}, {"Config.", "Ldn", "Hwm."})) {
    return false;
  }
  uint64_t port = 0;
  if (!reader.Number("Port", &port, 0xFFFF, true)) return false;
  if (port != 0x2E && port != 0x4E) return reader.Fail("Port", "must be 0x2E or 0x4E");
  const std::string name = TrimBlanks(reader.Text("Chip"));
  std::unique_ptr<TSimSuperIo> created = CreateSimWinbondChip(machine, name, port);
  if (created == nullptr) created = CreateSimIteChip(machine, name, port);
  if (created == nullptr) {
    return reader.Fail(
        "Chip", "'" + name + "' is not " + SimWinbondChipNames() + " or " + SimIteChipNames());
  }
  TSimSuperIo* chip = machine.Add(std::move(created));
  if (chip == nullptr) return reader.Fail("", "the board already has a Super I/O chip");
  if (!machine.Ports().Claim(static_cast<uint16_t>(port), 2, chip,
                             std::string(chip->Spec().Name))) {
    return reader.Fail("Port", "ports " + HexMin(port) + "/" + HexMin(port + 1) + " are taken");
  }
  auto* pins = dynamic_cast<ISimPinSource*>(chip);
  if (pins != nullptr && !SimWiring(machine).AddChip("SIO", pins)) {
    return reader.Fail("", "pin prefix SIO is taken");
  }

  const bool ok =
      ApplyRegisterLists(reader, "Config.", 0x2F,
                         [&](const std::string&, uint64_t reg, uint8_t byte) {
                           return chip->SetRegister(0, static_cast<uint8_t>(reg), byte);
                         }) &&
      ApplyRegisterLists(
          reader, "Ldn", 0xFF, [&](const std::string& key, uint64_t reg, uint8_t byte) {
            uint64_t ldn = 0;
            return TSimSectionReader::ParseNumber(TextBefore(std::string_view(key).substr(3), "."),
                                                  &ldn) &&
                   ldn < 0xFF &&
                   chip->HasRegister(static_cast<uint8_t>(ldn), static_cast<uint8_t>(reg)) &&
                   chip->SetRegister(static_cast<uint8_t>(ldn), static_cast<uint8_t>(reg), byte);
          });
  if (!ok) return false;
  uint64_t base = 0;
  if (reader.Has("HwmBase")) {
    if (!reader.Number("HwmBase", &base, 0xFFF8)) return false;
    if (base % 8 != 0 || !chip->SetMonitorBase(static_cast<uint16_t>(base))) {
      return reader.Fail("HwmBase", "expected a multiple of 8");
    }
  }
  if (reader.Has("SimpleIoBase")) {
    if (!reader.Number("SimpleIoBase", &base, 0xFFF8)) return false;
    if (base % 8 != 0 || !chip->SetSimpleIoBase(static_cast<uint16_t>(base))) {
      return reader.Fail("SimpleIoBase", "expected a multiple of 8 on an ITE chip");
    }
  }
  return ApplyRegisterLists(reader, "Hwm.", 0x7FF,
                            [&](const std::string&, uint64_t reg, uint8_t byte) {
                              return chip->SetMonitorRegister(static_cast<uint16_t>(reg), byte);
                            });
}

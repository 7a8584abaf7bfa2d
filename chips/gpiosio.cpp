#include "chips/gpiosio.h"

#include <algorithm>
#include <vector>

#include <string>

#include "base/trace.h"
#include "chips/sio.h"

bool SioOfFamily(const TSio& sio, std::span<const std::string_view> chips,
                 std::string_view interfaceName) {
  const std::string name(interfaceName);
  if (!sio.Detected()) {
    RwDebugLine(name + ": no Super I/O detected, refused");
    return false;
  }
  if (sio.MatchedVendorSection) {
    RwDebugLine(name + ": Super I/O known only as the family " + sio.Name + ", refused");
    return false;
  }
  if (std::find(chips.begin(), chips.end(), sio.Name) == chips.end()) {
    RwDebugLine(name + ": Super I/O " + sio.Name + " is not of this back-end's family, refused");
    return false;
  }
  return true;
}

TSioGpio::TSioGpio(TSio& sio, const TSioGpioChip& chip)
    : TGpioBase(TPinNaming{static_cast<int>(chip.Groups.size() * 8), true, 1}),
      Sio_(sio),
      Chip_(chip),
      Present_(SioOfFamily(sio, chip.Chips, chip.Interface)) {}

void TSioGpio::ReadPins() {
  if (!Present_) return;
  TSioGpioRegs regs;
  for (uint8_t reg : Chip_.GlobalRegs) regs.SetCr(reg, Sio_.ReadConfigReg(reg));

  for (uint8_t ldn : Chip_.LdnOrder) {
    std::vector<uint8_t> wanted{kSioActivate};
    auto want = [&wanted](uint8_t reg) {
      if (reg != 0 && std::find(wanted.begin(), wanted.end(), reg) == wanted.end())
        wanted.push_back(reg);
    };
    for (const TSioGpioGroup& group : Chip_.Groups) {
      if (group.Ldn != ldn) continue;
      want(group.Direction);
      want(group.Level);
      want(group.Inversion);
      want(group.EnableReg);
    }
    Sio_.SelectLogicalDevice(ldn);
    for (uint8_t reg : wanted) regs.SetReg(ldn, reg, Sio_.ReadConfigReg(reg));
  }

  TPinStates states{};
  for (size_t g = 0; g < Chip_.Groups.size(); ++g) {
    const TSioGpioGroup& group = Chip_.Groups[g];
    uint8_t* pins = &states[g * 8];
    if (group.NotGpio != nullptr && group.NotGpio(regs)) {
      std::fill_n(pins, 8, kPinNotGpio);
    } else if ((regs.Reg(group.Ldn, kSioActivate) & group.ActBit) == 0) {
      std::fill_n(pins, 8, kPinDisabled);
    } else {
      TPinMasks masks;
      masks.Enable = group.Enable != nullptr ? group.Enable(regs) : 0xFF;
      masks.Direction = regs.Reg(group.Ldn, group.Direction);
      masks.Level = regs.Reg(group.Ldn, group.Level);
      masks.Inversion = regs.Reg(group.Ldn, group.Inversion);
      for (int bit = 0; bit < 8; ++bit) pins[bit] = CommonPinState(masks, bit);
    }
    if (group.Extra != nullptr) group.Extra(regs, states);
  }
  PinStates_ = states;
}

void TSioGpio::Change(uint8_t reg, uint8_t set, uint8_t clear) {
  const uint8_t value = Sio_.ReadConfigReg(reg);
  Sio_.WriteConfigReg(reg, static_cast<uint8_t>((value | set) & ~clear));
}

void TSioGpio::SetPin(uint8_t index, uint8_t state) {
  if (!Present_ || index >= PinCount() || !IsDrivenState(state)) return;
  const TSioGpioGroup& group = Chip_.Groups[index / 8];
  const uint8_t mask = static_cast<uint8_t>(1u << (index % 8));

  if (group.SetCr != 0) Change(group.SetCr, group.SetCrBit, 0);
  Sio_.SelectLogicalDevice(group.Ldn);
  Change(kSioActivate, group.ActBit, 0);
  if (group.ClearReg != 0) Change(group.ClearReg, 0, mask);

  Change(group.Inversion, 0, mask);
  switch (state) {
    case kPinOutputLow:
      Change(group.Direction, 0, mask);
      Change(group.Level, 0, mask);
      break;
    case kPinOutputHigh:
      Change(group.Direction, 0, mask);
      Change(group.Level, mask, 0);
      break;
    case kPinInputLow:
    case kPinInputHigh:
    case kPinInput:
      Change(group.Direction, mask, 0);
      break;
    default:
      break;
  }
}

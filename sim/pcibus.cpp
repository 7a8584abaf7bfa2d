#include "sim/pcibus.h"

#include <cstdio>
#include <span>

#include "sim/simstate.h"

namespace {

uint32_t AllOnes(uint8_t width) {
  return width >= 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1;
}

// Bits of the standard header that software may change or clear, by header layout. Everything
// from 0x40 on is device specific and writable unless a board or model says otherwise.
struct TMaskRow {
  uint16_t Offset;
  uint8_t Length;
  uint8_t Write;
  uint8_t Clear;
};

constexpr TMaskRow DeviceHeaderMasks[] = {
    {0x04, 1, 0xFF, 0x00},  // command: I/O, memory, bus master, ..., SERR
    {0x05, 1, 0x07, 0x00},  // command: fast back-to-back, interrupt disable
    {0x07, 1, 0x00, 0xF9},  // status: error bits are write-one-to-clear
    {0x0C, 2, 0xFF, 0x00},  // cache line size, latency timer
    {0x3C, 1, 0xFF, 0x00},  // interrupt line
};

constexpr TMaskRow BridgeHeaderMasks[] = {
    {0x04, 1, 0xFF, 0x00},
    {0x05, 1, 0x07, 0x00},
    {0x07, 1, 0x00, 0xF9},
    {0x0C, 2, 0xFF, 0x00},
    {0x18, 4, 0xFF, 0x00},  // primary, secondary, subordinate bus,
                            // secondary latency
    {0x1C, 2, 0xF0, 0x00},  // I/O base and limit, bits 15:12 of the window
    {0x1F, 1, 0x00, 0xF9},  // secondary status
    {0x20, 1, 0xF0, 0x00},
    {0x21, 1, 0xFF, 0x00},  // memory base
    {0x22, 1, 0xF0, 0x00},
    {0x23, 1, 0xFF, 0x00},  // memory limit
    {0x24, 1, 0xF0, 0x00},
    {0x25, 1, 0xFF, 0x00},  // prefetchable base
    {0x26, 1, 0xF0, 0x00},
    {0x27, 1, 0xFF, 0x00},   // prefetchable limit
    {0x28, 12, 0xFF, 0x00},  // prefetchable upper halves, I/O upper halves
    {0x3C, 1, 0xFF, 0x00},
    {0x3E, 1, 0xFF, 0x00},
    {0x3F, 1, 0x0F, 0x00},  // bridge control
};

constexpr uint16_t DeviceSpecificStart = 0x40;

}  // namespace

std::string SimPciBdfText(uint16_t bdf) {
  char text[16];
  std::snprintf(text, sizeof text, "%02x:%02x.%x", bdf >> 8, (bdf >> 3) & 31, bdf & 7);
  return text;
}

TSimPciFunction::TSimPciFunction(uint16_t vendorId, uint16_t deviceId, uint32_t classCode,
                                 uint8_t revision, uint8_t headerType) {
  SetWord(0x00, vendorId);
  SetWord(0x02, deviceId);
  SetDword(0x08, classCode << 8 | revision);
  SetByte(0x0E, headerType & 0x7F);
  const bool bridge = (headerType & 0x7F) == 1;
  for (const TMaskRow& row : bridge ? std::span<const TMaskRow>(BridgeHeaderMasks)
                                    : std::span<const TMaskRow>(DeviceHeaderMasks)) {
    for (uint16_t i = 0; i < row.Length; ++i) {
      WriteMask_[row.Offset + i] = row.Write;
      ClearMask_[row.Offset + i] = row.Clear;
    }
  }
  for (uint32_t offset = DeviceSpecificStart; offset < ConfigSize; ++offset) {
    WriteMask_[offset] = 0xFF;
  }
}

uint16_t TSimPciFunction::Word(uint16_t offset) const {
  return static_cast<uint16_t>(Byte(offset) | Byte(offset + 1) << 8);
}

uint32_t TSimPciFunction::Dword(uint16_t offset) const {
  return uint32_t{Word(offset)} | uint32_t{Word(offset + 2)} << 16;
}

void TSimPciFunction::SetWord(uint16_t offset, uint16_t value) {
  SetByte(offset, value & 0xFF);
  SetByte(offset + 1, value >> 8);
}

void TSimPciFunction::SetDword(uint16_t offset, uint32_t value) {
  SetWord(offset, value & 0xFFFF);
  SetWord(offset + 2, value >> 16);
}

uint32_t TSimPciFunction::ConfigRead(uint16_t offset, uint8_t width) {
  uint32_t value = 0;
  for (uint8_t i = 0; i < width; ++i) value |= uint32_t{Byte(offset + i)} << (8 * i);
  return value;
}

void TSimPciFunction::ConfigWrite(uint16_t offset, uint8_t width, uint32_t value) {
  for (uint8_t i = 0; i < width; ++i) {
    const uint16_t at = (offset + i) % ConfigSize;
    const uint8_t in = (value >> (8 * i)) & 0xFF;
    uint8_t byte = static_cast<uint8_t>((Config_[at] & ~WriteMask_[at]) | (in & WriteMask_[at]));
    byte = static_cast<uint8_t>(byte & ~(in & ClearMask_[at]));
    Config_[at] = byte;
  }
  ConfigWritten(offset, width);
  for (const TListener& listener : Listeners_) listener(*this, offset, width);
}

void TSimPciFunction::SaveState(TSimState& state, const std::string& key) const {
  state.SetBytes(key, Config_.data(), Config_.size());
}

bool TSimPciFunction::LoadState(const TSimState& state, const std::string& key,
                                std::string* error) {
  std::array<uint8_t, ConfigSize> saved{};
  if (!state.GetBytes(key, saved.data(), saved.size(), error)) return false;
  Config_ = saved;
  ConfigRestored();
  for (const TListener& listener : Listeners_) listener(*this, 0, 0);
  return true;
}

bool TSimPciBus::AddFunction(uint8_t bus, uint8_t device, uint8_t function,
                             std::unique_ptr<TSimPciFunction> model) {
  if (model == nullptr || device > 31 || function > 7) return false;
  const uint16_t bdf = SimPciBdf(bus, device, function);
  if (!Functions_.emplace(bdf, std::move(model)).second) return false;
  // A device answering on more than function 0 says so in function 0's header type, or
  // enumerating software never looks at its other functions.
  TSimPciFunction* first = Function(bus, device, 0);
  if (first == nullptr) return true;
  for (uint8_t other = 1; other < 8; ++other) {
    if (Function(bus, device, other) != nullptr) {
      first->SetByte(0x0E, first->Byte(0x0E) | 0x80);
      break;
    }
  }
  return true;
}

TSimPciFunction* TSimPciBus::Function(uint8_t bus, uint8_t device, uint8_t function) {
  if (device > 31 || function > 7) return nullptr;
  const auto it = Functions_.find(SimPciBdf(bus, device, function));
  return it == Functions_.end() ? nullptr : it->second.get();
}

uint32_t TSimPciBus::ConfigRead(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset,
                                uint8_t width) {
  TSimPciFunction* model = Function(bus, device, function);
  if (model == nullptr || offset + width > TSimPciFunction::ConfigSize) return AllOnes(width);
  return model->ConfigRead(offset, width) & AllOnes(width);
}

void TSimPciBus::ConfigWrite(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset,
                             uint8_t width, uint32_t value) {
  TSimPciFunction* model = Function(bus, device, function);
  if (model == nullptr || offset + width > TSimPciFunction::ConfigSize) return;
  model->ConfigWrite(offset, width, value & AllOnes(width));
}

uint32_t TSimPciBus::PortRead(uint16_t port, uint8_t width) {
  if (port < DataPort) {
    // The address register answers dword accesses only; narrower ones go elsewhere on the bus.
    return port == AddressPort && width == 4 ? Address_ : AllOnes(width);
  }
  if ((Address_ & 0x80000000u) == 0) return AllOnes(width);
  const uint16_t offset =
      static_cast<uint16_t>(((Address_ >> 16) & 0xF00) | (Address_ & 0xFC) | (port - DataPort));
  return ConfigRead((Address_ >> 16) & 0xFF, (Address_ >> 11) & 31, (Address_ >> 8) & 7, offset,
                    width);
}

void TSimPciBus::PortWrite(uint16_t port, uint8_t width, uint32_t value) {
  if (port < DataPort) {
    if (port == AddressPort && width == 4) Address_ = value & AddressMask();
    return;
  }
  if ((Address_ & 0x80000000u) == 0) return;
  const uint16_t offset =
      static_cast<uint16_t>(((Address_ >> 16) & 0xF00) | (Address_ & 0xFC) | (port - DataPort));
  ConfigWrite((Address_ >> 16) & 0xFF, (Address_ >> 11) & 31, (Address_ >> 8) & 7, offset, width,
              value);
}

uint32_t TSimPciBus::MemoryRead(uint64_t offset, uint8_t width) {
  return ConfigRead((offset >> 20) & 0xFF, (offset >> 15) & 31, (offset >> 12) & 7, offset & 0xFFF,
                    width);
}

void TSimPciBus::MemoryWrite(uint64_t offset, uint8_t width, uint32_t value) {
  ConfigWrite((offset >> 20) & 0xFF, (offset >> 15) & 31, (offset >> 12) & 7, offset & 0xFFF, width,
              value);
}

void TSimPciBus::SaveState(TSimState& state) const {
  state.SetNumber("pci.address", Address_);
  for (const auto& [bdf, model] : Functions_) model->SaveState(state, "pci." + SimPciBdfText(bdf));
}

bool TSimPciBus::LoadState(const TSimState& state, std::string* error) {
  uint64_t address = 0;
  if (!state.GetNumber("pci.address", &address, error)) return false;
  for (const auto& [bdf, model] : Functions_) {
    if (!model->LoadState(state, "pci." + SimPciBdfText(bdf), error)) return false;
  }
  Address_ = static_cast<uint32_t>(address) & AddressMask();
  return true;
}

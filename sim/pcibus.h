// PCI: functions with 4 KiB configuration spaces, reached through configuration mechanism #1
// (0xCF8 address, 0xCFC..0xCFF data, offset bits 11:8 in address bits 27:24) and through the
// memory-mapped extended configuration window (ECAM). Absent functions read all ones.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim/simdevice.h"

// Packs a function's address the way firmware and the program do: bus shl 8 or device shl 3 or
// function.
constexpr uint16_t SimPciBdf(uint8_t bus, uint8_t device, uint8_t function) {
  return static_cast<uint16_t>(bus << 8 | (device & 31) << 3 | (function & 7));
}
// "bb:dd.f" in lower-case hex, as lspci writes it.
std::string SimPciBdfText(uint16_t bdf);

// One function's configuration space. Plain registers need nothing more than the constructor and
// the Set* calls; a device model with behaviour derives and overrides ConfigRead / ConfigWritten,
// or, for a function the board file built, listens to its writes.
class TSimPciFunction {
 public:
  // Called after a configuration write changed registers (offset, width of the write) and after a
  // saved configuration space was restored (offset 0, width 0: anything may have changed).
  using TListener = std::function<void(TSimPciFunction& function, uint16_t offset, uint8_t width)>;

  static constexpr uint32_t ConfigSize = 4096;

  // headerType 0 (device) or 1 (PCI-to-PCI bridge) chooses the standard write masks; bit 7 (more
  // functions) is kept by the bus.
  TSimPciFunction(uint16_t vendorId, uint16_t deviceId, uint32_t classCode, uint8_t revision,
                  uint8_t headerType);
  virtual ~TSimPciFunction() = default;

  // The bus's accesses. width 1, 2 or 4 and offset + width <= ConfigSize (the bus guarantees it).
  virtual uint32_t ConfigRead(uint16_t offset, uint8_t width);
  // Writable bits take the new value, write-one-to-clear bits clear where value has ones, the rest
  // keep their value; then ConfigWritten and the listeners run.
  virtual void ConfigWrite(uint16_t offset, uint8_t width, uint32_t value);
  // E.g. an ICH GPIO model follows GPIOBASE in the LPC bridge and moves its port claim.
  void AddListener(TListener listener) { Listeners_.push_back(std::move(listener)); }

  // Direct access for the board and device models: ignores the write masks.
  uint8_t Byte(uint16_t offset) const { return Config_[offset % ConfigSize]; }
  uint16_t Word(uint16_t offset) const;
  uint32_t Dword(uint16_t offset) const;
  void SetByte(uint16_t offset, uint8_t value) { Config_[offset % ConfigSize] = value; }
  void SetWord(uint16_t offset, uint16_t value);
  void SetDword(uint16_t offset, uint32_t value);

  // Which bits of a byte a configuration write may change, and which it clears by writing ones.
  void SetWriteMask(uint16_t offset, uint8_t mask) { WriteMask_[offset % ConfigSize] = mask; }
  void SetClearMask(uint16_t offset, uint8_t mask) { ClearMask_[offset % ConfigSize] = mask; }
  uint8_t WriteMask(uint16_t offset) const { return WriteMask_[offset % ConfigSize]; }

  void SaveState(TSimState& state, const std::string& key) const;
  bool LoadState(const TSimState& state, const std::string& key, std::string* error);

 protected:
  // After a configuration write has changed the registers (a model re-claims moved port ranges).
  virtual void ConfigWritten(uint16_t /*offset*/, uint8_t /*width*/) {}
  // After a saved configuration space was put back, for the same reason.
  virtual void ConfigRestored() {}

 private:
  std::array<uint8_t, ConfigSize> Config_{};
  std::array<uint8_t, ConfigSize> WriteMask_{};
  std::array<uint8_t, ConfigSize> ClearMask_{};
  std::vector<TListener> Listeners_;
};

class TSimPciBus : public ISimPortHandler, public ISimMemoryHandler {
 public:
  static constexpr uint16_t AddressPort = 0xCF8;
  static constexpr uint16_t DataPort = 0xCFC;

  // False when the slot is taken. Function 0 of a device with more than one function gets the
  // multi-function bit of its header type.
  bool AddFunction(uint8_t bus, uint8_t device, uint8_t function,
                   std::unique_ptr<TSimPciFunction> model);
  TSimPciFunction* Function(uint8_t bus, uint8_t device, uint8_t function);
  size_t FunctionCount() const { return Functions_.size(); }

  // Configuration access by address; all ones (of the width) from an absent function.
  uint32_t ConfigRead(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset,
                      uint8_t width);
  void ConfigWrite(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset, uint8_t width,
                   uint32_t value);

  // Whether 0xCF8 bits 27:24 carry offset bits 11:8 (AMD's extended configuration access); when
  // off those bits read back as zero and only the first 256 bytes are reachable by ports.
  void SetCf8ExtendedOffsets(bool enabled) { Cf8Extended_ = enabled; }
  uint32_t AddressLatch() const { return Address_; }

  // Mechanism #1: claim ports 0xCF8..0xCFF.
  uint32_t PortRead(uint16_t port, uint8_t width) override;
  void PortWrite(uint16_t port, uint8_t width, uint32_t value) override;
  // ECAM: offset = bus shl 20 or device shl 15 or function shl 12 or register.
  uint32_t MemoryRead(uint64_t offset, uint8_t width) override;
  void MemoryWrite(uint64_t offset, uint8_t width, uint32_t value) override;

  // Entries "pci.address" and one "pci.bb:dd.f" per function.
  void SaveState(TSimState& state) const;
  bool LoadState(const TSimState& state, std::string* error);

 private:
  uint32_t AddressMask() const { return Cf8Extended_ ? 0x8FFFFFFCu : 0x80FFFFFCu; }

  std::map<uint16_t, std::unique_ptr<TSimPciFunction>> Functions_;
  uint32_t Address_ = 0;
  bool Cf8Extended_ = true;
};

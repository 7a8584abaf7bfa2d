// The machine the driver's dispatcher works on: raw operations only, no meaning. The kernel driver
// implements it with real instructions, hw/linux with device files, sim/ with device models.
// Freestanding: no exceptions, RTTI, heap or standard library.
#pragma once

#include <stdint.h>

class IZemMachine {
 public:
  // Port I/O; width is 1, 2 or 4 bytes.
  virtual uint32_t PortIn(uint16_t port, uint8_t width) = 0;
  virtual void PortOut(uint16_t port, uint8_t width, uint32_t value) = 0;

  // One configuration access: address is the mechanism #1 dword (enable bit, extended offset bits
  // 27:24, bus, device, function, offset & 0xFC); lane = offset & 3. The default goes through ports
  // 0xCF8 and 0xCFC + lane, as the hardware does.
  virtual uint32_t PciConfigRead(uint32_t address, uint8_t lane, uint8_t width);
  virtual void PciConfigWrite(uint32_t address, uint8_t lane, uint8_t width, uint32_t value);

  // MSRs of the processor the caller runs on; false when the access faults.
  virtual bool ReadMsr(uint32_t msr, uint64_t* value) = 0;
  virtual bool WriteMsr(uint32_t msr, uint64_t value) = 0;
  virtual uint64_t ReadTsc() = 0;
  virtual bool ReadPmc(uint32_t counter, uint64_t* value) = 0;
  // Control registers 0, 2, 3, 4 and 8 (the dispatcher filters the numbers); false when this
  // machine cannot reach them (user mode).
  virtual bool ReadCr(uint32_t number, uint64_t* value) = 0;
  virtual bool WriteCr(uint32_t number, uint64_t value) = 0;

  // Maps length bytes of physical memory for the calling process. mapped receives the 32-bit value
  // the map request returns (a user address on 32-bit Windows, a handle for in-process links).
  // Returns a completion status.
  virtual uint32_t MapPhysical(uint64_t address, uint32_t length, uint32_t* mapped) = 0;
  virtual uint32_t UnmapPhysical(uint32_t mapped) = 0;
  // The same for a 64-bit caller, whose answer is a full pointer. Machines whose answers always
  // fit 32 bits keep the defaults, which pass through the narrow forms.
  virtual uint32_t MapPhysicalWide(uint64_t address, uint32_t length, uint64_t* mapped);
  virtual uint32_t UnmapPhysicalWide(uint64_t mapped);

  // Waits the given time without giving up the processor.
  virtual void BusyWaitMicroseconds(uint32_t microseconds) = 0;
  // A dword read of the ACPI PM timer port.
  virtual uint32_t ReadPmTimer(uint16_t port) { return PortIn(port, 4); }
  // Keeps the caller on its processor for a measurement; Lower takes what Raise returned.
  virtual uint32_t RaiseToDispatchLevel() { return 0; }
  virtual void LowerFromDispatchLevel(uint32_t /*previous*/) {}

 protected:
  ~IZemMachine() = default;
};

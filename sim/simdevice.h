// What a simulated device implements to sit on the machine's buses. A device is its state plus
// read/write callbacks; the buses route each access by a table of claimed ranges, so a device
// never decodes addresses that are not its own.
#pragma once

#include <cstdint>
#include <string>

class TSimState;

// Claimed I/O ports. port is the absolute port of the access's first byte; width is 1, 2 or 4 and
// the access lies wholly inside one claimed range (the bus splits accesses that straddle ranges).
class ISimPortHandler {
 public:
  virtual uint32_t PortRead(uint16_t port, uint8_t width) = 0;
  virtual void PortWrite(uint16_t port, uint8_t width, uint32_t value) = 0;

 protected:
  ~ISimPortHandler() = default;
};

// A claimed range of the physical address space. offset counts from the region's base; width is
// 1, 2 or 4 and the access is naturally aligned.
class ISimMemoryHandler {
 public:
  virtual uint32_t MemoryRead(uint64_t offset, uint8_t width) = 0;
  virtual void MemoryWrite(uint64_t offset, uint8_t width, uint32_t value) = 0;

 protected:
  ~ISimMemoryHandler() = default;
};

// MSRs with behaviour (P-state control, thermal status), answered for every core. Returning false
// makes the access fault, as a #GP would.
class ISimMsrHandler {
 public:
  virtual bool MsrRead(uint32_t cpu, uint32_t msr, uint64_t* value) = 0;
  virtual bool MsrWrite(uint32_t cpu, uint32_t msr, uint64_t value) = 0;

 protected:
  ~ISimMsrHandler() = default;
};

// A device the machine owns. Its state entries go into the machine's state file under its name.
class ISimDevice {
 public:
  virtual ~ISimDevice() = default;
  // Unique within a machine; letters, digits and "._:-" only (it prefixes the state keys).
  virtual std::string DeviceName() const = 0;
  virtual void SaveState(TSimState& state) const = 0;
  // Reads back what SaveState wrote; false with a message when an entry is missing or malformed.
  virtual bool LoadState(const TSimState& state, std::string* error) = 0;
};

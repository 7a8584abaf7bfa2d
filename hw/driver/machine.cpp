// The machine's default operations. Configuration mechanism #1, the way a processor without
// memory-mapped configuration reaches PCI: the address dword goes to 0xCF8, the data moves through
// the lane's byte of 0xCFC..0xCFF.
#include "hw/driver/machine.h"

#include "hw/ioctl.h"

namespace {
constexpr uint16_t PciAddressPort = 0xCF8;
constexpr uint16_t PciDataPort = 0xCFC;
}  // namespace

uint32_t IZemMachine::PciConfigRead(uint32_t address, uint8_t lane, uint8_t width) {
  PortOut(PciAddressPort, 4, address);
  return PortIn(static_cast<uint16_t>(PciDataPort + (lane & 3)), width);
}

void IZemMachine::PciConfigWrite(uint32_t address, uint8_t lane, uint8_t width, uint32_t value) {
  PortOut(PciAddressPort, 4, address);
  PortOut(static_cast<uint16_t>(PciDataPort + (lane & 3)), width, value);
}

uint32_t IZemMachine::MapPhysicalWide(uint64_t address, uint32_t length, uint64_t* mapped) {
  uint32_t narrow = 0;
  const uint32_t status = MapPhysical(address, length, &narrow);
  *mapped = narrow;
  return status;
}

uint32_t IZemMachine::UnmapPhysicalWide(uint64_t mapped) {
  // A value no narrow answer can have names no mapping of this machine.
  if (mapped > 0xFFFFFFFFu) return ZEM_STATUS_INVALID_PARAMETER;
  return UnmapPhysical(static_cast<uint32_t>(mapped));
}

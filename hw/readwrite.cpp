#include "hw/readwrite.h"

#include <algorithm>
#include <cstring>

#include "base/textfmt.h"
#include "base/trace.h"
#include "hw/driver/machine.h"

namespace {

constexpr uint32_t kWindow = 256;  // bytes per mapping in block reads and searches
constexpr uint16_t kPciExtendedStart = 0x100;
constexpr uint32_t kAmdNbConfigMsr = 0xC001001F;
constexpr uint32_t kAmdEnableCf8ExtendedConfig = 1u << 14;  // bit 46 of the MSR, in EDX

// The configuration mechanism #1 address; bits 27:24 carry offset bits 11:8 (AMD extended access).
uint32_t PciMechanism1Address(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset) {
  return 0x80000000u | ((static_cast<uint32_t>(offset >> 8) & 0xF) << 24) |
         (static_cast<uint32_t>(bus) << 16) | (static_cast<uint32_t>(device & 0x1F) << 11) |
         (static_cast<uint32_t>(function & 7) << 8) | (offset & 0xFCu);
}

uint8_t BdfBus(uint16_t bdf) {
  return static_cast<uint8_t>(bdf >> 8);
}
uint8_t BdfDevice(uint16_t bdf) {
  return static_cast<uint8_t>((bdf >> 3) & 0x1F);
}
uint8_t BdfFunction(uint16_t bdf) {
  return static_cast<uint8_t>(bdf & 7);
}

std::string PciLocation(uint8_t bus, uint8_t device, uint8_t function) {
  return HexByte(bus) + "," + HexByte(device) + "," + HexByte(function) + ",";
}

std::string MsrText(const CpuRegisters& regs) {
  return HexDword(regs.ECX) + "=" + HexDword(regs.EDX) + HexDword(regs.EAX);
}

std::string Decimal(uint32_t number) {
  return std::to_string(static_cast<int32_t>(number));
}

// Mapped memory may be a device's registers: naturally aligned accesses keep their width.
void CopyFromMapped(void* to, const uint8_t* from, uint32_t width) {
  const auto at = reinterpret_cast<uintptr_t>(from);
  if (width == 4 && at % 4 == 0) {
    const uint32_t value = *reinterpret_cast<const volatile uint32_t*>(from);
    std::memcpy(to, &value, 4);
  } else if (width == 2 && at % 2 == 0) {
    const uint16_t value = *reinterpret_cast<const volatile uint16_t*>(from);
    std::memcpy(to, &value, 2);
  } else {
    auto* bytes = static_cast<uint8_t*>(to);
    for (uint32_t i = 0; i < width; ++i)
      bytes[i] = reinterpret_cast<const volatile uint8_t*>(from)[i];
  }
}

void CopyToMapped(uint8_t* to, const void* from, uint32_t width) {
  const auto at = reinterpret_cast<uintptr_t>(to);
  if (width == 4 && at % 4 == 0) {
    uint32_t value;
    std::memcpy(&value, from, 4);
    *reinterpret_cast<volatile uint32_t*>(to) = value;
  } else if (width == 2 && at % 2 == 0) {
    uint16_t value;
    std::memcpy(&value, from, 2);
    *reinterpret_cast<volatile uint16_t*>(to) = value;
  } else {
    const auto* bytes = static_cast<const uint8_t*>(from);
    for (uint32_t i = 0; i < width; ++i) reinterpret_cast<volatile uint8_t*>(to)[i] = bytes[i];
  }
}

}  // namespace

TReadWrite::TReadWrite(IOsDriverService& service, IOsSystem& system,
                       const TReadWriteSettings& settings, uint32_t* pcieBaseOut)
    : TLoadDriver(service, settings.OsKind),
      System_(system),
      NumberOfProcessors_(settings.NumberOfProcessors) {
  if (!IsConnected()) return;
  if (settings.DetectPCIEBase) {
    DetectPcieBase();
    if (pcieBaseOut) *pcieBaseOut = PcieBase_;
  } else {
    PcieBase_ = settings.PCIEBaseAddress == 0 ? kNoPcieBase : settings.PCIEBaseAddress;
  }
}

bool TReadWrite::Control(uint32_t code, void* record, uint32_t size) {
  IDriverLink* link = Link();
  if (!link) return false;
  return link->Control(code, record, size, record, size, &Returned_);
}

IZemMachine* TReadWrite::Direct() const {
  IDriverLink* link = Link();
  return link ? link->DirectMachine() : nullptr;
}

// ---------------------------------------------------------------------------------------------
// Ports

// All ones of width bytes: what a read that could not be made returns.
uint32_t TReadWrite::NoValue(uint8_t width) {
  return width >= 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1;
}

uint32_t TReadWrite::PortRead(uint32_t code, uint16_t port, uint8_t width) {
  Io_.Port = port;
  if (DirectRoute()) {
    IZemMachine* machine = Direct();
    if (!machine) return NoValue(width);
    Io_.Value = machine->PortIn(port, width);
  } else if (!Control(code, &Io_, sizeof Io_)) {
    // Whatever the record held before belongs to another access.
    return NoValue(width);
  }
  return Io_.Value;
}

bool TReadWrite::PortWrite(uint32_t code, uint16_t port, uint8_t width, uint32_t value) {
  Io_.Port = port;
  Io_.Value = value;
  if (DirectRoute()) {
    IZemMachine* machine = Direct();
    if (!machine) return false;
    machine->PortOut(port, width, value);
    return true;
  }
  return Control(code, &Io_, sizeof Io_);
}

uint8_t TReadWrite::IoBaseReadByte(uint16_t port) {
  const auto value = static_cast<uint8_t>(PortRead(CTL_READ_IO_BYTE, port, 1));
  RwDebugLine("RW: IoBaseReadByte " + HexWord(port) + "=" + HexByte(value));
  return value;
}

uint16_t TReadWrite::IoBaseReadWord(uint16_t port) {
  const auto value = static_cast<uint16_t>(PortRead(CTL_READ_IO_WORD, port, 2));
  RwDebugLine("RW: IoBaseReadWord " + HexWord(port) + "=" + HexWord(value));
  return value;
}

uint32_t TReadWrite::IoBaseReadDword(uint16_t port) {
  const uint32_t value = PortRead(CTL_READ_IO_DWORD, port, 4);
  RwDebugLine("RW: IoBaseReadDword " + HexWord(port) + "=" + HexDword(value));
  return value;
}

bool TReadWrite::IoBaseWriteByte(uint16_t port, uint8_t value) {
  RwDebugLine("RW: IoBaseWriteByte " + HexWord(port) + "=" + HexByte(value));
  return PortWrite(CTL_WRITE_IO_BYTE, port, 1, value);
}

bool TReadWrite::IoBaseWriteWord(uint16_t port, uint16_t value) {
  RwDebugLine("RW: IoBaseWriteWord " + HexWord(port) + "=" + HexWord(value));
  return PortWrite(CTL_WRITE_IO_WORD, port, 2, value);
}

bool TReadWrite::IoBaseWriteDword(uint16_t port, uint32_t value) {
  RwDebugLine("RW: IoBaseWriteDword " + HexWord(port) + "=" + HexDword(value));
  return PortWrite(CTL_WRITE_IO_DWORD, port, 4, value);
}

uint8_t TReadWrite::IoIndexReadByte(uint16_t indexPort, uint16_t dataPort, uint8_t index) {
  // Without the index the data port would answer for some other register.
  if (!IoBaseWriteByte(indexPort, index)) return 0xFF;
  return IoBaseReadByte(dataPort);
}

uint16_t TReadWrite::IoIndexReadWord(uint16_t indexPort, uint16_t dataPort, uint8_t index) {
  const uint8_t high = IoIndexReadByte(indexPort, dataPort, static_cast<uint8_t>(index + 1));
  const uint8_t low = IoIndexReadByte(indexPort, dataPort, index);
  return static_cast<uint16_t>(high << 8 | low);
}

uint32_t TReadWrite::IoIndexReadDword(uint16_t indexPort, uint16_t dataPort, uint8_t index) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) {
    value = value << 8 | IoIndexReadByte(indexPort, dataPort, static_cast<uint8_t>(index + i));
  }
  return value;
}

bool TReadWrite::IoIndexWriteByte(uint16_t indexPort, uint16_t dataPort, uint8_t index,
                                  uint8_t value) {
  return IoBaseWriteByte(indexPort, index) && IoBaseWriteByte(dataPort, value);
}

bool TReadWrite::IoIndexWriteWord(uint16_t indexPort, uint16_t dataPort, uint8_t index,
                                  uint16_t value) {
  return IoIndexWriteByte(indexPort, dataPort, index, static_cast<uint8_t>(value)) &&
         IoIndexWriteByte(indexPort, dataPort, static_cast<uint8_t>(index + 1),
                          static_cast<uint8_t>(value >> 8));
}

// ---------------------------------------------------------------------------------------------
// Legacy PCI configuration

uint32_t TReadWrite::PciRead(uint32_t code, uint8_t bus, uint8_t device, uint8_t function,
                             uint16_t offset, uint8_t width) {
  Pci_.Bus = bus;
  Pci_.Device = device;
  Pci_.Function = function;
  Pci_.Offset = offset;
  if (DirectRoute()) {
    IZemMachine* machine = Direct();
    if (!machine) return NoValue(width);
    Pci_.Value = machine->PciConfigRead(PciMechanism1Address(bus, device, function, offset),
                                        static_cast<uint8_t>(offset & 3), width);
  } else if (!Control(code, &Pci_, sizeof Pci_)) {
    return NoValue(width);
  }
  return Pci_.Value;
}

bool TReadWrite::PciWrite(uint32_t code, uint8_t bus, uint8_t device, uint8_t function,
                          uint16_t offset, uint8_t width, uint32_t value) {
  Pci_.Bus = bus;
  Pci_.Device = device;
  Pci_.Function = function;
  Pci_.Offset = offset;
  Pci_.Value = value;
  if (DirectRoute()) {
    IZemMachine* machine = Direct();
    if (!machine) return false;
    machine->PciConfigWrite(PciMechanism1Address(bus, device, function, offset),
                            static_cast<uint8_t>(offset & 3), width, value);
    return true;
  }
  return Control(code, &Pci_, sizeof Pci_);
}

uint8_t TReadWrite::PciReadByte(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset) {
  const auto value =
      static_cast<uint8_t>(PciRead(CTL_READ_PCI_BYTE, bus, device, function, offset, 1));
  RwDebugLine("RW: PciReadByte " + PciLocation(bus, device, function) + " " + HexWord(offset) +
              "=" + HexByte(value));
  return value;
}

uint16_t TReadWrite::PciReadWord(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset) {
  const auto value =
      static_cast<uint16_t>(PciRead(CTL_READ_PCI_WORD, bus, device, function, offset, 2));
  RwDebugLine("RW: PciReadWord " + PciLocation(bus, device, function) + " " + HexWord(offset) +
              "=" + HexWord(value));
  return value;
}

uint32_t TReadWrite::PciReadDword(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset) {
  const uint32_t value = PciRead(CTL_READ_PCI_DWORD, bus, device, function, offset, 4);
  RwDebugLine("RW: PciReadDword " + PciLocation(bus, device, function) + " " + HexWord(offset) +
              "=" + HexDword(value));
  return value;
}

bool TReadWrite::PciWriteByte(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset,
                              uint8_t value) {
  RwDebugLine("RW: PciWriteByte " + PciLocation(bus, device, function) + HexWord(offset) + "=" +
              HexByte(value));
  return PciWrite(CTL_WRITE_PCI_BYTE, bus, device, function, offset, 1, value);
}

bool TReadWrite::PciWriteWord(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset,
                              uint16_t value) {
  RwDebugLine("RW: PciWriteWord " + PciLocation(bus, device, function) + HexWord(offset) + "=" +
              HexWord(value));
  return PciWrite(CTL_WRITE_PCI_WORD, bus, device, function, offset, 2, value);
}

bool TReadWrite::PciWriteDword(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset,
                               uint32_t value) {
  RwDebugLine("RW: PciWriteDword " + PciLocation(bus, device, function) + HexWord(offset) + "=" +
              HexDword(value));
  return PciWrite(CTL_WRITE_PCI_DWORD, bus, device, function, offset, 4, value);
}

uint8_t TReadWrite::PciReadByte(uint16_t bdf, uint16_t offset) {
  return PciReadByte(BdfBus(bdf), BdfDevice(bdf), BdfFunction(bdf), offset);
}
uint16_t TReadWrite::PciReadWord(uint16_t bdf, uint16_t offset) {
  return PciReadWord(BdfBus(bdf), BdfDevice(bdf), BdfFunction(bdf), offset);
}
uint32_t TReadWrite::PciReadDword(uint16_t bdf, uint16_t offset) {
  return PciReadDword(BdfBus(bdf), BdfDevice(bdf), BdfFunction(bdf), offset);
}
bool TReadWrite::PciWriteByte(uint16_t bdf, uint16_t offset, uint8_t value) {
  return PciWriteByte(BdfBus(bdf), BdfDevice(bdf), BdfFunction(bdf), offset, value);
}
bool TReadWrite::PciWriteWord(uint16_t bdf, uint16_t offset, uint16_t value) {
  return PciWriteWord(BdfBus(bdf), BdfDevice(bdf), BdfFunction(bdf), offset, value);
}
bool TReadWrite::PciWriteDword(uint16_t bdf, uint16_t offset, uint32_t value) {
  return PciWriteDword(BdfBus(bdf), BdfDevice(bdf), BdfFunction(bdf), offset, value);
}

uint16_t TReadWrite::FindPciDeviceById(uint32_t id, uint32_t instance) {
  return FindPciDevice(id, instance, /*byClass=*/false);
}

uint16_t TReadWrite::FindPciDeviceByClass(uint32_t classCode, uint32_t instance) {
  return FindPciDevice(classCode, instance, /*byClass=*/true);
}

uint16_t TReadWrite::FindPciDevice(uint32_t value, uint32_t instance, bool byClass) {
  // Wildcards: 0xFFFF for either half of an id; 0xFF for one or two of the three class bytes.
  static constexpr uint32_t kIdMasks[] = {0, 0xFFFF, 0xFFFF0000};
  static constexpr uint32_t kClassMasks[] = {0, 0xFF, 0xFF00, 0xFF0000, 0xFFFF, 0xFF00FF, 0xFFFF00};
  for (uint32_t bus = 0; bus < 256; ++bus) {
    for (uint8_t device = 0; device < 32; ++device) {
      const auto b = static_cast<uint8_t>(bus);
      if (PciReadDword(b, device, 0, 0) == 0xFFFFFFFF) continue;
      const uint8_t functions = (PciReadByte(b, device, 0, 0x0E) & 0x80) ? 8 : 1;
      for (uint8_t function = 0; function < functions; ++function) {
        // An absent function of a multi-function device reads all ones; it never matches, so
        // three wildcard bytes cannot match through it either.
        bool match = false;
        if (byClass) {
          const uint32_t revisionClass = PciReadDword(b, device, function, 0x08);
          if (revisionClass == 0xFFFFFFFF) continue;
          const uint32_t classCode = revisionClass >> 8;
          for (uint32_t mask : kClassMasks) match = match || value == (classCode | mask);
        } else {
          const uint32_t id = PciReadDword(b, device, function, 0x00);
          if (id == 0xFFFFFFFF) continue;
          for (uint32_t mask : kIdMasks) match = match || value == (id | mask);
        }
        if (!match) continue;
        if (instance == 0) return static_cast<uint16_t>(bus << 8 | device << 3 | function);
        --instance;
      }
    }
  }
  return kNoPciDevice;
}

// ---------------------------------------------------------------------------------------------
// PCI Express configuration

void TReadWrite::PcieLocate(uint32_t base, uint8_t bus, uint8_t device, uint8_t function,
                            uint16_t offset) {
  PcieAddress_ = base + (static_cast<uint32_t>(bus) << 20) +
                 (static_cast<uint32_t>(device & 0x1F) << 15) +
                 (static_cast<uint32_t>(function & 7) << 12) + (offset & 0xFFCu);
  PcieLane_ = static_cast<uint8_t>(offset & 3);
}

uint8_t TReadWrite::PcieReadByte(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset) {
  if (PcieBase_ == kNoPcieBase)
    return offset < kPciExtendedStart ? PciReadByte(bus, device, function, offset) : 0xFF;
  PcieLocate(PcieBase_, bus, device, function, offset);
  return static_cast<uint8_t>(MemoryReadDword(PcieAddress_) >> (8 * PcieLane_));
}

uint16_t TReadWrite::PcieReadWord(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset) {
  if (PcieBase_ == kNoPcieBase)
    return offset < kPciExtendedStart ? PciReadWord(bus, device, function, offset) : 0xFFFF;
  PcieLocate(PcieBase_, bus, device, function, offset);
  const uint32_t dword = MemoryReadDword(PcieAddress_);
  return static_cast<uint16_t>(PcieLane_ == 0 ? dword : dword >> 16);
}

uint32_t TReadWrite::PcieReadDword(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset) {
  if (PcieBase_ == kNoPcieBase)
    return offset < kPciExtendedStart ? PciReadDword(bus, device, function, offset) : 0xFFFFFFFF;
  PcieLocate(PcieBase_, bus, device, function, offset);
  return MemoryReadDword(PcieAddress_);
}

bool TReadWrite::PcieWriteByte(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset,
                               uint8_t value) {
  if (offset < kPciExtendedStart) return PciWriteByte(bus, device, function, offset, value);
  if (PcieBase_ == kNoPcieBase) return false;
  PcieLocate(PcieBase_, bus, device, function, offset);
  const uint32_t shift = 8u * PcieLane_;
  // Merging into a dword that could not be read would write all ones to the other lanes.
  uint32_t dword = 0;
  if (!ReadDword(PcieAddress_, dword)) return false;
  return MemoryWriteDword(PcieAddress_, (dword & ~(0xFFu << shift)) | uint32_t{value} << shift);
}

bool TReadWrite::PcieWriteWord(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset,
                               uint16_t value) {
  if (offset < kPciExtendedStart) return PciWriteWord(bus, device, function, offset, value);
  if (PcieBase_ == kNoPcieBase) return false;
  PcieLocate(PcieBase_, bus, device, function, offset);
  uint32_t dword = 0;
  if (!ReadDword(PcieAddress_, dword)) return false;
  const uint32_t merged =
      PcieLane_ == 0 ? (dword & 0xFFFF0000u) | value : (dword & 0xFFFFu) | uint32_t{value} << 16;
  return MemoryWriteDword(PcieAddress_, merged);
}

bool TReadWrite::PcieWriteDword(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset,
                                uint32_t value) {
  if (offset < kPciExtendedStart) return PciWriteDword(bus, device, function, offset, value);
  if (PcieBase_ == kNoPcieBase) return false;
  PcieLocate(PcieBase_, bus, device, function, offset);
  return MemoryWriteDword(PcieAddress_, value);
}

uint8_t TReadWrite::PcieReadByte(uint16_t bdf, uint16_t offset) {
  return PcieReadByte(BdfBus(bdf), BdfDevice(bdf), BdfFunction(bdf), offset);
}
uint16_t TReadWrite::PcieReadWord(uint16_t bdf, uint16_t offset) {
  return PcieReadWord(BdfBus(bdf), BdfDevice(bdf), BdfFunction(bdf), offset);
}
uint32_t TReadWrite::PcieReadDword(uint16_t bdf, uint16_t offset) {
  return PcieReadDword(BdfBus(bdf), BdfDevice(bdf), BdfFunction(bdf), offset);
}
bool TReadWrite::PcieWriteByte(uint16_t bdf, uint16_t offset, uint8_t value) {
  return PcieWriteByte(BdfBus(bdf), BdfDevice(bdf), BdfFunction(bdf), offset, value);
}
bool TReadWrite::PcieWriteWord(uint16_t bdf, uint16_t offset, uint16_t value) {
  return PcieWriteWord(BdfBus(bdf), BdfDevice(bdf), BdfFunction(bdf), offset, value);
}
bool TReadWrite::PcieWriteDword(uint16_t bdf, uint16_t offset, uint32_t value) {
  return PcieWriteDword(BdfBus(bdf), BdfDevice(bdf), BdfFunction(bdf), offset, value);
}

uint32_t TReadWrite::DetectPcieBase() {
  RwDebugLine("RW: Detect PCIE Memory Base");
  PcieBase_ = kNoPcieBase;

  // The first device that answers on the legacy mechanism is the reference.
  uint8_t bus = 0;
  uint8_t device = 0;
  uint32_t id = 0xFFFFFFFF;
  for (uint32_t b = 0; b < 256 && id == 0xFFFFFFFF; ++b) {
    for (uint8_t d = 0; d < 32; ++d) {
      id = PciReadDword(static_cast<uint8_t>(b), d, 0, 0x00);
      if (id != 0xFFFFFFFF) {
        bus = static_cast<uint8_t>(b);
        device = d;
        break;
      }
    }
  }
  if (id == 0xFFFFFFFF) return PcieBase_;
  const uint32_t revisionClass = PciReadDword(bus, device, 0, 0x08);

  // Chipsets place the window on a 32 MiB boundary between 0xD2000000 and 0xFE000000.
  for (uint32_t candidate = 0xFE000000u; candidate > 0xD0000000u; candidate -= 0x02000000u) {
    PcieLocate(candidate, bus, device, 0, 0x00);
    if (MemoryReadDword(PcieAddress_) != id) continue;
    PcieLocate(candidate, bus, device, 0, 0x08);
    if (MemoryReadDword(PcieAddress_) != revisionClass) continue;
    PcieBase_ = candidate;
    RwDebugLine("RW: PCIE Memory Base: " + HexDword(candidate));
    break;
  }
  return PcieBase_;
}

// ---------------------------------------------------------------------------------------------
// Physical memory

TMapping TReadWrite::MapMemory(uint32_t address, uint32_t length) {
  TMapping mapping;
  IDriverLink* link = Link();
  if (DirectRoute()) {
    // The 9x virtual device takes the address and answers with the linear address in place.
    uint32_t record = address;
    if (Control(CTL_MAP_MEMORY, &record, sizeof record) && link) {
      mapping.Mapped = record;
      mapping.Pointer = link->ResolveMapping(record);
    }
    return mapping;
  }

  MapRequest request{address, 0, length, 0};
  if (Control(CTL_MAP_MEMORY, &request, sizeof request)) {
    mapping.Mapped = request.Mapped;
    mapping.Pointer = link->ResolveMapping(request.Mapped);
    if (!mapping.Pointer) {
      // Mapped but not reachable from here: give the mapping back without a trace of its own.
      uint32_t mapped = request.Mapped;
      link->Control(CTL_UNMAP_MEMORY, &mapped, sizeof mapped, nullptr, 0, &Returned_);
      mapping.Mapped = 0;
    }
  }
  if (!mapping) RwDebugLine("RW: Map Memory Error: " + HexDword(address));
  return mapping;
}

bool TReadWrite::UnmapMemory(uint32_t mapped) {
  IDriverLink* link = Link();
  if (!link || !link->Control(CTL_UNMAP_MEMORY, &mapped, sizeof mapped, nullptr, 0, &Returned_)) {
    RwDebugLine("RW: Unmap Memory Error");
    return false;
  }
  return true;
}

bool TReadWrite::ReadMemory(uint32_t address, void* value, uint32_t width) {
  const TMapping mapping = MapMemory(address, width);
  if (!mapping) return false;
  CopyFromMapped(value, mapping.Pointer, width);
  UnmapMemory(mapping);
  return true;
}

bool TReadWrite::WriteMemory(uint32_t address, const void* value, uint32_t width) {
  const TMapping mapping = MapMemory(address, width);
  if (!mapping) return false;
  CopyToMapped(mapping.Pointer, value, width);
  UnmapMemory(mapping);
  return true;
}

uint8_t TReadWrite::MemoryReadByte(uint32_t address) {
  uint8_t value = 0xFF;
  ReadMemory(address, &value, sizeof value);
  RwDebugLine("RW: MemoryReadByte " + HexDword(address) + "=" + HexByte(value));
  return value;
}

uint16_t TReadWrite::MemoryReadWord(uint32_t address) {
  uint16_t value = 0xFFFF;
  ReadMemory(address, &value, sizeof value);
  RwDebugLine("RW: MemoryReadWord " + HexDword(address) + "=" + HexWord(value));
  return value;
}

uint32_t TReadWrite::MemoryReadDword(uint32_t address) {
  uint32_t value = 0xFFFFFFFF;
  ReadDword(address, value);
  return value;
}

bool TReadWrite::ReadDword(uint32_t address, uint32_t& value) {
  value = 0xFFFFFFFF;
  const bool ok = ReadMemory(address, &value, sizeof value);
  RwDebugLine("RW: MemoryReadDword " + HexDword(address) + "=" + HexDword(value));
  return ok;
}

bool TReadWrite::MemoryWriteByte(uint32_t address, uint8_t value) {
  RwDebugLine("RW: MemoryWriteByte " + HexDword(address) + "=" + HexByte(value));
  return WriteMemory(address, &value, sizeof value);
}

bool TReadWrite::MemoryWriteWord(uint32_t address, uint16_t value) {
  RwDebugLine("RW: MemoryWriteWord " + HexDword(address) + "=" + HexWord(value));
  return WriteMemory(address, &value, sizeof value);
}

bool TReadWrite::MemoryWriteDword(uint32_t address, uint32_t value) {
  RwDebugLine("RW: MemoryWriteDword " + HexDword(address) + "=" + HexDword(value));
  return WriteMemory(address, &value, sizeof value);
}

bool TReadWrite::ReadBlock(uint32_t address, uint8_t* buffer, uint32_t length, uint32_t unit) {
  uint32_t window = address & ~(kWindow - 1);
  uint32_t skip = address & (kWindow - 1);
  while (length > 0) {
    const TMapping mapping = MapMemory(window, kWindow);
    if (!mapping) return false;
    const uint32_t count = std::min(length, kWindow - skip);
    uint32_t done = 0;
    for (; done + unit <= count; done += unit)
      CopyFromMapped(buffer + done, mapping.Pointer + skip + done, unit);
    if (done < count) CopyFromMapped(buffer + done, mapping.Pointer + skip + done, count - done);
    UnmapMemory(mapping);
    buffer += count;
    length -= count;
    window += kWindow;
    skip = 0;
  }
  return true;
}

bool TReadWrite::MemoryReadBlock(uint32_t address, uint8_t* buffer, uint32_t length) {
  return ReadBlock(address, buffer, length, 1);
}

bool TReadWrite::MemoryReadBlock(uint32_t address, uint8_t (&buffer)[256]) {
  return ReadBlock(address, buffer, sizeof buffer, 1);
}

uint32_t TReadWrite::MemorySearch(uint32_t start, uint32_t length, const uint8_t* pattern,
                                  uint32_t patternLength, uint32_t instance, uint32_t step) {
  // A pattern as long as a window would never consume any of the length.
  if (step == 0) step = 1;
  if (length == 0 || patternLength == 0 || patternLength >= kWindow) return kSearchNotFound;
  uint8_t buffer[kWindow];
  uint32_t position = start;
  uint32_t remaining = length;
  do {
    // Each window is read from the current position and only 256 - n bytes count as consumed,
    // so a pattern that straddles two windows is still seen whole.
    uint32_t chunk;
    if (remaining >= kWindow) {
      chunk = kWindow;
      remaining -= kWindow - patternLength;
    } else {
      chunk = remaining;
      remaining = 0;
    }
    if (!MemoryReadBlock(position, buffer, chunk)) return kSearchNotFound;
    for (uint32_t at = 0; at + patternLength <= chunk; at += step) {
      if (std::memcmp(buffer + at, pattern, patternLength) == 0) {
        if (instance == 0) return position;
        --instance;
      }
      position += step;
      if (at + step < at) break;  // a huge step leaves the window at once
    }
  } while (remaining != 0);
  return kSearchNotFound;
}

uint32_t TReadWrite::MemorySearch(uint32_t start, uint32_t length, const char* pattern,
                                  uint32_t instance, uint32_t step) {
  return MemorySearch(start, length, reinterpret_cast<const uint8_t*>(pattern),
                      static_cast<uint32_t>(std::strlen(pattern)), instance, step);
}

uint32_t TReadWrite::MemorySearch(uint32_t start, uint32_t length, const std::string& pattern,
                                  uint32_t instance, uint32_t step) {
  return MemorySearch(start, length, reinterpret_cast<const uint8_t*>(pattern.data()),
                      static_cast<uint32_t>(pattern.size()), instance, step);
}

// ---------------------------------------------------------------------------------------------
// Processor

bool TReadWrite::ReadCpuMsr(CpuRegisters& regs) {
  const uint32_t msr = regs.ECX;
  if (!Control(CTL_READ_MSR, &regs, sizeof regs)) {
    RwDebugLine("RW: ReadCpuMsr error!");
    return false;
  }
  regs.ECX = msr;
  RwDebugLine("RW: ReadCpuMsr " + MsrText(regs));
  return true;
}

bool TReadWrite::WriteCpuMsr(const CpuRegisters& regs) {
  RwDebugLine("RW: WriteCpuMsr " + MsrText(regs));
  CpuRegisters request = regs;
  return Control(CTL_WRITE_MSR, &request, sizeof request);
}

uint64_t TReadWrite::ReadCR(uint32_t number) {
  CrRequest request{number, 0, 0};
  if (!Control(CTL_READ_CR, &request, sizeof request)) {
    RwDebugLine("RW: ReadCR error!");
    return ~uint64_t{0};
  }
  RwDebugLine("RW: ReadCR " + Decimal(number) + "=" + HexQword(request.Value));
  return request.Value;
}

bool TReadWrite::WriteCR(uint32_t number, uint64_t value) {
  RwDebugLine("RW: WriteCR " + Decimal(number) + "=" + HexQword(value));
  CrRequest request{number, 0, value};
  return Control(CTL_WRITE_CR, &request, sizeof request);
}

uint64_t TReadWrite::ReadTSC() {
  uint64_t value = 0;
  if (!Control(CTL_READ_TSC, &value, sizeof value)) {
    RwDebugLine("RW: ReadTSC error!");
    return 0;
  }
  RwDebugLine("RW: ReadTSC " + HexQword(value));
  return value;
}

uint64_t TReadWrite::ReadPMC(uint32_t number) {
  CrRequest request{number, 0, 0};
  if (!Control(CTL_READ_PMC, &request, sizeof request)) {
    RwDebugLine("RW: ReadPMC error!");
    return 0;
  }
  RwDebugLine("RW: ReadPMC " + Decimal(number) + "=" + HexQword(request.Value));
  return request.Value;
}

void TReadWrite::ExecuteCpuId(CpuRegisters& regs) {
  const uint32_t leaf = regs.EAX;
  if (IDriverLink* link = Link()) link->ExecuteCpuId(regs);
  RwDebugLine("RW: ExecuteCpuId " + HexDword(leaf) + "=" + HexDword(regs.EAX) + "," +
              HexDword(regs.EBX) + "," + HexDword(regs.ECX) + "," + HexDword(regs.EDX));
}

bool TReadWrite::SetCpuAffinity(uint32_t cpu) {
  if (NumberOfProcessors_ <= 1) return false;
  // A processor the system does not have must not quietly leave the accesses that follow on the
  // one selected before.
  if (cpu == 0 || cpu > NumberOfProcessors_ || cpu > 32) return false;
  const uint32_t mask = 1u << (cpu - 1);
  if (!System_.SetProcessAffinityMask(mask)) return false;
  IDriverLink* link = Link();
  return link == nullptr || link->SetAffinityMask(mask);
}

bool TReadWrite::EnableExtendedPciConfig() {
  CpuRegisters regs{0, 0, kAmdNbConfigMsr, 0};
  if (!ReadCpuMsr(regs)) return false;
  regs.EDX |= kAmdEnableCf8ExtendedConfig;
  return WriteCpuMsr(regs);
}

bool TReadWrite::MeasureClock(ClockRequest& request) {
  return Control(CTL_MEASURE_CLOCK, &request, sizeof request);
}

bool TReadWrite::MeasureClockAmd(ClockRequest& request) {
  return Control(CTL_MEASURE_CLOCK_AMD, &request, sizeof request);
}

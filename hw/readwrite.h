// TReadWrite: the one gateway to the hardware. Ports, PCI configuration space (legacy and PCI
// Express), physical memory, MSRs, control registers, counters and CPUID all go through it, as
// control calls on the driver link, or directly on the 9x route. Reads return the value (all ones
// of the width when the access cannot be made), writes return a boolean. Not re-entrant: the port
// and PCI operations share one request record.
#pragma once

#include <cstdint>
#include <string>

#include "hw/ioctl.h"
#include "hw/loaddriver.h"
#include "os/driverservice.h"
#include "os/sysinfo.h"

constexpr uint32_t kNoPcieBase = 0xFFFFFFFFu;
constexpr uint16_t kNoPciDevice = 0xFFFF;
constexpr uint32_t kSearchNotFound = 0xFFFFFFFFu;

// What the register-access service takes from the configuration and the OS detector.
struct TReadWriteSettings {
  int OsKind = 4;  // 0 = 9x family (direct port and PCI access), 1..6 = NT family variants
  uint32_t NumberOfProcessors = 1;
  bool DetectPCIEBase = true;
  uint32_t PCIEBaseAddress = kNoPcieBase;  // used when detection is off; 0 also means none
};

// A mapping of physical memory: the address in this process and the 32-bit value the map request
// returned, which is what the unmap request takes back. The two differ for in-process links, whose
// value is a handle, and a 64-bit build could not carry a pointer in it anyway.
struct TMapping {
  uint8_t* Pointer = nullptr;
  uint32_t Mapped = 0;
  explicit operator bool() const { return Pointer != nullptr; }
};

class TReadWrite : public TLoadDriver {
 public:
  // Installs and connects the driver; then detects the PCI Express base (writing it also to
  // *pcieBaseOut, the configuration's in-memory copy, when given) or takes the configured one.
  TReadWrite(IOsDriverService& service, IOsSystem& system, const TReadWriteSettings& settings,
             uint32_t* pcieBaseOut = nullptr);
  ~TReadWrite() override = default;

  uint32_t PcieBase() const { return PcieBase_; }

  // --- I/O ports ---
  uint8_t IoBaseReadByte(uint16_t port);
  uint16_t IoBaseReadWord(uint16_t port);
  uint32_t IoBaseReadDword(uint16_t port);
  bool IoBaseWriteByte(uint16_t port, uint8_t value);
  bool IoBaseWriteWord(uint16_t port, uint16_t value);
  bool IoBaseWriteDword(uint16_t port, uint32_t value);

  // Index/data register pairs. Multi-byte reads fetch the highest index first.
  uint8_t IoIndexReadByte(uint16_t indexPort, uint16_t dataPort, uint8_t index);
  uint16_t IoIndexReadWord(uint16_t indexPort, uint16_t dataPort, uint8_t index);
  uint32_t IoIndexReadDword(uint16_t indexPort, uint16_t dataPort, uint8_t index);
  bool IoIndexWriteByte(uint16_t indexPort, uint16_t dataPort, uint8_t index, uint8_t value);
  bool IoIndexWriteWord(uint16_t indexPort, uint16_t dataPort, uint8_t index, uint16_t value);

  // --- legacy PCI configuration; bdf = bus << 8 | device << 3 | function ---
  uint8_t PciReadByte(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset);
  uint16_t PciReadWord(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset);
  uint32_t PciReadDword(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset);
  bool PciWriteByte(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset, uint8_t value);
  bool PciWriteWord(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset, uint16_t value);
  bool PciWriteDword(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset,
                     uint32_t value);
  uint8_t PciReadByte(uint16_t bdf, uint16_t offset);
  uint16_t PciReadWord(uint16_t bdf, uint16_t offset);
  uint32_t PciReadDword(uint16_t bdf, uint16_t offset);
  bool PciWriteByte(uint16_t bdf, uint16_t offset, uint8_t value);
  bool PciWriteWord(uint16_t bdf, uint16_t offset, uint16_t value);
  bool PciWriteDword(uint16_t bdf, uint16_t offset, uint32_t value);

  // The instance-th function (0 = first) whose id = device id << 16 | vendor id matches; either
  // half given as 0xFFFF matches any. Returns its bdf or kNoPciDevice.
  uint16_t FindPciDeviceById(uint32_t id, uint32_t instance);
  // Likewise by the 24-bit class code; one or two of its bytes given as 0xFF match any.
  uint16_t FindPciDeviceByClass(uint32_t classCode, uint32_t instance);

  // --- PCI Express configuration (offsets up to 0xFFF) ---
  uint8_t PcieReadByte(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset);
  uint16_t PcieReadWord(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset);
  uint32_t PcieReadDword(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset);
  bool PcieWriteByte(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset, uint8_t value);
  bool PcieWriteWord(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset,
                     uint16_t value);
  bool PcieWriteDword(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset,
                      uint32_t value);
  uint8_t PcieReadByte(uint16_t bdf, uint16_t offset);
  uint16_t PcieReadWord(uint16_t bdf, uint16_t offset);
  uint32_t PcieReadDword(uint16_t bdf, uint16_t offset);
  bool PcieWriteByte(uint16_t bdf, uint16_t offset, uint8_t value);
  bool PcieWriteWord(uint16_t bdf, uint16_t offset, uint16_t value);
  bool PcieWriteDword(uint16_t bdf, uint16_t offset, uint32_t value);
  // Finds the memory-mapped configuration base by comparing the first present device's id and
  // class through each candidate window with the legacy values; kNoPcieBase when none matches.
  uint32_t DetectPcieBase();

  // --- physical memory ---
  TMapping MapMemory(uint32_t address, uint32_t length);
  bool UnmapMemory(uint32_t mapped);
  bool UnmapMemory(const TMapping& mapping) { return UnmapMemory(mapping.Mapped); }
  // A read whose mapping fails touches nothing and returns all ones of its width.
  uint8_t MemoryReadByte(uint32_t address);
  uint16_t MemoryReadWord(uint32_t address);
  uint32_t MemoryReadDword(uint32_t address);
  bool MemoryWriteByte(uint32_t address, uint8_t value);
  bool MemoryWriteWord(uint32_t address, uint16_t value);
  bool MemoryWriteDword(uint32_t address, uint32_t value);
  // Copies length bytes, one 256-byte mapping window at a time; false when a window cannot be
  // mapped. The second form reads 256 bytes.
  bool MemoryReadBlock(uint32_t address, uint8_t* buffer, uint32_t length);
  bool MemoryReadBlock(uint32_t address, uint8_t (&buffer)[256]);
  // Address of the instance-th (0 = first) occurrence of pattern at start, start + step, ...
  // within about length bytes; kSearchNotFound otherwise. Patterns of 1..255 bytes; step 0 counts
  // as 1.
  uint32_t MemorySearch(uint32_t start, uint32_t length, const uint8_t* pattern,
                        uint32_t patternLength, uint32_t instance, uint32_t step);
  uint32_t MemorySearch(uint32_t start, uint32_t length, const char* pattern, uint32_t instance,
                        uint32_t step);
  uint32_t MemorySearch(uint32_t start, uint32_t length, const std::string& pattern,
                        uint32_t instance, uint32_t step);

  // --- processor ---
  // ECX = register in; EDX:EAX out (read) or in (write).
  bool ReadCpuMsr(CpuRegisters& regs);
  bool WriteCpuMsr(const CpuRegisters& regs);
  uint64_t ReadCR(uint32_t number);  // all ones on failure
  bool WriteCR(uint32_t number, uint64_t value);
  uint64_t ReadTSC();                 // 0 on failure
  uint64_t ReadPMC(uint32_t number);  // 0 on failure
  // Leaf in EAX; all four registers out. Without a driver the record is left as it is.
  void ExecuteCpuId(CpuRegisters& regs);
  // Pins the process to processor cpu (counting from 1); false, changing nothing, on a system
  // with one processor or for a processor it does not have; false also when the system or the
  // link refuses the pinning.
  bool SetCpuAffinity(uint32_t cpu);
  // Opens the extended PCI configuration space through 0xCF8 on AMD processors (MSR 0xC001001F
  // bit 46); false when the MSR cannot be read or written.
  bool EnableExtendedPciConfig();
  // The clock measurements of the processor code: sample an MSR counter (or, in the AMD form, an
  // unhalted-clock performance counter) and the PM timer across a busy wait.
  bool MeasureClock(ClockRequest& request);
  bool MeasureClockAmd(ClockRequest& request);

 private:
  bool Control(uint32_t code, void* record, uint32_t size);
  bool DirectRoute() const { return OsKind() == 0; }
  // The process's own port and configuration access on the 9x route; null when unavailable.
  IZemMachine* Direct() const;

  static uint32_t NoValue(uint8_t width);
  // Reads give all ones of the width and writes false when the access cannot be made.
  uint32_t PortRead(uint32_t code, uint16_t port, uint8_t width);
  bool PortWrite(uint32_t code, uint16_t port, uint8_t width, uint32_t value);
  uint32_t PciRead(uint32_t code, uint8_t bus, uint8_t device, uint8_t function, uint16_t offset,
                   uint8_t width);
  bool PciWrite(uint32_t code, uint8_t bus, uint8_t device, uint8_t function, uint16_t offset,
                uint8_t width, uint32_t value);

  // Maps width bytes at address, reads or writes them, unmaps; false when the mapping fails.
  bool ReadMemory(uint32_t address, void* value, uint32_t width);
  bool WriteMemory(uint32_t address, const void* value, uint32_t width);
  bool ReadBlock(uint32_t address, uint8_t* buffer, uint32_t length, uint32_t unit);
  // MemoryReadDword that also tells whether the read was made.
  bool ReadDword(uint32_t address, uint32_t& value);

  // Sets PcieAddress_ and PcieLane_ for an access through base.
  void PcieLocate(uint32_t base, uint8_t bus, uint8_t device, uint8_t function, uint16_t offset);
  uint16_t FindPciDevice(uint32_t value, uint32_t instance, bool byClass);

  IOsSystem& System_;
  uint32_t NumberOfProcessors_;
  uint32_t PcieBase_ = kNoPcieBase;
  // Shared by every port and PCI call (a read that fails returns all ones, not what stands here).
  IoRequest Io_{};
  PciRequest Pci_{};
  uint32_t Returned_ = 0;
  uint32_t PcieAddress_ = 0;
  uint8_t PcieLane_ = 0;
};

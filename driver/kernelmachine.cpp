#include "driver/kernelmachine.h"

#include "driver/guard.h"
#include "driver/kernelservices.h"
#include "hw/driver/dispatch.h"
#include "hw/driver/machinerules.h"
#include "hw/ioctl.h"

namespace {

#if defined(__x86_64__)
constexpr bool Wide = true;
#else
constexpr bool Wide = false;
#endif

// AMD processors of family 0Fh and later let RDMSR/WRMSR reach their protected registers only
// with this key in EDI (BIOS and kernel developer's guides); ESI carries no key and is cleared.
constexpr uint32_t AmdMsrKeyEdi = 0x9C5A203Au;
constexpr uint32_t AmdMsrKeyEsi = 0;

// Views of the physical-memory section start on the allocation granularity.
constexpr uint64_t ViewGranularity = 0x10000;

struct TPortAccess {
  uint16_t Port;
  uint8_t Width;
  uint32_t Value;
};

void PortInRoutine(void* context) {
  TPortAccess& access = *static_cast<TPortAccess*>(context);
  if (access.Width == 1) {
    uint8_t value;
    __asm__ __volatile__("inb %w1, %b0" : "=a"(value) : "Nd"(access.Port));
    access.Value = value;
  } else if (access.Width == 2) {
    uint16_t value;
    __asm__ __volatile__("inw %w1, %w0" : "=a"(value) : "Nd"(access.Port));
    access.Value = value;
  } else {
    uint32_t value;
    __asm__ __volatile__("inl %w1, %0" : "=a"(value) : "Nd"(access.Port));
    access.Value = value;
  }
}

void PortOutRoutine(void* context) {
  const TPortAccess& access = *static_cast<const TPortAccess*>(context);
  if (access.Width == 1) {
    __asm__ __volatile__("outb %b0, %w1"
                         :
                         : "a"(static_cast<uint8_t>(access.Value)), "Nd"(access.Port));
  } else if (access.Width == 2) {
    __asm__ __volatile__("outw %w0, %w1"
                         :
                         : "a"(static_cast<uint16_t>(access.Value)), "Nd"(access.Port));
  } else {
    __asm__ __volatile__("outl %0, %w1" : : "a"(access.Value), "Nd"(access.Port));
  }
}

struct TRegisterAccess {
  uint32_t Number;
  uint64_t Value;
};

void ReadMsrRoutine(void* context) {
  TRegisterAccess& access = *static_cast<TRegisterAccess*>(context);
  uint32_t low;
  uint32_t high;
  __asm__ __volatile__("rdmsr"
                       : "=a"(low), "=d"(high)
                       : "c"(access.Number), "S"(AmdMsrKeyEsi), "D"(AmdMsrKeyEdi));
  access.Value = (static_cast<uint64_t>(high) << 32) | low;
}

void WriteMsrRoutine(void* context) {
  const TRegisterAccess& access = *static_cast<const TRegisterAccess*>(context);
  __asm__ __volatile__("wrmsr"
                       :
                       : "c"(access.Number), "a"(static_cast<uint32_t>(access.Value)),
                         "d"(static_cast<uint32_t>(access.Value >> 32)), "S"(AmdMsrKeyEsi),
                         "D"(AmdMsrKeyEdi)
                       : "memory");
}

void ReadPmcRoutine(void* context) {
  TRegisterAccess& access = *static_cast<TRegisterAccess*>(context);
  uint32_t low;
  uint32_t high;
  __asm__ __volatile__("rdpmc" : "=a"(low), "=d"(high) : "c"(access.Number));
  access.Value = (static_cast<uint64_t>(high) << 32) | low;
}

// The register number is checked before the routine runs; it only selects the instruction.
void ReadCrRoutine(void* context) {
  TRegisterAccess& access = *static_cast<TRegisterAccess*>(context);
  uintptr_t value = 0;
  switch (access.Number) {
    case 0:
      __asm__ __volatile__("mov %%cr0, %0" : "=r"(value));
      break;
    case 2:
      __asm__ __volatile__("mov %%cr2, %0" : "=r"(value));
      break;
    case 3:
      __asm__ __volatile__("mov %%cr3, %0" : "=r"(value));
      break;
    case 4:
      __asm__ __volatile__("mov %%cr4, %0" : "=r"(value));
      break;
    case 8:
#if defined(__x86_64__)
      __asm__ __volatile__("mov %%cr8, %0" : "=r"(value));
#else
      // 32-bit code reaches CR8 (the task priority) only through the alternate encoding
      // "lock mov eax, cr0", which processors without it refuse with #UD.
      __asm__ __volatile__(".byte 0xF0, 0x0F, 0x20, 0xC0" : "=a"(value));
#endif
      break;
  }
  access.Value = value;
}

void WriteCrRoutine(void* context) {
  const TRegisterAccess& access = *static_cast<const TRegisterAccess*>(context);
  const uintptr_t value = static_cast<uintptr_t>(access.Value);
  switch (access.Number) {
    case 0:
      __asm__ __volatile__("mov %0, %%cr0" : : "r"(value) : "memory");
      break;
    case 3:
      __asm__ __volatile__("mov %0, %%cr3" : : "r"(value) : "memory");
      break;
    case 4:
      __asm__ __volatile__("mov %0, %%cr4" : : "r"(value) : "memory");
      break;
    case 8:
#if defined(__x86_64__)
      __asm__ __volatile__("mov %0, %%cr8" : : "r"(value) : "memory");
#else
      __asm__ __volatile__(".byte 0xF0, 0x0F, 0x22, 0xC0" : : "a"(value) : "memory");
#endif
      break;
  }
}

uint32_t WidthMask(uint8_t width) {
  return width == 1 ? 0xFFu : width == 2 ? 0xFFFFu : 0xFFFFFFFFu;
}

constexpr uint32_t StatusConflictingAddresses = 0xC0000018u;

}  // namespace

uint32_t TKernelMachine::PortIn(uint16_t port, uint8_t width) {
  TPortAccess access{port, width, 0xFFFFFFFFu};
  if (!ZemGuardedCall(PortInRoutine, &access)) access.Value = 0xFFFFFFFFu;
  return access.Value & WidthMask(width);
}

void TKernelMachine::PortOut(uint16_t port, uint8_t width, uint32_t value) {
  TPortAccess access{port, width, value};
  ZemGuardedCall(PortOutRoutine, &access);
}

bool TKernelMachine::ReadMsr(uint32_t msr, uint64_t* value) {
  TRegisterAccess access{msr, 0};
  if (!ZemGuardedCall(ReadMsrRoutine, &access)) return false;
  *value = access.Value;
  return true;
}

bool TKernelMachine::WriteMsr(uint32_t msr, uint64_t value) {
  TRegisterAccess access{msr, value};
  return ZemGuardedCall(WriteMsrRoutine, &access) != 0;
}

uint64_t TKernelMachine::ReadTsc() {
  uint32_t low;
  uint32_t high;
  __asm__ __volatile__("rdtsc" : "=a"(low), "=d"(high));
  return (static_cast<uint64_t>(high) << 32) | low;
}

bool TKernelMachine::ReadPmc(uint32_t counter, uint64_t* value) {
  TRegisterAccess access{counter, 0};
  if (!ZemGuardedCall(ReadPmcRoutine, &access)) return false;
  *value = access.Value;
  return true;
}

bool TKernelMachine::ReadCr(uint32_t number, uint64_t* value) {
  if (!ZemReadableCr(number)) return false;
  TRegisterAccess access{number, 0};
  if (!ZemGuardedCall(ReadCrRoutine, &access)) return false;
  *value = access.Value;
  return true;
}

bool TKernelMachine::WriteCr(uint32_t number, uint64_t value) {
  if (!ZemWritableCr(number)) return false;
  // The request carries 32 bits. A 64-bit page-table base cut to 32 bits would switch the
  // processor to garbage page tables, so the 64-bit driver never writes CR3.
  if (Wide && number == 3) return false;
  TRegisterAccess access{number, value};
  return ZemGuardedCall(WriteCrRoutine, &access) != 0;
}

uint32_t TKernelMachine::MapPhysical(uint64_t address, uint32_t length, uint32_t* mapped) {
  if (!ZemMapRangeAllowed(address, length)) return ZEM_STATUS_INVALID_PARAMETER;
  void* pointer = nullptr;
  const int32_t status = ZemMapPhysicalView(address, length, Wide, &pointer);
  if (status < 0) return static_cast<uint32_t>(status);
  const uint64_t value = reinterpret_cast<uintptr_t>(pointer);
  if (value > 0xFFFFFFFFu) {
    // Never hand out a cut pointer: give the view back.
    ZemUnmapPhysicalView(pointer);
    return StatusConflictingAddresses;
  }
  *mapped = static_cast<uint32_t>(value);
  return ZEM_STATUS_SUCCESS;
}

uint32_t TKernelMachine::UnmapPhysical(uint32_t mapped) {
  return static_cast<uint32_t>(ZemUnmapPhysicalView(reinterpret_cast<void*>(uintptr_t{mapped})));
}

uint32_t TKernelMachine::MapPhysicalWide(uint64_t address, uint32_t length, uint64_t* mapped) {
  if (!ZemMapRangeAllowed(address, length)) return ZEM_STATUS_INVALID_PARAMETER;
  void* pointer = nullptr;
  const int32_t status = ZemMapPhysicalView(address, length, 0, &pointer);
  if (status < 0) return static_cast<uint32_t>(status);
  *mapped = reinterpret_cast<uintptr_t>(pointer);
  return ZEM_STATUS_SUCCESS;
}

uint32_t TKernelMachine::UnmapPhysicalWide(uint64_t mapped) {
  if (mapped > static_cast<uintptr_t>(-1)) return ZEM_STATUS_INVALID_PARAMETER;
  return static_cast<uint32_t>(
      ZemUnmapPhysicalView(reinterpret_cast<void*>(static_cast<uintptr_t>(mapped))));
}

void TKernelMachine::BusyWaitMicroseconds(uint32_t microseconds) {
  // The dispatcher bounds the wait; stall in slices so that each call stays short.
  while (microseconds > 0) {
    const uint32_t slice = microseconds < 1000 ? microseconds : 1000;
    ZemStallMicroseconds(slice);
    microseconds -= slice;
  }
}

uint32_t TKernelMachine::RaiseToDispatchLevel() {
  return ZemRaiseToDispatchLevel();
}

void TKernelMachine::LowerFromDispatchLevel(uint32_t previous) {
  ZemLowerIrql(previous);
}

uint32_t ZemKernelDispatch(uint32_t code, void* systemBuffer, uint32_t inputLength,
                           uint32_t outputLength, uint32_t* bytesReturned) {
  TKernelMachine machine;
  return ZemDispatch(machine, code, systemBuffer, inputLength, outputLength, bytesReturned);
}

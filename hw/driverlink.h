// What TReadWrite talks to once the driver is connected: the control call of the driver, and the
// few things the program does itself (CPUID, direct port I/O on the 9x route, process affinity).
#pragma once

#include <cstdint>

#include "hw/ioctl.h"

class IZemMachine;  // hw/driver/machine.h

class IDriverLink {
 public:
  virtual ~IDriverLink() = default;

  // One synchronous control call with buffered semantics: the input is copied into a system
  // buffer of max(inSize, outSize) bytes, the driver answers in that buffer, and the bytes it
  // reports are copied to out. Returns false when the driver completes with a failure status.
  virtual bool Control(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                       uint32_t* returned) = 0;

  // Address in this process of the mapping value a CTL_MAP_MEMORY call returned, or null.
  virtual uint8_t* ResolveMapping(uint32_t mapped) = 0;

  // CPUID on the processor the program runs on (leaf in EAX; sub-leaf register not loaded).
  virtual void ExecuteCpuId(CpuRegisters& regs) = 0;

  // The machine for direct port and configuration access (the 9x route); null when the program
  // cannot reach ports itself.
  virtual IZemMachine* DirectMachine() = 0;

  // The process was pinned to the processors in mask (bit 0 = first processor); links that run
  // in this process direct MSR and CPUID accesses to the lowest one. False when the link cannot
  // follow (no such processor).
  virtual bool SetAffinityMask(uint32_t /*mask*/) { return true; }
};

// A machine that answers in this process (the Linux back-end and the simulated PC), with what an
// in-process link needs besides the dispatcher's operations.
#pragma once

#include <cstdint>

#include "hw/driver/machine.h"
#include "hw/ioctl.h"

class IInProcessMachine : public IZemMachine {
 public:
  virtual ~IInProcessMachine() = default;

  // Address in this process of a mapping that MapPhysical returned; null for an unknown handle.
  virtual uint8_t* ResolveMapping(uint32_t mapped) = 0;
  // CPUID on the selected processor (leaf in EAX).
  virtual void ExecuteCpuId(CpuRegisters& regs) = 0;
  // The processor that MSR, TSC, PMC, CR and CPUID accesses go to from now on (0-based).
  virtual void SelectCpu(uint32_t index) = 0;
  virtual uint32_t CpuCount() = 0;
};

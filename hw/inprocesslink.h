// The driver link for machines that answer inside this process (the Linux back-end and the
// simulated PC): control calls run through the driver's own dispatcher, with buffered I/O
// reproduced byte for byte, so the program sees exactly what the kernel driver would give it.
#pragma once

#include <cstdint>

#include "hw/driverlink.h"
#include "hw/inprocessmachine.h"

class TInProcessLink : public IDriverLink {
 public:
  explicit TInProcessLink(IInProcessMachine& machine) : Machine_(machine) {}

  // Copies inSize bytes of in into a zeroed system buffer of max(inSize, outSize) bytes, lets the
  // dispatcher answer there and copies the bytes it reports (at most outSize) to out. A failed
  // request copies nothing. in and out may be the same record.
  bool Control(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
               uint32_t* returned) override;
  uint8_t* ResolveMapping(uint32_t mapped) override;
  void ExecuteCpuId(CpuRegisters& regs) override;
  IZemMachine* DirectMachine() override { return &Machine_; }
  // Moves MSR, counter and CPUID accesses to the lowest processor in mask; an empty mask, or one
  // naming no processor of the machine, leaves the selection as it is and gives false.
  bool SetAffinityMask(uint32_t mask) override;

 private:
  IInProcessMachine& Machine_;
};

// The machine the dispatcher drives inside the kernel: the processor's own instructions, the
// physical-memory section and the PM timer. Every instruction that can fault runs under the guard
// (guard.h), so a register the processor lacks fails the request instead of stopping the system.
#pragma once

#include "hw/driver/machine.h"

class TKernelMachine final : public IZemMachine {
 public:
  uint32_t PortIn(uint16_t port, uint8_t width) override;
  void PortOut(uint16_t port, uint8_t width, uint32_t value) override;
  bool ReadMsr(uint32_t msr, uint64_t* value) override;
  bool WriteMsr(uint32_t msr, uint64_t value) override;
  uint64_t ReadTsc() override;
  bool ReadPmc(uint32_t counter, uint64_t* value) override;
  bool ReadCr(uint32_t number, uint64_t* value) override;
  bool WriteCr(uint32_t number, uint64_t value) override;
  uint32_t MapPhysical(uint64_t address, uint32_t length, uint32_t* mapped) override;
  uint32_t UnmapPhysical(uint32_t mapped) override;
  uint32_t MapPhysicalWide(uint64_t address, uint32_t length, uint64_t* mapped) override;
  uint32_t UnmapPhysicalWide(uint64_t mapped) override;
  void BusyWaitMicroseconds(uint32_t microseconds) override;
  uint32_t RaiseToDispatchLevel() override;
  void LowerFromDispatchLevel(uint32_t previous) override;
};

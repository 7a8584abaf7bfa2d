#include "hw/inprocesslink.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "hw/driver/dispatch.h"

bool TInProcessLink::Control(uint32_t code, const void* in, uint32_t inSize, void* out,
                             uint32_t outSize, uint32_t* returned) {
  std::vector<uint8_t> system(std::max(inSize, outSize), 0);
  if (in != nullptr && inSize > 0) std::memcpy(system.data(), in, inSize);
  uint32_t reported = 0;
  const uint32_t status = ZemDispatch(Machine_, code, system.data(), inSize, outSize, &reported);
  const bool ok = status == ZEM_STATUS_SUCCESS;
  const uint32_t handed = ok ? std::min(reported, outSize) : 0;
  if (out != nullptr && handed > 0) std::memcpy(out, system.data(), handed);
  if (returned != nullptr) *returned = reported;
  return ok;
}

uint8_t* TInProcessLink::ResolveMapping(uint32_t mapped) {
  return Machine_.ResolveMapping(mapped);
}

void TInProcessLink::ExecuteCpuId(CpuRegisters& regs) {
  Machine_.ExecuteCpuId(regs);
}

bool TInProcessLink::SetAffinityMask(uint32_t mask) {
  if (mask == 0) return false;
  const uint32_t cpu = static_cast<uint32_t>(std::countr_zero(mask));
  if (cpu >= Machine_.CpuCount()) return false;
  Machine_.SelectCpu(cpu);
  return true;
}

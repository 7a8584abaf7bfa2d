// A small in-process machine for the driver-link tests: processors with their own MSRs and CPUID
// answers, ports that answer from a table, and a window of physical memory that can be mapped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "hw/inprocessmachine.h"

class TFakeMachine : public IInProcessMachine {
 public:
  TFakeMachine(uint32_t cpus, uint64_t memoryBase, size_t memorySize, uint32_t firstHandle)
      : Msrs(cpus), Memory(memorySize, 0), NextHandle(firstHandle), MemoryBase_(memoryBase) {}

  std::map<uint16_t, uint32_t> Ports;  // unlisted ports read all ones
  std::vector<std::pair<uint16_t, uint32_t>> PortWrites;
  std::vector<std::map<uint32_t, uint64_t>> Msrs;  // one table per processor
  uint32_t Selected = 0;
  std::vector<uint8_t> Memory;
  std::map<uint32_t, uint32_t> Mappings;  // handle -> offset into Memory
  uint32_t NextHandle;

  uint32_t PortIn(uint16_t port, uint8_t width) override {
    const uint32_t mask = width == 1 ? 0xFF : width == 2 ? 0xFFFF : 0xFFFFFFFF;
    auto it = Ports.find(port);
    return it == Ports.end() ? mask : it->second & mask;
  }
  void PortOut(uint16_t port, uint8_t, uint32_t value) override {
    PortWrites.emplace_back(port, value);
  }
  bool ReadMsr(uint32_t msr, uint64_t* value) override {
    auto it = Msrs[Selected].find(msr);
    if (it == Msrs[Selected].end()) return false;
    *value = it->second;
    return true;
  }
  bool WriteMsr(uint32_t msr, uint64_t value) override {
    Msrs[Selected][msr] = value;
    return true;
  }
  uint64_t ReadTsc() override { return 0; }
  bool ReadPmc(uint32_t, uint64_t*) override { return false; }
  bool ReadCr(uint32_t, uint64_t*) override { return false; }
  bool WriteCr(uint32_t, uint64_t) override { return false; }
  uint32_t MapPhysical(uint64_t address, uint32_t length, uint32_t* mapped) override {
    if (address < MemoryBase_ || address + length > MemoryBase_ + Memory.size())
      return ZEM_STATUS_UNSUCCESSFUL;
    *mapped = NextHandle++;
    Mappings[*mapped] = static_cast<uint32_t>(address - MemoryBase_);
    return ZEM_STATUS_SUCCESS;
  }
  uint32_t UnmapPhysical(uint32_t mapped) override {
    return Mappings.erase(mapped) ? ZEM_STATUS_SUCCESS : ZEM_STATUS_UNSUCCESSFUL;
  }
  void BusyWaitMicroseconds(uint32_t) override {}
  uint8_t* ResolveMapping(uint32_t mapped) override {
    auto it = Mappings.find(mapped);
    return it == Mappings.end() ? nullptr : Memory.data() + it->second;
  }
  void ExecuteCpuId(CpuRegisters& regs) override {
    regs = CpuRegisters{regs.EAX + 0x100, Selected << 24, 0, 0};  // EBX carries the APIC id
  }
  void SelectCpu(uint32_t index) override { Selected = index; }
  uint32_t CpuCount() override { return static_cast<uint32_t>(Msrs.size()); }

 private:
  uint64_t MemoryBase_;
};

// A driver link that passes everything on to another; the benchmarks derive their counting links
// from it and override Control only.
#pragma once

#include <memory>
#include <utility>

#include "hw/driverlink.h"

class TForwardingLink : public IDriverLink {
 public:
  explicit TForwardingLink(std::unique_ptr<IDriverLink> inner) : Inner_(std::move(inner)) {}

  bool Control(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
               uint32_t* returned) override {
    return Inner_->Control(code, in, inSize, out, outSize, returned);
  }
  uint8_t* ResolveMapping(uint32_t mapped) override { return Inner_->ResolveMapping(mapped); }
  void ExecuteCpuId(CpuRegisters& regs) override { Inner_->ExecuteCpuId(regs); }
  IZemMachine* DirectMachine() override { return Inner_->DirectMachine(); }
  bool SetAffinityMask(uint32_t mask) override { return Inner_->SetAffinityMask(mask); }

 private:
  std::unique_ptr<IDriverLink> Inner_;
};

// The simulated PC as the driver's dispatcher sees it: an in-process machine whose ports, PCI
// configuration spaces, physical memory, MSRs and clocks are device models on a virtual clock.
// Tests step the clock; the demo lets it follow wall time. The whole hardware state can be kept
// in a state file so that a sequence of program runs sees the same machine.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "hw/inprocessmachine.h"
#include "sim/cmos.h"
#include "sim/pcibus.h"
#include "sim/pmtimer.h"
#include "sim/portbus.h"
#include "sim/simcpu.h"
#include "sim/simdevice.h"
#include "sim/simmemory.h"
#include "sim/simstate.h"
#include "sim/virtualclock.h"

struct TSimMachineConfig {
  std::string BoardName = "generic";
  std::string Description;
  TSimProcessorModel Processor;
  uint64_t RamBytes = 512ull << 20;
  uint64_t LowRamTop = 0xC0000000;  // RAM above this moves beyond 4 GiB
  uint64_t EcamBase = 0xE0000000;   // 0: no memory-mapped configuration window
  uint32_t EcamBuses = 256;         // 1 MiB of window per bus
  uint16_t PmTimerPort = 0x408;
  uint8_t PmTimerBits = 24;
  bool Cf8ExtendedOffsets = true;
  TVirtualClock::TMode ClockMode = TVirtualClock::TMode::Stepped;
};

class TSimMachine : public IInProcessMachine {
 public:
  explicit TSimMachine(const TSimMachineConfig& config);
  ~TSimMachine() override;
  TSimMachine(const TSimMachine&) = delete;
  TSimMachine& operator=(const TSimMachine&) = delete;

  const TSimMachineConfig& Config() const { return Config_; }
  const std::string& BoardName() const { return Config_.BoardName; }

  TVirtualClock& Clock() { return Clock_; }
  TSimPciBus& Pci() { return Pci_; }
  TSimPortBus& Ports() { return Ports_; }
  TSimMemory& Memory() { return Memory_; }
  // Core index; an index past the last core gives the last.
  TSimCpu& Cpu(uint32_t index);
  TSimCmos& Cmos() { return *Cmos_; }
  TSimPmTimer& PmTimer() { return PmTimer_; }
  uint32_t SelectedCpu() const { return Selected_; }

  // Device models the machine owns; their state goes into state files under their names. Null
  // when a device of that name is already there. The caller then claims the device's ports,
  // memory regions, PCI functions or MSRs.
  ISimDevice* AddDevice(std::unique_ptr<ISimDevice> device);
  template <class T>
  T* Add(std::unique_ptr<T> device) {
    T* model = device.get();
    return AddDevice(std::move(device)) != nullptr ? model : nullptr;
  }
  ISimDevice* FindDevice(const std::string& name) const;
  // MSRs first .. last answered by handler on every core.
  void AddMsrHandler(uint32_t first, uint32_t last, ISimMsrHandler* handler);
  // Runs before every MSR access of the program and every look at the processor's electrical
  // state: the operating system's processor-power policy (sim/governor.h) moves the P-states for
  // the load at that instant.
  void SetBeforeMsrAccess(std::function<void()> hook) { BeforeMsrAccess_ = std::move(hook); }
  void BeforeMsrAccess() {
    if (BeforeMsrAccess_) BeforeMsrAccess_();
  }

  // State files. Loading checks the whole file before it changes anything; a file that does not
  // fit (wrong board, unknown or missing entries, bad values) leaves the machine as it was.
  bool SaveState(const std::string& path, std::string* error) const;
  bool LoadState(const std::string& path, std::string* error);
  void SaveState(TSimState& state) const;
  bool LoadState(const TSimState& state, std::string* error);

  // IZemMachine.
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
  void BusyWaitMicroseconds(uint32_t microseconds) override;

  // IInProcessMachine.
  uint8_t* ResolveMapping(uint32_t mapped) override;
  void ExecuteCpuId(CpuRegisters& regs) override;
  void SelectCpu(uint32_t index) override;
  uint32_t CpuCount() override { return static_cast<uint32_t>(Cpus_.size()); }

 private:
  bool ApplyState(const TSimState& state, std::string* error);

  const TSimMachineConfig Config_;
  TVirtualClock Clock_;
  TSimPortBus Ports_;
  TSimPciBus Pci_;
  TSimMemory Memory_;
  TSimPmTimer PmTimer_;
  std::vector<std::unique_ptr<TSimCpu>> Cpus_;
  std::vector<std::unique_ptr<ISimDevice>> Devices_;
  TSimCmos* Cmos_ = nullptr;
  std::function<void()> BeforeMsrAccess_;
  uint32_t Selected_ = 0;
};

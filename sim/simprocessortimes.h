// The operating system's processor times as a simulated machine's workload makes them: between
// two readings every core is busy for its load's share of the virtual time that passed. So the
// program's processor-load meter sees the simulated load, not the host's.
#pragma once

#include <cstdint>

#include "os/processortimes.h"

class TSimMachine;

class TSimProcessorTimes final : public IOsProcessorTimes {
 public:
  explicit TSimProcessorTimes(TSimMachine& machine);

  bool Available() override { return true; }
  // Times in 100 ns units, as the system call reports them.
  bool GetSystemTimes(TProcessorTimes& times) override;

 private:
  TSimMachine& Machine_;
  uint64_t LastNs_;
  TProcessorTimes Totals_;
};

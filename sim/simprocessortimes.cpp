#include "sim/simprocessortimes.h"

#include <algorithm>
#include <cmath>

#include "sim/simmachine.h"
#include "sim/workload.h"

TSimProcessorTimes::TSimProcessorTimes(TSimMachine& machine)
    : Machine_(machine), LastNs_(machine.Clock().Nanoseconds()) {}

bool TSimProcessorTimes::GetSystemTimes(TProcessorTimes& times) {
  const uint64_t now = Machine_.Clock().Nanoseconds();
  const uint64_t elapsed = (now - LastNs_) / 100;
  LastNs_ = now;
  TSimWorkload& workload = SimWorkload(Machine_);
  for (uint32_t core = 0; core < workload.Cores(); ++core) {
    const double share = std::clamp(workload.Load(core), 0.0, 100.0) / 100.0;
    const auto busy = static_cast<uint64_t>(std::llround(static_cast<double>(elapsed) * share));
    Totals_.User += busy;
    Totals_.Idle += elapsed - busy;
    Totals_.Kernel += elapsed - busy;  // kernel time includes idle time
  }
  times = Totals_;
  return true;
}

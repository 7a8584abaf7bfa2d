// System-wide processor times (GetSystemTimes on Windows, looked up by name at run time because
// older systems lack it). The load over an interval is
//   1 - (idle delta) / (kernel delta + user delta),
// so, as on Windows, kernel time includes idle time.
//
// Linux reads the "cpu" line of /proc/stat: idle = idle + iowait; kernel = system + irq + softirq
// + steal + idle; user = user + nice (guest time is already inside user and nice).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// Times summed over all processors since boot, in units of 100 ns.
struct TProcessorTimes {
  uint64_t Idle = 0;
  uint64_t Kernel = 0;  // includes Idle
  uint64_t User = 0;
};

class IOsProcessorTimes {
 public:
  virtual ~IOsProcessorTimes() = default;
  // Whether the system offers the query at all ("GetSystemTimes" exported by kernel32).
  virtual bool Available() = 0;
  // False when the query is missing or fails; times is left alone then.
  virtual bool GetSystemTimes(TProcessorTimes& times) = 0;
};

// The running system's processor times.
std::unique_ptr<IOsProcessorTimes> OsCreateProcessorTimes();

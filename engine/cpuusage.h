// TCpuUsage: the system-wide processor load between one measurement and the next, from the
// operating system's processor times. Without the query (older systems) the load is always 0.
#pragma once

#include <cstdint>

#include "os/processortimes.h"

class TCpuUsage {
 public:
  // Takes the first reading, so the first Measure covers the time since construction.
  explicit TCpuUsage(IOsProcessorTimes& times);

  // Load in percent (0..100) since the previous call; 0 when the interval holds no time.
  uint32_t Measure();

 private:
  IOsProcessorTimes& Times_;
  bool Available_;
  TProcessorTimes Previous_;
};

#include "engine/cpuusage.h"

TCpuUsage::TCpuUsage(IOsProcessorTimes& times) : Times_(times), Available_(times.Available()) {
  if (Available_) Times_.GetSystemTimes(Previous_);
}

uint32_t TCpuUsage::Measure() {
  TProcessorTimes now;
  if (!Available_ || !Times_.GetSystemTimes(now)) return 0;
  // Unsigned differences: a counter that went backwards (a reset) gives a huge total whose load
  // is clamped below, never a negative one.
  const uint64_t idle = now.Idle - Previous_.Idle;
  const uint64_t total = (now.Kernel - Previous_.Kernel) + (now.User - Previous_.User);
  Previous_ = now;
  if (total == 0) return 0;
  if (idle >= total) return 0;
  return static_cast<uint32_t>((total - idle) * 100 / total);
}

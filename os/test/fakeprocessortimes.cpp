#include "os/test/fakeprocessortimes.h"

void TFakeProcessorTimes::AddInterval(uint64_t idle, uint64_t busyKernel, uint64_t user) {
  TProcessorTimes next = Script.empty() ? Current : Script.back();
  next.Idle += idle;
  next.Kernel += idle + busyKernel;
  next.User += user;
  Script.push_back(next);
}

bool TFakeProcessorTimes::GetSystemTimes(TProcessorTimes& times) {
  ++Queries;
  if (!Present || !Works) return false;
  if (!Script.empty()) {
    Current = Script.front();
    Script.pop_front();
  }
  times = Current;
  return true;
}

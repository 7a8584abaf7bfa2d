#include "sim/virtualclock.h"

uint64_t SimScale(uint64_t value, uint64_t multiplier, uint64_t divisor) {
  // Split value so that neither product exceeds 64 bits: (q * d + r) * m / d = q * m + r * m / d.
  const uint64_t whole = value / divisor;
  const uint64_t rest = value % divisor;
  return whole * multiplier + rest * multiplier / divisor;
}

TVirtualClock::TVirtualClock(TMode mode) : Mode_(mode), Start_(THostClock::now()) {}

uint64_t TVirtualClock::HostNanosecondsSinceStart() const {
  const auto elapsed = THostClock::now() - Start_;
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count());
}

uint64_t TVirtualClock::Nanoseconds() const {
  if (Mode_ == TMode::Stepped) return Base_;
  return Base_ + HostNanosecondsSinceStart();
}

void TVirtualClock::SetMode(TMode mode) {
  if (mode == Mode_) return;
  SetNanoseconds(Nanoseconds());
  Mode_ = mode;
}

void TVirtualClock::AdvanceNanoseconds(uint64_t nanoseconds) {
  Base_ += nanoseconds;
}

void TVirtualClock::SetNanoseconds(uint64_t nanoseconds) {
  Base_ = nanoseconds;
  Start_ = THostClock::now();
}

void TVirtualClock::BusyWait(uint32_t microseconds) {
  if (Mode_ == TMode::Stepped) {
    Advance(microseconds);
    return;
  }
  const uint64_t until = Nanoseconds() + uint64_t{microseconds} * 1000;
  while (Nanoseconds() < until) {
  }
}

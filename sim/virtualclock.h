// The simulated PC's time base. Devices never tick: they compute their counters from this clock
// when they are read, so stepping the clock by an hour costs nothing and tests are exact.
#pragma once

#include <chrono>
#include <cstdint>

// (value * multiplier) / divisor without overflowing 64 bits for any time a simulation reaches
// (divisor and multiplier below 2^33); rounds down.
uint64_t SimScale(uint64_t value, uint64_t multiplier, uint64_t divisor);

class TVirtualClock {
 public:
  enum class TMode {
    Stepped,   // moves only when told (tests)
    WallTime,  // follows the host's monotonic clock (demo)
  };

  explicit TVirtualClock(TMode mode = TMode::Stepped);

  TMode Mode() const { return Mode_; }
  // Switching keeps the current time; from then on it moves the new way.
  void SetMode(TMode mode);

  uint64_t Nanoseconds() const;
  uint64_t Microseconds() const { return Nanoseconds() / 1000; }

  // Moves time forward. In wall-time mode the step is added on top of the host's clock.
  void Advance(uint64_t microseconds) { AdvanceNanoseconds(microseconds * 1000); }
  void AdvanceNanoseconds(uint64_t nanoseconds);
  // Puts the clock at an absolute time (restoring a saved machine); it keeps moving from there.
  void SetNanoseconds(uint64_t nanoseconds);

  // A busy wait of the given length: stepped mode advances the clock by exactly that time, wall
  // mode spins until the host's clock has moved that far.
  void BusyWait(uint32_t microseconds);

 private:
  using THostClock = std::chrono::steady_clock;

  uint64_t HostNanosecondsSinceStart() const;

  TMode Mode_;
  uint64_t Base_ = 0;  // the time at Start_ (wall mode), or the time itself (stepped)
  THostClock::time_point Start_;
};

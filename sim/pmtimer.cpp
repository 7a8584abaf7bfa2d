#include "sim/pmtimer.h"

TSimPmTimer::TSimPmTimer(const TVirtualClock& clock, uint16_t port, uint8_t bits)
    : Clock_(clock), Port_(port), Bits_(bits == 32 ? 32 : 24) {}

uint32_t TSimPmTimer::Value() const {
  const uint64_t ticks = SimScale(Clock_.Nanoseconds(), FrequencyHz, 1000000000);
  return Bits_ == 32 ? static_cast<uint32_t>(ticks) : static_cast<uint32_t>(ticks & 0xFFFFFF);
}

uint32_t TSimPmTimer::PortRead(uint16_t port, uint8_t /*width*/) {
  const uint32_t shift = 8 * ((port - Port_) & 3);
  return static_cast<uint32_t>(uint64_t{Value()} >> shift);
}

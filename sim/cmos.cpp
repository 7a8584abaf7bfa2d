#include "sim/cmos.h"

#include "sim/simstate.h"

namespace {
// Power-on values of the RTC status registers: 32.768 kHz divider with 1024 Hz rate, 24-hour
// binary-coded mode, battery good.
struct TResetValue {
  uint8_t Index;
  uint8_t Value;
};
constexpr TResetValue ResetValues[] = {{0x0A, 0x26}, {0x0B, 0x02}, {0x0D, 0x80}};
}  // namespace

TSimCmos::TSimCmos() {
  for (const TResetValue& reset : ResetValues) Ram_[reset.Index] = reset.Value;
}

uint32_t TSimCmos::PortRead(uint16_t port, uint8_t width) {
  // Each byte of a wider access is its own access of the pair, as the bus would split it.
  uint32_t value = 0;
  for (uint8_t i = 0; i < width; ++i) {
    const uint16_t at = static_cast<uint16_t>(port + i);
    const uint8_t byte = at == IndexPort ? Index_ : Ram_[Index_];
    value |= uint32_t{byte} << (8 * i);
  }
  return value;
}

void TSimCmos::PortWrite(uint16_t port, uint8_t width, uint32_t value) {
  for (uint8_t i = 0; i < width; ++i) {
    const uint16_t at = static_cast<uint16_t>(port + i);
    const uint8_t byte = (value >> (8 * i)) & 0xFF;
    if (at == IndexPort) {
      Index_ = byte & 0x7F;
    } else {
      Ram_[Index_] = byte;
    }
  }
}

void TSimCmos::SaveState(TSimState& state) const {
  state.SetBytes("cmos.ram", Ram_.data(), Ram_.size());
  state.SetNumber("cmos.index", Index_);
}

bool TSimCmos::LoadState(const TSimState& state, std::string* error) {
  std::array<uint8_t, Size> ram{};
  uint64_t index = 0;
  if (!state.GetBytes("cmos.ram", ram.data(), ram.size(), error) ||
      !state.GetNumber("cmos.index", &index, error)) {
    return false;
  }
  Ram_ = ram;
  Index_ = static_cast<uint8_t>(index & 0x7F);
  return true;
}

#include "sim/portbus.h"

#include <algorithm>

namespace {
uint32_t AllOnes(uint8_t width) {
  return width >= 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1;
}
bool ValidWidth(uint8_t width) {
  return width == 1 || width == 2 || width == 4;
}
}  // namespace

TSimPortBus::TSimPortBus() {
  Owner_.fill(NoClaim);
}

bool TSimPortBus::Claim(uint16_t first, uint32_t count, ISimPortHandler* handler,
                        std::string name) {
  if (count == 0 || handler == nullptr || first + count > 0x10000u) return false;
  if (Claims_.size() >= NoClaim) return false;
  for (uint32_t port = first; port < first + count; ++port) {
    if (Owner_[port] != NoClaim) return false;
  }
  Claims_.push_back({first, count, handler, std::move(name)});
  const auto index = static_cast<uint16_t>(Claims_.size() - 1);
  for (uint32_t port = first; port < first + count; ++port) Owner_[port] = index;
  return true;
}

bool TSimPortBus::Release(uint16_t first) {
  const auto it = std::find_if(Claims_.begin(), Claims_.end(),
                               [first](const TClaim& claim) { return claim.First == first; });
  if (it == Claims_.end()) return false;
  Claims_.erase(it);
  Rebuild();
  return true;
}

void TSimPortBus::Release(ISimPortHandler* handler) {
  std::erase_if(Claims_, [handler](const TClaim& claim) { return claim.Handler == handler; });
  Rebuild();
}

void TSimPortBus::Rebuild() {
  Owner_.fill(NoClaim);
  for (size_t index = 0; index < Claims_.size(); ++index) {
    const TClaim& claim = Claims_[index];
    for (uint32_t port = claim.First; port < claim.First + claim.Count; ++port) {
      Owner_[port] = static_cast<uint16_t>(index);
    }
  }
}

std::string TSimPortBus::Owner(uint16_t port) const {
  return Owner_[port] == NoClaim ? std::string() : Claims_[Owner_[port]].Name;
}

uint16_t TSimPortBus::WholeClaim(uint16_t port, uint8_t width) const {
  const uint16_t owner = Owner_[port];
  if (owner == NoClaim) return NoClaim;
  const TClaim& claim = Claims_[owner];
  return uint32_t{port} + width <= claim.First + claim.Count ? owner : NoClaim;
}

uint32_t TSimPortBus::In(uint16_t port, uint8_t width) {
  if (!ValidWidth(width)) return 0xFFFFFFFFu;
  const uint16_t owner = WholeClaim(port, width);
  if (owner != NoClaim) return Claims_[owner].Handler->PortRead(port, width) & AllOnes(width);
  if (width == 1) return 0xFF;
  uint32_t value = 0;
  for (uint8_t i = 0; i < width; ++i) {
    // Port numbers wrap at 64 Ki like the processor's 16-bit port address.
    value |= In(static_cast<uint16_t>(port + i), 1) << (8 * i);
  }
  return value;
}

void TSimPortBus::Out(uint16_t port, uint8_t width, uint32_t value) {
  if (!ValidWidth(width)) return;
  const uint16_t owner = WholeClaim(port, width);
  if (owner != NoClaim) {
    Claims_[owner].Handler->PortWrite(port, width, value & AllOnes(width));
    return;
  }
  if (width == 1) return;
  for (uint8_t i = 0; i < width; ++i) {
    Out(static_cast<uint16_t>(port + i), 1, (value >> (8 * i)) & 0xFF);
  }
}

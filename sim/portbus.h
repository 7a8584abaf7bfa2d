// The I/O port space: 64 Ki byte ports, each owned by at most one device. A port no device claims
// floats high, so reads return all ones and writes vanish, as on a real ISA/LPC bus.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/simdevice.h"

class TSimPortBus {
 public:
  TSimPortBus();

  // Gives ports first .. first + count - 1 to handler; false when the range is empty, runs past
  // 0xFFFF or overlaps a claimed port.
  bool Claim(uint16_t first, uint32_t count, ISimPortHandler* handler, std::string name);
  // Gives up the claim that begins at first (devices whose base register moved re-claim).
  bool Release(uint16_t first);
  // Gives up every claim of handler.
  void Release(ISimPortHandler* handler);

  // Name of the claim owning port, empty when none does.
  std::string Owner(uint16_t port) const;

  // Width 1, 2 or 4 (anything else reads all ones and writes nothing). An access that does not lie
  // inside one claim is split into byte accesses.
  uint32_t In(uint16_t port, uint8_t width);
  void Out(uint16_t port, uint8_t width, uint32_t value);

 private:
  struct TClaim {
    uint16_t First = 0;
    uint32_t Count = 0;
    ISimPortHandler* Handler = nullptr;
    std::string Name;
  };
  static constexpr uint16_t NoClaim = 0xFFFF;

  // Index of the claim holding the whole access, or NoClaim.
  uint16_t WholeClaim(uint16_t port, uint8_t width) const;
  void Rebuild();

  std::vector<TClaim> Claims_;
  std::array<uint16_t, 0x10000> Owner_;  // claim index per port
};

#include "chips/w627gpio.h"

namespace {

using R = const TSioGpioRegs&;

constexpr uint8_t kLdnGpio1 = 7;  // GPIO groups 1 and 6
constexpr uint8_t kLdnGpio2 = 9;  // GPIO groups 2 to 5

void MarkNotGpio(TPinStates& states, std::initializer_list<int> pins) {
  for (int pin : pins) states[static_cast<size_t>(pin)] = kPinNotGpio;
}
bool Bit(uint8_t value, int bit) {
  return (value >> bit & 1) != 0;
}

constexpr TSioGpioGroup kGroups[] = {
    {// 1: pins 0-7
     .Ldn = kLdnGpio1,
     .ActBit = 0x01,
     .Direction = 0xF0,
     .Level = 0xF1,
     .Inversion = 0xF2,
     .EnableReg = 0xF3,
     .Enable = [](R r) { return static_cast<uint8_t>(~r.Reg(kLdnGpio1, 0xF3)); },
     .NotGpio = [](R r) { return !Bit(r.Cr(0x29), 0); },
     .SetCr = 0x29,
     .SetCrBit = 0x01},
    {// 2: pins 8-15
     .Ldn = kLdnGpio2,
     .ActBit = 0x01,
     .Direction = 0xE3,
     .Level = 0xE4,
     .Inversion = 0xE5},
    {// 3: pins 16-23
     .Ldn = kLdnGpio2,
     .ActBit = 0x02,
     .Direction = 0xF0,
     .Level = 0xF1,
     .Inversion = 0xF2,
     .NotGpio = [](R r) { return Bit(r.Cr(0x2C), 4); },
     .Extra =
         [](R r, TPinStates& s) {
           if (Bit(r.Cr(0x2C), 5)) MarkNotGpio(s, {18});
           if (Bit(r.Cr(0x2C), 6)) MarkNotGpio(s, {19});
           if (Bit(r.Cr(0x2C), 7)) MarkNotGpio(s, {20});
         }},
    {// 4: pins 24-31
     .Ldn = kLdnGpio2,
     .ActBit = 0x04,
     .Direction = 0xF4,
     .Level = 0xF5,
     .Inversion = 0xF6,
     .EnableReg = 0xF7,
     .Enable = [](R r) { return static_cast<uint8_t>(~r.Reg(kLdnGpio2, 0xF7)); },
     .NotGpio = [](R r) { return Bit(r.Cr(0x2C), 0) && Bit(r.Cr(0x2C), 1); },
     .Extra =
         [](R r, TPinStates& s) {
           if (!Bit(r.Cr(0x2C), 1)) MarkNotGpio(s, {28, 29});
         }},
    {// 5: pins 32-39
     .Ldn = kLdnGpio2,
     .ActBit = 0x08,
     .Direction = 0xE0,
     .Level = 0xE1,
     .Inversion = 0xE2,
     .Enable = [](R r) { return r.Cr(0x2D); }},
    {// 6: pins 40-47
     .Ldn = kLdnGpio1,
     .ActBit = 0x08,
     .Direction = 0xF4,
     .Level = 0xF5,
     .Inversion = 0xF6,
     .NotGpio = [](R r) { return !Bit(r.Cr(0x29), 3); },
     .SetCr = 0x29,
     .SetCrBit = 0x08},
};

constexpr uint8_t kLdnOrder[] = {kLdnGpio1, kLdnGpio2};
constexpr uint8_t kGlobalRegs[] = {0x29, 0x2C, 0x2D};

// The chips whose GPIO registers this table describes, by their database names.
constexpr std::string_view kChips[] = {"W83627DHG"};

const TSioGpioChip kChip{kGroups, kLdnOrder, kGlobalRegs, "W627GPIO", kChips};

}  // namespace

TW627Gpio::TW627Gpio(TSio& sio) : TSioGpio(sio, kChip) {}

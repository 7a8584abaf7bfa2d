#include "chips/w667gpio.h"

namespace {

using R = const TSioGpioRegs&;

constexpr uint8_t kLdnGpio6To9 = 7;
constexpr uint8_t kLdnGpio1 = 8;
constexpr uint8_t kLdnGpio2To5 = 9;

void MarkNotGpio(TPinStates& states, std::initializer_list<int> pins) {
  for (int pin : pins) states[static_cast<size_t>(pin)] = kPinNotGpio;
}
bool Bit(uint8_t value, int bit) {
  return (value >> bit & 1) != 0;
}
// CR2C bits 7-6 both 0 give pins 23 and 32 to other functions.
bool Cr2cHighBitsClear(R r) {
  return (r.Cr(0x2C) & 0xC0) == 0;
}

constexpr TSioGpioGroup kGroups[] = {
    {// 1: pins 0-7
     .Ldn = kLdnGpio1,
     .ActBit = 0x02,
     .Direction = 0xF0,
     .Level = 0xF1,
     .Inversion = 0xF2,
     .EnableReg = 0xF4,
     .Enable = [](R r) { return static_cast<uint8_t>(~r.Reg(kLdnGpio1, 0xF4)); },
     .NotGpio = [](R r) { return Bit(r.Cr(0x2C), 1); },
     .ClearReg = 0xF4},
    {// 2: pins 8-15
     .Ldn = kLdnGpio2To5,
     .ActBit = 0x01,
     .Direction = 0xE0,
     .Level = 0xE1,
     .Inversion = 0xE2,
     .EnableReg = 0xE9,
     .Enable = [](R r) { return static_cast<uint8_t>(~r.Reg(kLdnGpio2To5, 0xE9)); },
     .Extra =
         [](R r, TPinStates& s) {
           if (Bit(r.Cr(0x27), 5) || Bit(r.Cr(0x24), 1)) MarkNotGpio(s, {14});
         }},
    {// 3: pins 16-23
     .Ldn = kLdnGpio2To5,
     .ActBit = 0x02,
     .Direction = 0xE4,
     .Level = 0xE5,
     .Inversion = 0xE6,
     .EnableReg = 0xEA,
     .Enable = [](R r) { return static_cast<uint8_t>(~(r.Cr(0x2B) | r.Reg(kLdnGpio2To5, 0xEA))); },
     .Extra =
         [](R r, TPinStates& s) {
           if (Cr2cHighBitsClear(r)) MarkNotGpio(s, {23});
         }},
    {// 4: pins 24-31
     .Ldn = kLdnGpio2To5,
     .ActBit = 0x04,
     .Direction = 0xF0,
     .Level = 0xF1,
     .Inversion = 0xF2,
     .EnableReg = 0xF3,
     .Enable = [](R r) { return static_cast<uint8_t>(~r.Reg(kLdnGpio2To5, 0xF3)); },
     .NotGpio = [](R r) { return Bit(r.Cr(0x2A), 2); }},
    {// 5: pins 32-39
     .Ldn = kLdnGpio2To5,
     .ActBit = 0x08,
     .Direction = 0xF4,
     .Level = 0xF5,
     .Inversion = 0xF6,
     .EnableReg = 0xEB,
     .Enable = [](R r) { return static_cast<uint8_t>(~r.Reg(kLdnGpio2To5, 0xEB)); },
     .Extra =
         [](R r, TPinStates& s) {
           if (Cr2cHighBitsClear(r)) MarkNotGpio(s, {32});
         }},
    {// 6: pins 40-47
     .Ldn = kLdnGpio6To9,
     .ActBit = 0x02,
     .Direction = 0xF4,
     .Level = 0xF5,
     .Inversion = 0xF6,
     .EnableReg = 0xF8,
     .Enable = [](R r) { return static_cast<uint8_t>(~r.Reg(kLdnGpio6To9, 0xF8)); },
     .NotGpio = [](R r) { return !Bit(r.Cr(0x29), 3); },
     .SetCr = 0x29,
     .SetCrBit = 0x08},
    {// 7: pins 48-55
     .Ldn = kLdnGpio6To9,
     .ActBit = 0x04,
     .Direction = 0xE0,
     .Level = 0xE1,
     .Inversion = 0xE2,
     .EnableReg = 0xEC,
     .Enable = [](R r) { return static_cast<uint8_t>(~r.Reg(kLdnGpio6To9, 0xEC)); },
     .NotGpio = [](R r) { return Bit(r.Cr(0x2C), 1); },
     .ClearReg = 0xEC},
    {// 8: pins 56-63
     .Ldn = kLdnGpio6To9,
     .ActBit = 0x08,
     .Direction = 0xE4,
     .Level = 0xE5,
     .Inversion = 0xE6,
     .EnableReg = 0xED,
     .Enable = [](R r) { return static_cast<uint8_t>(~r.Reg(kLdnGpio6To9, 0xED)); },
     .Extra =
         [](R r, TPinStates& s) {
           const bool shared = Bit(r.Cr(0x2C), 0);
           if (Bit(r.Cr(0x27), 0) || shared) MarkNotGpio(s, {59});
           if (Bit(r.Cr(0x27), 1) || shared) MarkNotGpio(s, {60});
         },
     .ClearReg = 0xED},
    {// 9: pins 64-71
     .Ldn = kLdnGpio6To9,
     .ActBit = 0x10,
     .Direction = 0xE8,
     .Level = 0xE9,
     .Inversion = 0xEA,
     .EnableReg = 0xEE,
     .Enable = [](R r) { return static_cast<uint8_t>(~r.Reg(kLdnGpio6To9, 0xEE)); },
     .Extra =
         [](R r, TPinStates& s) {
           const bool shared = Bit(r.Cr(0x2C), 0);
           if (Bit(r.Cr(0x27), 2) || shared) MarkNotGpio(s, {64, 65, 66, 68, 69, 70});
           if (Bit(r.Cr(0x27), 3) || shared) MarkNotGpio(s, {67});
           if (Bit(r.Cr(0x27), 4) || shared) MarkNotGpio(s, {71});
         },
     .ClearReg = 0xEE},
};

constexpr uint8_t kLdnOrder[] = {kLdnGpio1, kLdnGpio2To5, kLdnGpio6To9};
constexpr uint8_t kGlobalRegs[] = {0x24, 0x27, 0x29, 0x2A, 0x2B, 0x2C};

// The chips whose GPIO registers this table describes, by their database names.
constexpr std::string_view kChips[] = {"W83667HG"};

const TSioGpioChip kChip{kGroups, kLdnOrder, kGlobalRegs, "W667GPIO", kChips};

}  // namespace

TW667Gpio::TW667Gpio(TSio& sio) : TSioGpio(sio, kChip) {}

#include "chips/it8720gpio.h"

#include <string_view>

#include "base/textfmt.h"
#include "base/trace.h"
#include "chips/gpiosio.h"
#include "chips/sio.h"
#include "hw/readwrite.h"

namespace {

constexpr uint8_t kLdnGpio = 7;
constexpr uint8_t kBaseHigh = 0x62, kBaseLow = 0x63;
constexpr int kSets = 8;
// The level ports lie at base .. base + 7. A base below the legacy ISA devices' range end or one
// that runs past the port space is a register the BIOS never set.
constexpr uint16_t kLowestBase = 0x100;
constexpr uint16_t kHighestBase = 0xFFF8;

constexpr std::string_view kInterface = "IT8720GPIO";
// The chips whose GPIO registers the set table describes, by their database names.
constexpr std::string_view kChips[] = {"IT8720F"};

// One set of eight pins. Registers 0 are absent: their mask is all ones (usable, enable) or 0
// (inversion). The usable mask is (UsableReg AND UsableAnd) OR UsableOr.
struct TIteSet {
  uint8_t UsableReg = 0;
  uint8_t UsableAnd = 0xFF, UsableOr = 0x00;
  uint8_t Direction = 0;  // 1 = output
  uint8_t EnableReg = 0;  // AND the global multiplexer register EnableCr
  uint8_t EnableCr = 0;
  uint8_t Inversion = 0;
};

constexpr TIteSet kSetTable[kSets] = {
    {.UsableReg = 0xB8, .Direction = 0xC8, .EnableReg = 0xC0, .EnableCr = 0x25, .Inversion = 0xB0},
    {.Direction = 0xC9, .EnableReg = 0xC1, .EnableCr = 0x26, .Inversion = 0xB1},
    {.UsableReg = 0xBA, .Direction = 0xCA, .EnableReg = 0xC2, .EnableCr = 0x27, .Inversion = 0xB2},
    {.UsableReg = 0xBB, .Direction = 0xCB, .EnableReg = 0xC3, .EnableCr = 0x28, .Inversion = 0xB3},
    {.UsableReg = 0xBC,
     .UsableAnd = 0x3F,
     .UsableOr = 0xC0,
     .Direction = 0xCC,
     .EnableReg = 0xC4,
     .EnableCr = 0x29,
     .Inversion = 0xB4},
    {.Direction = 0xCD},
    {.Direction = 0xCE},
    {.Direction = 0xCF},
};

}  // namespace

TIT8720Gpio::TIT8720Gpio(TReadWrite& rw, TSio& sio)
    : TGpioBase(TPinNaming{64, true, 1}),
      Rw_(rw),
      Sio_(sio),
      Present_(SioOfFamily(sio, kChips, kInterface)) {}

std::optional<uint16_t> TIT8720Gpio::SelectAndReadBase() {
  Sio_.SelectLogicalDevice(kLdnGpio);
  const uint8_t high = Sio_.ReadConfigReg(kBaseHigh);
  const uint8_t low = Sio_.ReadConfigReg(kBaseLow);
  const uint16_t base = static_cast<uint16_t>(high << 8 | low);
  if (base < kLowestBase || base > kHighestBase) {
    RwDebugLine(std::string(kInterface) + ": implausible simple I/O base " + HexWord(base) +
                ", refused");
    return std::nullopt;
  }
  return base;
}

void TIT8720Gpio::ChangeReg(uint8_t reg, uint8_t set, uint8_t clear) {
  const uint8_t value = Sio_.ReadConfigReg(reg);
  Sio_.WriteConfigReg(reg, static_cast<uint8_t>((value | set) & ~clear));
}

void TIT8720Gpio::ReadPins() {
  if (!Present_) return;
  const std::optional<uint16_t> found = SelectAndReadBase();
  if (!found) {
    PinStates_.fill(0);  // nothing read: no state to match
    return;
  }
  const uint16_t base = *found;
  for (int s = 0; s < kSets; ++s) {
    const TIteSet& set = kSetTable[s];
    TPinMasks masks;
    masks.Usable = set.UsableReg != 0
                       ? (Sio_.ReadConfigReg(set.UsableReg) & set.UsableAnd) | set.UsableOr
                       : 0xFF;
    masks.Direction = static_cast<uint8_t>(~Sio_.ReadConfigReg(set.Direction));
    masks.Enable = set.EnableReg != 0
                       ? Sio_.ReadConfigReg(set.EnableReg) & Sio_.ReadConfigReg(set.EnableCr)
                       : 0xFF;
    masks.Inversion = set.Inversion != 0 ? Sio_.ReadConfigReg(set.Inversion) : 0;
    masks.Level = Rw_.IoBaseReadByte(static_cast<uint16_t>(base + s));
    for (int bit = 0; bit < 8; ++bit)
      PinStates_[static_cast<size_t>(s * 8 + bit)] = CommonPinState(masks, bit);
  }
}

void TIT8720Gpio::SetPin(uint8_t index, uint8_t state) {
  if (!Present_ || index >= PinCount() || !IsDrivenState(state)) return;
  const int s = index / 8;
  const TIteSet& set = kSetTable[s];
  const uint8_t mask = static_cast<uint8_t>(1u << (index % 8));

  const std::optional<uint16_t> found = SelectAndReadBase();
  if (!found) return;
  const uint16_t base = *found;
  if (set.UsableReg != 0) ChangeReg(set.UsableReg, mask, 0);
  if (set.Inversion != 0) ChangeReg(set.Inversion, 0, mask);

  const uint16_t levelPort = static_cast<uint16_t>(base + s);
  switch (state) {
    case kPinInputLow:
    case kPinInputHigh:
    case kPinInput:
      ChangeReg(set.Direction, 0, mask);
      break;
    case kPinOutputLow:
      ChangeReg(set.Direction, mask, 0);
      Rw_.IoBaseWriteByte(levelPort, static_cast<uint8_t>(Rw_.IoBaseReadByte(levelPort) & ~mask));
      break;
    case kPinOutputHigh:
      ChangeReg(set.Direction, mask, 0);
      Rw_.IoBaseWriteByte(levelPort, static_cast<uint8_t>(Rw_.IoBaseReadByte(levelPort) | mask));
      break;
    default:
      break;
  }
}

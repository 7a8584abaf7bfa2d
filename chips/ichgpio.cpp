#include "chips/ichgpio.h"

#include "hw/readwrite.h"

namespace {

constexpr uint8_t kLpcBus = 0, kLpcDevice = 31, kLpcFunction = 0;
constexpr uint16_t kGpioBaseRegister = 0x48;
constexpr uint16_t kGpioBaseMask = 0xFFC0;  // bit 0 reads 1 (I/O space); the block is 64 bytes

// The register offsets of one half of the block: pins 0-31 and pins 32-63. The upper half has no
// inversion register.
struct TIchBank {
  uint16_t Enable;     // GPIO_USE_SEL
  uint16_t Direction;  // GP_IO_SEL, 1 = input
  uint16_t Level;      // GP_LVL
  uint16_t Inversion;  // GPI_INV; 0: none
};
constexpr TIchBank kBanks[2] = {
    {0x00, 0x04, 0x0C, 0x2C},
    {0x30, 0x34, 0x38, 0x00},
};

}  // namespace

TIchGpio::TIchGpio(TReadWrite& rw)
    : TGpioBase(TPinNaming{64, false, 0}),
      Rw_(rw),
      Base_(static_cast<uint16_t>(
          rw.PciReadWord(kLpcBus, kLpcDevice, kLpcFunction, kGpioBaseRegister) & kGpioBaseMask)) {}

void TIchGpio::ReadPins() {
  for (int half = 0; half < 2; ++half) {
    const TIchBank& bank = kBanks[half];
    TPinMasks masks;
    masks.Enable = Rw_.IoBaseReadDword(static_cast<uint16_t>(Base_ + bank.Enable));
    masks.Direction = Rw_.IoBaseReadDword(static_cast<uint16_t>(Base_ + bank.Direction));
    masks.Level = Rw_.IoBaseReadDword(static_cast<uint16_t>(Base_ + bank.Level));
    if (bank.Inversion != 0)
      masks.Inversion = Rw_.IoBaseReadDword(static_cast<uint16_t>(Base_ + bank.Inversion));
    for (int bit = 0; bit < 32; ++bit) PinStates_[half * 32 + bit] = CommonPinState(masks, bit);
  }
}

void TIchGpio::Change(uint16_t offset, uint32_t set, uint32_t clear) {
  const uint16_t port = static_cast<uint16_t>(Base_ + offset);
  const uint32_t value = Rw_.IoBaseReadDword(port);
  Rw_.IoBaseWriteDword(port, (value | set) & ~clear);
}

void TIchGpio::SetPin(uint8_t index, uint8_t state) {
  if (index >= PinCount()) return;
  const TIchBank& bank = kBanks[index / 32];
  const uint32_t mask = uint32_t{1} << (index % 32);
  Change(bank.Enable, mask, 0);
  if (bank.Inversion != 0) Change(bank.Inversion, 0, mask);
  switch (state) {
    case kPinOutputLow:
      Change(bank.Direction, 0, mask);
      Change(bank.Level, 0, mask);
      break;
    case kPinOutputHigh:
      Change(bank.Direction, 0, mask);
      Change(bank.Level, mask, 0);
      break;
    case kPinInputLow:
    case kPinInputHigh:
    case kPinInput:
      Change(bank.Direction, mask, 0);
      break;
    default:
      break;
  }
}

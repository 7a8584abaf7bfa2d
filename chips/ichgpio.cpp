#include "chips/ichgpio.h"

#include <string>

#include "base/textfmt.h"
#include "base/trace.h"
#include "hw/readwrite.h"

namespace {

constexpr uint8_t kLpcBus = 0, kLpcDevice = 31, kLpcFunction = 0;
constexpr uint16_t kIntelVendor = 0x8086;
constexpr uint16_t kClassRegister = 0x0A;  // base class and subclass
constexpr uint16_t kLpcBridgeClass = 0x0601;
constexpr uint16_t kGpioBaseRegister = 0x48;
constexpr uint16_t kGpioBaseMask = 0xFFC0;  // bit 0 reads 1 (I/O space); the block is 64 bytes
constexpr uint16_t kGpioBaseIoSpace = 0x0001;
constexpr uint16_t kGpioControlRegister = 0x4C;  // GPIO_CNTL (ICH6 and later)
constexpr uint8_t kGpioEnable = 0x10;            // GPIO_EN: the block decodes its ports
// Below this lie the legacy ISA devices (DMA, PIC, timer, keyboard controller, CMOS): a GPIOBASE
// there is a reset value or garbage, never a block the BIOS placed.
constexpr uint16_t kLowestGpioBase = 0x100;

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

// The block's base, or 0 with the reason in why.
uint16_t FindIchBlock(TReadWrite& rw, std::string& why) {
  const uint16_t vendor = rw.PciReadWord(kLpcBus, kLpcDevice, kLpcFunction, 0);
  if (vendor != kIntelVendor) {
    why = "no Intel bridge at 00:1f.0 (vendor " + HexWord(vendor) + ")";
    return 0;
  }
  const uint16_t classCode = rw.PciReadWord(kLpcBus, kLpcDevice, kLpcFunction, kClassRegister);
  if (classCode != kLpcBridgeClass) {
    why = "00:1f.0 is no LPC bridge (class " + HexWord(classCode) + ")";
    return 0;
  }
  const uint8_t control = rw.PciReadByte(kLpcBus, kLpcDevice, kLpcFunction, kGpioControlRegister);
  if ((control & kGpioEnable) == 0) {
    why = "GPIO block not enabled (GPIO_CNTL " + HexByte(control) + ")";
    return 0;
  }
  const uint16_t raw = rw.PciReadWord(kLpcBus, kLpcDevice, kLpcFunction, kGpioBaseRegister);
  const uint16_t base = raw & kGpioBaseMask;
  if ((raw & kGpioBaseIoSpace) == 0 || base < kLowestGpioBase || base == kGpioBaseMask) {
    why = "implausible GPIOBASE " + HexWord(raw);
    return 0;
  }
  return base;
}

}  // namespace

TIchGpio::TIchGpio(TReadWrite& rw) : TGpioBase(TPinNaming{64, false, 0}), Rw_(rw) {
  std::string why;
  Base_ = FindIchBlock(rw, why);
  Present_ = Base_ != 0;
  if (!Present_) RwDebugLine("ICHGPIO: " + why + ", refused");
}

void TIchGpio::ReadPins() {
  if (!Present_) return;
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
  // Setting the enable bit makes a pin a GPIO: only for a state a GPIO can be in.
  if (!Present_ || index >= PinCount() || !IsDrivenState(state)) return;
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

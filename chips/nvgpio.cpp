#include "chips/nvgpio.h"

#include "hw/readwrite.h"

namespace {

constexpr uint32_t kSmbusClassAnyInterface = 0x0C05FF;
constexpr uint16_t kNvidiaVendor = 0x10DE;
constexpr uint16_t kGpioBaseRegister = 0x64;
constexpr uint16_t kGpioBaseMask = 0xFF00;
constexpr uint16_t kFirstPinPort = 0xC0;

// Pin modes in the low nibble of a pin's byte.
constexpr uint8_t kModeInputLow = 0, kModeInputHigh = 1, kModeOutputLow = 4, kModeOutputHigh = 5;

}  // namespace

TNvGpio::TNvGpio(TReadWrite& rw) : TGpioBase(TPinNaming{64, false, 1}), Rw_(rw) {
  const uint16_t bdf = rw.FindPciDeviceByClass(kSmbusClassAnyInterface, 0);
  if (bdf == kNoPciDevice || rw.PciReadWord(bdf, 0) != kNvidiaVendor) return;
  Base_ = static_cast<uint16_t>(rw.PciReadWord(bdf, kGpioBaseRegister) & kGpioBaseMask);
  Found_ = true;
}

void TNvGpio::ReadPins() {
  if (!Found_) return;
  for (int pin = 0; pin < PinCount(); ++pin) {
    const uint8_t mode =
        Rw_.IoBaseReadByte(static_cast<uint16_t>(Base_ + kFirstPinPort + pin)) & 0x0F;
    uint8_t state = kPinNotGpio;
    switch (mode) {
      case kModeInputLow:
        state = kPinInputLow;
        break;
      case kModeInputHigh:
        state = kPinInputHigh;
        break;
      case kModeOutputLow:
        state = kPinOutputLow;
        break;
      case kModeOutputHigh:
        state = kPinOutputHigh;
        break;
      default:
        break;
    }
    PinStates_[static_cast<size_t>(pin)] = state;
  }
}

void TNvGpio::SetPin(uint8_t index, uint8_t state) {
  if (!Found_ || index >= PinCount()) return;
  uint8_t mode = state;  // codes without a mode of their own are written as they are
  switch (state) {
    case kPinInputLow:
      mode = kModeInputLow;
      break;
    case kPinInputHigh:
      mode = kModeInputHigh;
      break;
    case kPinOutputLow:
      mode = kModeOutputLow;
      break;
    case kPinOutputHigh:
      mode = kModeOutputHigh;
      break;
    default:
      break;
  }
  Rw_.IoBaseWriteByte(static_cast<uint16_t>(Base_ + kFirstPinPort + index), mode);
}

void TNvGpio::Dump(TStrings& lines) {
  if (Found_) TGpioBase::Dump(lines);
}

#include "chips/nvgpio.h"

#include <string>

#include "base/textfmt.h"
#include "base/trace.h"
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
  auto refuse = [](const std::string& why) { RwDebugLine("NVGPIO: " + why + ", refused"); };
  const uint16_t bdf = rw.FindPciDeviceByClass(kSmbusClassAnyInterface, 0);
  if (bdf == kNoPciDevice) {
    refuse("no SMBus controller");
    return;
  }
  const uint16_t vendor = rw.PciReadWord(bdf, 0);
  if (vendor != kNvidiaVendor) {
    refuse("the SMBus controller is not NVIDIA's (vendor " + HexWord(vendor) + ")");
    return;
  }
  // The pins lie at base + 0xC0 .. base + 0xFF: a base of 0 would put them on the legacy ISA
  // devices, one of all ones on nothing.
  const uint16_t base =
      static_cast<uint16_t>(rw.PciReadWord(bdf, kGpioBaseRegister) & kGpioBaseMask);
  if (base == 0 || base == kGpioBaseMask) {
    refuse("implausible GPIO base " + HexWord(base));
    return;
  }
  Base_ = base;
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
  // A code without a mode of its own would be written as a mode byte and make the pin a GPIO.
  if (!Found_ || index >= PinCount() || !IsDrivenState(state)) return;
  uint8_t mode = kModeInputLow;
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

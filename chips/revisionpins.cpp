#include "chips/revisionpins.h"

#include <memory>

#include "chips/gpiocontrol.h"
#include "chips/sio.h"

std::string TGpioRevisionPins::SelectByPins(std::string_view interfaceName, const TStrings& lines) {
  std::unique_ptr<TGpioBase> gpio = CreateGpio(interfaceName, Rw_, Sio_);
  return gpio ? gpio->SelectByPins(lines) : std::string();
}

std::string TGpioRevisionPins::SuperIoName() const {
  return Sio_ != nullptr && Sio_->Detected() ? Sio_->Name : std::string();
}

#include "chips/gpiocontrol.h"

#include "chips/ichgpio.h"
#include "chips/it8720gpio.h"
#include "chips/nvgpio.h"
#include "chips/w627gpio.h"
#include "chips/w667gpio.h"

namespace {

// The families a model file's interface can name.
bool ControlKind(int kind) {
  for (const TGpioInterface& entry : kGpioInterfaces) {
    if (entry.Kind == kind) return entry.InModelFiles;
  }
  return false;
}

}  // namespace

TGpioKind GpioKindByName(std::string_view interfaceName) {
  for (const TGpioInterface& entry : kGpioInterfaces) {
    if (entry.Name == interfaceName) return entry.Kind;
  }
  return kGpioNone;
}

std::string_view GpioInterfaceName(TGpioKind kind) {
  for (const TGpioInterface& entry : kGpioInterfaces) {
    if (entry.Kind == kind) return entry.Name;
  }
  return {};
}

std::string GpioInterfaceNames(bool modelFileOnly) {
  std::string names;
  for (const TGpioInterface& entry : kGpioInterfaces) {
    if (modelFileOnly && !entry.InModelFiles) continue;
    if (!names.empty()) names += ", ";
    names += entry.Name;
  }
  return names;
}

std::unique_ptr<TGpioBase> CreateGpio(TGpioKind kind, TReadWrite& rw, TSio* sio) {
  switch (kind) {
    case kGpioIch:
      return std::make_unique<TIchGpio>(rw);
    case kGpioNv:
      return std::make_unique<TNvGpio>(rw);
    case kGpioW627:
      if (sio != nullptr) return std::make_unique<TW627Gpio>(*sio);
      break;
    case kGpioW667:
      if (sio != nullptr) return std::make_unique<TW667Gpio>(*sio);
      break;
    case kGpioIt8720:
      if (sio != nullptr) return std::make_unique<TIT8720Gpio>(rw, *sio);
      break;
    case kGpioNone:
      break;
  }
  return nullptr;
}

std::unique_ptr<TGpioBase> CreateGpio(std::string_view interfaceName, TReadWrite& rw, TSio* sio) {
  return CreateGpio(GpioKindByName(interfaceName), rw, sio);
}

TGpioControl::TGpioControl(const TiFile& cfg, TReadWrite& rw, std::function<TSio*()> currentSio)
    : Cfg_(cfg), Rw_(rw), CurrentSio_(std::move(currentSio)) {}

TGpioKind TGpioControl::KindOf(std::string_view interfaceName) {
  const TGpioKind kind = GpioKindByName(interfaceName);
  return ControlKind(kind) ? kind : kGpioNone;
}

std::unique_ptr<TGpioBase> TGpioControl::Create(int kind) {
  if (!ControlKind(kind)) return nullptr;
  return CreateGpio(static_cast<TGpioKind>(kind), Rw_, CurrentSio_ ? CurrentSio_() : nullptr);
}

int TGpioControl::StateIndex(int kind, std::string_view section, bool* found) {
  if (found != nullptr) *found = false;
  if (!ControlKind(kind)) return 0;
  TStrings settings;
  Cfg_.ReadSectionValueList(section, settings);
  std::unique_ptr<TGpioBase> gpio = Create(kind);
  return gpio ? gpio->FindMatching(settings, found) : 0;
}

bool TGpioControl::ApplySetting(int kind, std::string_view setting) {
  std::unique_ptr<TGpioBase> gpio = Create(kind);
  return gpio && gpio->Apply(setting);
}

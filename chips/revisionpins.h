// The GPIO layer's answer to board version control: pin settings tested through fresh back-ends.
#pragma once

#include "platform/versioncontrol.h"

class TSio;

class TGpioRevisionPins : public IRevisionPins {
 public:
  // sio is the detected Super I/O, or null when none was found (W627GPIO then never matches).
  TGpioRevisionPins(TReadWrite& rw, TSio* sio) : Rw_(rw), Sio_(sio) {}

  std::string SelectByPins(std::string_view interfaceName, const TStrings& lines) override;
  std::string SuperIoName() const override;

 private:
  TReadWrite& Rw_;
  TSio* Sio_;
};

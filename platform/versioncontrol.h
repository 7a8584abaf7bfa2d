// Board revision: which of the hardware revisions the model file lists the running board is,
// found by testing the GPIO pin levels each revision names, and one board flag kept in CMOS.
//
// Model file: section "VersionControl" lists revision sections by value (key names are free);
// each revision section has "Interface" ("ICHGPIO" or "W627GPIO"), "Section" (a section of
// "value=pin setting" lines), "Description" (for the trace) and, for "W627GPIO" only, "SIO" (the
// Super I/O chip the revision carries). A revision is the running board when the first line whose
// setting the pins show has the value "1".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/inifile.h"

class TReadWrite;

// What board version control asks of the GPIO layer above it (implemented there by
// TGpioRevisionPins, chips/revisionpins.h).
class IRevisionPins {
 public:
  virtual ~IRevisionPins() = default;
  // The value of the first "value=setting" line whose setting the pins of a fresh back-end of the
  // interface ("ICHGPIO", "W627GPIO") show; empty when none does or the back-end cannot be made.
  virtual std::string SelectByPins(std::string_view interfaceName, const TStrings& lines) = 0;
  // Name of the detected Super I/O chip; empty when none was detected.
  virtual std::string SuperIoName() const = 0;
};

class TVersionControl {
 public:
  // Tests every listed revision in list order and keeps the first that matches.
  TVersionControl(const TiFile& cfg, TReadWrite& rw, IRevisionPins& pins);

  // The model file lists at least one revision.
  bool IsPresent() const { return Present_; }
  // 0-based position of the matching revision in the list; -1 when none matched.
  int32_t Index() const { return Index_; }
  // Bit 0 of CMOS register 0x5A (through the RTC index and data ports 0x70/0x71).
  int CmosFlag();

 private:
  TReadWrite& Rw_;
  bool Present_ = false;
  int32_t Index_ = -1;
};

// The first-seen state of one pin, kept for the rest of the boot so that switching energy saving
// off can put the pin back. The model file names the pin (section "BackupValue", key "GPIO"); the
// state is found by testing the pin on the ICH back-end and kept in a store that lives as long as
// the boot (the current user's volatile registry key "Software\KorvanZEM\ZEMBackup" on Windows).
#pragma once

#include <string>
#include <string_view>

#include "base/inifile.h"

class TGpioBase;

// Where the backup is kept. Implemented over the registry helpers by the energy-saving engine.
class IGpioBackupStore {
 public:
  virtual ~IGpioBackupStore() = default;
  // True once a backup was taken during this boot.
  virtual bool Exists() = 0;
  // Creates the backup (volatile: gone after a restart) with one text value named after the pin.
  virtual void Write(const std::string& pin, const std::string& text) = 0;
  // The value named after the pin; empty when there is none.
  virtual std::string Read(const std::string& pin) = 0;
};

// The pin's current state as a setting: the first of pin + "=Low", "=OutputLow", "=High",
// "=OutputHigh", "=InputHigh", "=InputLow" that gpio matches; empty when none does. The unknown
// words "OutputLow" and "OutputHigh" match only a pin that is no GPIO.
std::string PinBackupText(TGpioBase& gpio, std::string_view pin);

// Reads the pin named by the model file; when there is one, finds its state on gpio (an ICH
// back-end) and, unless this boot's backup exists already, writes it to store.
void BackupFirstPinState(const TiFile& cfg, TGpioBase& gpio, IGpioBackupStore& store);

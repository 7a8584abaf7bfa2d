#include "chips/gpiobackup.h"

#include "chips/gpiobase.h"

std::string PinBackupText(TGpioBase& gpio, std::string_view pin) {
  static constexpr const char* kWords[] = {"=Low",        "=OutputLow", "=High",
                                           "=OutputHigh", "=InputHigh", "=InputLow"};
  for (const char* word : kWords) {
    std::string setting(pin);
    setting += word;
    if (gpio.Matches(setting)) return setting;
  }
  return {};
}

void BackupFirstPinState(const TiFile& cfg, TGpioBase& gpio, IGpioBackupStore& store) {
  const std::string pin = cfg.ReadString("BackupValue", "GPIO", "");
  if (pin.empty()) return;
  const std::string text = PinBackupText(gpio, pin);
  if (!store.Exists()) store.Write(pin, text);
}

#include "os/uilanguage.h"

#include <windows.h>

uint16_t OsUserDefaultUiLanguage() {
  return ::GetUserDefaultUILanguage();
}

#include "os/uilanguage.h"

#include <cstdlib>

uint16_t OsUserDefaultUiLanguage() {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] != '\0') return UiLanguageOfLocale(value);
  }
  return 1033;
}

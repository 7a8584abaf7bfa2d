#include "os/uilanguage.h"

#include <cstdlib>
#include <string_view>

uint16_t UiLanguageOfLocale(const char* locale) {
  const std::string_view name = locale != nullptr ? locale : "";
  for (std::string_view chinese : {"zh_CN", "zh_SG", "zh_Hans"}) {
    if (name.substr(0, chinese.size()) == chinese) return 2052;
  }
  return 1033;
}

uint16_t OsUserDefaultUiLanguage() {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] != '\0') return UiLanguageOfLocale(value);
  }
  return 1033;
}

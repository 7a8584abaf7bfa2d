// The user's interface language, as a Windows language identifier (1033 English (US), 2052
// Chinese (Simplified), ...).
#pragma once

#include <cstdint>
#include <string_view>

// Windows: GetUserDefaultUILanguage. Linux: from LC_ALL, LC_MESSAGES or LANG (the first that is
// set): "zh_CN", "zh_SG" and "zh_Hans" are 2052, anything else 1033.
uint16_t OsUserDefaultUiLanguage();
// The Linux rule over a locale name.
inline uint16_t UiLanguageOfLocale(const char* locale) {
  const std::string_view name = locale != nullptr ? locale : "";
  for (std::string_view chinese : {"zh_CN", "zh_SG", "zh_Hans"}) {
    if (name.substr(0, chinese.size()) == chinese) return 2052;
  }
  return 1033;
}

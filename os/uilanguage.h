// The user's interface language, as a Windows language identifier (1033 English (US), 2052
// Chinese (Simplified), ...).
#pragma once

#include <cstdint>

// Windows: GetUserDefaultUILanguage. Linux: from LC_ALL, LC_MESSAGES or LANG (the first that is
// set): "zh_CN", "zh_SG" and "zh_Hans" are 2052, anything else 1033.
uint16_t OsUserDefaultUiLanguage();
// The same rule over a locale name (tests).
uint16_t UiLanguageOfLocale(const char* locale);

// Text at the boundary of the wide-character Win32 API: the program holds UTF-8, the API takes
// UTF-16.
#pragma once

#include <string>
#include <string_view>

// Invalid sequences become U+FFFD rather than failing: a path or message is still shown.
std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);

// How a second start finds the running program: by the window class of its main window, which
// the window registers under this name.
#pragma once

inline constexpr wchar_t kMainWindowClass[] = L"TZemMainForm";
// The main window's title. The search does not match it, so the title may follow the language.
inline constexpr wchar_t kMainWindowTitle[] = L"ZemMainForm";

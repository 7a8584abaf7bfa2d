// Entry points looked up by name at run time, for functions that older systems lack.
#pragma once

#include <windows.h>

// The exported function of that name as a pointer of type TFunction; null when it is missing.
// (The detour through void (*)() is the cast the compiler accepts between function types.)
template <typename TFunction>
TFunction BindProcAddress(HMODULE module, const char* name) {
  if (module == nullptr) return nullptr;
  return reinterpret_cast<TFunction>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

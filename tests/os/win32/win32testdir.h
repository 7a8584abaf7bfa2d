// A fresh directory for one test under the system's temporary folder, removed with its files when
// the test ends.
#pragma once

#include <windows.h>

#include <string>

class TWin32TestDir {
 public:
  TWin32TestDir() {
    wchar_t base[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH, base);
    static int counter = 0;
    const std::wstring name = std::wstring(base) + L"korzem-" +
                              std::to_wstring(::GetCurrentProcessId()) + L"-" +
                              std::to_wstring(++counter);
    ::CreateDirectoryW(name.c_str(), nullptr);
    Path_.assign(name.begin(), name.end());  // the temporary folder's name is ASCII under Wine
  }
  ~TWin32TestDir() {
    WIN32_FIND_DATAA entry{};
    const HANDLE find = ::FindFirstFileA((Path_ + "\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        const std::string file = entry.cFileName;
        if (file != "." && file != "..") ::DeleteFileA((Path_ + "\\" + file).c_str());
      } while (::FindNextFileA(find, &entry));
      ::FindClose(find);
    }
    ::RemoveDirectoryA(Path_.c_str());
  }
  TWin32TestDir(const TWin32TestDir&) = delete;
  TWin32TestDir& operator=(const TWin32TestDir&) = delete;

  const std::string& Path() const { return Path_; }
  std::string File(const std::string& name) const { return Path_ + "\\" + name; }

 private:
  std::string Path_;
};

// The trace console on Windows: a console window allocated for the process ("/DEBUG"). The program
// is a window program and has none of its own; a process started with one (a test, a developer's
// console build) writes to the one it has.
#include "os/console.h"

#include <windows.h>

#include "os/win32/wide.h"

namespace {

class TWin32Console : public IOsConsole {
 public:
  TWin32Console(HANDLE output, bool allocated) : Output_(output), Allocated_(allocated) {}
  ~TWin32Console() override {
    if (Allocated_) ::FreeConsole();
  }
  TWin32Console(const TWin32Console&) = delete;
  TWin32Console& operator=(const TWin32Console&) = delete;

  void Write(std::string_view bytes) override {
    // A console takes the UTF-8 texts as characters, whatever its code page; anything else
    // (redirected output) gets the bytes as they are.
    DWORD mode = 0;
    if (::GetConsoleMode(Output_, &mode)) {
      const std::wstring text = WideFromUtf8(bytes);
      DWORD written = 0;
      ::WriteConsoleW(Output_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
      return;
    }
    while (!bytes.empty()) {
      DWORD written = 0;
      if (!::WriteFile(Output_, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                       nullptr) ||
          written == 0) {
        return;
      }
      bytes.remove_prefix(written);
    }
  }

 private:
  HANDLE Output_;
  bool Allocated_;
};

bool Usable(HANDLE handle) {
  return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

}  // namespace

std::unique_ptr<IOsConsole> OsOpenConsole() {
  HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
  bool allocated = false;
  if (!Usable(output)) {
    // A window program: give it a console; its standard output is the new console's.
    if (!::AllocConsole()) return nullptr;
    allocated = true;
    output = ::GetStdHandle(STD_OUTPUT_HANDLE);
  }
  if (!Usable(output)) {
    if (allocated) ::FreeConsole();
    return nullptr;
  }
  return std::make_unique<TWin32Console>(output, allocated);
}

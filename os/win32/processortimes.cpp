// Processor times on Windows: GetSystemTimes, looked up by name in kernel32 because Windows 2000
// and XP before SP1 lack it (the load then stays 0).
#include "os/processortimes.h"

#include <windows.h>

#include "os/win32/procaddress.h"

namespace {

using TGetSystemTimes = BOOL(WINAPI*)(FILETIME*, FILETIME*, FILETIME*);

uint64_t Ticks(const FILETIME& time) {
  return static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

class TWin32ProcessorTimes : public IOsProcessorTimes {
 public:
  explicit TWin32ProcessorTimes(TGetSystemTimes query) : Query_(query) {}

  bool Available() override { return Query_ != nullptr; }

  bool GetSystemTimes(TProcessorTimes& times) override {
    FILETIME idle{}, kernel{}, user{};
    if (Query_ == nullptr || !Query_(&idle, &kernel, &user)) return false;
    times.Idle = Ticks(idle);
    times.Kernel = Ticks(kernel);
    times.User = Ticks(user);
    return true;
  }

 private:
  TGetSystemTimes Query_;
};

}  // namespace

std::unique_ptr<IOsProcessorTimes> OsCreateProcessorTimes() {
  return std::make_unique<TWin32ProcessorTimes>(
      BindProcAddress<TGetSystemTimes>(::GetModuleHandleW(L"kernel32.dll"), "GetSystemTimes"));
}

#include "os/localtime.h"

#include <windows.h>

namespace {

class TWin32LocalTime : public IOsLocalTime {
 public:
  TLocalDateTime Now() override {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    TLocalDateTime result;
    result.Year = now.wYear;
    result.Month = now.wMonth;
    result.Day = now.wDay;
    result.Hour = now.wHour;
    result.Minute = now.wMinute;
    result.Second = now.wSecond;
    result.Millisecond = now.wMilliseconds;
    return result;
  }
};

}  // namespace

std::unique_ptr<IOsLocalTime> OsCreateLocalTime() {
  return std::make_unique<TWin32LocalTime>();
}

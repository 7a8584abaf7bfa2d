#include "os/localtime.h"

#include <time.h>

namespace {

class TLinuxLocalTime : public IOsLocalTime {
 public:
  TLocalDateTime Now() override {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    TLocalDateTime result;
    result.Year = local.tm_year + 1900;
    result.Month = local.tm_mon + 1;
    result.Day = local.tm_mday;
    result.Hour = local.tm_hour;
    result.Minute = local.tm_min;
    // A leap second shows as second 60; the calendar the program uses has none.
    result.Second = local.tm_sec > 59 ? 59 : local.tm_sec;
    result.Millisecond = static_cast<int>(now.tv_nsec / 1000000);
    return result;
  }
};

}  // namespace

std::unique_ptr<IOsLocalTime> OsCreateLocalTime() {
  return std::make_unique<TLinuxLocalTime>();
}

// The local wall clock: the current date and time in the user's time zone.
#pragma once

#include <cstdint>
#include <memory>

// A calendar date and time of day (month and day from 1, 24-hour clock).
struct TLocalDateTime {
  int Year = 1899;
  int Month = 12;
  int Day = 30;
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
  int Millisecond = 0;
  bool operator==(const TLocalDateTime&) const = default;
};

class IOsLocalTime {
 public:
  virtual ~IOsLocalTime() = default;
  virtual TLocalDateTime Now() = 0;
};

std::unique_ptr<IOsLocalTime> OsCreateLocalTime();

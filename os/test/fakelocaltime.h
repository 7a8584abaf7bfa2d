// In-memory double of the local clock: the test sets the time the program sees.
#pragma once

#include "os/localtime.h"

class TFakeLocalTime : public IOsLocalTime {
 public:
  TFakeLocalTime() = default;
  explicit TFakeLocalTime(const TLocalDateTime& current) : Current(current) {}

  // --- set by the test ---
  TLocalDateTime Current{2009, 3, 7, 14, 5, 9, 0};

  // --- checked by the test ---
  int Queries = 0;

  TLocalDateTime Now() override;
};

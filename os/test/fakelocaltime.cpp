#include "os/test/fakelocaltime.h"

TLocalDateTime TFakeLocalTime::Now() {
  ++Queries;
  return Current;
}

// Number texts of the engine's record log and trace lines: general float format with up to 15
// significant digits (a 32-bit value shows its exact binary expansion, as the log always has).
#pragma once

#include <cstdio>
#include <string>

inline std::string RecordNumber(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

// Collects the trace lines written while the object lives, so a test can check the exact lines.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "base/trace.h"

class TTraceCapture : public ITraceTap {
 public:
  TTraceCapture() { SetTraceTap(this); }
  ~TTraceCapture() override { SetTraceTap(nullptr); }
  TTraceCapture(const TTraceCapture&) = delete;
  TTraceCapture& operator=(const TTraceCapture&) = delete;
  void OnTraceLine(std::string_view text) override { Lines.emplace_back(text); }
  void OnRwDebugLine(std::string_view) override {}

  // A line exactly so.
  bool Has(std::string_view line) const {
    return std::find(Lines.begin(), Lines.end(), line) != Lines.end();
  }
  // A line that begins so.
  bool HasStart(std::string_view start) const {
    return std::any_of(Lines.begin(), Lines.end(),
                       [start](const std::string& line) { return line.rfind(start, 0) == 0; });
  }

  std::vector<std::string> Lines;
};

// Helpers of the power-integration tests: a private directory per test and the trace lines
// written while a test runs.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>
#include "tests/support/tempdir.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/trace.h"

namespace winpowertest {

namespace fs = std::filesystem;

using ::TTempDir;

// The trace-console lines written while the object lives.
class TTraceLines : public ITraceTap {
 public:
  TTraceLines() { SetTraceTap(this); }
  ~TTraceLines() override { SetTraceTap(nullptr); }
  TTraceLines(const TTraceLines&) = delete;
  TTraceLines& operator=(const TTraceLines&) = delete;
  void OnTraceLine(std::string_view text) override { Lines.emplace_back(text); }
  void OnRwDebugLine(std::string_view) override {}
  std::vector<std::string> Lines;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace winpowertest

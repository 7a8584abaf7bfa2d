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
#include "tests/support/tracecapture.h"

namespace winpowertest {

namespace fs = std::filesystem;

using ::TTempDir;

// The trace-console lines written while the object lives.
using TTraceLines = TTraceCapture;

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

// Helpers of the power-integration tests: a private directory per test and the trace lines
// written while a test runs.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/trace.h"

namespace winpowertest {

namespace fs = std::filesystem;

class TTempDir {
 public:
  TTempDir() {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "-" + info->name();
    for (char& c : name) {
      if (c == '/') c = '_';
    }
    Path_ = fs::path(testing::TempDir()) /
            ("korzem-winpower-" + std::to_string(::getpid()) + "-" + name);
    fs::remove_all(Path_);
    fs::create_directories(Path_);
  }
  ~TTempDir() {
    std::error_code ignored;
    fs::remove_all(Path_, ignored);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  std::string Path() const { return Path_.string(); }
  std::string operator/(const std::string& name) const { return (Path_ / name).string(); }

 private:
  fs::path Path_;
};

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

// A folder of the running test's own, named after the test and removed with the object.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>

class TTempDir {
 public:
  TTempDir() {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "-" + info->name();
    for (char& c : name) {
      if (c == '/') c = '_';
    }
    Path_ = std::filesystem::path(testing::TempDir()) /
            ("korzem-" + std::to_string(::getpid()) + "-" + name);
    std::filesystem::remove_all(Path_);
    std::filesystem::create_directories(Path_);
  }
  ~TTempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(Path_, ignored);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  std::string Path() const { return Path_.string(); }
  std::string operator/(const std::string& name) const { return (Path_ / name).string(); }

 private:
  std::filesystem::path Path_;
};

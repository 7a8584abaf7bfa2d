// A test with a fresh temporary directory holding one file, "Model.ini", that the test fills and
// reads back byte for byte; the directory goes away after the test.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <system_error>

class TTempFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A folder no other test (or run) uses: created anew, never an existing one.
    std::random_device random;
    for (int attempt = 0; attempt < 100 && Dir.empty(); ++attempt) {
      const std::filesystem::path candidate =
          std::filesystem::temp_directory_path() / ("korzem-" + std::to_string(random()));
      std::error_code error;
      if (std::filesystem::create_directory(candidate, error)) Dir = candidate;
    }
    ASSERT_FALSE(Dir.empty());
    Path = (Dir / "Model.ini").string();
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(Dir, ignored);
  }
  // Replaces the file with exactly these bytes.
  void Put(const std::string& bytes) const {
    std::ofstream out(Path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  // The file's bytes now.
  std::string Bytes() const {
    std::ifstream in(Path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::filesystem::path Dir;
  std::string Path;
};

// Runs the built programs (zemctl, korzem) as a user would: arguments through the shell, standard
// output and error captured separately, and the exit status.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace e2e {

struct TRun {
  int Status = -1;
  std::string Out;
  std::string Err;
};

inline std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// arguments are shell words, quoted by the caller where needed.
inline TRun Run(const std::string& program, const std::string& arguments) {
  const std::string errPath = ::testing::TempDir() + "e2e-err-" + std::to_string(::getpid());
  const std::string command = program + " " + arguments + " 2>" + errPath;
  TRun run;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return run;
  std::array<char, 4096> buffer{};
  size_t got;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
    run.Out.append(buffer.data(), got);
  }
  const int status = ::pclose(pipe);
  run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.Err = Slurp(errPath);
  ::unlink(errPath.c_str());
  return run;
}

inline TRun Zemctl(const std::string& arguments) {
  return Run(ZEMCTL_PATH, arguments);
}

#ifdef KORZEM_PATH
inline TRun Korzem(const std::string& arguments) {
  return Run(KORZEM_PATH, arguments);
}
#endif

}  // namespace e2e

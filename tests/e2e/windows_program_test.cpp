// KorZem.exe end to end on the simulated PC (under Wine here): the program starts, works on the
// simulated board in process and draws its window.
#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>

#include "app/gfx/png.h"
#include "tests/support/tempdir.h"

namespace {

// The build names the program by its path on the build machine; Wine shows that file system as
// drive Z:.
std::string ProgramPath() {
  std::string path = KORZEM_PATH;
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

struct TRun {
  DWORD Status = 0xFFFFFFFF;
  std::string Out;
};

// Runs the program with arguments and collects what it writes to standard output and error.
TRun RunKorZem(const std::string& arguments) {
  TRun run;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
  ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION process{};
  std::string commandLine = "\"" + ProgramPath() + "\" " + arguments;
  const BOOL started = ::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process);
  ::CloseHandle(writeEnd);
  if (started) {
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0)
      run.Out.append(buffer, got);
    ::WaitForSingleObject(process.hProcess, 120000);
    ::GetExitCodeProcess(process.hProcess, &run.Status);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
  }
  ::CloseHandle(readEnd);
  return run;
}

}  // namespace

TEST(WindowsProgram, DrawsItsWindowOnASimulatedBoard) {
  TTempDir dir;
  const std::string picture = dir / "korzem.png";
  const TRun run =
      RunKorZem("--machine sim:p35-core2 --load 10 --ticks 3 --snapshot \"" + picture + "\"");
  ASSERT_EQ(run.Status, 0u) << run.Out;
  const std::optional<TBitmap> window = LoadPng(picture, Rgb(0, 0, 255));
  ASSERT_TRUE(window.has_value());
  EXPECT_GT(window->Width(), 100);
  EXPECT_GT(window->Height(), 50);
}

TEST(WindowsProgram, RefusesAnUnknownMachineAndOption) {
  TRun run = RunKorZem("--machine sim:no-such-board --snapshot x.png");
  EXPECT_NE(run.Status, 0u);
  EXPECT_NE(run.Out.find("no-such-board"), std::string::npos) << run.Out;
  run = RunKorZem("--no-such-option");
  EXPECT_EQ(run.Status, 2u);
  EXPECT_NE(run.Out.find("unknown option --no-such-option"), std::string::npos) << run.Out;
}

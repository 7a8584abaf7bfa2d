// Runs a command line of the system (reg.exe and the like) and captures what it writes.
#pragma once

#include <windows.h>

#include <string>

struct TProcessResult {
  bool Started = false;
  DWORD ExitCode = 0;
  std::string Output;  // standard output and standard error, as bytes
};

inline TProcessResult RunCommandLine(const std::wstring& commandLine) {
  TProcessResult result;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return result;
  ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  PROCESS_INFORMATION process{};
  std::wstring mutableLine = commandLine;
  result.Started = ::CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, TRUE,
                                    CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
  ::CloseHandle(writeEnd);
  if (result.Started) {
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) {
      result.Output.append(buffer, got);
    }
    ::WaitForSingleObject(process.hProcess, 60000);
    ::GetExitCodeProcess(process.hProcess, &result.ExitCode);
    ::CloseHandle(process.hProcess);
    ::CloseHandle(process.hThread);
  }
  ::CloseHandle(readEnd);
  return result;
}

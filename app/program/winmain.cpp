// KorZem.exe: the Windows program (GUI subsystem, so no console window opens; "/DEBUG" allocates
// one for the trace).
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/program/entry.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // The C runtime has split the command line as the system's own programs do.
  std::vector<std::string> commandLine(__argv, __argv + __argc);
  return RunKorZem(commandLine);
}

// korzem: the program.
#include <string>
#include <vector>

#include "app/program/entry.h"

int main(int argc, char** argv) {
  const std::vector<std::string> commandLine(argv, argv + argc);
  return RunGuarded("korzem", [&commandLine] { return RunKorZem(commandLine); });
}

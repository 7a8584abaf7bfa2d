// korzem: the program.
#include <string>
#include <vector>

#include "app/program/entry.h"

int main(int argc, char** argv) {
  return RunKorZem(std::vector<std::string>(argv, argv + argc));
}

// The program's entry: the command-line switches, the trace console, the single-instance mark and
// the requests a second start sends, then the window on the chosen machine in the chosen shell.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

// The two switches are found by containment in the upper-cased command line (program path
// included), as the program always has; Linux users may also write --debug and --uninstall.
struct TEntrySwitches {
  bool Debug = false;
  bool Uninstall = false;
};
TEntrySwitches FindSwitches(const std::vector<std::string>& commandLine);

struct TEntryOptions {
  std::string Machine = "linux";  // "linux" or "sim:BOARD"
  std::string SimState;           // simulated PC kept between runs
  std::string Directory;          // KorZem.ini, model and scheme files; default beside korzem
  std::string Assets;             // the window's pictures; default <Directory>/assets
  std::string Load;               // simulated load: a percentage or "host"
  std::string Snapshot;           // write the window to this PNG and end (headless)
  uint32_t Ticks = 3;             // sampling ticks before the snapshot
  bool Help = false;
  bool Version = false;
  std::string Error;  // a bad option: the message
};
TEntryOptions ParseEntryOptions(const std::vector<std::string>& arguments);
// --load's value: a finite percentage from 0 to 100, or "host" (given as -1); nothing otherwise.
std::optional<double> ParseLoad(const std::string& text);
std::string EntryUsage();

// Runs the program; returns the process's exit status.
int RunKorZem(const std::vector<std::string>& commandLine);

// The program's last line of defence: runs run and returns its status; an exception that escapes
// it is reported on standard error as "<program>: unexpected error: <what>" and gives status 1.
// By then the stack has unwound, so the window and its context have been destroyed in order and
// the model file holds the totals of the run.
int RunGuarded(const char* program, const std::function<int()>& run);

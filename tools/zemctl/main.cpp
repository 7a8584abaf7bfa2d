// zemctl: the diagnostic tool. It reaches the hardware exactly as the program does, through the
// register-access service and the driver wire format, on real hardware, a simulated board or a
// recorded capture.
#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>
#include <string>

#include "sim/simmachine.h"
#include "sim/workload.h"
#include "tools/zemctl/commands.h"

namespace {

void PrintHelp(FILE* out) {
  std::fprintf(out,
               "Usage: zemctl [OPTIONS] COMMAND [ARGUMENTS]\n"
               "\n"
               "Options:\n"
               "  --machine linux|sim:NAME|replay:FILE\n"
               "                     the hardware: this PC (default, needs root), a simulated\n"
               "                     board of data/boards by name or path, or a capture\n"
               "  --sim-state FILE   load the simulated machine from FILE if it exists and save\n"
               "                     it back at exit\n"
               "  --dir DIR          program directory with KorZem.ini and the model files\n"
               "                     (default: the directory of zemctl)\n"
               "  --load PERCENT|host\n"
               "                     simulated processor load, fixed or following this PC's\n"
               "  --rwdebug FILE     write the register-access debug file to FILE\n"
               "  --record FILE      write every driver call to the capture FILE\n"
               "  --sysroot DIR      root of /sys, /proc and /dev for --machine linux\n"
               "  --help             this text\n"
               "\n"
               "Commands:\n");
  for (const TCommand& command : Commands()) {
    std::string head = command.Name;
    if (*command.Usage) head += std::string(" ") + command.Usage;
    std::fprintf(out, "  %-18s %s\n", head.c_str(), command.Summary);
  }
  std::fprintf(out,
               "\nExit status: 0 success, 1 failure (one line on standard error), 2 bad usage.\n");
}

int Usage(const std::string& message) {
  std::fprintf(stderr, "zemctl: %s (see zemctl --help)\n", message.c_str());
  return kExitUsage;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "zemctl: %s\n", message.c_str());
  return kExitFailure;
}

bool ValidMachine(const std::string& machine) {
  if (machine == "linux") return true;
  if (machine.rfind("sim:", 0) == 0) return machine.size() > 4;
  if (machine.rfind("replay:", 0) == 0) return machine.size() > 7;
  return false;
}

int Run(int argc, char** argv) {
  TCommandContext context;
  const TCommand* command = nullptr;
  std::optional<std::string> load;
  int index = 1;
  for (; index < argc; ++index) {
    const std::string argument = argv[index];
    if (argument == "--help" || argument == "-h") {
      PrintHelp(stdout);
      return kExitOk;
    }
    if (argument.rfind("--", 0) != 0) break;
    std::string* target = nullptr;
    if (argument == "--machine") target = &context.Options.Machine;
    if (argument == "--sim-state") target = &context.Options.SimState;
    if (argument == "--dir") target = &context.Options.Directory;
    if (argument == "--rwdebug") target = &context.Options.RwDebugFile;
    if (argument == "--record") target = &context.Options.RecordFile;
    if (argument == "--sysroot") target = &context.Options.SysRoot;
    if (argument == "--load") target = &load.emplace();
    if (!target) return Usage("unknown option " + argument);
    if (index + 1 >= argc) return Usage(argument + " needs a value");
    *target = argv[++index];
  }
  if (!ValidMachine(context.Options.Machine)) {
    return Usage("unknown machine " + context.Options.Machine);
  }
  if (index >= argc) return Usage("no command given");
  command = FindCommand(argv[index]);
  if (!command) return Usage(std::string("unknown command ") + argv[index]);
  for (++index; index < argc; ++index) context.Arguments.emplace_back(argv[index]);

  if (!command->NeedsMachine) {
    const int status = command->Run(context, nullptr);
    return status == kExitFailure ? Fail(context.Error) : status;
  }

  TMachineSession session(context.Options);
  std::string error;
  if (!session.Open(&error)) return Fail(error);
  if (load) {
    if (session.Simulated() == nullptr) return Usage("--load needs a simulated machine");
    if (!SetSimLoadOption(*session.Simulated(), *load, &error)) return Usage(error);
  }
  int status = command->Run(context, &session);
  std::fflush(context.Out);
  std::string closeError;
  if (!session.Close(&closeError) && status == kExitOk) {
    context.Error = closeError;
    status = kExitFailure;
  }
  if (status == kExitUsage) return Usage(context.Error);
  return status == kExitFailure ? Fail(context.Error) : status;
}

}  // namespace

// An exception that escapes a command (none should) is reported as a failure, after the session
// has been closed by the unwinding, instead of aborting the process.
int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& error) {
    return Fail(std::string("unexpected error: ") + error.what());
  } catch (...) {
    return Fail("unexpected error");
  }
}

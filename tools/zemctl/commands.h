// zemctl's commands: one row each, with the help text shown by --help.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "app/host/machinesession.h"

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

struct TCommandContext {
  TMachineOptions Options;
  std::vector<std::string> Arguments;  // after the command name
  FILE* Out = stdout;
  std::string Error;  // one line, set by a failing command
};

struct TCommand {
  const char* Name;
  const char* Usage;    // arguments after the name
  const char* Summary;  // one line for --help
  bool NeedsMachine;    // runs on a connected session
  // Returns an exit status; a failure leaves its one-line reason in context.Error.
  int (*Run)(TCommandContext& context, TMachineSession* session);
};

const std::vector<TCommand>& Commands();

// Commands with units of their own.
int RunInfo(TCommandContext& context, TMachineSession* session);
int RunSio(TCommandContext& context, TMachineSession* session);
int RunGpio(TCommandContext& context, TMachineSession* session);
int RunHwm(TCommandContext& context, TMachineSession* session);
int RunStatus(TCommandContext& context, TMachineSession* session);
int RunOn(TCommandContext& context, TMachineSession* session);
int RunOff(TCommandContext& context, TMachineSession* session);
int RunEstimate(TCommandContext& context, TMachineSession* session);
// info's last lines: the board revision and the energy-saving state, from the program's context
// (which takes over the session's register access: nothing may use it afterwards).
void PrintEngineInfo(TCommandContext& context, TMachineSession* session);

class TSio;
// "Super I/O: <Name> (vendor <Vendor>, index 0x...., data 0x...., section <n>)" or "... none".
std::string SioLine(const TSio& sio);
const TCommand* FindCommand(const std::string& name);

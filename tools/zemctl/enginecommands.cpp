// zemctl's energy-saving commands, each on the program's own context: the state the hardware
// shows, switching, and the engine's per-tick estimate.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/host/programrun.h"
#include "chips/hwm.h"
#include "engine/zemctrl.h"
#include "platform/versioncontrol.h"
#include "sim/simmachine.h"
#include "sim/vrm.h"
#include "tools/zemctl/commands.h"

namespace {

void PrintStatus(TCommandContext& context, TZemCtrl& zem) {
  std::fprintf(context.Out, "ZEM: %s\n", zem.Status() == TZemCtrl::kStatusOn ? "on" : "off");
}

int RunSwitch(TCommandContext& context, TMachineSession* session, int which) {
  if (!context.Arguments.empty()) {
    context.Error = "this command takes no arguments";
    return kExitUsage;
  }
  TProgramRun run(*session);
  if (!run.Start(&context.Error)) return kExitFailure;
  TZemCtrl& zem = *run.Context().Zem;
  // A misspelt interface would switch nothing on and still print the state.
  if (which == 1 && !zem.UnknownInterface().empty()) {
    context.Error = "on: the model file names an unknown interface " + zem.UnknownInterface() +
                    " (known: " + GpioInterfaceNames(true) + ", " + std::string(kAmdPsiName) + ")";
    return kExitFailure;
  }
  if (which == 1) zem.SwitchOn();
  if (which == 2) zem.SwitchOff();
  if (which == 0) zem.ReadStatus();
  PrintStatus(context, zem);
  return kExitOk;
}

bool ParseCount(const std::string& text, long minimum, long maximum, long* value) {
  char* end = nullptr;
  const long parsed = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || parsed < minimum || parsed > maximum) return false;
  *value = parsed;
  return true;
}

}  // namespace

int RunStatus(TCommandContext& context, TMachineSession* session) {
  return RunSwitch(context, session, 0);
}
int RunOn(TCommandContext& context, TMachineSession* session) {
  return RunSwitch(context, session, 1);
}
int RunOff(TCommandContext& context, TMachineSession* session) {
  return RunSwitch(context, session, 2);
}

int RunEstimate(TCommandContext& context, TMachineSession* session) {
  long ticks = -1;
  long interval = 1000;
  bool truth = false;
  const std::vector<std::string>& args = context.Arguments;
  for (size_t i = 0; i < args.size(); ++i) {
    const bool hasValue = i + 1 < args.size();
    if (args[i] == "--ticks" && hasValue && ParseCount(args[i + 1], 1, 1000000, &ticks)) {
      ++i;
    } else if (args[i] == "--interval" && hasValue &&
               ParseCount(args[i + 1], 1, 3600000, &interval)) {
      ++i;
    } else if (args[i] == "--truth") {
      truth = true;
    } else {
      context.Error = "estimate: bad argument " + args[i] +
                      " (use --ticks N [--interval MS] [--truth], N >= 1, MS >= 1)";
      return kExitUsage;
    }
  }
  if (ticks < 0) {
    context.Error = "estimate needs --ticks N";
    return kExitUsage;
  }
  TProgramRun run(*session);
  if (!run.Start(&context.Error)) return kExitFailure;
  TZemContext& program = run.Context();
  TSimVrm* vrm = session->Simulated() ? FindSimVrm(*session->Simulated()) : nullptr;
  for (long tick = 1; tick <= ticks; ++tick) {
    run.Wait(static_cast<uint32_t>(interval));
    program.Hwm->RefreshVcore();
    program.Zem->ComputePower();
    program.Zem->ComputeSaving();
    const TZemCtrl& zem = *program.Zem;
    std::fprintf(
        context.Out, "tick=%ld Vcore=%.3f VImon=%.3f Izem=%.3f Wzem=%.3f Wsaving=%.3f phases=%d\n",
        tick, static_cast<double>(program.Hwm->GetVcore()), static_cast<double>(zem.VImon()),
        static_cast<double>(zem.Izem()), static_cast<double>(zem.Wzem()),
        static_cast<double>(zem.Wsaving()), zem.PhaseCount());
    if (truth && vrm != nullptr) {
      const TSimVrmReading real = vrm->Read();
      std::fprintf(context.Out, "sim Vcore=%.3f Amps=%.3f Watts=%.3f InputWatts=%.3f phases=%u\n",
                   real.Vcore, real.Amps, real.ProcessorWatts, real.InputWatts, real.Phases);
    }
  }
  return kExitOk;
}

void PrintEngineInfo(TCommandContext& context, TMachineSession* session) {
  TProgramRun run(*session);
  std::string error;
  if (!run.Start(&error)) {
    std::fprintf(context.Out, "Revision: -1\nZEM: not available (%s)\n", error.c_str());
    return;
  }
  TZemContext& program = run.Context();
  std::fprintf(context.Out, "Revision: %d\n", program.Version->Index());
  program.Zem->ReadStatus();
  PrintStatus(context, *program.Zem);
}

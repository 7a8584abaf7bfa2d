// zemctl's chip commands: the Super I/O chip, GPIO pins through a back-end, the hardware monitor.
#include <cstdio>
#include <memory>

#include "base/textfmt.h"
#include "chips/gpiocontrol.h"
#include "chips/hwm.h"
#include "chips/sio.h"
#include "os/files.h"
#include "os/singleinstance.h"
#include "platform/cpu.h"
#include "platform/korspec.h"
#include "tools/zemctl/commands.h"

namespace {

// Super I/O detection as the program runs it, with its own request poster for RWEXIT.
struct TSioRun {
  std::unique_ptr<IInstancePoster> Poster = OsCreateInstancePoster();
  std::unique_ptr<TSio> Sio;

  explicit TSioRun(TMachineSession& session) : Sio(Make(session)) {}
  std::unique_ptr<TSio> Make(TMachineSession& session) {
    return std::make_unique<TSio>(
        session.InitFile(),
        TScriptServices{session.ReadWrite(),
                        session.InitFile().OsVersion->SystemInfo.NumberOfProcessors, *Poster});
  }
};

// The model file the program would open: the board's entry of "SupportModel" in KorZem.ini, or
// "Cfg.ini" on AMD processors when there is none. A missing file reads as empty.
std::string ModelFilePath(TMachineSession& session, const std::string& boardModel, bool amd) {
  const std::string named = session.InitFile().ReadString("SupportModel", boardModel, "");
  const std::string directory = session.Directory() + "/";
  if (!named.empty() && OsFileExists(directory + named)) return directory + named;
  return amd ? directory + "Cfg.ini" : std::string();
}

}  // namespace

std::string SioLine(const TSio& sio) {
  if (!sio.Detected()) return "Super I/O: none";
  return "Super I/O: " + sio.Name + " (vendor " + sio.Vendor + ", index " +
         HexWord(sio.IndexPortNo) + ", data " + HexWord(sio.DataPortNo) + ", " +
         (sio.MatchedVendorSection ? "vendor section " : "section ") +
         std::to_string(sio.DetectedIndex) + ")";
}

int RunSio(TCommandContext& context, TMachineSession* session) {
  TSioRun run(*session);
  std::fprintf(context.Out, "%s\n", SioLine(*run.Sio).c_str());
  return kExitOk;
}

int RunGpio(TCommandContext& context, TMachineSession* session) {
  const std::vector<std::string>& args = context.Arguments;
  const bool dump = args.size() == 2 && args[0] == "dump";
  const bool test = args.size() == 3 && (args[0] == "match" || args[0] == "apply");
  if (!dump && !test) {
    context.Error =
        "gpio needs: dump INTERFACE | match INTERFACE SETTING | apply INTERFACE SETTING";
    return kExitUsage;
  }
  TSioRun run(*session);
  std::unique_ptr<TGpioBase> gpio = CreateGpio(args[1], session->ReadWrite(), run.Sio.get());
  if (!gpio) {
    context.Error = "unknown GPIO interface " + args[1] + " (" + GpioInterfaceNames(false) + ")";
    return kExitUsage;
  }
  if (dump) {
    TStrings lines;
    gpio->Dump(lines);
    for (const std::string& line : lines) std::fprintf(context.Out, "%s\n", line.c_str());
    return kExitOk;
  }
  // Apply reads the pins back: true only when the chip shows every state asked for. A back-end
  // whose chip is absent or of another family refuses (see --rwdebug) and prints false.
  const bool result = args[0] == "match" ? gpio->Matches(args[2]) : gpio->Apply(args[2]);
  std::fprintf(context.Out, "%s\n", result ? "true" : "false");
  return kExitOk;
}

int RunHwm(TCommandContext& context, TMachineSession* session) {
  TReadWrite& rw = session->ReadWrite();
  TInitFile& init = session->InitFile();
  TCpu cpu(rw, init);
  TKorSpec spec(rw, init, cpu.IsIntelCpu());
  TSioRun run(*session);
  TiFile model(ModelFilePath(*session, spec.ModelName(), cpu.IsAMDCpu()));
  THwmContext hwmContext{rw, model, run.Sio};
  hwmContext.NewSio = [&] { return run.Make(*session); };
  TakePlatformFacts(hwmContext, cpu, spec);
  THwm hwm(hwmContext);
  for (const std::string& line : hwm.SensorReport()) {
    std::fprintf(context.Out, "%s\n", line.c_str());
  }
  return kExitOk;
}

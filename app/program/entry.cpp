#include "app/program/entry.h"

#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <thread>

#include "app/host/machinesession.h"
#include "app/host/programrun.h"
#include "app/program/onscreen.h"
#include "app/scene/mainlayout.h"
#include "app/shell/headless/headlessshell.h"
#include "app/window/mainform.h"
#include "base/trace.h"
#include "os/files.h"
#include "os/messagebox.h"
#include "os/singleinstance.h"
#include "os/uilanguage.h"
#include "sim/simmachine.h"
#include "sim/workload.h"

#ifndef KORZEM_VERSION
#define KORZEM_VERSION "0.0.0"
#endif

TEntrySwitches FindSwitches(const std::vector<std::string>& commandLine) {
  std::string line;
  for (const std::string& word : commandLine) line += word + " ";
  for (char& c : line) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  TEntrySwitches switches;
  switches.Debug =
      line.find("/DEBUG") != std::string::npos || line.find("--DEBUG") != std::string::npos;
  switches.Uninstall =
      line.find("/UNINSTALL") != std::string::npos || line.find("--UNINSTALL") != std::string::npos;
  return switches;
}

std::string EntryUsage() {
  return "usage: korzem [options]\n"
         "  --machine linux|sim:BOARD  the PC to work on (default: this PC, needs root)\n"
         "  --sim-state FILE           keep the simulated PC (and its files) between runs\n"
         "  --load PERCENT|host        simulated processor load, fixed or following this PC's\n"
         "  --dir DIR                  folder of KorZem.ini and the model files\n"
         "  --assets DIR               folder of the window's pictures\n"
         "  --snapshot FILE.png        run without a screen and write the window as a picture\n"
         "  --ticks N                  sampling ticks before the snapshot (default 3)\n"
         "  --debug, /DEBUG            trace lines on standard error\n"
         "  --uninstall, /UNINSTALL    ask the running program to quit\n"
         "  --help, --version\n";
}

namespace {

constexpr const char* kLoadUsage = "--load needs a percentage from 0 to 100 or \"host\"";

}  // namespace

std::optional<double> ParseLoad(const std::string& text) {
  if (text == "host") return -1.0;
  char* end = nullptr;
  const double percent = std::strtod(text.c_str(), &end);
  // strtod takes "nan" and "inf" too: neither is a load.
  if (text.empty() || *end != '\0' || !std::isfinite(percent) || percent < 0 || percent > 100)
    return std::nullopt;
  return percent;
}

TEntryOptions ParseEntryOptions(const std::vector<std::string>& arguments) {
  TEntryOptions options;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    const bool hasValue = i + 1 < arguments.size();
    std::string* target = nullptr;
    if (a == "--help" || a == "-h") {
      options.Help = true;
    } else if (a == "--version") {
      options.Version = true;
    } else if (FindSwitches({a}).Debug || FindSwitches({a}).Uninstall) {
      // handled by containment
    } else if (a == "--machine") {
      target = &options.Machine;
    } else if (a == "--sim-state") {
      target = &options.SimState;
    } else if (a == "--dir") {
      target = &options.Directory;
    } else if (a == "--assets") {
      target = &options.Assets;
    } else if (a == "--load") {
      target = &options.Load;
    } else if (a == "--snapshot") {
      target = &options.Snapshot;
    } else if (a == "--ticks") {
      if (!hasValue) {
        options.Error = "--ticks needs a value";
        return options;
      }
      const std::string& text = arguments[++i];
      char* end = nullptr;
      const long ticks = std::strtol(text.c_str(), &end, 10);
      if (text.empty() || *end != '\0' || ticks < 0 || ticks > 1000000) {
        options.Error = "--ticks needs a number from 0 to 1000000";
        return options;
      }
      options.Ticks = static_cast<uint32_t>(ticks);
    } else {
      options.Error = "unknown option " + a;
      return options;
    }
    if (target != nullptr) {
      if (!hasValue) {
        options.Error = a + " needs a value";
        return options;
      }
      *target = arguments[++i];
    }
  }
  if (options.Machine != "linux" && options.Machine.rfind("sim:", 0) != 0)
    options.Error = "unknown machine " + options.Machine;
  else if (!options.Load.empty() && !ParseLoad(options.Load))
    options.Error = kLoadUsage;
  return options;
}

namespace {

int Fail(const std::string& message) {
  std::fprintf(stderr, "korzem: %s\n", message.c_str());
  return 1;
}

// Signals the running program; true when this process must end here.
bool SecondInstance(const TEntrySwitches& switches, IInstanceMark& mark) {
  if (mark.Owned()) return switches.Uninstall;
  std::unique_ptr<IInstancePoster> poster = OsCreateInstancePoster();
  if (switches.Uninstall) {
    if (poster->PostRequest(TInstanceRequest::Exit)) {
      TraceLine(">>>>>>>>> Exit Program");
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    } else {
      TraceLine(">>>>>>>>> Exit Program Fail");
    }
  } else {
    poster->PostRequest(TInstanceRequest::Restore);
  }
  return true;
}

bool SetSimulatedLoad(TSimMachine& sim, const std::string& load, std::string* error) {
  if (load.empty()) return true;
  TSimWorkload& workload = SimWorkload(sim);
  if (load == "host") return workload.FollowHost("/proc/stat", 500000, error);
  const std::optional<double> percent = ParseLoad(load);
  if (!percent) {
    *error = kLoadUsage;
    return false;
  }
  workload.SetFixed(*percent);
  return true;
}

// "major.minor.release" of the build as the about box shows it.
std::string AboutVersion() {
  unsigned parts[3] = {0, 0, 0};
  std::sscanf(KORZEM_VERSION, "%u.%u.%u", &parts[0], &parts[1], &parts[2]);
  return FileVersionText(static_cast<uint16_t>(parts[0]), static_cast<uint16_t>(parts[1]),
                         static_cast<uint16_t>(parts[2]), 0);
}

constexpr const char* kAssetsProbe = "BackgroundImage.png";

// The pictures beside the data; in the build tree, where the build draws them.
std::string DefaultAssets(const std::string& dataDirectory) {
  const std::string beside = dataDirectory + "/assets";
  if (OsFileExists(beside + "/" + kAssetsProbe)) return beside;
#ifdef KORZEM_BUILD_ASSETS
  return KORZEM_BUILD_ASSETS;
#else
  return beside;
#endif
}

}  // namespace

int RunGuarded(const char* program, const std::function<int()>& run) {
  try {
    return run();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s: unexpected error: %s\n", program, error.what());
  } catch (...) {
    std::fprintf(stderr, "%s: unexpected error\n", program);
  }
  return 1;
}

int RunKorZem(const std::vector<std::string>& commandLine) {
  const TEntrySwitches switches = FindSwitches(commandLine);
  const std::vector<std::string> arguments(commandLine.begin() + (commandLine.empty() ? 0 : 1),
                                           commandLine.end());
  TEntryOptions options = ParseEntryOptions(arguments);
  if (!options.Error.empty()) {
    std::fprintf(stderr, "korzem: %s\n%s", options.Error.c_str(), EntryUsage().c_str());
    return 2;
  }
  if (options.Help) {
    std::printf("%s", EntryUsage().c_str());
    return 0;
  }
  if (options.Version) {
    std::printf("korzem %s\n", KORZEM_VERSION);
    return 0;
  }
  // Without its pictures the window would be drawn black.
  if (!options.Assets.empty() && !OsFileExists(options.Assets + "/" + kAssetsProbe)) {
    std::fprintf(stderr, "korzem: --assets %s holds no window pictures (%s)\n%s",
                 options.Assets.c_str(), kAssetsProbe, EntryUsage().c_str());
    return 2;
  }
  GetTraceConsole(switches.Debug);

  // A snapshot run draws a picture and is nobody's running program: it takes no mark.
  const bool headless = !options.Snapshot.empty();
  std::unique_ptr<IInstanceMark> mark;
  if (!headless) {
    // "/UNINSTALL" with nothing running ends here, before it could create the mark itself.
    if (switches.Uninstall && !OsInstanceMarkHeld()) return 0;
    mark = OsCreateInstanceMark();
    if (SecondInstance(switches, *mark)) return 0;
  }

  TMachineOptions machine;
  machine.Machine = options.Machine;
  machine.SimState = options.SimState;
  machine.Directory = options.Directory.empty() ? OsExecutableDirectory() : options.Directory;
  machine.Connect = false;
  TMachineSession session(machine);
  std::string error;
  if (!session.Open(&error)) return Fail(error);
  if (TSimMachine* sim = session.Simulated()) {
    if (!SetSimulatedLoad(*sim, options.Load, &error)) return Fail(error);
    // On screen the simulated PC lives in real time; a snapshot steps its clock.
    if (!headless) sim->Clock().SetMode(TVirtualClock::TMode::WallTime);
  }

  TProgramRun run(session);
  // On screen, message boxes appear in the terminal shell rather than on standard error.
  std::unique_ptr<IOsMessageBox> systemBoxes = OsCreateMessageBox();
  std::unique_ptr<TScreenMessageBox> screenBoxes =
      headless ? nullptr : std::make_unique<TScreenMessageBox>(*systemBoxes);
  if (!run.PrepareHost(&error, screenBoxes.get())) return Fail(error);
  const uint16_t language = OsUserDefaultUiLanguage();
  run.Host().Texts = LoadZemTexts(language);
  TMainThreadQueue queue;
  TPngPictureSource pictures(options.Assets.empty() ? DefaultAssets(session.Directory())
                                                    : options.Assets);
  std::unique_ptr<TScene> scene = BuildMainScene(pictures, queue, language);

  int status = 0;
  if (headless) {
    THeadlessShell shell([&run](uint32_t ms) { run.Wait(ms); });
    TZemMainForm form(run.Host(), std::move(scene), shell, AboutVersion());
    shell.Attach(form);
    if (!form.FormCreate()) return 1;
    form.FormShow();
    form.FormActivate();
    shell.RunTicks(options.Ticks);
    if (!shell.SaveSnapshot(options.Snapshot)) status = Fail("cannot write " + options.Snapshot);
    form.ZemTrayCloseClick();
  } else {
    status = RunOnScreen(run.Host(), std::move(scene), queue, *mark, *screenBoxes, AboutVersion());
  }
  std::string closeError;
  if (!session.Close(&closeError) && status == 0) status = Fail(closeError);
  return status;
}

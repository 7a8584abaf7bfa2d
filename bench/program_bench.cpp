// The whole program on simulated boards, built as "korzem --machine sim:BOARD --snapshot" builds
// it: start-up to the first sampling tick, processor time and driver calls per sampling tick (the
// window shown with energy saving off and on, and hidden in the tray), and resident memory after a
// long run. scripts/bench.sh turns the counters into a table per board.
//
// Processor time is the process's (CLOCK_PROCESS_CPUTIME_ID): the program runs on this one thread.
// The timed wait is the driver's clock measurement, a busy wait on the PM timer that costs its full
// interval of processor time on a real PC. On a simulated board the wait only steps the virtual
// clock, so what remains of it is the emulation of the measurement; it is measured separately as
// the processor time spent inside the measuring control calls, and reported beside the interval
// the calls asked for.
#include <benchmark/benchmark.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "app/controls/eventqueue.h"
#include "app/host/machinesession.h"
#include "app/host/programrun.h"
#include "app/scene/mainlayout.h"
#include "app/scene/picturesource.h"
#include "app/shell/headless/headlessshell.h"
#include "app/window/mainform.h"
#include "bench/forwardinglink.h"
#include "hw/ioctl.h"
#include "os/driverservice.h"
#include "os/files.h"
#include "sim/simmachine.h"
#include "sim/workload.h"

namespace {

// Boards that have a model file among the program's data.
constexpr const char* kBoards[] = {"p35-core2", "x58-nehalem", "tr900-phenom", "am2-k8"};
// A steady middle load, so that the engine has work on every tick when saving is on.
constexpr double kLoadPercent = 50;
constexpr uint32_t kWarmUpTicks = 10;
constexpr uint32_t kMemoryTicks = 10000;

double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double WallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// VmRSS of this process in MiB; 0 when /proc is not there.
double ResidentMiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
  }
  return 0;
}

std::string GeneratedPictures() {
  const std::string directory = KORZEM_BUILD_ASSETS;
  return OsFileExists(directory + "/BackgroundImage.png") ? directory : std::string();
}

struct TDriverTally {
  uint64_t Calls = 0;
  uint64_t ClockCalls = 0;
  uint64_t ClockWaitMicroseconds = 0;  // the busy waits the measurements asked for
  double ClockCpuSeconds = 0;          // processor time spent inside the measuring calls
  void Reset() { *this = TDriverTally{}; }
};

// Counts the control calls a link passes on and times the clock measurements among them.
class TTallyLink final : public TForwardingLink {
 public:
  TTallyLink(std::unique_ptr<IDriverLink> inner, TDriverTally& tally)
      : TForwardingLink(std::move(inner)), Tally_(tally) {}

  bool Control(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
               uint32_t* returned) override {
    ++Tally_.Calls;
    if (code != CTL_MEASURE_CLOCK && code != CTL_MEASURE_CLOCK_AMD)
      return TForwardingLink::Control(code, in, inSize, out, outSize, returned);
    ClockRequest request{};
    if (in != nullptr && inSize >= sizeof request) std::memcpy(&request, in, sizeof request);
    ++Tally_.ClockCalls;
    Tally_.ClockWaitMicroseconds += request.Microseconds;
    const double start = CpuSeconds();
    const bool ok = TForwardingLink::Control(code, in, inSize, out, outSize, returned);
    Tally_.ClockCpuSeconds += CpuSeconds() - start;
    return ok;
  }

 private:
  TDriverTally& Tally_;
};

// The session's driver service with every device it opens counted.
class TTallyDriverService final : public IOsDriverService {
 public:
  TTallyDriverService(IOsDriverService& inner, TDriverTally& tally)
      : Inner_(inner), Tally_(tally) {}

  std::string_view DriverImage(TDriverImageKind kind) override { return Inner_.DriverImage(kind); }
  std::string SystemDirectory() override { return Inner_.SystemDirectory(); }
  std::string WindowsDirectory() override { return Inner_.WindowsDirectory(); }
  char PathSeparator() override { return Inner_.PathSeparator(); }
  TImageWriteResult WriteImageFile(const std::string& path, std::string_view bytes) override {
    return Inner_.WriteImageFile(path, bytes);
  }
  bool RemoveImageFile(const std::string& path) override { return Inner_.RemoveImageFile(path); }
  TScHandle OpenServiceManager() override { return Inner_.OpenServiceManager(); }
  TScHandle CreateDriverService(TScHandle manager, const std::string& name,
                                const std::string& displayName, const std::string& imagePath,
                                TServiceStatus* status) override {
    return Inner_.CreateDriverService(manager, name, displayName, imagePath, status);
  }
  TScHandle OpenDriverService(TScHandle manager, const std::string& name,
                              TServiceStatus* status) override {
    return Inner_.OpenDriverService(manager, name, status);
  }
  bool StartDriverService(TScHandle service) override { return Inner_.StartDriverService(service); }
  bool StopDriverService(TScHandle service) override { return Inner_.StopDriverService(service); }
  bool DeleteDriverService(TScHandle service) override {
    return Inner_.DeleteDriverService(service);
  }
  void CloseScHandle(TScHandle handle) override { Inner_.CloseScHandle(handle); }
  std::unique_ptr<IDriverLink> OpenDevice(const std::string& path, TDeviceOpenMode mode) override {
    std::unique_ptr<IDriverLink> link = Inner_.OpenDevice(path, mode);
    if (!link) return nullptr;
    return std::make_unique<TTallyLink>(std::move(link), Tally_);
  }
  void ErrorMessageBox(const std::string& text) override { Inner_.ErrorMessageBox(text); }

 private:
  IOsDriverService& Inner_;
  TDriverTally& Tally_;
};

TMachineOptions BoardOptions(const std::string& board) {
  TMachineOptions options;
  options.Machine = "sim:" + board;
  options.Directory = std::string(KORZEM_SOURCE_DIR) + "/data";
  options.Connect = false;  // the window connects itself
  return options;
}

// The program headless on a simulated board, in the order of the program's entry, with the driver
// service counted. Members are destroyed in reverse: the window before the host it uses, the
// session last.
class TBenchProgram {
 public:
  explicit TBenchProgram(const std::string& board) : Board_(board), Session_(BoardOptions(board)) {}
  ~TBenchProgram() {
    if (Form_ && !Form_->Closed()) Form_->ZemTrayCloseClick();
  }
  TBenchProgram(const TBenchProgram&) = delete;
  TBenchProgram& operator=(const TBenchProgram&) = delete;

  // Start-up up to and including the first sampling tick; false with a reason.
  bool Start(std::string* error) {
    if (!Session_.Open(error)) return false;
    SimWorkload(*Session_.Simulated()).SetFixed(kLoadPercent);
    Run_ = std::make_unique<TProgramRun>(Session_);
    Service_ = std::make_unique<TTallyDriverService>(Session_.DriverService(), Tally);
    if (!Run_->PrepareHost(error, nullptr, Service_.get())) return false;

    const std::string generated = GeneratedPictures();
    PngPictures = !generated.empty();
    if (PngPictures) {
      Pictures_ = std::make_unique<TPngPictureSource>(generated);
    } else {
      Pictures_ = std::make_unique<TMapPictureSource>();  // every picture drawn blank
    }
    std::unique_ptr<TScene> scene = BuildMainScene(*Pictures_, Queue_);
    Shell_ = std::make_unique<THeadlessShell>([this](uint32_t ms) { Run_->Wait(ms); });
    Form_ = std::make_unique<TZemMainForm>(Run_->Host(), std::move(scene), *Shell_, "bench");
    Shell_->Attach(*Form_);
    if (!Form_->FormCreate()) {
      *error = "the program does not start on " + Board_;
      return false;
    }
    Form_->FormShow();
    Form_->FormActivate();
    Shell_->RunTicks(1);
    if (Shell_->SamplingTicks != 1) {
      *error = "no sampling tick on " + Board_;
      return false;
    }
    return true;
  }

  // Energy saving on, as the window's switch does it.
  bool SwitchOn(std::string* error) {
    Form_->ZemOffImageEnClick();
    if (!Form_->ZemOn()) *error = "energy saving does not switch on on " + Board_;
    return Form_->ZemOn();
  }

  // To the tray, as the minimise button does while energy saving is on.
  bool Hide(std::string* error) {
    Form_->MinimizeImageEnClick();
    if (!Shell_->TrayIconShown) *error = "the window does not go to the tray on " + Board_;
    return Shell_->TrayIconShown;
  }

  // Runs ticks sampling ticks (with the window's animation ticks between them); false when the
  // window stopped ticking.
  bool Tick(uint32_t ticks) {
    const uint32_t target = Shell_->SamplingTicks + ticks;
    Shell_->RunTicks(ticks);
    return Shell_->SamplingTicks == target;
  }

  TDriverTally Tally;
  bool PngPictures = false;

 private:
  std::string Board_;
  TMachineSession Session_;
  std::unique_ptr<TProgramRun> Run_;
  std::unique_ptr<TTallyDriverService> Service_;
  TMainThreadQueue Queue_;
  std::unique_ptr<IPictureSource> Pictures_;
  std::unique_ptr<THeadlessShell> Shell_;
  std::unique_ptr<TZemMainForm> Form_;
};

const char* PicturesLabel(const TBenchProgram& program) {
  return program.PngPictures ? "png" : "blank";
}

// Wall and processor time from nothing to the end of the first sampling tick. The first tick's
// interval passes in virtual time, so it is not in the figure; shutting down is not either.
void BM_ProgramStartup(benchmark::State& state, const char* board) {
  double wall = 0;
  double cpu = 0;
  uint64_t calls = 0;
  for (auto _ : state) {
    const double wall0 = WallSeconds();
    const double cpu0 = CpuSeconds();
    auto program = std::make_unique<TBenchProgram>(board);
    std::string error;
    const bool started = program->Start(&error);
    cpu += CpuSeconds() - cpu0;
    wall += WallSeconds() - wall0;
    calls += program->Tally.Calls;
    state.SetLabel(PicturesLabel(*program));
    state.PauseTiming();
    program.reset();
    state.ResumeTiming();
    if (!started) {
      state.SkipWithError(error.c_str());
      return;
    }
  }
  const double runs = static_cast<double>(state.iterations());
  state.counters["startup_ms"] = wall * 1e3 / runs;
  state.counters["startup_cpu_ms"] = cpu * 1e3 / runs;
  state.counters["startup_calls"] = static_cast<double>(calls) / runs;
}

enum class TWindowCase { Off, On, Hidden };

// One benchmark iteration is one sampling tick: shown, one second of the program's life (the
// sampling tick and the two animation ticks of the indicators); hidden in the tray (saving on),
// five seconds and the sampling tick alone.
void BM_ProgramTick(benchmark::State& state, const char* board, TWindowCase window) {
  TBenchProgram program(board);
  std::string error;
  if (!program.Start(&error) || (window != TWindowCase::Off && !program.SwitchOn(&error)) ||
      (window == TWindowCase::Hidden && !program.Hide(&error)) || !program.Tick(kWarmUpTicks)) {
    state.SkipWithError(error.empty() ? "the window stopped ticking" : error.c_str());
    return;
  }
  state.SetLabel(PicturesLabel(program));
  program.Tally.Reset();
  bool ticking = true;
  const double cpu0 = CpuSeconds();
  for (auto _ : state) ticking = program.Tick(1) && ticking;
  const double cpu = CpuSeconds() - cpu0;
  const TDriverTally tally = program.Tally;
  // A tick always measures the clock; a tally without it counted the wrong link.
  if (!ticking || tally.ClockCalls == 0) {
    state.SkipWithError(!ticking ? "the window stopped ticking" : "no clock measurement counted");
    return;
  }
  const double ticks = static_cast<double>(state.iterations());
  state.counters["cpu_us"] = cpu * 1e6 / ticks;
  state.counters["wait_cpu_us"] = tally.ClockCpuSeconds * 1e6 / ticks;
  state.counters["cpu_us_no_wait"] = (cpu - tally.ClockCpuSeconds) * 1e6 / ticks;
  state.counters["calls"] = static_cast<double>(tally.Calls) / ticks;
  state.counters["clock_calls"] = static_cast<double>(tally.ClockCalls) / ticks;
  state.counters["real_wait_us"] = static_cast<double>(tally.ClockWaitMicroseconds) / ticks;
}

// Resident memory after kMemoryTicks sampling ticks with saving on. Run alone in its process
// (scripts/bench.sh does) so that the figure is the program's; rss_before_mib is the process
// before the program started.
void BM_ProgramMemory(benchmark::State& state, const char* board) {
  for (auto _ : state) {
    const double before = ResidentMiB();
    TBenchProgram program(board);
    std::string error;
    if (!program.Start(&error) || !program.SwitchOn(&error)) {
      state.SkipWithError(error.c_str());
      return;
    }
    const double started = ResidentMiB();
    if (!program.Tick(kMemoryTicks - 1)) {
      state.SkipWithError("the window stopped ticking");
      return;
    }
    state.counters["rss_before_mib"] = before;
    state.counters["rss_first_tick_mib"] = started;
    state.counters["rss_mib"] = ResidentMiB();
    state.SetLabel(PicturesLabel(program));
  }
}

[[maybe_unused]] const bool kRegistered = [] {
  for (const char* board : kBoards) {
    const std::string name = board;
    benchmark::RegisterBenchmark(("BM_ProgramStartup/" + name).c_str(), BM_ProgramStartup, board)
        ->Iterations(5)
        ->Unit(benchmark::kMillisecond);
    for (const auto& [label, window] :
         {std::pair{"off", TWindowCase::Off}, std::pair{"on", TWindowCase::On},
          std::pair{"hidden", TWindowCase::Hidden}}) {
      benchmark::RegisterBenchmark(("BM_ProgramTick/" + name + "/" + label).c_str(), BM_ProgramTick,
                                   board, window)
          ->Iterations(2000)
          ->Unit(benchmark::kMicrosecond);
    }
    benchmark::RegisterBenchmark(("BM_ProgramMemory/" + name).c_str(), BM_ProgramMemory, board)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
  }
  return true;
}();

}  // namespace

#include "app/host/programrun.h"

#include <chrono>
#include <filesystem>
#include <random>
#include <system_error>
#include <thread>

#include "app/host/hostplatform.h"

#include "hw/initfile.h"
#include "hw/readwrite.h"
#include "os/localtime.h"
#include "os/messagebox.h"
#include "os/powerschemes.h"
#include "os/processortimes.h"
#include "os/registry.h"
#include "os/singleinstance.h"
#include "os/sysinfo.h"
#include "sim/governor.h"
#include "sim/simmachine.h"
#include "sim/simprocessortimes.h"

namespace fs = std::filesystem;

struct TProgramRun::TServices {
  std::unique_ptr<IOsPrivileges> Privileges = OsCreatePrivileges();
  std::unique_ptr<IOsMessageBox> Messages = OsCreateMessageBox();
  std::unique_ptr<IOsLocalTime> Clock = OsCreateLocalTime();
  std::unique_ptr<IOsRegistry> Registry;
  std::unique_ptr<IOsProcessorTimes> ProcessorTimes;
  std::unique_ptr<IOsPowerManagement> Power;
  std::unique_ptr<IInstancePoster> Instance = OsCreateInstancePoster();
  std::shared_ptr<void> SandboxState;
};

namespace {

// A name for a temporary sandbox that no other run picks.
std::string UniqueSandboxName() {
  std::random_device random;
  return "korzem-" + std::to_string(random()) + "-" + std::to_string(random());
}

}  // namespace

TProgramRun::TProgramRun(TMachineSession& session) : Session_(session) {}

TProgramRun::~TProgramRun() {
  Context_.reset();  // writes the model file and the engine's state into the sandbox
  if (TemporarySandbox_) {
    std::error_code ignored;
    fs::remove_all(Sandbox_, ignored);
  }
}

bool TProgramRun::PrepareSandbox(std::string* error) {
  const std::string& state = Session_.Options().SimState;
  if (state.empty()) {
    Sandbox_ = (fs::temp_directory_path() / UniqueSandboxName()).string();
    TemporarySandbox_ = true;
  } else {
    Sandbox_ = state + ".d";
  }
  std::error_code failure;
  const fs::path program = fs::path(Sandbox_) / "program";
  fs::create_directories(program, failure);
  for (const char* sub : {"config", "runtime", "autostart"})
    fs::create_directories(fs::path(Sandbox_) / sub, failure);
  if (failure) {
    *error = "cannot create " + Sandbox_ + ": " + failure.message();
    return false;
  }
  // The first run copies the shipped model and scheme files; later runs keep what the program
  // wrote into its copies.
  for (const fs::directory_entry& entry : fs::directory_iterator(Session_.Directory(), failure)) {
    const std::string extension = entry.path().extension().string();
    if (!entry.is_regular_file() || (extension != ".ini" && extension != ".pow")) continue;
    const fs::path target = program / entry.path().filename();
    if (!fs::exists(target)) fs::copy_file(entry.path(), target, failure);
    if (failure) {
      *error = "cannot copy " + entry.path().string() + ": " + failure.message();
      return false;
    }
  }
  return true;
}

bool TProgramRun::PrepareHost(std::string* error, IOsMessageBox* messages,
                              IOsDriverService* driver) {
  Services_ = std::make_unique<TServices>();
  TSimMachine* sim = Session_.Simulated();
  std::string programDirectory = Session_.Directory();
  TTaskSchedulerFactory schedulers = [] { return OsCreateTaskScheduler(); };
  if (sim != nullptr) {
    if (!PrepareSandbox(error)) return false;
    programDirectory = (fs::path(Sandbox_) / "program").string();
    // The simulated PC's processor governor follows the sandbox's own cpufreq files, so the
    // schemes the program activates steer the simulated processors as they would real ones.
    std::string cpuSysfs;
    if (TSimGovernor* governor = FindSimGovernor(*sim); governor != nullptr) {
      cpuSysfs = (fs::path(Sandbox_) / "sys-cpu").string();
      if (!governor->FollowCpufreq(cpuSysfs, error)) return false;
    }
    TSandboxServices sandbox = MakeSandboxServices(Sandbox_, cpuSysfs);
    Services_->Registry = std::move(sandbox.Registry);
    Services_->Power = std::move(sandbox.Power);
    Services_->SandboxState = std::move(sandbox.State);
    schedulers = std::move(sandbox.Schedulers);
    Services_->ProcessorTimes = std::make_unique<TSimProcessorTimes>(*sim);
  } else {
    Services_->Registry = OsCreateRegistry();
    Services_->ProcessorTimes = OsCreateProcessorTimes();
    Services_->Power = OsCreatePowerManagement(!Session_.Replayed());
  }

  Host_ =
      std::unique_ptr<TZemHost>(new TZemHost{programDirectory,
                                             Session_.Directory() + "/KorZem.ini",
                                             programDirectory + "/korzem",
                                             Session_.System(),
                                             *Services_->Privileges,
                                             driver != nullptr ? *driver : Session_.DriverService(),
                                             messages != nullptr ? *messages : *Services_->Messages,
                                             *Services_->Clock,
                                             *Services_->Registry,
                                             *Services_->ProcessorTimes,
                                             *Services_->Power,
                                             schedulers,
                                             *Services_->Instance,
                                             TZemTexts{},
                                             {},
                                             sim == nullptr && !Session_.Replayed()});
  if (sim != nullptr) Host_->Sleep = [this](uint32_t ms) { Wait(ms); };
  return true;
}

bool TProgramRun::Start(std::string* error) {
  if (!PrepareHost(error)) return false;

  Context_ = std::make_unique<TZemContext>(*Host_);
  Context_->Init = Session_.ReleaseInitFile();
  Context_->Rw = Session_.ReleaseReadWrite();
  if (!Context_->Construct()) {
    *error = "the program does not run on this machine (" + Host_->Texts.MsgNotThisPlatform + ")";
    return false;
  }
  Context_->CreateServices();
  return true;
}

void TProgramRun::Wait(uint32_t milliseconds) {
  if (TSimMachine* sim = Session_.Simulated()) {
    sim->Clock().Advance(static_cast<uint64_t>(milliseconds) * 1000);
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
}

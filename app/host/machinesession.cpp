#include "app/host/machinesession.h"

#include "app/host/hostplatform.h"
#include "base/trace.h"
#include "hw/inprocesslink.h"
#include "hw/recordlink.h"
#include "os/files.h"
#include "sim/simboard.h"
#include "sim/simmachine.h"
#include "sim/simsystem.h"

std::string BoardsDirectory(const std::string& programDirectory) {
  return programDirectory + "/boards";
}

TMachineSession::TMachineSession(TMachineOptions options) : Options_(std::move(options)) {
  if (Options_.Directory.empty()) Options_.Directory = OsExecutableDirectory();
}

TMachineSession::~TMachineSession() {
  // The program's order in reverse: the service disconnects before the configuration writes
  // itself back; the machine outlives both.
  ReadWrite_.reset();
  InitFile_.reset();
  DriverService_.reset();
  if (OwnRwDebug_) RwDebugClose();
}

bool TMachineSession::OpenMachine(std::string* error) {
  const std::string& machine = Options_.Machine;
  if (machine.rfind("sim:", 0) == 0) {
    Sim_ = CreateSimMachine(machine.substr(4), BoardsDirectory(Options_.Directory), error);
    if (!Sim_) return false;
    if (!Options_.SimState.empty() && OsFileExists(Options_.SimState) &&
        !Sim_->LoadState(Options_.SimState, error)) {
      return false;
    }
    return true;
  }
  if (machine.rfind("replay:", 0) == 0) {
    ReplayPath_ = machine.substr(7);
    // Checked now so that a bad capture is one clear error, not a failed driver connection.
    return TReplayLink::Open(ReplayPath_, error) != nullptr;
  }
  return OpenHostMachine(Options_.SysRoot, &Host_, error);
}

std::unique_ptr<IDriverLink> TMachineSession::MakeLink(std::string* error) {
  std::unique_ptr<IDriverLink> link;
  if (Sim_) {
    link = std::make_unique<TInProcessLink>(*Sim_);
  } else if (Host_) {
    link = std::make_unique<TInProcessLink>(*Host_);
  } else if (ReplayPath_.empty()) {
    // This PC's hardware without an in-process machine: only its kernel driver answers, and the
    // driver service opens that device itself.
    *error = "no in-process machine: the kernel driver answers on this system";
    return nullptr;
  } else {
    std::unique_ptr<TReplayLink> replay = TReplayLink::Open(ReplayPath_, error);
    if (!replay) return nullptr;
    Replay_ = replay.get();
    link = std::move(replay);
  }
  if (Options_.RecordFile.empty()) return link;
  std::unique_ptr<TRecordingLink> recording =
      TRecordingLink::Create(std::move(link), Options_.RecordFile, error);
  Recording_ = recording.get();
  return recording;
}

bool TMachineSession::Open(std::string* error) {
  if (!Options_.RwDebugFile.empty()) {
    RwDebugOpen(Options_.RwDebugFile);
    OwnRwDebug_ = true;
  }
  if (!OpenMachine(error)) return false;

  // A simulated PC has the processors of its board file, not this PC's.
  System_ = Sim_ ? CreateSimSystem(*Sim_, OsCreateSystem()) : OsCreateSystem();
  // The service keeps the factory: the device may be opened long after this call returns.
  TDriverLinkFactory factory = [this](std::string* why) {
    std::unique_ptr<IDriverLink> link = MakeLink(why);
    if (!link && why) LinkError_ = *why;
    return link;
  };
  // A simulated PC or a capture answers in process: no kernel driver is installed for it.
  DriverService_ = Sim_ || !ReplayPath_.empty() ? MakeInProcessDriverService(std::move(factory))
                                                : OsCreateDriverService(std::move(factory));
  // The program builds the one configuration object of the run itself.
  if (!Options_.Connect) return true;

  const std::string iniPath = Options_.Directory + "/KorZem.ini";
  if (!OsFileExists(iniPath)) {
    *error = "Initial file not found: " + iniPath;
    return false;
  }
  InitFile_ = std::make_unique<TInitFile>(iniPath, *System_);
  // Values a simulated or recorded machine reports must not end up in the program's KorZem.ini.
  InitFile_->WriteBackAtExit = !Sim_ && ReplayPath_.empty();
  TReadWriteSettings settings;
  settings.OsKind = InitFile_->OsVersion->OsKind;
  settings.NumberOfProcessors = InitFile_->OsVersion->SystemInfo.NumberOfProcessors;
  settings.DetectPCIEBase = InitFile_->DetectPCIEBase;
  settings.PCIEBaseAddress = InitFile_->PCIEBaseAddress;
  ReadWrite_ = std::make_unique<TReadWrite>(*DriverService_, *System_, settings,
                                            &InitFile_->PCIEBaseAddress);
  if (!ReadWrite_->IsConnected()) {
    *error = "cannot connect to the driver" + (LinkError_.empty() ? "" : ": " + LinkError_);
    return false;
  }
  return true;
}

bool TMachineSession::Close(std::string* error) {
  bool ok = true;
  if (Replay_ && Replay_->Failed()) {
    *error = Replay_->LastError();
    ok = false;
  } else if (Recording_ && Recording_->Failed()) {
    *error = Recording_->LastError();
    ok = false;
  }
  std::string saveError;
  if (Sim_ && !Options_.SimState.empty() && !Sim_->SaveState(Options_.SimState, &saveError)) {
    if (ok) *error = saveError;
    ok = false;
  }
  return ok;
}

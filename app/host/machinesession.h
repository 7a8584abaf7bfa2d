// One run of the program or of zemctl on a chosen machine (this PC, a simulated board or a
// recorded capture): the driver connection, KorZem.ini and the register-access
// service, built in the program's order and torn down in reverse.
#pragma once

#include <memory>
#include <string>

#include "hw/initfile.h"
#include "hw/readwrite.h"
#include "os/driverservice.h"
#include "os/sysinfo.h"

class IInProcessMachine;
class TSimMachine;
class TReplayLink;
class TRecordingLink;

struct TMachineOptions {
  // "linux" (this PC, also on Windows), "sim:NAME" or "replay:FILE"
  std::string Machine = "linux";
  std::string SimState;   // load before, save after (simulated machines only)
  std::string Directory;  // program directory with KorZem.ini; default: beside the executable
  std::string RwDebugFile;
  std::string RecordFile;
  std::string SysRoot = "/";
  // Open connects the register-access service; without, only the machine and the driver service
  // are opened (the program's window connects itself).
  bool Connect = true;
};

class TMachineSession {
 public:
  explicit TMachineSession(TMachineOptions options);
  ~TMachineSession();
  TMachineSession(const TMachineSession&) = delete;
  TMachineSession& operator=(const TMachineSession&) = delete;

  // Opens the machine and connects the register-access service; false with a one-line error.
  bool Open(std::string* error);
  // Ends the run: saves the simulated state when asked and reports a replay that ran out of
  // recorded answers or a capture that could not be written. False with a one-line error.
  bool Close(std::string* error);

  TReadWrite& ReadWrite() { return *ReadWrite_; }
  TInitFile& InitFile() { return *InitFile_; }
  IOsSystem& System() { return *System_; }
  const std::string& Directory() const { return Options_.Directory; }
  TSimMachine* Simulated() { return Sim_.get(); }
  const TMachineOptions& Options() const { return Options_; }
  bool Replayed() const { return !ReplayPath_.empty(); }
  IOsDriverService& DriverService() { return *DriverService_; }
  // Hands the configuration and the register-access service to the program's context, which then
  // destroys them in the program's order (before this session).
  std::unique_ptr<TInitFile> ReleaseInitFile() { return std::move(InitFile_); }
  std::unique_ptr<TReadWrite> ReleaseReadWrite() { return std::move(ReadWrite_); }

 private:
  bool OpenMachine(std::string* error);
  std::unique_ptr<IDriverLink> MakeLink(std::string* error);

  TMachineOptions Options_;
  std::unique_ptr<IOsSystem> System_;
  std::unique_ptr<TSimMachine> Sim_;
  std::unique_ptr<IInProcessMachine> Host_;  // this PC's hardware in process (Linux)
  std::string ReplayPath_;
  std::string LinkError_;                // why the last link could not be made
  TReplayLink* Replay_ = nullptr;        // owned by the driver connection
  TRecordingLink* Recording_ = nullptr;  // likewise
  std::unique_ptr<IOsDriverService> DriverService_;
  std::unique_ptr<TInitFile> InitFile_;
  std::unique_ptr<TReadWrite> ReadWrite_;
  bool OwnRwDebug_ = false;
};

// The directory of the shipped board files under a program directory.
std::string BoardsDirectory(const std::string& programDirectory);

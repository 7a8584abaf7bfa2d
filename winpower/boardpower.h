// The board-level power services the board specification (TKorSpec) carries: the power-scheme
// step of an energy-saving switch and the program's logon task. TBoardPower implements them over
// TPowerMan and the task scheduler and is attached with TKorSpec::SetPowerServices;
// TKorSpecPowerModes hands TKorSpec's scheme step to the AMD FID/VID object.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "os/messagebox.h"
#include "os/taskscheduler.h"
#include "platform/fidvid.h"
#include "platform/korspec.h"
#include "winpower/powerman.h"

// Makes one scheduler connection; each registration uses its own and releases it at the end.
using TTaskSchedulerFactory = std::function<std::unique_ptr<IOsTaskScheduler>()>;

struct TBoardPowerSetup {
  int OsKind = 0;               // the OS record's kind: 4 and 6 take the NT 6 scheme path
  std::string SchemeDirectory;  // where the scheme files lie: the executable's directory
  std::string ProgramPath;      // the executable that the logon task starts
  TTaskSchedulerFactory Schedulers;
};

class TBoardPower : public IBoardPowerServices {
 public:
  // Every reference must outlive the object.
  TBoardPower(TPowerMan& powerMan, IOsMessageBox& messages, TBoardPowerSetup setup);

  // Mode 2 applies the off scheme, any other the on scheme: on NT 6 (kinds 4 and 6) by importing
  // and activating its scheme file, elsewhere (kind 5, NT 6 on IA-64, included) by writing the
  // legacy scheme and its throttle policy. A failure shows its message and returns false.
  bool ApplyPowerScheme(int mode) override;
  bool RegisterLogonTask(const std::string& taskName) override;
  bool RemoveLogonTask(const std::string& taskName) override;

  // The scheme file of a mode: the scheme directory joined with the file name.
  std::string SchemeFilePath(int mode) const;

 private:
  bool RunTaskSequence(const std::string& taskName, const std::string& programPath);

  TPowerMan& PowerMan_;
  IOsMessageBox& Messages_;
  TBoardPowerSetup Setup_;
};

// TKorSpec's power-scheme step as the board power modes of the AMD FID/VID object.
class TKorSpecPowerModes final : public IBoardPowerModes {
 public:
  explicit TKorSpecPowerModes(TKorSpec& spec) : Spec_(spec) {}
  bool ApplyPowerScheme(int mode) override { return Spec_.ApplyPowerScheme(mode); }

 private:
  TKorSpec& Spec_;
};

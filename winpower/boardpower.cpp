#include "winpower/boardpower.h"

#include "os/files.h"
#include "winpower/logontask.h"

namespace {

void ShowError(IOsMessageBox& messages, const char* text) {
  messages.Show("Error", text, TMessageIcon::Error);
}

}  // namespace

TBoardPower::TBoardPower(TPowerMan& powerMan, IOsMessageBox& messages, TBoardPowerSetup setup)
    : PowerMan_(powerMan), Messages_(messages), Setup_(std::move(setup)) {}

std::string TBoardPower::SchemeFilePath(int mode) const {
  return Setup_.SchemeDirectory + OsPathSeparator() + PowerSchemeFor(mode).FileName;
}

bool TBoardPower::ApplyPowerScheme(int mode) {
  const TPowerSchemeInfo& scheme = PowerSchemeFor(mode);
  if (Setup_.OsKind == 4 || Setup_.OsKind == 6) {
    const bool ok = PowerMan_.ImportAndActivate(scheme.Name, SchemeFilePath(mode));
    if (!ok) ShowError(Messages_, "Cannot install power scheme!");
    return ok;
  }
  uint32_t index = scheme.LegacyIndex;
  if (!PowerMan_.CreateLegacyScheme(index, scheme.Name, scheme.Description)) {
    ShowError(Messages_, "Cannot create power scheme!");
    return false;
  }
  // The throttle goes wherever the library wrote the scheme.
  if (!PowerMan_.SetThrottleAndActivate(index, scheme.Throttle)) {
    ShowError(Messages_, "Cannot modify processor power control!");
    return false;
  }
  return true;
}

bool TBoardPower::RunTaskSequence(const std::string& taskName, const std::string& programPath) {
  std::unique_ptr<IOsTaskScheduler> scheduler = Setup_.Schedulers ? Setup_.Schedulers() : nullptr;
  return scheduler != nullptr && ::RegisterLogonTask(*scheduler, taskName, programPath);
}

bool TBoardPower::RegisterLogonTask(const std::string& taskName) {
  return RunTaskSequence(taskName, Setup_.ProgramPath);
}

bool TBoardPower::RemoveLogonTask(const std::string& taskName) {
  return RunTaskSequence(taskName, {});
}

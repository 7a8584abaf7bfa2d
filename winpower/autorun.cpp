#include "winpower/autorun.h"

#include "winpower/logontask.h"

namespace {

bool UsesLogonTask(int osKind) {
  return osKind >= 4 && osKind <= 6;
}

}  // namespace

void EnableAutorun(int osKind, TAdvReg& registry, IBoardPowerServices& board) {
  // The registration's result is not looked at: "AutoRun" records what the user asked for.
  if (UsesLogonTask(osKind)) {
    board.RegisterLogonTask(kLogonTaskName);
  } else {
    registry.AddRunEntry(kRunValueName);
  }
  registry.WriteInteger(kZemSettingsKey, kAutoRunValue, 1);
}

void DisableAutorun(int osKind, TAdvReg& registry, IBoardPowerServices& board) {
  if (UsesLogonTask(osKind)) {
    board.RemoveLogonTask(kLogonTaskName);
  } else {
    registry.RemoveRunEntry(kRunValueName);
  }
  registry.WriteInteger(kZemSettingsKey, kAutoRunValue, 0);
}

bool AutorunEnabled(TAdvReg& registry) {
  return registry.ReadInteger(kZemSettingsKey, kAutoRunValue) != 0;
}

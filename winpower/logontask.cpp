#include "winpower/logontask.h"

TTaskDefinition LogonTaskDefinition(const std::string& programPath) {
  TTaskDefinition definition;
  definition.Author = "Author Name";
  definition.RunLevel = kTaskRunLevelHighest;
  definition.StartWhenAvailable = true;
  definition.DeleteExpiredTaskAfter = "";
  definition.ExecutionTimeLimit = "";
  definition.DisallowStartIfOnBatteries = false;
  definition.TriggerType = kTaskTriggerLogon;
  definition.TriggerEnabled = true;
  definition.ActionType = kTaskActionExec;
  definition.ProgramPath = programPath;
  return definition;
}

bool RegisterLogonTask(IOsTaskScheduler& scheduler, const std::string& taskName,
                       const std::string& programPath) {
  if (!scheduler.Connect()) return false;
  // A task of that name may come from another copy of the program; it goes either way.
  scheduler.DeleteTask(kTaskRootFolder, taskName);
  if (programPath.empty()) return true;
  return scheduler.RegisterTask(kTaskRootFolder, taskName, LogonTaskDefinition(programPath),
                                kTaskCreateOrUpdate, kTaskLogonInteractiveToken);
}

// The task scheduler (Task Scheduler 2.0 on Windows), reduced to what a logon task needs: connect,
// delete a task by name, register a task definition. Each call is one step of a registration that
// the caller sequences; a failed step leaves nothing half made.
//
// Linux has no scheduler service for logon tasks: a task is an XDG autostart entry,
// $XDG_CONFIG_HOME/autostart/<task name>.desktop, which the desktop session starts at logon.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// TASK_TRIGGER_LOGON, TASK_ACTION_EXEC, TASK_RUNLEVEL_HIGHEST, TASK_CREATE_OR_UPDATE,
// TASK_LOGON_INTERACTIVE_TOKEN.
inline constexpr int kTaskTriggerLogon = 9;
inline constexpr int kTaskActionExec = 0;
inline constexpr int kTaskRunLevelHighest = 1;
inline constexpr int kTaskCreateOrUpdate = 6;
inline constexpr int kTaskLogonInteractiveToken = 3;

// One task as the scheduler registers it: one trigger and one executable action.
struct TTaskDefinition {
  std::string Author;
  int RunLevel = 0;  // TASK_RUNLEVEL_LUA
  // Settings. Empty time texts mean "no limit" / "never".
  bool StartWhenAvailable = false;
  std::string DeleteExpiredTaskAfter;
  std::string ExecutionTimeLimit;
  bool DisallowStartIfOnBatteries = true;
  // The trigger.
  int TriggerType = kTaskTriggerLogon;
  bool TriggerEnabled = true;
  // The action: run a program without arguments.
  int ActionType = kTaskActionExec;
  std::string ProgramPath;
};

class IOsTaskScheduler {
 public:
  virtual ~IOsTaskScheduler() = default;

  // Initialises the process's COM security (packet privacy, impersonate), creates the scheduler
  // service and connects to it on the local machine as the current user. False on failure.
  virtual bool Connect() = 0;
  // Deletes the task from folder ("\" is the root folder). False when it did not exist or could
  // not be deleted. Requires Connect.
  virtual bool DeleteTask(const std::string& folder, const std::string& name) = 0;
  // Registers the definition in folder under name with the given creation flags and logon type
  // (no user, no password, no security descriptor). Requires Connect.
  virtual bool RegisterTask(const std::string& folder, const std::string& name,
                            const TTaskDefinition& definition, int creationFlags,
                            int logonType) = 0;
};

// The running system's scheduler; each object is one connection.
std::unique_ptr<IOsTaskScheduler> OsCreateTaskScheduler();

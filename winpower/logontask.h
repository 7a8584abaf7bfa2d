// The logon task that starts the program at every logon on Windows NT 6 (where a Run entry would
// not start it with the rights it needs), kept in the scheduler's root folder.
#pragma once

#include <string>

#include "os/taskscheduler.h"

inline constexpr const char* kLogonTaskName = "KorvanZEM";
inline constexpr const char* kTaskRootFolder = "\\";

// The definition registered for programPath: highest run level, a logon trigger, no time limit,
// started when available, on batteries too.
TTaskDefinition LogonTaskDefinition(const std::string& programPath);

// Connects, deletes any task of that name in the root folder (whether it existed does not
// matter), and, unless programPath is empty, registers the logon task for it. False when a step
// that counts fails.
bool RegisterLogonTask(IOsTaskScheduler& scheduler, const std::string& taskName,
                       const std::string& programPath);

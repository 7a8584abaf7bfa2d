// The Linux logon task: XDG autostart entries.
#pragma once

#include <memory>
#include <string>

#include "os/taskscheduler.h"

// Linux: autostart entries in autostartDir (empty: $XDG_CONFIG_HOME/autostart, default
// ~/.config/autostart).
std::unique_ptr<IOsTaskScheduler> OsCreateAutostartScheduler(const std::string& autostartDir);

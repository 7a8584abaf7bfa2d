// Processor times from /proc/stat.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "os/processortimes.h"

// Linux: processor times from statPath (a /proc/stat-format file) counted in ticks of
// ticksPerSecond (0: the system's USER_HZ).
std::unique_ptr<IOsProcessorTimes> OsCreateProcStatTimes(const std::string& statPath,
                                                         uint32_t ticksPerSecond);

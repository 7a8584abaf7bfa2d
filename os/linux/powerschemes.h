// The Linux power schemes: a scheme store in the user's configuration and, on real hardware, the
// cpufreq governor.
#pragma once

#include <memory>
#include <string>

#include "os/powerschemes.h"

// Linux: where the power schemes live and which processors they steer. An empty member takes the
// default.
struct TLinuxPowerPaths {
  std::string ConfigDir;  // default $XDG_CONFIG_HOME/korzem (~/.config/korzem)
  std::string CpuSysfs;   // default /sys/devices/system/cpu
};

// Linux: the schemes are kept in "powerschemes.conf" of ConfigDir: every scheme with its GUID,
// name, description, legacy index, power-policy bytes and processor throttle policy, plus the
// active scheme. A store that does not exist yet starts with one scheme at legacy index 0,
// "Balanced" (adaptive throttle), active. Scheme files are the text files described in
// data/KorZemOn.pow. Activating a scheme on real hardware sets every cpufreq policy's governor
// whose "scaling_governor" is writable: throttle None selects "performance", any other throttle
// the first adaptive governor the policy offers ("schedutil", "ondemand", "conservative", or
// "powersave" under a driver whose powersave governor is itself adaptive).
std::unique_ptr<IOsPowerManagement> OsCreateLinuxPowerManagement(const TLinuxPowerPaths& paths,
                                                                 bool realHardware);

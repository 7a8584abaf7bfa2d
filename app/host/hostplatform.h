// What a run needs from the system it runs on beyond the os/ seam: how this PC's own hardware is
// reached, and where a simulated PC keeps its registry, power schemes and logon task.
#pragma once

#include <memory>
#include <string>

#include "os/driverservice.h"
#include "os/powerschemes.h"
#include "os/registry.h"
#include "winpower/boardpower.h"

class IInProcessMachine;

// Opens this PC's hardware for the program. Linux answers the driver's requests in process (device
// files, root needed): machine is set. Windows leaves machine null: its kernel driver answers, and
// the driver service opens it. False with a one-line error when the hardware cannot be reached.
bool OpenHostMachine(const std::string& sysRoot, std::unique_ptr<IInProcessMachine>* machine,
                     std::string* error);

// The driver service of a machine the program reaches in process (a simulated PC or a capture):
// its device is the link factory's. Linux's own driver service works that way already; Windows
// must not install a kernel driver for it, so the service control manager is an in-memory one.
std::unique_ptr<IOsDriverService> MakeInProcessDriverService(TDriverLinkFactory factory);

// A simulated PC's registry, power schemes and logon task, so that nothing of the host is touched.
// Linux keeps them in files under the sandbox folder ("config", "runtime", "autostart"), so that
// they last as long as the folder; Windows keeps them in memory for the run. cpuSysfs, when not
// empty, is the simulated PC's cpufreq folder that the power schemes steer (Linux).
struct TSandboxServices {
  std::unique_ptr<IOsRegistry> Registry;
  std::unique_ptr<IOsPowerManagement> Power;
  TTaskSchedulerFactory Schedulers;
  std::shared_ptr<void> State;  // what the services share, kept alive with them
};
TSandboxServices MakeSandboxServices(const std::string& sandbox, const std::string& cpuSysfs);

#include <filesystem>

#include "app/host/hostplatform.h"
#include "hw/linux/linuxmachine.h"
#include "os/linux/powerschemes.h"
#include "os/linux/registry.h"
#include "os/linux/taskscheduler.h"

namespace fs = std::filesystem;

bool OpenHostMachine(const std::string& sysRoot, std::unique_ptr<IInProcessMachine>* machine,
                     std::string* error) {
  TLinuxMachineOptions options;
  options.SysRoot = sysRoot;
  std::unique_ptr<TLinuxMachine> real = OpenLinuxMachine(options, error);
  if (!real) return false;
  *machine = std::move(real);
  return true;
}

TSandboxServices MakeSandboxServices(const std::string& sandbox, const std::string& cpuSysfs) {
  TSandboxServices services;
  const std::string config = (fs::path(sandbox) / "config").string();
  services.Registry = OsCreateFileRegistry(config, (fs::path(sandbox) / "runtime").string());
  services.Power =
      OsCreateLinuxPowerManagement({config, cpuSysfs}, /*realHardware=*/!cpuSysfs.empty());
  const std::string autostart = (fs::path(sandbox) / "autostart").string();
  services.Schedulers = [autostart] { return OsCreateAutostartScheduler(autostart); };
  return services;
}

std::unique_ptr<IOsDriverService> MakeInProcessDriverService(TDriverLinkFactory factory) {
  return OsCreateDriverService(std::move(factory));
}

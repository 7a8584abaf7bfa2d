#include "app/host/hostplatform.h"
#include "hw/inprocessmachine.h"
#include "os/test/fakedriverservice.h"
#include "os/test/fakepowerschemes.h"
#include "os/test/fakeregistry.h"
#include "os/test/faketaskscheduler.h"

bool OpenHostMachine(const std::string&, std::unique_ptr<IInProcessMachine>* machine,
                     std::string*) {
  machine->reset();
  return true;
}

TSandboxServices MakeSandboxServices(const std::string&, const std::string&) {
  TSandboxServices services;
  services.Registry = std::make_unique<TFakeRegistry>();
  services.Power = std::make_unique<TFakePowerManagement>();
  auto tasks = std::make_shared<TFakeTaskStore>();
  services.Schedulers = [tasks] { return std::make_unique<TFakeTaskScheduler>(*tasks); };
  services.State = tasks;
  return services;
}

std::unique_ptr<IOsDriverService> MakeInProcessDriverService(TDriverLinkFactory factory) {
  auto service = std::make_unique<TFakeDriverService>();
  service->MakeDevice = [factory = std::move(factory)] {
    std::string error;
    return factory(&error);
  };
  return service;
}

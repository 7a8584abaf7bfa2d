// In-memory double of the driver service: a file system, a service database and a device that is
// present while the driver is loaded. A test sets the public fields to describe the system and
// reads the call log afterwards; every call appends one line to Calls.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "hw/driverlink.h"
#include "os/driverservice.h"

// A device that answers nothing: every control call fails.
class TNullDriverLink : public IDriverLink {
 public:
  bool Control(uint32_t, const void*, uint32_t, void*, uint32_t, uint32_t* returned) override;
  uint8_t* ResolveMapping(uint32_t) override { return nullptr; }
  void ExecuteCpuId(CpuRegisters&) override {}
  IZemMachine* DirectMachine() override { return nullptr; }
};

// Defaults: Windows in C:\WINDOWS, every operation works, no driver loaded, no service registered;
// starting a registered service whose image file exists loads the driver.
class TFakeDriverService : public IOsDriverService {
 public:
  struct TService {
    std::string DisplayName;
    std::string ImagePath;
    bool Running = false;
  };

  TFakeDriverService();
  ~TFakeDriverService() override;

  // --- set by the test ---
  std::map<TDriverImageKind, std::string> Images;  // default: a distinct text per kind
  std::string SystemDir = "C:\\WINDOWS\\system32";
  std::string WindowsDir = "C:\\WINDOWS";
  char Separator = '\\';
  TImageWriteResult WriteResult = TImageWriteResult::Ok;  // ShortWrite keeps half the bytes
  bool ManagerOpens = true;
  TServiceStatus CreateFailure = TServiceStatus::Ok;  // not Ok: creation fails with it
  TServiceStatus OpenFailure = TServiceStatus::Ok;    // not Ok: opening a service fails with it
  bool StartLoadsDriver = true;
  bool DriverLoaded = false;  // the NT device is present (a driver left loaded earlier)
  bool DeviceOpens = true;    // false: the device refuses every open
  // Makes the link a successful open hands out; default: a TNullDriverLink.
  std::function<std::unique_ptr<IDriverLink>()> MakeDevice;

  // --- checked by the test (and settable as the starting state) ---
  std::map<std::string, std::string> Files;  // path -> bytes on "disk"
  std::map<std::string, TService> Services;  // the service database, by name
  std::vector<std::string> Calls;
  std::vector<std::string> MessageBoxes;
  int OpenScHandles = 0;  // manager and service handles not closed yet
  int OpenDevices = 0;    // links handed out and not destroyed yet

  std::string_view DriverImage(TDriverImageKind kind) override;
  std::string SystemDirectory() override { return SystemDir; }
  std::string WindowsDirectory() override { return WindowsDir; }
  char PathSeparator() override { return Separator; }
  TImageWriteResult WriteImageFile(const std::string& path, std::string_view bytes) override;
  bool RemoveImageFile(const std::string& path) override;
  TScHandle OpenServiceManager() override;
  TScHandle CreateDriverService(TScHandle manager, const std::string& name,
                                const std::string& displayName, const std::string& imagePath,
                                TServiceStatus* status) override;
  TScHandle OpenDriverService(TScHandle manager, const std::string& name,
                              TServiceStatus* status) override;
  bool StartDriverService(TScHandle service) override;
  bool StopDriverService(TScHandle service) override;
  bool DeleteDriverService(TScHandle service) override;
  void CloseScHandle(TScHandle handle) override;
  std::unique_ptr<IDriverLink> OpenDevice(const std::string& path, TDeviceOpenMode mode) override;
  void ErrorMessageBox(const std::string& text) override;

 private:
  TScHandle NewHandle(const std::string& service);
  // The service a handle names; empty for the manager or an unknown handle.
  std::string ServiceName(TScHandle handle) const;
  std::string HandleText(TScHandle handle) const;

  std::map<TScHandle, std::string> Handles_;  // open handle -> service name ("" = manager)
  TScHandle NextHandle_ = 1;
  // Lets handed-out links report their close after this object is gone.
  std::shared_ptr<TFakeDriverService*> Self_;
};

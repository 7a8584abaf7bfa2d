// Driver installation through the real service control manager (Wine's under test). The embedded
// image is the stand-in that no system can start, so the sequence ends with the error message; it
// must still leave no file and no service behind.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "base/trace.h"
#include "hw/driverlink.h"
#include "hw/loaddriver.h"
#include "os/driverservice.h"
#include "os/files.h"

namespace {

using TLines = std::vector<std::string>;

class TRwCapture : public ITraceTap {
 public:
  TRwCapture() { SetTraceTap(this); }
  ~TRwCapture() override { SetTraceTap(nullptr); }
  TRwCapture(const TRwCapture&) = delete;
  TRwCapture& operator=(const TRwCapture&) = delete;
  void OnTraceLine(std::string_view) override {}
  void OnRwDebugLine(std::string_view text) override { Lines.emplace_back(text); }
  TLines Lines;
};

// The system's driver service with its message box caught instead of shown.
class TCaughtBoxes final : public IOsDriverService {
 public:
  TCaughtBoxes() : System_(OsCreateDriverService({})) {}
  std::string_view DriverImage(TDriverImageKind kind) override {
    return System_->DriverImage(kind);
  }
  std::string SystemDirectory() override { return System_->SystemDirectory(); }
  std::string WindowsDirectory() override { return System_->WindowsDirectory(); }
  char PathSeparator() override { return System_->PathSeparator(); }
  TImageWriteResult WriteImageFile(const std::string& path, std::string_view bytes) override {
    return System_->WriteImageFile(path, bytes);
  }
  bool RemoveImageFile(const std::string& path) override { return System_->RemoveImageFile(path); }
  TScHandle OpenServiceManager() override { return System_->OpenServiceManager(); }
  TScHandle CreateDriverService(TScHandle manager, const std::string& name,
                                const std::string& displayName, const std::string& imagePath,
                                TServiceStatus* status) override {
    return System_->CreateDriverService(manager, name, displayName, imagePath, status);
  }
  TScHandle OpenDriverService(TScHandle manager, const std::string& name,
                              TServiceStatus* status) override {
    return System_->OpenDriverService(manager, name, status);
  }
  bool StartDriverService(TScHandle service) override {
    return System_->StartDriverService(service);
  }
  bool StopDriverService(TScHandle service) override { return System_->StopDriverService(service); }
  bool DeleteDriverService(TScHandle service) override {
    return System_->DeleteDriverService(service);
  }
  void CloseScHandle(TScHandle handle) override { System_->CloseScHandle(handle); }
  std::unique_ptr<IDriverLink> OpenDevice(const std::string& path, TDeviceOpenMode mode) override {
    return System_->OpenDevice(path, mode);
  }
  void ErrorMessageBox(const std::string& text) override { Boxes.push_back(text); }

  TLines Boxes;

 private:
  std::unique_ptr<IOsDriverService> System_;
};

// Whether the service database holds a service of that name, asked of the manager directly.
bool ServiceRegistered(const char* name) {
  SC_HANDLE manager = ::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (manager == nullptr) return false;
  SC_HANDLE service = ::OpenServiceA(manager, name, SERVICE_QUERY_STATUS);
  if (service != nullptr) ::CloseServiceHandle(service);
  ::CloseServiceHandle(manager);
  return service != nullptr;
}

// Registers a driver service the way an earlier run that did not end normally left it.
void RegisterLeftover(const std::string& imagePath) {
  SC_HANDLE manager = ::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  ASSERT_NE(manager, nullptr);
  SC_HANDLE service =
      ::CreateServiceA(manager, kDriverName, kDriverName, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                       SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, imagePath.c_str(), nullptr,
                       nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(service, nullptr) << ::GetLastError();
  ::CloseServiceHandle(service);
  ::CloseServiceHandle(manager);
}

std::string NativeDriverPath() {
  char system[MAX_PATH] = {};
  ::GetSystemDirectoryA(system, MAX_PATH);
  return std::string(system) + "\\Drivers\\ZemDrv.sys";
}

// OsKind of the NT 6 family as a native process sees it (no WOW64).
constexpr int kNt6 = 4;

}  // namespace

TEST(WinDriverService, TheEmbeddedImagesAreTheOnesTheBuildNamed) {
  std::unique_ptr<IOsDriverService> service = OsCreateDriverService({});
  EXPECT_FALSE(service->DriverImage(TDriverImageKind::X86).empty());
  EXPECT_FALSE(service->DriverImage(TDriverImageKind::X64).empty());
  EXPECT_TRUE(service->DriverImage(TDriverImageKind::Vxd).empty());
  EXPECT_TRUE(service->DriverImage(TDriverImageKind::Ia64).empty());
  EXPECT_EQ(service->PathSeparator(), '\\');
  EXPECT_NE(service->SystemDirectory().back(), '\\');
  EXPECT_EQ(service->SystemDirectory().rfind(service->WindowsDirectory(), 0), 0u);
}

// Disabled: under Wine 8 the service database does not show the service between the failed start
// and the end of the run (and a service registered just before is not found by CreateService);
// the sequence itself is covered against the service double in tests/hw.
TEST(WinDriverService, DISABLED_ADriverThatWillNotStartShowsTheMessageAndLeavesNothingBehind) {
  ASSERT_FALSE(ServiceRegistered(kDriverName)) << "a ZemDrv service is left from elsewhere";
  TCaughtBoxes service;
  TRwCapture trace;
  const std::string path = NativeDriverPath();
  {
    TLoadDriver driver(service, kNt6);
    EXPECT_FALSE(driver.IsConnected());
    EXPECT_EQ(driver.DriverPath(), path);
    EXPECT_EQ(driver.DevicePath(), "\\\\.\\ZemDrv");
    EXPECT_EQ(
        trace.Lines,
        (TLines{"Drvier path = " + path, "Start copy drvier", "Write driver file ok",
                "Connect to the Service Control Manager and open the Services "
                "database",
                "Create new service object", "Create service success",
                "Start the execution of the service", "Connect to the driver just installed"}));
    EXPECT_EQ(service.Boxes, TLines{kDriverLoadFailedText});
    EXPECT_FALSE(OsFileExists(path));
    EXPECT_TRUE(ServiceRegistered(kDriverName));
  }
  EXPECT_FALSE(ServiceRegistered(kDriverName));
}

TEST(WinDriverService, DISABLED_AServiceLeftByAnEarlierRunIsReusedAndRemoved) {
  const std::string path = NativeDriverPath();
  RegisterLeftover(path);
  TCaughtBoxes service;
  TRwCapture trace;
  {
    TLoadDriver driver(service, kNt6);
    EXPECT_FALSE(driver.IsConnected());
    EXPECT_EQ(trace.Lines[5], "Service exists, Open the handle to the existing service");
    EXPECT_EQ(trace.Lines[6], "Start the execution of the service");
    EXPECT_EQ(service.Boxes, TLines{kDriverLoadFailedText});
    EXPECT_FALSE(OsFileExists(path));
  }
  EXPECT_FALSE(ServiceRegistered(kDriverName));
}

TEST(WinDriverService, NoImageForTheSystemMeansNoFileNoServiceAndNoMessage) {
  TCaughtBoxes service;
  TRwCapture trace;
  {
    TLoadDriver driver(service, 0);  // the 9x family: no virtual device is carried
    EXPECT_FALSE(driver.IsConnected());
    EXPECT_EQ(trace.Lines.front(), "No 9x virtual device driver in this build");
    EXPECT_EQ(trace.Lines.back(), "Write driver file fail");
  }
  EXPECT_TRUE(service.Boxes.empty());
  EXPECT_FALSE(ServiceRegistered(kDriverName));
}

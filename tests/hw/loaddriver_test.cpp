// Driver installation and connection: the sequence against the in-memory service double, and once
// end to end over the Linux driver service.
#include "hw/loaddriver.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "base/trace.h"
#include "os/files.h"
#include "os/test/fakedriverservice.h"

namespace {

constexpr const char* kXpPath = "C:\\WINDOWS\\system32\\Drivers\\ZemDrv.sys";
constexpr const char* kWow64Path = "C:\\WINDOWS\\SysWOW64\\Drivers\\ZemDrv.sys";

using TLines = std::vector<std::string>;

class TCapture : public ITraceTap {
 public:
  TCapture() { SetTraceTap(this); }
  ~TCapture() override { SetTraceTap(nullptr); }
  TCapture(const TCapture&) = delete;
  TCapture& operator=(const TCapture&) = delete;
  void OnTraceLine(std::string_view) override {}
  void OnRwDebugLine(std::string_view text) override { Lines.emplace_back(text); }
  TLines Lines;
};

TLines Writes(const std::string& path, size_t bytes) {
  return {"WriteImageFile " + path + " (" + std::to_string(bytes) + " bytes)"};
}

TLines Concat(std::initializer_list<TLines> parts) {
  TLines all;
  for (const TLines& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

class LoadDriver : public ::testing::Test {
 protected:
  size_t X86Bytes() { return Service.Images[TDriverImageKind::X86].size(); }

  TCapture Trace;
  TFakeDriverService Service;
};

}  // namespace

TEST_F(LoadDriver, FreshInstallRegistersStartsConnectsAndDeletesTheFile) {
  {
    TLoadDriver driver(Service, 1);
    EXPECT_TRUE(driver.IsConnected());
    EXPECT_EQ(driver.DriverPath(), kXpPath);
    EXPECT_EQ(driver.DevicePath(), "\\\\.\\ZemDrv");
    EXPECT_EQ(Trace.Lines,
              (TLines{std::string("Drvier path = ") + kXpPath, "Start copy drvier",
                      "Write driver file ok",
                      "Connect to the Service Control Manager and open the Services database",
                      "Create new service object", "Create service success",
                      "Start the execution of the service", "Connect to the driver just installed",
                      "Connect driver ok"}));
    EXPECT_EQ(Service.Calls,
              Concat({Writes(kXpPath, X86Bytes()),
                      {"OpenDevice \\\\.\\ZemDrv ReadWrite -> failed", "OpenServiceManager",
                       std::string("CreateDriverService ZemDrv ZemDrv ") + kXpPath,
                       "StartDriverService ZemDrv", "CloseScHandle ZemDrv", "CloseScHandle manager",
                       "OpenDevice \\\\.\\ZemDrv ReadWrite",
                       std::string("RemoveImageFile ") + kXpPath}}));
    EXPECT_TRUE(Service.Files.empty());
    EXPECT_EQ(Service.OpenScHandles, 0);
    EXPECT_TRUE(Service.MessageBoxes.empty());
    Service.Calls.clear();
  }
  // Shutdown closes the device first, then stops and deletes the service.
  EXPECT_EQ(Service.Calls, (TLines{"CloseDevice", "OpenServiceManager", "OpenDriverService ZemDrv",
                                   "StopDriverService ZemDrv", "DeleteDriverService ZemDrv",
                                   "CloseScHandle ZemDrv", "CloseScHandle manager"}));
  EXPECT_TRUE(Service.Services.empty());
  EXPECT_EQ(Service.OpenScHandles, 0);
  EXPECT_FALSE(Service.DriverLoaded);
}

TEST_F(LoadDriver, ADriverStillLoadedAnswersTheFirstOpenWithoutServiceCalls) {
  Service.DriverLoaded = true;
  TLoadDriver driver(Service, 4);
  EXPECT_TRUE(driver.IsConnected());
  EXPECT_EQ(
      Service.Calls,
      Concat({Writes(kXpPath, X86Bytes()),
              {"OpenDevice \\\\.\\ZemDrv ReadWrite", std::string("RemoveImageFile ") + kXpPath}}));
  EXPECT_EQ(Trace.Lines, (TLines{std::string("Drvier path = ") + kXpPath, "Start copy drvier",
                                 "Write driver file ok", "First connect driver ok"}));
  EXPECT_TRUE(Service.Files.empty());
}

TEST_F(LoadDriver, AServiceLeftRegisteredIsOpenedAndStarted) {
  Service.Services["ZemDrv"] = {"ZemDrv", kXpPath, false};
  TLoadDriver driver(Service, 1);
  EXPECT_TRUE(driver.IsConnected());
  EXPECT_EQ(
      Trace.Lines,
      (TLines{std::string("Drvier path = ") + kXpPath, "Start copy drvier", "Write driver file ok",
              "Connect to the Service Control Manager and open the Services database",
              "Create new service object",
              "Service exists, Open the handle to the existing service",
              "Start the execution of the service", "Connect to the driver just installed",
              "Connect driver ok"}));
  EXPECT_EQ(Service.Calls[3],
            std::string("CreateDriverService ZemDrv ZemDrv ") + kXpPath + " -> service exists");
  EXPECT_EQ(Service.Calls[4], "OpenDriverService ZemDrv");
  EXPECT_EQ(Service.Calls[5], "StartDriverService ZemDrv");
  EXPECT_EQ(Service.OpenScHandles, 0);
}

TEST_F(LoadDriver, AServiceThatCannotBeOpenedBecauseItRunsEndsInTheMessageBox) {
  Service.Services["ZemDrv"] = {"ZemDrv", kXpPath, true};
  Service.OpenFailure = TServiceStatus::ServiceAlreadyRunning;
  TLoadDriver driver(Service, 1);
  EXPECT_FALSE(driver.IsConnected());
  EXPECT_EQ(
      Trace.Lines,
      (TLines{std::string("Drvier path = ") + kXpPath, "Start copy drvier", "Write driver file ok",
              "Connect to the Service Control Manager and open the Services database",
              "Create new service object",
              "Service exists, Open the handle to the existing service",
              "Service already running"}));
  EXPECT_EQ(TLines(Service.Calls.begin() + 4, Service.Calls.end()),
            (TLines{"OpenDriverService ZemDrv -> service already running", "CloseScHandle manager",
                    std::string("RemoveImageFile ") + kXpPath, "ErrorMessageBox"}));
  EXPECT_EQ(Service.MessageBoxes, TLines{kDriverLoadFailedText});
  EXPECT_EQ(Service.OpenScHandles, 0);
  EXPECT_TRUE(Service.Files.empty());
}

TEST_F(LoadDriver, OtherServiceFailuresGiveTheMessageBoxOnly) {
  Service.CreateFailure = TServiceStatus::Failed;
  TLoadDriver driver(Service, 4);
  EXPECT_FALSE(driver.IsConnected());
  EXPECT_EQ(Trace.Lines.back(), "Create new service object");
  EXPECT_EQ(Service.MessageBoxes, TLines{kDriverLoadFailedText});
  EXPECT_EQ(Service.OpenScHandles, 0);
}

TEST_F(LoadDriver, AnImageThatCannotBeWrittenStopsWithoutAMessage) {
  Service.WriteResult = TImageWriteResult::CannotCreate;
  {
    TLoadDriver driver(Service, 1);
    EXPECT_FALSE(driver.IsConnected());
  }
  EXPECT_EQ(Trace.Lines, (TLines{std::string("Drvier path = ") + kXpPath, "Start copy drvier",
                                 "Create driver fail"}));
  EXPECT_EQ(Service.Calls, Writes(kXpPath, X86Bytes()));  // nothing more, not even at the end

  Trace.Lines.clear();
  Service.Calls.clear();
  Service.WriteResult = TImageWriteResult::ShortWrite;
  TLoadDriver shortWrite(Service, 1);
  EXPECT_FALSE(shortWrite.IsConnected());
  EXPECT_EQ(Trace.Lines.back(), "Write driver file fail");
  EXPECT_EQ(Service.Calls.size(), 1u);
  EXPECT_TRUE(Service.MessageBoxes.empty());

  // A build without the image writes nothing at all.
  Trace.Lines.clear();
  Service.Calls.clear();
  Service.WriteResult = TImageWriteResult::Ok;
  Service.Images.erase(TDriverImageKind::X86);
  TLoadDriver noImage(Service, 1);
  EXPECT_FALSE(noImage.IsConnected());
  EXPECT_EQ(Trace.Lines.back(), "Write driver file fail");
  EXPECT_TRUE(Service.Calls.empty());
  EXPECT_TRUE(Service.MessageBoxes.empty());
}

TEST_F(LoadDriver, ADeviceThatWillNotOpenShowsTheMessageAndLeavesNothingBehind) {
  Service.DeviceOpens = false;
  {
    TLoadDriver driver(Service, 1);
    EXPECT_FALSE(driver.IsConnected());
    EXPECT_EQ(Trace.Lines.back(), "Connect to the driver just installed");
    EXPECT_EQ(Service.MessageBoxes,
              TLines{"Driver cannot be loaded, re-install the program may fix the issue, if it "
                     "happens again, report the problem with your system configuration as detail "
                     "as possible."});
    EXPECT_EQ(Service.Calls.back(), "ErrorMessageBox");
    EXPECT_TRUE(Service.Files.empty());
    EXPECT_EQ(Service.Services.size(), 1u);
  }
  // The service that never gave a device is stopped and deleted at the end all the same.
  EXPECT_TRUE(Service.Services.empty());
}

TEST_F(LoadDriver, AnUnknownSystemGetsNoImageNoAttemptAndNoMessage) {
  for (int kind : {-1, 7, 42}) {
    TLoadDriver driver(Service, kind);
    EXPECT_FALSE(driver.IsConnected());
    EXPECT_TRUE(driver.DriverImage().empty());
    EXPECT_TRUE(driver.DriverPath().empty());
  }
  EXPECT_TRUE(Service.Calls.empty());
  EXPECT_TRUE(Trace.Lines.empty());
}

TEST_F(LoadDriver, NineXLoadsTheVirtualDeviceFromItsFileWithoutServices) {
  Service.SystemDir = "C:\\WINDOWS\\SYSTEM";
  const std::string path = "C:\\WINDOWS\\SYSTEM\\ZemDrv.vxd";
  {
    TLoadDriver driver(Service, 0);
    EXPECT_TRUE(driver.IsConnected());
    EXPECT_EQ(driver.DriverImage(), Service.Images[TDriverImageKind::Vxd]);
    EXPECT_EQ(
        Service.Calls,
        Concat({Writes(path, Service.Images[TDriverImageKind::Vxd].size()),
                {"OpenDevice \\\\.\\" + path + " DeleteOnClose", "RemoveImageFile " + path}}));
    EXPECT_EQ(Trace.Lines, (TLines{"Drvier path = " + path, "Start copy drvier",
                                   "Write driver file ok", "Connect driver ok"}));
    Service.Calls.clear();
  }
  EXPECT_EQ(Service.Calls, TLines{"CloseDevice"});
}

namespace {

struct TKindCase {
  int OsKind;
  TDriverImageKind Image;
  const char* Path;
};

class LoadDriverKinds : public ::testing::TestWithParam<TKindCase> {};

}  // namespace

TEST_P(LoadDriverKinds, EachKindWritesItsImageWhereTheServiceLooksForIt) {
  TFakeDriverService service;
  const TKindCase& c = GetParam();
  TLoadDriver driver(service, c.OsKind);
  EXPECT_TRUE(driver.IsConnected());
  EXPECT_EQ(driver.DriverImage(), service.Images[c.Image]);
  EXPECT_EQ(service.Calls[0], Writes(c.Path, service.Images[c.Image].size())[0]);
  EXPECT_EQ(service.Services.at("ZemDrv").ImagePath, c.Path);
}

INSTANTIATE_TEST_SUITE_P(NtKinds, LoadDriverKinds,
                         ::testing::Values(TKindCase{1, TDriverImageKind::X86, kXpPath},
                                           TKindCase{4, TDriverImageKind::X86, kXpPath},
                                           TKindCase{2, TDriverImageKind::Ia64, kWow64Path},
                                           TKindCase{5, TDriverImageKind::Ia64, kWow64Path},
                                           TKindCase{3, TDriverImageKind::X64, kWow64Path},
                                           TKindCase{6, TDriverImageKind::X64, kWow64Path}));

TEST(DriverImages, TheTableDescribesTheShippedImages) {
  ASSERT_EQ(DriverImageForOsKind(7), nullptr);
  EXPECT_EQ(DriverImageForOsKind(1), DriverImageForOsKind(4));
  EXPECT_EQ(DriverImageForOsKind(3)->Machine, 0x8664);
  EXPECT_EQ(DriverImageForOsKind(3)->Length, 16904u);
  EXPECT_EQ(DriverImageForOsKind(2)->Machine, 0x200);
  EXPECT_EQ(DriverImageForOsKind(0)->Length, 5173u);
  EXPECT_STREQ(DriverImageForOsKind(0)->Format, "LE");
}

// --- the Linux driver service under the same sequence ---

TEST(LinuxDriverService, RunsTheWholeSequenceAndLeavesNothingBehind) {
  TCapture trace;
  int made = 0;
  auto service = OsCreateDriverService([&](std::string*) -> std::unique_ptr<IDriverLink> {
    ++made;
    return std::make_unique<TNullDriverLink>();
  });
  std::string path;
  {
    TLoadDriver driver(*service, 6);
    EXPECT_TRUE(driver.IsConnected());
    path = driver.DriverPath();
    EXPECT_EQ(path, service->WindowsDirectory() + "/SysWOW64/Drivers/ZemDrv.sys");
    EXPECT_EQ(made, 1);
    EXPECT_FALSE(OsFileExists(path));
    // The device exists only after the service ran, as on Windows.
    EXPECT_TRUE(trace.Lines[3].find("Service Control Manager") != std::string::npos);
    EXPECT_EQ(trace.Lines.back(), "Connect driver ok");
  }
  // The service was stopped and deleted: a second run installs it afresh.
  TLoadDriver again(*service, 6);
  EXPECT_TRUE(again.IsConnected());
  EXPECT_EQ(std::count(trace.Lines.begin(), trace.Lines.end(), "Create service success"), 2);
}

TEST(LinuxDriverService, AMachineThatCannotBeOpenedShowsTheMessageAndTheReason) {
  TCapture trace;
  auto service = OsCreateDriverService([](std::string* error) -> std::unique_ptr<IDriverLink> {
    *error = "/dev/port: Permission denied";
    return nullptr;
  });
  ::testing::internal::CaptureStderr();
  TLoadDriver driver(*service, 4);
  const std::string shown = ::testing::internal::GetCapturedStderr();
  EXPECT_FALSE(driver.IsConnected());
  EXPECT_EQ(shown, std::string(kDriverLoadFailedText) + "\n/dev/port: Permission denied\n");
  EXPECT_FALSE(OsFileExists(driver.DriverPath()));
}

#include "hw/loaddriver.h"

#include "base/trace.h"

namespace {

// Lengths and machines are those of the images the Windows build embeds.
constexpr TDriverImageInfo kVxdImage{TDriverImageKind::Vxd,
                                     "9x virtual device driver",
                                     "LE",
                                     0,
                                     5173,
                                     TDriverTarget::System,
                                     ".vxd"};
constexpr TDriverImageInfo kX86Image{TDriverImageKind::X86,
                                     "x86 kernel driver",
                                     "PE",
                                     0x14C,
                                     15368,
                                     TDriverTarget::SystemDrivers,
                                     ".sys"};
constexpr TDriverImageInfo kIa64Image{TDriverImageKind::Ia64,
                                      "IA-64 kernel driver",
                                      "PE",
                                      0x200,
                                      24584,
                                      TDriverTarget::SysWow64Drivers,
                                      ".sys"};
constexpr TDriverImageInfo kX64Image{TDriverImageKind::X64,
                                     "x64 kernel driver",
                                     "PE",
                                     0x8664,
                                     16904,
                                     TDriverTarget::SysWow64Drivers,
                                     ".sys"};

// A 64-bit build of the program runs natively on x64 Windows, where the system reports no WOW64
// and so an OsKind of the 32-bit rows (1, 4): it installs the x64 image, and its system directory
// is the native one, not redirected.
constexpr TDriverImageInfo kX64NativeImage{TDriverImageKind::X64,
                                           "x64 kernel driver",
                                           "PE",
                                           0x8664,
                                           16904,
                                           TDriverTarget::SystemDrivers,
                                           ".sys"};

}  // namespace

const TDriverImageInfo* DriverImageForOsKind(int osKind) {
  switch (osKind) {
    case 0:
      return &kVxdImage;
    case 1:
    case 4:
#if defined(_WIN64)
      return &kX64NativeImage;
#else
      return &kX86Image;
#endif
    case 2:
    case 5:
      return &kIa64Image;
    case 3:
    case 6:
      return &kX64Image;
    default:
      return nullptr;
  }
}

std::string DriverFilePath(const TDriverImageInfo& image, IOsDriverService& service) {
  const std::string sep(1, service.PathSeparator());
  std::string directory;
  switch (image.Target) {
    case TDriverTarget::SystemDrivers:
      directory = service.SystemDirectory() + sep + "Drivers";
      break;
    case TDriverTarget::SysWow64Drivers:
      directory = service.WindowsDirectory() + sep + "SysWOW64" + sep + "Drivers";
      break;
    case TDriverTarget::System:
      directory = service.SystemDirectory();
      break;
  }
  return directory + sep + kDriverName + image.Extension;
}

TLoadDriver::TLoadDriver(IOsDriverService& service, int osKind)
    : Service_(service), OsKind_(osKind) {
  // An unknown system gets no image, no attempt and no message.
  const TDriverImageInfo* image = DriverImageForOsKind(osKind);
  if (!image) return;
  Image_ = Service_.DriverImage(image->Kind);
  // The Windows build carries the x86 and x64 images only; the IA-64 and 9x rows stay, but there
  // is nothing to install on those systems.
  if (Image_.empty()) RwDebugLine(std::string("No ") + image->Description + " in this build");
  DriverPath_ = DriverFilePath(*image, Service_);
  DevicePath_ = std::string("\\\\.\\") + (IsNtFamily() ? std::string(kDriverName) : DriverPath_);
  Device_ = InstallAndConnect();
}

TLoadDriver::~TLoadDriver() {
  // A service this run registered or opened is removed even when its device never opened: left
  // behind, it would name a driver file that is already deleted.
  if (!Device_ && !ServiceReached_) return;
  Device_.reset();
  if (IsNtFamily()) UninstallNt();
}

std::unique_ptr<IDriverLink> TLoadDriver::InstallAndConnect() {
  RwDebugLine("Drvier path = " + DriverPath_);
  RwDebugLine("Start copy drvier");
  // An empty image is a build without its driver: there is nothing usable to write.
  const TImageWriteResult written =
      Image_.empty() ? TImageWriteResult::ShortWrite : Service_.WriteImageFile(DriverPath_, Image_);
  if (written == TImageWriteResult::CannotCreate) {
    RwDebugLine("Create driver fail");
    return nullptr;
  }
  if (written == TImageWriteResult::ShortWrite) {
    RwDebugLine("Write driver file fail");
    return nullptr;
  }
  RwDebugLine("Write driver file ok");

  std::unique_ptr<IDriverLink> device;
  if (IsNtFamily()) {
    device = ConnectNt();
  } else {
    // Closing this handle unloads the virtual device again.
    device = Service_.OpenDevice(DevicePath_, TDeviceOpenMode::DeleteOnClose);
    if (device) RwDebugLine("Connect driver ok");
  }

  // The loaded driver no longer needs its file; nothing is left on disk either way.
  Service_.RemoveImageFile(DriverPath_);
  if (!device) Service_.ErrorMessageBox(kDriverLoadFailedText);
  return device;
}

std::unique_ptr<IDriverLink> TLoadDriver::ConnectNt() {
  // A driver left loaded by an earlier run answers at once.
  std::unique_ptr<IDriverLink> device =
      Service_.OpenDevice(DevicePath_, TDeviceOpenMode::ReadWrite);
  if (device) {
    RwDebugLine("First connect driver ok");
    return device;
  }

  RwDebugLine("Connect to the Service Control Manager and open the Services database");
  const TScHandle manager = Service_.OpenServiceManager();
  RwDebugLine("Create new service object");
  TServiceStatus status = TServiceStatus::Ok;
  TScHandle service =
      Service_.CreateDriverService(manager, kDriverName, kDriverName, DriverPath_, &status);
  if (service != kNoScHandle) {
    RwDebugLine("Create service success");
  } else if (status == TServiceStatus::ServiceExists) {
    // Left registered by an earlier run that did not end normally: reuse it.
    RwDebugLine("Service exists, Open the handle to the existing service");
    service = Service_.OpenDriverService(manager, kDriverName, &status);
    if (service == kNoScHandle && status == TServiceStatus::ServiceAlreadyRunning)
      RwDebugLine("Service already running");
  }

  if (service == kNoScHandle) {
    if (manager != kNoScHandle) Service_.CloseScHandle(manager);
    return nullptr;
  }
  ServiceReached_ = true;
  RwDebugLine("Start the execution of the service");
  Service_.StartDriverService(service);  // a service that is running already is fine as well
  Service_.CloseScHandle(service);
  if (manager != kNoScHandle) Service_.CloseScHandle(manager);
  RwDebugLine("Connect to the driver just installed");
  device = Service_.OpenDevice(DevicePath_, TDeviceOpenMode::ReadWrite);
  if (device) RwDebugLine("Connect driver ok");
  return device;
}

void TLoadDriver::UninstallNt() {
  // Nothing to be done about failures at this point; each step is tried on its own.
  const TScHandle manager = Service_.OpenServiceManager();
  TServiceStatus status = TServiceStatus::Ok;
  const TScHandle service = Service_.OpenDriverService(manager, kDriverName, &status);
  if (service != kNoScHandle) {
    Service_.StopDriverService(service);
    Service_.DeleteDriverService(service);
    Service_.CloseScHandle(service);
  }
  if (manager != kNoScHandle) Service_.CloseScHandle(manager);
}

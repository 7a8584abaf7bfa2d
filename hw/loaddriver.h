// Installation and connection of the program's kernel driver, ZemDrv: write the image that fits the
// system, register and start it as a service, open its device, delete the file again; stop and
// delete the service at the end.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "hw/driverlink.h"
#include "os/driverservice.h"

// The one name of the driver: service, display name, file base name and device.
inline constexpr const char* kDriverName = "ZemDrv";

// Shown when the driver was written but no device could be opened.
inline constexpr const char* kDriverLoadFailedText =
    "Driver cannot be loaded, re-install the program may fix the issue, if it happens again, "
    "report the problem with your system configuration as detail as possible.";

// Where an image is written.
enum class TDriverTarget {
  SystemDrivers,    // system directory + "\Drivers\"
  SysWow64Drivers,  // Windows directory + "\SysWOW64\Drivers\" (64-bit systems under WOW64)
  System,           // system directory + "\" (the 9x virtual device)
};

// One image the program carries. The bytes themselves come from IOsDriverService::DriverImage, so
// a build can embed them (Windows) or do without them (Linux, where no image is ever loaded);
// Length and Machine describe the shipped Windows images and let that build check what it embeds.
struct TDriverImageInfo {
  TDriverImageKind Kind;
  const char* Description;
  const char* Format;  // "PE" for the NT kernel drivers, "LE" for the 9x virtual device
  uint16_t Machine;    // PE machine field; 0 for LE
  uint32_t Length;     // bytes of the shipped image
  TDriverTarget Target;
  const char* Extension;
};

// The image for an OS kind (0 = 9x, 1..6 = NT variants); null for any other kind.
const TDriverImageInfo* DriverImageForOsKind(int osKind);

// The full path the image is written to.
std::string DriverFilePath(const TDriverImageInfo& image, IOsDriverService& service);

class TLoadDriver {
 public:
  // Selects the image for osKind and installs and connects the driver. Failures leave the driver
  // disconnected; a failed connection after a good write shows the error message box.
  TLoadDriver(IOsDriverService& service, int osKind);
  // Closes the device and, on the NT family, stops and deletes the service (also one that was
  // registered but whose device never opened).
  virtual ~TLoadDriver();
  TLoadDriver(const TLoadDriver&) = delete;
  TLoadDriver& operator=(const TLoadDriver&) = delete;

  // The device handle is valid: hardware access is available.
  bool IsConnected() const { return Device_ != nullptr; }

  int OsKind() const { return OsKind_; }
  // The file the image was written to and the device path; empty when no image fits the system.
  const std::string& DriverPath() const { return DriverPath_; }
  const std::string& DevicePath() const { return DevicePath_; }
  // The selected image; empty when none fits.
  std::string_view DriverImage() const { return Image_; }

 protected:
  // The connected device; null when not connected.
  IDriverLink* Link() const { return Device_.get(); }

 private:
  bool IsNtFamily() const { return OsKind_ >= 1 && OsKind_ <= 6; }
  std::unique_ptr<IDriverLink> InstallAndConnect();
  std::unique_ptr<IDriverLink> ConnectNt();
  void UninstallNt();

  IOsDriverService& Service_;
  int OsKind_;
  std::string_view Image_;
  std::string DriverPath_;
  std::string DevicePath_;
  std::unique_ptr<IDriverLink> Device_;
  bool ServiceReached_ = false;  // a service handle was had during installation
};

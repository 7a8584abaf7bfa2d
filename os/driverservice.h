// Driver service control: what it takes to put the program's kernel driver on disk, register and
// start it as a service, and open its device. TLoadDriver runs the sequence; this seam only carries
// the individual operations and the results the sequence branches on.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

// The open device's control interface, hw/driverlink.h. It speaks the driver's wire format, which
// belongs to the hardware layer; this seam only hands it out.
class IDriverLink;

// The driver images the program carries, one per kind of system it installs on.
enum class TDriverImageKind {
  Vxd,   // 9x virtual device driver
  X86,   // NT kernel driver for 32-bit systems
  Ia64,  // NT kernel driver for IA-64 systems
  X64,   // NT kernel driver for x64 systems
};

enum class TImageWriteResult {
  Ok,
  CannotCreate,  // the file could not be created
  ShortWrite,    // the write failed or took fewer bytes than the image
};

// Why a service could not be created or opened; the installation takes a different path for the
// first two.
enum class TServiceStatus {
  Ok,
  ServiceExists,          // a service of that name is already registered
  ServiceAlreadyRunning,  // the service is running already
  Failed,                 // any other error
};

// How the device is opened: the NT device for read/write without sharing, or the 9x virtual device
// with no access rights and delete-on-close (closing the handle unloads it).
enum class TDeviceOpenMode { ReadWrite, DeleteOnClose };

// Service-manager and service handles; 0 is no handle.
using TScHandle = std::uintptr_t;
constexpr TScHandle kNoScHandle = 0;

class IOsDriverService {
 public:
  virtual ~IOsDriverService() = default;

  // The bytes of the image of that kind. The Windows build embeds the real images; a build that
  // never loads a driver image (Linux reaches the hardware through an in-process link) hands out a
  // marked placeholder so the installation sequence still runs end to end.
  virtual std::string_view DriverImage(TDriverImageKind kind) = 0;

  // The system directory and the Windows directory, without a trailing separator, and the
  // separator that joins path parts on this system.
  virtual std::string SystemDirectory() = 0;
  virtual std::string WindowsDirectory() = 0;
  virtual char PathSeparator() = 0;

  // Creates path (always anew, write access, share-write) and writes all of bytes to it.
  virtual TImageWriteResult WriteImageFile(const std::string& path, std::string_view bytes) = 0;
  // (Names avoid the Win32 macros DeleteFile and the like, which would rename the methods.)
  virtual bool RemoveImageFile(const std::string& path) = 0;

  // The service control manager of the local machine, all access; kNoScHandle on failure.
  virtual TScHandle OpenServiceManager() = 0;
  // A kernel-driver service started on demand, error control normal, all access. On failure the
  // result is kNoScHandle and status tells why.
  virtual TScHandle CreateDriverService(TScHandle manager, const std::string& name,
                                        const std::string& displayName,
                                        const std::string& imagePath, TServiceStatus* status) = 0;
  virtual TScHandle OpenDriverService(TScHandle manager, const std::string& name,
                                      TServiceStatus* status) = 0;
  virtual bool StartDriverService(TScHandle service) = 0;
  virtual bool StopDriverService(TScHandle service) = 0;
  virtual bool DeleteDriverService(TScHandle service) = 0;
  virtual void CloseScHandle(TScHandle handle) = 0;

  // Opens the driver's device; null when it cannot be opened. The link is the open handle:
  // destroying it closes the device.
  virtual std::unique_ptr<IDriverLink> OpenDevice(const std::string& path,
                                                  TDeviceOpenMode mode) = 0;

  // A system-modal message box with an error icon and an OK button.
  virtual void ErrorMessageBox(const std::string& text) = 0;
};

// Makes the link to the machine the program works on (simulated or real); null with a reason in
// error when it cannot.
using TDriverLinkFactory = std::function<std::unique_ptr<IDriverLink>(std::string* error)>;

// The running system's driver service. On Windows the device is the kernel driver's and factory is
// not used; on Linux opening the device means asking factory for the link.
std::unique_ptr<IOsDriverService> OsCreateDriverService(TDriverLinkFactory factory);

// The driver service over the Win32 API: the images embedded as resources, the service control
// manager, and the driver's device.
#include "os/driverservice.h"

#include <windows.h>

#include "os/win32/devicelink.h"
#include "os/win32/handle.h"

namespace {

// The resource names of os/win32/driverimages/driverimages.rc.in.
const char* ResourceOf(TDriverImageKind kind) {
  switch (kind) {
    case TDriverImageKind::X86:
      return "ZEMDRV_X86";
    case TDriverImageKind::X64:
      return "ZEMDRV_X64";
    case TDriverImageKind::Vxd:
    case TDriverImageKind::Ia64:
      break;
  }
  return nullptr;  // no image is carried for the 9x family or IA-64
}

std::string DirectoryOf(UINT(WINAPI* query)(LPSTR, UINT)) {
  char buffer[MAX_PATH + 1] = {};
  const UINT length = query(buffer, MAX_PATH);
  if (length == 0 || length > MAX_PATH) return {};
  std::string directory(buffer, length);
  while (!directory.empty() && directory.back() == '\\') directory.pop_back();
  return directory;
}

TScHandle ToHandle(SC_HANDLE handle) {
  return reinterpret_cast<TScHandle>(handle);
}
SC_HANDLE FromHandle(TScHandle handle) {
  return reinterpret_cast<SC_HANDLE>(handle);
}

TServiceStatus StatusOfLastError() {
  switch (::GetLastError()) {
    case ERROR_SERVICE_EXISTS:
      return TServiceStatus::ServiceExists;
    case ERROR_SERVICE_ALREADY_RUNNING:
      return TServiceStatus::ServiceAlreadyRunning;
    default:
      return TServiceStatus::Failed;
  }
}

class TWinDriverService final : public IOsDriverService {
 public:
  std::string_view DriverImage(TDriverImageKind kind) override {
    const char* name = ResourceOf(kind);
    if (name == nullptr) return {};
    HRSRC resource = ::FindResourceA(nullptr, name, MAKEINTRESOURCEA(10));  // RT_RCDATA
    if (resource == nullptr) return {};
    HGLOBAL loaded = ::LoadResource(nullptr, resource);
    const void* bytes = loaded != nullptr ? ::LockResource(loaded) : nullptr;
    if (bytes == nullptr) return {};
    return {static_cast<const char*>(bytes), ::SizeofResource(nullptr, resource)};
  }

  std::string SystemDirectory() override { return DirectoryOf(::GetSystemDirectoryA); }
  std::string WindowsDirectory() override { return DirectoryOf(::GetWindowsDirectoryA); }
  char PathSeparator() override { return '\\'; }

  TImageWriteResult WriteImageFile(const std::string& path, std::string_view bytes) override {
    TWinHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return TImageWriteResult::CannotCreate;
    const bool written = WriteAllToHandle(file.Get(), bytes.data(), bytes.size());
    return file.Close() && written ? TImageWriteResult::Ok : TImageWriteResult::ShortWrite;
  }

  bool RemoveImageFile(const std::string& path) override {
    return ::DeleteFileA(path.c_str()) != 0;
  }

  TScHandle OpenServiceManager() override {
    return ToHandle(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  }

  TScHandle CreateDriverService(TScHandle manager, const std::string& name,
                                const std::string& displayName, const std::string& imagePath,
                                TServiceStatus* status) override {
    SC_HANDLE service =
        ::CreateServiceA(FromHandle(manager), name.c_str(), displayName.c_str(), SERVICE_ALL_ACCESS,
                         SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                         imagePath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    *status = service != nullptr ? TServiceStatus::Ok : StatusOfLastError();
    return ToHandle(service);
  }

  TScHandle OpenDriverService(TScHandle manager, const std::string& name,
                              TServiceStatus* status) override {
    SC_HANDLE service = ::OpenServiceA(FromHandle(manager), name.c_str(), SERVICE_ALL_ACCESS);
    *status = service != nullptr ? TServiceStatus::Ok : StatusOfLastError();
    return ToHandle(service);
  }

  bool StartDriverService(TScHandle service) override {
    return ::StartServiceA(FromHandle(service), 0, nullptr) != 0;
  }

  bool StopDriverService(TScHandle service) override {
    SERVICE_STATUS status{};
    return ::ControlService(FromHandle(service), SERVICE_CONTROL_STOP, &status) != 0;
  }

  bool DeleteDriverService(TScHandle service) override {
    return ::DeleteService(FromHandle(service)) != 0;
  }

  void CloseScHandle(TScHandle handle) override {
    if (handle != kNoScHandle) ::CloseServiceHandle(FromHandle(handle));
  }

  std::unique_ptr<IDriverLink> OpenDevice(const std::string& path, TDeviceOpenMode mode) override {
    HANDLE device = mode == TDeviceOpenMode::ReadWrite
                        ? ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)
                        : ::CreateFileA(path.c_str(), 0, 0, nullptr, CREATE_NEW,
                                        FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (device == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<TWinDeviceLink>(WinDeviceIoOfHandle(device));
  }

  void ErrorMessageBox(const std::string& text) override {
    ::MessageBoxA(nullptr, text.c_str(), "Error", MB_OK | MB_ICONERROR | MB_SYSTEMMODAL);
  }
};

}  // namespace

std::unique_ptr<IOsDriverService> OsCreateDriverService(TDriverLinkFactory) {
  return std::make_unique<TWinDriverService>();
}

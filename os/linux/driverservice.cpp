// The driver service on Linux. There is no kernel driver to install: the "device" is the link to
// the machine the program works on, made by a factory the program chooses (simulated PC or real
// hardware). The rest of the installation is kept as a faithful stand-in so the sequence, its
// trace and its failure paths run the same as on Windows: the image goes to a directory of this
// process's own under the runtime directory, and the service manager is an in-process record whose
// service makes the device available while it runs.
//
// The program may run as root while the runtime directory is a shared one (TMPDIR=/tmp under
// sudo): the stand-in's folder is made anew by mkdtemp, nothing outside it is written, and files
// are created with O_EXCL|O_NOFOLLOW, so a path another user planted is never followed.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "hw/driverlink.h"
#include "os/driverservice.h"
#include "os/linux/userdirs.h"

namespace {

// Linux never loads a driver image; the installation writes this marked stand-in instead.
constexpr std::string_view kPlaceholderImage =
    "ZemDrv placeholder image: this build reaches the hardware through an in-process driver link "
    "and never loads a driver image.\n";

constexpr std::string_view kDevicePrefix = "\\\\.\\";

std::string RuntimeBase() {
  for (const char* name : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
    const char* value = std::getenv(name);
    struct stat info {};
    if (value && *value && ::stat(value, &info) == 0 && S_ISDIR(info.st_mode)) return value;
  }
  return "/tmp";
}

bool FileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

class TLinuxDriverService : public IOsDriverService {
 public:
  explicit TLinuxDriverService(TDriverLinkFactory factory)
      : Factory_(std::move(factory)), Root_(MakeUniqueDirectory(RuntimeBase(), "korzem-driver-")) {
    if (!Root_.empty()) Created_.push_back(Root_);
  }

  ~TLinuxDriverService() override {
    // Leave nothing behind: files first, then the directories this object made, deepest first.
    for (const std::string& path : Written_) ::unlink(path.c_str());
    for (auto it = Created_.rbegin(); it != Created_.rend(); ++it) ::rmdir(it->c_str());
  }

  TLinuxDriverService(const TLinuxDriverService&) = delete;
  TLinuxDriverService& operator=(const TLinuxDriverService&) = delete;

  std::string_view DriverImage(TDriverImageKind) override { return kPlaceholderImage; }

  // Without a folder of its own the stand-in offers none: every path below is then relative to
  // "/nonexistent" and writing the image fails.
  std::string SystemDirectory() override { return WindowsDirectory() + "/system32"; }
  std::string WindowsDirectory() override { return Root_.empty() ? "/nonexistent" : Root_; }
  char PathSeparator() override { return '/'; }

  TImageWriteResult WriteImageFile(const std::string& path, std::string_view bytes) override {
    if (!Inside(path)) return TImageWriteResult::CannotCreate;
    const size_t slash = path.rfind('/');
    if (!MakeDirectories(path.substr(0, slash))) return TImageWriteResult::CannotCreate;
    // Created always anew, as the real call does; only a file this object wrote is replaced.
    if (std::find(Written_.begin(), Written_.end(), path) != Written_.end()) ::unlink(path.c_str());
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return TImageWriteResult::CannotCreate;
    Written_.push_back(path);
    size_t written = 0;
    while (written < bytes.size()) {
      const ssize_t step = ::write(fd, bytes.data() + written, bytes.size() - written);
      if (step <= 0) break;
      written += static_cast<size_t>(step);
    }
    const bool closed = ::close(fd) == 0;
    return written == bytes.size() && closed ? TImageWriteResult::Ok
                                             : TImageWriteResult::ShortWrite;
  }

  bool RemoveImageFile(const std::string& path) override {
    return Inside(path) && ::unlink(path.c_str()) == 0;
  }

  TScHandle OpenServiceManager() override { return NewHandle(THandleEntry{true, {}}); }

  TScHandle CreateDriverService(TScHandle manager, const std::string& name,
                                const std::string& displayName, const std::string& imagePath,
                                TServiceStatus* status) override {
    if (!IsManager(manager)) return Fail(status, TServiceStatus::Failed);
    if (Services_.count(name)) return Fail(status, TServiceStatus::ServiceExists);
    Services_[name] = TService{displayName, imagePath, false};
    *status = TServiceStatus::Ok;
    return NewHandle(THandleEntry{false, name});
  }

  TScHandle OpenDriverService(TScHandle manager, const std::string& name,
                              TServiceStatus* status) override {
    if (!IsManager(manager) || !Services_.count(name)) return Fail(status, TServiceStatus::Failed);
    *status = TServiceStatus::Ok;
    return NewHandle(THandleEntry{false, name});
  }

  bool StartDriverService(TScHandle handle) override {
    TService* service = ServiceOf(handle);
    // Starting loads the image from its file, as the real service manager does.
    if (!service || service->Running || !FileExists(service->ImagePath)) return false;
    service->Running = true;
    return true;
  }

  bool StopDriverService(TScHandle handle) override {
    TService* service = ServiceOf(handle);
    if (!service || !service->Running) return false;
    service->Running = false;
    return true;
  }

  bool DeleteDriverService(TScHandle handle) override {
    const auto entry = Handles_.find(handle);
    if (entry == Handles_.end() || entry->second.IsManager) return false;
    return Services_.erase(entry->second.Service) > 0;
  }

  void CloseScHandle(TScHandle handle) override { Handles_.erase(handle); }

  std::unique_ptr<IDriverLink> OpenDevice(const std::string& path, TDeviceOpenMode mode) override {
    LastError_.clear();
    if (path.compare(0, kDevicePrefix.size(), kDevicePrefix) != 0) return nullptr;
    const std::string target = path.substr(kDevicePrefix.size());
    // The NT device exists while its service runs; the 9x device is loaded from its file.
    if (mode == TDeviceOpenMode::ReadWrite) {
      const auto service = Services_.find(target);
      if (service == Services_.end() || !service->second.Running) return nullptr;
    } else if (!FileExists(target)) {
      return nullptr;
    }
    std::string error;
    std::unique_ptr<IDriverLink> link = Factory_ ? Factory_(&error) : nullptr;
    if (!link) LastError_ = error.empty() ? "no machine to connect to" : error;
    return link;
  }

  void ErrorMessageBox(const std::string& text) override {
    std::string message = text + "\n";
    if (!LastError_.empty()) message += LastError_ + "\n";
    std::fputs(message.c_str(), stderr);
    std::fflush(stderr);
  }

 private:
  struct TService {
    std::string DisplayName;
    std::string ImagePath;
    bool Running = false;
  };
  struct THandleEntry {
    bool IsManager = false;
    std::string Service;
  };

  TScHandle NewHandle(THandleEntry entry) {
    const TScHandle handle = NextHandle_++;
    Handles_[handle] = std::move(entry);
    return handle;
  }

  static TScHandle Fail(TServiceStatus* status, TServiceStatus why) {
    *status = why;
    return kNoScHandle;
  }

  bool IsManager(TScHandle handle) const {
    const auto entry = Handles_.find(handle);
    return entry != Handles_.end() && entry->second.IsManager;
  }

  TService* ServiceOf(TScHandle handle) {
    const auto entry = Handles_.find(handle);
    if (entry == Handles_.end() || entry->second.IsManager) return nullptr;
    const auto service = Services_.find(entry->second.Service);
    return service == Services_.end() ? nullptr : &service->second;
  }

  // Whether path lies below the stand-in's own folder (no ".." steps out of it).
  bool Inside(const std::string& path) const {
    return !Root_.empty() && path.size() > Root_.size() + 1 &&
           path.compare(0, Root_.size(), Root_) == 0 && path[Root_.size()] == '/' &&
           path.find("/../") == std::string::npos && path.find("/./") == std::string::npos;
  }

  // Creates directory and its missing parents below the root; the root is this object's own, so
  // what exists there was made by this object.
  bool MakeDirectories(const std::string& directory) {
    if (directory == Root_) return true;
    struct stat info {};
    if (::lstat(directory.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
    const size_t slash = directory.rfind('/');
    if (!MakeDirectories(directory.substr(0, slash))) return false;
    if (::mkdir(directory.c_str(), 0700) != 0) return false;
    Created_.push_back(directory);
    return true;
  }

  TDriverLinkFactory Factory_;
  std::string Root_;
  std::map<std::string, TService> Services_;
  std::map<TScHandle, THandleEntry> Handles_;
  TScHandle NextHandle_ = 1;
  std::string LastError_;  // why the factory could not make the link, for the message box
  std::vector<std::string> Written_;
  std::vector<std::string> Created_;
};

}  // namespace

std::unique_ptr<IOsDriverService> OsCreateDriverService(TDriverLinkFactory factory) {
  return std::make_unique<TLinuxDriverService>(std::move(factory));
}

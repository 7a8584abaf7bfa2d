#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include "os/files.h"

namespace {

class TPosixFile : public IOsFile {
 public:
  explicit TPosixFile(int fd) : Fd_(fd) {}
  ~TPosixFile() override { ::close(Fd_); }
  TPosixFile(const TPosixFile&) = delete;
  TPosixFile& operator=(const TPosixFile&) = delete;

  bool Write(std::string_view bytes) override {
    while (!bytes.empty()) {
      const ssize_t written = ::write(Fd_, bytes.data(), bytes.size());
      if (written <= 0) return false;
      bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
  }

 private:
  int Fd_;
};

}  // namespace

std::unique_ptr<IOsFile> OsCreateFileExclusive(const std::string& path, bool writeThrough) {
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC;
  if (writeThrough) flags |= O_SYNC;
  const int fd = ::open(path.c_str(), flags, 0644);
  if (fd < 0) return nullptr;
  // Exclusive like a share-none Windows handle: a second holder cannot take the lock. The file is
  // emptied only after the lock is ours, so another holder's file is left alone.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ftruncate(fd, 0) != 0) {
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<TPosixFile>(fd);
}

std::string OsExecutablePath() {
  char buffer[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return {};
  return std::string(buffer, static_cast<size_t>(length));
}

std::string OsExecutableDirectory() {
  const std::string path = OsExecutablePath();
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

char OsPathSeparator() {
  return '/';
}

bool OsFileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

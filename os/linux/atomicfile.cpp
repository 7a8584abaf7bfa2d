#include "os/atomicfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>

namespace {

// Closes a descriptor on every return path.
class TFd {
 public:
  explicit TFd(int fd) : Fd_(fd) {}
  ~TFd() {
    if (Fd_ >= 0) ::close(Fd_);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const { return Fd_; }
  // Closes now and reports whether the close succeeded (a delayed write error shows here).
  bool Close() {
    const int fd = Fd_;
    Fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int Fd_;
};

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

// The permission bits a newly created file gets from this process (0666 less the umask). The
// umask is read from /proc because umask() can only be read by changing it.
mode_t NewFileMode() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) {
      const unsigned long mask = std::strtoul(line.c_str() + 6, nullptr, 8);
      return static_cast<mode_t>(0666 & ~mask);
    }
  }
  return 0644;
}

// Writes through a symbolic link to its target instead of replacing the link by a plain file.
std::string ResolveTarget(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr) return path;
  return resolved;
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

TWholeFileRead OsReadWholeFile(const std::string& path, std::string& bytes) {
  bytes.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return (errno == ENOENT || errno == ENOTDIR) ? TWholeFileRead::Missing : TWholeFileRead::Failed;
  }
  TFd file(fd);
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return TWholeFileRead::Failed;
  bytes.reserve(static_cast<size_t>(info.st_size));
  char buffer[16384];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      bytes.clear();
      return TWholeFileRead::Failed;
    }
    if (got == 0) break;
    bytes.append(buffer, static_cast<size_t>(got));
  }
  return TWholeFileRead::Ok;
}

bool OsReplaceWholeFile(const std::string& path, std::string_view bytes, size_t failAfterBytes) {
  if (path.empty()) return false;
  const std::string target = ResolveTarget(path);
  std::string temp = target + ".XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return false;
  TFd file(fd);

  bool ok = true;
  // The replacement keeps the old file's permissions (and, where allowed, its owner); a new file
  // gets the mode any file this process creates would get.
  struct stat old {};
  if (::stat(target.c_str(), &old) == 0) {
    ok = ::fchmod(fd, old.st_mode & 07777) == 0;
    if (ok && (old.st_uid != ::geteuid() || old.st_gid != ::getegid())) {
      [[maybe_unused]] const int ignored = ::fchown(fd, old.st_uid, old.st_gid);
    }
  } else {
    ok = ::fchmod(fd, NewFileMode()) == 0;
  }

  if (ok && failAfterBytes < bytes.size()) {
    WriteAll(fd, bytes.substr(0, failAfterBytes));
    ok = false;
  }
  // The data must be on disk before the rename makes it the file, or a crash right after the
  // rename could leave an empty file under the old name.
  ok = ok && WriteAll(fd, bytes) && ::fsync(fd) == 0;
  ok = file.Close() && ok;
  ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  // Make the rename itself durable; the new file is in place whether or not this succeeds.
  const int dir = ::open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

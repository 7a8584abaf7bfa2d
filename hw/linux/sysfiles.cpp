#include "hw/linux/sysfiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

TFd& TFd::operator=(TFd&& other) noexcept {
  if (this != &other) {
    Reset();
    Fd_ = other.Release();
  }
  return *this;
}

int TFd::Release() {
  const int fd = Fd_;
  Fd_ = -1;
  return fd;
}

void TFd::Reset() {
  if (Fd_ >= 0) ::close(Fd_);
  Fd_ = -1;
}

std::string RootedPath(const std::string& root, std::string_view path) {
  std::string base = root;
  while (!base.empty() && base.back() == '/') base.pop_back();
  return base + std::string(path);
}

std::string ErrnoText(int err) {
  std::string text = std::error_code(err, std::generic_category()).message();
  if (err == EACCES || err == EPERM) text += " (run as root)";
  return text;
}

std::string OpenFailure(const std::string& path, int err) {
  return "cannot open " + path + ": " + ErrnoText(err);
}

TFd OpenReadWrite(const std::string& path, bool* writable, int extraFlags) {
  TFd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC | extraFlags));
  *writable = fd.Valid();
  if (!fd.Valid() && (errno == EACCES || errno == EPERM || errno == EROFS)) {
    fd = TFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | extraFlags));
  }
  return fd;
}

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>* bytes, std::string* error,
                   int* err) {
  bytes->clear();
  TFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.Valid()) {
    if (err != nullptr) *err = errno;
    *error = OpenFailure(path, errno);
    return false;
  }
  // sysfs files report a size of 4096 or 0 whatever they hold: read to the end instead.
  uint8_t chunk[65536];
  for (;;) {
    const ssize_t got = ::read(fd.Get(), chunk, sizeof chunk);
    if (got < 0) {
      const int readErr = errno;
      if (readErr == EINTR) continue;
      if (err != nullptr) *err = readErr;
      *error = "cannot read " + path + ": " + ErrnoText(readErr);
      return false;
    }
    if (got == 0) return true;
    bytes->insert(bytes->end(), chunk, chunk + got);
  }
}

bool ReadFileText(const std::string& path, std::string* text, std::string* error) {
  std::vector<uint8_t> bytes;
  if (!ReadFileBytes(path, &bytes, error)) return false;
  text->assign(bytes.begin(), bytes.end());
  return true;
}

bool ListDirectory(const std::string& path, bool filesOnly, std::vector<std::string>* names,
                   std::string* error) {
  names->clear();
  DIR* dir = ::opendir(path.c_str());
  if (dir == nullptr) {
    *error = OpenFailure(path, errno);
    return false;
  }
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (filesOnly) {
      struct stat info {};
      if (::stat((path + "/" + name).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    }
    names->push_back(name);
  }
  ::closedir(dir);
  std::sort(names->begin(), names->end());
  return true;
}

bool ParseCpuList(std::string_view text, std::vector<uint32_t>* cpus) {
  cpus->clear();
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.remove_suffix(1);
  if (text.empty()) return false;
  auto number = [&text](uint32_t* value) {
    if (text.empty() || text.front() < '0' || text.front() > '9') return false;
    uint64_t n = 0;
    while (!text.empty() && text.front() >= '0' && text.front() <= '9') {
      n = n * 10 + static_cast<uint64_t>(text.front() - '0');
      if (n > 65535) return false;
      text.remove_prefix(1);
    }
    *value = static_cast<uint32_t>(n);
    return true;
  };
  for (;;) {
    uint32_t first = 0;
    if (!number(&first)) return false;
    uint32_t last = first;
    if (!text.empty() && text.front() == '-') {
      text.remove_prefix(1);
      if (!number(&last) || last < first) return false;
    }
    for (uint32_t cpu = first; cpu <= last; ++cpu) cpus->push_back(cpu);
    if (text.empty()) return true;
    if (text.front() != ',') return false;
    text.remove_prefix(1);
  }
}

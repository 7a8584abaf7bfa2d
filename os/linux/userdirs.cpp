#include "os/linux/userdirs.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

std::string XdgConfigHome() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return config;
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/.config";
}

std::string UserRuntimeDirectory() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') return runtime;
  return "/tmp/korzem-" + std::to_string(::getuid());
}

bool MakeDirectories(const std::string& dir, mode_t mode) {
  struct stat info {};
  if (::stat(dir.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
  const size_t slash = dir.rfind('/');
  if (slash != std::string::npos && slash > 0 && !MakeDirectories(dir.substr(0, slash), mode)) {
    return false;
  }
  return ::mkdir(dir.c_str(), mode) == 0 || errno == EEXIST;
}

bool IsPrivateDirectory(const std::string& dir) {
  struct stat info {};
  return ::lstat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid() &&
         (info.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

bool MakePrivateDirectory(const std::string& dir) {
  struct stat info {};
  if (::lstat(dir.c_str(), &info) == 0) {
    return S_ISDIR(info.st_mode) && info.st_uid == ::getuid();
  }
  const size_t slash = dir.rfind('/');
  if (slash != std::string::npos && slash > 0) {
    const std::string parent = dir.substr(0, slash);
    if (!MakePrivateDirectory(parent) &&
        (::stat(parent.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))) {
      return false;
    }
  }
  if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
  return ::lstat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid();
}

std::string MakeUniqueDirectory(const std::string& base, const std::string& prefix) {
  std::string pattern = base + "/" + prefix + "XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (::mkdtemp(buffer.data()) == nullptr) return {};
  return buffer.data();
}

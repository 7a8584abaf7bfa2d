#include "os/linux/singleinstance.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "os/linux/userdirs.h"

// Where the running program keeps its mark: the given directory, else the user's runtime one.
// Empty when that is not a real directory of the user's own, or, for the fallback folder in /tmp
// (a shared place where another user could have made it first), when others can reach into it.
std::string InstanceRuntimeDirectory(const std::string& runtimeDir) {
  const char* xdg = std::getenv("XDG_RUNTIME_DIR");
  const bool fallback = runtimeDir.empty() && (xdg == nullptr || xdg[0] != '/');
  const std::string directory = runtimeDir.empty() ? UserRuntimeDirectory() : runtimeDir;
  if (!MakePrivateDirectory(directory)) return {};
  return fallback && !IsPrivateDirectory(directory) ? std::string() : directory;
}

namespace {

// A stream socket connected to the running program's mark; -1 when nobody listens there.
int ConnectToMark(const std::string& runtimeDir) {
  const std::string directory = InstanceRuntimeDirectory(runtimeDir);
  if (directory.empty()) return -1;
  const std::string path = directory + "/" + kInstanceMarkName + ".sock";
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return -1;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

class TSocketInstancePoster : public IInstancePoster {
 public:
  explicit TSocketInstancePoster(std::string runtimeDir) : RuntimeDir_(std::move(runtimeDir)) {}

  bool PostRequest(TInstanceRequest request) override {
    const int fd = ConnectToMark(RuntimeDir_);
    if (fd < 0) return false;
    // Posting does not wait for the request to be handled, only for it to be handed over.
    std::string_view line = InstanceRequestLine(request);
    while (!line.empty()) {
      const ssize_t written = ::send(fd, line.data(), line.size(), MSG_NOSIGNAL);
      if (written <= 0) break;
      line.remove_prefix(static_cast<size_t>(written));
    }
    ::close(fd);
    return line.empty();
  }

 private:
  std::string RuntimeDir_;
};

}  // namespace

bool OsInstanceMarkHeld(const std::string& runtimeDir) {
  // Only a connection, never the lock: taking the lock even for a moment could make a program
  // starting at the same time believe another one runs. The holder reads the empty connection as
  // no request.
  const int fd = ConnectToMark(runtimeDir);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

std::unique_ptr<IInstancePoster> OsCreateInstancePoster() {
  return std::make_unique<TSocketInstancePoster>(std::string());
}

std::unique_ptr<IInstancePoster> OsCreateInstancePoster(const std::string& runtimeDir) {
  return std::make_unique<TSocketInstancePoster>(runtimeDir);
}

// The running program's single-instance mark on Linux: a lock file and a listening Unix socket in
// the user's runtime directory.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "os/linux/singleinstance.h"

std::string InstanceRuntimeDirectory(const std::string& runtimeDir);

namespace {

class TLinuxInstanceMark final : public IInstanceMark {
 public:
  explicit TLinuxInstanceMark(const std::string& runtimeDir) {
    const std::string directory = InstanceRuntimeDirectory(runtimeDir);
    if (directory.empty()) {
      // No private place for the mark (another user holds the shared fallback folder): run
      // without one rather than let that user decide that this program may not start.
      Owned_ = true;
      return;
    }
    LockFd_ = ::open((directory + "/" + kInstanceMarkName + ".lock").c_str(),
                     O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (LockFd_ < 0 || ::flock(LockFd_, LOCK_EX | LOCK_NB) != 0) return;
    Owned_ = true;
    // Holding the lock, any socket file left is stale: replace it.
    SocketPath_ = directory + "/" + kInstanceMarkName + ".sock";
    ::unlink(SocketPath_.c_str());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (SocketPath_.size() >= sizeof address.sun_path) return;
    std::memcpy(address.sun_path, SocketPath_.c_str(), SocketPath_.size() + 1);
    ListenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (ListenFd_ < 0 ||
        ::bind(ListenFd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(ListenFd_, 8) != 0) {
      if (ListenFd_ >= 0) ::close(ListenFd_);
      ListenFd_ = -1;
    }
  }

  ~TLinuxInstanceMark() override {
    if (ListenFd_ >= 0) {
      ::close(ListenFd_);
      ::unlink(SocketPath_.c_str());
    }
    if (LockFd_ >= 0) ::close(LockFd_);
  }

  bool Owned() const override { return Owned_; }

  std::vector<TInstanceRequest> TakeRequests() override {
    std::vector<TInstanceRequest> requests;
    if (ListenFd_ < 0) return requests;
    while (true) {
      const int client = ::accept4(ListenFd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) break;
      // A poster writes its one short line before it closes; wait briefly for it.
      timeval timeout{0, 200000};
      ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
      std::string line;
      char buffer[64];
      while (line.size() < 64 && line.find('\n') == std::string::npos) {
        const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
        if (got <= 0) break;
        line.append(buffer, static_cast<size_t>(got));
      }
      ::close(client);
      if (const auto request = ParseInstanceRequestLine(line)) requests.push_back(*request);
    }
    return requests;
  }

 private:
  int LockFd_ = -1;
  int ListenFd_ = -1;
  bool Owned_ = false;
  std::string SocketPath_;
};

}  // namespace

std::unique_ptr<IInstanceMark> OsCreateInstanceMark(const std::string& runtimeDir) {
  return std::make_unique<TLinuxInstanceMark>(runtimeDir);
}

std::unique_ptr<IInstanceMark> OsCreateInstanceMark() {
  return OsCreateInstanceMark(std::string());
}

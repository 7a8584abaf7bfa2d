// The posting side of the single-instance mark on Linux: a request line over the running
// program's Unix socket in the runtime directory.
#include "os/singleinstance.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace {

// Points $XDG_RUNTIME_DIR at a fresh directory for the test's lifetime.
class ScopedRuntimeDir {
 public:
  ScopedRuntimeDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "korzem-si-XXXXXX").string();
    Path = ::mkdtemp(pattern.data());
    if (const char* old = std::getenv("XDG_RUNTIME_DIR")) Old_ = old;
    ::setenv("XDG_RUNTIME_DIR", Path.c_str(), 1);
  }
  ~ScopedRuntimeDir() {
    if (Old_)
      ::setenv("XDG_RUNTIME_DIR", Old_->c_str(), 1);
    else
      ::unsetenv("XDG_RUNTIME_DIR");
    std::filesystem::remove_all(Path);
  }
  std::string Path;

 private:
  std::optional<std::string> Old_;
};

// A running program's listening socket.
int Listen(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd, 1) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

TEST(SingleInstance, RequestsTravelAsOneLine) {
  EXPECT_EQ(InstanceRequestLine(TInstanceRequest::Exit), "EXIT\n");
  EXPECT_EQ(InstanceRequestLine(TInstanceRequest::Restore), "RESTORE\n");
  EXPECT_EQ(ParseInstanceRequestLine("EXIT\n"), TInstanceRequest::Exit);
  EXPECT_EQ(ParseInstanceRequestLine("RESTORE\r\n"), TInstanceRequest::Restore);
  EXPECT_EQ(ParseInstanceRequestLine("RESTORE"), TInstanceRequest::Restore);
  EXPECT_EQ(ParseInstanceRequestLine("exit\n"), std::nullopt);
  EXPECT_EQ(ParseInstanceRequestLine("EXIT NOW\n"), std::nullopt);
  EXPECT_EQ(InstanceRequestMessage(TInstanceRequest::Exit), 0x819Eu);
  EXPECT_EQ(InstanceRequestMessage(TInstanceRequest::Restore), 0x819Fu);
}

TEST(SingleInstance, PostingReachesTheListeningProgram) {
  ScopedRuntimeDir runtime;
  const int listener = Listen(runtime.Path + "/KorvanZEMMark.sock");
  ASSERT_GE(listener, 0);
  auto poster = OsCreateInstancePoster();
  ASSERT_TRUE(poster->PostRequest(TInstanceRequest::Exit));

  const int connection = ::accept(listener, nullptr, nullptr);
  ASSERT_GE(connection, 0);
  char buffer[32] = {};
  const ssize_t got = ::recv(connection, buffer, sizeof buffer - 1, MSG_WAITALL);
  EXPECT_EQ(std::string(buffer, got > 0 ? static_cast<size_t>(got) : 0), "EXIT\n");
  ::close(connection);
  ::close(listener);
}

TEST(SingleInstance, NoRunningProgramIsReported) {
  ScopedRuntimeDir runtime;
  auto poster = OsCreateInstancePoster();
  EXPECT_FALSE(poster->PostRequest(TInstanceRequest::Restore));
}

}  // namespace

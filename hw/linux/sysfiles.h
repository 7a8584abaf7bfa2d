// File access shared by the Linux back-end: paths under a system root (so a captured tree can stand
// in for /sys, /proc and /dev) and error texts that tell the user what to do.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// An owned file descriptor; -1 when empty.
class TFd {
 public:
  TFd() = default;
  explicit TFd(int fd) : Fd_(fd) {}
  ~TFd() { Reset(); }
  TFd(TFd&& other) noexcept : Fd_(other.Release()) {}
  TFd& operator=(TFd&& other) noexcept;
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;

  int Get() const { return Fd_; }
  bool Valid() const { return Fd_ >= 0; }
  int Release();
  void Reset();

 private:
  int Fd_ = -1;
};

// path (absolute, as on a live system) under root; root "/" or "" leaves it unchanged.
std::string RootedPath(const std::string& root, std::string_view path);

// The system's text for err, with a hint where the fix is known: "Permission denied (run as root)".
std::string ErrnoText(int err);

// "cannot open <path>: <ErrnoText>".
std::string OpenFailure(const std::string& path, int err);

// Opens read-write, falling back to read-only when writing is refused. writable tells which one
// succeeded. On failure returns an empty TFd and leaves errno set.
TFd OpenReadWrite(const std::string& path, bool* writable, int extraFlags = 0);

// Whole-file reads; on failure error receives a complete message and err (when given) the errno.
bool ReadFileBytes(const std::string& path, std::vector<uint8_t>* bytes, std::string* error,
                   int* err = nullptr);
bool ReadFileText(const std::string& path, std::string* text, std::string* error);

// Names in a directory, "." and ".." left out, sorted; files only when filesOnly. False with a
// message when the directory cannot be read.
bool ListDirectory(const std::string& path, bool filesOnly, std::vector<std::string>* names,
                   std::string* error);

// Parses a kernel CPU list such as "0-3,6,8-9"; false on malformed text.
bool ParseCpuList(std::string_view text, std::vector<uint32_t>* cpus);

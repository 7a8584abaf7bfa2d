// Files and paths of the program over the Win32 API.
#include "os/files.h"

#include <windows.h>

#include <vector>

#include "os/win32/handle.h"

namespace {

class TWinFile : public IOsFile {
 public:
  explicit TWinFile(TWinHandle handle) : Handle_(std::move(handle)) {}

  bool Write(std::string_view bytes) override {
    return WriteAllToHandle(Handle_.Get(), bytes.data(), bytes.size());
  }

 private:
  TWinHandle Handle_;
};

}  // namespace

std::unique_ptr<IOsFile> OsCreateFileExclusive(const std::string& path, bool writeThrough) {
  // No sharing: a second holder cannot open the file while this one has it.
  TWinHandle handle(
      ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | (writeThrough ? FILE_FLAG_WRITE_THROUGH : 0), nullptr));
  if (!handle.Valid()) return nullptr;
  return std::make_unique<TWinFile>(std::move(handle));
}

std::string OsExecutablePath() {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    // A full buffer may hold a truncated path: try again with more room.
    if (length < buffer.size()) return std::string(buffer.data(), length);
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);
  }
}

std::string OsExecutableDirectory() {
  const std::string path = OsExecutablePath();
  const size_t separator = path.find_last_of("\\/");
  return separator == std::string::npos ? std::string(".") : path.substr(0, separator);
}

char OsPathSeparator() {
  return '\\';
}

bool OsFileExists(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

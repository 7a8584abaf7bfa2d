// Whole-file reads and crash-safe replacement over the Win32 file API.
#include "os/atomicfile.h"

#include <windows.h>

#include <atomic>
#include <string>

#include "os/win32/handle.h"

namespace {

std::string DirectoryPart(const std::string& path) {
  const size_t separator = path.find_last_of("\\/");
  return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

// A name for the temporary file beside path that no other writer (thread or process) picks.
std::string TemporaryName(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  const std::string base = path.substr(DirectoryPart(path).size());
  return DirectoryPart(path) + "~" + base + "." + std::to_string(::GetCurrentProcessId()) + "." +
         std::to_string(counter.fetch_add(1)) + ".tmp";
}

bool Exists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

TWholeFileRead OsReadWholeFile(const std::string& path, std::string& bytes) {
  bytes.clear();
  TWinHandle file(::CreateFileA(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? TWholeFileRead::Missing
                                                                          : TWholeFileRead::Failed;
  }
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0) return TWholeFileRead::Failed;
  bytes.reserve(static_cast<size_t>(size.QuadPart));
  char buffer[16384];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr)) {
      bytes.clear();
      return TWholeFileRead::Failed;
    }
    if (got == 0) break;
    bytes.append(buffer, got);
  }
  return TWholeFileRead::Ok;
}

bool OsReplaceWholeFile(const std::string& path, std::string_view bytes, size_t failAfterBytes) {
  if (path.empty()) return false;
  const std::string temp = TemporaryName(path);
  TWinHandle file(::CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) return false;

  bool ok = true;
  if (failAfterBytes < bytes.size()) {
    WriteAllToHandle(file.Get(), bytes.data(), failAfterBytes);
    ok = false;
  }
  // The data must be on disk before the move makes it the file, or a crash right after could
  // leave an empty file under the old name.
  ok = ok && WriteAllToHandle(file.Get(), bytes.data(), bytes.size()) &&
       ::FlushFileBuffers(file.Get()) != 0;
  ok = file.Close() && ok;
  if (ok) {
    if (Exists(path)) {
      // ReplaceFile keeps the old file's attributes and security, as a rewrite in place would;
      // where the file system cannot, the move below still replaces the file atomically.
      ok = ::ReplaceFileA(path.c_str(), temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                          nullptr, nullptr) != 0;
      if (!ok && ::GetLastError() != ERROR_ACCESS_DENIED && Exists(temp)) {
        ok = ::MoveFileExA(temp.c_str(), path.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
      }
    } else {
      ok = ::MoveFileExA(temp.c_str(), path.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    }
  }
  if (!ok) {
    ::DeleteFileA(temp.c_str());
    return false;
  }
  return true;
}

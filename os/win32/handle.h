// A Win32 kernel handle closed on every return path (os/win32 only).
#pragma once

#include <windows.h>

class TWinHandle {
 public:
  TWinHandle() = default;
  explicit TWinHandle(HANDLE handle) : Handle_(handle) {}
  ~TWinHandle() { Reset(); }
  TWinHandle(const TWinHandle&) = delete;
  TWinHandle& operator=(const TWinHandle&) = delete;
  TWinHandle(TWinHandle&& other) noexcept : Handle_(other.Handle_) {
    other.Handle_ = INVALID_HANDLE_VALUE;
  }

  bool Valid() const { return Handle_ != INVALID_HANDLE_VALUE && Handle_ != nullptr; }
  HANDLE Get() const { return Handle_; }
  // Closes now and reports whether the close succeeded.
  bool Close() {
    const HANDLE handle = Handle_;
    Handle_ = INVALID_HANDLE_VALUE;
    return handle == INVALID_HANDLE_VALUE || handle == nullptr || ::CloseHandle(handle) != 0;
  }
  void Reset() { Close(); }

 private:
  HANDLE Handle_ = INVALID_HANDLE_VALUE;
};

// Writes all of size bytes; false when the file takes fewer.
inline bool WriteAllToHandle(HANDLE handle, const char* data, size_t size) {
  while (size > 0) {
    const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!::WriteFile(handle, data, chunk, &written, nullptr) || written == 0) return false;
    data += written;
    size -= written;
  }
  return true;
}

// The single-instance mark on Windows: the named mutex "KorvanZEMMark" in the session's namespace,
// and the private window messages a second start posts to the running program's main window.
#include "os/singleinstance.h"

#include <windows.h>

#include "os/win32/instancewindow.h"
#include "os/win32/wide.h"

namespace {

static_assert(kZemExitRequest + 1 == kZemRestoreRequest, "TakeRequests filters one range");

class TWindowInstancePoster : public IInstancePoster {
 public:
  bool PostRequest(TInstanceRequest request) override {
    const HWND window = ::FindWindowW(kMainWindowClass, nullptr);
    if (window == nullptr) return false;
    return ::PostMessageW(window, InstanceRequestMessage(request), 0, 0) != FALSE;
  }
};

class TMutexInstanceMark final : public IInstanceMark {
 public:
  TMutexInstanceMark() {
    // Not owned by any thread: it only marks that the program runs, until its process ends.
    Mutex_ = ::CreateMutexW(nullptr, FALSE, WideFromUtf8(kInstanceMarkName).c_str());
    // An existing mutex is opened (ERROR_ALREADY_EXISTS); one made by another user's program in a
    // shared namespace cannot be opened at all. Either way another instance runs.
    Owned_ = Mutex_ != nullptr && ::GetLastError() != ERROR_ALREADY_EXISTS;
  }
  ~TMutexInstanceMark() override {
    if (Mutex_ != nullptr) ::CloseHandle(Mutex_);
  }
  TMutexInstanceMark(const TMutexInstanceMark&) = delete;
  TMutexInstanceMark& operator=(const TMutexInstanceMark&) = delete;

  bool Owned() const override { return Owned_; }

  // The requests wait in this thread's message queue, posted to its main window. Whatever the
  // message loop dispatches first reaches the window procedure instead.
  std::vector<TInstanceRequest> TakeRequests() override {
    std::vector<TInstanceRequest> requests;
    MSG message{};
    while (::PeekMessageW(&message, nullptr, kZemExitRequest, kZemRestoreRequest, PM_REMOVE)) {
      requests.push_back(message.message == kZemExitRequest ? TInstanceRequest::Exit
                                                            : TInstanceRequest::Restore);
    }
    return requests;
  }

 private:
  HANDLE Mutex_ = nullptr;
  bool Owned_ = false;
};

}  // namespace

std::unique_ptr<IInstancePoster> OsCreateInstancePoster() {
  return std::make_unique<TWindowInstancePoster>();
}

std::unique_ptr<IInstanceMark> OsCreateInstanceMark() {
  return std::make_unique<TMutexInstanceMark>();
}

// The mutex lives in the session's namespace, not in a directory.
bool OsInstanceMarkHeld(const std::string& /*runtimeDir*/) {
  HANDLE mutex = ::OpenMutexW(SYNCHRONIZE, FALSE, WideFromUtf8(kInstanceMarkName).c_str());
  if (mutex == nullptr) return false;
  ::CloseHandle(mutex);
  return true;
}

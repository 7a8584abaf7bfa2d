// The single-instance mark and the requests a second start posts to the running window.
#include <windows.h>

#include <gtest/gtest.h>

#include "os/singleinstance.h"
#include "os/win32/instancewindow.h"

namespace {

// A hidden top-level window of the main window's class on this thread.
class TMainWindowStandIn {
 public:
  TMainWindowStandIn() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ::DefWindowProcW;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kMainWindowClass;
    ::RegisterClassW(&windowClass);
    Window_ = ::CreateWindowExW(0, kMainWindowClass, kMainWindowTitle, WS_POPUP, 0, 0, 10, 10,
                                nullptr, nullptr, windowClass.hInstance, nullptr);
  }
  ~TMainWindowStandIn() {
    if (Window_ != nullptr) ::DestroyWindow(Window_);
    ::UnregisterClassW(kMainWindowClass, ::GetModuleHandleW(nullptr));
  }
  HWND Window() const { return Window_; }

 private:
  HWND Window_ = nullptr;
};

TEST(Win32Instance, TheFirstMarkIsOwnedAndLaterOnesAreNot) {
  auto first = OsCreateInstanceMark();
  ASSERT_TRUE(first->Owned());
  // The mutex is there under its name for any other process to find.
  const HANDLE seen = ::OpenMutexW(SYNCHRONIZE, FALSE, L"KorvanZEMMark");
  EXPECT_NE(seen, nullptr);
  if (seen != nullptr) ::CloseHandle(seen);
  auto second = OsCreateInstanceMark();
  EXPECT_FALSE(second->Owned());
  second.reset();
  first.reset();
  // Gone with its last handle: a new start owns it again.
  EXPECT_TRUE(OsCreateInstanceMark()->Owned());
}

TEST(Win32Instance, WithoutAWindowNothingIsReached) {
  EXPECT_FALSE(OsCreateInstancePoster()->PostRequest(TInstanceRequest::Restore));
  EXPECT_FALSE(OsCreateInstancePoster()->PostRequest(TInstanceRequest::Exit));
}

TEST(Win32Instance, RequestsReachTheMainWindowInOrder) {
  TMainWindowStandIn window;
  if (window.Window() == nullptr) GTEST_SKIP() << "no display to create windows on (xvfb-run)";
  auto mark = OsCreateInstanceMark();
  auto poster = OsCreateInstancePoster();
  ASSERT_TRUE(poster->PostRequest(TInstanceRequest::Restore));
  ASSERT_TRUE(poster->PostRequest(TInstanceRequest::Exit));
  ASSERT_TRUE(poster->PostRequest(TInstanceRequest::Restore));
  EXPECT_EQ(mark->TakeRequests(),
            (std::vector<TInstanceRequest>{TInstanceRequest::Restore, TInstanceRequest::Exit,
                                           TInstanceRequest::Restore}));
  EXPECT_TRUE(mark->TakeRequests().empty());
}

TEST(Win32Instance, TheRequestsAreThePrivateMessagesWithZeroParameters) {
  TMainWindowStandIn window;
  if (window.Window() == nullptr) GTEST_SKIP() << "no display to create windows on (xvfb-run)";
  ASSERT_TRUE(OsCreateInstancePoster()->PostRequest(TInstanceRequest::Exit));
  MSG message{};
  ASSERT_TRUE(::PeekMessageW(&message, window.Window(), 0x819E, 0x819F, PM_REMOVE));
  EXPECT_EQ(message.message, 0x819Eu);
  EXPECT_EQ(message.wParam, 0u);
  EXPECT_EQ(message.lParam, 0);
  ASSERT_TRUE(OsCreateInstancePoster()->PostRequest(TInstanceRequest::Restore));
  ASSERT_TRUE(::PeekMessageW(&message, window.Window(), 0x819E, 0x819F, PM_REMOVE));
  EXPECT_EQ(message.message, 0x819Fu);
}

}  // namespace

// The trace console and system-modal message boxes.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "os/console.h"
#include "os/messagebox.h"

namespace {

// Standard output redirected to a pipe for one test.
class TCapturedOutput {
 public:
  TCapturedOutput() {
    ::CreatePipe(&Read_, &Write_, nullptr, 1 << 16);
    Saved_ = ::GetStdHandle(STD_OUTPUT_HANDLE);
    ::SetStdHandle(STD_OUTPUT_HANDLE, Write_);
  }
  ~TCapturedOutput() {
    ::SetStdHandle(STD_OUTPUT_HANDLE, Saved_);
    if (Write_ != nullptr) ::CloseHandle(Write_);
    ::CloseHandle(Read_);
  }
  std::string Take() {
    ::CloseHandle(Write_);
    Write_ = nullptr;
    std::string bytes;
    char buffer[1024];
    DWORD got = 0;
    while (::ReadFile(Read_, buffer, sizeof buffer, &got, nullptr) && got > 0) {
      bytes.append(buffer, got);
    }
    return bytes;
  }

 private:
  HANDLE Read_ = nullptr;
  HANDLE Write_ = nullptr;
  HANDLE Saved_ = nullptr;
};

TEST(Win32Console, RedirectedOutputGetsTheBytesAsTheyAre) {
  TCapturedOutput output;
  {
    auto console = OsOpenConsole();
    ASSERT_NE(console, nullptr);
    console->Write(">>>> P0\n");
    console->Write("Cpu->IsAMDCpu() = [True]\n\xE8\x8A\x82\n");
  }
  EXPECT_EQ(output.Take(), ">>>> P0\nCpu->IsAMDCpu() = [True]\n\xE8\x8A\x82\n");
}

// What a message box showed, read from its window by another thread, which then closes it.
struct TSeenBox {
  std::wstring Caption;
  std::wstring Text;
  bool Topmost = false;
};

BOOL CALLBACK FindStaticText(HWND child, LPARAM found) {
  wchar_t className[32] = {};
  ::GetClassNameW(child, className, 32);
  wchar_t text[512] = {};
  ::GetWindowTextW(child, text, 512);
  if (std::wstring(className) == L"Static" && text[0] != L'\0') {
    *reinterpret_cast<std::wstring*>(found) = text;
    return FALSE;
  }
  return TRUE;
}

// Whether this session can show windows at all (Wine needs a display).
bool CanShowWindows() {
  const HWND probe = ::CreateWindowExW(0, L"Static", L"probe", WS_POPUP, 0, 0, 1, 1, nullptr,
                                       nullptr, nullptr, nullptr);
  if (probe == nullptr) return false;
  ::DestroyWindow(probe);
  return true;
}

TSeenBox ShowAndRead(const std::string& caption, const std::string& text,
                     const wchar_t* wideCaption) {
  TSeenBox seen;
  std::atomic<bool> shown{false};
  std::thread reader([&] {
    for (int attempt = 0; attempt < 500; ++attempt) {
      const HWND box = ::FindWindowW(L"#32770", wideCaption);
      if (box != nullptr) {
        seen.Caption = wideCaption;
        ::EnumChildWindows(box, FindStaticText, reinterpret_cast<LPARAM>(&seen.Text));
        seen.Topmost = (::GetWindowLongW(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        shown = true;
        return;
      }
      ::Sleep(20);
    }
  });
  OsCreateMessageBox()->Show(caption, text, TMessageIcon::Error);
  reader.join();
  EXPECT_TRUE(shown);
  return seen;
}

TEST(Win32MessageBox, TheBoxShowsTheTextSystemModal) {
  if (!CanShowWindows()) GTEST_SKIP() << "no display to show message boxes on (xvfb-run)";
  const TSeenBox seen = ShowAndRead("Error", "Cannot install power scheme!", L"Error");
  EXPECT_EQ(seen.Text, L"Cannot install power scheme!");
  EXPECT_TRUE(seen.Topmost);
}

TEST(Win32MessageBox, Utf8TextsArriveAsCharacters) {
  if (!CanShowWindows()) GTEST_SKIP() << "no display to show message boxes on (xvfb-run)";
  // "错误" and "节能": the Chinese texts of the string table.
  const TSeenBox seen =
      ShowAndRead("\xE9\x94\x99\xE8\xAF\xAF", "\xE8\x8A\x82\xE8\x83\xBD", L"\u9519\u8BEF");
  EXPECT_EQ(seen.Text, L"\u8282\u80FD");
}

}  // namespace

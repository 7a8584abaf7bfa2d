// System information, version, privileges, processor times, local time, language and file
// version, each against an independent view of the same fact.
#include <windows.h>

#include <gtest/gtest.h>

#include <bit>
#include <ctime>

#include "os/fileversion.h"
#include "os/localtime.h"
#include "os/processortimes.h"
#include "os/sysinfo.h"
#include "os/uilanguage.h"

namespace {

// The version the kernel publishes in the page it shares with every process
// (KUSER_SHARED_DATA), which no compatibility setting of the executable changes.
TEST(Win32System, TheVersionIsTheKernelsOwn) {
  auto system = OsCreateSystem();
  TOsVersionInfo info;
  ASSERT_TRUE(system->GetVersionInfo(info));
  const auto* shared = reinterpret_cast<const volatile uint8_t*>(0x7FFE0000);
  const uint32_t major = *reinterpret_cast<const volatile uint32_t*>(shared + 0x26C);
  const uint32_t minor = *reinterpret_cast<const volatile uint32_t*>(shared + 0x270);
  EXPECT_EQ(info.MajorVersion, major);
  EXPECT_EQ(info.MinorVersion, minor);
  EXPECT_EQ(info.PlatformId, kPlatformWin32Nt);
  EXPECT_GE(info.ProductType, 1);
  EXPECT_LE(info.ProductType, 3);
  EXPECT_TRUE(info.Release.empty());
}

TEST(Win32System, ANativeProcessIsNoWow64ProcessAndSeesItsOwnArchitecture) {
  auto system = OsCreateSystem();
  ASSERT_TRUE(system->HasIsWow64Process());
  TOsSystemInfo native;
  ASSERT_TRUE(system->GetNativeSystemInfo(native));
  TOsSystemInfo own;
  system->GetSystemInfo(own);
#if defined(_WIN64)
  EXPECT_FALSE(system->IsWow64Process());
  EXPECT_EQ(native.ProcessorArchitecture, 9);
  EXPECT_EQ(own.ProcessorArchitecture, 9);
#else
  // A 32-bit build sees x86 itself and, on a 64-bit system, the real architecture natively.
  EXPECT_EQ(own.ProcessorArchitecture, 0);
  EXPECT_EQ(native.ProcessorArchitecture != 0, system->IsWow64Process());
#endif
  EXPECT_GE(native.NumberOfProcessors, 1u);
  if (native.NumberOfProcessors <= 32) {
    EXPECT_EQ(static_cast<uint32_t>(std::popcount(native.ActiveProcessorMask)),
              native.NumberOfProcessors);
  }
  EXPECT_EQ(native.PageSize, 4096u);
}

TEST(Win32System, TheProcessCanBePinnedToItsFirstProcessor) {
  auto system = OsCreateSystem();
  const uint32_t original = system->GetProcessAffinityMask();
  ASSERT_NE(original, 0u);
  const uint32_t first = original & (~original + 1);  // lowest set bit
  ASSERT_TRUE(system->SetProcessAffinityMask(first));
  EXPECT_EQ(system->GetProcessAffinityMask(), first);
  EXPECT_FALSE(system->SetProcessAffinityMask(0));
  EXPECT_TRUE(system->SetProcessAffinityMask(original));
  EXPECT_EQ(system->GetProcessAffinityMask(), original);
}

// Whether the process token has the privilege enabled, read from the token itself.
bool PrivilegeEnabled(const wchar_t* name) {
  LUID luid{};
  if (!::LookupPrivilegeValueW(nullptr, name, &luid)) return false;
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  BYTE buffer[4096];
  DWORD size = 0;
  bool enabled = false;
  if (::GetTokenInformation(token, TokenPrivileges, buffer, sizeof buffer, &size)) {
    const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer);
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
      const LUID& entry = privileges->Privileges[i].Luid;
      if (entry.LowPart == luid.LowPart && entry.HighPart == luid.HighPart) {
        enabled = (privileges->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED) != 0;
      }
    }
  }
  ::CloseHandle(token);
  return enabled;
}

TEST(Win32Privileges, TheShutdownPrivilegeIsEnabledAndDisabledInTheToken) {
  auto privileges = OsCreatePrivileges();
  EXPECT_FALSE(privileges->AdjustPrivilege(true));  // no token yet
  ASSERT_TRUE(privileges->OpenProcessToken());
  EXPECT_FALSE(privileges->LookupPrivilege("SeKorZemNoSuchPrivilege"));
  EXPECT_FALSE(privileges->AdjustPrivilege(true));
  ASSERT_TRUE(privileges->LookupPrivilege("SeShutdownPrivilege"));
  ASSERT_TRUE(privileges->AdjustPrivilege(true));
  EXPECT_TRUE(PrivilegeEnabled(L"SeShutdownPrivilege"));
  ASSERT_TRUE(privileges->AdjustPrivilege(false));
  EXPECT_FALSE(PrivilegeEnabled(L"SeShutdownPrivilege"));
  privileges->CloseToken();
  EXPECT_FALSE(privileges->AdjustPrivilege(true));
}

TEST(Win32ProcessorTimes, TimesAreThereAndGrowWithWork) {
  auto times = OsCreateProcessorTimes();
  ASSERT_TRUE(times->Available());
  TProcessorTimes before;
  ASSERT_TRUE(times->GetSystemTimes(before));
  EXPECT_GE(before.Kernel, before.Idle);  // kernel time includes idle time
  // Busy for a while: the total of kernel and user time must move.
  const DWORD start = ::GetTickCount();
  volatile uint64_t spin = 0;
  while (::GetTickCount() - start < 200) spin = spin + 1;
  TProcessorTimes after;
  ASSERT_TRUE(times->GetSystemTimes(after));
  EXPECT_GT(after.Kernel + after.User, before.Kernel + before.User);
  EXPECT_GE(after.Idle, before.Idle);
}

TEST(Win32LocalTime, NowIsTheLocalClock) {
  auto clock = OsCreateLocalTime();
  const std::time_t start = std::time(nullptr);
  const TLocalDateTime now = clock->Now();
  std::tm local{};
  ASSERT_EQ(localtime_s(&local, &start), 0);
  // Within the same minute unless the test ran across a minute's end.
  EXPECT_EQ(now.Year, local.tm_year + 1900);
  EXPECT_EQ(now.Month, local.tm_mon + 1);
  EXPECT_EQ(now.Day, local.tm_mday);
  EXPECT_EQ(now.Hour, local.tm_hour);
  EXPECT_LE(std::abs((now.Minute * 60 + now.Second) - (local.tm_min * 60 + local.tm_sec)), 2);
  EXPECT_LT(now.Millisecond, 1000);
}

TEST(Win32UiLanguage, TheLanguageIsTheUsersInterfaceLanguage) {
  EXPECT_EQ(OsUserDefaultUiLanguage(), ::GetUserDefaultUILanguage());
  EXPECT_NE(OsUserDefaultUiLanguage(), 0);
}

TEST(Win32FileVersion, ASystemLibraryHasOneAndAMissingFileNone) {
  wchar_t directory[MAX_PATH] = {};
  ASSERT_GT(::GetSystemDirectoryW(directory, MAX_PATH), 0u);
  std::wstring wide = std::wstring(directory) + L"\\kernel32.dll";
  const std::string kernel32(wide.begin(), wide.end());
  TFileVersion version;
  ASSERT_TRUE(OsFileVersion(kernel32, version));
  EXPECT_GE(version.Major, 5);
  TFileVersion untouched;
  untouched.Major = 42;
  EXPECT_FALSE(OsFileVersion(kernel32 + ".missing", untouched));
  EXPECT_EQ(untouched.Major, 42);
}

}  // namespace

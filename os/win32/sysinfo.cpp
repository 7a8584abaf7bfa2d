// System information, version and token privileges on Windows.
//
// The version is the real one: GetVersionEx reports what the executable's manifest claims to
// support (Windows 8 and later lie to programs without one), so RtlGetVersion in ntdll comes first
// and GetVersionEx is the fallback for systems without it (the 9x family). GetNativeSystemInfo and
// IsWow64Process are looked up by name in kernel32: Windows 2000 has neither.
#include "os/sysinfo.h"

#include <windows.h>

#include "os/win32/procaddress.h"
#include "os/win32/wide.h"

namespace {

using TRtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOEXW*);
using TGetNativeSystemInfo = void(WINAPI*)(SYSTEM_INFO*);
using TIsWow64Process = BOOL(WINAPI*)(HANDLE, BOOL*);

HMODULE Kernel32() {
  return ::GetModuleHandleW(L"kernel32.dll");
}

void FillSystemInfo(const SYSTEM_INFO& system, TOsSystemInfo& info) {
  info = TOsSystemInfo{};
  info.ProcessorArchitecture = system.wProcessorArchitecture;
  info.PageSize = system.dwPageSize;
  // Processors beyond the 32nd are out of reach of the program's 32-bit masks.
  info.ActiveProcessorMask = static_cast<uint32_t>(system.dwActiveProcessorMask);
  info.NumberOfProcessors = system.dwNumberOfProcessors;
  info.ProcessorType = system.dwProcessorType;
  info.ProcessorLevel = system.wProcessorLevel;
  info.ProcessorRevision = system.wProcessorRevision;
}

bool VersionFromNtdll(TOsVersionInfo& info) {
  const auto query =
      BindProcAddress<TRtlGetVersion>(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion");
  if (query == nullptr) return false;
  OSVERSIONINFOEXW version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (query(&version) != 0) return false;  // an NTSTATUS; 0 is success
  info = TOsVersionInfo{};
  info.MajorVersion = version.dwMajorVersion;
  info.MinorVersion = version.dwMinorVersion;
  info.BuildNumber = version.dwBuildNumber;
  info.PlatformId = version.dwPlatformId;
  info.CsdVersion = Utf8FromWide(version.szCSDVersion);
  info.ProductType = version.wProductType;
  return true;
}

// The 9x family knows only the ANSI call, and NT 4.0 before SP6 only the short record.
bool VersionFromKernel32(TOsVersionInfo& info) {
  OSVERSIONINFOEXA version{};
  version.dwOSVersionInfoSize = sizeof version;
  bool extended = true;
  if (!::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version))) {
    version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    extended = false;
    if (!::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version))) return false;
  }
  info = TOsVersionInfo{};
  info.MajorVersion = version.dwMajorVersion;
  info.MinorVersion = version.dwMinorVersion;
  // The 9x family keeps the major and minor version in the build number's high word.
  info.BuildNumber = version.dwPlatformId == VER_PLATFORM_WIN32_NT ? version.dwBuildNumber
                                                                   : version.dwBuildNumber & 0xFFFF;
  info.PlatformId = version.dwPlatformId;
  info.CsdVersion = version.szCSDVersion;
  info.ProductType = extended ? version.wProductType : VER_NT_WORKSTATION;
  return true;
}

class TWin32System : public IOsSystem {
 public:
  bool GetVersionInfo(TOsVersionInfo& info) override {
    return VersionFromNtdll(info) || VersionFromKernel32(info);
  }

  bool GetNativeSystemInfo(TOsSystemInfo& info) override {
    const auto query = BindProcAddress<TGetNativeSystemInfo>(Kernel32(), "GetNativeSystemInfo");
    if (query == nullptr) return false;
    SYSTEM_INFO system{};
    query(&system);
    FillSystemInfo(system, info);
    return true;
  }

  void GetSystemInfo(TOsSystemInfo& info) override {
    SYSTEM_INFO system{};
    ::GetSystemInfo(&system);
    FillSystemInfo(system, info);
  }

  bool HasIsWow64Process() override { return IsWow64Query() != nullptr; }

  bool IsWow64Process() override {
    const auto query = IsWow64Query();
    BOOL wow64 = FALSE;
    return query != nullptr && query(::GetCurrentProcess(), &wow64) && wow64;
  }

  int GetSystemMetric(int index) override { return ::GetSystemMetrics(index); }

  bool SetProcessAffinityMask(uint32_t mask) override {
    return mask != 0 && ::SetProcessAffinityMask(::GetCurrentProcess(), mask);
  }

  uint32_t GetProcessAffinityMask() override {
    DWORD_PTR process = 0, system = 0;
    if (!::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system)) return 0;
    return static_cast<uint32_t>(process);
  }

 private:
  static TIsWow64Process IsWow64Query() {
    return BindProcAddress<TIsWow64Process>(Kernel32(), "IsWow64Process");
  }
};

class TWin32Privileges : public IOsPrivileges {
 public:
  ~TWin32Privileges() override { CloseToken(); }

  bool OpenProcessToken() override {
    CloseToken();
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
      return false;
    }
    Token_ = token;
    return true;
  }

  bool LookupPrivilege(const std::string& name) override {
    Selected_ = ::LookupPrivilegeValueW(nullptr, WideFromUtf8(name).c_str(), &Luid_) != FALSE;
    return Selected_;
  }

  bool AdjustPrivilege(bool enable) override {
    if (Token_ == nullptr || !Selected_) return false;
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Luid = Luid_;
    privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    ::SetLastError(ERROR_SUCCESS);
    if (!::AdjustTokenPrivileges(Token_, FALSE, &privileges, sizeof privileges, nullptr, nullptr)) {
      return false;
    }
    // The call succeeds without changing anything when the token does not hold the privilege.
    return ::GetLastError() == ERROR_SUCCESS;
  }

  void CloseToken() override {
    if (Token_ != nullptr) ::CloseHandle(Token_);
    Token_ = nullptr;
  }

 private:
  HANDLE Token_ = nullptr;
  LUID Luid_{};
  bool Selected_ = false;
};

}  // namespace

std::unique_ptr<IOsSystem> OsCreateSystem() {
  return std::make_unique<TWin32System>();
}

std::unique_ptr<IOsPrivileges> OsCreatePrivileges() {
  return std::make_unique<TWin32Privileges>();
}

// System information, version and process services the hardware layer needs.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// The native system information record (the fields the program uses).
struct TOsSystemInfo {
  uint16_t ProcessorArchitecture = 0;  // 0 x86, 6 IA-64, 9 x64 (Windows codes)
  uint32_t PageSize = 4096;
  uint32_t ActiveProcessorMask = 1;
  uint32_t NumberOfProcessors = 1;
  uint32_t ProcessorType = 0;
  uint16_t ProcessorLevel = 0;
  uint16_t ProcessorRevision = 0;
};

// Platform ids of the extended version record.
constexpr uint32_t kPlatformWin32Windows = 1;  // 9x family
constexpr uint32_t kPlatformWin32Nt = 2;
constexpr uint32_t kPlatformLinux = 0x4C4E58;  // this program's own id for a Linux system

// The extended version information record (the fields the program uses).
struct TOsVersionInfo {
  uint32_t MajorVersion = 0;
  uint32_t MinorVersion = 0;
  uint32_t BuildNumber = 0;
  uint32_t PlatformId = 0;
  std::string CsdVersion;
  uint8_t ProductType = 1;  // 1 workstation, 2 domain controller, 3 server
  std::string Release;      // Linux: the kernel release text; empty on Windows
};

class IOsSystem {
 public:
  virtual ~IOsSystem() = default;

  // Extended version information; false when the query fails.
  virtual bool GetVersionInfo(TOsVersionInfo& info) = 0;
  // Native system information when the system offers it (a 32-bit process on a 64-bit system
  // then sees the real architecture); false when the native query does not exist.
  virtual bool GetNativeSystemInfo(TOsSystemInfo& info) = 0;
  virtual void GetSystemInfo(TOsSystemInfo& info) = 0;
  // The WOW64 test; false when the system has no such query.
  virtual bool HasIsWow64Process() = 0;
  virtual bool IsWow64Process() = 0;
  // GetSystemMetrics; index 87 is the Media Center metric.
  virtual int GetSystemMetric(int index) = 0;

  // Pins the process to the processors of mask (bit 0 = first); false on failure.
  virtual bool SetProcessAffinityMask(uint32_t mask) = 0;
  virtual uint32_t GetProcessAffinityMask() = 0;
};

// Token privileges of the current process.
class IOsPrivileges {
 public:
  virtual ~IOsPrivileges() = default;
  // Opens the process token for adjusting and querying privileges; false on failure.
  virtual bool OpenProcessToken() = 0;
  // Looks up a privilege by name; false when it does not exist.
  virtual bool LookupPrivilege(const std::string& name) = 0;
  // Enables or disables the privilege looked up last; false when the adjustment fails.
  virtual bool AdjustPrivilege(bool enable) = 0;
  virtual void CloseToken() = 0;
};

// The running system's implementations.
std::unique_ptr<IOsSystem> OsCreateSystem();
std::unique_ptr<IOsPrivileges> OsCreatePrivileges();

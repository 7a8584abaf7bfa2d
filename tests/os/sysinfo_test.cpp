#include "os/sysinfo.h"

#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <bit>
#include <fstream>
#include <sstream>
#include <string>

#include "os/test/fakesystem.h"

namespace {

// CAP_SYS_BOOT (22) in the capability set named by field ("CapPrm", "CapEff") of this process.
bool HasSysBoot(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field + ":", 0) == 0) {
      const unsigned long long set = std::stoull(line.substr(field.size() + 1), nullptr, 16);
      return (set >> 22) & 1;
    }
  }
  ADD_FAILURE() << field << " missing from /proc/self/status";
  return false;
}

}  // namespace

TEST(LinuxSystem, VersionRecordCarriesTheKernelRelease) {
  auto system = OsCreateSystem();
  TOsVersionInfo info;
  ASSERT_TRUE(system->GetVersionInfo(info));
  struct utsname names {};
  ASSERT_EQ(::uname(&names), 0);
  EXPECT_EQ(info.PlatformId, kPlatformLinux);
  EXPECT_EQ(info.Release, names.release);
  EXPECT_GE(info.MajorVersion, 2u);
  const std::string prefix =
      std::to_string(info.MajorVersion) + "." + std::to_string(info.MinorVersion);
  EXPECT_EQ(info.Release.rfind(prefix, 0), 0u) << info.Release;
  EXPECT_FALSE(system->HasIsWow64Process());
  EXPECT_EQ(system->GetSystemMetric(87), 0);
}

TEST(LinuxSystem, SystemInformationIsConsistent) {
  auto system = OsCreateSystem();
  TOsSystemInfo native;
  ASSERT_TRUE(system->GetNativeSystemInfo(native));
  TOsSystemInfo plain;
  system->GetSystemInfo(plain);
  EXPECT_GE(native.NumberOfProcessors, 1u);
  EXPECT_EQ(native.NumberOfProcessors, plain.NumberOfProcessors);
  EXPECT_NE(native.ActiveProcessorMask, 0u);
  if (native.NumberOfProcessors <= 32) {
    EXPECT_EQ(static_cast<uint32_t>(std::popcount(native.ActiveProcessorMask)),
              native.NumberOfProcessors);
  }
  // Every processor this process may run on is one of the system's.
  const uint32_t affinity = system->GetProcessAffinityMask();
  EXPECT_EQ(affinity & ~native.ActiveProcessorMask, 0u);
  EXPECT_GT(native.PageSize, 0u);
  EXPECT_EQ(native.PageSize & (native.PageSize - 1), 0u);
#if defined(__x86_64__)
  EXPECT_EQ(plain.ProcessorArchitecture, 9);
  EXPECT_EQ(native.ProcessorArchitecture, 9);
#elif defined(__i386__)
  EXPECT_EQ(plain.ProcessorArchitecture, 0);
#endif
}

TEST(LinuxSystem, AffinityRoundTripsAndPinsToOneProcessor) {
  auto system = OsCreateSystem();
  const uint32_t original = system->GetProcessAffinityMask();
  ASSERT_NE(original, 0u);
  EXPECT_TRUE(system->SetProcessAffinityMask(original));
  EXPECT_EQ(system->GetProcessAffinityMask(), original);

  const uint32_t highest = 1u << (31 - std::countl_zero(original));
  EXPECT_TRUE(system->SetProcessAffinityMask(highest));
  EXPECT_EQ(system->GetProcessAffinityMask(), highest);
  EXPECT_FALSE(system->SetProcessAffinityMask(0));
  EXPECT_EQ(system->GetProcessAffinityMask(), highest);

  EXPECT_TRUE(system->SetProcessAffinityMask(original));
  EXPECT_EQ(system->GetProcessAffinityMask(), original);
}

TEST(LinuxPrivileges, ShutdownPrivilegeFollowsTheBootCapability) {
  auto privileges = OsCreatePrivileges();
  EXPECT_FALSE(privileges->AdjustPrivilege(true)) << "adjusting before the token is open";
  ASSERT_TRUE(privileges->OpenProcessToken());
  EXPECT_FALSE(privileges->LookupPrivilege("SeDebugPrivilege"));
  EXPECT_FALSE(privileges->AdjustPrivilege(true)) << "adjusting after a failed lookup";
  ASSERT_TRUE(privileges->LookupPrivilege("SeShutdownPrivilege"));

  const bool wasEffective = HasSysBoot("CapEff");
  const bool permitted = HasSysBoot("CapPrm");
  EXPECT_TRUE(privileges->AdjustPrivilege(false));
  EXPECT_FALSE(HasSysBoot("CapEff"));
  EXPECT_EQ(privileges->AdjustPrivilege(true), permitted);
  EXPECT_EQ(HasSysBoot("CapEff"), permitted);

  privileges->AdjustPrivilege(wasEffective);
  EXPECT_EQ(HasSysBoot("CapEff"), wasEffective);
  privileges->CloseToken();
  EXPECT_FALSE(privileges->AdjustPrivilege(true)) << "adjusting after the token was closed";
}

// A process whose permitted set lacks the capability cannot enable the privilege. Run in a child,
// since a dropped permitted capability cannot be regained.
TEST(LinuxPrivilegesDeathTest, EnablingFailsWhenTheBootCapabilityIsNotPermitted) {
  auto dropAndEnable = [] {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capget, &header, data) != 0) ::_exit(3);
    data[0].permitted &= ~(1u << 22);
    data[0].effective &= ~(1u << 22);
    data[0].inheritable &= ~(1u << 22);
    if (::syscall(SYS_capset, &header, data) != 0) ::_exit(4);
    auto privileges = OsCreatePrivileges();
    const bool enabled = privileges->OpenProcessToken() &&
                         privileges->LookupPrivilege("SeShutdownPrivilege") &&
                         privileges->AdjustPrivilege(true);
    ::_exit(enabled ? 1 : 0);
  };
  EXPECT_EXIT(dropAndEnable(), ::testing::ExitedWithCode(0), "");
}

TEST(FakeSystem, ReportsWhatTheTestSetAndCountsQueries) {
  TFakeOsSystem system;
  TOsVersionInfo info;
  ASSERT_TRUE(system.GetVersionInfo(info));
  EXPECT_EQ(info.PlatformId, kPlatformWin32Nt);
  EXPECT_EQ(info.MajorVersion, 6u);
  EXPECT_EQ(info.MinorVersion, 1u);

  system.VersionQueryWorks = false;
  EXPECT_FALSE(system.GetVersionInfo(info));
  EXPECT_EQ(system.VersionQueries, 2);

  system.NativeInfo.ProcessorArchitecture = 9;
  system.HasNativeSystemInfo = false;
  TOsSystemInfo sysInfo;
  EXPECT_FALSE(system.GetNativeSystemInfo(sysInfo));
  EXPECT_EQ(sysInfo.ProcessorArchitecture, 0);

  system.Metrics[87] = 1;
  EXPECT_EQ(system.GetSystemMetric(87), 1);
  EXPECT_EQ(system.GetSystemMetric(0), 0);
  EXPECT_EQ(system.MetricQueries, (std::vector<int>{87, 0}));

  EXPECT_TRUE(system.SetProcessAffinityMask(4));
  EXPECT_FALSE(system.SetProcessAffinityMask(0));
  system.AffinityWorks = false;
  EXPECT_FALSE(system.SetProcessAffinityMask(2));
  EXPECT_EQ(system.GetProcessAffinityMask(), 4u);
  EXPECT_EQ(system.AffinityLog, (std::vector<uint32_t>{4, 0, 2}));
}

TEST(FakePrivileges, AdjustsOnlyAnOpenTokensKnownPrivilege) {
  TFakeOsPrivileges privileges;
  EXPECT_FALSE(privileges.AdjustPrivilege(true));
  ASSERT_TRUE(privileges.OpenProcessToken());
  EXPECT_FALSE(privileges.LookupPrivilege("SeDebugPrivilege"));
  EXPECT_FALSE(privileges.AdjustPrivilege(true));
  ASSERT_TRUE(privileges.LookupPrivilege("SeShutdownPrivilege"));
  EXPECT_TRUE(privileges.AdjustPrivilege(true));
  EXPECT_TRUE(privileges.Enabled["SeShutdownPrivilege"]);
  privileges.CloseToken();
  EXPECT_FALSE(privileges.AdjustPrivilege(false));
  EXPECT_TRUE(privileges.Enabled["SeShutdownPrivilege"]);
  EXPECT_EQ(privileges.Adjustments, (std::vector<bool>{true, true, true, false}));
}

#include "hw/osversion.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/trace.h"
#include "os/test/fakesystem.h"

namespace {

class TRwDebugCapture : public ITraceTap {
 public:
  TRwDebugCapture() { SetTraceTap(this); }
  ~TRwDebugCapture() override { SetTraceTap(nullptr); }
  void OnTraceLine(std::string_view) override {}
  void OnRwDebugLine(std::string_view text) override { Lines.emplace_back(text); }
  std::vector<std::string> Lines;
};

TOsSystemInfo Architecture(uint16_t code) {
  TOsSystemInfo info;
  info.ProcessorArchitecture = code;
  return info;
}

constexpr uint16_t kX86 = 0;
constexpr uint16_t kIa64 = 6;
constexpr uint16_t kX64 = 9;
constexpr uint8_t kWorkstation = 1;
constexpr uint8_t kDomainController = 2;
constexpr uint8_t kServer = 3;

struct TOsRow {
  TOsVersionInfo Version;
  uint16_t Arch;
  bool Wow64;
  int Metric;
  int Kind;
  const char* Name;
  const char* ShortName;
};

void ExpectRows(const std::vector<TOsRow>& rows) {
  for (const TOsRow& row : rows) {
    SCOPED_TRACE(std::to_string(row.Version.MajorVersion) + "." +
                 std::to_string(row.Version.MinorVersion) + " type " +
                 std::to_string(row.Version.ProductType) + " arch " + std::to_string(row.Arch) +
                 (row.Wow64 ? " wow64" : " native") + " metric " + std::to_string(row.Metric));
    const TOsClassification result =
        ClassifyOs(&row.Version, Architecture(row.Arch), row.Wow64, row.Metric);
    EXPECT_EQ(result.OsKind, row.Kind);
    EXPECT_EQ(result.Name, row.Name);
    EXPECT_EQ(result.ShortName, row.ShortName);
  }
}

}  // namespace

TEST(ClassifyOs, Nt6FamilyNamesAndRoutes) {
  ExpectRows({
      {FakeNtVersion(6, 1, kWorkstation), kX86, false, 0, 4, "Windows 7", "WNT_6.1"},
      {FakeNtVersion(6, 1, kWorkstation), kX64, true, 0, 6, "Windows 7", "WNT_6.1A"},
      {FakeNtVersion(6, 1, kWorkstation), kIa64, true, 0, 5, "Windows 7", "WNT_6.1A"},
      {FakeNtVersion(6, 1, kServer), kX86, false, 0, 4, "Windows Server 2009", "WNT_6.1S"},
      {FakeNtVersion(6, 1, kServer), kX64, true, 0, 6, "Windows Server 2009", "WNT_6.1S"},
      {FakeNtVersion(6, 0, kWorkstation), kX86, false, 0, 4, "Windows Vista", "WNT_6.0"},
      {FakeNtVersion(6, 0, kWorkstation), kX64, true, 0, 6, "Windows Vista64", "WNT_6.0A"},
      {FakeNtVersion(6, 0, kServer), kX86, false, 0, 4, "Windows Server 2008", "WNT_6.0S"},
      {FakeNtVersion(6, 0, kDomainController), kIa64, true, 0, 5, "Windows Server 2008",
       "WNT_6.0S"},
      {FakeNtVersion(6, 2, kWorkstation), kX64, true, 0, 6, "", "WNT_6.2"},
      {FakeNtVersion(6, 2, kWorkstation), kX86, false, 0, 4, "", "WNT_6.2"},
  });
}

TEST(ClassifyOs, Nt5FamilyNamesAndRoutes) {
  ExpectRows({
      {FakeNtVersion(5, 2, kWorkstation), kX64, true, 0, 3, "Windows XP64", "WNT_5.2A"},
      // A workstation 5.2 that is not x64 is named after the server release.
      {FakeNtVersion(5, 2, kWorkstation), kIa64, true, 0, 2, "Windows Server 2003", "WNT_5.2S"},
      {FakeNtVersion(5, 2, kServer), kX86, false, 0, 1, "Windows Server 2003", "WNT_5.2S"},
      {FakeNtVersion(5, 2, kServer), kX64, true, 0, 3, "Windows Server 2003", "WNT_5.2S"},
      {FakeNtVersion(5, 1, kWorkstation), kX86, false, 0, 1, "Windows XP", "WNT_5.1"},
      {FakeNtVersion(5, 0, kServer), kX86, false, 0, 1, "Windows 2000", "WNT_5.0"},
  });
}

TEST(ClassifyOs, OtherNtVersionsTakeTheNt6RouteAsUnknown) {
  ExpectRows({
      {FakeNtVersion(4, 0, kWorkstation), kX86, false, 0, 4, "Unknown", "WNT_4.0"},
      {FakeNtVersion(4, 0, kWorkstation), kX64, true, 0, 6, "Unknown", "WNT_4.0"},
      {FakeNtVersion(3, 51, kServer), kIa64, true, 0, 5, "Unknown", "WNT_3.51"},
      {FakeNtVersion(10, 0, kWorkstation), kX86, false, 0, 4, "Unknown", "WNT_10.0"},
  });
}

TEST(ClassifyOs, MediaCenterMarksEveryNtNameButNot9x) {
  ExpectRows({
      {FakeNtVersion(5, 1, kWorkstation), kX86, false, 1, 1, "Windows XP MCE", "WNT_5.1"},
      {FakeNtVersion(6, 0, kWorkstation), kX64, true, 7, 6, "Windows Vista64 MCE", "WNT_6.0A"},
      {Fake9xVersion(90), kX86, false, 1, 0, "Windows ME", "WIN_4.90"},
  });
  const TOsVersionInfo xp = FakeNtVersion(5, 1);
  const TOsVersionInfo me = Fake9xVersion(90);
  EXPECT_TRUE(ClassifyOs(&xp, Architecture(kX86), false, 1).MediaCenter);
  EXPECT_FALSE(ClassifyOs(&xp, Architecture(kX86), false, 0).MediaCenter);
  EXPECT_FALSE(ClassifyOs(&me, Architecture(kX86), false, 1).MediaCenter);
}

TEST(ClassifyOs, Windows9xFamily) {
  ExpectRows({
      {Fake9xVersion(0), kX86, false, 0, 0, "Windows 95", "WIN_4.0"},
      {Fake9xVersion(3), kX86, false, 0, 0, "Windows 95", "WIN_4.3"},
      {Fake9xVersion(10), kX86, false, 0, 0, "Windows 98", "WIN_4.10"},
      {Fake9xVersion(11), kX86, false, 0, 0, "Windows 98", "WIN_4.11"},
      {Fake9xVersion(90), kX86, false, 0, 0, "Windows ME", "WIN_4.90"},
      {Fake9xVersion(50), kX86, false, 0, 0, "", "WIN_4.50"},
  });
}

TEST(ClassifyOs, LinuxTakesTheNt6DriverRoute) {
  ExpectRows({
      {FakeLinuxVersion(6, 8, "6.8.0-45-generic"), kX64, false, 1, 4, "Linux 6.8.0-45-generic",
       "LNX_6.8"},
      {FakeLinuxVersion(2, 6, "2.6.32"), kX86, false, 0, 4, "Linux 2.6.32", "LNX_2.6"},
  });
}

TEST(ClassifyOs, FailedVersionQueryIsUnknown9xKind) {
  const TOsClassification result = ClassifyOs(nullptr, Architecture(kX64), true, 1);
  EXPECT_EQ(result.OsKind, 0);
  EXPECT_EQ(result.ShortName, "Unknown");
  EXPECT_EQ(result.Name, "");
  EXPECT_FALSE(result.MediaCenter);
}

TEST(OsVersion, Windows7UnderWow64TracesAndClassifies) {
  TFakeOsSystem system;
  system.Version = FakeNtVersion(6, 1);
  system.NativeInfo = Architecture(kX64);
  system.NativeInfo.NumberOfProcessors = 4;
  system.Info = Architecture(kX86);
  system.Wow64 = true;
  TRwDebugCapture capture;
  const TOsVersion os(system);
  EXPECT_EQ(capture.Lines,
            (std::vector<std::string>{"Detecting OS", "Major=6, Minor=1, 64bit=1", "OS = 6"}));
  EXPECT_EQ(os.OsKind, 6);
  EXPECT_EQ(os.Name, "Windows 7");
  EXPECT_EQ(os.ShortName, "WNT_6.1A");
  EXPECT_TRUE(os.IsWow64);
  EXPECT_FALSE(os.MediaCenter);
  // The native record shows the real machine to a WOW64 process.
  EXPECT_EQ(os.SystemInfo.ProcessorArchitecture, kX64);
  EXPECT_EQ(os.SystemInfo.NumberOfProcessors, 4u);
  EXPECT_EQ(system.InfoQueries, 0);
  EXPECT_EQ(system.MetricQueries, std::vector<int>{87});
}

TEST(OsVersion, WithoutNativeQueriesFallsBackToOrdinaryInformation) {
  TFakeOsSystem system;
  system.HasNativeSystemInfo = false;
  system.HasWow64Query = false;
  system.Wow64 = true;
  system.Info = Architecture(kX86);
  system.Info.NumberOfProcessors = 2;
  system.Version = FakeNtVersion(5, 1);
  system.Metrics[87] = 1;
  TRwDebugCapture capture;
  const TOsVersion os(system);
  EXPECT_EQ(system.InfoQueries, 1);
  EXPECT_EQ(os.SystemInfo.NumberOfProcessors, 2u);
  EXPECT_FALSE(os.IsWow64);
  EXPECT_EQ(system.Wow64Queries, 0);
  EXPECT_EQ(os.OsKind, 1);
  EXPECT_EQ(os.Name, "Windows XP MCE");
  EXPECT_TRUE(os.MediaCenter);
  EXPECT_EQ(capture.Lines,
            (std::vector<std::string>{"Detecting OS", "Major=5, Minor=1, 64bit=0", "OS = 1"}));
}

TEST(OsVersion, FailedVersionQueryTracesOnlyTheKind) {
  TFakeOsSystem system;
  system.VersionQueryWorks = false;
  system.Wow64 = true;
  TRwDebugCapture capture;
  const TOsVersion os(system);
  EXPECT_EQ(capture.Lines, (std::vector<std::string>{"Detecting OS", "OS = 0"}));
  EXPECT_EQ(os.OsKind, 0);
  EXPECT_EQ(os.ShortName, "Unknown");
  EXPECT_EQ(os.Name, "");
  EXPECT_FALSE(os.IsWow64);
  EXPECT_EQ(system.Wow64Queries, 0);
  EXPECT_TRUE(system.MetricQueries.empty());
}

TEST(OsVersion, Windows9xDoesNotAskForMediaCenter) {
  TFakeOsSystem system;
  system.Version = Fake9xVersion(10);
  system.Metrics[87] = 1;
  TRwDebugCapture capture;
  const TOsVersion os(system);
  EXPECT_EQ(os.OsKind, 0);
  EXPECT_EQ(os.Name, "Windows 98");
  EXPECT_EQ(os.ShortName, "WIN_4.10");
  EXPECT_TRUE(system.MetricQueries.empty());
  EXPECT_EQ(capture.Lines.back(), "OS = 0");
}

TEST(OsVersion, RunningLinuxSystem) {
  auto system = OsCreateSystem();
  TOsVersionInfo info;
  ASSERT_TRUE(system->GetVersionInfo(info));
  const TOsVersion os(*system);
  EXPECT_EQ(os.OsKind, 4);
  EXPECT_EQ(os.Name, "Linux " + info.Release);
  EXPECT_EQ(os.ShortName,
            "LNX_" + std::to_string(info.MajorVersion) + "." + std::to_string(info.MinorVersion));
  EXPECT_FALSE(os.IsWow64);
  EXPECT_FALSE(os.MediaCenter);
  EXPECT_GE(os.SystemInfo.NumberOfProcessors, 1u);
}

TEST(Privilege, EnablesForItsLifetime) {
  TFakeOsPrivileges privileges;
  {
    const TPrivilege privilege(privileges);
    EXPECT_TRUE(privilege.Enabled());
    EXPECT_TRUE(privileges.Enabled["SeShutdownPrivilege"]);
    EXPECT_EQ(privileges.Lookups, std::vector<std::string>{"SeShutdownPrivilege"});
  }
  EXPECT_FALSE(privileges.Enabled["SeShutdownPrivilege"]);
  EXPECT_EQ(privileges.Adjustments, (std::vector<bool>{true, false}));
  EXPECT_EQ(privileges.CloseCalls, 1);
}

TEST(Privilege, UnopenableTokenChangesNothing) {
  TFakeOsPrivileges privileges;
  privileges.TokenOpens = false;
  {
    const TPrivilege privilege(privileges);
    EXPECT_FALSE(privilege.Enabled());
  }
  EXPECT_EQ(privileges.OpenCalls, 1);
  EXPECT_TRUE(privileges.Lookups.empty());
  EXPECT_TRUE(privileges.Adjustments.empty());
  EXPECT_EQ(privileges.CloseCalls, 0);
}

TEST(Privilege, DisablesOnlyWhatItEnabled) {
  TFakeOsPrivileges unknown;
  unknown.KnownPrivileges.clear();
  {
    const TPrivilege privilege(unknown);
    EXPECT_FALSE(privilege.Enabled());
  }
  EXPECT_TRUE(unknown.Adjustments.empty());
  EXPECT_EQ(unknown.CloseCalls, 1);

  TFakeOsPrivileges refused;
  refused.AdjustWorks = false;
  {
    const TPrivilege privilege(refused);
    EXPECT_FALSE(privilege.Enabled());
  }
  EXPECT_EQ(refused.Adjustments, std::vector<bool>{true});
  EXPECT_EQ(refused.CloseCalls, 1);
}

// The Linux power schemes under TPowerMan and the board's scheme step: the shipped scheme files
// imported into the user's store, and the cpufreq governor of a fake sysfs tree, which follows
// the active scheme on real hardware and is never touched on a simulated machine.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "os/files.h"
#include "os/linux/powerschemes.h"
#include "os/test/fakemessagebox.h"
#include "os/test/fakesystem.h"
#include "tests/winpower/winpowerrig.h"
#include "winpower/boardpower.h"

namespace {

using namespace winpowertest;

const std::string kDataDir = std::string(KORZEM_SOURCE_DIR) + "/data";

// A cpufreq tree with the given policies, each offering governors and running "current".
void MakePolicy(const std::string& cpuSysfs, int n, const std::string& driver,
                const std::string& governors, const std::string& current) {
  const std::string dir = cpuSysfs + "/cpufreq/policy" + std::to_string(n);
  WriteFile(dir + "/scaling_driver", driver + "\n");
  WriteFile(dir + "/scaling_available_governors", governors + "\n");
  WriteFile(dir + "/scaling_governor", current + "\n");
}

std::string Governor(const std::string& cpuSysfs, int n) {
  std::string text =
      ReadFile(cpuSysfs + "/cpufreq/policy" + std::to_string(n) + "/scaling_governor");
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

struct TLinuxRig {
  explicit TLinuxRig(bool realHardware, const std::string& schemeDir = kDataDir)
      : Power(OsCreateLinuxPowerManagement({Dir / "config", Dir / "cpu"}, realHardware)),
        Man(Privileges, *Power),
        Board(Man, Messages, TBoardPowerSetup{6, schemeDir, "", {}}) {}

  std::string Cpu() const { return Dir / "cpu"; }
  std::string Store() const { return ReadFile(Dir / "config/powerschemes.conf"); }

  // The names the library enumerates, and the active scheme's name.
  std::vector<std::u16string> Names() {
    std::vector<std::u16string> names;
    std::unique_ptr<IOsPowerLibrary> library = Power->LoadPowerLibrary(kPowerLibraryName);
    TPowerGuid guid;
    for (uint32_t i = 0; library->PowerEnumerate(kAccessScheme, i, guid) == kPowerSuccess; ++i) {
      std::u16string name;
      EXPECT_EQ(kPowerSuccess, library->PowerReadFriendlyName(guid, name, 512));
      names.push_back(name);
    }
    return names;
  }

  TTempDir Dir;
  TFakeOsPrivileges Privileges;
  TFakeMessageBox Messages;
  TTraceLines Trace;
  std::unique_ptr<IOsPowerManagement> Power;
  TPowerMan Man;
  TBoardPower Board;
};

TEST(LinuxPowerSchemes, TheShippedFilesImportOnceAndSwitchTheGovernorOnRealHardware) {
  TLinuxRig rig(true);
  MakePolicy(rig.Cpu(), 0, "acpi-cpufreq",
             "conservative ondemand userspace powersave performance schedutil", "performance");
  MakePolicy(rig.Cpu(), 1, "acpi-cpufreq", "ondemand performance", "performance");

  ASSERT_TRUE(rig.Board.ApplyPowerScheme(1)) << rig.Messages.Shown.size();
  EXPECT_EQ("schedutil", Governor(rig.Cpu(), 0));
  EXPECT_EQ("ondemand", Governor(rig.Cpu(), 1));
  ASSERT_TRUE(rig.Board.ApplyPowerScheme(2));
  EXPECT_EQ("performance", Governor(rig.Cpu(), 0));
  EXPECT_EQ("performance", Governor(rig.Cpu(), 1));
  rig.Trace.Lines.clear();
  ASSERT_TRUE(rig.Board.ApplyPowerScheme(1));
  EXPECT_EQ("schedutil", Governor(rig.Cpu(), 0));

  // Found by name the second time: the store holds each scheme once.
  EXPECT_EQ(std::vector<std::u16string>({u"Balanced", u"Korvan ZEM", u"Korvan ZEM Off"}),
            rig.Names());
  EXPECT_EQ(std::vector<std::string>({"Install Scheme >>>> P0", "Install Scheme >>>> P0",
                                      "Install Scheme >>>> P1", "Install Scheme >>>> P2"}),
            rig.Trace.Lines);
  EXPECT_TRUE(rig.Messages.Shown.empty());
  const std::string store = rig.Store();
  EXPECT_NE(std::string::npos,
            store.find("Name=Korvan ZEM Off\nDescription=Korvan processor power management\n"));
  EXPECT_NE(std::string::npos, store.find("ThrottleAc=None"));
}

TEST(LinuxPowerSchemes, ASimulatedMachineNeverTouchesTheGovernor) {
  TLinuxRig rig(false);
  MakePolicy(rig.Cpu(), 0, "acpi-cpufreq", "ondemand performance", "performance");
  const std::string governorFile = rig.Cpu() + "/cpufreq/policy0/scaling_governor";
  struct stat before {};
  ASSERT_EQ(0, ::stat(governorFile.c_str(), &before));

  ASSERT_TRUE(rig.Board.ApplyPowerScheme(1));
  EXPECT_EQ("performance", Governor(rig.Cpu(), 0));
  ASSERT_TRUE(rig.Board.ApplyPowerScheme(2));
  struct stat after {};
  ASSERT_EQ(0, ::stat(governorFile.c_str(), &after));
  EXPECT_EQ(before.st_mtim.tv_sec, after.st_mtim.tv_sec);
  EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);
  // The schemes themselves are still kept and switched.
  EXPECT_NE(std::string::npos, rig.Store().find("Korvan ZEM Off"));
}

TEST(LinuxPowerSchemes, AdaptiveChoiceFollowsWhatEachPolicyOffers) {
  TLinuxRig rig(true);
  MakePolicy(rig.Cpu(), 0, "intel_pstate", "performance powersave", "performance");
  MakePolicy(rig.Cpu(), 1, "acpi-cpufreq", "userspace powersave performance", "performance");
  MakePolicy(rig.Cpu(), 2, "acpi-cpufreq", "conservative performance", "performance");
  ASSERT_TRUE(rig.Board.ApplyPowerScheme(1));
  EXPECT_EQ("powersave", Governor(rig.Cpu(), 0));    // the pstate driver's adaptive governor
  EXPECT_EQ("performance", Governor(rig.Cpu(), 1));  // nothing adaptive on offer: left alone
  EXPECT_EQ("conservative", Governor(rig.Cpu(), 2));
}

TEST(LinuxPowerSchemes, PerProcessorDirectoriesServeOldKernels) {
  TLinuxRig rig(true);
  for (int cpu : {0, 1}) {
    const std::string dir = rig.Cpu() + "/cpu" + std::to_string(cpu) + "/cpufreq";
    WriteFile(dir + "/scaling_available_governors", "ondemand performance\n");
    WriteFile(dir + "/scaling_governor", "ondemand\n");
  }
  ASSERT_TRUE(rig.Board.ApplyPowerScheme(2));
  EXPECT_EQ("performance\n", ReadFile(rig.Cpu() + "/cpu0/cpufreq/scaling_governor"));
  EXPECT_EQ("performance\n", ReadFile(rig.Cpu() + "/cpu1/cpufreq/scaling_governor"));
}

// A governor the user may not write is left as it is, and the scheme still becomes active.
TEST(LinuxPowerSchemes, AGovernorThatIsNotWritableIsLeftAlone) {
  TLinuxRig rig(true);
  MakePolicy(rig.Cpu(), 0, "acpi-cpufreq", "ondemand performance", "performance");
  const std::string governorFile = rig.Cpu() + "/cpufreq/policy0/scaling_governor";
  ASSERT_EQ(0, ::chmod(governorFile.c_str(), 0444));
  // The superuser may write anything: act as an ordinary user for the switch, as the program
  // would run on a desktop.
  const bool root = ::geteuid() == 0;
  if (root) {
    fs::create_directories(rig.Dir / "config");
    ASSERT_EQ(0, ::chmod((rig.Dir / "config").c_str(), 0777));
    ASSERT_EQ(0, ::seteuid(65534));
  }
  const bool applied = rig.Board.ApplyPowerScheme(1);
  if (root) {
    ASSERT_EQ(0, ::seteuid(0));
  }
  EXPECT_TRUE(applied);
  EXPECT_EQ("performance", Governor(rig.Cpu(), 0));
  EXPECT_NE(std::string::npos, rig.Store().find("Korvan ZEM"));
}

TEST(LinuxPowerSchemes, AMissingOrBrokenSchemeFileIsNotInstalled) {
  TTempDir files;
  WriteFile(files / "KorZemOn.pow", "[PowerScheme]\nDescription=no name\n");
  TLinuxRig rig(true, files.Path());
  MakePolicy(rig.Cpu(), 0, "acpi-cpufreq", "ondemand performance", "performance");
  EXPECT_FALSE(rig.Board.ApplyPowerScheme(1));  // no name in the file
  EXPECT_FALSE(rig.Board.ApplyPowerScheme(2));  // no file at all
  EXPECT_EQ(2u, rig.Messages.Shown.size());
  EXPECT_EQ("performance", Governor(rig.Cpu(), 0));
  EXPECT_EQ(std::vector<std::u16string>({u"Balanced"}), rig.Names());
}

TEST(LinuxPowerSchemes, TheLegacyEntryPointsKeepIndexedSchemesInTheSameStore) {
  TLinuxRig rig(true);
  MakePolicy(rig.Cpu(), 0, "acpi-cpufreq", "ondemand performance", "performance");
  TBoardPower legacy(rig.Man, rig.Messages, TBoardPowerSetup{1, kDataDir, "", {}});
  ASSERT_TRUE(legacy.ApplyPowerScheme(1));
  EXPECT_EQ("ondemand", Governor(rig.Cpu(), 0));
  ASSERT_TRUE(legacy.ApplyPowerScheme(2));
  EXPECT_EQ("performance", Governor(rig.Cpu(), 0));
  ASSERT_TRUE(legacy.ApplyPowerScheme(1));  // overwrites index 19 rather than adding one
  EXPECT_EQ(std::vector<std::u16string>({u"Balanced", u"Korvan ZEM", u"Korvan ZEM Off"}),
            rig.Names());
  const std::string store = rig.Store();
  EXPECT_NE(std::string::npos, store.find("Index=19\n"));
  EXPECT_NE(std::string::npos, store.find("Index=20\n"));
}

TEST(LinuxPowerSchemes, ProcessorPoliciesAndPowerPoliciesSurviveTheStore) {
  TLinuxRig rig(false);
  TMachineProcessorPowerPolicy policy;
  policy.ProcessorPolicyAc.DynamicThrottle = kThrottleDegrade;
  policy.ProcessorPolicyDc.PolicyCount = 2;
  policy.ProcessorPolicyDc.Policy[1].DemotePercent = 40;
  policy.ProcessorPolicyDc.Policy[2].TimeCheck = 0x12345678;
  TPowerPolicy power{{0x00, 0xFF, 0x5A}};
  uint32_t index = 7;
  {
    std::unique_ptr<IOsPowerLibrary> library = rig.Power->LoadPowerLibrary(kPowerLibraryName);
    ASSERT_EQ(1, library->WritePwrScheme(index, u"Seven \u00e9\U0001F50B", u"", power));
    ASSERT_EQ(1, library->WriteProcessorPwrScheme(index, policy));
    EXPECT_EQ(0, library->WriteProcessorPwrScheme(8, policy));  // no scheme there
    EXPECT_EQ(0, library->WritePwrScheme(index, u"Two\nlines", u"", power));
  }
  std::unique_ptr<IOsPowerLibrary> library = rig.Power->LoadPowerLibrary(kPowerLibraryName);
  TMachineProcessorPowerPolicy read;
  ASSERT_EQ(1, library->ReadProcessorPwrScheme(index, read));
  EXPECT_EQ(0, std::memcmp(&policy, &read, sizeof read));
  TPowerPolicy readPower;
  ASSERT_EQ(1, library->ReadPwrScheme(index, readPower));
  EXPECT_EQ(power.Bytes, readPower.Bytes);
  EXPECT_EQ(std::vector<std::u16string>({u"Balanced", u"Seven \u00e9\U0001F50B"}), rig.Names());
  EXPECT_NE(std::string::npos, rig.Store().find("ThrottleAc=Degrade\n"));
}

TEST(LinuxPowerSchemes, TheActiveSchemeCannotBeDeletedAndNamesMustFitTheBuffer) {
  TLinuxRig rig(false);
  std::unique_ptr<IOsPowerLibrary> library = rig.Power->LoadPowerLibrary("powrprof.dll");
  ASSERT_NE(nullptr, library);
  EXPECT_EQ(nullptr, rig.Power->LoadPowerLibrary("kernel32.dll"));
  EXPECT_TRUE(library->HasEntryPoint("PowerImportPowerScheme"));
  EXPECT_FALSE(library->HasEntryPoint("PowerWriteACValueIndex"));

  TPowerGuid balanced;
  ASSERT_EQ(kPowerSuccess, library->PowerEnumerate(kAccessScheme, 0, balanced));
  EXPECT_EQ(kPowerNoMoreItems, library->PowerEnumerate(kAccessScheme, 1, balanced));
  std::u16string name;
  EXPECT_EQ(kPowerMoreData, library->PowerReadFriendlyName(balanced, name, 16));  // 8 + end
  EXPECT_EQ(kPowerSuccess, library->PowerReadFriendlyName(balanced, name, 18));
  EXPECT_EQ(u"Balanced", name);
  EXPECT_NE(kPowerSuccess, library->PowerDeleteScheme(balanced));

  TPowerGuid* imported = nullptr;
  ASSERT_EQ(kPowerSuccess, library->PowerImportPowerScheme(kDataDir + "/KorZemOff.pow", &imported));
  ASSERT_NE(nullptr, imported);
  const TPowerGuid off = *imported;
  library->FreeGuidBuffer(imported);
  EXPECT_FALSE(off == balanced);
  EXPECT_EQ(kPowerSuccess, library->PowerDeleteScheme(off));
  EXPECT_EQ(kPowerFileNotFound, library->PowerSetActiveScheme(off));
}

}  // namespace

// The power-scheme step of a switch over the in-memory power library: the NT 6 import path with
// its trace lines, the legacy path, their messages, and a library that lacks entry points.
#include "winpower/powerman.h"

#include <gtest/gtest.h>

#include "hw/initfile.h"
#include "hw/readwrite.h"
#include "os/files.h"
#include "os/test/fakedriverservice.h"
#include "os/test/fakemessagebox.h"
#include "os/test/fakepowerschemes.h"
#include "os/test/fakesystem.h"
#include "tests/winpower/winpowerrig.h"
#include "winpower/boardpower.h"

void PrintTo(const TShownMessage& shown, std::ostream* out) {
  *out << shown.Caption << ": " << shown.Text << " (icon " << static_cast<int>(shown.Icon) << ")";
}

namespace {

using namespace winpowertest;
using TLines = std::vector<std::string>;

const std::string kDir = "/opt/korzem";
const std::string kOnFile = kDir + OsPathSeparator() + "KorZemOn.pow";
const std::string kOffFile = kDir + OsPathSeparator() + "KorZemOff.pow";

const TShownMessage kCannotInstall{"Error", "Cannot install power scheme!", TMessageIcon::Error};
const TShownMessage kCannotCreate{"Error", "Cannot create power scheme!", TMessageIcon::Error};
const TShownMessage kCannotModify{"Error", "Cannot modify processor power control!",
                                  TMessageIcon::Error};

// The power library of a system with both scheme files beside the program; the manager and the
// board services are built by Start so a test can change the library first.
struct TPowerRig {
  TPowerRig() {
    Power.SchemeFiles[kOnFile] = u"Korvan ZEM";
    Power.SchemeFiles[kOffFile] = u"Korvan ZEM Off";
  }

  TBoardPower& Start(int osKind) {
    Man = std::make_unique<TPowerMan>(Privileges, Power);
    Board = std::make_unique<TBoardPower>(*Man, Messages, TBoardPowerSetup{osKind, kDir, "", {}});
    Trace.Lines.clear();
    Power.Calls.clear();
    return *Board;
  }

  TFakeOsPrivileges Privileges;
  TFakePowerManagement Power;
  TFakeMessageBox Messages;
  TTraceLines Trace;
  std::unique_ptr<TPowerMan> Man;
  std::unique_ptr<TBoardPower> Board;
};

bool Called(const TFakePowerManagement& power, const std::string& entry) {
  return std::find(power.Calls.begin(), power.Calls.end(), entry) != power.Calls.end();
}

TEST(PowerSchemeNt6, FirstSwitchImportsTheSchemeFileAndActivatesIt) {
  TPowerRig rig;
  EXPECT_TRUE(rig.Start(6).ApplyPowerScheme(1));
  // Two schemes are enumerated before the list ends; neither has the name.
  EXPECT_EQ(TLines({"Install Scheme >>>> P0", "Install Scheme >>>> P0", "Install Scheme >>>> P4",
                    "Install Scheme File [" + kOnFile + "]", "Install Scheme >>>> P5",
                    "Install Scheme >>>> P6", "Install Scheme >>>> P7"}),
            rig.Trace.Lines);
  EXPECT_EQ(u"Korvan ZEM", rig.Power.ActiveName());
  EXPECT_TRUE(rig.Messages.Shown.empty());
  EXPECT_EQ(0, rig.Power.GuidBuffers);  // the import's buffer was handed back
}

TEST(PowerSchemeNt6, SwitchingAgainFindsTheSchemeByNameAndOnlyActivatesIt) {
  TPowerRig rig;
  TBoardPower& board = rig.Start(4);
  ASSERT_TRUE(board.ApplyPowerScheme(1));
  ASSERT_TRUE(board.ApplyPowerScheme(2));
  EXPECT_EQ(u"Korvan ZEM Off", rig.Power.ActiveName());
  rig.Trace.Lines.clear();
  rig.Power.Calls.clear();

  EXPECT_TRUE(board.ApplyPowerScheme(1));
  EXPECT_EQ(TLines({"Install Scheme >>>> P0", "Install Scheme >>>> P0", "Install Scheme >>>> P0",
                    "Install Scheme >>>> P1", "Install Scheme >>>> P2"}),
            rig.Trace.Lines);
  EXPECT_FALSE(Called(rig.Power, "PowerImportPowerScheme"));
  EXPECT_EQ(u"Korvan ZEM", rig.Power.ActiveName());
  EXPECT_EQ(1, rig.Power.CountByName(u"Korvan ZEM"));
  EXPECT_EQ(1, rig.Power.CountByName(u"Korvan ZEM Off"));
}

TEST(PowerSchemeNt6, ASchemeThatWillNotActivateIsReplacedByAFreshImport) {
  TPowerRig rig;
  TFakePowerManagement::TScheme broken;
  broken.Guid = FakeGuid(0x55);
  broken.Name = u"Korvan ZEM";
  broken.ActivationFails = true;
  rig.Power.Schemes.push_back(broken);

  EXPECT_TRUE(rig.Start(6).ApplyPowerScheme(1));
  EXPECT_EQ(TLines({"Install Scheme >>>> P0", "Install Scheme >>>> P0", "Install Scheme >>>> P0",
                    "Install Scheme >>>> P1", "Install Scheme >>>> P3", "Install Scheme >>>> P4",
                    "Install Scheme File [" + kOnFile + "]", "Install Scheme >>>> P5",
                    "Install Scheme >>>> P6", "Install Scheme >>>> P7"}),
            rig.Trace.Lines);
  EXPECT_EQ(1, rig.Power.CountByName(u"Korvan ZEM"));
  EXPECT_FALSE(rig.Power.FindByName(u"Korvan ZEM")->Guid == broken.Guid);
  EXPECT_EQ(u"Korvan ZEM", rig.Power.ActiveName());
}

TEST(PowerSchemeNt6, NamesCompareWithCase) {
  TPowerRig rig;
  TFakePowerManagement::TScheme other;
  other.Guid = FakeGuid(0x66);
  other.Name = u"KORVAN ZEM";
  rig.Power.Schemes.push_back(other);
  EXPECT_TRUE(rig.Start(6).ApplyPowerScheme(1));
  EXPECT_TRUE(Called(rig.Power, "PowerImportPowerScheme"));
  EXPECT_EQ(u"Korvan ZEM", rig.Power.ActiveName());
}

TEST(PowerSchemeNt6, AMissingSchemeFileLeavesTheActiveSchemeAndSaysSo) {
  TPowerRig rig;
  rig.Power.SchemeFiles.clear();
  EXPECT_FALSE(rig.Start(6).ApplyPowerScheme(2));
  EXPECT_EQ(TLines({"Install Scheme >>>> P0", "Install Scheme >>>> P0", "Install Scheme >>>> P4",
                    "Install Scheme File [" + kOffFile + "]", "Install Scheme >>>> P7"}),
            rig.Trace.Lines);
  EXPECT_EQ(std::vector<TShownMessage>({kCannotInstall}), rig.Messages.Shown);
  EXPECT_EQ(u"Home/Office Desk", rig.Power.ActiveName());
}

TEST(PowerSchemeNt6, AnImportedSchemeThatWillNotActivateFailsAndFreesTheBuffer) {
  TPowerRig rig;
  rig.Power.ForcedResults["PowerSetActiveScheme"] = kPowerInvalidData;
  EXPECT_FALSE(rig.Start(6).ApplyPowerScheme(1));
  EXPECT_EQ(TLines({"Install Scheme >>>> P0", "Install Scheme >>>> P0", "Install Scheme >>>> P4",
                    "Install Scheme File [" + kOnFile + "]", "Install Scheme >>>> P5",
                    "Install Scheme >>>> P7"}),
            rig.Trace.Lines);
  EXPECT_EQ(std::vector<TShownMessage>({kCannotInstall}), rig.Messages.Shown);
  EXPECT_EQ(0, rig.Power.GuidBuffers);
}

TEST(PowerSchemePath, OnlyKindsFourAndSixTakeTheNt6Path) {
  for (int kind = 0; kind <= 6; ++kind) {
    TPowerRig rig;
    EXPECT_TRUE(rig.Start(kind).ApplyPowerScheme(1)) << kind;
    const bool nt6 = kind == 4 || kind == 6;
    EXPECT_EQ(nt6, Called(rig.Power, "PowerEnumerate")) << kind;
    EXPECT_EQ(!nt6, Called(rig.Power, "WritePwrScheme")) << kind;
  }
}

TEST(PowerSchemeLegacy, OnAndOffWriteTheirSchemesWithSchemeZerosPolicyAndThrottle) {
  TPowerRig rig;
  TBoardPower& board = rig.Start(1);

  ASSERT_TRUE(board.ApplyPowerScheme(1));
  const TFakePowerManagement::TScheme* on = rig.Power.FindByIndex(19);
  ASSERT_NE(nullptr, on);
  EXPECT_EQ(u"Korvan ZEM", on->Name);
  EXPECT_EQ(u"Korvan processor power management", on->Description);
  EXPECT_EQ(rig.Power.FindByIndex(0)->Power.Bytes, on->Power.Bytes);
  EXPECT_EQ(kThrottleAdaptive, on->Processor.ProcessorPolicyAc.DynamicThrottle);
  EXPECT_EQ(kThrottleAdaptive, on->Processor.ProcessorPolicyDc.DynamicThrottle);
  EXPECT_EQ(19u, rig.Power.ActiveIndex);
  EXPECT_EQ(TLines({"GetCurrentPowerPolicies", "ReadPwrScheme", "WritePwrScheme",
                    "GetCurrentPowerPolicies", "ReadProcessorPwrScheme", "WriteProcessorPwrScheme",
                    "SetActivePwrScheme"}),
            rig.Power.Calls);

  ASSERT_TRUE(board.ApplyPowerScheme(2));
  const TFakePowerManagement::TScheme* off = rig.Power.FindByIndex(20);
  ASSERT_NE(nullptr, off);
  EXPECT_EQ(u"Korvan ZEM Off", off->Name);
  EXPECT_EQ(kThrottleNone, off->Processor.ProcessorPolicyAc.DynamicThrottle);
  EXPECT_EQ(kThrottleNone, off->Processor.ProcessorPolicyDc.DynamicThrottle);
  EXPECT_EQ(20u, rig.Power.ActiveIndex);
  EXPECT_TRUE(rig.Messages.Shown.empty());
  EXPECT_TRUE(rig.Trace.Lines.empty());  // only the NT 6 path traces
}

TEST(PowerSchemeLegacy, OverwritesWhateverSchemeSitsAtTheIndex) {
  TPowerRig rig;
  TFakePowerManagement::TScheme squatter;
  squatter.Guid = FakeGuid(0x77);
  squatter.Name = u"Someone else's";
  squatter.Index = 19;
  squatter.Processor.ProcessorPolicyAc.DynamicThrottle = kThrottleDegrade;
  rig.Power.Schemes.push_back(squatter);

  ASSERT_TRUE(rig.Start(3).ApplyPowerScheme(1));
  int atNineteen = 0;
  for (const auto& scheme : rig.Power.Schemes) atNineteen += scheme.Index == 19u ? 1 : 0;
  EXPECT_EQ(1, atNineteen);
  EXPECT_EQ(u"Korvan ZEM", rig.Power.FindByIndex(19)->Name);
  EXPECT_EQ(kThrottleAdaptive,
            rig.Power.FindByIndex(19)->Processor.ProcessorPolicyAc.DynamicThrottle);
}

TEST(PowerSchemeLegacy, FailuresAndTheirMessages) {
  struct TCase {
    const char* Entry;
    uint32_t Result;
    bool Ok;
    std::vector<TShownMessage> Shown;
    bool Activates;
  };
  const TCase cases[] = {
      {"GetCurrentPowerPolicies", 0, false, {kCannotCreate}, false},
      {"ReadPwrScheme", 0, false, {kCannotCreate}, false},
      {"ReadPwrScheme", 2, false, {kCannotCreate}, false},  // non-zero but not exactly TRUE
      {"WritePwrScheme", 0, false, {kCannotCreate}, false},
      {"WriteProcessorPwrScheme", 0, false, {kCannotModify}, false},
      {"SetActivePwrScheme", 0, false, {kCannotModify}, true},
      // The throttle policy cannot be read: the scheme is activated as it is.
      {"ReadProcessorPwrScheme", 0, true, {}, true},
  };
  for (const TCase& c : cases) {
    TPowerRig rig;
    rig.Power.ForcedResults[c.Entry] = c.Result;
    EXPECT_EQ(c.Ok, rig.Start(0).ApplyPowerScheme(1)) << c.Entry << " " << c.Result;
    EXPECT_EQ(c.Shown, rig.Messages.Shown) << c.Entry << " " << c.Result;
    EXPECT_EQ(c.Activates, Called(rig.Power, "SetActivePwrScheme")) << c.Entry << " " << c.Result;
  }
}

TEST(PowerSchemeLegacy, AnUnreadableThrottlePolicyIsLeftAlone) {
  TPowerRig rig;
  rig.Power.ForcedResults["ReadProcessorPwrScheme"] = 0;
  ASSERT_TRUE(rig.Start(1).ApplyPowerScheme(2));
  EXPECT_FALSE(Called(rig.Power, "WriteProcessorPwrScheme"));
  EXPECT_EQ(20u, rig.Power.ActiveIndex);
}

// Every entry point missing in turn, on both paths: nothing calls a missing one (the double would
// abort), and each path fails only where it needs the missing one.
TEST(PowerSchemeEntryPoints, EachMissingOneFailsOnlyTheStepsThatNeedIt) {
  struct TCase {
    const char* Entry;
    bool Nt6Ok;
    bool LegacyOk;
    std::vector<TShownMessage> LegacyShown;
  };
  const TCase cases[] = {
      {"PowerEnumerate", false, true, {}},
      {"PowerReadFriendlyName", false, true, {}},
      {"PowerDeleteScheme", true, true, {}},
      {"PowerImportPowerScheme", false, true, {}},
      {"PowerSetActiveScheme", false, true, {}},
      {"GetCurrentPowerPolicies", true, false, {kCannotCreate}},
      {"ReadPwrScheme", true, false, {kCannotCreate}},
      {"WritePwrScheme", true, false, {kCannotCreate}},
      {"ReadProcessorPwrScheme", true, true, {}},
      {"WriteProcessorPwrScheme", true, false, {kCannotModify}},
      {"SetActivePwrScheme", true, false, {kCannotModify}},
  };
  ASSERT_EQ(kPowerEntryPoints.size(), std::size(cases));
  for (const TCase& c : cases) {
    TPowerRig nt6;
    nt6.Power.MissingEntryPoints.insert(c.Entry);
    EXPECT_EQ(c.Nt6Ok, nt6.Start(6).ApplyPowerScheme(1)) << c.Entry;
    EXPECT_EQ(c.Nt6Ok ? std::vector<TShownMessage>{} : std::vector<TShownMessage>{kCannotInstall},
              nt6.Messages.Shown)
        << c.Entry;
    EXPECT_EQ(0, nt6.Power.GuidBuffers) << c.Entry;

    TPowerRig legacy;
    legacy.Power.MissingEntryPoints.insert(c.Entry);
    EXPECT_EQ(c.LegacyOk, legacy.Start(1).ApplyPowerScheme(1)) << c.Entry;
    EXPECT_EQ(c.LegacyShown, legacy.Messages.Shown) << c.Entry;
  }
}

TEST(PowerSchemeEntryPoints, WithoutEnumerationNothingIsTracedOrImported) {
  TPowerRig rig;
  rig.Power.MissingEntryPoints.insert("PowerEnumerate");
  EXPECT_FALSE(rig.Start(6).ApplyPowerScheme(1));
  EXPECT_TRUE(rig.Trace.Lines.empty());
  EXPECT_TRUE(rig.Power.Calls.empty());
}

TEST(PowerSchemeEntryPoints, ABrokenSchemeStaysWhenItCannotBeDeleted) {
  TPowerRig rig;
  rig.Power.MissingEntryPoints.insert("PowerDeleteScheme");
  TFakePowerManagement::TScheme broken;
  broken.Guid = FakeGuid(0x55);
  broken.Name = u"Korvan ZEM";
  broken.ActivationFails = true;
  rig.Power.Schemes.push_back(broken);
  EXPECT_TRUE(rig.Start(6).ApplyPowerScheme(1));
  EXPECT_EQ(2, rig.Power.CountByName(u"Korvan ZEM"));
  EXPECT_EQ(u"Korvan ZEM", rig.Power.ActiveName());
}

TEST(PowerSchemeLibrary, AMissingLibraryFailsBothPathsWithTheirMessages) {
  TPowerRig rig;
  rig.Power.LibraryPresent = false;
  EXPECT_FALSE(rig.Start(6).ApplyPowerScheme(1));
  EXPECT_FALSE(rig.Man->LibraryLoaded());
  EXPECT_FALSE(rig.Start(1).ApplyPowerScheme(2));
  EXPECT_EQ(std::vector<TShownMessage>({kCannotInstall, kCannotCreate}), rig.Messages.Shown);
}

TEST(PowerSchemeLibrary, TheManagerHoldsThePrivilegeAndTheLibraryForItsLifetime) {
  TPowerRig rig;
  rig.Start(6);
  EXPECT_TRUE(rig.Man->Enabled());
  EXPECT_TRUE(rig.Privileges.Enabled["SeShutdownPrivilege"]);
  EXPECT_EQ(1, rig.Power.Loads);
  EXPECT_EQ(0, rig.Power.Frees);
  rig.Board.reset();
  rig.Man.reset();
  EXPECT_FALSE(rig.Privileges.Enabled["SeShutdownPrivilege"]);
  EXPECT_EQ(1, rig.Power.Frees);
}

TEST(PowerSchemeTable, ModeTwoIsOffAndEveryOtherModeIsOn) {
  EXPECT_EQ(u"Korvan ZEM Off", PowerSchemeFor(2).Name);
  EXPECT_STREQ("KorZemOff.pow", PowerSchemeFor(2).FileName);
  EXPECT_EQ(20u, PowerSchemeFor(2).LegacyIndex);
  EXPECT_EQ(kThrottleNone, PowerSchemeFor(2).Throttle);
  for (int mode : {0, 1, 3, -1}) {
    EXPECT_EQ(u"Korvan ZEM", PowerSchemeFor(mode).Name);
    EXPECT_STREQ("KorZemOn.pow", PowerSchemeFor(mode).FileName);
    EXPECT_EQ(19u, PowerSchemeFor(mode).LegacyIndex);
    EXPECT_EQ(kThrottleAdaptive, PowerSchemeFor(mode).Throttle);
  }
}

// The AMD FID/VID object reaches the scheme step through the board specification, which hands
// it to the board services once they are attached.
TEST(PowerSchemeBoard, TheFidVidModesGoThroughTheBoardSpecification) {
  TTempDir dir;
  TFakeOsSystem system;
  TInitFile config(dir / "KorZem.ini", system);
  TFakeDriverService service;  // a device that answers nothing: no SMBIOS, no ACPI
  TReadWrite rw(service, system, TReadWriteSettings{});
  TKorSpec spec(rw, config, false);
  TKorSpecPowerModes modes(spec);
  IBoardPowerModes& board = modes;
  EXPECT_FALSE(board.ApplyPowerScheme(1));  // nothing attached yet

  TPowerRig rig;
  spec.SetPowerServices(&rig.Start(6));
  EXPECT_TRUE(board.ApplyPowerScheme(2));
  EXPECT_EQ(u"Korvan ZEM Off", rig.Power.ActiveName());
  EXPECT_TRUE(board.ApplyPowerScheme(1));
  EXPECT_EQ(u"Korvan ZEM", rig.Power.ActiveName());
  spec.SetPowerServices(nullptr);
  config.OsVersion->OsKind = 0;  // no write-back of the configuration into the test directory
}

}  // namespace

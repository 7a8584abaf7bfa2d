// The power-management library bound by name: a library that lacks the entry points, a library
// that does not exist, and the system's own "PowrProf.DLL".
#include <windows.h>

#include <gtest/gtest.h>

#include "os/powerschemes.h"

namespace {

const char* const kEntryPoints[] = {
    "PowerEnumerate",          "PowerReadFriendlyName", "PowerDeleteScheme",
    "PowerImportPowerScheme",  "PowerSetActiveScheme",  "GetCurrentPowerPolicies",
    "ReadPwrScheme",           "WritePwrScheme",        "ReadProcessorPwrScheme",
    "WriteProcessorPwrScheme", "SetActivePwrScheme"};

TEST(Win32Power, ALibraryThatDoesNotExistLoadsAsNull) {
  auto power = OsCreatePowerManagement(true);
  EXPECT_EQ(power->LoadPowerLibrary("KorZemNoSuchPowerLibrary.DLL"), nullptr);
}

// kernel32 loads but exports none of the eleven: every call must fail with a result.
TEST(Win32Power, EveryMissingEntryPointFailsWithAResult) {
  auto power = OsCreatePowerManagement(true);
  auto library = power->LoadPowerLibrary("kernel32.dll");
  ASSERT_NE(library, nullptr);
  for (const char* name : kEntryPoints) EXPECT_FALSE(library->HasEntryPoint(name)) << name;
  EXPECT_TRUE(library->HasEntryPoint("GetSystemTimes"));

  TPowerGuid scheme;
  scheme.Bytes.fill(0x5A);
  const TPowerGuid before = scheme;
  EXPECT_NE(library->PowerEnumerate(kAccessScheme, 0, scheme), kPowerSuccess);
  EXPECT_EQ(scheme, before);
  std::u16string name = u"stale";
  EXPECT_NE(library->PowerReadFriendlyName(scheme, name, 512), kPowerSuccess);
  EXPECT_TRUE(name.empty());
  EXPECT_NE(library->PowerDeleteScheme(scheme), kPowerSuccess);
  TPowerGuid* imported = &scheme;
  EXPECT_NE(library->PowerImportPowerScheme("C:\\KorZemOn.pow", &imported), kPowerSuccess);
  EXPECT_EQ(imported, nullptr);
  EXPECT_NE(library->PowerSetActiveScheme(scheme), kPowerSuccess);

  TGlobalPowerPolicy global{{1, 2}};
  TPowerPolicy policy{{3, 4}};
  TMachineProcessorPowerPolicy processor;
  uint32_t index = 19;
  EXPECT_EQ(library->GetCurrentPowerPolicies(global, policy), 0);
  EXPECT_EQ(global.Bytes, (std::vector<uint8_t>{1, 2}));  // untouched
  EXPECT_EQ(library->ReadPwrScheme(0, policy), 0);
  EXPECT_EQ(library->WritePwrScheme(index, u"Korvan ZEM", u"", policy), 0);
  EXPECT_EQ(index, 19u);
  EXPECT_EQ(library->ReadProcessorPwrScheme(19, processor), 0);
  EXPECT_EQ(library->WriteProcessorPwrScheme(19, processor), 0);
  EXPECT_EQ(library->SetActivePwrScheme(19, global, policy), 0);
}

// The system's own library: the seam reports exactly the entry points the library exports (Wine
// 8.0's lacks PowerDeleteScheme and PowerImportPowerScheme), calls to the missing ones fail with a
// result, and the library is freed with the object.
TEST(Win32Power, TheSystemLibraryIsBoundByNameAndFreedAfterwards) {
  ASSERT_EQ(::GetModuleHandleW(L"powrprof.dll"), nullptr);
  auto power = OsCreatePowerManagement(true);
  auto library = power->LoadPowerLibrary(kPowerLibraryName);
  ASSERT_NE(library, nullptr);
  const HMODULE loaded = ::GetModuleHandleW(L"powrprof.dll");
  ASSERT_NE(loaded, nullptr);
  for (const char* name : kEntryPoints) {
    EXPECT_EQ(library->HasEntryPoint(name), ::GetProcAddress(loaded, name) != nullptr) << name;
  }
  EXPECT_FALSE(library->HasEntryPoint("KorZemNoSuchEntryPoint"));

  TPowerGuid scheme;
  if (!library->HasEntryPoint("PowerImportPowerScheme")) {
    TPowerGuid* imported = &scheme;
    EXPECT_EQ(library->PowerImportPowerScheme("C:\\KorZemOn.pow", &imported), 127u);
    EXPECT_EQ(imported, nullptr);
  }
  if (!library->HasEntryPoint("PowerDeleteScheme")) {
    EXPECT_EQ(library->PowerDeleteScheme(scheme), 127u);  // ERROR_PROC_NOT_FOUND
  }
  // An enumeration either yields a scheme whose name fits the buffer, or fails and leaves no name.
  std::u16string name = u"stale";
  const uint32_t enumerated = library->PowerEnumerate(kAccessScheme, 0, scheme);
  const uint32_t named = library->PowerReadFriendlyName(scheme, name, 512);
  if (enumerated != kPowerSuccess || named != kPowerSuccess) {
    EXPECT_TRUE(name.empty());
  } else {
    EXPECT_FALSE(name.empty());
    EXPECT_LE((name.size() + 1) * 2, 512u);
  }
  library.reset();
  EXPECT_EQ(::GetModuleHandleW(L"powrprof.dll"), nullptr);
}

}  // namespace

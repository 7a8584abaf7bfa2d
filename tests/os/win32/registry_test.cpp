// The registry as the system's own registry sees it after the program's calls: values read back
// with RegQueryValueEx and reg.exe, volatility as the registry enforces it.
#include "os/registry.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/os/win32/win32process.h"

namespace {

constexpr const char* kRoot = "Software\\KorZemRegistryTest";
constexpr const char* kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// A value as the registry holds it: type and raw bytes.
struct TRawValue {
  LONG Result = ERROR_FILE_NOT_FOUND;
  DWORD Type = REG_NONE;
  std::wstring Text;  // the bytes as UTF-16, terminators included
  DWORD Dword = 0;
};

TRawValue ReadRaw(const wchar_t* path, const wchar_t* name) {
  TRawValue value;
  HKEY key = nullptr;
  value.Result = ::RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE, &key);
  if (value.Result != ERROR_SUCCESS) return value;
  BYTE buffer[4096] = {};
  DWORD size = sizeof buffer;
  value.Result = ::RegQueryValueExW(key, name, nullptr, &value.Type, buffer, &size);
  ::RegCloseKey(key);
  if (value.Type == REG_DWORD && size == 4) value.Dword = *reinterpret_cast<DWORD*>(buffer);
  if (value.Type == REG_SZ) value.Text.assign(reinterpret_cast<wchar_t*>(buffer), size / 2);
  return value;
}

// Creates a key straight through the registry; the result code.
LONG CreateRaw(const wchar_t* path, DWORD options) {
  HKEY key = nullptr;
  const LONG result = ::RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, options, KEY_READ,
                                        nullptr, &key, nullptr);
  if (result == ERROR_SUCCESS) ::RegCloseKey(key);
  return result;
}

class Win32Registry : public ::testing::Test {
 protected:
  void TearDown() override {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\KorZemRegistryTest");
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"KorZemTopLevelTest");
  }
  std::unique_ptr<IOsRegistry> Registry = OsCreateRegistry();
};

TEST_F(Win32Registry, AVolatileKeyHoldsItsValueAndRefusesLastingChildren) {
  const std::string path = std::string(kRoot) + "\\ZEMBackup";
  auto key = Registry->CreateKey(path, TRegKeyOption::Volatile);
  ASSERT_NE(key, nullptr);
  ASSERT_TRUE(key->WriteString("GPIO33", "Output High"));
  const TRawValue raw = ReadRaw(L"Software\\KorZemRegistryTest\\ZEMBackup", L"GPIO33");
  ASSERT_EQ(raw.Result, ERROR_SUCCESS);
  EXPECT_EQ(raw.Type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(raw.Text, std::wstring(L"Output High") + L'\0');  // stored with its terminator
  // The registry itself knows the key is volatile: it refuses a lasting key below it, and so
  // does the seam.
  EXPECT_EQ(CreateRaw(L"Software\\KorZemRegistryTest\\ZEMBackup\\Child", REG_OPTION_NON_VOLATILE),
            ERROR_CHILD_MUST_BE_VOLATILE);
  EXPECT_EQ(Registry->CreateKey(path + "\\Child", TRegKeyOption::Lasting), nullptr);
  EXPECT_NE(Registry->CreateKey(path + "\\Child", TRegKeyOption::Volatile), nullptr);
  // The parent created on the way took the option too; "Software" above it lasts.
  EXPECT_EQ(CreateRaw(L"Software\\KorZemRegistryTest\\Sibling", REG_OPTION_NON_VOLATILE),
            ERROR_CHILD_MUST_BE_VOLATILE);
  EXPECT_EQ(CreateRaw(L"Software\\KorZemRegistryTestSibling", REG_OPTION_NON_VOLATILE),
            ERROR_SUCCESS);
  ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\KorZemRegistryTestSibling");
}

TEST_F(Win32Registry, AVolatilePathNeverMakesItsTopLevelKeyVolatile) {
  ASSERT_NE(Registry->CreateKey("KorZemTopLevelTest", TRegKeyOption::Volatile), nullptr);
  EXPECT_EQ(CreateRaw(L"KorZemTopLevelTest\\First", REG_OPTION_NON_VOLATILE), ERROR_SUCCESS);
  ASSERT_NE(Registry->CreateKey("KorZemTopLevelTest\\A\\B", TRegKeyOption::Volatile), nullptr);
  EXPECT_EQ(CreateRaw(L"KorZemTopLevelTest\\Lasting", REG_OPTION_NON_VOLATILE), ERROR_SUCCESS);
  // Below the top the missing parts took the volatile option.
  EXPECT_EQ(CreateRaw(L"KorZemTopLevelTest\\A\\Lasting", REG_OPTION_NON_VOLATILE),
            ERROR_CHILD_MUST_BE_VOLATILE);
}

TEST_F(Win32Registry, AnExistingKeyKeepsItsOwnOption) {
  const std::string path = std::string(kRoot) + "\\Lasting";
  ASSERT_NE(Registry->CreateKey(path, TRegKeyOption::Lasting), nullptr);
  ASSERT_NE(Registry->CreateKey(path, TRegKeyOption::Volatile), nullptr);
  EXPECT_EQ(CreateRaw(L"Software\\KorZemRegistryTest\\Lasting\\Child", REG_OPTION_NON_VOLATILE),
            ERROR_SUCCESS);
}

TEST_F(Win32Registry, TheRunValueIsWhatRegExeReads) {
  const std::string command = "\"C:\\Program Files\\KorZem\\KorZem.exe\"";
  auto run = Registry->CreateKey(kRunKey, TRegKeyOption::Lasting);
  ASSERT_NE(run, nullptr);
  ASSERT_TRUE(run->WriteString("KorvanZEM", command));
  const TProcessResult query = RunCommandLine(
      L"reg.exe query HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run /v KorvanZEM");
  ASSERT_TRUE(query.Started);
  EXPECT_EQ(query.ExitCode, 0u) << query.Output;
  EXPECT_NE(query.Output.find("KorvanZEM"), std::string::npos) << query.Output;
  EXPECT_NE(query.Output.find("REG_SZ"), std::string::npos) << query.Output;
  EXPECT_NE(query.Output.find(command), std::string::npos) << query.Output;

  EXPECT_TRUE(run->DeleteValue("KorvanZEM"));
  EXPECT_FALSE(run->DeleteValue("KorvanZEM"));
  const TProcessResult gone = RunCommandLine(
      L"reg.exe query HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run /v KorvanZEM");
  ASSERT_TRUE(gone.Started);
  EXPECT_NE(gone.ExitCode, 0u) << gone.Output;
}

TEST_F(Win32Registry, IntegersAndTextsKeepTheirTypes) {
  auto key = Registry->CreateKey(std::string(kRoot) + "\\Korvan\\ZEM", TRegKeyOption::Lasting);
  ASSERT_NE(key, nullptr);
  ASSERT_TRUE(key->WriteInteger("AutoRun", -2));
  const TRawValue raw = ReadRaw(L"Software\\KorZemRegistryTest\\Korvan\\ZEM", L"AutoRun");
  EXPECT_EQ(raw.Type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(raw.Dword, 0xFFFFFFFEu);
  int32_t number = 0;
  EXPECT_TRUE(key->ReadInteger("autorun", number));  // names compare without case
  EXPECT_EQ(number, -2);
  std::string text;
  EXPECT_FALSE(key->ReadString("AutoRun", text));

  // UTF-8 in, UTF-16 in the registry.
  ASSERT_TRUE(key->WriteString("Name", "\xE8\x8A\x82\xE8\x83\xBD"));  // 节能
  EXPECT_EQ(ReadRaw(L"Software\\KorZemRegistryTest\\Korvan\\ZEM", L"Name").Text,
            std::wstring(L"\u8282\u80FD") + L'\0');
  EXPECT_TRUE(key->ReadString("Name", text));
  EXPECT_EQ(text, "\xE8\x8A\x82\xE8\x83\xBD");
  EXPECT_FALSE(key->ReadInteger("Name", number));

  // A value written as an integer replaces the text.
  ASSERT_TRUE(key->WriteInteger("Name", 7));
  EXPECT_FALSE(key->ReadString("Name", text));
  EXPECT_TRUE(key->ValueExists("Name"));
  EXPECT_FALSE(key->ValueExists("Missing"));
}

TEST_F(Win32Registry, AStringStoredWithoutTerminatorReadsWhole) {
  ASSERT_NE(Registry->CreateKey(kRoot, TRegKeyOption::Lasting), nullptr);
  HKEY raw = nullptr;
  ASSERT_EQ(
      ::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\KorZemRegistryTest", 0, KEY_SET_VALUE, &raw),
      ERROR_SUCCESS);
  const wchar_t text[] = L"abcXYZ";
  ASSERT_EQ(::RegSetValueExW(raw, L"Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                             3 * sizeof(wchar_t)),
            ERROR_SUCCESS);
  ::RegCloseKey(raw);
  auto key = Registry->OpenKey(kRoot);
  ASSERT_NE(key, nullptr);
  std::string value;
  ASSERT_TRUE(key->ReadString("Bare", value));
  EXPECT_EQ(value, "abc");
}

TEST_F(Win32Registry, MissingKeysAndUnusablePathsAreRefused) {
  EXPECT_EQ(Registry->OpenKey(std::string(kRoot) + "\\Missing"), nullptr);
  EXPECT_FALSE(Registry->KeyExists(std::string(kRoot) + "\\Missing"));
  EXPECT_TRUE(Registry->KeyExists("Software"));
  // The empty path would be HKEY_CURRENT_USER itself; empty parts would name another key.
  for (const std::string& path : {std::string(), std::string("\\Software"),
                                  std::string(kRoot) + "\\\\A", std::string(kRoot) + "\\"}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(Registry->CreateKey(path, TRegKeyOption::Lasting), nullptr);
    EXPECT_EQ(Registry->OpenKey(path), nullptr);
    EXPECT_FALSE(Registry->KeyExists(path));
  }
}

}  // namespace

// TAdvReg over the in-memory registry, the autorun switch built on it, and the same operations on
// the Linux file registry, whose volatile keys live in the runtime directory.
#include "winpower/advreg.h"

#include <gtest/gtest.h>

#include "os/linux/registry.h"
#include "os/test/fakeregistry.h"
#include "tests/winpower/winpowerrig.h"
#include "winpower/autorun.h"

namespace {

using namespace winpowertest;

TEST(AdvRegRun, APathWithASpaceIsQuotedAndOneWithoutIsStoredBare) {
  TFakeRegistry registry;
  TAdvReg spaced(registry, "C:\\Program Files\\X\\KorZem.exe");
  spaced.AddRunEntry("KorvanZEM");
  ASSERT_NE(nullptr, registry.Find(kRunKey, "KorvanZEM"));
  EXPECT_TRUE(registry.Find(kRunKey, "KorvanZEM")->IsString);
  EXPECT_EQ("\"C:\\Program Files\\X\\KorZem.exe\"", registry.Find(kRunKey, "KorvanZEM")->Text);

  TAdvReg bare(registry, "C:\\Tools\\KorZem.exe");
  bare.AddRunEntry("KorvanZEM");
  EXPECT_EQ("C:\\Tools\\KorZem.exe", registry.Find(kRunKey, "KorvanZEM")->Text);
  EXPECT_EQ(0, registry.OpenKeys);
}

TEST(AdvRegRun, RemovingDeletesTheValueButNeverCreatesTheRunKey) {
  TFakeRegistry registry;
  TAdvReg reg(registry, "/usr/bin/korzem");
  reg.RemoveRunEntry("KorvanZEM");
  EXPECT_FALSE(registry.Keys.contains(kRunKey));

  reg.AddRunEntry("KorvanZEM");
  reg.AddRunEntry("Other");
  reg.RemoveRunEntry("korvanzem");  // value names ignore case
  EXPECT_EQ(nullptr, registry.Find(kRunKey, "KorvanZEM"));
  EXPECT_NE(nullptr, registry.Find(kRunKey, "Other"));
  EXPECT_EQ(0, registry.OpenKeys);
}

TEST(AdvRegValues, ReadingOnAFreshSystemCreatesTheEmptyKeyAndGivesZero) {
  TFakeRegistry registry;
  TAdvReg reg(registry, "");
  EXPECT_EQ(0, reg.ReadInteger(kZemSettingsKey, kAutoRunValue));
  ASSERT_TRUE(registry.Keys.contains("Software\\Korvan\\ZEM"));
  EXPECT_TRUE(registry.Keys.at("Software\\Korvan\\ZEM").Values.empty());
  EXPECT_FALSE(registry.Keys.at("Software\\Korvan\\ZEM").Volatile);
  EXPECT_TRUE(registry.Keys.contains("Software\\Korvan"));
  EXPECT_EQ("", reg.ReadString("Software\\Korvan\\Other", "Name"));
  EXPECT_TRUE(registry.Keys.contains("Software\\Korvan\\Other"));
}

TEST(AdvRegValues, IntegersAndStringsRoundTripAndDoNotStandInForEachOther) {
  TFakeRegistry registry;
  TAdvReg reg(registry, "");
  reg.WriteInteger(kZemSettingsKey, kAutoRunValue, 1);
  reg.WriteInteger(kZemSettingsKey, "Negative", -7);
  EXPECT_EQ(1, reg.ReadInteger(kZemSettingsKey, kAutoRunValue));
  EXPECT_EQ(-7, reg.ReadInteger("software\\KORVAN\\zem", "negative"));
  // A string read of an integer value, and the reverse, find nothing.
  EXPECT_EQ("", reg.ReadString(kZemSettingsKey, kAutoRunValue));
  ASSERT_TRUE(reg.WriteVolatileString("Software\\KorvanZEM\\ZEMBackup", "GPIO12", "Output High"));
  EXPECT_EQ("Output High", reg.ReadString(kZemBackupKey, "GPIO12"));
  EXPECT_EQ(0, reg.ReadInteger(kZemBackupKey, "GPIO12"));
  EXPECT_EQ(0, registry.OpenKeys);
}

TEST(AdvRegVolatile, TheBackupKeyIsVolatileAndGoneAfterARestart) {
  TFakeRegistry registry;
  TAdvReg reg(registry, "");
  EXPECT_FALSE(reg.KeyExists(kZemBackupKey));
  // The backup may be the first thing written after an install.
  EXPECT_TRUE(reg.WriteVolatileString(kZemBackupKey, "GPIO21", "Output Low"));
  EXPECT_TRUE(reg.KeyExists(kZemBackupKey));
  EXPECT_TRUE(registry.Keys.at(kZemBackupKey).Volatile);
  EXPECT_TRUE(registry.Keys.at("Software\\KorvanZEM").Volatile);  // created with it
  EXPECT_FALSE(registry.Keys.at("Software").Volatile);            // top-level keys last
  reg.WriteInteger(kZemSettingsKey, kAutoRunValue, 1);

  registry.Restart();
  EXPECT_FALSE(reg.KeyExists(kZemBackupKey));
  EXPECT_FALSE(reg.KeyExists("Software\\KorvanZEM"));
  EXPECT_EQ(1, reg.ReadInteger(kZemSettingsKey, kAutoRunValue));
  EXPECT_EQ(0, registry.OpenKeys);
}

TEST(AdvRegVolatile, AnUnopenableKeyReadsAsNothingAndTheVolatileWriteStillSaysTrue) {
  TFakeRegistry registry;
  registry.Available = false;
  TAdvReg reg(registry, "C:\\KorZem.exe");
  EXPECT_TRUE(reg.WriteVolatileString(kZemBackupKey, "GPIO1", "Input Low"));
  reg.WriteInteger(kZemSettingsKey, kAutoRunValue, 1);
  reg.AddRunEntry("KorvanZEM");
  EXPECT_EQ(0, reg.ReadInteger(kZemSettingsKey, kAutoRunValue));
  EXPECT_EQ("", reg.ReadString(kZemBackupKey, "GPIO1"));
  EXPECT_TRUE(registry.Keys.empty());
}

// The logon task side of autorun, recorded.
class TTaskRecorder : public IBoardPowerServices {
 public:
  bool ApplyPowerScheme(int) override { return false; }
  bool RegisterLogonTask(const std::string& name) override {
    Calls.push_back("register " + name);
    return false;  // a failed registration still leaves "AutoRun" as asked
  }
  bool RemoveLogonTask(const std::string& name) override {
    Calls.push_back("remove " + name);
    return true;
  }
  std::vector<std::string> Calls;
};

TEST(Autorun, Nt6UsesTheLogonTaskAndOlderSystemsTheRunEntry) {
  for (int kind = 0; kind <= 6; ++kind) {
    TFakeRegistry registry;
    TAdvReg reg(registry, "C:\\Program Files\\KorZem\\KorZem.exe");
    TTaskRecorder tasks;
    const bool nt6 = kind >= 4;

    EXPECT_FALSE(AutorunEnabled(reg));
    EnableAutorun(kind, reg, tasks);
    EXPECT_TRUE(AutorunEnabled(reg)) << kind;
    EXPECT_EQ(nt6, registry.Find(kRunKey, "KorvanZEM") == nullptr) << kind;
    DisableAutorun(kind, reg, tasks);
    EXPECT_FALSE(AutorunEnabled(reg)) << kind;
    EXPECT_EQ(nullptr, registry.Find(kRunKey, "KorvanZEM")) << kind;
    EXPECT_EQ(nt6 ? std::vector<std::string>({"register KorvanZEM", "remove KorvanZEM"})
                  : std::vector<std::string>{},
              tasks.Calls)
        << kind;
  }
}

// --- the Linux file registry ---

struct TFileRig {
  TTempDir Dir;
  std::string Config = Dir / "config/korzem";
  std::string Runtime = Dir / "run";
  std::unique_ptr<IOsRegistry> Open() { return OsCreateFileRegistry(Config, Runtime); }
};

TEST(FileRegistry, ValuesLastAcrossInstancesAndKeysIgnoreCase) {
  TFileRig rig;
  {
    std::unique_ptr<IOsRegistry> registry = rig.Open();
    TAdvReg reg(*registry, "/opt/Kor Zem/korzem");
    reg.AddRunEntry("KorvanZEM");
    reg.WriteInteger(kZemSettingsKey, kAutoRunValue, 1);
    reg.WriteInteger(kZemSettingsKey, "Min", INT32_MIN);
  }
  std::unique_ptr<IOsRegistry> registry = rig.Open();
  TAdvReg reg(*registry, "");
  EXPECT_EQ(1, reg.ReadInteger("SOFTWARE\\korvan\\zem", "autorun"));
  EXPECT_EQ(INT32_MIN, reg.ReadInteger(kZemSettingsKey, "Min"));
  EXPECT_EQ("\"/opt/Kor Zem/korzem\"", reg.ReadString(kRunKey, "KorvanZEM"));
  EXPECT_EQ("", reg.ReadString(kZemSettingsKey, kAutoRunValue));  // an integer, not a string
  EXPECT_TRUE(registry->KeyExists("Software\\Microsoft"));
  reg.RemoveRunEntry("KORVANZEM");
  EXPECT_EQ("", reg.ReadString(kRunKey, "KorvanZEM"));
  EXPECT_TRUE(registry->KeyExists(kRunKey));
}

TEST(FileRegistry, TextsWithQuotesBackslashesAndLineEndsRoundTrip) {
  TFileRig rig;
  const std::string tricky = "a \"quoted\" C:\\path\\ with\nlines\r\n and ; = [x]";
  {
    std::unique_ptr<IOsRegistry> registry = rig.Open();
    std::unique_ptr<IOsRegistryKey> key =
        registry->CreateKey("Software\\Odd [key]", TRegKeyOption::Lasting);
    ASSERT_NE(nullptr, key);
    ASSERT_TRUE(key->WriteString("name \"with\" quotes", tricky));
  }
  std::unique_ptr<IOsRegistry> registry = rig.Open();
  std::unique_ptr<IOsRegistryKey> key = registry->OpenKey("Software\\Odd [key]");
  ASSERT_NE(nullptr, key);
  std::string text;
  ASSERT_TRUE(key->ReadString("name \"with\" quotes", text));
  EXPECT_EQ(tricky, text);
}

TEST(FileRegistry, VolatileKeysVanishWhenTheRuntimeDirectoryIsCleared) {
  TFileRig rig;
  std::unique_ptr<IOsRegistry> registry = rig.Open();
  TAdvReg reg(*registry, "");
  reg.WriteInteger(kZemSettingsKey, kAutoRunValue, 1);
  ASSERT_TRUE(reg.WriteVolatileString(kZemBackupKey, "GPIO12", "Output High"));
  EXPECT_TRUE(reg.KeyExists(kZemBackupKey));
  EXPECT_EQ("Output High", reg.ReadString(kZemBackupKey, "GPIO12"));
  // The backup lives in the runtime directory only.
  EXPECT_EQ(std::string::npos, ReadFile(rig.Config + "/registry.reg").find("ZEMBackup"));
  EXPECT_NE(std::string::npos, ReadFile(rig.Runtime + "/KorZemVolatile.reg").find("GPIO12"));
  // "Software" lasts: it is kept with the lasting keys only.
  EXPECT_EQ(std::string::npos, ReadFile(rig.Runtime + "/KorZemVolatile.reg").find("[Software]\n"));

  fs::remove_all(rig.Runtime);  // what a reboot does to the runtime directory
  EXPECT_FALSE(reg.KeyExists(kZemBackupKey));
  EXPECT_FALSE(reg.KeyExists("Software\\KorvanZEM"));
  EXPECT_EQ(1, reg.ReadInteger(kZemSettingsKey, kAutoRunValue));
  // The next first start writes a new backup.
  ASSERT_TRUE(reg.WriteVolatileString(kZemBackupKey, "GPIO12", "Output Low"));
  EXPECT_EQ("Output Low", reg.ReadString(kZemBackupKey, "GPIO12"));
}

TEST(FileRegistry, VolatileAndLastingKeysKeepTheirOwnKind) {
  TFileRig rig;
  std::unique_ptr<IOsRegistry> registry = rig.Open();
  ASSERT_NE(nullptr,
            registry->CreateKey("Software\\KorvanZEM\\ZEMBackup", TRegKeyOption::Volatile));
  // A lasting key cannot be made below a volatile one.
  EXPECT_EQ(nullptr, registry->CreateKey("Software\\KorvanZEM\\Lasting", TRegKeyOption::Lasting));
  EXPECT_NE(nullptr, registry->CreateKey("Software\\KorvanZEM\\Sibling", TRegKeyOption::Volatile));
  // A lasting key that exists stays lasting when opened with the volatile option.
  ASSERT_NE(nullptr, registry->CreateKey("Software\\Korvan\\ZEM", TRegKeyOption::Lasting));
  std::unique_ptr<IOsRegistryKey> key =
      registry->CreateKey("Software\\Korvan\\ZEM", TRegKeyOption::Volatile);
  ASSERT_NE(nullptr, key);
  ASSERT_TRUE(key->WriteInteger("AutoRun", 1));
  fs::remove_all(rig.Runtime);
  int32_t value = 0;
  ASSERT_TRUE(registry->OpenKey("Software\\Korvan\\ZEM")->ReadInteger("AutoRun", value));
  EXPECT_EQ(1, value);
  EXPECT_FALSE(registry->KeyExists("Software\\KorvanZEM\\Sibling"));
}

TEST(FileRegistry, MissingKeysAndBadPathsOpenNothing) {
  TFileRig rig;
  std::unique_ptr<IOsRegistry> registry = rig.Open();
  EXPECT_EQ(nullptr, registry->OpenKey(kRunKey));
  EXPECT_FALSE(registry->KeyExists(kRunKey));
  EXPECT_EQ(nullptr, registry->CreateKey("", TRegKeyOption::Lasting));
  EXPECT_EQ(nullptr, registry->CreateKey("Software\\\\Twice", TRegKeyOption::Lasting));
  EXPECT_EQ(nullptr, registry->CreateKey("Software\\", TRegKeyOption::Lasting));
  EXPECT_FALSE(fs::exists(rig.Config + "/registry.reg"));  // reads leave no file behind
}

TEST(FileRegistry, AnUnreadableFileIsNeverOverwritten) {
  TFileRig rig;
  fs::create_directories(rig.Config + "/registry.reg");  // a directory where the file should be
  std::unique_ptr<IOsRegistry> registry = rig.Open();
  TAdvReg reg(*registry, "");
  reg.WriteInteger(kZemSettingsKey, kAutoRunValue, 1);
  EXPECT_EQ(0, reg.ReadInteger(kZemSettingsKey, kAutoRunValue));
  EXPECT_TRUE(fs::is_directory(rig.Config + "/registry.reg"));
}

}  // namespace

// The readers on the Linux back-end: a captured system tree whose /sys/firmware holds a real
// machine's ACPI tables and SMBIOS data, no /dev/mem, so the back-end rebuilds the BIOS area from
// them. What the readers find there must be what the tree holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "hw/linux/linuxmachine.h"
#include "platform/acpibase.h"
#include "platform/korspec.h"
#include "platform/smbiosbase.h"
#include "tests/platform/acpi_testrig.h"

namespace {

using namespace platformtest;

struct TTreeCase {
  const char* Acpi;    // folder under real-data/acpi
  const char* Smbios;  // image under real-data/smbios
  const char* BoardProduct;
  bool PStates;
};

class AcpiLinuxTest : public testing::TestWithParam<TTreeCase> {
 protected:
  void SetUp() override {
    const std::string sys = Root.Path() + "/sys/firmware";
    fs::create_directories(sys + "/acpi/tables");
    fs::create_directories(sys + "/dmi/tables");
    fs::create_directories(Root.Path() + "/dev");
    fs::create_directories(Root.Path() + "/sys/devices/system/cpu");
    Write(Root.Path() + "/dev/port", TBytes(0x10000, 0));
    Write(Root.Path() + "/sys/devices/system/cpu/online", {'0', '\n'});

    for (const auto& entry : fs::directory_iterator(kRealData + "/acpi/" + GetParam().Acpi)) {
      std::string name = entry.path().stem().string();
      for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      const TBytes table = ReadFileBytes(entry.path().string());
      Write(sys + "/acpi/tables/" + name, table);
      TreeSignatures.insert(std::string(table.begin(), table.begin() + 4));
    }
    const TBytes image = ReadFileBytes(kRealData + "/smbios/" + GetParam().Smbios);
    const uint32_t tableAt = Get32(&image[0x18]) - 0xE0000;
    const size_t tableLength = image[0x16] | image[0x17] << 8;
    Write(sys + "/dmi/tables/smbios_entry_point", TBytes(image.begin(), image.begin() + image[5]));
    Write(sys + "/dmi/tables/DMI",
          TBytes(image.begin() + tableAt, image.begin() + tableAt + tableLength));

    TLinuxMachineOptions options;
    options.SysRoot = Root.Path();
    options.AllowModprobe = false;
    options.PinThread = false;
    std::string error;
    Machine = OpenLinuxMachine(options, &error);
    ASSERT_NE(nullptr, Machine) << error;
    ASSERT_TRUE(Machine->BiosAreaRebuilt());
    Rig = std::make_unique<TRwRig>(*Machine);
  }

  static void Write(const std::string& path, const TBytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  }

  TTempDir Root;
  std::multiset<std::string> TreeSignatures;
  std::unique_ptr<TLinuxMachine> Machine;
  std::unique_ptr<TRwRig> Rig;
};

TEST_P(AcpiLinuxTest, TheTableListIsTheTablesOfTheTree) {
  Rig->Config->ACPIDecodeSSDTEx = false;
  TAcpiBase acpi(*Rig->Rw, *Rig->Config);
  ASSERT_TRUE(acpi.RsdpFound());
  EXPECT_EQ(Machine->FirmwareLayout().RsdpAddress, acpi.Tables()[0].Address);
  EXPECT_EQ(Machine->FirmwareLayout().RsdtAddress, acpi.Tables()[1].Address);
  std::multiset<std::string> listed;
  for (size_t i = 2; i < acpi.Tables().size(); ++i) {
    const TAcpiTableEntry& entry = acpi.Tables()[i];
    listed.insert(entry.Signature);
    // Where the back-end placed a table of that signature and length.
    bool placed = false;
    for (const TPlacedTable& table : Machine->FirmwareLayout().Tables) {
      placed = placed || (table.Address == entry.Address && table.Signature == entry.Signature &&
                          table.Length == entry.Length);
    }
    EXPECT_TRUE(placed) << entry.Signature << " at " << entry.Address;
  }
  EXPECT_EQ(TreeSignatures, listed);

  const TBytes facp = ReadFileBytes(kRealData + "/acpi/" + GetParam().Acpi + "/facp.dat");
  EXPECT_EQ(Get32(&facp[56]) & 0xFFFF, Rig->Config->AcpiPmBase);
  EXPECT_EQ(Get32(&facp[76]) & 0xFFFF, Rig->Config->PmTimerPort);
  EXPECT_EQ(Get32(&facp[112]) & 0x100, Rig->Config->PmTimerWidth);
}

TEST_P(AcpiLinuxTest, SsdtsBehindTheDsdtAreFoundAgainByTheScan) {
  TAcpiBase acpi(*Rig->Rw, *Rig->Config);
  ASSERT_TRUE(Rig->Config->ACPIDecodeSSDTEx);
  ASSERT_TRUE(acpi.DsdtFound());
  // The back-end placed the SSDTs behind the DSDT; those within the 64 KiB scanned must come
  // again after the tree's own tables (the search may look a little further, never elsewhere).
  const uint32_t start = (acpi.DsdtAddress() + acpi.DsdtHeader().Length) & ~0xFu;
  std::set<uint32_t> surely;
  std::set<uint32_t> possibly;
  for (const TPlacedTable& table : Machine->FirmwareLayout().Tables) {
    if (table.Signature != "SSDT" || table.Address < start) continue;
    if (table.Address < start + 0x10000) surely.insert(table.Address);
    if (table.Address < start + 0x10400) possibly.insert(table.Address);
  }
  EXPECT_FALSE(surely.empty());
  const size_t own = TreeSignatures.size() + 2;
  ASSERT_GE(acpi.Tables().size(), own);
  std::set<uint32_t> found;
  for (size_t i = own; i < acpi.Tables().size(); ++i) {
    EXPECT_EQ("SSDT", acpi.Tables()[i].Signature);
    found.insert(acpi.Tables()[i].Address);
  }
  EXPECT_EQ(acpi.Tables().size() - own, found.size());
  EXPECT_TRUE(std::includes(found.begin(), found.end(), surely.begin(), surely.end()));
  EXPECT_TRUE(std::includes(possibly.begin(), possibly.end(), found.begin(), found.end()));
}

TEST_P(AcpiLinuxTest, SmbiosAndTheBoardIdentity) {
  TSmbiosBase smbios(*Rig->Rw);
  ASSERT_TRUE(smbios.Found());
  EXPECT_EQ(Machine->FirmwareLayout().SmbiosEntryAddress, smbios.EntryAddress());
  EXPECT_EQ(GetParam().BoardProduct, smbios.BoardProduct());

  TKorSpec spec(*Rig->Rw, *Rig->Config, true);
  EXPECT_EQ(GetParam().BoardProduct, spec.ModelName());
  EXPECT_EQ(GetParam().PStates, spec.AcpiPStates());
}

INSTANTIATE_TEST_SUITE_P(
    RealTrees, AcpiLinuxTest,
    testing::Values(TTreeCase{"desktop-h61", "desktop-2000-smbios.dat", "OptiPlex GX110", true},
                    TTreeCase{"desktop-p35-ich9r", "desktop-2002-smbios.dat", "D845PT", true},
                    TTreeCase{"desktop-785g-sb710", "laptop-2005-smbios.dat", "0C4708", true},
                    TTreeCase{"laptop-qm57-ecdt", "workstation-2007-smbios.dat", "0GH911", true}),
    [](const testing::TestParamInfo<TTreeCase>& info) {
      std::string name = info.param.Acpi;
      for (char& c : name) {
        if (c == '-') c = '_';
      }
      return name;
    });

}  // namespace

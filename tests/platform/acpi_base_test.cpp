// TAcpiBase on the simulated PC: generated firmware, hand-made odd tables, the real machines'
// tables laid out behind an RSDP of the test's own, and the genuine low memory of a 2000 desktop.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "platform/acpibase.h"
#include "sim/simmachine.h"
#include "tests/platform/acpi_testrig.h"

namespace {

using namespace platformtest;

std::vector<std::string> Signatures(const TAcpiBase& acpi) {
  std::vector<std::string> signatures;
  for (const TAcpiTableEntry& entry : acpi.Tables()) signatures.push_back(entry.Signature);
  return signatures;
}

std::vector<uint32_t> Addresses(const TAcpiBase& acpi) {
  std::vector<uint32_t> addresses;
  for (const TAcpiTableEntry& entry : acpi.Tables()) addresses.push_back(entry.Address);
  return addresses;
}

class AcpiBaseTest : public testing::Test {
 protected:
  TSimMachine Machine{RoomyMachine()};
  TRwRig Rig{Machine};
  TInitFile& Config = *Rig.Config;
};

TEST_F(AcpiBaseTest, WithoutAValidRsdpNothingIsListedOrChanged) {
  // A pointer whose checksum does not hold is no pointer.
  TBytes rsdp = MakeRsdp(0x200000);
  rsdp[8] ^= 1;
  Poke(Machine, 0xF0000, rsdp);
  Poke(Machine, 0x200000, MakeRsdt({}));

  TAcpiBase acpi(*Rig.Rw, Config);
  EXPECT_FALSE(acpi.RsdpFound());
  EXPECT_TRUE(acpi.Tables().empty());
  EXPECT_FALSE(acpi.HasTable("RSD "));
  EXPECT_FALSE(acpi.HasTable("RSDT"));
  EXPECT_FALSE(acpi.DsdtFound());
  EXPECT_EQ(0, Config.AcpiPmBase);
  EXPECT_EQ(9u, Config.AcpiSciIrq);
  EXPECT_EQ(0x66, Config.EC_SC);
  EXPECT_EQ(0x62, Config.EC_DATA);
  EXPECT_EQ(0xFEC00000u, Config.ApicAddress);
  EXPECT_EQ(0, Config.PmTimerPort);
  EXPECT_EQ(std::vector<std::string>{"Build RSDP"}, Rig.Debug.Lines);
}

TEST_F(AcpiBaseTest, Acpi10TablesAreWalkedAndTheirValuesStored) {
  TSimAcpiConfig firmware;
  firmware.Processors = 2;
  firmware.Pm1aEventBlock = 0x800;
  firmware.Pm1aControlBlock = 0x804;
  firmware.PmTimerBlock = 0x808;
  firmware.SciInterrupt = 20;
  // Two I/O APICs: the one serving interrupts from 0 on counts, wherever it is listed.
  firmware.IoApics = {{3, 0xFEC80000, 24}, {2, 0xFEC01000, 0}};
  firmware.Ec = TSimEcConfig{0x6C, 0x68, 1, 0, "\\_SB.EC0"};
  firmware.Ssdts = {{"Cpu0Ist", true, {{2400, 60000, 0x0A22}}, {}}};
  firmware.ExtraTables = {{"HPET", 1, TBytes(20, 0)}};
  const TSimFirmwareImage image = LayFirmware(Machine, {std::nullopt, firmware});
  Config.ApicAddress = 0;
  Config.ACPIDecodeSSDTEx = false;  // the scan has tests of its own

  TAcpiBase acpi(*Rig.Rw, Config);
  ASSERT_TRUE(acpi.RsdpFound());
  EXPECT_EQ(0, acpi.RsdpRevision());
  const std::vector<std::string> expected = {"RSD ", "RSDT", "FACP", "APIC", "ECDT",
                                             "HPET", "SSDT", "FACS", "DSDT"};
  ASSERT_EQ(expected, Signatures(acpi));
  EXPECT_EQ(image.RsdpAddress, acpi.Tables()[0].Address);
  EXPECT_EQ(20u, acpi.Tables()[0].Length);  // revision 0: no length field
  for (size_t i = 1; i < expected.size(); ++i) {
    const TSimFirmwareBlock* block = image.Find(expected[i]);
    ASSERT_NE(nullptr, block) << expected[i];
    EXPECT_EQ(block->Address, acpi.Tables()[i].Address) << expected[i];
    EXPECT_EQ(block->Bytes.size(), acpi.Tables()[i].Length) << expected[i];
  }

  EXPECT_EQ(0x800, Config.AcpiPmBase);
  EXPECT_EQ(20u, Config.AcpiSciIrq);
  EXPECT_EQ(0x808, Config.PmTimerPort);
  EXPECT_EQ(0, Config.PmTimerWidth);
  EXPECT_EQ(0xFEC01000u, Config.ApicAddress);
  EXPECT_EQ(0x6C, Config.EC_SC);
  EXPECT_EQ(0x68, Config.EC_DATA);
  EXPECT_EQ(1, Config.EC_AddressSpaceID);

  ASSERT_TRUE(acpi.DsdtFound());
  EXPECT_EQ(image.Find("DSDT")->Address, acpi.DsdtAddress());
  EXPECT_EQ("DSDT", acpi.DsdtHeader().Signature);
  EXPECT_EQ("KORSIM", acpi.DsdtHeader().OemId);
  EXPECT_EQ("SIMBOARD", acpi.DsdtHeader().OemTableId);
  EXPECT_EQ(image.Find("DSDT")->Bytes.size(), acpi.DsdtHeader().Length);
  EXPECT_TRUE(std::equal(acpi.DsdtHeader().Raw.begin(), acpi.DsdtHeader().Raw.end(),
                         image.Find("DSDT")->Bytes.begin()));

  std::vector<std::string> lines = {"Build RSDP"};
  for (size_t i = 1; i < expected.size(); ++i) lines.push_back("Build " + expected[i]);
  EXPECT_EQ(lines, Rig.Debug.Lines);

  EXPECT_TRUE(acpi.HasTable("HPET"));
  EXPECT_TRUE(acpi.HasTable("RSD "));
  EXPECT_FALSE(acpi.HasTable("XSDT"));
  EXPECT_FALSE(acpi.HasTable("MCFG"));
  EXPECT_FALSE(acpi.HasTable("HPE"));
}

TEST_F(AcpiBaseTest, Acpi20PointerGivesItsLengthFieldAndTheRsdtIsWalked) {
  TSimAcpiConfig firmware;
  firmware.RsdpRevision = 2;
  firmware.PmTimerExtended = true;
  const TSimFirmwareImage image = LayFirmware(Machine, {std::nullopt, firmware});
  // Only the first 20 bytes count: a broken extended checksum does not matter.
  Machine.Memory().WriteByte(image.RsdpAddress + 32, 0x5A);

  TAcpiBase acpi(*Rig.Rw, Config);
  ASSERT_TRUE(acpi.RsdpFound());
  EXPECT_EQ(2, acpi.RsdpRevision());
  EXPECT_EQ(36u, acpi.Tables()[0].Length);
  EXPECT_EQ(image.RsdtAddress, acpi.Tables()[1].Address);
  EXPECT_EQ(std::vector<std::string>({"RSD ", "RSDT", "FACP", "APIC", "FACS", "DSDT"}),
            Signatures(acpi));
  EXPECT_EQ(244u, acpi.Tables()[2].Length);
  EXPECT_EQ(0x100, Config.PmTimerWidth);
  EXPECT_EQ(0x408, Config.PmTimerPort);
}

TEST_F(AcpiBaseTest, APointerWithABadChecksumIsPassedOverForTheNextOne) {
  TSimAcpiConfig firmware;
  firmware.RsdpAddress = 0xF0200;
  const TSimFirmwareImage image = LayFirmware(Machine, {std::nullopt, firmware});
  TBytes stale = image.Find("RSDP")->Bytes;
  Put32(stale, 16, 0x12345670);
  Poke(Machine, 0xF0100, stale);

  TAcpiBase acpi(*Rig.Rw, Config);
  ASSERT_TRUE(acpi.RsdpFound());
  EXPECT_EQ(0xF0200u, acpi.Tables()[0].Address);
  EXPECT_EQ(image.RsdtAddress, acpi.Tables()[1].Address);
}

class AcpiSsdtScanTest : public AcpiBaseTest {
 protected:
  void SetUp() override {
    TSimAcpiConfig firmware;
    firmware.Ssdts = {{"Listed", true, {{1800, 40000, 9}}, {}},
                      {"Broken", false, {}, {}},
                      {"Hidden", false, {{2200, 60000, 11}}, {}}};
    Image = LayFirmware(Machine, {std::nullopt, firmware});
    Listed = Image.Find("SSDT", 0)->Address;
    Broken = Image.Find("SSDT", 1)->Address;
    Hidden = Image.Find("SSDT", 2)->Address;
    Machine.Memory().WriteByte(Broken + 9, Machine.Memory().ReadByte(Broken + 9) ^ 0x01);
    // "SSDT" with a length no table has, behind the last table.
    const TSimFirmwareBlock& last = Image.Blocks[Image.Blocks.size() - 2];
    TBytes junk = {'S', 'S', 'D', 'T', 8, 0, 0, 0};
    Poke(Machine, (last.Address + static_cast<uint32_t>(last.Bytes.size()) + 0x10F) & ~0xFu, junk);
  }

  TSimFirmwareImage Image;
  uint32_t Listed = 0;
  uint32_t Broken = 0;
  uint32_t Hidden = 0;
};

TEST_F(AcpiSsdtScanTest, ScanBehindTheDsdtAddsWholeSsdtsWithValidChecksums) {
  ASSERT_TRUE(Config.ACPIDecodeSSDTEx);
  TAcpiBase acpi(*Rig.Rw, Config);
  EXPECT_EQ(std::vector<std::string>(
                {"RSD ", "RSDT", "FACP", "APIC", "SSDT", "FACS", "DSDT", "SSDT", "SSDT"}),
            Signatures(acpi));
  const std::vector<uint32_t> addresses = Addresses(acpi);
  EXPECT_EQ(Listed, addresses[4]);
  // The listed one again, the broken one left out, the one only the scan sees.
  EXPECT_EQ(Listed, addresses[7]);
  EXPECT_EQ(Hidden, addresses[8]);
  EXPECT_EQ(Image.Find("SSDT", 2)->Bytes.size(), acpi.Tables()[8].Length);
}

TEST_F(AcpiSsdtScanTest, WithoutTheOptionOnlyListedSsdtsCount) {
  Config.ACPIDecodeSSDTEx = false;
  TAcpiBase acpi(*Rig.Rw, Config);
  EXPECT_EQ(std::vector<std::string>({"RSD ", "RSDT", "FACP", "APIC", "SSDT", "FACS", "DSDT"}),
            Signatures(acpi));
}

TEST_F(AcpiBaseTest, ImplausibleLengthsAreListedButNotReadAndLoopsEnd) {
  constexpr uint32_t rsdtAt = 0x200000;
  Poke(Machine, 0xF0000, MakeRsdp(rsdtAt));
  // Zero entries are skipped; the RSDT also names itself.
  Poke(Machine, rsdtAt, MakeRsdt({0, 0x200100, 0x200200, rsdtAt, 0x200400}));
  TBytes boot = MakeTable("BOOT", {});
  Put32(boot, 4, 20);
  Poke(Machine, 0x200100, boot);
  // An MADT whose I/O APIC would be taken if the table were read; its length field is 2 MiB.
  TBytes apic =
      MakeTable("APIC", {0, 0, 0xE0, 0xFE, 1, 0, 0, 0, 1, 12, 1, 0, 0, 0, 0x22, 0xFE, 0, 0, 0, 0});
  Put32(apic, 4, 0x200000);
  Poke(Machine, 0x200200, apic);
  // A FADT cut short after its DSDT field: nothing behind it is taken.
  TBytes fadt(44, 0);
  std::memcpy(fadt.data(), "FACP", 4);
  Put32(fadt, 4, 44);
  Poke(Machine, 0x200400, fadt);
  Config.ApicAddress = 0x11111111;

  TAcpiBase acpi(*Rig.Rw, Config);
  EXPECT_EQ(std::vector<std::string>({"RSD ", "RSDT", "BOOT", "APIC", "RSDT", "FACP"}),
            Signatures(acpi));
  EXPECT_EQ(20u, acpi.Tables()[2].Length);
  EXPECT_EQ(0x200000u, acpi.Tables()[3].Length);
  EXPECT_EQ(0x11111111u, Config.ApicAddress);
  EXPECT_EQ(9u, Config.AcpiSciIrq);
  EXPECT_EQ(0, Config.AcpiPmBase);
  EXPECT_EQ(0, Config.PmTimerPort);
  EXPECT_EQ(0u, acpi.DsdtAddress());
  EXPECT_EQ(std::vector<std::string>({"Build RSDP", "Build RSDT", "Build BOOT", "Build APIC",
                                      "Build RSDT", "Build FACP"}),
            Rig.Debug.Lines);
}

TEST_F(AcpiBaseTest, MadtWalkEndsAtAZeroLengthStructureAndAtTheTablesEnd) {
  Poke(Machine, 0xF0000, MakeRsdp(0x200000));
  Poke(Machine, 0x200000, MakeRsdt({0x200100, 0x200200}));
  // Local APIC address and flags, an I/O APIC at 0xFEC22000, a structure of length 0, and an I/O
  // APIC behind it that must not be reached.
  Poke(Machine, 0x200100,
       MakeTable("APIC", {0, 0,  0xE0, 0xFE, 1,    0,    0,    0,                 //
                          1, 12, 1,    0,    0x00, 0x20, 0xC2, 0xFE, 0, 0, 0, 0,  //
                          9, 0,                                                   //
                          1, 12, 2,    0,    0x00, 0x30, 0xC3, 0xFE, 0, 0, 0, 0}));
  // An I/O APIC structure cut off by the end of the table.
  Poke(Machine, 0x200200,
       MakeTable("APIC", {0, 0, 0xE0, 0xFE, 1, 0, 0, 0, 1, 12, 1, 0, 0x00, 0x40, 0xC4, 0xFE}));

  TAcpiBase acpi(*Rig.Rw, Config);
  EXPECT_EQ(0xFEC22000u, Config.ApicAddress);
}

// --- the real machines' tables ---

struct TRealTables {
  std::map<std::string, TBytes> Files;  // file name -> table
  const TBytes& Facp() const { return Files.at("facp.dat"); }
};

TRealTables LoadRealTables(const std::string& machine) {
  TRealTables tables;
  for (const auto& entry : fs::directory_iterator(kRealData + "/acpi/" + machine)) {
    tables.Files[entry.path().filename().string()] = ReadFileBytes(entry.path().string());
  }
  return tables;
}

// Lays the tables out as the machine had them: DSDT and FACS where its FADT says, the others
// behind an RSDT of the test's making at 0x7FE00000, and a revision-0 RSDP at 0xF0000.
// ssdtBehindDsdt: that file goes right behind the DSDT instead, not listed in the RSDT.
std::vector<uint32_t> LayRealTables(TSimMachine& machine, const TRealTables& tables,
                                    const std::string& ssdtBehindDsdt = "") {
  const TBytes& facp = tables.Facp();
  const uint32_t facsAt = Get32(&facp[36]);
  const uint32_t dsdtAt = Get32(&facp[40]);
  Poke(machine, facsAt, tables.Files.at("facs.dat"));
  Poke(machine, dsdtAt, tables.Files.at("dsdt.dat"));
  std::vector<uint32_t> listed;
  uint32_t cursor = 0x7FF00000;
  for (const auto& [name, bytes] : tables.Files) {
    if (name == "dsdt.dat" || name == "facs.dat") continue;
    if (name == ssdtBehindDsdt) {
      const uint32_t at =
          (dsdtAt + static_cast<uint32_t>(tables.Files.at("dsdt.dat").size()) + 0x2F) & ~0xFu;
      Poke(machine, at, bytes);
      continue;
    }
    Poke(machine, cursor, bytes);
    if (name == "facp.dat") {
      listed.insert(listed.begin(), cursor);
    } else {
      listed.push_back(cursor);
    }
    cursor = (cursor + static_cast<uint32_t>(bytes.size()) + 15) & ~0xFu;
  }
  Poke(machine, 0x7FE00000, MakeRsdt(listed));
  Poke(machine, 0xF0000, MakeRsdp(0x7FE00000));
  return listed;
}

class AcpiRealTablesTest : public testing::TestWithParam<const char*> {};

TEST_P(AcpiRealTablesTest, EveryTableIsListedAndTheFadtValuesStored) {
  TSimMachine machine(RoomyMachine());
  TRwRig rig(machine);
  TInitFile& config = *rig.Config;
  const TRealTables tables = LoadRealTables(GetParam());
  LayRealTables(machine, tables);
  config.ACPIDecodeSSDTEx = false;
  config.ApicAddress = 0;
  config.EC_SC = 0;
  config.EC_DATA = 0;
  config.AcpiSciIrq = 0;

  TAcpiBase acpi(*rig.Rw, config);
  ASSERT_TRUE(acpi.RsdpFound());
  std::multiset<std::string> expected = {"RSD ", "RSDT"};
  std::multiset<std::pair<std::string, uint32_t>> expectedLengths;
  for (const auto& [name, bytes] : tables.Files) {
    expected.insert(std::string(bytes.begin(), bytes.begin() + 4));
    expectedLengths.insert(
        {std::string(bytes.begin(), bytes.begin() + 4), static_cast<uint32_t>(bytes.size())});
  }
  const std::vector<std::string> signatures = Signatures(acpi);
  EXPECT_EQ(expected, std::multiset<std::string>(signatures.begin(), signatures.end()));
  std::multiset<std::pair<std::string, uint32_t>> lengths;
  for (size_t i = 2; i < acpi.Tables().size(); ++i) {
    lengths.insert({acpi.Tables()[i].Signature, acpi.Tables()[i].Length});
  }
  EXPECT_EQ(expectedLengths, lengths);

  const TBytes& facp = tables.Facp();
  EXPECT_EQ(Get32(&facp[56]) & 0xFFFF, config.AcpiPmBase);
  EXPECT_EQ(static_cast<uint32_t>(facp[46] | facp[47] << 8), config.AcpiSciIrq);
  EXPECT_EQ(Get32(&facp[76]) & 0xFFFF, config.PmTimerPort);
  EXPECT_EQ(Get32(&facp[112]) & 0x100, config.PmTimerWidth);
  EXPECT_EQ(0xFEC00000u, config.ApicAddress);  // every one of them has its I/O APIC there
  const bool withEcdt = tables.Files.count("ecdt.dat") != 0;
  EXPECT_EQ(withEcdt ? 0x66 : 0, config.EC_SC);
  EXPECT_EQ(withEcdt ? 0x62 : 0, config.EC_DATA);
  const TBytes& dsdt = tables.Files.at("dsdt.dat");
  EXPECT_TRUE(std::equal(acpi.DsdtHeader().Raw.begin(), acpi.DsdtHeader().Raw.end(), dsdt.begin()));
  EXPECT_EQ(Get32(&facp[40]), acpi.DsdtAddress());
}

INSTANTIATE_TEST_SUITE_P(RealMachines, AcpiRealTablesTest,
                         testing::Values("desktop-785g-sb710", "desktop-h61", "desktop-p35-ich9r",
                                         "laptop-qm57-ecdt"));

TEST(AcpiRealTables, TheScanFindsAnAmdBoardsSsdtBehindItsDsdt) {
  TSimMachine machine(RoomyMachine());
  TRwRig rig(machine);
  const TRealTables tables = LoadRealTables("desktop-785g-sb710");
  LayRealTables(machine, tables, "ssdt.dat");

  TAcpiBase acpi(*rig.Rw, *rig.Config);
  ASSERT_EQ("SSDT", acpi.Tables().back().Signature);
  EXPECT_EQ(tables.Files.at("ssdt.dat").size(), acpi.Tables().back().Length);
  const std::vector<std::string> signatures = Signatures(acpi);
  EXPECT_EQ(1, std::count(signatures.begin(), signatures.end(), "SSDT"));

  rig.Config->ACPIDecodeSSDTEx = false;
  TAcpiBase without(*rig.Rw, *rig.Config);
  EXPECT_FALSE(without.HasTable("SSDT"));
}

TEST(AcpiRealTables, LowMemoryOfA2000DesktopWithTablesOutsideIt) {
  TSimMachine machine(RoomyMachine());
  TRwRig rig(machine);
  Poke(machine, 0, ReadFileBytes(kRealData + "/physmem/desktop-2000-lowmem-0-1MiB.bin"));

  TAcpiBase acpi(*rig.Rw, *rig.Config);
  ASSERT_TRUE(acpi.RsdpFound());
  // The FACS and DSDT lie in memory the dump does not hold, which reads all ones here: listed with
  // the header found there, their length taken for garbage and not read.
  const std::string ones(4, '\xFF');
  EXPECT_EQ(std::vector<std::string>({"RSD ", "RSDT", "FACP", ones, ones}), Signatures(acpi));
  EXPECT_EQ(std::vector<uint32_t>({0xFD790, 0xFD7A4, 0xFD7CC, 0x0FEAE000, 0xFFFE6000}),
            Addresses(acpi));
  EXPECT_EQ(20u, acpi.Tables()[0].Length);
  EXPECT_EQ(40u, acpi.Tables()[1].Length);
  EXPECT_EQ(116u, acpi.Tables()[2].Length);
  EXPECT_EQ(0xFFFFFFFFu, acpi.Tables()[4].Length);
  EXPECT_FALSE(acpi.DsdtFound());
  EXPECT_EQ(0x800, rig.Config->AcpiPmBase);
  EXPECT_EQ(0x808, rig.Config->PmTimerPort);
  EXPECT_EQ(0, rig.Config->PmTimerWidth);
  EXPECT_EQ(9u, rig.Config->AcpiSciIrq);
  EXPECT_EQ("Build " + ones, rig.Debug.Lines.back());
}

}  // namespace

// The simulated board's firmware tables: byte-level checks of the generated ACPI and SMBIOS data,
// the AML encodings, and the board-file sections that describe them.
#include "sim/simfirmware.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "sim/acpigen.h"
#include "sim/simboard.h"
#include "sim/simmachine.h"

namespace {

namespace fs = std::filesystem;
using TBytes = std::vector<uint8_t>;

uint8_t Sum(const uint8_t* data, size_t length) {
  uint8_t sum = 0;
  for (size_t i = 0; i < length; ++i) sum = static_cast<uint8_t>(sum + data[i]);
  return sum;
}

uint32_t Get32(const TBytes& bytes, size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
         static_cast<uint32_t>(bytes[at + 3]) << 24;
}

uint64_t Get64(const TBytes& bytes, size_t at) {
  return Get32(bytes, at) | static_cast<uint64_t>(Get32(bytes, at + 4)) << 32;
}

size_t Find(const TBytes& bytes, std::string_view text, size_t from = 0) {
  const auto it =
      std::search(bytes.begin() + static_cast<long>(from), bytes.end(), text.begin(), text.end());
  return it == bytes.end() ? std::string::npos : static_cast<size_t>(it - bytes.begin());
}

TSimFirmwareConfig FullConfig(uint8_t rsdpRevision) {
  TSimAcpiConfig acpi;
  acpi.RsdpRevision = rsdpRevision;
  acpi.Processors = 2;
  acpi.PmTimerExtended = rsdpRevision == 2;
  acpi.Gpe0Block = 0x420;
  acpi.Gpe0BlockLength = 16;
  acpi.Ec = TSimEcConfig{};
  acpi.Ssdts = {{"CpuPm", true, {}, {}},
                {"Cpu0Ist", true, {{2667, 65000, 0x0A22}, {1600, 32000, 0x0616}}, {}},
                {"Hidden", false, {}, {0xA3}}};
  acpi.Aaft = TBytes{1, 2};
  acpi.ExtraTables = {{"HPET", 1, TBytes(20, 0)}};
  TSimSmbiosConfig smbios;
  smbios.BoardManufacturer = "Maker";
  smbios.BoardProduct = "Product";
  return {smbios, acpi};
}

class SimFirmwareImageTest : public testing::TestWithParam<uint8_t> {};

TEST_P(SimFirmwareImageTest, EveryChecksumHoldsAndEveryPointerLeadsToItsTable) {
  const uint8_t revision = GetParam();
  TSimFirmwareImage image;
  std::string error;
  ASSERT_TRUE(BuildSimFirmwareImage(FullConfig(revision), &image, &error)) << error;

  std::vector<uint32_t> listed;
  for (const TSimFirmwareBlock& block : image.Blocks) {
    const TBytes& b = block.Bytes;
    EXPECT_EQ(0u, block.Address % 16) << block.Name;
    EXPECT_GE(block.Address, 0xE0000u);
    EXPECT_LE(block.Address + b.size(), 0x100000u);
    if (block.Name == "RSDP" || block.Name == "_SM_" || block.Name == "SMBIOS table") continue;
    EXPECT_EQ(block.Name, std::string(b.begin(), b.begin() + 4));
    EXPECT_EQ(b.size(), Get32(b, 4)) << block.Name;
    if (block.Name != "FACS") {
      EXPECT_EQ(0, Sum(b.data(), b.size())) << block.Name;
    }
    if (block.Listed) listed.push_back(block.Address);
  }

  const TBytes& rsdp = image.Find("RSDP")->Bytes;
  EXPECT_EQ(0, std::memcmp(rsdp.data(), "RSD PTR ", 8));
  EXPECT_EQ(0, Sum(rsdp.data(), 20));
  EXPECT_EQ(revision, rsdp[15]);
  EXPECT_EQ(image.RsdtAddress, Get32(rsdp, 16));
  EXPECT_EQ(revision == 2 ? 36u : 20u, rsdp.size());
  if (revision == 2) {
    EXPECT_EQ(0, Sum(rsdp.data(), 36));
    EXPECT_EQ(36u, Get32(rsdp, 20));
    EXPECT_EQ(image.XsdtAddress, Get64(rsdp, 24));
  } else {
    EXPECT_EQ(nullptr, image.Find("XSDT"));
  }

  // The root tables name the FADT first and leave out the FACS, DSDT and the hidden SSDT.
  const TBytes& rsdt = image.Find("RSDT")->Bytes;
  std::vector<uint32_t> inRsdt;
  for (size_t at = 36; at < rsdt.size(); at += 4) inRsdt.push_back(Get32(rsdt, at));
  EXPECT_EQ(image.Find("FACP")->Address, inRsdt.front());
  std::sort(listed.begin(), listed.end());
  std::vector<uint32_t> sorted = inRsdt;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(listed, sorted);
  EXPECT_EQ(7u, inRsdt.size());  // FACP, APIC, ECDT, HPET, two SSDTs, AAFT
  if (revision == 2) {
    const TBytes& xsdt = image.Find("XSDT")->Bytes;
    std::vector<uint32_t> inXsdt;
    for (size_t at = 36; at < xsdt.size(); at += 8) inXsdt.push_back(Get32(xsdt, at));
    EXPECT_EQ(inRsdt, inXsdt);
  }

  const TBytes& fadt = image.Find("FACP")->Bytes;
  EXPECT_EQ(revision == 2 ? 244u : 116u, fadt.size());
  EXPECT_EQ(image.Find("FACS")->Address, Get32(fadt, 36));
  EXPECT_EQ(0u, image.Find("FACS")->Address % 64);
  EXPECT_EQ(image.Find("DSDT")->Address, Get32(fadt, 40));
  EXPECT_EQ(9u, fadt[46] | fadt[47] << 8);
  EXPECT_EQ(0x400u, Get32(fadt, 56));
  EXPECT_EQ(0x404u, Get32(fadt, 64));
  EXPECT_EQ(0x408u, Get32(fadt, 76));
  EXPECT_EQ(0x420u, Get32(fadt, 80));
  EXPECT_EQ(4, fadt[91]);
  EXPECT_EQ(16, fadt[92]);
  EXPECT_EQ(revision == 2 ? 0x100u : 0u, Get32(fadt, 112) & 0x100);
  if (revision == 2) {
    EXPECT_EQ(image.Find("DSDT")->Address, Get64(fadt, 140));
    EXPECT_EQ(0x408u, Get64(fadt, 212));  // X_PM_TMR_BLK address
    EXPECT_EQ(1, fadt[208]);              // in I/O space
    EXPECT_EQ(32, fadt[209]);
  }

  // Two processors, an I/O APIC at 0xFEC00000 from interrupt 0.
  const TBytes& madt = image.Find("APIC")->Bytes;
  EXPECT_EQ(0xFEE00000u, Get32(madt, 36));
  EXPECT_EQ(TBytes({0, 8, 1, 1}), TBytes(madt.begin() + 52, madt.begin() + 56));
  EXPECT_EQ(TBytes({1, 12, 2, 0, 0x00, 0x00, 0xC0, 0xFE, 0, 0, 0, 0}),
            TBytes(madt.begin() + 60, madt.begin() + 72));

  const TBytes& ecdt = image.Find("ECDT")->Bytes;
  EXPECT_EQ(1, ecdt[36]);
  EXPECT_EQ(0x66u, Get64(ecdt, 40));
  EXPECT_EQ(0x62u, Get64(ecdt, 52));
  EXPECT_NE(std::string::npos, Find(ecdt, std::string("\\_SB.PCI0.LPCB.EC0") + '\0'));

  // Only the performance-state table has _PSS; the hidden one carries the board's extra AML.
  EXPECT_EQ(std::string::npos, Find(image.Find("SSDT", 0)->Bytes, "_PSS"));
  EXPECT_NE(std::string::npos, Find(image.Find("SSDT", 1)->Bytes, "_PSS"));
  EXPECT_EQ(0xA3, image.Find("SSDT", 2)->Bytes.back());
  EXPECT_FALSE(image.Find("SSDT", 2)->Listed);
  EXPECT_EQ(TBytes({1, 2}),
            TBytes(image.Find("AAFT")->Bytes.begin() + 36, image.Find("AAFT")->Bytes.end()));

  const TBytes& entry = image.Find("_SM_")->Bytes;
  const TBytes& table = image.Find("SMBIOS table")->Bytes;
  ASSERT_EQ(31u, entry.size());
  EXPECT_EQ(0, Sum(entry.data(), 31));
  EXPECT_EQ(0, Sum(entry.data() + 0x10, 15));  // the "_DMI_" part
  EXPECT_EQ(0, std::memcmp(entry.data() + 0x10, "_DMI_", 5));
  EXPECT_EQ(table.size(), static_cast<size_t>(entry[0x16] | entry[0x17] << 8));
  EXPECT_EQ(image.SmbiosTableAddress, Get32(entry, 0x18));
  EXPECT_EQ(4, entry[0x1C]);
  EXPECT_EQ(0x24, entry[0x1E]);
  EXPECT_EQ(TBytes({127, 4, 3, 0, 0, 0}), TBytes(table.end() - 6, table.end()));
}

INSTANTIATE_TEST_SUITE_P(RsdpRevisions, SimFirmwareImageTest, testing::Values(0, 2));

TEST(SimFirmwareAml, PackageLengthsAndNames) {
  EXPECT_EQ(TBytes({0x01}), AmlPkgLength(0));
  EXPECT_EQ(TBytes({0x3F}), AmlPkgLength(62));
  EXPECT_EQ(TBytes({0x41, 0x04}), AmlPkgLength(63));  // 65 in two bytes
  EXPECT_EQ(TBytes({0x4F, 0xFF}), AmlPkgLength(4093));
  EXPECT_EQ(TBytes({0x81, 0x00, 0x01}), AmlPkgLength(4094));  // 4097 in three bytes

  EXPECT_EQ(TBytes({'_', 'P', 'S', 'S'}), AmlNameString("_PSS"));
  EXPECT_EQ(TBytes({0x5C, '_', 'S', '5', '_'}), AmlNameString("\\_S5"));
  EXPECT_EQ(TBytes({0x5C, 0x2E, '_', 'P', 'R', '_', 'C', 'P', 'U', '0'}),
            AmlNameString("\\_PR.CPU0"));
  EXPECT_EQ(TBytes({0x5C, 0x2F, 3, '_', 'S', 'B', '_', 'P', 'C', 'I', '0', 'E', 'C', '0', '_'}),
            AmlNameString("\\_SB.PCI0.EC0"));
  EXPECT_EQ(TBytes({0x0A, 0x07}), AmlInteger(7));
  EXPECT_EQ(TBytes({0x0B, 0x34, 0x12}), AmlInteger(0x1234));
  EXPECT_EQ(TBytes({0x00}), AmlInteger(0));
  EXPECT_EQ("CPU0", AmlProcessorName(0));
  EXPECT_EQ("CPUF", AmlProcessorName(15));
  EXPECT_EQ("CP10", AmlProcessorName(16));
}

TEST(SimFirmwareAml, PssPackageHoldsEveryStateAsSixDwords) {
  TSimAcpiConfig acpi;
  const TBytes ssdt =
      BuildSsdt(acpi, {"Ist", true, {{2667, 65000, 0x0A22}, {1600, 32000, 0x616}}, {}});
  const size_t name = Find(ssdt, "_PSS");
  ASSERT_NE(std::string::npos, name);
  size_t at = name + 4;
  ASSERT_EQ(0x12, ssdt[at]);  // PackageOp
  at += 1 + (ssdt[at + 1] >> 6) + 1;
  EXPECT_EQ(2, ssdt[at]);  // two states
  ++at;
  const uint32_t expected[2][6] = {{2667, 65000, 10, 10, 0x0A22, 0x0A22},
                                   {1600, 32000, 10, 10, 0x616, 0x616}};
  for (const auto& state : expected) {
    ASSERT_EQ(0x12, ssdt[at]);
    at += 1 + (ssdt[at + 1] >> 6) + 1;
    EXPECT_EQ(6, ssdt[at++]);
    for (uint32_t value : state) {
      EXPECT_EQ(0x0C, ssdt[at]);  // DWordPrefix
      EXPECT_EQ(value, Get32(ssdt, at + 1));
      at += 5;
    }
  }
}

// Board files in a temporary folder.
class SimFirmwareBoardTest : public testing::Test {
 protected:
  void SetUp() override {
    Dir = fs::path(testing::TempDir()) / ("korzem-fwboard-" + std::to_string(::getpid()));
    fs::create_directories(Dir);
  }
  void TearDown() override { fs::remove_all(Dir); }

  std::unique_ptr<TSimMachine> Load(const std::string& firmware, std::string* error) {
    const std::string path = (Dir / "fw-test.ini").string();
    std::ofstream(path) << "[Board]\nName=fw-test\nPmTimerPort=0x808\nPmTimerBits=32\n"
                           "[Processor]\nVendor=GenuineIntel\nSignature=0x10677\nCores=4\n"
                           "FrequencyMHz=2000\n"
                        << firmware;
    return CreateSimMachine(path, Dir.string(), error);
  }

  fs::path Dir;
};

TEST_F(SimFirmwareBoardTest, SectionsBuildTheTablesWithTheBoardsDefaults) {
  std::string error;
  auto machine = Load(
      "[ACPI]\nRsdpRevision=2\nOemId=BOARD\n[SSDT Hidden]\nListed=0\nPStates=2000:50000:0x0A20\n"
      "[ACPI Table MCFG]\nData=00 00 00 00 00 00 00 00\n[SMBIOS]\nBoardProduct=\"FW Board \"\n",
      &error);
  ASSERT_NE(nullptr, machine) << error;
  TSimMemory& memory = machine->Memory();
  TBytes rsdp(36);
  memory.Read(0xF0000, rsdp.data(), rsdp.size());
  ASSERT_EQ(0, std::memcmp(rsdp.data(), "RSD PTR ", 8));
  EXPECT_EQ(0, std::memcmp(rsdp.data() + 9, "BOARD ", 6));
  EXPECT_EQ(2, rsdp[15]);
  EXPECT_EQ(0, Sum(rsdp.data(), 36));

  // The FADT's timer follows [Board]; the MADT has a local APIC per core.
  TBytes rsdt(36 + 4 * 3);
  memory.Read(Get32(rsdp, 16), rsdt.data(), rsdt.size());
  EXPECT_EQ(48u, Get32(rsdt, 4));  // FACP, APIC, MCFG: the hidden SSDT is not listed
  TBytes fadt(244);
  memory.Read(Get32(rsdt, 36), fadt.data(), fadt.size());
  EXPECT_EQ(0x808u, Get32(fadt, 76));
  EXPECT_EQ(0x100u, Get32(fadt, 112) & 0x100);
  TBytes madt(44 + 4 * 8);
  memory.Read(Get32(rsdt, 40), madt.data(), madt.size());
  EXPECT_EQ(TBytes({0, 8, 3, 3}), TBytes(madt.begin() + 68, madt.begin() + 72));
  TBytes mcfg(4);
  memory.Read(Get32(rsdt, 44), mcfg.data(), mcfg.size());
  EXPECT_EQ(TBytes({'M', 'C', 'F', 'G'}), mcfg);

  TBytes entry(31);
  memory.Read(0xF0100, entry.data(), entry.size());
  EXPECT_EQ(0, Sum(entry.data(), 31));
  TBytes table(entry[0x16] | entry[0x17] << 8);
  memory.Read(Get32(entry, 0x18), table.data(), table.size());
  EXPECT_NE(std::string::npos, Find(table, std::string("FW Board ") + '\0'));
}

TEST_F(SimFirmwareBoardTest, MistakesAreReportedWithSectionAndKey) {
  struct TCase {
    const char* Firmware;
    const char* Error;
  };
  const TCase cases[] = {
      {"[ACPI]\nFoo=1\n", "[ACPI] Foo: unknown key"},
      {"[ACPI Foo]\nBar=1\n", "[ACPI Foo]: unknown section"},
      {"[SSDT Cpu0]\nListed=1\n", "[SSDT Cpu0]: needs an [ACPI] section"},
      {"[ACPI]\nRsdpRevision=1\n", "[ACPI] RsdpRevision: must be 0 (ACPI 1.0) or 2"},
      {"[ACPI]\n[SSDT Cpu0]\nPStates=2667:65000\n", "[SSDT Cpu0] PStates: expected MHZ:"},
      {"[ACPI]\n[SSDT TooLongName]\n", "[SSDT TooLongName] OemTableId: longer than 8"},
      {"[ACPI]\n[ACPI Table FACP]\nData=00\n", "the firmware makes its FACP itself"},
      {"[ACPI]\n[ACPI Table HPET]\nData=0G\n", "[ACPI Table HPET] Data: expected hex bytes"},
      {"[ACPI]\nEcDataPort=0x62\n", "[ACPI] EcDataPort: needs EcCommandPort"},
      {"[ACPI]\nIoApic1=2,0xFEC00000\n", "[ACPI] IoApic1: expected ID,ADDRESS,GSIBASE"},
      {"[ACPI]\nOemId=TOOLONG\n", "[ACPI] OemId: longer than 6"},
      {"[SMBIOS]\nVersion=3.0\n", "[SMBIOS] Version: '3.0' is not a 2.x SMBIOS version"},
      {"[ACPI]\nRsdpAddress=0xE0000\n", " at 0xE0000 overlaps "},
      {"[ACPI]\nTableBase=0xFFF00\n", "does not fit the BIOS area"},
      {"[ACPI]\nRsdpAddress=0xF0008\n", "RSDP address 0xF0008 is not 16-byte aligned"},
      {"[SMBIOS]\nEntryAddress=0xE0000\n", "must lie on a 16-byte boundary from 0xF0000 on"},
  };
  for (const TCase& c : cases) {
    std::string error;
    EXPECT_EQ(nullptr, Load(c.Firmware, &error)) << c.Firmware;
    EXPECT_NE(std::string::npos, error.find(c.Error)) << c.Firmware << " gave: " << error;
  }
}

TEST(SimFirmwareBoard, TheP35BoardCarriesItsTablesInTheBiosArea) {
  std::string error;
  auto machine =
      CreateSimMachine("p35-core2", std::string(KORZEM_SOURCE_DIR) + "/data/boards", &error);
  ASSERT_NE(nullptr, machine) << error;
  TBytes rsdp(20);
  machine->Memory().Read(0xF0000, rsdp.data(), rsdp.size());
  EXPECT_EQ(0, std::memcmp(rsdp.data(), "RSD PTR ", 8));
  EXPECT_EQ(0, std::memcmp(rsdp.data() + 9, "LQSYS ", 6));
  EXPECT_EQ(0, Sum(rsdp.data(), 20));
  EXPECT_EQ(0, rsdp[15]);
  TBytes entry(31);
  machine->Memory().Read(0xF0100, entry.data(), entry.size());
  EXPECT_EQ(0, std::memcmp(entry.data(), "_SM_", 4));
  EXPECT_EQ(0, Sum(entry.data(), 31));
}

}  // namespace

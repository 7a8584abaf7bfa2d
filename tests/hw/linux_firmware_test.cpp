// The BIOS area and table region rebuilt from exported firmware tables, checked the way the
// program's ACPI and SMBIOS readers walk them, on tables of real machines.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "hw/linux/firmwareimage.h"
#include "hw/linux/sysfiles.h"

namespace {

using TBytes = std::vector<uint8_t>;

const std::string kRealData = KORZEM_REAL_DATA_DIR;

TBytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return TBytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t Get16(const uint8_t* p) {
  return p[0] | p[1] << 8;
}
uint32_t Get32(const uint8_t* p) {
  return Get16(p) | Get16(p + 2) << 16;
}
uint64_t Get64(const uint8_t* p) {
  return Get32(p) | static_cast<uint64_t>(Get32(p + 4)) << 32;
}

// The ACPI tables of one real machine, as /sys/firmware/acpi/tables would hold them.
std::map<std::string, TBytes> AcpiTables(const std::string& machine) {
  std::map<std::string, TBytes> tables;
  std::vector<std::string> names;
  std::string error;
  EXPECT_TRUE(ListDirectory(kRealData + "/acpi/" + machine, true, &names, &error)) << error;
  for (const std::string& name : names)
    tables[name] = ReadBytes(kRealData + "/acpi/" + machine + "/" + name);
  return tables;
}

// The entry point and structure table of a real SMBIOS image (file offset 0 = 0xE0000).
void SmbiosFromImage(const std::string& file, TBytes* entry, TBytes* table) {
  const TBytes image = ReadBytes(kRealData + "/smbios/" + file);
  ASSERT_GE(image.size(), 0x20u);
  ASSERT_EQ(0, std::memcmp(image.data(), "_SM_", 4));
  entry->assign(image.begin(), image.begin() + image[5]);
  const uint32_t offset = Get32(&image[0x18]) - 0xE0000;
  const uint32_t length = Get16(&image[0x16]);
  ASSERT_LE(offset + length, image.size());
  table->assign(image.begin() + offset, image.begin() + offset + length);
}

// Physical memory as the layout presents it; reads outside its regions fail the test.
class TLayoutMemory {
 public:
  explicit TLayoutMemory(const TFirmwareLayout& layout) : Layout_(layout) {}
  const uint8_t* At(uint64_t address, size_t length) const {
    for (const TMemoryRegion& region : Layout_.Regions) {
      if (address >= region.Base && address + length <= region.Base + region.Bytes.size()) {
        return &region.Bytes[address - region.Base];
      }
    }
    ADD_FAILURE() << "no memory at 0x" << std::hex << address;
    static const uint8_t zeros[65536] = {};
    return zeros;
  }
  // The program's search: 16-byte steps over [start, start + length).
  uint32_t Find(uint32_t start, uint32_t length, const char* anchor) const {
    for (uint32_t at = start; at + 16 <= start + length; at += 16) {
      if (std::memcmp(At(at, 16), anchor, std::strlen(anchor)) == 0) return at;
    }
    return 0;
  }

 private:
  const TFirmwareLayout& Layout_;
};

uint8_t Sum(const uint8_t* p, size_t n) {
  return ByteSum(p, n);
}

class TRebuiltAcpiTest : public testing::TestWithParam<const char*> {};

TEST_P(TRebuiltAcpiTest, RootTablesAndFadtPointersLeadToEveryTable) {
  const std::map<std::string, TBytes> files = AcpiTables(GetParam());
  TFirmwareSource source;
  for (const auto& [name, bytes] : files) source.AcpiTables.push_back(bytes);
  const TFirmwareLayout layout = BuildFirmwareLayout(source);
  ASSERT_EQ(2u, layout.Regions.size());
  EXPECT_TRUE(layout.Problems.empty());
  const TLayoutMemory memory(layout);
  const TBytes& facp = files.at("facp.dat");
  const bool acpi2 = facp[8] >= 3;

  // RSDP: found by the program's search, checksums valid, revision by the FADT's age.
  const uint32_t rsdpAt = memory.Find(kBiosAreaBase, kBiosAreaSize, "RSD PTR ");
  ASSERT_NE(0u, rsdpAt);
  EXPECT_EQ(layout.RsdpAddress, rsdpAt);
  const uint8_t* rsdp = memory.At(rsdpAt, 36);
  EXPECT_EQ(0, Sum(rsdp, 20));
  EXPECT_EQ(acpi2 ? 2 : 0, rsdp[15]);
  EXPECT_EQ(0, std::memcmp(rsdp + 9, facp.data() + 10, 6));  // OEM id
  if (acpi2) {
    EXPECT_EQ(36u, Get32(rsdp + 20));
    EXPECT_EQ(0, Sum(rsdp, 36));
    EXPECT_EQ(layout.XsdtAddress, Get64(rsdp + 24));
  }

  // RSDT lists every table but DSDT and FACS, each copied unchanged (the FADT aside).
  const uint32_t rsdtAt = Get32(rsdp + 16);
  const uint8_t* rsdt = memory.At(rsdtAt, 36);
  ASSERT_EQ(0, std::memcmp(rsdt, "RSDT", 4));
  const uint32_t rsdtLength = Get32(rsdt + 4);
  rsdt = memory.At(rsdtAt, rsdtLength);
  EXPECT_EQ(0, Sum(rsdt, rsdtLength));
  std::multiset<std::string> listed;
  std::vector<uint32_t> entries;
  for (uint32_t at = 36; at < rsdtLength; at += 4) entries.push_back(Get32(rsdt + at));
  for (uint32_t address : entries) {
    const uint8_t* header = memory.At(address, 36);
    const uint32_t length = Get32(header + 4);
    const std::string signature(reinterpret_cast<const char*>(header), 4);
    listed.insert(signature);
    if (signature == "FACP") continue;
    bool same = false;
    for (const auto& [name, bytes] : files) {
      same = same || (bytes.size() == length &&
                      std::memcmp(bytes.data(), memory.At(address, length), length) == 0);
    }
    EXPECT_TRUE(same) << signature << " at 0x" << std::hex << address;
  }
  std::multiset<std::string> expected;
  for (const auto& [name, bytes] : files) {
    const std::string signature(bytes.begin(), bytes.begin() + 4);
    if (signature != "DSDT" && signature != "FACS") expected.insert(signature);
  }
  EXPECT_EQ(expected, listed);

  if (acpi2) {
    const uint8_t* xsdt = memory.At(layout.XsdtAddress, 36);
    ASSERT_EQ(0, std::memcmp(xsdt, "XSDT", 4));
    const uint32_t length = Get32(xsdt + 4);
    xsdt = memory.At(layout.XsdtAddress, length);
    EXPECT_EQ(0, Sum(xsdt, length));
    ASSERT_EQ(entries.size(), (length - 36) / 8);
    for (size_t i = 0; i < entries.size(); ++i) EXPECT_EQ(entries[i], Get64(xsdt + 36 + 8 * i));
  } else {
    EXPECT_EQ(0u, layout.XsdtAddress);
  }

  // FADT: checksum fixed, DSDT and FACS pointers lead to their bytes, all else unchanged.
  const uint8_t* fadt = nullptr;
  for (uint32_t address : entries) {
    if (std::memcmp(memory.At(address, 4), "FACP", 4) == 0) fadt = memory.At(address, facp.size());
  }
  ASSERT_NE(nullptr, fadt);
  EXPECT_EQ(0, Sum(fadt, facp.size()));
  const TBytes& dsdt = files.at("dsdt.dat");
  const TBytes& facs = files.at("facs.dat");
  EXPECT_EQ(0, std::memcmp(memory.At(Get32(fadt + 40), dsdt.size()), dsdt.data(), dsdt.size()));
  EXPECT_EQ(0, std::memcmp(memory.At(Get32(fadt + 36), 64), facs.data(), 64));
  EXPECT_EQ(0u, Get32(fadt + 36) % 64);
  if (facp.size() >= 148) {
    EXPECT_EQ(Get32(fadt + 40), Get64(fadt + 140));
    EXPECT_EQ(Get32(fadt + 36), Get64(fadt + 132));
  }
  for (size_t i = 0; i < facp.size(); ++i) {
    const bool patched = i == 9 || (i >= 36 && i < 44) || (i >= 132 && i < 148);
    if (!patched) {
      EXPECT_EQ(facp[i], fadt[i]) << "FADT byte " << i;
    }
  }

  // The area behind the DSDT that the program scans for further SSDTs is readable.
  memory.At(Get32(fadt + 40) + dsdt.size(), 0x10000);
}

INSTANTIATE_TEST_SUITE_P(RealMachines, TRebuiltAcpiTest,
                         testing::Values("desktop-785g-sb710", "desktop-h61", "desktop-p35-ich9r",
                                         "laptop-qm57-ecdt"));

class TRebuiltSmbiosTest : public testing::TestWithParam<const char*> {};

TEST_P(TRebuiltSmbiosTest, EntryPointLeadsToTheTable) {
  TFirmwareSource source;
  SmbiosFromImage(GetParam(), &source.SmbiosEntryPoint, &source.SmbiosTable);
  const TFirmwareLayout layout = BuildFirmwareLayout(source);
  const TLayoutMemory memory(layout);
  EXPECT_EQ(0u, layout.RsdpAddress);

  // Where the program looks: 0xF0000, 64 KiB, 16-byte steps.
  const uint32_t at = memory.Find(0xF0000, 0x10000, "_SM_");
  ASSERT_NE(0u, at);
  const uint8_t* entry = memory.At(at, 0x20);
  const size_t length = entry[5];
  EXPECT_EQ(source.SmbiosEntryPoint.size(), length);
  EXPECT_EQ(0, Sum(entry, length));
  EXPECT_EQ(0, std::memcmp(entry + 0x10, "_DMI_", 5));
  EXPECT_EQ(0, Sum(entry + 0x10, 0x0F));
  EXPECT_EQ(source.SmbiosTable.size(), Get16(entry + 0x16));
  EXPECT_EQ(0, std::memcmp(memory.At(Get32(entry + 0x18), source.SmbiosTable.size()),
                           source.SmbiosTable.data(), source.SmbiosTable.size()));
  // Everything but the address and checksums as the firmware wrote it.
  EXPECT_EQ(0, std::memcmp(entry + 5, source.SmbiosEntryPoint.data() + 5, 0x15 - 5));
  EXPECT_EQ(0, std::memcmp(entry + 0x1C, source.SmbiosEntryPoint.data() + 0x1C, 3));
}

INSTANTIATE_TEST_SUITE_P(RealMachines, TRebuiltSmbiosTest,
                         testing::Values("desktop-2000-smbios.dat", "desktop-2002-smbios.dat",
                                         "laptop-2005-smbios.dat", "workstation-2007-smbios.dat"));

TEST(RebuiltFirmwareTest, SixtyFourBitEntryPointAlsoGetsAThirtyTwoBitOne) {
  // A 3.0 entry point for a real table, as on a UEFI machine; the firmware's own 2.3 entry point
  // tells what the derived one must count.
  TBytes original;
  TFirmwareSource source;
  SmbiosFromImage("laptop-2005-smbios.dat", &original, &source.SmbiosTable);
  TBytes entry3(0x18, 0);
  std::memcpy(entry3.data(), "_SM3_", 5);
  entry3[6] = 0x18;
  entry3[7] = 3;
  entry3[8] = 0;
  entry3[0x0A] = 1;
  entry3[0x0C] = static_cast<uint8_t>(source.SmbiosTable.size());
  entry3[0x0D] = static_cast<uint8_t>(source.SmbiosTable.size() >> 8);
  entry3[0x10] = 0x44;  // the firmware's address, to be replaced
  source.SmbiosEntryPoint = entry3;
  const TFirmwareLayout layout = BuildFirmwareLayout(source);
  const TLayoutMemory memory(layout);

  const uint32_t at3 = memory.Find(kBiosAreaBase, kBiosAreaSize, "_SM3_");
  ASSERT_NE(0u, at3);
  const uint8_t* e3 = memory.At(at3, 0x18);
  EXPECT_EQ(0, Sum(e3, 0x18));
  EXPECT_EQ(layout.SmbiosTableAddress, Get64(e3 + 0x10));

  const uint32_t at = memory.Find(0xF0000, 0x10000, "_SM_");
  ASSERT_NE(0u, at);
  const uint8_t* e = memory.At(at, 0x1F);
  EXPECT_EQ(0x1F, e[5]);
  EXPECT_EQ(0, Sum(e, 0x1F));
  EXPECT_EQ(0, Sum(e + 0x10, 0x0F));
  EXPECT_EQ(3, e[6]);
  EXPECT_EQ(0, e[7]);
  EXPECT_EQ(0x30, e[0x1E]);
  EXPECT_EQ(Get16(&original[8]), Get16(e + 8));        // largest structure
  EXPECT_EQ(Get16(&original[0x1C]), Get16(e + 0x1C));  // number of structures
  EXPECT_EQ(source.SmbiosTable.size(), Get16(e + 0x16));
  EXPECT_EQ(layout.SmbiosTableAddress, Get32(e + 0x18));
}

TEST(RebuiltFirmwareTest, UnusableInputsAreLeftOutWithAReason) {
  TFirmwareSource source;
  EXPECT_TRUE(BuildFirmwareLayout(source).Regions.empty());

  TBytes apic = ReadBytes(kRealData + "/acpi/desktop-h61/apic.dat");
  TBytes truncated(apic.begin(), apic.begin() + 100);  // header says 114
  source.AcpiTables = {truncated, TBytes{'X', 'S'}};
  source.SmbiosEntryPoint = TBytes(0x1F, 0);
  source.SmbiosTable = TBytes(16, 0);
  TFirmwareLayout layout = BuildFirmwareLayout(source);
  EXPECT_TRUE(layout.Regions.empty());
  ASSERT_EQ(3u, layout.Problems.size());
  EXPECT_EQ("ACPI table APIC left out: length field 114, 100 bytes read", layout.Problems[0]);
  EXPECT_EQ("ACPI table of 2 bytes left out", layout.Problems[1]);
  EXPECT_EQ("SMBIOS entry point not recognised", layout.Problems[2]);

  // Tables without a FADT still get an RSDT (revision 0 RSDP); a stored RSDT is rebuilt, not kept.
  TBytes rsdt(36, 0);
  std::memcpy(rsdt.data(), "RSDT", 4);
  rsdt[4] = 36;
  source = TFirmwareSource{};
  source.AcpiTables = {rsdt, apic};
  layout = BuildFirmwareLayout(source);
  ASSERT_EQ(2u, layout.Tables.size());
  EXPECT_EQ("RSDT", layout.Tables[0].Signature);
  EXPECT_EQ("APIC", layout.Tables[1].Signature);
  const TLayoutMemory memory(layout);
  EXPECT_EQ(0, memory.At(layout.RsdpAddress, 20)[15]);
  EXPECT_EQ(layout.Tables[1].Address, Get32(memory.At(layout.RsdtAddress + 36, 4)));
}

TEST(RebuiltFirmwareTest, PmTimerFromTheFadt) {
  const TPmTimerInfo h61 = PmTimerFromFadt(ReadBytes(kRealData + "/acpi/desktop-h61/facp.dat"));
  EXPECT_EQ(0x408, h61.Port);
  EXPECT_FALSE(h61.Extended);
  const TPmTimerInfo sb710 =
      PmTimerFromFadt(ReadBytes(kRealData + "/acpi/desktop-785g-sb710/facp.dat"));
  EXPECT_EQ(0x4008, sb710.Port);
  EXPECT_TRUE(sb710.Extended);

  // Only the generic address filled in: taken when it is in I/O space.
  TBytes fadt = ReadBytes(kRealData + "/acpi/laptop-qm57-ecdt/facp.dat");
  std::memset(&fadt[76], 0, 4);
  EXPECT_EQ(0x1008, PmTimerFromFadt(fadt).Port);
  fadt[208] = 0;  // system memory
  EXPECT_EQ(0, PmTimerFromFadt(fadt).Port);
  // A hardware-reduced machine has no PM timer whatever the block says.
  fadt = ReadBytes(kRealData + "/acpi/laptop-qm57-ecdt/facp.dat");
  fadt[112 + 2] |= 0x10;
  EXPECT_EQ(0, PmTimerFromFadt(fadt).Port);
  EXPECT_EQ(0, PmTimerFromFadt(TBytes(60, 0)).Port);
}

TEST(RebuiltFirmwareTest, BiosAreaProbeNeedsBothEntryPoints) {
  const TBytes low = ReadBytes(kRealData + "/physmem/desktop-2000-lowmem-0-1MiB.bin");
  ASSERT_EQ(0x100000u, low.size());
  EXPECT_TRUE(BiosAreaHasEntryPoints(&low[kBiosAreaBase], kBiosAreaSize));

  TBytes area(low.begin() + kBiosAreaBase, low.end());
  for (size_t at = 0; at + 16 <= area.size(); at += 16) {
    if (std::memcmp(&area[at], "_SM_", 4) == 0) area[at + 4] ^= 1;  // checksum broken
  }
  EXPECT_FALSE(BiosAreaHasEntryPoints(area.data(), area.size()));
  EXPECT_FALSE(BiosAreaHasEntryPoints(TBytes(kBiosAreaSize, 0).data(), kBiosAreaSize));
}

}  // namespace

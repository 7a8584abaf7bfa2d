#include "sim/simfirmware.h"

#include <algorithm>
#include <string_view>

#include "base/inifile.h"
#include "base/textfmt.h"
#include "sim/acpigen.h"
#include "sim/sectionreader.h"
#include "sim/simmachine.h"
#include "sim/smbiosgen.h"

namespace {

constexpr uint32_t kBiosAreaStart = 0xE0000;
constexpr uint32_t kBiosAreaEnd = 0x100000;
constexpr uint32_t kSmbiosAreaStart = 0xF0000;  // where programs search for "_SM_"
constexpr uint32_t kParagraph = 16;
constexpr uint32_t kFacsAlignment = 64;
constexpr size_t kRsdtEntrySize = 4;
constexpr size_t kXsdtEntrySize = 8;
constexpr size_t kHeaderSize = 36;

uint64_t AlignUp(uint64_t value, uint64_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

// Tables the generator makes itself; a board cannot list them as further tables.
constexpr std::string_view kGeneratedSignatures[] = {"RSDT", "XSDT", "FACP", "FACS", "DSDT",
                                                     "SSDT", "APIC", "ECDT", "AAFT"};

bool LayAcpi(const TSimAcpiConfig& config, TSimFirmwareImage* image, std::string* error) {
  if (config.TableBase % kParagraph != 0) {
    *error = "ACPI table base " + HexMin(config.TableBase) + " is not 16-byte aligned";
    return false;
  }
  const bool acpi2 = config.RsdpRevision >= 2;
  std::vector<TSimFirmwareBlock>& blocks = image->Blocks;
  uint64_t cursor = config.TableBase;
  // Placed in this order, so that the SSDTs follow the DSDT closely, as the scan behind the DSDT
  // expects; all on 16-byte boundaries, which is where searches look.
  auto place = [&](std::string name, TAcpiBytes bytes, bool listed, uint64_t alignment) {
    cursor = AlignUp(cursor, alignment);
    blocks.push_back({std::move(name), static_cast<uint32_t>(cursor), std::move(bytes), listed});
    cursor += blocks.back().Bytes.size();
    return blocks.size() - 1;
  };

  size_t listedCount = 2 + (config.Ec ? 1 : 0) + config.ExtraTables.size() + (config.Aaft ? 1 : 0);
  for (const TSimSsdtConfig& ssdt : config.Ssdts) listedCount += ssdt.Listed ? 1 : 0;
  const size_t rsdt =
      place("RSDT", TAcpiBytes(kHeaderSize + kRsdtEntrySize * listedCount), false, kParagraph);
  const size_t xsdt = acpi2 ? place("XSDT", TAcpiBytes(kHeaderSize + kXsdtEntrySize * listedCount),
                                    false, kParagraph)
                            : 0;
  const size_t fadt = place("FACP", BuildFadt(config, 0, 0), true, kParagraph);
  const size_t facs = place("FACS", BuildFacs(config), false, kFacsAlignment);
  const size_t dsdt = place("DSDT", BuildDsdt(config), false, kParagraph);
  for (const TSimSsdtConfig& ssdt : config.Ssdts) {
    place("SSDT", BuildSsdt(config, ssdt), ssdt.Listed, kParagraph);
  }
  place("APIC", BuildMadt(config), true, kParagraph);
  if (config.Ec) place("ECDT", BuildEcdt(config, *config.Ec), true, kParagraph);
  for (const TSimExtraTable& table : config.ExtraTables) {
    place(table.Signature, BuildExtraTable(config, table), true, kParagraph);
  }
  if (config.Aaft) place("AAFT", BuildAaft(config, *config.Aaft), true, kParagraph);

  // The tables with pointers, now that every address is known. The FADT comes first in the root
  // tables, as firmware lists it.
  blocks[fadt].Bytes = BuildFadt(config, blocks[facs].Address, blocks[dsdt].Address);
  std::vector<uint32_t> listed{blocks[fadt].Address};
  for (const TSimFirmwareBlock& block : blocks) {
    if (block.Listed && block.Name != "FACP" && block.Name != "SSDT" && block.Name != "AAFT") {
      listed.push_back(block.Address);
    }
  }
  for (const TSimFirmwareBlock& block : blocks) {
    if (block.Listed && block.Name == "SSDT") listed.push_back(block.Address);
  }
  for (const TSimFirmwareBlock& block : blocks) {
    if (block.Name == "AAFT") listed.push_back(block.Address);
  }
  blocks[rsdt].Bytes = BuildRsdt(config, listed);
  image->RsdtAddress = blocks[rsdt].Address;
  if (acpi2) {
    blocks[xsdt].Bytes = BuildXsdt(config, listed);
    image->XsdtAddress = blocks[xsdt].Address;
  }

  if (config.RsdpAddress % kParagraph != 0) {
    *error = "RSDP address " + HexMin(config.RsdpAddress) + " is not 16-byte aligned";
    return false;
  }
  blocks.push_back(
      {"RSDP", config.RsdpAddress, BuildRsdp(config, image->RsdtAddress, image->XsdtAddress)});
  image->RsdpAddress = config.RsdpAddress;
  return true;
}

bool LaySmbios(const TSimSmbiosConfig& config, TSimFirmwareImage* image, std::string* error) {
  if (config.EntryAddress % kParagraph != 0 || config.EntryAddress < kSmbiosAreaStart) {
    *error = "SMBIOS entry point " + HexMin(config.EntryAddress) +
             " must lie on a 16-byte boundary from 0xF0000 on";
    return false;
  }
  const TSmbiosTableInfo table = BuildSmbiosTable(config);
  const uint32_t tableAddress =
      config.TableAddress != 0 ? config.TableAddress
                               : static_cast<uint32_t>(AlignUp(config.EntryAddress + 0x1F, 16));
  image->Blocks.push_back({"SMBIOS table", tableAddress, table.Bytes});
  image->Blocks.push_back(
      {"_SM_", config.EntryAddress, BuildSmbiosEntryPoint(config, table, tableAddress)});
  image->SmbiosEntryAddress = config.EntryAddress;
  image->SmbiosTableAddress = tableAddress;
  return true;
}

bool CheckPlacement(const TSimFirmwareImage& image, std::string* error) {
  for (const TSimFirmwareBlock& block : image.Blocks) {
    if (block.Address < kBiosAreaStart ||
        uint64_t{block.Address} + block.Bytes.size() > kBiosAreaEnd) {
      *error = block.Name + " at " + HexMin(block.Address) + " (" +
               std::to_string(block.Bytes.size()) + " bytes) does not fit the BIOS area";
      return false;
    }
  }
  std::vector<const TSimFirmwareBlock*> sorted;
  for (const TSimFirmwareBlock& block : image.Blocks) sorted.push_back(&block);
  std::sort(sorted.begin(), sorted.end(),
            [](const TSimFirmwareBlock* a, const TSimFirmwareBlock* b) {
              return a->Address < b->Address;
            });
  for (size_t i = 1; i < sorted.size(); ++i) {
    if (uint64_t{sorted[i - 1]->Address} + sorted[i - 1]->Bytes.size() > sorted[i]->Address) {
      *error = sorted[i - 1]->Name + " at " + HexMin(sorted[i - 1]->Address) + " overlaps " +
               sorted[i]->Name + " at " + HexMin(sorted[i]->Address);
      return false;
    }
  }
  return true;
}

// --- board file ---

using TReader = TSimSectionReader;

constexpr std::string_view kSmbiosKeys[] = {
    "Version",           "EntryAddress",       "TableAddress",  "BiosVendor",    "BiosVersion",
    "BiosDate",          "SystemManufacturer", "SystemProduct", "SystemVersion", "SystemSerial",
    "BoardManufacturer", "BoardProduct",       "BoardVersion",  "BoardSerial"};

bool ReadSmbiosSection(const TReader& reader, TSimSmbiosConfig* smbios) {
  if (!reader.CheckKeys(kSmbiosKeys)) return false;
  if (reader.Has("Version")) {
    const std::string text = reader.Text("Version");
    const std::vector<std::string_view> parts = TReader::SplitItems(text, ".");
    uint64_t major = 0, minor = 0;
    if (parts.size() != 2 || !TReader::ParseNumber(parts[0], &major) ||
        !TReader::ParseNumber(parts[1], &minor) || major < 2 || major > 2 || minor > 9) {
      return reader.Fail("Version", "'" + text + "' is not a 2.x SMBIOS version");
    }
    smbios->Major = static_cast<uint8_t>(major);
    smbios->Minor = static_cast<uint8_t>(minor);
  }
  return reader.Number("EntryAddress", &smbios->EntryAddress) &&
         reader.Number("TableAddress", &smbios->TableAddress) &&
         reader.String("BiosVendor", &smbios->BiosVendor) &&
         reader.String("BiosVersion", &smbios->BiosVersion) &&
         reader.String("BiosDate", &smbios->BiosDate) &&
         reader.String("SystemManufacturer", &smbios->SystemManufacturer) &&
         reader.String("SystemProduct", &smbios->SystemProduct) &&
         reader.String("SystemVersion", &smbios->SystemVersion) &&
         reader.String("SystemSerial", &smbios->SystemSerial) &&
         reader.String("BoardManufacturer", &smbios->BoardManufacturer) &&
         reader.String("BoardProduct", &smbios->BoardProduct) &&
         reader.String("BoardVersion", &smbios->BoardVersion) &&
         reader.String("BoardSerial", &smbios->BoardSerial);
}

constexpr std::string_view kAcpiKeys[] = {"RsdpRevision",
                                          "RsdpAddress",
                                          "TableBase",
                                          "OemId",
                                          "OemTableId",
                                          "OemRevision",
                                          "Pm1aEventBlock",
                                          "Pm1aControlBlock",
                                          "Pm2ControlBlock",
                                          "PmTimerBlock",
                                          "PmTimerExtended",
                                          "Gpe0Block",
                                          "Gpe0BlockLength",
                                          "SciInterrupt",
                                          "SmiCommandPort",
                                          "AcpiEnable",
                                          "AcpiDisable",
                                          "LocalApicAddress",
                                          "Processors",
                                          "EcCommandPort",
                                          "EcDataPort",
                                          "EcAddressSpace",
                                          "EcGpeBit",
                                          "EcId",
                                          "Aaft"};

constexpr std::string_view kAcpiKeyPrefixes[] = {"IoApic"};

bool ReadIoApics(const TReader& reader, TSimAcpiConfig* acpi) {
  const TStrings keys = reader.Keys();
  bool first = true;
  for (const std::string& key : keys) {
    if (!StartsWithNoCase(key, "IoApic")) continue;
    const std::string text = reader.Text(key);
    const std::vector<std::string_view> parts = TReader::SplitItems(text, ", \t");
    uint64_t id = 0, address = 0, gsi = 0;
    if (parts.size() != 3 || !TReader::ParseNumber(parts[0], &id) ||
        !TReader::ParseNumber(parts[1], &address) || !TReader::ParseNumber(parts[2], &gsi) ||
        id > 0xFF || address > 0xFFFFFFFF || gsi > 0xFFFFFFFF) {
      return reader.Fail(key, "expected ID,ADDRESS,GSIBASE");
    }
    // Listed I/O APICs replace the default one.
    if (first) acpi->IoApics.clear();
    first = false;
    acpi->IoApics.push_back(
        {static_cast<uint8_t>(id), static_cast<uint32_t>(address), static_cast<uint32_t>(gsi)});
  }
  return true;
}

bool ReadAcpiSection(const TReader& reader, TSimAcpiConfig* acpi) {
  if (!reader.CheckKeys(kAcpiKeys, kAcpiKeyPrefixes)) return false;
  if (!reader.Number("RsdpRevision", &acpi->RsdpRevision) ||
      !reader.Number("RsdpAddress", &acpi->RsdpAddress) ||
      !reader.Number("TableBase", &acpi->TableBase) || !reader.String("OemId", &acpi->OemId, 6) ||
      !reader.String("OemTableId", &acpi->OemTableId, 8) ||
      !reader.Number("OemRevision", &acpi->OemRevision) ||
      !reader.Number("Pm1aEventBlock", &acpi->Pm1aEventBlock) ||
      !reader.Number("Pm1aControlBlock", &acpi->Pm1aControlBlock) ||
      !reader.Number("Pm2ControlBlock", &acpi->Pm2ControlBlock) ||
      !reader.Number("PmTimerBlock", &acpi->PmTimerBlock) ||
      !reader.Flag("PmTimerExtended", &acpi->PmTimerExtended) ||
      !reader.Number("Gpe0Block", &acpi->Gpe0Block) ||
      !reader.Number("Gpe0BlockLength", &acpi->Gpe0BlockLength) ||
      !reader.Number("SciInterrupt", &acpi->SciInterrupt, 0xFF) ||
      !reader.Number("SmiCommandPort", &acpi->SmiCommandPort) ||
      !reader.Number("AcpiEnable", &acpi->AcpiEnable) ||
      !reader.Number("AcpiDisable", &acpi->AcpiDisable) ||
      !reader.Number("LocalApicAddress", &acpi->LocalApicAddress) ||
      !reader.Number("Processors", &acpi->Processors, 64) || !ReadIoApics(reader, acpi)) {
    return false;
  }
  if (acpi->RsdpRevision != 0 && acpi->RsdpRevision != 2) {
    return reader.Fail("RsdpRevision", "must be 0 (ACPI 1.0) or 2 (ACPI 2.0 and later)");
  }
  if (acpi->Processors < 1) return reader.Fail("Processors", "at least 1");
  if (reader.Has("EcCommandPort")) {
    TSimEcConfig ec;
    if (!reader.Number("EcCommandPort", &ec.CommandPort) ||
        !reader.Number("EcDataPort", &ec.DataPort) ||
        !reader.Number("EcAddressSpace", &ec.AddressSpace) ||
        !reader.Number("EcGpeBit", &ec.GpeBit) || !reader.String("EcId", &ec.Id, 200)) {
      return false;
    }
    acpi->Ec = ec;
  } else {
    for (const char* key : {"EcDataPort", "EcAddressSpace", "EcGpeBit", "EcId"}) {
      if (reader.Has(key)) return reader.Fail(key, "needs EcCommandPort");
    }
  }
  if (reader.Has("Aaft")) {
    std::vector<uint8_t> entries;
    if (!reader.HexBytes("Aaft", &entries, true)) return false;
    acpi->Aaft = std::move(entries);
  }
  return true;
}

constexpr std::string_view kSsdtKeys[] = {"OemTableId", "Listed", "PStates", "Aml"};

bool ReadSsdtSection(const TReader& reader, TSimAcpiConfig* acpi) {
  if (!reader.CheckKeys(kSsdtKeys)) return false;
  TSimSsdtConfig ssdt;
  ssdt.OemTableId = TrimBlanks(std::string_view(reader.Section()).substr(5));
  if (!reader.String("OemTableId", &ssdt.OemTableId) || !reader.Flag("Listed", &ssdt.Listed)) {
    return false;
  }
  if (ssdt.OemTableId.size() > 8) {
    return reader.Fail("OemTableId", "longer than 8 characters");
  }
  const std::string pStates = reader.Text("PStates");
  for (std::string_view item : TReader::SplitItems(pStates, ", \t")) {
    const std::vector<std::string_view> parts = TReader::SplitItems(item, ":");
    uint64_t mhz = 0, power = 0, control = 0;
    if (parts.size() != 3 || !TReader::ParseNumber(parts[0], &mhz) ||
        !TReader::ParseNumber(parts[1], &power) || !TReader::ParseNumber(parts[2], &control) ||
        mhz > 0xFFFFFFFF || power > 0xFFFFFFFF || control > 0xFFFFFFFF) {
      return reader.Fail("PStates",
                         "expected MHZ:MILLIWATTS:CONTROL items, not '" + std::string(item) + "'");
    }
    ssdt.PStates.push_back(
        {static_cast<uint32_t>(mhz), static_cast<uint32_t>(power), static_cast<uint32_t>(control)});
  }
  if (reader.Has("Aml") && !reader.HexBytes("Aml", &ssdt.Aml, true)) return false;
  acpi->Ssdts.push_back(std::move(ssdt));
  return true;
}

constexpr std::string_view kTableKeys[] = {"Revision", "Data"};

bool ReadTableSection(const TReader& reader, TSimAcpiConfig* acpi) {
  if (!reader.CheckKeys(kTableKeys)) return false;
  TSimExtraTable table;
  table.Signature = TrimBlanks(std::string_view(reader.Section()).substr(11));
  if (table.Signature.size() != 4) {
    return reader.Fail("", "expected [ACPI Table SIG] with a 4-character signature");
  }
  if (std::any_of(std::begin(kGeneratedSignatures), std::end(kGeneratedSignatures),
                  [&](std::string_view generated) { return table.Signature == generated; })) {
    return reader.Fail("", "the firmware makes its " + table.Signature + " itself");
  }
  if (!reader.Number("Revision", &table.Revision) || !reader.HexBytes("Data", &table.Body, true)) {
    return false;
  }
  acpi->ExtraTables.push_back(std::move(table));
  return true;
}

}  // namespace

const TSimFirmwareBlock* TSimFirmwareImage::Find(const std::string& name, size_t n) const {
  for (const TSimFirmwareBlock& block : Blocks) {
    if (block.Name != name) continue;
    if (n == 0) return &block;
    --n;
  }
  return nullptr;
}

bool BuildSimFirmwareImage(const TSimFirmwareConfig& config, TSimFirmwareImage* image,
                           std::string* error) {
  *image = TSimFirmwareImage{};
  if (config.Acpi && !LayAcpi(*config.Acpi, image, error)) return false;
  if (config.Smbios && !LaySmbios(*config.Smbios, image, error)) return false;
  return CheckPlacement(*image, error);
}

void WriteSimFirmware(const TSimFirmwareImage& image, TSimMemory& memory) {
  for (const TSimFirmwareBlock& block : image.Blocks) {
    memory.Write(block.Address, block.Bytes.data(), block.Bytes.size());
  }
}

bool ReadSimFirmwareConfig(const TIniFile& ini, const TSimMachineConfig& machine,
                           TSimFirmwareConfig* config, std::string* error) {
  *config = TSimFirmwareConfig{};
  TStrings sections;
  ini.ReadSections(sections);
  auto isSsdt = [](const std::string& s) { return s.size() > 5 && StartsWithNoCase(s, "SSDT "); };
  auto isTable = [](const std::string& s) {
    return s.size() > 11 && StartsWithNoCase(s, "ACPI Table ");
  };

  for (const std::string& section : sections) {
    if (EqualsNoCase(section, "SMBIOS")) {
      config->Smbios.emplace();
      if (!ReadSmbiosSection(TReader(ini, section, error), &*config->Smbios)) return false;
    }
  }
  TSimAcpiConfig acpi;
  acpi.PmTimerBlock = machine.PmTimerPort;
  acpi.PmTimerExtended = machine.PmTimerBits == 32;
  acpi.Processors = std::max<uint32_t>(machine.Processor.Cores, 1);
  bool withAcpi = false;
  for (const std::string& section : sections) {
    if (EqualsNoCase(section, "ACPI")) {
      withAcpi = true;
      if (!ReadAcpiSection(TReader(ini, section, error), &acpi)) return false;
    }
  }
  for (const std::string& section : sections) {
    const bool ssdt = isSsdt(section);
    const bool table = isTable(section);
    if (!ssdt && !table) {
      // The board loader passes every "ACPI ..." section on to this reader.
      if (StartsWithNoCase(section, "ACPI ")) {
        return TReader(ini, section, error).Fail("", "unknown section");
      }
      continue;
    }
    if (!withAcpi) return TReader(ini, section, error).Fail("", "needs an [ACPI] section");
    if (ssdt && !ReadSsdtSection(TReader(ini, section, error), &acpi)) return false;
    if (table && !ReadTableSection(TReader(ini, section, error), &acpi)) return false;
  }
  if (withAcpi) config->Acpi = std::move(acpi);
  return true;
}

bool BuildBoardFirmware(const TIniFile& ini, TSimMachine& machine, std::string* error) {
  TSimFirmwareConfig config;
  if (!ReadSimFirmwareConfig(ini, machine.Config(), &config, error)) return false;
  if (!config.Smbios && !config.Acpi) return true;
  TSimFirmwareImage image;
  std::string why;
  if (!BuildSimFirmwareImage(config, &image, &why)) {
    *error = ini.FileName() + ": firmware tables: " + why;
    return false;
  }
  WriteSimFirmware(image, machine.Memory());
  return true;
}

#include "platform/korspec.h"

#include <algorithm>
#include <cstring>

#include "hw/initfile.h"
#include "hw/readwrite.h"
#include "platform/smbiosbase.h"

namespace {

// The FADT of an AMI BIOS that does not count as one with P-states on NT 6: OEM id and OEM table id
// (header offset 10, 14 characters) and OEM revision.
constexpr char kAmiOemText[] = "A M I OEMFACP ";
constexpr size_t kAmiOemTextLength = sizeof kAmiOemText - 1;
constexpr uint32_t kAmiOemRevision = 0x12000601;

bool Contains(const std::vector<uint8_t>& bytes, std::string_view text) {
  return std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) != bytes.end();
}

bool PlausibleLength(uint32_t length) {
  return length >= kAcpiHeaderSize && length <= kAcpiMaxTableLength;
}

}  // namespace

TKorSpec::TKorSpec(TReadWrite& rw, TInitFile& config, bool intelProcessor) : Rw_(rw) {
  {
    // The table copy is needed for the name only.
    TSmbiosBase smbios(rw);
    SmbiosFound_ = smbios.Found();
    SmbiosVersion_ = smbios.Version();
    ModelName_ = smbios.BoardModelName();
  }
  // On Intel processors the ACPI reader does without the scan for SSDTs behind the DSDT.
  if (intelProcessor) config.ACPIDecodeSSDTEx = false;
  Acpi_ = std::make_unique<TAcpiBase>(rw, config);
  DerivePStateFlag(config.OsVersion ? config.OsVersion->OsKind : 0);
  ReadFeatureTable();
}

TKorSpec::~TKorSpec() = default;

void TKorSpec::DerivePStateFlag(int osKind) {
  bool pStateSsdt = false;
  bool usableFadt = false;
  const std::vector<TAcpiTableEntry>& tables = Acpi_->Tables();
  // Position 0 is the RSDP.
  for (size_t i = 1; i < tables.size(); ++i) {
    const TAcpiTableEntry& entry = tables[i];
    if (entry.Signature == "SSDT" && !pStateSsdt && PlausibleLength(entry.Length)) {
      std::vector<uint8_t> table(entry.Length);
      if (Rw_.MemoryReadBlock(entry.Address, table.data(), entry.Length)) {
        // The OEM table id is part of the text searched: "CpuPm" names Intel's processor table.
        pStateSsdt = Contains(table, "_PSS") || Contains(table, "CpuPm");
      }
    } else if (entry.Signature == "FACP" && !usableFadt) {
      uint8_t header[kAcpiHeaderSize];
      if (!Rw_.MemoryReadBlock(entry.Address, header, kAcpiHeaderSize)) continue;
      const TAcpiTableHeader fadt = ParseAcpiHeader(header);
      const bool amiOnNt6 = (osKind == 4 || osKind == 6) &&
                            std::memcmp(header + 10, kAmiOemText, kAmiOemTextLength) == 0 &&
                            fadt.OemRevision == kAmiOemRevision;
      usableFadt = !amiOnNt6;
    }
  }
  AcpiPStates_ = pStateSsdt && usableFadt;
}

void TKorSpec::ReadFeatureTable() {
  const std::vector<TAcpiTableEntry>& tables = Acpi_->Tables();
  const auto aaft = std::find_if(tables.begin() + std::min<size_t>(1, tables.size()), tables.end(),
                                 [](const TAcpiTableEntry& e) { return e.Signature == "AAFT"; });
  if (aaft == tables.end() || !PlausibleLength(aaft->Length)) return;
  std::vector<uint8_t> table(aaft->Length);
  if (!Rw_.MemoryReadBlock(aaft->Address, table.data(), aaft->Length)) return;
  FeatureTable_ = std::move(table);
  // Entries of type and length bytes follow the header; a length of 0 would never advance.
  size_t at = kAcpiHeaderSize;
  while (at + 2 <= FeatureTable_.size()) {
    const uint8_t type = FeatureTable_[at];
    const uint8_t length = FeatureTable_[at + 1];
    if (length == 0) break;
    if (type == 1) FeatureFlags_.Type1 = true;
    if (type == 4) FeatureFlags_.Type4 = true;
    if (type == 3 && length == 3) {
      FeatureFlags_.Type3 = true;
      FeatureFlags_.Type3Address = aaft->Address + static_cast<uint32_t>(at);
    }
    at += length;
  }
}

bool TKorSpec::ApplyPowerScheme(int mode) {
  return PowerServices_ != nullptr && PowerServices_->ApplyPowerScheme(mode);
}

bool TKorSpec::RegisterLogonTask(const std::string& taskName) {
  return PowerServices_ != nullptr && PowerServices_->RegisterLogonTask(taskName);
}

bool TKorSpec::RemoveLogonTask(const std::string& taskName) {
  return PowerServices_ != nullptr && PowerServices_->RemoveLogonTask(taskName);
}

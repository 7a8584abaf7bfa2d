#include "platform/acpibase.h"

#include <algorithm>

#include "base/trace.h"
#include "hw/initfile.h"
#include "hw/readwrite.h"

namespace {

constexpr uint32_t kRsdpSearchStart = 0xE0000;
constexpr uint32_t kRsdpSearchLength = 0x20000;
constexpr uint32_t kRsdpReadSize = 36;
constexpr uint32_t kRsdpChecksumSize = 20;
constexpr uint32_t kSsdtScanLength = 0x10000;
constexpr uint32_t kParagraph = 16;

uint16_t Get16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Field readers that refuse offsets beyond the table, so a short table leaves values alone.
bool Field16(const std::vector<uint8_t>& t, size_t at, uint16_t* value) {
  if (at + 2 > t.size()) return false;
  *value = Get16(&t[at]);
  return true;
}

bool Field32(const std::vector<uint8_t>& t, size_t at, uint32_t* value) {
  if (at + 4 > t.size()) return false;
  *value = Get32(&t[at]);
  return true;
}

uint8_t ByteSum(const uint8_t* data, size_t length) {
  uint8_t sum = 0;
  for (size_t i = 0; i < length; ++i) sum = static_cast<uint8_t>(sum + data[i]);
  return sum;
}

bool PlausibleLength(uint32_t length) {
  return length >= kAcpiHeaderSize && length <= kAcpiMaxTableLength;
}

}  // namespace

TAcpiTableHeader ParseAcpiHeader(const uint8_t* bytes) {
  TAcpiTableHeader header;
  std::copy(bytes, bytes + kAcpiHeaderSize, header.Raw.begin());
  const char* text = reinterpret_cast<const char*>(bytes);
  header.Signature.assign(text, 4);
  header.Length = Get32(bytes + 4);
  header.Revision = bytes[8];
  header.Checksum = bytes[9];
  header.OemId.assign(text + 10, 6);
  header.OemTableId.assign(text + 16, 8);
  header.OemRevision = Get32(bytes + 24);
  header.CreatorId.assign(text + 28, 4);
  header.CreatorRevision = Get32(bytes + 32);
  return header;
}

TAcpiBase::TAcpiBase(TReadWrite& rw, TInitFile& config) : Rw_(rw), Config_(config) {
  RwDebugLine("Build RSDP");
  RsdpFound_ = FindRsdp();
  if (!RsdpFound_) return;
  // The list grows while it is walked.
  for (size_t i = 1; i < Tables_.size(); ++i) WalkTable(i);
}

bool TAcpiBase::HasTable(std::string_view signature) const {
  return std::any_of(Tables_.begin(), Tables_.end(),
                     [&](const TAcpiTableEntry& entry) { return entry.Signature == signature; });
}

bool TAcpiBase::FindRsdp() {
  for (uint32_t n = 0;; ++n) {
    const uint32_t address =
        Rw_.MemorySearch(kRsdpSearchStart, kRsdpSearchLength, "RSD PTR ", n, kParagraph);
    if (address == kSearchNotFound) return false;
    uint8_t rsdp[kRsdpReadSize] = {};
    // A revision-0 pointer in the last 20 bytes of the area cannot be read as 36 bytes everywhere.
    if (!Rw_.MemoryReadBlock(address, rsdp, kRsdpReadSize) &&
        !Rw_.MemoryReadBlock(address, rsdp, kRsdpChecksumSize)) {
      continue;
    }
    if (ByteSum(rsdp, kRsdpChecksumSize) != 0) continue;
    RsdpRevision_ = rsdp[15];
    Tables_.push_back({address, RsdpRevision_ >= 1 ? Get32(rsdp + 20) : kRsdpChecksumSize, "RSD "});
    // An RSDP without an RSDT (XSDT-only firmware) lists itself alone.
    const uint32_t rsdt = Get32(rsdp + 16);
    if (rsdt != 0) Tables_.push_back({rsdt, 0, ""});
    return true;
  }
}

void TAcpiBase::Append(uint32_t address) {
  if (address != 0) Tables_.push_back({address, 0, ""});
}

std::vector<uint8_t> TAcpiBase::ReadTable(uint32_t address, uint32_t length) {
  std::vector<uint8_t> table(length);
  if (!Rw_.MemoryReadBlock(address, table.data(), length)) table.clear();
  return table;
}

void TAcpiBase::WalkTable(size_t index) {
  const uint32_t address = Tables_[index].Address;
  uint8_t bytes[kAcpiHeaderSize];
  if (!Rw_.MemoryReadBlock(address, bytes, kAcpiHeaderSize)) return;
  const TAcpiTableHeader header = ParseAcpiHeader(bytes);
  Tables_[index].Length = header.Length;
  Tables_[index].Signature = header.Signature;
  RwDebugLine("Build " + header.Signature);
  if (!PlausibleLength(header.Length)) return;

  const std::string& sig = header.Signature;
  if (sig == "DSDT") {
    HandleDsdt(address, header);
    return;
  }
  const bool expands = sig == "RSDT" || sig == "FACP";
  if (!expands && sig != "APIC" && sig != "ECDT") return;
  if (expands) {
    if (std::find(Expanded_.begin(), Expanded_.end(), address) != Expanded_.end()) return;
    Expanded_.push_back(address);
  }
  const std::vector<uint8_t> table = ReadTable(address, header.Length);
  if (table.empty()) return;
  if (sig == "RSDT") {
    HandleRsdt(table);
  } else if (sig == "FACP") {
    HandleFadt(table);
  } else if (sig == "APIC") {
    HandleMadt(table);
  } else {
    HandleEcdt(table);
  }
}

void TAcpiBase::HandleRsdt(const std::vector<uint8_t>& table) {
  const size_t count = (table.size() - kAcpiHeaderSize) / 4;
  for (size_t i = 0; i < count; ++i) Append(Get32(&table[kAcpiHeaderSize + 4 * i]));
}

void TAcpiBase::HandleFadt(const std::vector<uint8_t>& table) {
  uint32_t facs = 0;
  uint32_t dsdt = 0;
  uint32_t pm1a = 0;
  uint32_t timer = 0;
  uint32_t flags = 0;
  uint16_t sci = 0;
  Field32(table, 36, &facs);
  if (Field32(table, 40, &dsdt)) DsdtAddress_ = dsdt;
  if (Field32(table, 56, &pm1a)) Config_.AcpiPmBase = static_cast<uint16_t>(pm1a);
  if (Field16(table, 46, &sci)) Config_.AcpiSciIrq = sci;
  if (Field32(table, 76, &timer)) Config_.PmTimerPort = static_cast<uint16_t>(timer);
  // TMR_VAL_EXT: the PM timer counts 32 bits instead of 24.
  if (Field32(table, 112, &flags)) Config_.PmTimerWidth = static_cast<uint16_t>(flags & 0x100);
  Append(facs);
  Append(dsdt);
}

void TAcpiBase::HandleMadt(const std::vector<uint8_t>& table) {
  // Interrupt controller structures follow the local APIC address and the flags.
  size_t at = 44;
  while (at + 2 <= table.size()) {
    const uint8_t type = table[at];
    const uint8_t length = table[at + 1];
    if (length == 0) break;
    // Type 1, I/O APIC: id, reserved, address, global system interrupt base. The one that
    // starts at interrupt 0 serves the legacy interrupts.
    if (type == 1 && length >= 12 && at + 12 <= table.size() && Get32(&table[at + 8]) == 0) {
      Config_.ApicAddress = Get32(&table[at + 4]);
    }
    at += length;
  }
}

void TAcpiBase::HandleEcdt(const std::vector<uint8_t>& table) {
  // Two generic addresses: EC_CONTROL at 36 (space id first, address at +4) and EC_DATA at 48.
  uint16_t command = 0;
  uint16_t data = 0;
  if (table.size() > 36) Config_.EC_AddressSpaceID = table[36];
  if (Field16(table, 40, &command)) Config_.EC_SC = command;
  if (Field16(table, 52, &data)) Config_.EC_DATA = data;
}

void TAcpiBase::HandleDsdt(uint32_t address, const TAcpiTableHeader& header) {
  DsdtHeader_ = header;
  DsdtFound_ = true;
  if (Config_.ACPIDecodeSSDTEx) ScanExtraSsdts((address + header.Length) & ~uint32_t{0xF});
}

void TAcpiBase::ScanExtraSsdts(uint32_t start) {
  for (uint32_t n = 0;; ++n) {
    const uint32_t address = Rw_.MemorySearch(start, kSsdtScanLength, "SSDT", n, kParagraph);
    if (address == kSearchNotFound) return;
    uint8_t bytes[kAcpiHeaderSize];
    if (!Rw_.MemoryReadBlock(address, bytes, kAcpiHeaderSize)) continue;
    const uint32_t length = Get32(bytes + 4);
    // "SSDT" inside AML or a stale copy: only a whole table with a valid checksum counts.
    if (!PlausibleLength(length)) continue;
    const std::vector<uint8_t> table = ReadTable(address, length);
    if (table.empty() || ByteSum(table.data(), table.size()) != 0) continue;
    Append(address);
  }
}

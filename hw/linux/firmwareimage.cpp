#include "hw/linux/firmwareimage.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "hw/linux/sysfiles.h"

namespace {

constexpr size_t kAcpiHeaderSize = 36;
constexpr size_t kChecksumOffset = 9;
constexpr size_t kOemFieldsOffset = 10;  // OEM id, OEM table id, OEM revision
constexpr size_t kOemFieldsSize = 18;

// FADT fields.
constexpr size_t kFadtFirmwareCtrl = 36;
constexpr size_t kFadtDsdt = 40;
constexpr size_t kFadtPmTimerBlock = 76;
constexpr size_t kFadtFlags = 112;
constexpr size_t kFadtXFirmwareCtrl = 132;
constexpr size_t kFadtXDsdt = 140;
constexpr size_t kFadtXPmTimerBlock = 208;
constexpr uint32_t kFadtTimerExtended = 1u << 8;
constexpr uint32_t kFadtHardwareReduced = 1u << 20;

// Places in the BIOS area (16-byte aligned, as the searches step).
constexpr uint32_t kRsdpAddress = 0xF0000;
constexpr uint32_t kSmbiosEntryAddress = 0xF0030;
constexpr uint32_t kSmbios3EntryAddress = 0xF0050;

constexpr size_t kSmbiosEntrySize = 0x1F;
constexpr size_t kSmbios3EntrySize = 0x18;

// Zeros behind the last table, so that reads just past it (the program scans up to 64 KiB behind
// the DSDT for further SSDTs) find nothing instead of failing.
constexpr uint64_t kTableRegionTail = 0x10100;

uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
         static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

uint64_t Get64(const std::vector<uint8_t>& b, size_t at) {
  return Get32(b, at) | static_cast<uint64_t>(Get32(b, at + 4)) << 32;
}

void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void Put64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Sets the checksum byte so that the range sums to 0.
void FixChecksum(uint8_t* range, size_t length, size_t checksumAt) {
  range[checksumAt] = 0;
  range[checksumAt] = static_cast<uint8_t>(0x100 - ByteSum(range, length));
}

uint64_t AlignUp(uint64_t value, uint64_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

bool HasPrefix(const std::vector<uint8_t>& bytes, std::string_view prefix) {
  return bytes.size() >= prefix.size() &&
         std::memcmp(bytes.data(), prefix.data(), prefix.size()) == 0;
}

// "SSDT2" before "SSDT10", as the kernel numbered them.
bool NaturalLess(const std::string& a, const std::string& b) {
  auto split = [](const std::string& s) {
    size_t digits = s.size();
    while (digits > 0 && s[digits - 1] >= '0' && s[digits - 1] <= '9') --digits;
    const std::string tail = s.substr(digits);
    return std::make_pair(s.substr(0, digits), tail.empty() ? 0ul : std::stoul(tail.substr(0, 9)));
  };
  const auto ka = split(a);
  const auto kb = split(b);
  return ka != kb ? ka < kb : a < b;
}

struct TSmbiosWalk {
  uint16_t Count = 0;
  uint16_t MaxSize = 0;
};

// Counts the structures and finds the largest (formatted part plus string set).
TSmbiosWalk WalkSmbios(const std::vector<uint8_t>& table) {
  TSmbiosWalk walk;
  size_t at = 0;
  while (at + 4 <= table.size()) {
    const uint8_t type = table[at];
    const size_t formatted = table[at + 1];
    if (formatted < 4) break;
    size_t end = at + formatted;
    while (end + 1 < table.size() && (table[end] != 0 || table[end + 1] != 0)) ++end;
    if (end + 1 >= table.size()) break;
    const size_t size = end + 2 - at;
    ++walk.Count;
    walk.MaxSize =
        static_cast<uint16_t>(std::min<size_t>(0xFFFF, std::max<size_t>(walk.MaxSize, size)));
    at = end + 2;
    if (type == 127) break;  // end-of-table structure
  }
  return walk;
}

// A 32-bit entry point for a table that only has the 64-bit one: the program searches for "_SM_".
std::vector<uint8_t> DeriveSmbiosEntry(const std::vector<uint8_t>& entry3,
                                       const std::vector<uint8_t>& table) {
  std::vector<uint8_t> entry(kSmbiosEntrySize, 0);
  const uint8_t major = entry3[7];
  const uint8_t minor = entry3[8];
  const TSmbiosWalk walk = WalkSmbios(table);
  std::memcpy(entry.data(), "_SM_", 4);
  entry[5] = kSmbiosEntrySize;
  entry[6] = major;
  entry[7] = minor;
  Put16(&entry[8], walk.MaxSize);
  std::memcpy(&entry[0x10], "_DMI_", 5);
  Put16(&entry[0x16], static_cast<uint16_t>(table.size()));
  Put16(&entry[0x1C], walk.Count);
  entry[0x1E] = (major < 10 && minor < 10) ? static_cast<uint8_t>(major << 4 | minor) : 0;
  return entry;
}

struct TAcpiInput {
  const std::vector<uint8_t>* Bytes;
  std::string Signature;
  uint64_t Address = 0;
};

}  // namespace

uint8_t ByteSum(const uint8_t* data, size_t length) {
  uint8_t sum = 0;
  for (size_t i = 0; i < length; ++i) sum = static_cast<uint8_t>(sum + data[i]);
  return sum;
}

TFirmwareSource ReadFirmwareSource(const std::string& sysRoot) {
  TFirmwareSource source;
  std::string error;
  const std::string acpiDir = RootedPath(sysRoot, "/sys/firmware/acpi/tables");
  std::vector<std::string> names;
  if (ListDirectory(acpiDir, true, &names, &error)) {
    std::sort(names.begin(), names.end(), NaturalLess);
    for (const std::string& name : names) {
      std::vector<uint8_t> bytes;
      int err = 0;
      if (!ReadFileBytes(acpiDir + "/" + name, &bytes, &error, &err)) {
        source.Problems.push_back(error);
        // Every table has the same mode: one refusal stands for all of them.
        if (err == EACCES || err == EPERM) break;
        continue;
      }
      source.AcpiTables.push_back(std::move(bytes));
    }
  } else {
    source.Problems.push_back(error);
  }

  const std::string dmiDir = RootedPath(sysRoot, "/sys/firmware/dmi/tables");
  if (!ReadFileBytes(dmiDir + "/smbios_entry_point", &source.SmbiosEntryPoint, &error) ||
      !ReadFileBytes(dmiDir + "/DMI", &source.SmbiosTable, &error)) {
    source.SmbiosEntryPoint.clear();
    source.SmbiosTable.clear();
    source.Problems.push_back(error);
  }
  return source;
}

const std::vector<uint8_t>* FindAcpiTable(const TFirmwareSource& source,
                                          std::string_view signature) {
  for (const std::vector<uint8_t>& table : source.AcpiTables) {
    if (table.size() >= kAcpiHeaderSize && HasPrefix(table, signature)) return &table;
  }
  return nullptr;
}

TFirmwareLayout BuildFirmwareLayout(const TFirmwareSource& source) {
  TFirmwareLayout layout;

  // Tables worth placing; the root tables are rebuilt, not copied.
  std::vector<TAcpiInput> tables;
  for (const std::vector<uint8_t>& bytes : source.AcpiTables) {
    if (bytes.size() < 8) {
      layout.Problems.push_back("ACPI table of " + std::to_string(bytes.size()) +
                                " bytes left out");
      continue;
    }
    const std::string signature(bytes.begin(), bytes.begin() + 4);
    if (signature == "RSDT" || signature == "XSDT" || signature == "RSD ") continue;
    const size_t minimum = signature == "FACS" ? 64 : kAcpiHeaderSize;
    const uint32_t length = Get32(bytes, 4);
    if (bytes.size() < minimum || length != bytes.size()) {
      layout.Problems.push_back("ACPI table " + signature + " left out: length field " +
                                std::to_string(length) + ", " + std::to_string(bytes.size()) +
                                " bytes read");
      continue;
    }
    tables.push_back({&bytes, signature});
  }
  auto find = [&tables](std::string_view signature) -> TAcpiInput* {
    for (TAcpiInput& table : tables) {
      if (table.Signature == signature) return &table;
    }
    return nullptr;
  };
  TAcpiInput* const facp = find("FACP");
  const TAcpiInput* const dsdt = find("DSDT");
  const TAcpiInput* const facs = find("FACS");
  // An ACPI 2.0 FADT (revision 3 and later) carries 64-bit pointers: the firmware had an XSDT.
  const bool withXsdt = facp != nullptr && (*facp->Bytes)[8] >= 3 && facp->Bytes->size() >= 148;

  // The root tables list everything but the DSDT and FACS, which the FADT points to; FADT first.
  std::vector<TAcpiInput*> listed;
  if (facp != nullptr) listed.push_back(facp);
  for (TAcpiInput& table : tables) {
    if (&table != facp && table.Signature != "DSDT" && table.Signature != "FACS") {
      listed.push_back(&table);
    }
  }

  // SMBIOS entry points: the one the kernel found, and a 32-bit one derived when it is 64-bit.
  std::vector<uint8_t> entry32;
  std::vector<uint8_t> entry64;
  const std::vector<uint8_t>& entry = source.SmbiosEntryPoint;
  if (HasPrefix(entry, "_SM3_") && entry.size() >= kSmbios3EntrySize) {
    if (entry[6] >= kSmbios3EntrySize && entry[6] <= entry.size() && entry[6] <= 0x20) {
      entry64.assign(entry.begin(), entry.begin() + entry[6]);
    }
  } else if (HasPrefix(entry, "_SM_") && entry.size() >= kSmbiosEntrySize) {
    if (entry[5] >= kSmbiosEntrySize && entry[5] <= entry.size() && entry[5] <= 0x20) {
      entry32.assign(entry.begin(), entry.begin() + entry[5]);
    }
  }
  if (entry32.empty() && entry64.empty() && !entry.empty()) {
    layout.Problems.push_back("SMBIOS entry point not recognised");
  }
  if ((!entry32.empty() || !entry64.empty()) && source.SmbiosTable.empty()) {
    layout.Problems.push_back("SMBIOS structure table is empty");
    entry32.clear();
    entry64.clear();
  }
  if (entry32.empty() && !entry64.empty()) {
    if (source.SmbiosTable.size() <= 0xFFFF) {
      entry32 = DeriveSmbiosEntry(entry64, source.SmbiosTable);
    } else {
      layout.Problems.push_back("SMBIOS table too large for a 32-bit entry point");
    }
  }
  const bool withSmbios = !entry32.empty() || !entry64.empty();
  if (tables.empty() && !withSmbios) return layout;

  // Addresses in the table region.
  uint64_t cursor = kFirmwareTableBase;
  auto place = [&cursor](size_t size, uint64_t alignment) {
    cursor = AlignUp(cursor, alignment);
    const uint64_t address = cursor;
    cursor += size;
    return address;
  };
  const size_t rsdtSize = kAcpiHeaderSize + 4 * listed.size();
  const size_t xsdtSize = kAcpiHeaderSize + 8 * listed.size();
  if (!tables.empty()) {
    layout.RsdtAddress = static_cast<uint32_t>(place(rsdtSize, 16));
    if (withXsdt) layout.XsdtAddress = static_cast<uint32_t>(place(xsdtSize, 16));
    for (TAcpiInput& table : tables) {
      table.Address = place(table.Bytes->size(), table.Signature == "FACS" ? 64 : 16);
    }
  }
  if (withSmbios)
    layout.SmbiosTableAddress = static_cast<uint32_t>(place(source.SmbiosTable.size(), 16));
  const uint64_t regionSize = AlignUp(cursor + kTableRegionTail - kFirmwareTableBase, 4096);
  if (kFirmwareTableBase + regionSize > 0x100000000ull) {
    layout = TFirmwareLayout{};
    layout.Problems.push_back("firmware tables too large to lay out: " +
                              std::to_string(cursor - kFirmwareTableBase) + " bytes");
    return layout;
  }

  TMemoryRegion bios{kBiosAreaBase, std::vector<uint8_t>(kBiosAreaSize, 0)};
  TMemoryRegion region{kFirmwareTableBase, std::vector<uint8_t>(regionSize, 0)};
  auto at = [&region](uint64_t address) { return &region.Bytes[address - kFirmwareTableBase]; };
  auto low = [&bios](uint32_t address) { return &bios.Bytes[address - kBiosAreaBase]; };

  if (!tables.empty()) {
    for (const TAcpiInput& table : tables) {
      std::memcpy(at(table.Address), table.Bytes->data(), table.Bytes->size());
      layout.Tables.push_back({table.Signature, static_cast<uint32_t>(table.Address),
                               static_cast<uint32_t>(table.Bytes->size())});
    }
    if (facp != nullptr) {
      uint8_t* fadt = at(facp->Address);
      const size_t size = facp->Bytes->size();
      const uint32_t facsAddress = facs != nullptr ? static_cast<uint32_t>(facs->Address) : 0;
      const uint32_t dsdtAddress = dsdt != nullptr ? static_cast<uint32_t>(dsdt->Address) : 0;
      // Both pointer forms are set: this program reads the 32-bit ones, other readers the 64-bit.
      if (size >= kFadtFirmwareCtrl + 4) Put32(fadt + kFadtFirmwareCtrl, facsAddress);
      if (size >= kFadtDsdt + 4) Put32(fadt + kFadtDsdt, dsdtAddress);
      if (size >= kFadtXFirmwareCtrl + 8) Put64(fadt + kFadtXFirmwareCtrl, facsAddress);
      if (size >= kFadtXDsdt + 8) Put64(fadt + kFadtXDsdt, dsdtAddress);
      FixChecksum(fadt, size, kChecksumOffset);
    }

    // Root tables carry the OEM fields of the FADT (or of the first table), as firmware's do.
    const std::vector<uint8_t>& oem = facp != nullptr ? *facp->Bytes : *tables.front().Bytes;
    auto buildRoot = [&](uint32_t address, const char* signature, size_t size, size_t width) {
      uint8_t* root = at(address);
      std::memcpy(root, signature, 4);
      Put32(root + 4, static_cast<uint32_t>(size));
      root[8] = 1;
      if (oem.size() >= kAcpiHeaderSize) {
        std::memcpy(root + kOemFieldsOffset, oem.data() + kOemFieldsOffset, kOemFieldsSize);
      }
      std::memcpy(root + 28, "KZEM", 4);
      Put32(root + 32, 1);
      for (size_t i = 0; i < listed.size(); ++i) {
        uint8_t* slot = root + kAcpiHeaderSize + width * i;
        if (width == 4) {
          Put32(slot, static_cast<uint32_t>(listed[i]->Address));
        } else {
          Put64(slot, listed[i]->Address);
        }
      }
      FixChecksum(root, size, kChecksumOffset);
      layout.Tables.insert(layout.Tables.begin() + (width == 4 ? 0 : 1),
                           {signature, address, static_cast<uint32_t>(size)});
    };
    buildRoot(layout.RsdtAddress, "RSDT", rsdtSize, 4);
    if (withXsdt) buildRoot(layout.XsdtAddress, "XSDT", xsdtSize, 8);

    uint8_t* rsdp = low(kRsdpAddress);
    std::memcpy(rsdp, "RSD PTR ", 8);
    if (oem.size() >= kAcpiHeaderSize) std::memcpy(rsdp + 9, oem.data() + kOemFieldsOffset, 6);
    rsdp[15] = withXsdt ? 2 : 0;
    Put32(rsdp + 16, layout.RsdtAddress);
    FixChecksum(rsdp, 20, 8);
    if (withXsdt) {
      Put32(rsdp + 20, 36);
      Put64(rsdp + 24, layout.XsdtAddress);
      FixChecksum(rsdp, 36, 32);
    }
    layout.RsdpAddress = kRsdpAddress;
  }

  if (withSmbios) {
    std::memcpy(at(layout.SmbiosTableAddress), source.SmbiosTable.data(),
                source.SmbiosTable.size());
    if (!entry32.empty()) {
      uint8_t* e = low(kSmbiosEntryAddress);
      std::memcpy(e, entry32.data(), entry32.size());
      if (source.SmbiosTable.size() <= 0xFFFF) {
        Put16(e + 0x16, static_cast<uint16_t>(source.SmbiosTable.size()));
      }
      Put32(e + 0x18, layout.SmbiosTableAddress);
      FixChecksum(e + 0x10, 0x0F, 0x05);  // the "_DMI_" part: bytes 0x10-0x1E
      FixChecksum(e, entry32.size(), 4);
      layout.SmbiosEntryAddress = kSmbiosEntryAddress;
    }
    if (!entry64.empty()) {
      uint8_t* e = low(kSmbios3EntryAddress);
      std::memcpy(e, entry64.data(), entry64.size());
      Put64(e + 0x10, layout.SmbiosTableAddress);
      FixChecksum(e, entry64.size(), 5);
      layout.Smbios3EntryAddress = kSmbios3EntryAddress;
    }
  }

  layout.Regions.push_back(std::move(bios));
  layout.Regions.push_back(std::move(region));
  return layout;
}

TPmTimerInfo PmTimerFromFadt(const std::vector<uint8_t>& fadt) {
  TPmTimerInfo info;
  if (fadt.size() < kFadtFlags + 4) return info;
  const uint32_t flags = Get32(fadt, kFadtFlags);
  info.Extended = (flags & kFadtTimerExtended) != 0;
  if ((flags & kFadtHardwareReduced) != 0) return info;
  info.Port = static_cast<uint16_t>(Get32(fadt, kFadtPmTimerBlock));
  // Firmware that fills only the generic address: take it when it is in I/O space (id 1).
  if (info.Port == 0 && fadt.size() >= kFadtXPmTimerBlock + 12 && fadt[kFadtXPmTimerBlock] == 1) {
    const uint64_t address = Get64(fadt, kFadtXPmTimerBlock + 4);
    if (address <= 0xFFFF) info.Port = static_cast<uint16_t>(address);
  }
  return info;
}

bool BiosAreaHasEntryPoints(const uint8_t* area, size_t size) {
  bool rsdp = false;
  bool smbios = false;
  for (size_t at = 0; at + 20 <= size; at += 16) {
    const uint8_t* p = area + at;
    if (std::memcmp(p, "RSD PTR ", 8) == 0 && ByteSum(p, 20) == 0) rsdp = true;
    if (at + kSmbiosEntrySize <= size && std::memcmp(p, "_SM_", 4) == 0) {
      const size_t length = p[5];
      if (length >= kSmbiosEntrySize && at + length <= size && ByteSum(p, length) == 0) {
        smbios = true;
      }
    }
  }
  return rsdp && smbios;
}

#include "sim/acpigen.h"

#include <algorithm>

namespace {

constexpr size_t kHeaderSize = 36;
constexpr char kCreatorId[] = "KSIM";
constexpr uint32_t kCreatorRevision = 1;

// AML opcodes.
constexpr uint8_t kZeroOp = 0x00;
constexpr uint8_t kOneOp = 0x01;
constexpr uint8_t kNameOp = 0x08;
constexpr uint8_t kBytePrefix = 0x0A;
constexpr uint8_t kWordPrefix = 0x0B;
constexpr uint8_t kDWordPrefix = 0x0C;
constexpr uint8_t kQWordPrefix = 0x0E;
constexpr uint8_t kScopeOp = 0x10;
constexpr uint8_t kPackageOp = 0x12;
constexpr uint8_t kDualNamePrefix = 0x2E;
constexpr uint8_t kMultiNamePrefix = 0x2F;
constexpr uint8_t kRootChar = 0x5C;
constexpr uint8_t kExtOpPrefix = 0x5B;
constexpr uint8_t kProcessorOp = 0x83;

// _PSS transition and bus-master latencies in microseconds.
constexpr uint32_t kPStateLatency = 10;

// FADT sizes and flags.
constexpr size_t kFadt1Size = 116;
constexpr size_t kFadt4Size = 244;
constexpr uint32_t kFadtFlags = 0x000000A5;  // WBINVD, PROC_C1, SLP_BUTTON, RTC_S4
constexpr uint32_t kFadtTimerExtended = 1u << 8;
constexpr uint32_t kFadtResetRegister = 1u << 10;

void Append(TAcpiBytes& to, const TAcpiBytes& bytes) {
  to.insert(to.end(), bytes.begin(), bytes.end());
}

// A fixed-width text field, padded with blanks.
void AppendText(TAcpiBytes& to, std::string_view text, size_t width) {
  for (size_t i = 0; i < width; ++i) to.push_back(i < text.size() ? text[i] : ' ');
}

// A generic address structure in I/O space.
void PutIoAddress(TAcpiBytes& table, size_t at, uint64_t port, uint8_t bits) {
  if (port == 0) return;
  table[at] = 1;
  table[at + 1] = bits;
  PutLe(table, at + 4, port, 8);
}

}  // namespace

void AppendLe(TAcpiBytes& bytes, uint64_t value, int width) {
  for (int i = 0; i < width; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void PutLe(TAcpiBytes& bytes, size_t at, uint64_t value, int width) {
  for (int i = 0; i < width; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint8_t ChecksumByte(const uint8_t* data, size_t length) {
  uint8_t sum = 0;
  for (size_t i = 0; i < length; ++i) sum = static_cast<uint8_t>(sum + data[i]);
  return static_cast<uint8_t>(0x100 - sum);
}

TAcpiBytes AcpiTable(std::string_view signature, uint8_t revision, const TSimAcpiConfig& config,
                     std::string_view oemTableId, const TAcpiBytes& body) {
  TAcpiBytes table;
  table.reserve(kHeaderSize + body.size());
  AppendText(table, signature, 4);
  AppendLe(table, kHeaderSize + body.size(), 4);
  table.push_back(revision);
  table.push_back(0);  // checksum
  AppendText(table, config.OemId, 6);
  AppendText(table, oemTableId, 8);
  AppendLe(table, config.OemRevision, 4);
  AppendText(table, kCreatorId, 4);
  AppendLe(table, kCreatorRevision, 4);
  Append(table, body);
  table[9] = ChecksumByte(table.data(), table.size());
  return table;
}

// --- AML ---

TAcpiBytes AmlPkgLength(size_t contentLength) {
  // One byte up to 63; otherwise the lead byte's bits 7:6 count the following bytes and its low
  // nibble holds the length's low four bits.
  if (contentLength + 1 < 0x40) return {static_cast<uint8_t>(contentLength + 1)};
  for (int extra = 1; extra <= 3; ++extra) {
    const size_t total = contentLength + 1 + extra;
    if (total < (size_t{1} << (4 + 8 * extra))) {
      TAcpiBytes bytes{static_cast<uint8_t>(extra << 6 | (total & 0xF))};
      for (int i = 0; i < extra; ++i) bytes.push_back(static_cast<uint8_t>(total >> (4 + 8 * i)));
      return bytes;
    }
  }
  return {};  // beyond 256 MiB: not an AML object this firmware makes
}

TAcpiBytes AmlNameString(std::string_view path) {
  TAcpiBytes bytes;
  if (!path.empty() && path.front() == '\\') {
    bytes.push_back(kRootChar);
    path.remove_prefix(1);
  }
  std::vector<std::string_view> segments;
  while (!path.empty()) {
    const size_t dot = path.find('.');
    segments.push_back(path.substr(0, dot));
    path = dot == std::string_view::npos ? std::string_view() : path.substr(dot + 1);
  }
  if (segments.size() == 2) bytes.push_back(kDualNamePrefix);
  if (segments.size() > 2) {
    bytes.push_back(kMultiNamePrefix);
    bytes.push_back(static_cast<uint8_t>(segments.size()));
  }
  if (segments.empty()) bytes.push_back(0);  // the null name
  for (std::string_view segment : segments) {
    for (size_t i = 0; i < 4; ++i) bytes.push_back(i < segment.size() ? segment[i] : '_');
  }
  return bytes;
}

TAcpiBytes AmlInteger(uint64_t value) {
  if (value == 0) return {kZeroOp};
  if (value == 1) return {kOneOp};
  TAcpiBytes bytes;
  if (value <= 0xFF) {
    bytes.push_back(kBytePrefix);
    AppendLe(bytes, value, 1);
  } else if (value <= 0xFFFF) {
    bytes.push_back(kWordPrefix);
    AppendLe(bytes, value, 2);
  } else if (value <= 0xFFFFFFFF) {
    bytes.push_back(kDWordPrefix);
    AppendLe(bytes, value, 4);
  } else {
    bytes.push_back(kQWordPrefix);
    AppendLe(bytes, value, 8);
  }
  return bytes;
}

TAcpiBytes AmlDword(uint32_t value) {
  TAcpiBytes bytes{kDWordPrefix};
  AppendLe(bytes, value, 4);
  return bytes;
}

TAcpiBytes AmlPackage(const std::vector<TAcpiBytes>& elements) {
  TAcpiBytes content{static_cast<uint8_t>(elements.size())};
  for (const TAcpiBytes& element : elements) Append(content, element);
  TAcpiBytes bytes{kPackageOp};
  Append(bytes, AmlPkgLength(content.size()));
  Append(bytes, content);
  return bytes;
}

TAcpiBytes AmlName(std::string_view name, const TAcpiBytes& data) {
  TAcpiBytes bytes{kNameOp};
  Append(bytes, AmlNameString(name));
  Append(bytes, data);
  return bytes;
}

TAcpiBytes AmlScope(std::string_view path, const TAcpiBytes& terms) {
  TAcpiBytes content = AmlNameString(path);
  Append(content, terms);
  TAcpiBytes bytes{kScopeOp};
  Append(bytes, AmlPkgLength(content.size()));
  Append(bytes, content);
  return bytes;
}

TAcpiBytes AmlProcessor(std::string_view name, uint8_t id, uint32_t blockAddress,
                        uint8_t blockLength, const TAcpiBytes& terms) {
  TAcpiBytes content = AmlNameString(name);
  content.push_back(id);
  AppendLe(content, blockAddress, 4);
  content.push_back(blockLength);
  Append(content, terms);
  TAcpiBytes bytes{kExtOpPrefix, kProcessorOp};
  Append(bytes, AmlPkgLength(content.size()));
  Append(bytes, content);
  return bytes;
}

std::string AmlProcessorName(uint32_t n) {
  constexpr char kHex[] = "0123456789ABCDEF";
  if (n < 16) return std::string("CPU") + kHex[n];
  return std::string("CP") + kHex[(n >> 4) & 0xF] + kHex[n & 0xF];
}

// --- tables ---

TAcpiBytes BuildDsdt(const TSimAcpiConfig& config) {
  // The processor objects the SSDTs extend; the ICH processor control block sits at PMBASE + 0x10.
  const uint32_t block = config.Pm1aEventBlock != 0 ? config.Pm1aEventBlock + 0x10u : 0;
  TAcpiBytes processors;
  for (uint32_t n = 0; n < config.Processors; ++n) {
    Append(processors, AmlProcessor(AmlProcessorName(n), static_cast<uint8_t>(n), block,
                                    block != 0 ? 6 : 0, {}));
  }
  TAcpiBytes body = AmlScope("\\_PR", processors);
  // Soft-off sleep type for the PM1 control registers.
  Append(body, AmlName("\\_S5",
                       AmlPackage({AmlInteger(7), AmlInteger(0), AmlInteger(0), AmlInteger(0)})));
  return AcpiTable("DSDT", 1, config, config.OemTableId, body);
}

TAcpiBytes BuildSsdt(const TSimAcpiConfig& config, const TSimSsdtConfig& ssdt) {
  TAcpiBytes body;
  const uint32_t scopes = std::max<uint32_t>(config.Processors, 1);
  for (uint32_t n = 0; n < scopes; ++n) {
    TAcpiBytes terms;
    if (!ssdt.PStates.empty()) {
      std::vector<TAcpiBytes> states;
      for (const TSimPState& state : ssdt.PStates) {
        states.push_back(AmlPackage({AmlDword(state.Mhz), AmlDword(state.PowerMw),
                                     AmlDword(kPStateLatency), AmlDword(kPStateLatency),
                                     AmlDword(state.Control), AmlDword(state.Control)}));
      }
      terms = AmlName("_PSS", AmlPackage(states));
    }
    Append(body, AmlScope("\\_PR." + AmlProcessorName(n), terms));
  }
  Append(body, ssdt.Aml);
  return AcpiTable("SSDT", 1, config, ssdt.OemTableId, body);
}

TAcpiBytes BuildFadt(const TSimAcpiConfig& config, uint32_t facs, uint32_t dsdt) {
  const bool acpi2 = config.RsdpRevision >= 2;
  TAcpiBytes body((acpi2 ? kFadt4Size : kFadt1Size) - kHeaderSize, 0);
  auto put = [&body](size_t at, uint64_t value, int width) {
    PutLe(body, at - kHeaderSize, value, width);
  };
  put(36, facs, 4);
  put(40, dsdt, 4);
  put(44, acpi2 ? 0 : 1, 1);  // ACPI 1.0: interrupt model, multiple APIC
  put(45, acpi2 ? 1 : 0, 1);  // preferred profile: desktop
  put(46, config.SciInterrupt, 2);
  put(48, config.SmiCommandPort, 4);
  put(52, config.AcpiEnable, 1);
  put(53, config.AcpiDisable, 1);
  put(56, config.Pm1aEventBlock, 4);
  put(64, config.Pm1aControlBlock, 4);
  put(72, config.Pm2ControlBlock, 4);
  put(76, config.PmTimerBlock, 4);
  put(80, config.Gpe0Block, 4);
  put(88, config.Pm1aEventBlock != 0 ? 4 : 0, 1);
  put(89, config.Pm1aControlBlock != 0 ? 2 : 0, 1);
  put(90, config.Pm2ControlBlock != 0 ? 1 : 0, 1);
  put(91, config.PmTimerBlock != 0 ? 4 : 0, 1);
  put(92, config.Gpe0Block != 0 ? config.Gpe0BlockLength : 0, 1);
  put(96, 101, 2);   // C2 latency above 100 us: no C2
  put(98, 1001, 2);  // C3 latency above 1000 us: no C3
  put(104, 1, 1);    // duty cycle field at bit 1, 3 bits wide
  put(105, 3, 1);
  put(106, 0x0D, 1);  // RTC day and century alarm registers
  put(108, 0x32, 1);
  uint32_t flags = kFadtFlags | (config.PmTimerExtended ? kFadtTimerExtended : 0);
  if (acpi2) {
    flags |= kFadtResetRegister;
    put(109, 0x0003, 2);  // legacy devices, 8042
    PutIoAddress(body, 116 - kHeaderSize, 0xCF9, 8);
    put(128, 0x06, 1);
    put(132, facs, 8);
    put(140, dsdt, 8);
    PutIoAddress(body, 148 - kHeaderSize, config.Pm1aEventBlock, 32);
    PutIoAddress(body, 172 - kHeaderSize, config.Pm1aControlBlock, 16);
    PutIoAddress(body, 196 - kHeaderSize, config.Pm2ControlBlock, 8);
    PutIoAddress(body, 208 - kHeaderSize, config.PmTimerBlock, 32);
    PutIoAddress(body, 220 - kHeaderSize, config.Gpe0Block,
                 static_cast<uint8_t>(config.Gpe0BlockLength * 8));
  }
  put(112, flags, 4);
  return AcpiTable("FACP", acpi2 ? 4 : 1, config, config.OemTableId, body);
}

TAcpiBytes BuildFacs(const TSimAcpiConfig& config) {
  // No checksum and no standard header: signature, length, then the firmware fields.
  TAcpiBytes facs(64, 0);
  std::copy_n("FACS", 4, facs.begin());
  PutLe(facs, 4, facs.size(), 4);
  PutLe(facs, 8, 0x00001F00, 4);  // hardware signature
  facs[32] = config.RsdpRevision >= 2 ? 1 : 0;
  return facs;
}

TAcpiBytes BuildMadt(const TSimAcpiConfig& config) {
  TAcpiBytes body;
  AppendLe(body, config.LocalApicAddress, 4);
  AppendLe(body, 1, 4);  // PCAT_COMPAT: dual 8259 present
  for (uint32_t n = 0; n < config.Processors; ++n) {
    body.insert(body.end(), {0, 8, static_cast<uint8_t>(n), static_cast<uint8_t>(n)});
    AppendLe(body, 1, 4);  // enabled
  }
  for (const TSimIoApic& apic : config.IoApics) {
    body.insert(body.end(), {1, 12, apic.Id, 0});
    AppendLe(body, apic.Address, 4);
    AppendLe(body, apic.GsiBase, 4);
  }
  // ISA IRQ 0 on pin 2; the SCI level-triggered, active high.
  body.insert(body.end(), {2, 10, 0, 0});
  AppendLe(body, 2, 4);
  AppendLe(body, 0, 2);
  body.insert(body.end(), {2, 10, 0, static_cast<uint8_t>(config.SciInterrupt)});
  AppendLe(body, config.SciInterrupt, 4);
  AppendLe(body, 0x000D, 2);
  // LINT1 of every processor is the NMI.
  body.insert(body.end(), {4, 6, 0xFF, 0x05, 0x00, 0x01});
  return AcpiTable("APIC", config.RsdpRevision >= 2 ? 2 : 1, config, config.OemTableId, body);
}

TAcpiBytes BuildEcdt(const TSimAcpiConfig& config, const TSimEcConfig& ec) {
  TAcpiBytes body(29, 0);
  auto address = [&body, &ec](size_t at, uint16_t port) {
    body[at] = ec.AddressSpace;
    body[at + 1] = 8;
    PutLe(body, at + 4, port, 8);
  };
  address(0, ec.CommandPort);
  address(12, ec.DataPort);
  body[28] = ec.GpeBit;  // after the 4-byte UID
  body.insert(body.end(), ec.Id.begin(), ec.Id.end());
  body.push_back(0);
  return AcpiTable("ECDT", 1, config, config.OemTableId, body);
}

TAcpiBytes BuildAaft(const TSimAcpiConfig& config, const std::vector<uint8_t>& entries) {
  return AcpiTable("AAFT", 1, config, config.OemTableId, entries);
}

TAcpiBytes BuildExtraTable(const TSimAcpiConfig& config, const TSimExtraTable& table) {
  return AcpiTable(table.Signature, table.Revision, config, config.OemTableId, table.Body);
}

TAcpiBytes BuildRsdt(const TSimAcpiConfig& config, const std::vector<uint32_t>& tables) {
  TAcpiBytes body;
  for (uint32_t address : tables) AppendLe(body, address, 4);
  return AcpiTable("RSDT", 1, config, config.OemTableId, body);
}

TAcpiBytes BuildXsdt(const TSimAcpiConfig& config, const std::vector<uint32_t>& tables) {
  TAcpiBytes body;
  for (uint32_t address : tables) AppendLe(body, address, 8);
  return AcpiTable("XSDT", 1, config, config.OemTableId, body);
}

TAcpiBytes BuildRsdp(const TSimAcpiConfig& config, uint32_t rsdt, uint32_t xsdt) {
  const bool acpi2 = config.RsdpRevision >= 2;
  TAcpiBytes rsdp;
  AppendText(rsdp, "RSD PTR ", 8);
  rsdp.push_back(0);
  AppendText(rsdp, config.OemId, 6);
  rsdp.push_back(acpi2 ? 2 : 0);
  AppendLe(rsdp, rsdt, 4);
  if (acpi2) {
    AppendLe(rsdp, 36, 4);
    AppendLe(rsdp, xsdt, 8);
    rsdp.insert(rsdp.end(), {0, 0, 0, 0});
  }
  rsdp[8] = ChecksumByte(rsdp.data(), 20);
  if (acpi2) rsdp[32] = ChecksumByte(rsdp.data(), 36);
  return rsdp;
}

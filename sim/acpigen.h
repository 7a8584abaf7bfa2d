// Byte builders for the simulated board's ACPI tables and the few AML objects they carry. Every
// table comes back whole, its length field and checksum set.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/simfirmware.h"

using TAcpiBytes = std::vector<uint8_t>;

void AppendLe(TAcpiBytes& bytes, uint64_t value, int width);
void PutLe(TAcpiBytes& bytes, size_t at, uint64_t value, int width);
// The byte that makes data sum to zero modulo 256 when stored in a zero checksum field.
uint8_t ChecksumByte(const uint8_t* data, size_t length);

// A table of signature with the standard header (OEM fields from config) in front of body.
TAcpiBytes AcpiTable(std::string_view signature, uint8_t revision, const TSimAcpiConfig& config,
                     std::string_view oemTableId, const TAcpiBytes& body);

// --- AML ---
TAcpiBytes AmlPkgLength(size_t contentLength);    // the encoding of contentLength + its own bytes
TAcpiBytes AmlNameString(std::string_view path);  // "\_PR.CPU0", "_PSS", ...
TAcpiBytes AmlInteger(uint64_t value);            // the shortest constant
TAcpiBytes AmlDword(uint32_t value);              // always DWordConst, as firmware writes _PSS
TAcpiBytes AmlPackage(const std::vector<TAcpiBytes>& elements);
TAcpiBytes AmlName(std::string_view name, const TAcpiBytes& data);
TAcpiBytes AmlScope(std::string_view path, const TAcpiBytes& terms);
TAcpiBytes AmlProcessor(std::string_view name, uint8_t id, uint32_t blockAddress,
                        uint8_t blockLength, const TAcpiBytes& terms);
// The name of processor n in \_PR: CPU0 ... CPUF, then CP10 ...
std::string AmlProcessorName(uint32_t n);

// --- tables ---
TAcpiBytes BuildDsdt(const TSimAcpiConfig& config);
TAcpiBytes BuildSsdt(const TSimAcpiConfig& config, const TSimSsdtConfig& ssdt);
TAcpiBytes BuildFadt(const TSimAcpiConfig& config, uint32_t facs, uint32_t dsdt);
TAcpiBytes BuildFacs(const TSimAcpiConfig& config);
TAcpiBytes BuildMadt(const TSimAcpiConfig& config);
TAcpiBytes BuildEcdt(const TSimAcpiConfig& config, const TSimEcConfig& ec);
TAcpiBytes BuildAaft(const TSimAcpiConfig& config, const std::vector<uint8_t>& entries);
TAcpiBytes BuildExtraTable(const TSimAcpiConfig& config, const TSimExtraTable& table);
TAcpiBytes BuildRsdt(const TSimAcpiConfig& config, const std::vector<uint32_t>& tables);
TAcpiBytes BuildXsdt(const TSimAcpiConfig& config, const std::vector<uint32_t>& tables);
// 20 bytes for revision 0, 36 with the XSDT address and extended checksum for revision 2.
TAcpiBytes BuildRsdp(const TSimAcpiConfig& config, uint32_t rsdt, uint32_t xsdt);

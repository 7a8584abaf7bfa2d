// TAcpiBase: finds the ACPI tables in physical memory (RSDP in the BIOS area, then the RSDT and
// everything it and the FADT point to), lists them in the order they were reached, and stores the
// few values the rest of the program needs into the register-access configuration: the PM1a event
// block, the SCI interrupt, the PM timer port and width, the I/O APIC address and the embedded
// controller's ports. Every access goes through TReadWrite; nothing fails loudly: without an RSDP
// the list is empty and the configuration keeps its values.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TReadWrite;
class TInitFile;

constexpr uint32_t kAcpiHeaderSize = 36;
// Length fields beyond this are taken for garbage: such a table is listed with its header only.
constexpr uint32_t kAcpiMaxTableLength = 1u << 20;

// The standard 36-byte table header, as found in memory and field by field.
struct TAcpiTableHeader {
  std::array<uint8_t, kAcpiHeaderSize> Raw{};
  std::string Signature;  // 4 characters
  uint32_t Length = 0;
  uint8_t Revision = 0;
  uint8_t Checksum = 0;
  std::string OemId;       // 6 characters, as stored (blank padded)
  std::string OemTableId;  // 8 characters
  uint32_t OemRevision = 0;
  std::string CreatorId;  // 4 characters
  uint32_t CreatorRevision = 0;
};
TAcpiTableHeader ParseAcpiHeader(const uint8_t* bytes);

// One listed table. Entry 0 is the RSDP, entry 1 the RSDT; the length of the others is filled in
// when the walk reaches them. Signature is empty for a table whose header could not be read.
struct TAcpiTableEntry {
  uint32_t Address = 0;
  uint32_t Length = 0;
  std::string Signature;
};

class TAcpiBase {
 public:
  // Searches the RSDP and walks the tables; stores the values it finds into config. Leaves the
  // "ACPIDecodeSSDTEx" choice to config: when set, the DSDT is followed by a scan of the 64 KiB
  // behind it for further SSDTs with valid checksums.
  TAcpiBase(TReadWrite& rw, TInitFile& config);
  TAcpiBase(const TAcpiBase&) = delete;
  TAcpiBase& operator=(const TAcpiBase&) = delete;

  bool RsdpFound() const { return RsdpFound_; }
  uint8_t RsdpRevision() const { return RsdpRevision_; }
  const std::vector<TAcpiTableEntry>& Tables() const { return Tables_; }
  // A listed table (the RSDP counts as "RSD ") starts with these four characters.
  bool HasTable(std::string_view signature) const;

  bool DsdtFound() const { return DsdtFound_; }
  const TAcpiTableHeader& DsdtHeader() const { return DsdtHeader_; }
  uint32_t DsdtAddress() const { return DsdtAddress_; }

 private:
  bool FindRsdp();
  void WalkTable(size_t index);
  void Append(uint32_t address);
  // The whole table; empty when it cannot be read.
  std::vector<uint8_t> ReadTable(uint32_t address, uint32_t length);

  void HandleRsdt(const std::vector<uint8_t>& table);
  void HandleFadt(const std::vector<uint8_t>& table);
  void HandleMadt(const std::vector<uint8_t>& table);
  void HandleEcdt(const std::vector<uint8_t>& table);
  void HandleDsdt(uint32_t address, const TAcpiTableHeader& header);
  void ScanExtraSsdts(uint32_t start);

  TReadWrite& Rw_;
  TInitFile& Config_;
  bool RsdpFound_ = false;
  uint8_t RsdpRevision_ = 0;
  std::vector<TAcpiTableEntry> Tables_;
  bool DsdtFound_ = false;
  TAcpiTableHeader DsdtHeader_;
  uint32_t DsdtAddress_ = 0;
  // Addresses whose RSDT or FADT handler has run: a table that points back at itself (directly
  // or through another) is listed again but not expanded again, so the walk always ends.
  std::vector<uint32_t> Expanded_;
};

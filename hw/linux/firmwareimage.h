// The firmware tables rebuilt as physical memory. On UEFI machines and without /dev/mem the BIOS
// area holds no RSDP or SMBIOS entry point the program could find by searching memory, but the
// kernel exports every table. From those this unit lays out a BIOS area (0xE0000-0xFFFFF) with an
// RSDP and SMBIOS entry points, and a table region holding a rebuilt RSDT/XSDT, the ACPI tables
// (FADT pointers patched to where its DSDT and FACS now lie) and the SMBIOS structure table, with
// every checksum valid.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The tables as the kernel exports them.
struct TFirmwareSource {
  std::vector<std::vector<uint8_t>> AcpiTables;  // whole tables, in the order of the file names
  std::vector<uint8_t> SmbiosEntryPoint;         // a "_SM_" or "_SM3_" entry point
  std::vector<uint8_t> SmbiosTable;              // the structure table
  std::vector<std::string> Problems;             // what could not be read, as messages
};

// Reads /sys/firmware/acpi/tables (its files; the data and dynamic folders hold tables the root
// table does not list) and /sys/firmware/dmi/tables under sysRoot.
TFirmwareSource ReadFirmwareSource(const std::string& sysRoot);

// The table with this signature (the first one), or null.
const std::vector<uint8_t>* FindAcpiTable(const TFirmwareSource& source,
                                          std::string_view signature);

struct TMemoryRegion {
  uint32_t Base = 0;
  std::vector<uint8_t> Bytes;
};

struct TPlacedTable {
  std::string Signature;
  uint32_t Address = 0;
  uint32_t Length = 0;
};

struct TFirmwareLayout {
  // The BIOS area, then the table region; empty when the source held nothing usable.
  std::vector<TMemoryRegion> Regions;
  uint32_t RsdpAddress = 0;  // 0: no ACPI tables
  uint32_t RsdtAddress = 0;
  uint32_t XsdtAddress = 0;          // 0: the FADT predates ACPI 2.0, RSDT only
  uint32_t SmbiosEntryAddress = 0;   // "_SM_", given or derived from "_SM3_"; 0: none
  uint32_t Smbios3EntryAddress = 0;  // "_SM3_"; 0: none
  uint32_t SmbiosTableAddress = 0;
  std::vector<TPlacedTable> Tables;   // every ACPI table placed, the root tables included
  std::vector<std::string> Problems;  // tables left out, with the reason
};

inline constexpr uint32_t kBiosAreaBase = 0xE0000;
inline constexpr uint32_t kBiosAreaSize = 0x20000;
// The tables go where the firmware flash is decoded on PCs: nothing the program reads lives there,
// and the addresses fit the 32-bit table pointers.
inline constexpr uint32_t kFirmwareTableBase = 0xFF000000;

TFirmwareLayout BuildFirmwareLayout(const TFirmwareSource& source);

// What the FADT says about the ACPI PM timer.
struct TPmTimerInfo {
  uint16_t Port = 0;      // 0: the machine has none (or it is not in I/O space)
  bool Extended = false;  // TMR_VAL_EXT: 32 bits instead of 24
};
TPmTimerInfo PmTimerFromFadt(const std::vector<uint8_t>& fadt);

// True when a BIOS area image holds, on 16-byte boundaries, an RSDP and a "_SM_" entry point with
// valid checksums: what the program's memory searches need.
bool BiosAreaHasEntryPoints(const uint8_t* area, size_t size);

// The sum of the bytes modulo 256 (0 for a valid checksum range).
uint8_t ByteSum(const uint8_t* data, size_t length);

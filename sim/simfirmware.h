// Firmware tables of a simulated board, laid into the BIOS area (0xE0000-0xFFFFF) the way a
// legacy BIOS leaves them: an SMBIOS 2.x entry point and structure table (BIOS, system, base
// board), and the ACPI tables from the RSDP on (RSDT, with an XSDT for ACPI 2.0, FADT, FACS, DSDT,
// MADT, optional ECDT, SSDTs with or without processor performance states, an optional "AAFT"
// feature table and any further tables a board lists), every checksum valid.
//
// Board-file sections (see sim/simboard.h for the file as a whole):
//   [SMBIOS]     Version (major.minor), EntryAddress, TableAddress, BiosVendor, BiosVersion,
//                BiosDate, SystemManufacturer, SystemProduct, SystemVersion, SystemSerial,
//                BoardManufacturer, BoardProduct, BoardVersion, BoardSerial
//   [ACPI]       RsdpRevision (0 or 2), RsdpAddress, TableBase, OemId, OemTableId, OemRevision,
//                Pm1aEventBlock, Pm1aControlBlock, Pm2ControlBlock, PmTimerBlock, PmTimerExtended,
//                Gpe0Block, Gpe0BlockLength, SciInterrupt, SmiCommandPort, AcpiEnable,
//                AcpiDisable, LocalApicAddress, Processors, IoApicN=ID,ADDRESS,GSIBASE,
//                EcCommandPort, EcDataPort, EcAddressSpace, EcGpeBit, EcId (an ECDT when
//                EcCommandPort is given), Aaft=HH HH ... (the feature table's entries)
//   [SSDT NAME]  OemTableId (default NAME), Listed (0: found only by scanning memory),
//                PStates=MHZ:MILLIWATTS:CONTROL ... (a _PSS object per processor), Aml=HH HH ...
//   [ACPI Table SIG]  Revision, Data=HH HH ... (the bytes behind the header)
// The PM timer defaults to the [Board] PmTimerPort and PmTimerBits, the processor count to the
// cores of [Processor].
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class TIniFile;
class TSimMachine;
class TSimMemory;
struct TSimMachineConfig;

struct TSimSmbiosConfig {
  uint8_t Major = 2;
  uint8_t Minor = 4;
  uint32_t EntryAddress = 0xF0100;  // 16-byte aligned in 0xF0000-0xFFFFF
  uint32_t TableAddress = 0;        // 0: right behind the entry point
  std::string BiosVendor, BiosVersion, BiosDate;
  std::string SystemManufacturer, SystemProduct, SystemVersion, SystemSerial;
  std::string BoardManufacturer, BoardProduct, BoardVersion, BoardSerial;
};

// One _PSS package: core frequency, power, and the value written to the control register (Intel:
// ratio << 8 | VID), which is also the status value.
struct TSimPState {
  uint32_t Mhz = 0;
  uint32_t PowerMw = 0;
  uint32_t Control = 0;
};

struct TSimSsdtConfig {
  std::string OemTableId;
  bool Listed = true;  // in the RSDT; otherwise only a scan of memory behind the DSDT finds it
  std::vector<TSimPState> PStates;
  std::vector<uint8_t> Aml;  // further AML behind the generated objects
};

struct TSimIoApic {
  uint8_t Id = 0;
  uint32_t Address = 0;
  uint32_t GsiBase = 0;
};

struct TSimEcConfig {
  uint16_t CommandPort = 0x66;
  uint16_t DataPort = 0x62;
  uint8_t AddressSpace = 1;  // system I/O
  uint8_t GpeBit = 0;
  std::string Id = "\\_SB.PCI0.LPCB.EC0";
};

struct TSimExtraTable {
  std::string Signature;
  uint8_t Revision = 1;
  std::vector<uint8_t> Body;
};

struct TSimAcpiConfig {
  uint8_t RsdpRevision = 0;  // 0: ACPI 1.0 (RSDT, FADT revision 1); 2: with XSDT, FADT revision 4
  uint32_t RsdpAddress = 0xF0000;
  uint32_t TableBase = 0xE0000;
  std::string OemId = "KORSIM";
  std::string OemTableId = "SIMBOARD";
  uint32_t OemRevision = 1;
  uint16_t Pm1aEventBlock = 0x400;
  uint16_t Pm1aControlBlock = 0x404;
  uint16_t Pm2ControlBlock = 0;
  uint16_t PmTimerBlock = 0x408;
  bool PmTimerExtended = false;  // TMR_VAL_EXT: a 32-bit timer
  uint16_t Gpe0Block = 0;
  uint8_t Gpe0BlockLength = 0;
  uint16_t SciInterrupt = 9;
  uint32_t SmiCommandPort = 0xB2;
  uint8_t AcpiEnable = 0xA0;
  uint8_t AcpiDisable = 0xA1;
  uint32_t LocalApicAddress = 0xFEE00000;
  uint32_t Processors = 1;
  std::vector<TSimIoApic> IoApics{{2, 0xFEC00000, 0}};
  std::optional<TSimEcConfig> Ec;
  std::vector<TSimSsdtConfig> Ssdts;
  std::optional<std::vector<uint8_t>> Aaft;
  std::vector<TSimExtraTable> ExtraTables;
};

struct TSimFirmwareConfig {
  std::optional<TSimSmbiosConfig> Smbios;
  std::optional<TSimAcpiConfig> Acpi;
};

struct TSimFirmwareBlock {
  std::string Name;  // "RSDP", "_SM_", "SMBIOS table" or the table's signature
  uint32_t Address = 0;
  std::vector<uint8_t> Bytes;
  bool Listed = false;  // an ACPI table the RSDT (and XSDT) points to
};

struct TSimFirmwareImage {
  std::vector<TSimFirmwareBlock> Blocks;  // in placement order, entry points last
  uint32_t RsdpAddress = 0;
  uint32_t RsdtAddress = 0;
  uint32_t XsdtAddress = 0;
  uint32_t SmbiosEntryAddress = 0;
  uint32_t SmbiosTableAddress = 0;

  const TSimFirmwareBlock* Find(const std::string& name, size_t n = 0) const;
};

// Lays the tables out; false with a message when a table does not fit the BIOS area, blocks
// overlap or an address is not 16-byte aligned.
bool BuildSimFirmwareImage(const TSimFirmwareConfig& config, TSimFirmwareImage* image,
                           std::string* error);
// Writes the blocks into memory; the rest of the BIOS area is left as it is.
void WriteSimFirmware(const TSimFirmwareImage& image, TSimMemory& memory);

// Reads the firmware sections of a board file. Defaults that depend on the machine (PM timer,
// processors) come from machine. A board without [SMBIOS] and [ACPI] gives an empty config.
bool ReadSimFirmwareConfig(const TIniFile& ini, const TSimMachineConfig& machine,
                           TSimFirmwareConfig* config, std::string* error);
// Both steps for a built machine: reads the board file's firmware sections and lays the tables
// into its BIOS area.
bool BuildBoardFirmware(const TIniFile& ini, TSimMachine& machine, std::string* error);

// The register-access configuration (KorZem.ini beside the executable): the settings of the
// hardware layer, the named register lists, and the OS detector. Loading reads everything at once;
// destruction writes section "Config" back on the NT family, so values found on this machine (ACPI
// ports, EC ports) replace the shipped ones.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/inifile.h"
#include "hw/osversion.h"
#include "os/sysinfo.h"

// "IOID" n: an index/data port pair with its configuration-mode scripts.
struct IoIDStruc {
  std::string Name;
  uint16_t IndexPort = 0;
  uint16_t DataPort = 0;
  std::string EnterConfig;
  std::string ExitConfig;
};

// "PCIID" n: an index/data pair inside a PCI function's configuration space.
struct PciIDStruc {
  std::string Name;
  uint8_t Bus = 0;
  uint8_t Dev = 0;
  uint8_t Fun = 0;
  uint32_t ID = 0;
  uint8_t IndexRegister = 0;
  uint8_t DataRegister = 0;
  uint32_t StartAddress = 0;
  uint8_t AddressStep = 1;
  uint32_t AccessMode = 0;
};

// "MEMID" n: an index/data pair in memory space.
struct MemIDStruc {
  std::string Name;
  uint32_t IndexRegister = 0;
  uint32_t DataRegister = 0;
  uint32_t StartAddress = 0;
  uint32_t AddressStep = 1;
};

// "IOS" n: a named I/O space.
struct IosStruc {
  std::string Name;
  uint16_t IoBase = 0;
};

// "MEM" n: a named memory range.
struct MemStruc {
  std::string Name;
  uint32_t MemoryBase = 0;
};

// The configuration file's name for an executable: its path with the extension replaced by ".ini"
// (appended when it has none).
std::string InitFileName(const std::string& executablePath);

class TInitFile : public TmiFile {
 public:
  // Reads fileName (a missing file gives every default), opens the register-access debug file when
  // "RwDebug" asks for it (its name is relative to fileName's directory), and detects the OS.
  TInitFile(const std::string& fileName, IOsSystem& system);
  ~TInitFile() override;

  // The "Config" section is written back at destruction (NT family only) so that the file holds
  // what was found on this machine. Tools that run on a simulated or recorded machine switch it
  // off: those values belong to no real PC.
  bool WriteBackAtExit = true;
  TInitFile(const TInitFile&) = delete;
  TInitFile& operator=(const TInitFile&) = delete;

  // The directory of the file (the executable's directory), without a trailing separator.
  const std::string& Directory() const { return Directory_; }

  // --- "Config": settings this program acts on ---
  bool DetectPCIEBase = true;
  uint32_t PCIEBaseAddress = 0xFFFFFFFF;  // also holds the detected base (in memory)
  uint32_t CpuClkInterval = 800;
  uint16_t AcpiPmBase = 0;  // these five are overwritten in memory from the ACPI tables
  uint32_t AcpiSciIrq = 9;
  uint16_t EC_SC = 0x66;
  uint16_t EC_DATA = 0x62;
  uint8_t EC_AddressSpaceID = 1;
  bool ACPIDecodeSSDTEx = true;
  bool DisableSuperIo = false;
  bool RwDebug = false;
  std::string RwDebugFile = "RwDebug.rw";

  // In memory only, from the FADT.
  uint16_t PmTimerPort = 0;
  uint16_t PmTimerWidth = 0;  // 0x100 for a 32-bit timer, 0 for 24 bits

  std::unique_ptr<TOsVersion> OsVersion;

  // --- "Config": settings carried for the file's sake only ---
  bool OpenLast = true;
  bool IEEEOhci1394Guid = true;
  bool EthernetMacAddress = true;
  bool ChecksumAmlFile = true;
  bool ACPIASLDecode = true;
  bool ACPIDecodeRSDP = true;
  bool ACPIDecodeRSDT = true;
  bool ACPIDecodeFACP = true;
  bool ACPIDecodeAPIC = true;
  bool ACPIDecodeBOOT = true;
  bool ACPIDecodeSBST = true;
  bool ACPIDecodeHPET = true;
  bool ACPIDecodeECDT = true;
  bool ACPIDecodeMCFG = true;
  bool ACPIDecodeWDRT = true;
  bool ACPIDecodeDBGP = true;
  bool ACPIDecodeSPCR = true;
  bool ACPIDecodeTCPA = true;
  bool ACPIDecodeSPMI = true;
  bool ACPIDecodeCPEP = true;
  bool ACPIDecodeSLIT = true;
  bool ACPIDecodeSLIC = true;
  bool ACPIDecodeSRAT = true;
  bool ACPIDecodeERST = true;
  bool ACPIDecodeBERT = true;
  bool ACPIDecodeHEST = true;
  bool ACPIDecodeEINJ = true;
  bool ACPIDecodeDMAR = true;
  bool ACPIDecodeSSDT = true;
  bool ACPIDecodeDSDT = true;
  bool ACPIDecodeFACS = true;
  bool ACPIDecodeOEM = true;
  bool PCIIOonPCIE = true;
  bool CpuClkDetect = true;
  bool AtaAtapiAhci = true;
  bool BckSupport = true;
  bool RemotePcieSupport = false;
  bool RemoteSioSupport = false;
  bool RemoteSMBusSupport = false;
  bool ACPIDecodeAAFT = false;
  bool PCIEMMIOonPCI = false;
  bool DisableSmbus = false;
  bool AtaAtapiForceAhci = false;

  uint32_t DefaultInterval = 1000;
  uint32_t PciInterval = 1000;
  uint32_t PciIndexInterval = 1000;
  uint32_t IoSpaceInterval = 1000;
  uint32_t IoIndexInterval = 1000;
  uint32_t MemoryInterval = 1000;
  uint32_t MemoryIndexInterval = 1000;
  uint32_t SuperIoInterval = 1000;
  uint32_t CpuMsrInterval = 1000;
  uint32_t EcRamInterval = 1000;

  uint32_t PciIndex = 0;
  uint8_t PciIndexBus = 0xFF;
  uint8_t PciIndexDev = 0xFF;
  uint8_t PciIndexFun = 0xFF;
  uint32_t PciIndexID = 0xFFFFFFFF;
  uint8_t PciIndexIndex = 0xFF;
  uint8_t PciIndexData = 0xFF;
  uint32_t PciIndexStart = 0xFFFFFFFF;
  uint8_t PciIndexStep = 0xFF;
  uint16_t IoSpaceBase = 0xFFFF;
  uint16_t IoIndexPort = 0;
  uint16_t IoDataPort = 0;
  uint32_t MemoryBase = 0xFFFFFFFF;
  uint8_t MemoryIndexIndex = 0xFF;
  uint8_t MemoryIndexData = 0xFF;
  uint32_t MemoryIndexStart = 0xFFFFFFFF;
  uint8_t MemoryIndexStep = 0xFF;
  uint32_t ApicAddress = 0xFEC00000;
  uint32_t RemoteOption = 2;
  uint32_t ComPortBaudRate = 6;
  uint32_t ReadComPortInterval = 200;

  std::string ActiveList;
  std::string CommandFile = "CMD.rw";

  // --- record sections, in file order ---
  std::vector<IoIDStruc> IoIdList;
  std::vector<PciIDStruc> PciIdList;
  std::vector<MemIDStruc> MemIdList;
  std::vector<IosStruc> IosList;  // the ACPI PM base entry first when AcpiPmBase is set
  std::vector<MemStruc> MemList;

  TStrings SioConfigKeys;  // "SIOConfigKey": ConfigKey0, ConfigKey1, ... up to the first empty
  TStrings MsrUserLines;   // "MSR_User" as "name=value" lines

  // "DIMMSPD": the SPD addresses of slots 1..DimmSlotNum (DimmAddress[0] is slot 1).
  uint8_t DimmSlotNum = 8;
  std::vector<uint8_t> DimmAddress;

 private:
  void ReadConfig();
  void ReadRecordSections();
  void ReadOtherSections();
  void WriteBack();

  std::string Directory_;
  bool OpenedDebugFile_ = false;
};

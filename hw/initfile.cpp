#include "hw/initfile.h"

#include "base/textfmt.h"
#include "base/trace.h"
#include "os/files.h"

namespace {

constexpr const char* kConfig = "Config";
constexpr const char* kSioConfigKey = "SIOConfigKey";
constexpr const char* kMsrUser = "MSR_User";
constexpr const char* kDimmSpd = "DIMMSPD";

bool IsSeparator(char c) {
  return c == '/' || c == OsPathSeparator();
}

size_t LastSeparator(const std::string& path) {
  for (size_t i = path.size(); i > 0; --i) {
    if (IsSeparator(path[i - 1])) return i - 1;
  }
  return std::string::npos;
}

// Reads an integer key into a field of any width; the field's current value is the default. Wider
// unsigned values travel through the INI file as their 32-bit two's complement.
template <typename T>
void ReadNumber(const TIniFile& ini, std::string_view section, std::string_view key, T& field) {
  field = static_cast<T>(ini.ReadInteger(section, key, static_cast<int32_t>(field)));
}

template <typename T>
void WriteNumber(TIniFile& ini, std::string_view key, T value) {
  ini.WriteInteger(kConfig, key, static_cast<int32_t>(value));
}

struct TBoolKey {
  const char* Key;
  bool TInitFile::*Field;
};

// Boolean "Config" keys, read with the member's initial value as the default.
constexpr TBoolKey kBoolKeys[] = {
    {"DetectPCIEBase", &TInitFile::DetectPCIEBase},
    {"ACPIDecodeSSDTEx", &TInitFile::ACPIDecodeSSDTEx},
    {"DisableSuperIo", &TInitFile::DisableSuperIo},
    {"RwDebug", &TInitFile::RwDebug},
    {"OpenLast", &TInitFile::OpenLast},
    {"IEEEOhci1394Guid", &TInitFile::IEEEOhci1394Guid},
    {"EthernetMacAddress", &TInitFile::EthernetMacAddress},
    {"ChecksumAmlFile", &TInitFile::ChecksumAmlFile},
    {"ACPIASLDecode", &TInitFile::ACPIASLDecode},
    {"ACPIDecodeRSDP", &TInitFile::ACPIDecodeRSDP},
    {"ACPIDecodeRSDT", &TInitFile::ACPIDecodeRSDT},
    {"ACPIDecodeFACP", &TInitFile::ACPIDecodeFACP},
    {"ACPIDecodeAPIC", &TInitFile::ACPIDecodeAPIC},
    {"ACPIDecodeBOOT", &TInitFile::ACPIDecodeBOOT},
    {"ACPIDecodeSBST", &TInitFile::ACPIDecodeSBST},
    {"ACPIDecodeHPET", &TInitFile::ACPIDecodeHPET},
    {"ACPIDecodeECDT", &TInitFile::ACPIDecodeECDT},
    {"ACPIDecodeMCFG", &TInitFile::ACPIDecodeMCFG},
    {"ACPIDecodeWDRT", &TInitFile::ACPIDecodeWDRT},
    {"ACPIDecodeDBGP", &TInitFile::ACPIDecodeDBGP},
    {"ACPIDecodeSPCR", &TInitFile::ACPIDecodeSPCR},
    {"ACPIDecodeTCPA", &TInitFile::ACPIDecodeTCPA},
    {"ACPIDecodeSPMI", &TInitFile::ACPIDecodeSPMI},
    {"ACPIDecodeCPEP", &TInitFile::ACPIDecodeCPEP},
    {"ACPIDecodeSLIT", &TInitFile::ACPIDecodeSLIT},
    {"ACPIDecodeSLIC", &TInitFile::ACPIDecodeSLIC},
    {"ACPIDecodeSRAT", &TInitFile::ACPIDecodeSRAT},
    {"ACPIDecodeERST", &TInitFile::ACPIDecodeERST},
    {"ACPIDecodeBERT", &TInitFile::ACPIDecodeBERT},
    {"ACPIDecodeHEST", &TInitFile::ACPIDecodeHEST},
    {"ACPIDecodeEINJ", &TInitFile::ACPIDecodeEINJ},
    {"ACPIDecodeDMAR", &TInitFile::ACPIDecodeDMAR},
    {"ACPIDecodeSSDT", &TInitFile::ACPIDecodeSSDT},
    {"ACPIDecodeDSDT", &TInitFile::ACPIDecodeDSDT},
    {"ACPIDecodeFACS", &TInitFile::ACPIDecodeFACS},
    {"ACPIDecodeOEM", &TInitFile::ACPIDecodeOEM},
    {"PCIIOonPCIE", &TInitFile::PCIIOonPCIE},
    {"CpuClkDetect", &TInitFile::CpuClkDetect},
    {"AtaAtapiAhci", &TInitFile::AtaAtapiAhci},
    {"BckSupport", &TInitFile::BckSupport},
    {"RemotePcieSupport", &TInitFile::RemotePcieSupport},
    {"RemoteSioSupport", &TInitFile::RemoteSioSupport},
    {"RemoteSMBusSupport", &TInitFile::RemoteSMBusSupport},
    {"ACPIDecodeAAFT", &TInitFile::ACPIDecodeAAFT},
    {"PCIEMMIOonPCI", &TInitFile::PCIEMMIOonPCI},
    {"DisableSmbus", &TInitFile::DisableSmbus},
    {"AtaAtapiForceAhci", &TInitFile::AtaAtapiForceAhci},
};

}  // namespace

std::string InitFileName(const std::string& executablePath) {
  const size_t nameStart = LastSeparator(executablePath) + 1;  // npos + 1 == 0
  const size_t dot = executablePath.rfind('.');
  if (dot == std::string::npos || dot < nameStart) return executablePath + ".ini";
  return executablePath.substr(0, dot) + ".ini";
}

TInitFile::TInitFile(const std::string& fileName, IOsSystem& system) : TmiFile(fileName) {
  const size_t slash = LastSeparator(fileName);
  Directory_ = slash == std::string::npos ? "." : fileName.substr(0, slash);

  ReadConfig();
  // Opened before the OS detection so that its lines are in the file.
  if (RwDebug) {
    RwDebugOpen(Directory_ + OsPathSeparator() + RwDebugFile);
    OpenedDebugFile_ = true;
  }
  OsVersion = std::make_unique<TOsVersion>(system);
  ReadRecordSections();
  ReadOtherSections();
}

TInitFile::~TInitFile() {
  // 9x systems keep the shipped file as it is.
  if (WriteBackAtExit && OsVersion && OsVersion->OsKind != 0) WriteBack();
  IoIdList.clear();
  PciIdList.clear();
  MemIdList.clear();
  IosList.clear();
  MemList.clear();
  OsVersion.reset();
  if (OpenedDebugFile_) RwDebugClose();
}

void TInitFile::ReadConfig() {
  for (const TBoolKey& entry : kBoolKeys) {
    this->*entry.Field = ReadBool(kConfig, entry.Key, this->*entry.Field);
  }
  ReadNumber(*this, kConfig, "PCIEBaseAddress", PCIEBaseAddress);
  ReadNumber(*this, kConfig, "CpuClkInterval", CpuClkInterval);
  ReadNumber(*this, kConfig, "AcpiPmBase", AcpiPmBase);
  ReadNumber(*this, kConfig, "AcpiSciIrq", AcpiSciIrq);
  ReadNumber(*this, kConfig, "EC_SC", EC_SC);
  ReadNumber(*this, kConfig, "EC_DATA", EC_DATA);
  ReadNumber(*this, kConfig, "EC_AddressSpaceID", EC_AddressSpaceID);

  ReadNumber(*this, kConfig, "DefaultInterval", DefaultInterval);
  ReadNumber(*this, kConfig, "PciInterval", PciInterval);
  ReadNumber(*this, kConfig, "PciIndexInterval", PciIndexInterval);
  ReadNumber(*this, kConfig, "IoSpaceInterval", IoSpaceInterval);
  ReadNumber(*this, kConfig, "IoIndexInterval", IoIndexInterval);
  ReadNumber(*this, kConfig, "MemoryInterval", MemoryInterval);
  ReadNumber(*this, kConfig, "MemoryIndexInterval", MemoryIndexInterval);
  ReadNumber(*this, kConfig, "SuperIoInterval", SuperIoInterval);
  ReadNumber(*this, kConfig, "CpuMsrInterval", CpuMsrInterval);
  ReadNumber(*this, kConfig, "EcRamInterval", EcRamInterval);

  ReadNumber(*this, kConfig, "PciIndex", PciIndex);
  ReadNumber(*this, kConfig, "PciIndexBus", PciIndexBus);
  ReadNumber(*this, kConfig, "PciIndexDev", PciIndexDev);
  ReadNumber(*this, kConfig, "PciIndexFun", PciIndexFun);
  ReadNumber(*this, kConfig, "PciIndexID", PciIndexID);
  ReadNumber(*this, kConfig, "PciIndexIndex", PciIndexIndex);
  ReadNumber(*this, kConfig, "PciIndexData", PciIndexData);
  ReadNumber(*this, kConfig, "PciIndexStart", PciIndexStart);
  ReadNumber(*this, kConfig, "PciIndexStep", PciIndexStep);
  ReadNumber(*this, kConfig, "IoSpaceBase", IoSpaceBase);
  ReadNumber(*this, kConfig, "IoIndexPort", IoIndexPort);
  ReadNumber(*this, kConfig, "IoDataPort", IoDataPort);
  ReadNumber(*this, kConfig, "MemoryBase", MemoryBase);
  ReadNumber(*this, kConfig, "MemoryIndexIndex", MemoryIndexIndex);
  ReadNumber(*this, kConfig, "MemoryIndexData", MemoryIndexData);
  ReadNumber(*this, kConfig, "MemoryIndexStart", MemoryIndexStart);
  ReadNumber(*this, kConfig, "MemoryIndexStep", MemoryIndexStep);
  ReadNumber(*this, kConfig, "ApicAddress", ApicAddress);
  ReadNumber(*this, kConfig, "RemoteOption", RemoteOption);
  ReadNumber(*this, kConfig, "ComPortBaudRate", ComPortBaudRate);
  ReadNumber(*this, kConfig, "ReadComPortInterval", ReadComPortInterval);

  ActiveList = ReadString(kConfig, "ActiveList", ActiveList);
  CommandFile = ReadString(kConfig, "CommandFile", CommandFile);
  RwDebugFile = ReadString(kConfig, "RwDebugFile", RwDebugFile);
}

void TInitFile::ReadRecordSections() {
  // Each list ends at the first missing section number.
  for (int n = 1;; ++n) {
    const std::string section = "IOID" + std::to_string(n);
    if (!SectionExists(section)) break;
    IoIDStruc record;
    record.Name = ReadString(section, "Name", "");
    ReadNumber(*this, section, "IndexPort", record.IndexPort);
    ReadNumber(*this, section, "DataPort", record.DataPort);
    record.EnterConfig = ReadString(section, "EnterConfig", "");
    record.ExitConfig = ReadString(section, "ExitConfig", "");
    IoIdList.push_back(std::move(record));
  }
  for (int n = 1;; ++n) {
    const std::string section = "PCIID" + std::to_string(n);
    if (!SectionExists(section)) break;
    PciIDStruc record;
    record.Name = ReadString(section, "Name", "");
    ReadNumber(*this, section, "Bus", record.Bus);
    ReadNumber(*this, section, "Dev", record.Dev);
    ReadNumber(*this, section, "Fun", record.Fun);
    ReadNumber(*this, section, "ID", record.ID);
    ReadNumber(*this, section, "IndexRegister", record.IndexRegister);
    ReadNumber(*this, section, "DataRegister", record.DataRegister);
    ReadNumber(*this, section, "StartAddress", record.StartAddress);
    ReadNumber(*this, section, "AddressStep", record.AddressStep);
    ReadNumber(*this, section, "AccessMode", record.AccessMode);
    PciIdList.push_back(std::move(record));
  }
  for (int n = 1;; ++n) {
    const std::string section = "MEMID" + std::to_string(n);
    if (!SectionExists(section)) break;
    MemIDStruc record;
    record.Name = ReadString(section, "Name", "");
    ReadNumber(*this, section, "IndexRegister", record.IndexRegister);
    ReadNumber(*this, section, "DataRegister", record.DataRegister);
    ReadNumber(*this, section, "StartAddress", record.StartAddress);
    ReadNumber(*this, section, "AddressStep", record.AddressStep);
    MemIdList.push_back(std::move(record));
  }

  if (AcpiPmBase != 0)
    IosList.push_back({"ACPI PM Base (" + HexWord(AcpiPmBase) + ")", AcpiPmBase});
  for (int n = 1;; ++n) {
    const std::string section = "IOS" + std::to_string(n);
    if (!SectionExists(section)) break;
    IosStruc record;
    record.Name = ReadString(section, "Name", "");
    ReadNumber(*this, section, "IoBase", record.IoBase);
    IosList.push_back(std::move(record));
  }
  for (int n = 1;; ++n) {
    const std::string section = "MEM" + std::to_string(n);
    if (!SectionExists(section)) break;
    MemStruc record;
    record.Name = ReadString(section, "Name", "");
    ReadNumber(*this, section, "MemoryBase", record.MemoryBase);
    MemList.push_back(std::move(record));
  }
}

void TInitFile::ReadOtherSections() {
  for (int i = 0;; ++i) {
    std::string value = ReadString(kSioConfigKey, "ConfigKey" + std::to_string(i), "");
    if (value.empty()) break;
    SioConfigKeys.push_back(std::move(value));
  }
  ReadSectionValues(kMsrUser, MsrUserLines);

  ReadNumber(*this, kDimmSpd, "DimmSlotNum", DimmSlotNum);
  DimmAddress.clear();
  for (int slot = 1; slot <= DimmSlotNum; ++slot) {
    uint8_t address = static_cast<uint8_t>(0xA0 + 2 * (slot - 1));
    ReadNumber(*this, kDimmSpd, "Dimm" + std::to_string(slot) + "Address", address);
    DimmAddress.push_back(address);
  }
}

void TInitFile::WriteBack() {
  TmiFile writer(FileName());
  writer.WriteString(kConfig, "ActiveList", ActiveList);
  WriteNumber(writer, "DefaultInterval", DefaultInterval);
  WriteNumber(writer, "PciInterval", PciInterval);
  WriteNumber(writer, "PciIndex", PciIndex);
  WriteNumber(writer, "PciIndexInterval", PciIndexInterval);
  WriteNumber(writer, "PciIndexBus", PciIndexBus);
  WriteNumber(writer, "PciIndexDev", PciIndexDev);
  WriteNumber(writer, "PciIndexFun", PciIndexFun);
  WriteNumber(writer, "PciIndexID", PciIndexID);
  WriteNumber(writer, "PciIndexIndex", PciIndexIndex);
  WriteNumber(writer, "PciIndexData", PciIndexData);
  WriteNumber(writer, "PciIndexStart", PciIndexStart);
  WriteNumber(writer, "PciIndexStep", PciIndexStep);
  WriteNumber(writer, "IoSpaceInterval", IoSpaceInterval);
  WriteNumber(writer, "IoSpaceBase", IoSpaceBase);
  WriteNumber(writer, "AcpiPmBase", AcpiPmBase);
  WriteNumber(writer, "IoIndexInterval", IoIndexInterval);
  WriteNumber(writer, "IoIndexPort", IoIndexPort);
  WriteNumber(writer, "IoDataPort", IoDataPort);
  WriteNumber(writer, "MemoryInterval", MemoryInterval);
  WriteNumber(writer, "MemoryBase", MemoryBase);
  WriteNumber(writer, "MemoryIndexInterval", MemoryIndexInterval);
  WriteNumber(writer, "MemoryIndexIndex", MemoryIndexIndex);
  WriteNumber(writer, "MemoryIndexData", MemoryIndexData);
  WriteNumber(writer, "MemoryIndexStart", MemoryIndexStart);
  WriteNumber(writer, "MemoryIndexStep", MemoryIndexStep);
  WriteNumber(writer, "SuperIoInterval", SuperIoInterval);
  writer.WriteString(kConfig, "CommandFile", CommandFile);
  WriteNumber(writer, "CpuMsrInterval", CpuMsrInterval);
  WriteNumber(writer, "EcRamInterval", EcRamInterval);
  WriteNumber(writer, "EC_SC", EC_SC);
  WriteNumber(writer, "EC_DATA", EC_DATA);
  WriteNumber(writer, "EC_AddressSpaceID", EC_AddressSpaceID);
  WriteNumber(writer, "ApicAddress", ApicAddress);
  WriteNumber(writer, "AcpiSciIrq", AcpiSciIrq);
  WriteNumber(writer, "RemoteOption", RemoteOption);
  WriteNumber(writer, "ComPortBaudRate", ComPortBaudRate);

  for (size_t i = 0; i < SioConfigKeys.size(); ++i) {
    writer.WriteString(kSioConfigKey, "ConfigKey" + std::to_string(i), SioConfigKeys[i]);
  }

  writer.EraseSection(kMsrUser);
  for (const std::string& line : MsrUserLines) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    writer.WriteString(kMsrUser, line.substr(0, equals), line.substr(equals + 1));
  }
}

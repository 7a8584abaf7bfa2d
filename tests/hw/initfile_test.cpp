#include "hw/initfile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/trace.h"
#include "os/test/fakesystem.h"

namespace {

namespace fs = std::filesystem;

class InitFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    Dir = fs::path(::testing::TempDir()) /
          ("initfile-" + std::to_string(::getpid()) + "-" + info->name());
    fs::remove_all(Dir);
    fs::create_directories(Dir);
    Path = (Dir / "KorZem.ini").string();
  }
  void TearDown() override { fs::remove_all(Dir); }

  void WriteFile(const std::string& text) const {
    std::ofstream out(Path, std::ios::binary);
    out << text;
  }
  static std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  fs::path Dir;
  std::string Path;
  TFakeOsSystem NtSystem;  // Windows 7, native: OsKind 4
};

TFakeOsSystem Win98System() {
  TFakeOsSystem system;
  system.Version = Fake9xVersion(10);
  return system;
}

struct TBoolField {
  const char* Key;
  bool TInitFile::*Field;
  bool Default;
};

const std::vector<TBoolField>& BoolFields() {
  static const std::vector<TBoolField> fields{
      {"DetectPCIEBase", &TInitFile::DetectPCIEBase, true},
      {"ACPIDecodeSSDTEx", &TInitFile::ACPIDecodeSSDTEx, true},
      {"DisableSuperIo", &TInitFile::DisableSuperIo, false},
      {"OpenLast", &TInitFile::OpenLast, true},
      {"IEEEOhci1394Guid", &TInitFile::IEEEOhci1394Guid, true},
      {"EthernetMacAddress", &TInitFile::EthernetMacAddress, true},
      {"ChecksumAmlFile", &TInitFile::ChecksumAmlFile, true},
      {"ACPIASLDecode", &TInitFile::ACPIASLDecode, true},
      {"ACPIDecodeRSDP", &TInitFile::ACPIDecodeRSDP, true},
      {"ACPIDecodeRSDT", &TInitFile::ACPIDecodeRSDT, true},
      {"ACPIDecodeFACP", &TInitFile::ACPIDecodeFACP, true},
      {"ACPIDecodeAPIC", &TInitFile::ACPIDecodeAPIC, true},
      {"ACPIDecodeBOOT", &TInitFile::ACPIDecodeBOOT, true},
      {"ACPIDecodeSBST", &TInitFile::ACPIDecodeSBST, true},
      {"ACPIDecodeHPET", &TInitFile::ACPIDecodeHPET, true},
      {"ACPIDecodeECDT", &TInitFile::ACPIDecodeECDT, true},
      {"ACPIDecodeMCFG", &TInitFile::ACPIDecodeMCFG, true},
      {"ACPIDecodeWDRT", &TInitFile::ACPIDecodeWDRT, true},
      {"ACPIDecodeDBGP", &TInitFile::ACPIDecodeDBGP, true},
      {"ACPIDecodeSPCR", &TInitFile::ACPIDecodeSPCR, true},
      {"ACPIDecodeTCPA", &TInitFile::ACPIDecodeTCPA, true},
      {"ACPIDecodeSPMI", &TInitFile::ACPIDecodeSPMI, true},
      {"ACPIDecodeCPEP", &TInitFile::ACPIDecodeCPEP, true},
      {"ACPIDecodeSLIT", &TInitFile::ACPIDecodeSLIT, true},
      {"ACPIDecodeSLIC", &TInitFile::ACPIDecodeSLIC, true},
      {"ACPIDecodeSRAT", &TInitFile::ACPIDecodeSRAT, true},
      {"ACPIDecodeERST", &TInitFile::ACPIDecodeERST, true},
      {"ACPIDecodeBERT", &TInitFile::ACPIDecodeBERT, true},
      {"ACPIDecodeHEST", &TInitFile::ACPIDecodeHEST, true},
      {"ACPIDecodeEINJ", &TInitFile::ACPIDecodeEINJ, true},
      {"ACPIDecodeDMAR", &TInitFile::ACPIDecodeDMAR, true},
      {"ACPIDecodeSSDT", &TInitFile::ACPIDecodeSSDT, true},
      {"ACPIDecodeDSDT", &TInitFile::ACPIDecodeDSDT, true},
      {"ACPIDecodeFACS", &TInitFile::ACPIDecodeFACS, true},
      {"ACPIDecodeOEM", &TInitFile::ACPIDecodeOEM, true},
      {"PCIIOonPCIE", &TInitFile::PCIIOonPCIE, true},
      {"CpuClkDetect", &TInitFile::CpuClkDetect, true},
      {"AtaAtapiAhci", &TInitFile::AtaAtapiAhci, true},
      {"BckSupport", &TInitFile::BckSupport, true},
      {"RemotePcieSupport", &TInitFile::RemotePcieSupport, false},
      {"RemoteSioSupport", &TInitFile::RemoteSioSupport, false},
      {"RemoteSMBusSupport", &TInitFile::RemoteSMBusSupport, false},
      {"ACPIDecodeAAFT", &TInitFile::ACPIDecodeAAFT, false},
      {"PCIEMMIOonPCI", &TInitFile::PCIEMMIOonPCI, false},
      {"DisableSmbus", &TInitFile::DisableSmbus, false},
      {"AtaAtapiForceAhci", &TInitFile::AtaAtapiForceAhci, false},
  };
  return fields;
}

// The keys written back at shutdown, in the order they are written.
const std::vector<std::string> kWrittenBack{"ActiveList",
                                            "DefaultInterval",
                                            "PciInterval",
                                            "PciIndex",
                                            "PciIndexInterval",
                                            "PciIndexBus",
                                            "PciIndexDev",
                                            "PciIndexFun",
                                            "PciIndexID",
                                            "PciIndexIndex",
                                            "PciIndexData",
                                            "PciIndexStart",
                                            "PciIndexStep",
                                            "IoSpaceInterval",
                                            "IoSpaceBase",
                                            "AcpiPmBase",
                                            "IoIndexInterval",
                                            "IoIndexPort",
                                            "IoDataPort",
                                            "MemoryInterval",
                                            "MemoryBase",
                                            "MemoryIndexInterval",
                                            "MemoryIndexIndex",
                                            "MemoryIndexData",
                                            "MemoryIndexStart",
                                            "MemoryIndexStep",
                                            "SuperIoInterval",
                                            "CommandFile",
                                            "CpuMsrInterval",
                                            "EcRamInterval",
                                            "EC_SC",
                                            "EC_DATA",
                                            "EC_AddressSpaceID",
                                            "ApicAddress",
                                            "AcpiSciIrq",
                                            "RemoteOption",
                                            "ComPortBaudRate"};

}  // namespace

TEST(InitFileName, ReplacesOnlyTheFileNamesExtension) {
  EXPECT_EQ(InitFileName("/opt/korvan/KorZem.exe"), "/opt/korvan/KorZem.ini");
  EXPECT_EQ(InitFileName("/opt/kor.van/KorZem"), "/opt/kor.van/KorZem.ini");
  EXPECT_EQ(InitFileName("/opt/korvan/Kor.Zem.exe"), "/opt/korvan/Kor.Zem.ini");
  EXPECT_EQ(InitFileName("KorZem.exe"), "KorZem.ini");
}

TEST_F(InitFileTest, MissingFileGivesDefaultsAndOn9xStaysMissing) {
  TFakeOsSystem system = Win98System();
  {
    TInitFile ini(Path, system);
    EXPECT_TRUE(ini.DetectPCIEBase);
    EXPECT_EQ(ini.PCIEBaseAddress, 0xFFFFFFFFu);
    EXPECT_EQ(ini.CpuClkInterval, 800u);
    EXPECT_EQ(ini.AcpiPmBase, 0);
    EXPECT_EQ(ini.AcpiSciIrq, 9u);
    EXPECT_EQ(ini.EC_SC, 0x66);
    EXPECT_EQ(ini.EC_DATA, 0x62);
    EXPECT_EQ(ini.EC_AddressSpaceID, 1);
    EXPECT_FALSE(ini.RwDebug);
    EXPECT_EQ(ini.RwDebugFile, "RwDebug.rw");
    EXPECT_EQ(ini.CommandFile, "CMD.rw");
    EXPECT_EQ(ini.ActiveList, "");
    EXPECT_EQ(ini.PciIndexID, 0xFFFFFFFFu);
    EXPECT_EQ(ini.IoSpaceBase, 0xFFFF);
    EXPECT_EQ(ini.ApicAddress, 0xFEC00000u);
    EXPECT_EQ(ini.PmTimerPort, 0);
    EXPECT_EQ(ini.PmTimerWidth, 0);
    for (const TBoolField& field : BoolFields()) {
      EXPECT_EQ(ini.*field.Field, field.Default) << field.Key;
    }
    EXPECT_TRUE(ini.IoIdList.empty());
    EXPECT_TRUE(ini.PciIdList.empty());
    EXPECT_TRUE(ini.MemIdList.empty());
    EXPECT_TRUE(ini.IosList.empty());
    EXPECT_TRUE(ini.MemList.empty());
    EXPECT_TRUE(ini.SioConfigKeys.empty());
    EXPECT_TRUE(ini.MsrUserLines.empty());
    EXPECT_EQ(ini.DimmSlotNum, 8);
    EXPECT_EQ(ini.DimmAddress,
              (std::vector<uint8_t>{0xA0, 0xA2, 0xA4, 0xA6, 0xA8, 0xAA, 0xAC, 0xAE}));
    ASSERT_NE(ini.OsVersion, nullptr);
    EXPECT_EQ(ini.OsVersion->OsKind, 0);
    EXPECT_EQ(ini.Directory(), Dir.string());
  }
  EXPECT_FALSE(fs::exists(Path));
}

TEST_F(InitFileTest, ReadsEveryTypedKey) {
  WriteFile(
      "[Config]\n"
      "DetectPCIEBase=0\nPCIEBaseAddress=0xE0000000\nCpuClkInterval=1600\nAcpiPmBase=0x808\n"
      "AcpiSciIrq=11\nEC_SC=0x6C\nEC_DATA=0x68\nEC_AddressSpaceID=0\nACPIDecodeSSDTEx=0\n"
      "DisableSuperIo=1\nRwDebugFile=Other.rw\n"
      "DefaultInterval=1\nPciInterval=2\nPciIndexInterval=3\nIoSpaceInterval=4\n"
      "IoIndexInterval=5\nMemoryInterval=6\nMemoryIndexInterval=7\nSuperIoInterval=8\n"
      "CpuMsrInterval=9\nEcRamInterval=10\n"
      "PciIndex=3\nPciIndexBus=1\nPciIndexDev=0x18\nPciIndexFun=3\nPciIndexID=0x12031022\n"
      "PciIndexIndex=0xB8\nPciIndexData=0xBC\nPciIndexStart=0x100\nPciIndexStep=4\n"
      "IoSpaceBase=0x290\nIoIndexPort=0x2E\nIoDataPort=0x2F\nMemoryBase=0xFED00000\n"
      "MemoryIndexIndex=0x10\nMemoryIndexData=0x14\nMemoryIndexStart=0x20\n"
      "MemoryIndexStep=2\nApicAddress=0xFEC01000\nRemoteOption=1\nComPortBaudRate=3\n"
      "ReadComPortInterval=100\nActiveList=IOID1,PCIID2\nCommandFile=Boot.rw\n");
  TFakeOsSystem system = Win98System();
  TInitFile ini(Path, system);
  EXPECT_FALSE(ini.DetectPCIEBase);
  EXPECT_EQ(ini.PCIEBaseAddress, 0xE0000000u);
  EXPECT_EQ(ini.CpuClkInterval, 1600u);
  EXPECT_EQ(ini.AcpiPmBase, 0x808);
  EXPECT_EQ(ini.AcpiSciIrq, 11u);
  EXPECT_EQ(ini.EC_SC, 0x6C);
  EXPECT_EQ(ini.EC_DATA, 0x68);
  EXPECT_EQ(ini.EC_AddressSpaceID, 0);
  EXPECT_FALSE(ini.ACPIDecodeSSDTEx);
  EXPECT_TRUE(ini.DisableSuperIo);
  EXPECT_EQ(ini.RwDebugFile, "Other.rw");
  EXPECT_EQ((std::vector<uint32_t>{ini.DefaultInterval, ini.PciInterval, ini.PciIndexInterval,
                                   ini.IoSpaceInterval, ini.IoIndexInterval, ini.MemoryInterval,
                                   ini.MemoryIndexInterval, ini.SuperIoInterval, ini.CpuMsrInterval,
                                   ini.EcRamInterval}),
            (std::vector<uint32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  EXPECT_EQ(ini.PciIndex, 3u);
  EXPECT_EQ(ini.PciIndexBus, 1);
  EXPECT_EQ(ini.PciIndexDev, 0x18);
  EXPECT_EQ(ini.PciIndexFun, 3);
  EXPECT_EQ(ini.PciIndexID, 0x12031022u);
  EXPECT_EQ(ini.PciIndexIndex, 0xB8);
  EXPECT_EQ(ini.PciIndexData, 0xBC);
  EXPECT_EQ(ini.PciIndexStart, 0x100u);
  EXPECT_EQ(ini.PciIndexStep, 4);
  EXPECT_EQ(ini.IoSpaceBase, 0x290);
  EXPECT_EQ(ini.IoIndexPort, 0x2E);
  EXPECT_EQ(ini.IoDataPort, 0x2F);
  EXPECT_EQ(ini.MemoryBase, 0xFED00000u);
  EXPECT_EQ(ini.MemoryIndexIndex, 0x10);
  EXPECT_EQ(ini.MemoryIndexData, 0x14);
  EXPECT_EQ(ini.MemoryIndexStart, 0x20u);
  EXPECT_EQ(ini.MemoryIndexStep, 2);
  EXPECT_EQ(ini.ApicAddress, 0xFEC01000u);
  EXPECT_EQ(ini.RemoteOption, 1u);
  EXPECT_EQ(ini.ComPortBaudRate, 3u);
  EXPECT_EQ(ini.ReadComPortInterval, 100u);
  EXPECT_EQ(ini.ActiveList, "IOID1,PCIID2");
  EXPECT_EQ(ini.CommandFile, "Boot.rw");
}

TEST_F(InitFileTest, ReadsEveryBooleanKey) {
  std::string text = "[Config]\n";
  for (const TBoolField& field : BoolFields()) {
    text += std::string(field.Key) + "=" + (field.Default ? "0" : "1") + "\n";
  }
  WriteFile(text);
  TFakeOsSystem system = Win98System();
  TInitFile ini(Path, system);
  for (const TBoolField& field : BoolFields()) {
    EXPECT_EQ(ini.*field.Field, !field.Default) << field.Key;
  }
}

TEST_F(InitFileTest, NumberedSectionsEndAtTheFirstGap) {
  WriteFile(
      "[IOID1]\nName=Winbond\nIndexPort=0x2E\nDataPort=0x2F\nEnterConfig=87 87\nExitConfig=AA\n"
      "[IOID3]\nName=never read\n"
      "[PCIID1]\nName=NB\nBus=0\nDev=0x18\nFun=3\nID=0x12031022\nIndexRegister=0xD8\n"
      "DataRegister=0xDC\nStartAddress=0x10\nAddressStep=4\nAccessMode=2\n"
      "[PCIID2]\nName=\n"
      "[MEMID1]\nName=HPET\nIndexRegister=0xFED00010\nDataRegister=0xFED00014\n"
      "[MEM1]\nName=BIOS\nMemoryBase=0xF0000\n"
      "[MEM2]\nName=APIC\nMemoryBase=0xFEE00000\n"
      "[MEM3]\n"  // a bare header counts as missing
      "[MEM4]\nName=never read\n");
  TFakeOsSystem system = Win98System();
  TInitFile ini(Path, system);
  ASSERT_EQ(ini.IoIdList.size(), 1u);
  EXPECT_EQ(ini.IoIdList[0].Name, "Winbond");
  EXPECT_EQ(ini.IoIdList[0].IndexPort, 0x2E);
  EXPECT_EQ(ini.IoIdList[0].DataPort, 0x2F);
  EXPECT_EQ(ini.IoIdList[0].EnterConfig, "87 87");
  EXPECT_EQ(ini.IoIdList[0].ExitConfig, "AA");

  ASSERT_EQ(ini.PciIdList.size(), 2u);
  const PciIDStruc& nb = ini.PciIdList[0];
  EXPECT_EQ(nb.Name, "NB");
  EXPECT_EQ(nb.Dev, 0x18);
  EXPECT_EQ(nb.Fun, 3);
  EXPECT_EQ(nb.ID, 0x12031022u);
  EXPECT_EQ(nb.IndexRegister, 0xD8);
  EXPECT_EQ(nb.DataRegister, 0xDC);
  EXPECT_EQ(nb.StartAddress, 0x10u);
  EXPECT_EQ(nb.AddressStep, 4);
  EXPECT_EQ(nb.AccessMode, 2u);
  EXPECT_EQ(ini.PciIdList[1].Name, "");
  EXPECT_EQ(ini.PciIdList[1].AddressStep, 1);

  ASSERT_EQ(ini.MemIdList.size(), 1u);
  EXPECT_EQ(ini.MemIdList[0].IndexRegister, 0xFED00010u);
  EXPECT_EQ(ini.MemIdList[0].DataRegister, 0xFED00014u);
  EXPECT_EQ(ini.MemIdList[0].StartAddress, 0u);
  EXPECT_EQ(ini.MemIdList[0].AddressStep, 1u);

  ASSERT_EQ(ini.MemList.size(), 2u);
  EXPECT_EQ(ini.MemList[0].MemoryBase, 0xF0000u);
  EXPECT_EQ(ini.MemList[1].Name, "APIC");
  EXPECT_EQ(ini.MemList[1].MemoryBase, 0xFEE00000u);
  EXPECT_TRUE(ini.IosList.empty());
}

TEST_F(InitFileTest, AcpiPmBaseComesFirstInTheIoSpaceList) {
  WriteFile("[Config]\nAcpiPmBase=0x800\n[IOS1]\nName=HWM\nIoBase=0x290\n[IOS2]\nName=GPIO\n");
  TFakeOsSystem system = Win98System();
  TInitFile ini(Path, system);
  ASSERT_EQ(ini.IosList.size(), 3u);
  EXPECT_EQ(ini.IosList[0].Name, "ACPI PM Base (0x0800)");
  EXPECT_EQ(ini.IosList[0].IoBase, 0x800);
  EXPECT_EQ(ini.IosList[1].Name, "HWM");
  EXPECT_EQ(ini.IosList[1].IoBase, 0x290);
  EXPECT_EQ(ini.IosList[2].IoBase, 0);
}

TEST_F(InitFileTest, SioKeysMsrLinesAndDimmAddresses) {
  WriteFile(
      "[SIOConfigKey]\nConfigKey0=87 87\nConfigKey1=87 01 55 55\nConfigKey2=\nConfigKey3=AA\n"
      "[MSR_User]\nPerfCtl = 0x199\n; a comment\nPerfSts=0x198\n"
      "[DIMMSPD]\nDimmSlotNum=3\nDimm2Address=0xA8\nDimm4Address=0xB0\n");
  TFakeOsSystem system = Win98System();
  TInitFile ini(Path, system);
  EXPECT_EQ(ini.SioConfigKeys, (TStrings{"87 87", "87 01 55 55"}));
  EXPECT_EQ(ini.MsrUserLines, (TStrings{"PerfCtl=0x199", "PerfSts=0x198"}));
  EXPECT_EQ(ini.DimmSlotNum, 3);
  EXPECT_EQ(ini.DimmAddress, (std::vector<uint8_t>{0xA0, 0xA8, 0xA4}));
}

TEST_F(InitFileTest, NtWritesConfigBackInOrderWithTheValuesFoundInMemory) {
  WriteFile(
      "[SupportModel]\nBoardX=BoardX.ini\n[Config]\n"
      "[SIOConfigKey]\nConfigKey0=87 87\n"
      "[MSR_User]\nPerfCtl=0x199\n; dropped on rewrite\nPerfSts = 0x198\n[Tail]\nKeep=1\n");
  {
    TInitFile ini(Path, NtSystem);
    ASSERT_EQ(ini.OsVersion->OsKind, 4);
    // Values the ACPI tables and detection put in memory.
    ini.AcpiPmBase = 0x808;
    ini.AcpiSciIrq = 11;
    ini.EC_SC = 0x6C;
    ini.EC_DATA = 0x68;
    ini.EC_AddressSpaceID = 0;
    ini.PCIEBaseAddress = 0xE0000000;  // detected base: not written
    ini.SioConfigKeys.push_back("87 01 55 55");
  }
  TmiFile after(Path);
  TStrings keys;
  after.ReadSection("Config", keys);
  EXPECT_EQ(keys, kWrittenBack);
  EXPECT_EQ(after.ReadInteger("Config", "AcpiPmBase", 0), 0x808);
  EXPECT_EQ(after.ReadInteger("Config", "AcpiSciIrq", 0), 11);
  EXPECT_EQ(after.ReadInteger("Config", "EC_SC", 0), 0x6C);
  EXPECT_EQ(after.ReadInteger("Config", "EC_DATA", 0), 0x68);
  EXPECT_EQ(after.ReadInteger("Config", "EC_AddressSpaceID", 1), 0);
  EXPECT_EQ(static_cast<uint32_t>(after.ReadInteger("Config", "ApicAddress", 0)), 0xFEC00000u);
  EXPECT_EQ(static_cast<uint32_t>(after.ReadInteger("Config", "PciIndexID", 0)), 0xFFFFFFFFu);
  EXPECT_EQ(after.ReadInteger("Config", "PciIndexStep", 0), 0xFF);
  EXPECT_EQ(after.ReadInteger("Config", "ComPortBaudRate", 0), 6);
  EXPECT_EQ(after.ReadString("Config", "CommandFile", ""), "CMD.rw");
  EXPECT_TRUE(after.ValueExists("Config", "ActiveList"));

  EXPECT_EQ(after.ReadString("SIOConfigKey", "ConfigKey1", ""), "87 01 55 55");
  TStrings msr;
  after.ReadSectionValues("MSR_User", msr);
  EXPECT_EQ(msr, (TStrings{"PerfCtl=0x199", "PerfSts=0x198"}));
  const std::string text = ReadText(Path);
  EXPECT_EQ(text.find("dropped on rewrite"), std::string::npos) << text;
  EXPECT_EQ(after.ReadString("SupportModel", "BoardX", ""), "BoardX.ini");
  EXPECT_EQ(after.ReadString("Tail", "Keep", ""), "1");

  // A second run reads back what the first one wrote.
  TInitFile again(Path, NtSystem);
  EXPECT_EQ(again.AcpiPmBase, 0x808);
  EXPECT_EQ(again.IosList.at(0).Name, "ACPI PM Base (0x0808)");
  EXPECT_EQ(again.ApicAddress, 0xFEC00000u);
  EXPECT_EQ(again.PciIndexID, 0xFFFFFFFFu);
  EXPECT_EQ(again.PCIEBaseAddress, 0xFFFFFFFFu);
}

TEST_F(InitFileTest, NothingIsWrittenBackOn9x) {
  const std::string original =
      "[Config]\nAcpiPmBase=0x800\n[SIOConfigKey]\nConfigKey0=87 87\n"
      "[MSR_User]\n; kept\nPerfCtl=0x199\n";
  WriteFile(original);
  TFakeOsSystem system = Win98System();
  {
    TInitFile ini(Path, system);
    ini.AcpiPmBase = 0x4000;
    ini.SioConfigKeys.push_back("AA");
  }
  EXPECT_EQ(ReadText(Path), original);
}

TEST_F(InitFileTest, FailedVersionQueryCountsAs9x) {
  const std::string original = "[Config]\nEC_SC=0x66\n";
  WriteFile(original);
  NtSystem.VersionQueryWorks = false;
  {
    TInitFile ini(Path, NtSystem);
    ini.EC_SC = 0x6C;
  }
  EXPECT_EQ(ReadText(Path), original);
}

TEST_F(InitFileTest, WriteBackCanBeSwitchedOffForSimulatedMachines) {
  const std::string original = "[Config]\nEC_SC=0x66\n";
  WriteFile(original);
  {
    TInitFile ini(Path, NtSystem);
    ini.EC_SC = 0x6C;
    ini.WriteBackAtExit = false;
  }
  EXPECT_EQ(ReadText(Path), original);
}

TEST_F(InitFileTest, DebugFileBesideTheConfigurationHoldsTheOsDetection) {
  WriteFile("[Config]\nRwDebug=1\nRwDebugFile=Trace.rw\n");
  TFakeOsSystem system;
  system.Version = FakeLinuxVersion(6, 8, "6.8.0-45-generic");
  {
    TInitFile ini(Path, system);
    EXPECT_TRUE(RwDebugIsOpen());
    RwDebugLine("RW: IoBaseWriteByte 0x002E=0x87");
  }
  EXPECT_FALSE(RwDebugIsOpen());
  EXPECT_EQ(ReadText((Dir / "Trace.rw").string()),
            "Detecting OS\r\nMajor=6, Minor=8, 64bit=0\r\nOS = 4\r\n"
            "RW: IoBaseWriteByte 0x002E=0x87\r\n");
}

TEST_F(InitFileTest, EmptyDebugFileNameDropsLinesSilently) {
  WriteFile("[Config]\nRwDebug=1\nRwDebugFile=\n");
  TFakeOsSystem system = Win98System();
  {
    TInitFile ini(Path, system);
    EXPECT_EQ(ini.RwDebugFile, "");
    EXPECT_TRUE(RwDebugIsOpen());
    RwDebugLine("dropped");
  }
  EXPECT_FALSE(RwDebugIsOpen());
  EXPECT_EQ(std::distance(fs::directory_iterator(Dir), fs::directory_iterator()), 1);
}

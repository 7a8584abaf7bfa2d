// The Linux back-end on a captured system tree: /dev/port, /dev/mem and the msr and cpuid devices
// are regular files, sysfs holds PCI configuration files and the firmware tables of a real machine.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "base/textfmt.h"
#include "hw/linux/linuxmachine.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace {

namespace fs = std::filesystem;
using TBytes = std::vector<uint8_t>;

const std::string kRealData = KORZEM_REAL_DATA_DIR;

TBytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return TBytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t Get32(const uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint32_t PciAddress(uint32_t bus, uint32_t device, uint32_t function, uint32_t offset) {
  return 0x80000000u | ((offset >> 8) & 0xF) << 24 | bus << 16 | device << 11 | function << 8 |
         (offset & 0xFC);
}

// A system tree in a temporary folder, removed with the object.
class TFakeRoot {
 public:
  TFakeRoot() {
    std::string pattern = (fs::temp_directory_path() / "korzem-lnx-XXXXXX").string();
    const char* made = ::mkdtemp(pattern.data());
    Root_ = made != nullptr ? made : "/nonexistent-korzem-root";
  }
  ~TFakeRoot() {
    std::error_code ignored;
    fs::remove_all(Root_, ignored);
  }
  const std::string& Path() const { return Root_; }
  std::string Full(const std::string& path) const { return Root_ + path; }

  void Write(const std::string& path, const TBytes& bytes) const {
    fs::create_directories(fs::path(Full(path)).parent_path());
    std::ofstream out(Full(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  }
  void WriteText(const std::string& path, const std::string& text) const {
    Write(path, TBytes(text.begin(), text.end()));
  }
  // Bytes at offset of a (possibly sparse) file, created when missing.
  void Poke(const std::string& path, uint64_t offset, const TBytes& bytes) const {
    fs::create_directories(fs::path(Full(path)).parent_path());
    if (!fs::exists(Full(path))) std::ofstream(Full(path), std::ios::binary);
    std::fstream out(Full(path), std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(static_cast<std::streamoff>(offset));
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  }
  TBytes Peek(const std::string& path, uint64_t offset, size_t length) const {
    const TBytes all = ReadBytes(Full(path));
    if (offset + length > all.size()) return {};
    return TBytes(all.begin() + static_cast<long>(offset),
                  all.begin() + static_cast<long>(offset + length));
  }

 private:
  std::string Root_;
};

TBytes Le(uint64_t value, size_t width) {
  TBytes bytes;
  for (size_t i = 0; i < width; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
  return bytes;
}

// A configuration space whose byte at offset i is (i * 7 + seed) & 0xFF, with vendor and device.
TBytes ConfigSpace(size_t size, uint8_t seed, uint16_t vendor, uint16_t device) {
  TBytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + seed);
  bytes[0] = static_cast<uint8_t>(vendor);
  bytes[1] = static_cast<uint8_t>(vendor >> 8);
  bytes[2] = static_cast<uint8_t>(device);
  bytes[3] = static_cast<uint8_t>(device >> 8);
  return bytes;
}

// The tree most tests share: ports, two processors, PCI functions, a real desktop's firmware tables
// (ACPI of an H61 board, SMBIOS of a 2000 desktop), no /dev/mem.
class TLinuxMachineTest : public testing::Test {
 protected:
  void SetUp() override {
    Root.Write("/dev/port", TBytes(0x10000, 0));
    Root.WriteText("/sys/devices/system/cpu/online", "0-1\n");
    Root.Poke("/dev/cpu/0/msr", 0x1A0, Le(0x0000000000850089ull, 8));
    Root.Poke("/dev/cpu/1/msr", 0x1A0, Le(0x0000004000850089ull, 8));
    Root.Poke("/dev/cpu/0/cpuid", 0, Le(0x756E65470000000Dull, 8));
    Root.Poke("/dev/cpu/0/cpuid", 8, Le(0x49656E696C65746Eull, 8));  // ECX, EDX
    Root.WriteText("/sys/bus/event_source/devices/cpu/rdpmc", "1\n");

    const std::string pci = "/sys/bus/pci/devices/";
    Root.Write(pci + "0000:00:00.0/config", ConfigSpace(256, 1, 0x8086, 0x0100));
    Root.Write(pci + "0000:00:1f.3/config", ConfigSpace(4096, 3, 0x8086, 0x1C22));
    Root.Write(pci + "0000:02:00.0/config", ConfigSpace(256, 5, 0x10EC, 0x8168));
    Root.Write(pci + "0001:00:00.0/config", ConfigSpace(256, 9, 0x1022, 0x1480));

    const std::string acpi = kRealData + "/acpi/desktop-h61/";
    for (const auto& entry : fs::directory_iterator(acpi)) {
      std::string name = entry.path().stem().string();
      for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      Root.Write("/sys/firmware/acpi/tables/" + name, ReadBytes(entry.path().string()));
    }
    // Tables loaded at run time are not part of the root table.
    Root.Write("/sys/firmware/acpi/tables/dynamic/SSDT10", ReadBytes(acpi + "ssdt1.dat"));

    const TBytes smbios = ReadBytes(kRealData + "/smbios/desktop-2000-smbios.dat");
    Entry.assign(smbios.begin(), smbios.begin() + smbios[5]);
    const uint32_t tableAt = Get32(&smbios[0x18]) - 0xE0000;
    Table.assign(smbios.begin() + tableAt,
                 smbios.begin() + tableAt + (smbios[0x16] | smbios[0x17] << 8));
    Root.Write("/sys/firmware/dmi/tables/smbios_entry_point", Entry);
    Root.Write("/sys/firmware/dmi/tables/DMI", Table);

    Options.SysRoot = Root.Path();
    Options.AllowModprobe = false;
    Options.PinThread = false;  // the test runner's thread stays where it is
  }

  std::unique_ptr<TLinuxMachine> Open() {
    std::string error;
    std::unique_ptr<TLinuxMachine> machine = OpenLinuxMachine(Options, &error);
    EXPECT_NE(nullptr, machine) << error;
    return machine;
  }

  // Copies length bytes of physical memory through map, resolve and unmap.
  TBytes ReadPhysical(TLinuxMachine& machine, uint32_t address, uint32_t length) {
    uint32_t handle = 0;
    if (machine.MapPhysical(address, length, &handle) != ZEM_STATUS_SUCCESS) {
      ADD_FAILURE() << machine.LastError();
      return TBytes(length, 0);
    }
    const uint8_t* p = machine.ResolveMapping(handle);
    TBytes bytes(p, p + length);
    EXPECT_EQ(ZEM_STATUS_SUCCESS, machine.UnmapPhysical(handle));
    return bytes;
  }

  // The program's search: 256-byte windows, 16-byte steps.
  uint32_t Search(TLinuxMachine& machine, uint32_t start, uint32_t length,
                  const std::string& anchor) {
    for (uint32_t window = start; window < start + length; window += 256) {
      const TBytes bytes = ReadPhysical(machine, window, 256);
      for (uint32_t at = 0; at < 256; at += 16) {
        if (std::memcmp(&bytes[at], anchor.data(), anchor.size()) == 0) return window + at;
      }
    }
    return 0;
  }

  TFakeRoot Root;
  TLinuxMachineOptions Options;
  TBytes Entry;
  TBytes Table;
};

TEST_F(TLinuxMachineTest, WithoutDevPortPortsFailClearlyAndTheRestWorks) {
  fs::remove(Root.Full("/dev/port"));
  std::string error;
  std::unique_ptr<TLinuxMachine> machine = OpenLinuxMachine(Options, &error);
  ASSERT_NE(nullptr, machine) << error;
  EXPECT_EQ(0xFFu, machine->PortIn(0x80, 1));
  EXPECT_EQ("cannot read port 0x0080: this kernel offers no /dev/port", machine->LastError());
  machine->PortOut(0x80, 1, 0x12);
  EXPECT_EQ("cannot write port 0x0080: this kernel offers no /dev/port", machine->LastError());
  // PCI configuration still comes from sysfs.
  EXPECT_EQ(0x8086u, machine->PciConfigRead(0x80000000u, 0, 2));
}

TEST_F(TLinuxMachineTest, ARefusedDevPortEndsTheOpen) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may open any file whatever its mode";
  fs::permissions(Root.Full("/dev/port"), fs::perms::none);
  std::string error;
  EXPECT_EQ(nullptr, OpenLinuxMachine(Options, &error));
  EXPECT_NE(std::string::npos, error.find("cannot open " + Root.Full("/dev/port"))) << error;
}

TEST_F(TLinuxMachineTest, PortsAreBytesOfDevPortAtThePortOffset) {
  Root.Poke("/dev/port", 0x80, {0x5A});
  Root.Poke("/dev/port", 0x400, {0x34, 0x12, 0x78, 0x56});
  auto machine = Open();
  EXPECT_EQ(0x5Au, machine->PortIn(0x80, 1));
  EXPECT_EQ(0x1234u, machine->PortIn(0x400, 2));
  EXPECT_EQ(0x56781234u, machine->PortIn(0x400, 4));
  EXPECT_EQ(0x7812u, machine->PortIn(0x401, 2));

  machine->PortOut(0x2E, 1, 0x87);
  machine->PortOut(0x4D0, 2, 0xBEEF);
  machine->PortOut(0xCF8, 4, 0x8000F840);
  EXPECT_EQ(TBytes({0x87}), Root.Peek("/dev/port", 0x2E, 1));
  EXPECT_EQ(TBytes({0xEF, 0xBE}), Root.Peek("/dev/port", 0x4D0, 2));
  EXPECT_EQ(TBytes({0x40, 0xF8, 0x00, 0x80}), Root.Peek("/dev/port", 0xCF8, 4));
  EXPECT_EQ(TBytes({0}), Root.Peek("/dev/port", 0xCFC, 1));  // nothing beyond the width
  EXPECT_TRUE(machine->LastError().empty()) << machine->LastError();

  EXPECT_EQ(0xFFFFu, machine->PortIn(0xFFFF, 2));
  EXPECT_EQ("cannot read port 0xFFFF through /dev/port: beyond the last port",
            machine->LastError());
  EXPECT_EQ(0xFFFFFFFFu, machine->PortIn(0x80, 3));
  EXPECT_EQ("port read of width 3 refused", machine->LastError());
}

TEST_F(TLinuxMachineTest, PciConfigurationThroughSysfs) {
  auto machine = Open();
  const TBytes lpc = ConfigSpace(256, 1, 0x8086, 0x0100);
  const TBytes smbus = ConfigSpace(4096, 3, 0x8086, 0x1C22);

  EXPECT_EQ(0x01008086u, machine->PciConfigRead(PciAddress(0, 0, 0, 0), 0, 4));
  EXPECT_EQ(0x816810ECu, machine->PciConfigRead(PciAddress(2, 0, 0, 0), 0, 4));
  EXPECT_EQ(lpc[0x0A], machine->PciConfigRead(PciAddress(0, 0, 0, 0x08), 2, 1));
  EXPECT_EQ(static_cast<uint32_t>(lpc[0x0E] | lpc[0x0F] << 8),
            machine->PciConfigRead(PciAddress(0, 0, 0, 0x0C), 2, 2));
  // Offset 0x1F2: bits 27:24 carry 1, the dword 0xF0, lane 2.
  EXPECT_EQ(0x8100FBF0u, PciAddress(0, 31, 3, 0x1F2));
  EXPECT_EQ(smbus[0x1F2], machine->PciConfigRead(0x8100FBF0u, 2, 1));
  EXPECT_EQ(Get32(&smbus[0xFFC]), machine->PciConfigRead(PciAddress(0, 31, 3, 0xFFC), 0, 4));
  EXPECT_TRUE(machine->LastError().empty()) << machine->LastError();

  // Absent function: all ones, and nothing to complain about.
  EXPECT_EQ(0xFFFFFFFFu, machine->PciConfigRead(PciAddress(0, 1, 0, 0), 0, 4));
  EXPECT_EQ(0xFFFFu, machine->PciConfigRead(PciAddress(0, 1, 0, 0), 0, 2));
  EXPECT_TRUE(machine->LastError().empty()) << machine->LastError();
  // Extended space of a function sysfs shows 256 bytes of; no enable bit: no cycle.
  EXPECT_EQ(0xFFFFFFFFu, machine->PciConfigRead(PciAddress(0, 0, 0, 0x100), 0, 4));
  EXPECT_NE(std::string::npos, machine->LastError().find("has no register at 0x0100 (256 bytes)"));
  EXPECT_EQ(0xFFu, machine->PciConfigRead(PciAddress(0, 0, 0, 0) & 0x7FFFFFFF, 0, 1));

  machine->PciConfigWrite(PciAddress(0, 31, 3, 0x142), 2, 2, 0xA55A);
  machine->PciConfigWrite(PciAddress(0, 0, 0, 0x40), 1, 1, 0x99);
  machine->PciConfigWrite(PciAddress(0, 1, 0, 0x40), 0, 4, 0x12345678);  // nobody there
  EXPECT_EQ(TBytes({0x5A, 0xA5}), Root.Peek("/sys/bus/pci/devices/0000:00:1f.3/config", 0x142, 2));
  EXPECT_EQ(TBytes({0x99}), Root.Peek("/sys/bus/pci/devices/0000:00:00.0/config", 0x41, 1));
  EXPECT_EQ(0xA55Au, machine->PciConfigRead(PciAddress(0, 31, 3, 0x140), 2, 2));
  // None of it went through the 0xCF8/0xCFC ports.
  EXPECT_EQ(TBytes(8, 0), Root.Peek("/dev/port", 0xCF8, 8));
}

TEST_F(TLinuxMachineTest, PciFunctionListIsDomainZeroInBusOrder) {
  fs::create_directories(Root.Full("/sys/bus/pci/devices/0000:00:1e.0"));
  fs::create_directory_symlink(Root.Full("/sys/bus/pci/devices/0000:02:00.0"),
                               Root.Full("/sys/bus/pci/devices/0000:01:00.1"));
  fs::create_directories(Root.Full("/sys/bus/pci/devices/not-a-device"));
  auto machine = Open();
  const std::vector<uint32_t> expected = {0x0000, 0x00F0, 0x00FB, 0x0101, 0x0200};
  EXPECT_EQ(expected, machine->ListSysfsPciFunctions());
  std::string error;
  EXPECT_EQ(expected, ListSysfsPciFunctions(Root.Path(), &error));

  fs::remove_all(Root.Full("/sys/bus/pci"));
  EXPECT_TRUE(ListSysfsPciFunctions(Root.Path(), &error).empty());
  EXPECT_EQ("cannot open " + Root.Full("/sys/bus/pci/devices") + ": No such file or directory",
            error);
}

TEST_F(TLinuxMachineTest, BiosAreaRebuiltWhenThereIsNoDevMem) {
  auto machine = Open();
  ASSERT_TRUE(machine->BiosAreaRebuilt());
  bool noted = false;
  for (const std::string& note : machine->Notes()) {
    noted = noted || note == "cannot open " + Root.Full("/dev/mem") + ": No such file or directory";
  }
  EXPECT_TRUE(noted);

  // RSDP -> RSDT -> FACP -> DSDT, as the ACPI reader walks it.
  const uint32_t rsdpAt = Search(*machine, 0xE0000, 0x20000, "RSD PTR ");
  ASSERT_NE(0u, rsdpAt);
  const TBytes rsdp = ReadPhysical(*machine, rsdpAt, 36);
  EXPECT_EQ(0, ByteSum(rsdp.data(), 20));
  EXPECT_EQ(0, ByteSum(rsdp.data(), 36));
  EXPECT_EQ(2, rsdp[15]);
  const uint32_t rsdtAt = Get32(&rsdp[16]);
  const uint32_t rsdtLength = Get32(ReadPhysical(*machine, rsdtAt, 8).data() + 4);
  const TBytes rsdt = ReadPhysical(*machine, rsdtAt, rsdtLength);
  EXPECT_EQ(0, ByteSum(rsdt.data(), rsdt.size()));
  std::multiset<std::string> listed;
  uint32_t facpAt = 0;
  for (uint32_t at = 36; at < rsdt.size(); at += 4) {
    const TBytes header = ReadPhysical(*machine, Get32(&rsdt[at]), 4);
    listed.insert(std::string(header.begin(), header.end()));
    if (listed.count("FACP") == 1 && facpAt == 0) facpAt = Get32(&rsdt[at]);
  }
  EXPECT_EQ(
      std::multiset<std::string>({"APIC", "FACP", "HPET", "MCFG", "OSFR", "SSDT", "SSDT", "SSDT"}),
      listed);
  const TBytes facp = ReadPhysical(*machine, facpAt, 244);
  EXPECT_EQ(0, ByteSum(facp.data(), facp.size()));
  const TBytes dsdt = ReadBytes(kRealData + "/acpi/desktop-h61/dsdt.dat");
  EXPECT_EQ(dsdt, ReadPhysical(*machine, Get32(&facp[40]), static_cast<uint32_t>(dsdt.size())));

  // "_SM_" from 0xF0000, its table where it says.
  const uint32_t smAt = Search(*machine, 0xF0000, 0x10000, "_SM_");
  ASSERT_NE(0u, smAt);
  const TBytes entry = ReadPhysical(*machine, smAt, 0x1F);
  EXPECT_EQ(0, ByteSum(entry.data(), entry.size()));
  EXPECT_EQ(Table,
            ReadPhysical(*machine, Get32(&entry[0x18]), static_cast<uint32_t>(Table.size())));
}

TEST_F(TLinuxMachineTest, MappingHandles) {
  auto machine = Open();
  uint32_t first = 0;
  uint32_t second = 0;
  ASSERT_EQ(ZEM_STATUS_SUCCESS, machine->MapPhysical(0xF0000, 16, &first));
  ASSERT_EQ(ZEM_STATUS_SUCCESS, machine->MapPhysical(0xF0008, 4, &second));
  EXPECT_NE(0u, first);
  EXPECT_NE(first, second);
  EXPECT_EQ(machine->ResolveMapping(first) + 8, machine->ResolveMapping(second));
  EXPECT_EQ(ZEM_STATUS_SUCCESS, machine->UnmapPhysical(first));
  EXPECT_EQ(nullptr, machine->ResolveMapping(first));
  EXPECT_NE(nullptr, machine->ResolveMapping(second));
  EXPECT_EQ(ZEM_STATUS_INVALID_PARAMETER, machine->UnmapPhysical(first));
  EXPECT_EQ("unmap of unknown mapping handle " + HexDword(first), machine->LastError());

  uint32_t handle = 7;
  EXPECT_EQ(ZEM_STATUS_UNSUCCESSFUL, machine->MapPhysical(0xFFFF0, 0x20, &handle));
  EXPECT_EQ(0u, handle);
  EXPECT_EQ(
      "physical memory 0xFFFF0 (32 bytes) straddles the edge of the rebuilt firmware area at "
      "0xE0000",
      machine->LastError());
  EXPECT_EQ(ZEM_STATUS_UNSUCCESSFUL, machine->MapPhysical(0x400, 4, &handle));
  EXPECT_EQ("physical memory 0x400 (4 bytes) is not reachable: cannot open " +
                Root.Full("/dev/mem") + ": No such file or directory",
            machine->LastError());
  EXPECT_EQ(ZEM_STATUS_UNSUCCESSFUL, machine->MapPhysical(0xF0000, 0, &handle));
}

TEST_F(TLinuxMachineTest, DevMemServesMemoryAndItsOwnBiosArea) {
  // A desktop from 2000 whose BIOS area holds both entry points: no rebuilding needed.
  const TBytes low = ReadBytes(kRealData + "/physmem/desktop-2000-lowmem-0-1MiB.bin");
  Root.Write("/dev/mem", low);
  auto machine = Open();
  EXPECT_FALSE(machine->BiosAreaRebuilt());
  EXPECT_EQ(TBytes(low.begin() + 0xF0013, low.begin() + 0xF0053),
            ReadPhysical(*machine, 0xF0013, 0x40));
  // A page-crossing range.
  EXPECT_EQ(TBytes(low.begin() + 0x9FFF8, low.begin() + 0xA0010),
            ReadPhysical(*machine, 0x9FFF8, 0x18));
  uint32_t handle = 0;
  EXPECT_EQ(ZEM_STATUS_UNSUCCESSFUL, machine->MapPhysical(0xFFF00, 0x200, &handle));
  EXPECT_NE(std::string::npos, machine->LastError().find("lies beyond " + Root.Full("/dev/mem")));

  // Forced rebuilding replaces the BIOS area only.
  Options.BiosArea = TBiosAreaSource::Rebuilt;
  machine = Open();
  EXPECT_TRUE(machine->BiosAreaRebuilt());
  EXPECT_EQ(TBytes(low.begin() + 0x400, low.begin() + 0x410), ReadPhysical(*machine, 0x400, 16));
  const TBytes rsdp = ReadPhysical(*machine, machine->FirmwareLayout().RsdpAddress, 20);
  EXPECT_EQ(machine->FirmwareLayout().RsdtAddress, Get32(&rsdp[16]));
}

TEST_F(TLinuxMachineTest, MsrsThroughTheSelectedProcessorsDevice) {
  auto machine = Open();
  EXPECT_EQ(2u, machine->CpuCount());
  uint64_t value = 0;
  ASSERT_TRUE(machine->ReadMsr(0x1A0, &value)) << machine->LastError();
  EXPECT_EQ(0x0000000000850089ull, value);
  machine->SelectCpu(1);
  ASSERT_TRUE(machine->ReadMsr(0x1A0, &value)) << machine->LastError();
  EXPECT_EQ(0x0000004000850089ull, value);
  ASSERT_TRUE(machine->WriteMsr(0x150, 0x1122334455667788ull)) << machine->LastError();
  EXPECT_EQ(Le(0x1122334455667788ull, 8), Root.Peek("/dev/cpu/1/msr", 0x150, 8));

  // Past the end of the file stands for a register the processor refuses.
  EXPECT_FALSE(machine->ReadMsr(0xC0010064, &value));
  EXPECT_NE(std::string::npos, machine->LastError().find("rdmsr 0xC0010064 on cpu 1"));

  machine->SelectCpu(2);
  EXPECT_EQ("processor index 2 out of range (2 processors online)", machine->LastError());
  ASSERT_TRUE(machine->ReadMsr(0x1A0, &value));
  EXPECT_EQ(0x0000004000850089ull, value);  // still processor 1
}

TEST_F(TLinuxMachineTest, ProcessorIndexFollowsTheOnlineList) {
  Root.WriteText("/sys/devices/system/cpu/online", "0,2-3\n");
  Root.Poke("/dev/cpu/3/msr", 0x10, Le(0xABCDEF, 8));
  auto machine = Open();
  EXPECT_EQ(3u, machine->CpuCount());
  machine->SelectCpu(2);
  EXPECT_EQ(3u, machine->SelectedCpuNumber());
  uint64_t value = 0;
  ASSERT_TRUE(machine->ReadMsr(0x10, &value)) << machine->LastError();
  EXPECT_EQ(0xABCDEFu, value);
}

TEST_F(TLinuxMachineTest, MissingMsrDeviceExplainsItself) {
  fs::remove(Root.Full("/dev/cpu/0/msr"));
  auto machine = Open();
  uint64_t value = 0;
  EXPECT_FALSE(machine->ReadMsr(0x1A0, &value));
  EXPECT_EQ("cannot open " + Root.Full("/dev/cpu/0/msr") +
                ": No such file or directory (the msr module is not loaded: modprobe msr)",
            machine->LastError());
  EXPECT_FALSE(machine->WriteMsr(0x1A0, 0));
  EXPECT_NE(std::string::npos, machine->LastError().find("modprobe msr"));

  Options.AllowModprobe = true;
  Options.ModprobeMsr = {"false", "msr"};
  machine = Open();
  EXPECT_FALSE(machine->ReadMsr(0x1A0, &value));
  EXPECT_EQ("cannot open " + Root.Full("/dev/cpu/0/msr") +
                ": No such file or directory (the msr module is not loaded; false msr failed with "
                "exit status 1)",
            machine->LastError());

  // A load that makes the device appear: the access goes ahead.
  Options.ModprobeMsr = {"/bin/sh", "-c",
                         "printf 'ABCDEFGH' > '" + Root.Full("/dev/cpu/0/msr") + "'"};
  machine = Open();
  ASSERT_TRUE(machine->ReadMsr(0, &value)) << machine->LastError();
  EXPECT_EQ(0x4847464544434241ull, value);
}

TEST_F(TLinuxMachineTest, CpuidFromTheDeviceOrTheInstruction) {
  auto machine = Open();
  CpuRegisters regs{0, 0, 0x55, 0};
  machine->ExecuteCpuId(regs);
  EXPECT_EQ(0x0Du, regs.EAX);
  EXPECT_EQ(0x756E6547u, regs.EBX);
  EXPECT_EQ(0x6C65746Eu, regs.ECX);
  EXPECT_EQ(0x49656E69u, regs.EDX);

#if defined(__x86_64__) || defined(__i386__)
  // Processor 1 has no cpuid device: the instruction answers.
  machine->SelectCpu(1);
  regs = {0, 0, 0, 0};
  machine->ExecuteCpuId(regs);
  unsigned a = 0, b = 0, c = 0, d = 0;
  __cpuid_count(0, 0, a, b, c, d);
  EXPECT_EQ(b, regs.EBX);
  EXPECT_EQ(c, regs.ECX);
  EXPECT_EQ(d, regs.EDX);
#endif
}

TEST_F(TLinuxMachineTest, PmTimerFromTheFadtPort) {
  Root.Poke("/dev/port", 0x408, Le(0x00123456, 4));  // the H61 board's PM_TMR_BLK
  auto machine = Open();
  EXPECT_FALSE(machine->PmTimerSynthesised());
  EXPECT_EQ(0x00123456u, machine->ReadPmTimer(0x408));
}

TEST_F(TLinuxMachineTest, PmTimerSynthesisedFromTheClock) {
  // The timer port floats (switched off in the chipset): the clock stands in at 3.579545 MHz.
  Root.Poke("/dev/port", 0x408, Le(0xFFFFFFFF, 4));
  uint64_t now = 0;
  Options.MonotonicNanoseconds = [&now] { return now; };
  auto machine = Open();
  EXPECT_TRUE(machine->PmTimerSynthesised());
  now = 1000000000;
  EXPECT_EQ(3579545u, machine->ReadPmTimer(0x408));
  now = 5000000000;  // 17897725 ticks, beyond 24 bits
  EXPECT_EQ(17897725u & 0xFFFFFF, machine->ReadPmTimer(0x408));
  now = 5000000000 + 1000;  // one microsecond: 3.58 ticks
  EXPECT_EQ((17897728u) & 0xFFFFFF, machine->ReadPmTimer(0));

  // TMR_VAL_EXT in the FADT: 32 bits.
  Root.Write("/sys/firmware/acpi/tables/FACP",
             ReadBytes(kRealData + "/acpi/desktop-785g-sb710/facp.dat"));
  Root.Poke("/dev/port", 0x4008, Le(0xFFFFFFFF, 4));
  machine = Open();
  now = 5000000000;
  EXPECT_EQ(17897725u, machine->ReadPmTimer(0x4008));
  // A hardware-reduced machine has no PM timer, whatever answers at the old port.
  TBytes fadt = ReadBytes(kRealData + "/acpi/desktop-h61/facp.dat");
  fadt[114] |= 0x10;  // flags bit 20
  Root.Write("/sys/firmware/acpi/tables/FACP", fadt);
  Root.Poke("/dev/port", 0x408, Le(0x00123456, 4));
  machine = Open();
  EXPECT_TRUE(machine->PmTimerSynthesised());
  EXPECT_EQ(17897725u & 0xFFFFFF, machine->ReadPmTimer(0x408));
  // 24 bits when nothing is known.
  fs::remove_all(Root.Full("/sys/firmware/acpi"));
  machine = Open();
  EXPECT_EQ(17897725u & 0xFFFFFF, machine->ReadPmTimer(0x4008));
}

TEST_F(TLinuxMachineTest, SynthesisedPmTimerOnTheRealClockStaysIn24Bits) {
  fs::remove_all(Root.Full("/sys/firmware/acpi"));
  auto machine = Open();
  for (int i = 0; i < 1000; ++i) EXPECT_EQ(0u, machine->ReadPmTimer(0) & 0xFF000000u);
}

TEST_F(TLinuxMachineTest, BusyWaitSpinsOnTheClock) {
  uint64_t now = 0;
  int reads = 0;
  Options.MonotonicNanoseconds = [&] {
    ++reads;
    return now += 100;
  };
  auto machine = Open();
  reads = 0;
  machine->BusyWaitMicroseconds(5);
  EXPECT_EQ(51, reads);  // start, then 50 steps of 100 ns
}

TEST_F(TLinuxMachineTest, WhatUserModeCannotReach) {
  auto machine = Open();
  uint64_t value = 0;
  EXPECT_FALSE(machine->ReadCr(4, &value));
  EXPECT_EQ("CR4 is not reachable from user mode", machine->LastError());
  EXPECT_FALSE(machine->WriteCr(0, 0));
  EXPECT_FALSE(machine->ReadPmc(0, &value));
  EXPECT_EQ("user-space rdpmc is not allowed (" +
                Root.Full("/sys/bus/event_source/devices/cpu/rdpmc") +
                " is 1; write 2 to allow it)",
            machine->LastError());
}

TEST(LinuxSysFilesTest, CpuListsAndErrorHints) {
  std::vector<uint32_t> cpus;
  EXPECT_TRUE(ParseCpuList("0-3,6,8-9\n", &cpus));
  EXPECT_EQ(std::vector<uint32_t>({0, 1, 2, 3, 6, 8, 9}), cpus);
  EXPECT_FALSE(ParseCpuList("3-1", &cpus));
  EXPECT_FALSE(ParseCpuList("0,,1", &cpus));
  EXPECT_FALSE(ParseCpuList("", &cpus));
  EXPECT_EQ("cannot open /dev/port: Permission denied (run as root)",
            OpenFailure("/dev/port", EACCES));
  EXPECT_EQ("/tmp/x/dev/mem", RootedPath("/tmp/x/", "/dev/mem"));
  EXPECT_EQ("/dev/mem", RootedPath("/", "/dev/mem"));
}

// What the host's own sysfs gives: vendor ids straight from the sysfs files, and an RSDP whose
// chain leads to the host's DSDT when the tables are readable.
void CheckHostSysfs(TLinuxMachine& machine) {
  const std::vector<uint32_t> functions = machine.ListSysfsPciFunctions();
  for (uint32_t function : functions) {
    char name[64];
    std::snprintf(name, sizeof name, "/sys/bus/pci/devices/0000:%02x:%02x.%x/vendor", function >> 8,
                  (function >> 3) & 0x1F, function & 7);
    std::ifstream in(name);
    unsigned vendor = 0;
    in >> std::hex >> vendor;
    EXPECT_EQ(vendor, machine.PciConfigRead(0x80000000u | function << 8, 0, 2)) << name;
  }
  if (::access("/sys/firmware/acpi/tables/DSDT", R_OK) != 0) return;
  const TBytes dsdt = ReadBytes("/sys/firmware/acpi/tables/DSDT");
  auto read = [&machine](uint32_t address, uint32_t length) {
    uint32_t handle = 0;
    if (machine.MapPhysical(address, length, &handle) != ZEM_STATUS_SUCCESS) return TBytes();
    const uint8_t* p = machine.ResolveMapping(handle);
    TBytes bytes(p, p + length);
    machine.UnmapPhysical(handle);
    return bytes;
  };
  uint32_t rsdpAt = 0;
  for (uint32_t at = 0xE0000; at < 0x100000 && rsdpAt == 0; at += 16) {
    const TBytes bytes = read(at, 20);
    if (bytes.size() == 20 && std::memcmp(bytes.data(), "RSD PTR ", 8) == 0 &&
        ByteSum(bytes.data(), 20) == 0) {
      rsdpAt = at;
    }
  }
  ASSERT_NE(0u, rsdpAt);
  const TBytes rsdtHeader = read(Get32(read(rsdpAt, 20).data() + 16), 36);
  ASSERT_EQ(36u, rsdtHeader.size());
  const TBytes rsdt = read(Get32(read(rsdpAt, 20).data() + 16), Get32(&rsdtHeader[4]));
  for (size_t at = 36; at + 4 <= rsdt.size(); at += 4) {
    const TBytes header = read(Get32(&rsdt[at]), 44);
    if (header.size() != 44 || std::memcmp(header.data(), "FACP", 4) != 0) continue;
    EXPECT_EQ(dsdt, read(Get32(&header[40]), static_cast<uint32_t>(dsdt.size())));
    return;
  }
  ADD_FAILURE() << "no FACP listed";
}

// The host's sysfs behind a captured /dev/port: real PCI files (4096 bytes for PCI Express
// functions) and the host's firmware tables, rebuilt since the tree has no /dev/mem.
TEST(LinuxHostTest, HostSysfsBehindAPortFile) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root (firmware tables and configuration space)";
  if (::access("/sys/bus/pci/devices", R_OK) != 0) GTEST_SKIP() << "no PCI in sysfs";
  TFakeRoot root;
  root.Write("/dev/port", TBytes(0x10000, 0xFF));
  fs::create_directory_symlink("/sys", root.Full("/sys"));
  TLinuxMachineOptions options;
  options.SysRoot = root.Path();
  options.PinThread = false;
  options.AllowModprobe = false;
  std::string error;
  auto machine = OpenLinuxMachine(options, &error);
  ASSERT_NE(nullptr, machine) << error;
  CheckHostSysfs(*machine);
}

// On the machine the tests run on, as root: real ports, /dev/mem where the kernel allows it.
TEST(LinuxHostTest, RealSystemAsRoot) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root";
  if (::access("/dev/port", F_OK) != 0) GTEST_SKIP() << "this kernel offers no /dev/port";
  TLinuxMachineOptions options;
  options.PinThread = false;
  options.AllowModprobe = false;
  std::string error;
  auto machine = OpenLinuxMachine(options, &error);
  ASSERT_NE(nullptr, machine) << error;
  CheckHostSysfs(*machine);
}

}  // namespace

// PCI Express configuration access, base detection and the PCI device searches.
#include <gtest/gtest.h>

#include "hw/readwrite.h"
#include "readwrite_fakes.h"

using namespace rwtest;

namespace {

constexpr uint32_t kEcam = 0xE0000000;

// A host bridge at 00:00.0 with extended registers, reachable both ways.
struct TPcieRig : TRig {
  explicit TPcieRig(uint32_t base = kEcam) : TRig(4, base) {
    Hw.AddFunction(0, 0, 0, 0x29C08086, 0x06000002);
    Hw.PutConfig(Bdf(0, 0, 0), 0x40, 0x11223344);
    Hw.PutConfig(Bdf(0, 0, 0), 0x100, 0xAABBCCDD);
    Hw.HasEcam = true;
    Hw.EcamBase = kEcam;
  }
};

size_t CountStartingWith(const std::vector<std::string>& lines, std::string_view prefix) {
  size_t n = 0;
  for (const auto& line : lines) n += line.compare(0, prefix.size(), prefix) == 0;
  return n;
}

}  // namespace

TEST(ReadWritePcie, ReadsPickTheirLaneOfTheDword) {
  TPcieRig rig;
  TReadWrite& rw = rig.Build();

  EXPECT_EQ(rw.PcieReadDword(0, 0, 0, 0x100), 0xAABBCCDDu);
  EXPECT_EQ(rw.PcieReadWord(0, 0, 0, 0x100), 0xCCDD);
  EXPECT_EQ(rw.PcieReadWord(0, 0, 0, 0x102), 0xAABB);
  EXPECT_EQ(rw.PcieReadWord(0, 0, 0, 0x101), 0xAABB);  // any lane but 0 gives bits 31:16
  EXPECT_EQ(rw.PcieReadByte(0, 0, 0, 0x103), 0xAA);
  EXPECT_EQ(rw.PcieReadByte(0, 0, 0, 0x41), 0x33);  // with a base, low offsets use memory too
  EXPECT_EQ(rw.PcieReadByte(Bdf(0, 0, 0), 0x101), 0xCC);

  // Each access maps the dword at base + bus << 20 + device << 15 + function << 12 + offset.
  EXPECT_EQ(rig.Hw.MapLog[0], (TMapOp{kEcam + 0x100, 4}));
  EXPECT_EQ(rig.Link.Count(CTL_READ_PCI_BYTE) + rig.Link.Count(CTL_READ_PCI_DWORD), 0u);
  EXPECT_EQ(rig.Lines.Lines[0], "RW: MemoryReadDword 0xE0000100=0xAABBCCDD");
}

TEST(ReadWritePcie, AddressCarriesBusDeviceAndFunction) {
  TPcieRig rig;
  rig.Hw.AddFunction(3, 0x1C, 5, 0x10EC8168, 0x02000001);
  rig.Hw.PutConfig(Bdf(3, 0x1C, 5), 0x104, 0x0000F00D);
  TReadWrite& rw = rig.Build();
  EXPECT_EQ(rw.PcieReadDword(3, 0x1C, 5, 0x104), 0x0000F00Du);
  EXPECT_EQ(rig.Hw.MapLog[0], (TMapOp{kEcam + (3u << 20) + (0x1Cu << 15) + (5u << 12) + 0x104, 4}));
}

TEST(ReadWritePcie, WritesBelow0x100AlwaysUseTheLegacyMechanism) {
  TPcieRig rig;
  TReadWrite& rw = rig.Build();

  EXPECT_TRUE(rw.PcieWriteByte(0, 0, 0, 0x40, 0x99));
  EXPECT_TRUE(rw.PcieWriteWord(0, 0, 0, 0x42, 0x7788));
  EXPECT_TRUE(rw.PcieWriteDword(Bdf(0, 0, 0), 0x48, 0x01020304));
  EXPECT_TRUE(rig.Hw.MapLog.empty());
  EXPECT_EQ(rig.Link.Codes,
            (std::vector<uint32_t>{CTL_WRITE_PCI_BYTE, CTL_WRITE_PCI_WORD, CTL_WRITE_PCI_DWORD}));
  EXPECT_EQ(rig.Lines.Lines,
            (std::vector<std::string>{"RW: PciWriteByte 0x00,0x00,0x00,0x0040=0x99",
                                      "RW: PciWriteWord 0x00,0x00,0x00,0x0042=0x7788",
                                      "RW: PciWriteDword 0x00,0x00,0x00,0x0048=0x01020304"}));
  EXPECT_EQ(rig.Hw.ConfigDword(Bdf(0, 0, 0), 0x40), 0x77883399u);
}

TEST(ReadWritePcie, ExtendedWritesMergeTheirLaneIntoTheDword) {
  TPcieRig rig;
  TReadWrite& rw = rig.Build();

  EXPECT_TRUE(rw.PcieWriteByte(0, 0, 0, 0x101, 0x55));
  EXPECT_EQ(rig.Hw.ConfigDword(Bdf(0, 0, 0), 0x100), 0xAABB55DDu);
  EXPECT_TRUE(rw.PcieWriteWord(0, 0, 0, 0x102, 0x1234));
  EXPECT_EQ(rig.Hw.ConfigDword(Bdf(0, 0, 0), 0x100), 0x123455DDu);
  EXPECT_TRUE(rw.PcieWriteWord(0, 0, 0, 0x100, 0xBEEF));
  EXPECT_EQ(rig.Hw.ConfigDword(Bdf(0, 0, 0), 0x100), 0x1234BEEFu);
  EXPECT_TRUE(rw.PcieWriteDword(0, 0, 0, 0x100, 0x0BADF00D));
  EXPECT_EQ(rig.Hw.ConfigDword(Bdf(0, 0, 0), 0x100), 0x0BADF00Du);

  EXPECT_EQ(rig.Lines.Lines[0], "RW: MemoryReadDword 0xE0000100=0xAABBCCDD");
  EXPECT_EQ(rig.Lines.Lines[1], "RW: MemoryWriteDword 0xE0000100=0xAABB55DD");
  EXPECT_EQ(CountStartingWith(rig.Lines.Lines, "RW: Pci"), 0u);
}

// A lane is merged into the dword read first; without that dword there is nothing to merge into,
// and writing the other lanes as all ones would change registers nobody asked to change.
TEST(ReadWritePcie, AnExtendedWriteWhoseDwordCannotBeReadWritesNothing) {
  TPcieRig rig;
  TReadWrite& rw = rig.Build();
  rig.Link.Refused = {CTL_MAP_MEMORY};
  EXPECT_FALSE(rw.PcieWriteByte(0, 0, 0, 0x101, 0x55));
  EXPECT_FALSE(rw.PcieWriteWord(0, 0, 0, 0x102, 0x1234));
  EXPECT_EQ(CountStartingWith(rig.Lines.Lines, "RW: MemoryWriteDword"), 0u);
  EXPECT_EQ(rig.Hw.ConfigDword(Bdf(0, 0, 0), 0x100), 0xAABBCCDDu);
}

TEST(ReadWritePcie, WithoutABaseLowOffsetsFallBackAndExtendedOnesFail) {
  TPcieRig rig(kNoPcieBase);
  TReadWrite& rw = rig.Build();
  ASSERT_EQ(rw.PcieBase(), kNoPcieBase);

  EXPECT_EQ(rw.PcieReadByte(0, 0, 0, 0x41), 0x33);
  EXPECT_EQ(rw.PcieReadWord(0, 0, 0, 0x42), 0x1122);
  EXPECT_EQ(rw.PcieReadDword(0, 0, 0, 0x40), 0x11223344u);
  EXPECT_EQ(rig.Link.Codes,
            (std::vector<uint32_t>{CTL_READ_PCI_BYTE, CTL_READ_PCI_WORD, CTL_READ_PCI_DWORD}));

  rig.Link.Codes.clear();
  rig.Lines.Clear();
  EXPECT_EQ(rw.PcieReadByte(0, 0, 0, 0x100), 0xFF);
  EXPECT_EQ(rw.PcieReadWord(0, 0, 0, 0x100), 0xFFFF);
  EXPECT_EQ(rw.PcieReadDword(0, 0, 0, 0x100), 0xFFFFFFFFu);
  EXPECT_FALSE(rw.PcieWriteByte(0, 0, 0, 0x100, 1));
  EXPECT_FALSE(rw.PcieWriteWord(0, 0, 0, 0x100, 1));
  EXPECT_FALSE(rw.PcieWriteDword(0, 0, 0, 0x100, 1));
  EXPECT_TRUE(rig.Link.Codes.empty());
  EXPECT_TRUE(rig.Lines.Lines.empty());
  EXPECT_EQ(rig.Hw.ConfigDword(Bdf(0, 0, 0), 0x100), 0xAABBCCDDu);

  EXPECT_TRUE(rw.PcieWriteByte(0, 0, 0, 0x40, 0));
}

TEST(ReadWritePcieBase, ConfiguredBaseIsUsedWhenDetectionIsOff) {
  TPcieRig configured(0xF8000000);
  EXPECT_EQ(configured.Build().PcieBase(), 0xF8000000u);
  EXPECT_EQ(configured.ConfigPcieBase, 0x12345678u);  // the configuration keeps its own value

  TPcieRig zero(0);
  EXPECT_EQ(zero.Build().PcieBase(), kNoPcieBase);
}

TEST(ReadWritePcieBase, DetectionFindsTheCandidateThatShowsTheFirstDevice) {
  TPcieRig rig;
  rig.Hw.Pci.clear();
  // The first present device is 00:05.0; later devices are not consulted.
  rig.Hw.AddFunction(0, 5, 0, 0x03921022, 0x06000000);
  rig.Hw.AddFunction(2, 0, 0, 0x10DE0BAD, 0x03000000);
  rig.Settings.DetectPCIEBase = true;
  rig.Lines.Probe = nullptr;
  rig.Rw = std::make_unique<TReadWrite>(rig.Service, rig.System, rig.Settings, &rig.ConfigPcieBase);

  EXPECT_EQ(rig.Rw->PcieBase(), kEcam);
  EXPECT_EQ(rig.ConfigPcieBase, kEcam);
  EXPECT_TRUE(rig.Lines.Has("RW: Detect PCIE Memory Base"));
  EXPECT_TRUE(rig.Lines.Has("RW: PCIE Memory Base: 0xE0000000"));
  // Candidates from 0xFE000000 down in 32 MiB steps: 0xE0000000 is the sixteenth, and each
  // candidate is probed at the device's offset 0 (offset 8 only when the id matched).
  size_t probes = 0;
  for (const TMapOp& op : rig.Hw.MapLog) probes += (op.Address & 0x01FFFFFF) == (5u << 15);
  EXPECT_EQ(probes, 16u);
  EXPECT_EQ(rig.Hw.MapLog.back(), (TMapOp{kEcam + (5u << 15) + 8, 4}));
}

TEST(ReadWritePcieBase, NoDeviceOrNoMatchingCandidateLeavesNoBase) {
  {
    TPcieRig rig;
    rig.Hw.Pci.clear();
    rig.Settings.DetectPCIEBase = true;
    rig.Rw =
        std::make_unique<TReadWrite>(rig.Service, rig.System, rig.Settings, &rig.ConfigPcieBase);
    EXPECT_EQ(rig.Rw->PcieBase(), kNoPcieBase);
    EXPECT_EQ(rig.ConfigPcieBase, kNoPcieBase);
    EXPECT_TRUE(rig.Hw.MapLog.empty());
  }
  {
    TPcieRig rig;
    rig.Hw.EcamBase = 0xC0000000;  // below every candidate
    rig.Settings.DetectPCIEBase = true;
    rig.Rw =
        std::make_unique<TReadWrite>(rig.Service, rig.System, rig.Settings, &rig.ConfigPcieBase);
    EXPECT_EQ(rig.Rw->PcieBase(), kNoPcieBase);
    EXPECT_EQ(rig.ConfigPcieBase, kNoPcieBase);
    EXPECT_TRUE(rig.Lines.Has("RW: Detect PCIE Memory Base"));
    EXPECT_EQ(CountStartingWith(rig.Lines.Lines, "RW: PCIE Memory Base: "), 0u);
    EXPECT_EQ(CountStartingWith(rig.Lines.Lines, "RW: Map Memory Error: "), 23u);
  }
  {
    // The id shows through a candidate but the class does not: no base.
    TPcieRig rig;
    rig.Hw.EcamBase = 0xC0000000;
    rig.Hw.Ram.push_back({0xFE000000, 0xFE001000});
    rig.Hw.PutMemory(0xFE000000, "\x86\x80\xC0\x29");
    rig.Settings.DetectPCIEBase = true;
    rig.Rw =
        std::make_unique<TReadWrite>(rig.Service, rig.System, rig.Settings, &rig.ConfigPcieBase);
    EXPECT_EQ(rig.Rw->PcieBase(), kNoPcieBase);
    EXPECT_TRUE(rig.Lines.Has("RW: MemoryReadDword 0xFE000008=0x00000000"));
    EXPECT_EQ(CountStartingWith(rig.Lines.Lines, "RW: PCIE Memory Base: "), 0u);
  }
}

TEST(ReadWritePcieBase, NoDetectionWithoutADriver) {
  TPcieRig rig;
  rig.Settings.DetectPCIEBase = true;
  rig.Service.DeviceOpens = false;
  rig.Rw = std::make_unique<TReadWrite>(rig.Service, rig.System, rig.Settings, &rig.ConfigPcieBase);
  EXPECT_EQ(rig.Rw->PcieBase(), kNoPcieBase);
  EXPECT_EQ(rig.ConfigPcieBase, 0x12345678u);
  EXPECT_FALSE(rig.Lines.Has("RW: Detect PCIE Memory Base"));
}

namespace {

// An ICH9-like south bridge (multi-function 00:1F), a single-function device at 00:02.0 whose
// function 1 would answer but must not be seen, and an add-in card on bus 2.
struct TSearchRig : TRig {
  TSearchRig() {
    Hw.AddFunction(0, 0x00, 0, 0x29C08086, 0x06000002);
    Hw.AddFunction(0, 0x02, 0, 0x29C28086, 0x03000002);
    Hw.AddFunction(0, 0x02, 1, 0x29168086, 0x0C050002);  // hidden behind header bit 7 = 0
    Hw.AddFunction(0, 0x1F, 0, 0x29168086, 0x06010002, 0x80);
    Hw.AddFunction(0, 0x1F, 2, 0x29228086, 0x01060102);
    Hw.AddFunction(0, 0x1F, 3, 0x29308086, 0x0C050002);
    Hw.AddFunction(2, 0x00, 0, 0x29161106, 0x0C050102);
  }
};

}  // namespace

TEST(ReadWriteFindPci, ByIdWithWildcardHalves) {
  TSearchRig rig;
  TReadWrite& rw = rig.Build();

  EXPECT_EQ(rw.FindPciDeviceById(0x29308086, 0), Bdf(0, 0x1F, 3));
  EXPECT_EQ(rw.FindPciDeviceById(0x29308086, 1), kNoPciDevice);
  // Device 0x2916 from any vendor.
  EXPECT_EQ(rw.FindPciDeviceById(0x2916FFFF, 0), Bdf(0, 0x1F, 0));
  EXPECT_EQ(rw.FindPciDeviceById(0x2916FFFF, 1), Bdf(2, 0, 0));
  EXPECT_EQ(rw.FindPciDeviceById(0x2916FFFF, 2), kNoPciDevice);
  // Any device from one vendor.
  EXPECT_EQ(rw.FindPciDeviceById(0xFFFF1106, 0), Bdf(2, 0, 0));
  EXPECT_EQ(rw.FindPciDeviceById(0xFFFF8086, 3), Bdf(0, 0x1F, 2));
  EXPECT_EQ(rw.FindPciDeviceById(0xFFFF8086, 5), kNoPciDevice);
  // Absent functions of a multi-function device do not match an all-ones id.
  EXPECT_EQ(rw.FindPciDeviceById(0xFFFFFFFF, 0), kNoPciDevice);
}

TEST(ReadWriteFindPci, ByClassWithOneOrTwoWildcardBytes) {
  TSearchRig rig;
  TReadWrite& rw = rig.Build();

  EXPECT_EQ(rw.FindPciDeviceByClass(0x0C0500, 0), Bdf(0, 0x1F, 3));
  EXPECT_EQ(rw.FindPciDeviceByClass(0x0C0501, 0), Bdf(2, 0, 0));
  EXPECT_EQ(rw.FindPciDeviceByClass(0x0C05FF, 1), Bdf(2, 0, 0));     // any interface
  EXPECT_EQ(rw.FindPciDeviceByClass(0x01FF01, 0), Bdf(0, 0x1F, 2));  // any sub-class
  EXPECT_EQ(rw.FindPciDeviceByClass(0xFF0000, 1), Bdf(0, 0x02, 0));  // any base class
  EXPECT_EQ(rw.FindPciDeviceByClass(0x0CFFFF, 0), Bdf(0, 0x1F, 3));
  EXPECT_EQ(rw.FindPciDeviceByClass(0xFFFF01, 0), Bdf(0, 0x1F, 2));
  EXPECT_EQ(rw.FindPciDeviceByClass(0xFF05FF, 1), Bdf(2, 0, 0));
  EXPECT_EQ(rw.FindPciDeviceByClass(0xFFFFFF, 0), kNoPciDevice);
  EXPECT_EQ(rw.FindPciDeviceByClass(0x0C0502, 0), kNoPciDevice);
}

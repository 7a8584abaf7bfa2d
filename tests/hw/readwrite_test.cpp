// Ports, legacy PCI, processor registers, routing and the debug lines of the register-access
// service.
#include "hw/readwrite.h"

#include <gtest/gtest.h>

#include "readwrite_fakes.h"

using namespace rwtest;

namespace {

std::vector<std::string> Expect(std::initializer_list<const char*> lines) {
  return std::vector<std::string>(lines.begin(), lines.end());
}

}  // namespace

TEST(ReadWritePorts, IndexedReadsFetchTheHighIndexFirst) {
  TRig rig;
  TReadWrite& rw = rig.Build();
  rig.Hw.IndexedRegs[0x20] = 0x52;
  rig.Hw.IndexedRegs[0x21] = 0xB4;
  rig.Hw.IndexedRegs[0x22] = 0x01;
  rig.Hw.IndexedRegs[0x23] = 0x9C;

  EXPECT_EQ(rw.IoIndexReadWord(0x2E, 0x2F, 0x20), 0xB452);
  EXPECT_EQ(rig.Hw.PortLog, (std::vector<TPortOp>{{true, 0x2E, 1, 0x21},
                                                  {false, 0x2F, 1, 0xB4},
                                                  {true, 0x2E, 1, 0x20},
                                                  {false, 0x2F, 1, 0x52}}));

  rig.Hw.PortLog.clear();
  EXPECT_EQ(rw.IoIndexReadDword(0x2E, 0x2F, 0x20), 0x9C01B452u);
  ASSERT_EQ(rig.Hw.PortLog.size(), 8u);
  EXPECT_EQ(rig.Hw.PortLog[0].Value, 0x23u);
  EXPECT_EQ(rig.Hw.PortLog[2].Value, 0x22u);
  EXPECT_EQ(rig.Hw.PortLog[4].Value, 0x21u);
  EXPECT_EQ(rig.Hw.PortLog[6].Value, 0x20u);
}

TEST(ReadWritePorts, IndexedWordWritesLowByteFirst) {
  TRig rig;
  TReadWrite& rw = rig.Build();
  EXPECT_TRUE(rw.IoIndexWriteWord(0x2E, 0x2F, 0x60, 0x0290));
  EXPECT_EQ(rig.Hw.PortLog, (std::vector<TPortOp>{{true, 0x2E, 1, 0x60},
                                                  {true, 0x2F, 1, 0x90},
                                                  {true, 0x2E, 1, 0x61},
                                                  {true, 0x2F, 1, 0x02}}));
  EXPECT_EQ(rw.IoIndexReadByte(0x2E, 0x2F, 0x61), 0x02);
}

TEST(ReadWritePorts, DebugLinesWritesBeforeAndReadsAfterTheAccess) {
  TRig rig;
  TReadWrite& rw = rig.Build();
  rig.Lines.Probe = [&] { return rig.Hw.PortLog.size(); };
  rig.Hw.Ports[0x295] = 0x3C;
  rig.Hw.Ports[0xCD6] = 0xBEEF;
  rig.Hw.Ports[0x808] = 0x00FFA5C3;

  EXPECT_TRUE(rw.IoBaseWriteByte(0x80, 0x5A));
  EXPECT_EQ(rw.IoBaseReadByte(0x295), 0x3C);
  EXPECT_TRUE(rw.IoBaseWriteWord(0xCD6, 0x1234));
  EXPECT_EQ(rw.IoBaseReadWord(0xCD6), 0x1234);
  EXPECT_TRUE(rw.IoBaseWriteDword(0xCF8, 0x8000F840));
  EXPECT_EQ(rw.IoBaseReadDword(0x808), 0x00FFA5C3u);

  EXPECT_EQ(
      rig.Lines.Lines,
      Expect({"RW: IoBaseWriteByte 0x0080=0x5A", "RW: IoBaseReadByte 0x0295=0x3C",
              "RW: IoBaseWriteWord 0x0CD6=0x1234", "RW: IoBaseReadWord 0x0CD6=0x1234",
              "RW: IoBaseWriteDword 0x0CF8=0x8000F840", "RW: IoBaseReadDword 0x0808=0x00FFA5C3"}));
  EXPECT_EQ(rig.Lines.Snapshots, (std::vector<size_t>{0, 2, 2, 4, 4, 6}));
  EXPECT_EQ(rig.Link.Codes,
            (std::vector<uint32_t>{CTL_WRITE_IO_BYTE, CTL_READ_IO_BYTE, CTL_WRITE_IO_WORD,
                                   CTL_READ_IO_WORD, CTL_WRITE_IO_DWORD, CTL_READ_IO_DWORD}));
}

TEST(ReadWritePci, ReadLinesHaveABlankAfterTheThirdCommaWriteLinesDoNot) {
  TRig rig;
  rig.Hw.AddFunction(0, 0x1F, 3, 0x29308086, 0x0C050002);
  rig.Hw.PutConfig(Bdf(0, 0x1F, 3), 0x40, 0x0000EF81);
  TReadWrite& rw = rig.Build();

  EXPECT_EQ(rw.PciReadByte(0, 0x1F, 3, 0x40), 0x81);
  EXPECT_EQ(rw.PciReadWord(0, 0x1F, 3, 0x40), 0xEF81);
  EXPECT_EQ(rw.PciReadDword(0, 0x1F, 3, 0x00), 0x29308086u);
  EXPECT_TRUE(rw.PciWriteByte(0, 0x1F, 3, 0x40, 0x01));
  EXPECT_TRUE(rw.PciWriteWord(0, 0x1F, 3, 0x20, 0x0400));
  EXPECT_TRUE(rw.PciWriteDword(0, 0x1F, 3, 0x44, 0xDEADBEEF));

  EXPECT_EQ(rig.Lines.Lines, Expect({"RW: PciReadByte 0x00,0x1F,0x03, 0x0040=0x81",
                                     "RW: PciReadWord 0x00,0x1F,0x03, 0x0040=0xEF81",
                                     "RW: PciReadDword 0x00,0x1F,0x03, 0x0000=0x29308086",
                                     "RW: PciWriteByte 0x00,0x1F,0x03,0x0040=0x01",
                                     "RW: PciWriteWord 0x00,0x1F,0x03,0x0020=0x0400",
                                     "RW: PciWriteDword 0x00,0x1F,0x03,0x0044=0xDEADBEEF"}));
  EXPECT_EQ(rig.Hw.ConfigDword(Bdf(0, 0x1F, 3), 0x40), 0x0000EF01u);
  EXPECT_EQ(rig.Hw.ConfigDword(Bdf(0, 0x1F, 3), 0x44), 0xDEADBEEFu);
}

TEST(ReadWritePci, BdfFormsReachTheSameFunction) {
  TRig rig;
  rig.Hw.AddFunction(0, 0x18, 3, 0x12031022, 0x06000000);
  rig.Hw.PutConfig(Bdf(0, 0x18, 3), 0x1F0, 0x00010000);
  TReadWrite& rw = rig.Build();

  const uint16_t bdf = Bdf(0, 0x18, 3);  // 0x00C3
  EXPECT_EQ(rw.PciReadDword(bdf, 0x1F0), 0x00010000u);
  EXPECT_EQ(rig.Link.LastPci.Bus, 0);
  EXPECT_EQ(rig.Link.LastPci.Device, 0x18);
  EXPECT_EQ(rig.Link.LastPci.Function, 3);
  EXPECT_EQ(rig.Link.LastPci.Offset, 0x1F0);
  EXPECT_TRUE(rw.PciWriteWord(bdf, 0x1F2, 0x0003));
  EXPECT_EQ(rw.PciReadByte(bdf, 0x1F2), 0x03);
  EXPECT_EQ(rw.PciReadWord(bdf, 0x1F2), rw.PciReadWord(0, 0x18, 3, 0x1F2));
  EXPECT_EQ(rig.Lines.Lines[0], "RW: PciReadDword 0x00,0x18,0x03, 0x01F0=0x00010000");
}

TEST(ReadWriteRouting, NineXExecutesPortsAndConfigurationCyclesItself) {
  TRig rig(/*osKind=*/0);
  rig.Hw.AddFunction(0, 0x18, 3, 0x12031022, 0x06000000);
  rig.Hw.PutConfig(Bdf(0, 0x18, 3), 0x1F0, 0xCAFE0042);
  rig.Hw.Msrs[0x10] = 5;
  rig.Hw.Ports[0x295] = 0x77;
  TReadWrite& rw = rig.Build();

  EXPECT_EQ(rw.IoBaseReadByte(0x295), 0x77);
  EXPECT_TRUE(rw.IoBaseWriteWord(0x80, 0x1234));
  // Offset 0x1F2: extended bits 27:24 = 1, register 0xF0, data through port 0xCFE.
  EXPECT_EQ(rw.PciReadWord(0, 0x18, 3, 0x1F2), 0xCAFE);
  EXPECT_TRUE(rw.PciWriteByte(0, 0x18, 3, 0x1F0, 0x99));
  EXPECT_TRUE(rig.Link.Codes.empty());
  EXPECT_EQ(rig.Hw.PortLog, (std::vector<TPortOp>{{false, 0x295, 1, 0x77},
                                                  {true, 0x80, 2, 0x1234},
                                                  {true, 0xCF8, 4, 0x8100C3F0},
                                                  {false, 0xCFE, 2, 0xCAFE},
                                                  {true, 0xCF8, 4, 0x8100C3F0},
                                                  {true, 0xCFC, 1, 0x99}}));
  EXPECT_EQ(rig.Hw.ConfigDword(Bdf(0, 0x18, 3), 0x1F0), 0xCAFE0099u);

  // MSRs go to the driver whatever the route.
  CpuRegisters regs{0, 0, 0x10, 0};
  EXPECT_TRUE(rw.ReadCpuMsr(regs));
  EXPECT_EQ(rig.Link.Codes, std::vector<uint32_t>{CTL_READ_MSR});
}

TEST(ReadWriteRouting, NineXMapsWithTheFourByteRequest) {
  TRig rig(/*osKind=*/0);
  rig.Hw.Ram.push_back({0xF0000, 0x100000});
  rig.Hw.PutMemory(0xF0010, "\x34\x12");
  TReadWrite& rw = rig.Build();

  EXPECT_EQ(rw.MemoryReadWord(0xF0010), 0x1234);
  EXPECT_EQ(rig.Link.Codes, (std::vector<uint32_t>{CTL_MAP_MEMORY, CTL_UNMAP_MEMORY}));
  EXPECT_EQ(rig.Link.InSizes, (std::vector<uint32_t>{4, 4}));

  // A 9x mapping failure is silent apart from the read's own line.
  rig.Lines.Clear();
  EXPECT_EQ(rw.MemoryReadByte(0x10), 0xFF);
  EXPECT_EQ(rig.Lines.Lines, Expect({"RW: MemoryReadByte 0x00000010=0xFF"}));
}

class ReadWriteNtRouting : public ::testing::TestWithParam<int> {};

TEST_P(ReadWriteNtRouting, PortsAndPciGoThroughTheDriver) {
  TRig rig(GetParam());
  rig.Link.OfferDirect = true;  // available, but the NT family must not use it
  rig.Hw.AddFunction(0, 0, 0, 0x29C08086, 0x06000002);
  TReadWrite& rw = rig.Build();

  rw.IoBaseReadDword(0x400);
  rw.IoBaseWriteByte(0x2E, 0x87);
  rw.PciReadDword(0, 0, 0, 0);
  rw.PciWriteWord(0, 0, 0, 0x04, 0x0006);
  EXPECT_EQ(rig.Link.Codes, (std::vector<uint32_t>{CTL_READ_IO_DWORD, CTL_WRITE_IO_BYTE,
                                                   CTL_READ_PCI_DWORD, CTL_WRITE_PCI_WORD}));
  EXPECT_EQ(rig.Link.InSizes, (std::vector<uint32_t>{8, 8, 12, 12}));
  // No configuration cycle went over the ports.
  for (const TPortOp& op : rig.Hw.PortLog) EXPECT_NE(op.Port, 0xCF8);
}

INSTANTIATE_TEST_SUITE_P(OsKinds, ReadWriteNtRouting, ::testing::Range(1, 7));

TEST(ReadWriteDisconnected, ReadsAreAllOnesWritesFailAndCpuReadsFail) {
  TRig rig;
  rig.Service.DeviceOpens = false;
  TReadWrite& rw = rig.Build();
  ASSERT_FALSE(rw.IsConnected());
  EXPECT_EQ(rw.PcieBase(), kNoPcieBase);

  // Nothing of what a write left in the shared record may come back as a reading.
  EXPECT_FALSE(rw.IoBaseWriteByte(0x80, 0x5A));
  EXPECT_EQ(rw.IoBaseReadByte(0x81), 0xFF);
  EXPECT_FALSE(rw.IoBaseWriteWord(0x80, 0x1234));
  EXPECT_EQ(rw.IoBaseReadWord(0x80), 0xFFFF);
  EXPECT_FALSE(rw.IoBaseWriteDword(0x80, 0x12345678));
  EXPECT_EQ(rw.IoBaseReadDword(0x80), 0xFFFFFFFFu);
  EXPECT_FALSE(rw.IoIndexWriteByte(0x2E, 0x2F, 0x07, 0x0B));
  EXPECT_FALSE(rw.IoIndexWriteWord(0x2E, 0x2F, 0x60, 0x0290));
  EXPECT_EQ(rw.IoIndexReadWord(0x2E, 0x2F, 0x20), 0xFFFF);
  EXPECT_FALSE(rw.PciWriteDword(0, 0, 0, 0x40, 0x11223344));
  EXPECT_EQ(rw.PciReadWord(0, 0, 0, 0x00), 0xFFFF);
  EXPECT_FALSE(rw.PciWriteByte(0, 0, 0, 0x40, 0x11));
  EXPECT_EQ(rw.PciReadByte(0, 0, 0, 0x40), 0xFF);
  EXPECT_FALSE(rw.PcieWriteWord(0, 0, 0, 0x40, 0x1122));
  EXPECT_EQ(rw.PcieReadDword(0, 0, 0, 0x40), 0xFFFFFFFFu);

  rig.Lines.Clear();
  CpuRegisters regs{0, 0, 0x198, 0};
  EXPECT_FALSE(rw.ReadCpuMsr(regs));
  EXPECT_EQ(rw.ReadCR(0), ~uint64_t{0});
  EXPECT_EQ(rw.ReadTSC(), 0u);
  EXPECT_EQ(rw.ReadPMC(0), 0u);
  EXPECT_EQ(rw.MemoryReadDword(0xF0000), 0xFFFFFFFFu);
  EXPECT_EQ(rig.Lines.Lines,
            Expect({"RW: ReadCpuMsr error!", "RW: ReadCR error!", "RW: ReadTSC error!",
                    "RW: ReadPMC error!", "RW: Map Memory Error: 0x000F0000",
                    "RW: MemoryReadDword 0x000F0000=0xFFFFFFFF"}));
  EXPECT_TRUE(rig.Hw.PortLog.empty());
}

TEST(ReadWriteRefused, AFailedControlCallReadsAllOnesAndAFailedWriteIsFalse) {
  TRig rig;
  rig.Hw.AddFunction(0, 0, 0, 0x29C08086, 0x06000002);
  TReadWrite& rw = rig.Build();
  rig.Link.Refused = {CTL_READ_IO_BYTE, CTL_READ_IO_WORD, CTL_READ_PCI_DWORD, CTL_WRITE_PCI_BYTE};

  // The write leaves 0x5A in the shared record; the refused read must not hand it back.
  EXPECT_TRUE(rw.IoBaseWriteByte(0x80, 0x5A));
  EXPECT_EQ(rw.IoBaseReadByte(0x80), 0xFF);
  EXPECT_EQ(rw.IoBaseReadWord(0x80), 0xFFFF);
  EXPECT_EQ(rw.PciReadDword(0, 0, 0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(rw.PciReadWord(0, 0, 0, 0), 0x8086);  // its own code still answers
  EXPECT_FALSE(rw.PciWriteByte(0, 0, 0, 0x40, 0x11));
  EXPECT_TRUE(rig.Lines.Has("RW: IoBaseReadByte 0x0080=0xFF"));

  rig.Link.Refused = {CTL_WRITE_IO_BYTE};
  // An index that could not be set makes the data port answer for another register: no read.
  rig.Hw.PortLog.clear();
  EXPECT_EQ(rw.IoIndexReadByte(0x2E, 0x2F, 0x20), 0xFF);
  EXPECT_EQ(rig.Link.Count(CTL_READ_IO_BYTE), 1u);  // only the earlier one
  EXPECT_FALSE(rw.IoIndexWriteByte(0x2E, 0x2F, 0x07, 0x0B));
}

TEST(ReadWriteRefused, NineXWithoutItsOwnPortAccessReadsAllOnes) {
  TRig rig(/*osKind=*/0);
  rig.Link.OfferDirect = false;
  TReadWrite& rw = rig.Build();
  EXPECT_FALSE(rw.IoBaseWriteDword(0x80, 0x12345678));
  EXPECT_EQ(rw.IoBaseReadDword(0x80), 0xFFFFFFFFu);
  EXPECT_FALSE(rw.PciWriteWord(0, 0, 0, 0x04, 0x0006));
  EXPECT_EQ(rw.PciReadWord(0, 0, 0, 0), 0xFFFF);
  EXPECT_TRUE(rig.Hw.PortLog.empty());
}

TEST(ReadWriteCpu, MsrLinesCarryEdxAndEaxSideBySide) {
  TRig rig;
  rig.Hw.Msrs[0x198] = 0x000000010A2B0C2Dull;
  rig.Hw.Msrs[0x199] = 0;
  TReadWrite& rw = rig.Build();
  rig.Lines.Probe = [&] { return static_cast<size_t>(rig.Hw.Msrs[0x199]); };

  CpuRegisters regs{0, 0, 0x198, 0};
  ASSERT_TRUE(rw.ReadCpuMsr(regs));
  EXPECT_EQ(regs.EAX, 0x0A2B0C2Du);
  EXPECT_EQ(regs.EDX, 0x00000001u);
  EXPECT_EQ(regs.ECX, 0x198u);
  EXPECT_TRUE(rw.WriteCpuMsr(CpuRegisters{0x0B25, 0, 0x199, 0}));
  EXPECT_EQ(rig.Hw.Msrs[0x199], 0x0B25u);

  CpuRegisters missing{0, 0, 0xC0010071, 0};
  EXPECT_FALSE(rw.ReadCpuMsr(missing));
  EXPECT_FALSE(rw.WriteCpuMsr(missing));
  EXPECT_EQ(rig.Lines.Lines,
            Expect({"RW: ReadCpuMsr 0x00000198=0x000000010x0A2B0C2D",
                    "RW: WriteCpuMsr 0x00000199=0x000000000x00000B25", "RW: ReadCpuMsr error!",
                    "RW: WriteCpuMsr 0xC0010071=0x000000000x00000000"}));
  EXPECT_EQ(rig.Lines.Snapshots[1], 0u);  // traced before the MSR changed
}

TEST(ReadWriteCpu, ControlRegistersCountersAndTheirFailureValues) {
  TRig rig;
  rig.Hw.Crs[4] = 0x6F8;
  rig.Hw.Crs[0] = 0x8001003B;
  rig.Hw.Pmcs[1] = 0x123456789AULL;
  rig.Hw.Tsc = 0x00001C6BF5263400ULL;
  TReadWrite& rw = rig.Build();

  EXPECT_EQ(rw.ReadCR(4), 0x6F8u);
  EXPECT_TRUE(rw.WriteCR(0, 0x80010033));
  EXPECT_EQ(rig.Hw.Crs[0], 0x80010033u);
  EXPECT_EQ(rw.ReadCR(5), ~uint64_t{0});
  EXPECT_FALSE(rw.WriteCR(5, 1));
  EXPECT_EQ(rw.ReadPMC(1), 0x123456789AULL);
  EXPECT_EQ(rw.ReadPMC(7), 0u);
  EXPECT_EQ(rw.ReadTSC(), 0x00001C6BF5263400ULL);
  rig.Hw.TscWorks = false;
  EXPECT_EQ(rw.ReadTSC(), 0u);

  EXPECT_EQ(rig.Lines.Lines,
            Expect({"RW: ReadCR 4=0x00000000000006F8", "RW: WriteCR 0=0x0000000080010033",
                    "RW: ReadCR error!", "RW: WriteCR 5=0x0000000000000001",
                    "RW: ReadPMC 1=0x000000123456789A", "RW: ReadPMC error!",
                    "RW: ReadTSC 0x00001C6BF5263400", "RW: ReadTSC error!"}));
}

TEST(ReadWriteCpu, CpuIdGoesThroughTheLinkAndIsTraced) {
  TRig rig;
  rig.Hw.CpuIdLeaves[1] = CpuRegisters{0x000106A5, 0x00100800, 0x0098E3BD, 0xBFEBFBFF};
  TReadWrite& rw = rig.Build();

  CpuRegisters regs{1, 0, 0, 0};
  rw.ExecuteCpuId(regs);
  EXPECT_EQ(regs.EAX, 0x000106A5u);
  EXPECT_EQ(regs.EDX, 0xBFEBFBFFu);
  EXPECT_TRUE(rig.Link.Codes.empty());
  EXPECT_EQ(rig.Lines.Lines,
            Expect({"RW: ExecuteCpuId 0x00000001=0x000106A5,0x00100800,0x0098E3BD,0xBFEBFBFF"}));
}

TEST(ReadWriteCpu, AffinityPinsProcessAndLinkOnlyWithSeveralProcessors) {
  TRig quad(4, kNoPcieBase, /*processors=*/4);
  TReadWrite& rw = quad.Build();
  EXPECT_TRUE(rw.SetCpuAffinity(3));
  EXPECT_TRUE(rw.SetCpuAffinity(4));
  // Processors the system does not have: nothing is pinned, so the MSR accesses that follow
  // cannot silently run on the previous one.
  EXPECT_FALSE(rw.SetCpuAffinity(0));
  EXPECT_FALSE(rw.SetCpuAffinity(5));
  EXPECT_FALSE(rw.SetCpuAffinity(33));
  EXPECT_EQ(quad.System.Masks, (std::vector<uint32_t>{4, 8}));
  EXPECT_EQ(quad.Hw.AffinityMasks, (std::vector<uint32_t>{4, 8}));

  TRig single(4, kNoPcieBase, /*processors=*/1);
  TReadWrite& one = single.Build();
  EXPECT_FALSE(one.SetCpuAffinity(1));
  EXPECT_TRUE(single.System.Masks.empty());
  EXPECT_TRUE(single.Hw.AffinityMasks.empty());
}

TEST(ReadWriteCpu, ExtendedConfigurationSetsBit46OfTheNorthbridgeMsr) {
  TRig rig;
  rig.Hw.Msrs[0xC001001F] = 0x0000000000400000ULL;
  TReadWrite& rw = rig.Build();
  EXPECT_TRUE(rw.EnableExtendedPciConfig());
  EXPECT_EQ(rig.Hw.Msrs[0xC001001F], 0x0000400000400000ULL);

  TRig intel;
  TReadWrite& other = intel.Build();
  EXPECT_FALSE(other.EnableExtendedPciConfig());
  EXPECT_EQ(intel.Link.Codes, std::vector<uint32_t>{CTL_READ_MSR});
}

TEST(ReadWriteCpu, ClockMeasurementsUseTheirOwnCodes) {
  TRig rig;
  TReadWrite& rw = rig.Build();
  ClockRequest request{};
  request.CounterMsr = 0x10;
  request.Microseconds = 800;
  ASSERT_TRUE(rw.MeasureClock(request));
  EXPECT_EQ(request.CountLow, 2400000u);
  ASSERT_TRUE(rw.MeasureClockAmd(request));
  EXPECT_EQ(request.CountLow, 2600000u);
  EXPECT_EQ(rig.Link.Codes, (std::vector<uint32_t>{CTL_MEASURE_CLOCK, CTL_MEASURE_CLOCK_AMD}));
  EXPECT_EQ(rig.Link.InSizes, (std::vector<uint32_t>{32, 32}));
}

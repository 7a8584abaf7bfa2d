#include "platform/cpu.h"

#include <gtest/gtest.h>

#include "cpu_testrig.h"
#include "sim/amdnorthbridge.h"

namespace {

using namespace cputest;

// What each shipped board's processor must report.
struct TBoardTruth {
  const char* Board;
  const char* Vendor;
  int VendorCode;
  uint32_t Signature;
  int FamilyClass;
  bool Nehalem, Family6, Family15;
  float BusClock, MinRatio, MaxRatio, CurrentRatio, RatioStep, RatioForMax;
  uint32_t Selector;
  double Mhz;
};

class CpuBoards : public ::testing::TestWithParam<TBoardTruth> {};

TEST_P(CpuBoards, IdentifyDetectAndMeasureWithinOnePercent) {
  const TBoardTruth& truth = GetParam();
  TCpuRig rig(truth.Board);
  ASSERT_NE(rig.Cpu, nullptr);
  TCpu& cpu = *rig.Cpu;
  EXPECT_EQ(cpu.GetVendorString(), truth.Vendor);
  EXPECT_EQ(cpu.GetVendor(), truth.VendorCode);
  EXPECT_EQ(cpu.GetSignature(), truth.Signature);
  EXPECT_EQ(cpu.GetFamilyClass(), truth.FamilyClass);
  EXPECT_EQ(cpu.IsNehalem(), truth.Nehalem);
  EXPECT_EQ(cpu.IsFamily6(), truth.Family6);
  EXPECT_EQ(cpu.IsFamily15(), truth.Family15);

  cpu.DetectBusClock();
  cpu.DetectRatios();
  EXPECT_FLOAT_EQ(cpu.BusClock, truth.BusClock);
  EXPECT_FLOAT_EQ(cpu.MinRatio, truth.MinRatio);
  EXPECT_FLOAT_EQ(cpu.MaxRatio, truth.MaxRatio);
  EXPECT_FLOAT_EQ(cpu.CurrentRatio, truth.CurrentRatio);
  EXPECT_FLOAT_EQ(cpu.RatioStep, truth.RatioStep);
  EXPECT_FLOAT_EQ(cpu.RatioForMax, truth.RatioForMax);
  EXPECT_TRUE(cpu.SpeedStepAvailable);
  // The clock indicator's full scale is the board's frequency.
  EXPECT_TRUE(WithinOnePercent(cpu.BusClock * cpu.RatioForMax, truth.Mhz));

  EXPECT_EQ(cpu.ClockSelector(), truth.Selector);
  rig.Lines.Clear();
  const float clock = cpu.MeasureClock();
  EXPECT_EQ(clock, cpu.Clock);
  EXPECT_TRUE(WithinOnePercent(clock, truth.Mhz));
  EXPECT_EQ(rig.Lines.RwCount("RW: GetCpuClock"), 1u);
  ASSERT_FALSE(rig.Lines.Rw.empty());
  EXPECT_EQ(rig.Lines.Rw.back(), "RW: CpuClock=" + RealText(clock));
}

INSTANTIATE_TEST_SUITE_P(
    Shipped, CpuBoards,
    ::testing::Values(TBoardTruth{"p35-core2", "GenuineIntel", 1, 0x10677, 2, false, true, false,
                                  266.66f, 6, 10, 10, 1, 10, 0xE8, 2666.67},
                      TBoardTruth{"x58-nehalem", "GenuineIntel", 1, 0x106A5, 2, true, true, false,
                                  133.33f, 12, 20, 20, 1, 20, 0xE8, 2666.67},
                      TBoardTruth{"p4-netburst", "GenuineIntel", 1, 0xF43, 1, false, false, true,
                                  200, 14, 15, 15, 1, 15, 0x10, 3000},
                      TBoardTruth{"am2-k8", "AuthenticAMD", 2, 0x60FB2, 1, false, false, true, 200,
                                  5, 13, 13, 0.5f, 13, 0x10, 2600},
                      TBoardTruth{"am2p-phenom", "AuthenticAMD", 2, 0x100F42, 1, false, false, true,
                                  200, 4, 31.5f, 15, 0.5f, 15, 0x10, 3000}),
    [](const ::testing::TestParamInfo<TBoardTruth>& info) {
      std::string name = info.param.Board;
      std::replace(name.begin(), name.end(), '-', '_');
      return name;
    });

TEST(Cpu, VendorIsReadOnceAndUnknownVendorsFollowTheGenericRules) {
  TSimMachineConfig config = ProcessorConfig("GenuineTMx86", 0x543);
  TCpuRig rig(config);
  TCpu& cpu = *rig.Cpu;
  EXPECT_EQ(cpu.GetVendor(), kVendorUnknown);
  EXPECT_EQ(cpu.GetVendor(), kVendorUnknown);
  EXPECT_FALSE(cpu.IsIntelCpu());
  EXPECT_FALSE(cpu.IsAMDCpu());
  EXPECT_EQ(rig.Lines.RwCount("RW: ExecuteCpuId 0x00000000="), 1u);

  cpu.BusClock = 123.0f;
  cpu.DetectBusClock();
  EXPECT_FLOAT_EQ(cpu.BusClock, 123.0f);
  EXPECT_EQ(cpu.ClockSelector(), kClockSelectorTsc);
  EXPECT_EQ(cpu.GetCpuCode(), 0u);

  // No power-management leaf: no MSR is read.
  rig.Lines.Clear();
  cpu.DetectRatios();
  EXPECT_FALSE(cpu.SpeedStepAvailable);
  EXPECT_EQ(rig.Lines.RwCount("RW: ReadCpuMsr"), 0u);
  EXPECT_FLOAT_EQ(cpu.HtMultiplier, 1.0f);

  // The plain measurement with the time-stamp counter.
  EXPECT_TRUE(WithinOnePercent(cpu.MeasureClock(), 2000));
}

TEST(Cpu, UnknownVendorReportingFidVidControlReadsTheFidVidStatus) {
  TSimMachineConfig config = ProcessorConfig("CentaurHaulz", 0x6A9, {{0xC0010042, 0x0A0A, 0}});
  config.Processor.CpuIdLeaves[0x80000007] = {0, 0, 0, 0x06};
  TCpuRig rig(config);
  rig.Cpu->DetectRatios();
  EXPECT_TRUE(rig.Cpu->SpeedStepAvailable);
  EXPECT_EQ(rig.Lines.RwCount("RW: ReadCpuMsr 0xC0010042"), 1u);
  EXPECT_FLOAT_EQ(rig.Cpu->MaxRatio, 4.0f);
  EXPECT_FLOAT_EQ(rig.Cpu->CurrentRatio, 9.0f);
  EXPECT_FLOAT_EQ(rig.Cpu->RatioStep, 1.0f);  // below signature 0x60000
}

struct TBusCase {
  uint32_t Signature;
  uint32_t Msr;  // 0: none
  uint64_t Value;
  float Expected;
};

TEST(Cpu, BusClockTablesBySignature) {
  const TBusCase cases[] = {
      {0x6D0, 0, 0, 100.0f},             // no MSR read at all
      {0x695, 0, 0, 100.0f},             // Pentium M
      {0x6D8, 0xCD, 1, 133.33f},         // table A
      {0x6D8, 0xCD, 3, 166.66f},         // table A
      {0x6D8, 0xCD, 4, -1.0f},           // past table A: unchanged
      {0x6FB, 0xCD, 4, 333.33f},         // table B
      {0x6FB, 0xCD, 6, 400.0f},          // table B
      {0x6FB, 0xCD, 7, -1.0f},           // past table B
      {0xF12, 0, 0, 100.0f},             // early family 15
      {0xF29, 0x2C, 3u << 16, 166.66f},  // table C
      {0xF34, 0x2C, 5u << 16, -1.0f},    // past table C
  };
  for (const TBusCase& c : cases) {
    std::vector<TSimMsrDefault> msrs;
    if (c.Msr != 0) msrs.push_back({c.Msr, c.Value, 0});
    TCpuRig rig(ProcessorConfig("GenuineIntel", c.Signature, msrs));
    rig.Cpu->BusClock = -1.0f;
    rig.Cpu->DetectBusClock();
    EXPECT_FLOAT_EQ(rig.Cpu->BusClock, c.Expected) << std::hex << c.Signature;
    if (c.Msr == 0) {
      EXPECT_EQ(rig.Lines.RwCount("RW: ReadCpuMsr"), 0u) << std::hex << c.Signature;
    }
  }
}

TEST(Cpu, Family6HalfRatios) {
  // Maximum code 0x49: bit 6 is a half.
  TCpuRig plain(ProcessorConfig("GenuineIntel", 0x10676,
                                {{0x17, 0x3, 0}, {0x198, 0x00004900'06000816ull, 0}}));
  plain.Cpu->DetectRatios();
  EXPECT_FLOAT_EQ(plain.Cpu->MaxRatio, 9.5f);
  EXPECT_FLOAT_EQ(plain.Cpu->RatioStep, 0.5f);
  EXPECT_FLOAT_EQ(plain.Cpu->CurrentRatio, 8.0f);
  EXPECT_FLOAT_EQ(plain.Cpu->MinRatio, 6.0f);
  EXPECT_TRUE(plain.Cpu->ExtFlag);
  EXPECT_FLOAT_EQ(plain.Cpu->RatioForMax, 9.5f);

  // Platform bits 23 and 14: a whole maximum gains a half, current and minimum decode bit 6.
  TCpuRig halves(ProcessorConfig("GenuineIntel", 0x10676,
                                 {{0x17, 0x00804000, 0}, {0x198, 0x00000900'46004816ull, 0}}));
  halves.Cpu->DetectRatios();
  EXPECT_FLOAT_EQ(halves.Cpu->MaxRatio, 9.5f);
  EXPECT_FLOAT_EQ(halves.Cpu->CurrentRatio, 8.5f);
  EXPECT_FLOAT_EQ(halves.Cpu->MinRatio, 6.5f);
  EXPECT_FLOAT_EQ(halves.Cpu->RatioStep, 0.5f);
  EXPECT_FALSE(halves.Cpu->ExtFlag);
}

TEST(Cpu, Family15EarlySteppingsTakeFixedRatios) {
  struct TCase {
    uint32_t Signature;
    uint32_t Msr2C;
    float Max, Min;
    bool Ext;  // bit 2 or 4 of MSR 0x2C
  } const cases[] = {
      {0xF21, 0x0002040C, 20, 12, true},
      {0xF27, 0x00020400, 21, 15, false},
      {0xF27, 0x00020410, 16, 12, true},  // a ratio in the register: taken as from 0xF30 on
      {0xF29, 0x00020311, 17, 14, true},
  };
  for (const TCase& c : cases) {
    TCpuRig rig(ProcessorConfig("GenuineIntel", c.Signature, {{0x2C, c.Msr2C, 0}}));
    rig.Cpu->CurrentRatio = -1;
    rig.Cpu->DetectRatios();
    EXPECT_FLOAT_EQ(rig.Cpu->MaxRatio, c.Max) << std::hex << c.Signature;
    EXPECT_FLOAT_EQ(rig.Cpu->MinRatio, c.Min) << std::hex << c.Signature;
    EXPECT_EQ(rig.Cpu->ExtFlag, c.Ext) << std::hex << c.Signature;
    EXPECT_FLOAT_EQ(rig.Cpu->CurrentRatio, -1) << "not read before 0xF30";
  }
}

TEST(Cpu, EnableSpeedStepSwitchesEistOnAndReadsItsLock) {
  TCpuRig rig("p4-netburst");
  EXPECT_EQ(rig.Msr(0, 0x1A0) & (1u << 16), 0u);  // off at power-on
  rig.Cpu->DetectRatios();
  EXPECT_NE(rig.Msr(0, 0x1A0) & (1u << 16), 0u);
  EXPECT_TRUE(rig.Cpu->SpeedStepAvailable);
  EXPECT_TRUE(rig.Cpu->SpeedStepUnlocked);
  EXPECT_EQ(rig.Msr(0, 0x1A0) & 0x40089, 0x40089u) << "other bits kept";

  rig.SetMsr(0, 0x1A0, rig.Msr(0, 0x1A0) | (1u << 20));
  rig.Cpu->DetectRatios();
  EXPECT_FALSE(rig.Cpu->SpeedStepUnlocked);

  // Without EIST in CPUID nothing is written.
  TSimMachineConfig config = ProcessorConfig("GenuineIntel", 0x10677, {{0x1A0, 0x89, ~0ull}});
  TCpuRig bare(config);
  bare.Cpu->DetectRatios();
  EXPECT_FALSE(bare.Cpu->SpeedStepAvailable);
  EXPECT_EQ(bare.Lines.RwCount("RW: WriteCpuMsr"), 0u);
}

TEST(Cpu, IntelClockFollowsPStatesAndModulationIsRestoredAfterAMeasurement) {
  TCpuRig rig("p35-core2");
  TCpu& cpu = *rig.Cpu;
  ASSERT_TRUE(rig.WriteMsr(0x199, 0x0616));  // ratio 6
  cpu.DetectRatios();
  EXPECT_FLOAT_EQ(cpu.CurrentRatio, 6.0f);
  EXPECT_TRUE(WithinOnePercent(cpu.MeasureClock(), 1600));

  // 50 % on-demand modulation on the measuring core.
  ASSERT_TRUE(rig.WriteMsr(0x19A, 0x18));
  EXPECT_TRUE(WithinOnePercent(rig.CoreMHz(0), 800));
  EXPECT_TRUE(WithinOnePercent(cpu.MeasureClock(), 1600));
  EXPECT_EQ(rig.Msr(0, 0x19A), 0x18u);
  EXPECT_EQ(rig.Lines.RwCount("RW: WriteCpuMsr 0x0000019A=0x000000000x00000008"), 1u);
  EXPECT_EQ(rig.Lines.RwCount("RW: WriteCpuMsr 0x0000019A=0x000000000x00000018"), 2u);

  // The same request without the program's care sees the slowed clock.
  ClockRequest request{0xE8, 800, 0, 0, rig.Init->PmTimerPort, 0, {}};
  ASSERT_TRUE(rig.Rw->MeasureClock(request));
  const double raw =
      (uint64_t{request.CountHigh} << 32 | request.CountLow) * 3.579545 / request.Microseconds;
  EXPECT_TRUE(WithinOnePercent(raw, 800));
}

TEST(Cpu, TimeStampCounterClockIsScaledByTheCurrentRatio) {
  TCpuRig rig("p4-netburst");
  TCpu& cpu = *rig.Cpu;
  cpu.DetectRatios();                        // switches EIST on
  ASSERT_TRUE(rig.WriteMsr(0x199, 0x0E2D));  // ratio 14
  EXPECT_TRUE(WithinOnePercent(rig.CoreMHz(0), 2800));
  EXPECT_TRUE(WithinOnePercent(cpu.MeasureClock(), 2800));
  EXPECT_FLOAT_EQ(cpu.CurrentRatio, 14.0f);

  // With the select lock set the counter's own rate is reported.
  rig.SetMsr(0, 0x1A0, rig.Msr(0, 0x1A0) | (1u << 20));
  EXPECT_TRUE(WithinOnePercent(cpu.MeasureClock(), 3000));
}

TEST(Cpu, AFailedMeasurementLeavesZeroAndStillTraces) {
  // A family-6 processor without APERF: the counter read faults.
  TCpuRig rig(ProcessorConfig("GenuineIntel", 0x10677, {{0x19A, 0x18, 0x1F}}));
  EXPECT_EQ(rig.Cpu->MeasureClock(), 0.0f);
  EXPECT_EQ(rig.Cpu->Clock, 0.0f);
  EXPECT_EQ(rig.Lines.Rw.back(), "RW: CpuClock=0");
  EXPECT_EQ(rig.Msr(0, 0x19A), 0x18u) << "modulation restored after a failure too";
}

TEST(Cpu, AmdNorthbridgeThrottleRestoredAndChipsetLeftAlone) {
  TCpuRig rig("am2p-phenom");
  TSimAmdNorthbridge& nb =
      *dynamic_cast<TSimAmdNorthbridge*>(rig.Machine->FindDevice(TSimAmdNorthbridge::Name));
  auto& sb = *dynamic_cast<TSimAmdSbPm*>(rig.Machine->FindDevice(TSimAmdSbPm::Name));
  rig.Rw->PciWriteByte(0, 0x18, 3, 0x64, 0x01);
  sb.SetRegister(0x61, 0x18);
  EXPECT_TRUE(WithinOnePercent(rig.CoreMHz(), 750));  // both halve the clock
  rig.Lines.Clear();

  EXPECT_TRUE(WithinOnePercent(rig.Cpu->MeasureClock(), 1500));
  EXPECT_EQ(nb.Function(3).Byte(0x64), 0x11) << "HtcEn restored (HtcActive follows)";
  EXPECT_EQ(sb.Register(0x61), 0x18);
  EXPECT_EQ(rig.Lines.RwCount("0x0CD6"), 0u);
  EXPECT_EQ(rig.Lines.RwCount("RW: PciWriteByte 0x00,0x18,0x03,0x0064=0x10"), 1u);
  EXPECT_EQ(rig.Lines.RwCount("RW: PciWriteByte 0x00,0x18,0x03,0x0064=0x11"), 1u);
  EXPECT_TRUE(WithinOnePercent(rig.CoreMHz(), 750));
}

TEST(Cpu, AmdSouthbridgeThrottleRestored) {
  TCpuRig rig("am2p-phenom");
  auto& sb = *dynamic_cast<TSimAmdSbPm*>(rig.Machine->FindDevice(TSimAmdSbPm::Name));
  EXPECT_EQ(sb.Register(0x61), 0x08);
  EXPECT_TRUE(WithinOnePercent(rig.Cpu->MeasureClock(), 3000));
  EXPECT_EQ(rig.Lines.RwCount("RW: IoBaseWriteByte"), 1u) << "only the index of the read";

  sb.SetRegister(0x61, 0x18);
  rig.Lines.Clear();
  EXPECT_TRUE(WithinOnePercent(rig.Cpu->MeasureClock(), 3000));
  EXPECT_EQ(sb.Register(0x61), 0x18);
  EXPECT_EQ(rig.Lines.RwCount("RW: IoBaseWriteByte 0x0CD7=0x08"), 1u);
  EXPECT_EQ(rig.Lines.RwCount("RW: IoBaseWriteByte 0x0CD7=0x18"), 1u);
  EXPECT_TRUE(WithinOnePercent(rig.CoreMHz(), 1500));
}

TEST(Cpu, NvidiaChipsetThrottleRestored) {
  TCpuRig rig("am2-k8");
  auto& pcnt = *dynamic_cast<TSimMcpPcnt*>(rig.Machine->FindDevice(TSimMcpPcnt::Name));
  rig.Rw->IoBaseWriteByte(0x1011, 0x10);
  EXPECT_TRUE(WithinOnePercent(rig.CoreMHz(), 1300));
  rig.Lines.Clear();
  EXPECT_TRUE(WithinOnePercent(rig.Cpu->MeasureClock(), 2600));
  EXPECT_EQ(pcnt.Value(), 0x1000u);
  EXPECT_EQ(rig.Lines.RwCount("RW: IoBaseWriteByte 0x1011=0x00"), 1u);
  EXPECT_EQ(rig.Lines.RwCount("RW: IoBaseWriteByte 0x1011=0x10"), 1u);
  EXPECT_TRUE(WithinOnePercent(rig.CoreMHz(), 1300));
}

TEST(Cpu, Family10hMaximumFromCofLimitOrTopPState) {
  TCpuRig rig("am2p-phenom");
  TCpu& cpu = *rig.Cpu;
  // Firmware left extended configuration access off: the top P-state read must switch it on.
  rig.WriteMsr(0xC001001F, 0);
  cpu.DetectRatios();
  EXPECT_FLOAT_EQ(cpu.MaxRatio, 31.5f);
  EXPECT_FLOAT_EQ(cpu.AmdMaxCof, 6300.0f);
  EXPECT_FLOAT_EQ(cpu.RatioForMax, 15.0f);
  EXPECT_NE(rig.Msr(0, 0xC001001F) & (1ull << 46), 0u);
  EXPECT_FLOAT_EQ(cpu.AmdNbRatio, 9.0f);
  EXPECT_FLOAT_EQ(cpu.HtMultiplier, 9.0f);

  // A locked multiplier: MaxCpuCof 30 (3.0 GHz); no extended access needed.
  const uint64_t status = rig.Msr(0, 0xC0010071);
  rig.SetMsr(0, 0xC0010071, status | (30ull << 49) | (1ull << 22));
  rig.Lines.Clear();
  cpu.DetectRatios();
  EXPECT_FLOAT_EQ(cpu.MaxRatio, 15.0f);
  EXPECT_FLOAT_EQ(cpu.RatioForMax, 15.0f);
  EXPECT_FLOAT_EQ(cpu.AmdMaxCof, 3000.0f);
  EXPECT_FLOAT_EQ(cpu.AmdNbRatio, 4.5f) << "northbridge divisor";
  EXPECT_FLOAT_EQ(cpu.AmdNbValue, 8.0f);  // F3x1F0 = 0x20
  EXPECT_EQ(rig.Lines.RwCount("0xC001001F"), 0u);
}

TEST(Cpu, Family10hPStateChangesTheRatioAndTheClock) {
  TCpuRig rig("am2p-phenom");
  ASSERT_TRUE(rig.WriteMsr(0xC0010062, 2));
  rig.Cpu->DetectRatios();
  EXPECT_FLOAT_EQ(rig.Cpu->CurrentRatio, 9.0f);
  EXPECT_TRUE(WithinOnePercent(rig.Cpu->MeasureClock(), 1800));
  ASSERT_TRUE(rig.WriteMsr(0xC0010062, 3));  // 800 MHz: DID 1
  rig.Cpu->DetectRatios();
  EXPECT_FLOAT_EQ(rig.Cpu->CurrentRatio, 4.0f);
  EXPECT_TRUE(WithinOnePercent(rig.Cpu->MeasureClock(), 800));
}

TEST(Cpu, Family0FhRatiosFollowFidVidTransitions) {
  TCpuRig rig("am2-k8");
  ASSERT_TRUE(rig.WriteMsr(0xC0010041, 0x1080B));  // FID 0x0B (9.5x), VID 8, InitFidVid
  rig.Cpu->DetectRatios();
  EXPECT_FLOAT_EQ(rig.Cpu->CurrentRatio, 9.5f);
  EXPECT_FLOAT_EQ(rig.Cpu->MaxRatio, 13.0f);
  EXPECT_FLOAT_EQ(rig.Cpu->AmdNbRatio, 0.0f);
  EXPECT_TRUE(WithinOnePercent(rig.Cpu->MeasureClock(), 1900));

  // A slower link leaves the minimum at 4.
  rig.Machine->Pci().Function(0, 0x18, 0)->SetByte(0x89, 5);
  rig.Cpu->DetectRatios();
  EXPECT_FLOAT_EQ(rig.Cpu->MinRatio, 4.0f);
  EXPECT_FLOAT_EQ(rig.Cpu->HtMultiplier, 4.0f);
  rig.Machine->Pci().Function(0, 0x18, 0)->SetByte(0x89, 15);
  EXPECT_FLOAT_EQ(rig.Cpu->GetHtMultiplier(), 1.0f) << "past the table";
}

TEST(Cpu, AmdNbRevisionTracesTheSignature) {
  TCpuRig phenom("am2p-phenom");
  EXPECT_EQ(phenom.Cpu->GetAmdNbRev(), 2);
  ASSERT_FALSE(phenom.Lines.Trace.empty());
  EXPECT_EQ(phenom.Lines.Trace.back(), "CPUID = [0x00100F42]");
  TCpuRig k8("am2-k8");
  EXPECT_EQ(k8.Cpu->GetAmdNbRev(), 1);
  EXPECT_EQ(k8.Lines.Trace.back(), "CPUID = [0x00060FB2]");
  EXPECT_EQ(k8.Cpu->GetAmdNbRev(), 1);
  EXPECT_EQ(k8.Lines.Trace.size(), 2u) << "one line per call";
}

TEST(Cpu, CpuCodePerFamily) {
  TCpuRig core2("p35-core2");  // two logical processors: CPUID 1 EBX bits 18:16 = 2
  EXPECT_EQ(core2.Cpu->GetCpuCode(), 0x10677u | 0x40000u);
  core2.SetMsr(0, 0xCD, 2);
  core2.SetMsr(0, 0x198, core2.Msr(0, 0x198) | 0x80000000u);
  EXPECT_EQ(core2.Cpu->GetCpuCode(), 0x10677u | 0x40000u | 0x200000u | 0x3C000000u);

  TCpuRig nehalem("x58-nehalem");  // four: bits 18:16 = 4
  EXPECT_EQ(nehalem.Cpu->GetCpuCode(), 0x106A5u | 0x80000u | 0x100000u);
  TCpuRig p4("p4-netburst");  // MSR 0x2C = 0x0F02010F
  EXPECT_EQ(p4.Cpu->GetCpuCode(), 0xF43u | 0x40000u | 0x0F000000u | 0x200000u);
  TCpuRig k8("am2-k8");
  EXPECT_EQ(k8.Cpu->GetCpuCode(), 0u);
}

TEST(Cpu, RealTextIsTheShortGeneralFormat) {
  EXPECT_EQ(RealText(0), "0");
  EXPECT_EQ(RealText(2666.5), "2666.5");
  EXPECT_EQ(RealText(2666.67f), "2666.669921875");
  EXPECT_EQ(RealText(1.0 / 3), "0.333333333333333");
}

}  // namespace

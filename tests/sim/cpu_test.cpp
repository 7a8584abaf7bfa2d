#include "sim/simcpu.h"

#include <gtest/gtest.h>

#include <cstring>

#include "sim/simmachine.h"

namespace {

TSimMachineConfig IntelConfig() {
  TSimMachineConfig config;
  TSimProcessorModel& cpu = config.Processor;
  cpu.Vendor = "GenuineIntel";
  cpu.Signature = 0x10677;
  cpu.Cores = 2;
  cpu.FrequencyHz = 2666670000;
  cpu.BrandString = "Intel(R) Core(TM)2 Duo CPU     E7300  @ 2.66GHz";
  cpu.Leaf1Edx = 0xBFEBFBFF;
  cpu.CpuIdLeaves[6] = {1, 2, 1, 0};  // APERF/MPERF
  cpu.Msrs = {
      {0x17, 0x0010000000000000ull, 0}, {0x1B, 0xFEE00800, 0xFFFFFF800ull}, {0x19A, 0, 0x1F}};
  cpu.CoreMsrs[0] = {{0x1B, 0xFEE00900, 0xFFFFFF800ull}};
  return config;
}

TSimMachineConfig AmdConfig() {
  TSimMachineConfig config;
  config.Processor.Vendor = "AuthenticAMD";
  config.Processor.Signature = 0x100F42;
  config.Processor.Cores = 4;
  config.Processor.FrequencyHz = 3000000000;
  return config;
}

TEST(SimCpu, MsrTableIsPerCoreAndUnknownMsrsFault) {
  TSimMachine machine(IntelConfig());
  uint64_t value = 0;
  machine.SelectCpu(0);
  ASSERT_TRUE(machine.ReadMsr(0x1B, &value));
  EXPECT_EQ(value, 0xFEE00900u);
  machine.SelectCpu(1);
  ASSERT_TRUE(machine.ReadMsr(0x1B, &value));
  EXPECT_EQ(value, 0xFEE00800u);
  EXPECT_FALSE(machine.ReadMsr(0xC0010064, &value));
  EXPECT_FALSE(machine.WriteMsr(0x123, 0));
  // Writes stay on their core.
  ASSERT_TRUE(machine.WriteMsr(0x19A, 0x10));
  machine.SelectCpu(0);
  ASSERT_TRUE(machine.ReadMsr(0x19A, &value));
  EXPECT_EQ(value, 0u);
  // Selecting a core the machine lacks keeps the current one.
  machine.SelectCpu(7);
  EXPECT_EQ(machine.SelectedCpu(), 0u);
}

TEST(SimCpu, ReadOnlyMsrsFaultOnWriteAndMasksKeepReservedBits) {
  TSimMachine machine(IntelConfig());
  uint64_t value = 0;
  EXPECT_FALSE(machine.WriteMsr(0x17, 0));
  ASSERT_TRUE(machine.ReadMsr(0x17, &value));
  EXPECT_EQ(value, 0x0010000000000000ull);
  ASSERT_TRUE(machine.WriteMsr(0x19A, 0xFFFFFFFF));
  ASSERT_TRUE(machine.ReadMsr(0x19A, &value));
  EXPECT_EQ(value, 0x1Fu);
}

TEST(SimCpu, TscFollowsTheVirtualClock) {
  TSimMachine machine(IntelConfig());
  const uint64_t start = machine.ReadTsc();
  machine.Clock().Advance(1000);  // 1 ms at 2.66667 GHz
  EXPECT_EQ(machine.ReadTsc() - start, 2666670u);
  uint64_t viaMsr = 0;
  ASSERT_TRUE(machine.ReadMsr(0x10, &viaMsr));
  EXPECT_EQ(viaMsr, machine.ReadTsc());
  // Writing the MSR moves the counter; it keeps running from there.
  ASSERT_TRUE(machine.WriteMsr(0x10, 1000));
  machine.Clock().Advance(1);
  EXPECT_EQ(machine.ReadTsc(), 1000u + 2666u);
  // Busy waits cost exactly their time on a stepped clock.
  const uint64_t before = machine.Clock().Microseconds();
  machine.BusyWaitMicroseconds(800);
  EXPECT_EQ(machine.Clock().Microseconds(), before + 800);
}

TEST(SimCpu, AperfCountsCoreClocksThroughFrequencyChanges) {
  TSimMachine machine(IntelConfig());
  uint64_t a0 = 0, a1 = 0, m0 = 0, m1 = 0;
  ASSERT_TRUE(machine.ReadMsr(0xE8, &a0));
  ASSERT_TRUE(machine.ReadMsr(0xE7, &m0));
  machine.Clock().Advance(100);
  machine.Cpu(0).SetCoreFrequencyHz(1600000000);
  machine.Clock().Advance(100);
  ASSERT_TRUE(machine.ReadMsr(0xE8, &a1));
  ASSERT_TRUE(machine.ReadMsr(0xE7, &m1));
  EXPECT_EQ(a1 - a0, 266667u + 160000u);
  EXPECT_EQ(m1 - m0, 533334u);  // MPERF runs at the TSC rate
  TSimMachineConfig plain = IntelConfig();
  plain.Processor.CpuIdLeaves.erase(6);
  TSimMachine withoutAperf(plain);
  EXPECT_FALSE(withoutAperf.ReadMsr(0xE8, &a0));
}

TEST(SimCpu, AmdCounterCountsUnhaltedClocksOnlyWhenEnabledForEvent76) {
  TSimMachine machine(AmdConfig());
  uint64_t count = 0;
  ASSERT_TRUE(machine.WriteMsr(0xC0010005, 0));
  ASSERT_TRUE(machine.WriteMsr(0xC0010001, 0x430076));
  machine.Clock().Advance(10);
  ASSERT_TRUE(machine.ReadMsr(0xC0010005, &count));
  EXPECT_EQ(count, 30000u);
  ASSERT_TRUE(machine.ReadPmc(1, &count));
  EXPECT_EQ(count, 30000u);
  // Disabled: the count freezes.
  ASSERT_TRUE(machine.WriteMsr(0xC0010001, 0));
  machine.Clock().Advance(10);
  ASSERT_TRUE(machine.ReadPmc(1, &count));
  EXPECT_EQ(count, 30000u);
  // Enabled for another event: nothing counted.
  ASSERT_TRUE(machine.WriteMsr(0xC0010002, 0x4300C0));
  machine.Clock().Advance(10);
  ASSERT_TRUE(machine.ReadPmc(2, &count));
  EXPECT_EQ(count, 0u);
  EXPECT_FALSE(machine.ReadPmc(4, &count));
  // The counters are 48 bits wide.
  ASSERT_TRUE(machine.WriteMsr(0xC0010004, 0xFFFFFFFFFFFFull));
  ASSERT_TRUE(machine.WriteMsr(0xC0010000, 0x430076));
  machine.Clock().AdvanceNanoseconds(1);
  ASSERT_TRUE(machine.ReadPmc(0, &count));
  EXPECT_EQ(count, 2u);
}

TEST(SimCpu, IntelCountersUseArchitecturalEvent3C) {
  TSimMachine machine(IntelConfig());
  uint64_t count = 0;
  ASSERT_TRUE(machine.WriteMsr(0x186, 0x43003C));
  machine.Clock().Advance(3);
  ASSERT_TRUE(machine.ReadPmc(0, &count));
  EXPECT_EQ(count, 8000u);
  EXPECT_FALSE(machine.ReadMsr(0xC0010000, &count));
  EXPECT_FALSE(machine.ReadPmc(2, &count));
}

TEST(SimCpu, CpuIdGivesVendorSignatureApicIdAndBrand) {
  TSimMachine machine(IntelConfig());
  CpuRegisters regs{0, 0, 0, 0};
  machine.ExecuteCpuId(regs);
  EXPECT_EQ(regs.EAX, 6u);  // highest leaf the model defines
  char vendor[13] = {};
  std::memcpy(vendor, &regs.EBX, 4);
  std::memcpy(vendor + 4, &regs.EDX, 4);
  std::memcpy(vendor + 8, &regs.ECX, 4);
  EXPECT_STREQ(vendor, "GenuineIntel");

  machine.SelectCpu(1);
  regs = {1, 0, 0, 0};
  machine.ExecuteCpuId(regs);
  EXPECT_EQ(regs.EAX, 0x10677u);
  EXPECT_EQ(regs.EBX >> 24, 1u);           // APIC ID of core 1
  EXPECT_EQ((regs.EBX >> 16) & 0xFF, 2u);  // logical processors
  EXPECT_EQ(regs.EDX, 0xBFEBFBFFu);

  regs = {0x80000000, 0, 0, 0};
  machine.ExecuteCpuId(regs);
  EXPECT_EQ(regs.EAX, 0x80000004u);
  char brand[49] = {};
  for (uint32_t leaf = 0; leaf < 3; ++leaf) {
    regs = {0x80000002 + leaf, 0, 0, 0};
    machine.ExecuteCpuId(regs);
    std::memcpy(brand + 16 * leaf, &regs, 16);
  }
  EXPECT_STREQ(brand, "Intel(R) Core(TM)2 Duo CPU     E7300  @ 2.66GHz");

  TSimMachine amd(AmdConfig());
  regs = {0x80000000, 0, 0, 0};
  amd.ExecuteCpuId(regs);
  EXPECT_EQ(regs.EBX, 0x68747541u);  // "Auth"
}

TEST(SimCpu, ControlRegistersKeepTheirValuesPerCore) {
  TSimMachine machine(IntelConfig());
  uint64_t value = 0;
  ASSERT_TRUE(machine.ReadCr(0, &value));
  EXPECT_EQ(value, 0x8001003Bu);
  ASSERT_TRUE(machine.WriteCr(4, 0x6D9));
  ASSERT_TRUE(machine.ReadCr(4, &value));
  EXPECT_EQ(value, 0x6D9u);
  machine.SelectCpu(1);
  ASSERT_TRUE(machine.ReadCr(4, &value));
  EXPECT_EQ(value, 0x6F9u);
  EXPECT_FALSE(machine.ReadCr(5, &value));
}

}  // namespace

// The machine's fixed devices seen through ports: PM timer and CMOS; and the clock behind them.
#include <gtest/gtest.h>

#include "hw/driver/dispatch.h"
#include "hw/inprocesslink.h"
#include "hw/ioctl.h"
#include "sim/simmachine.h"

namespace {

TEST(SimClock, SteppedClockMovesOnlyWhenTold) {
  TVirtualClock clock;
  EXPECT_EQ(clock.Nanoseconds(), 0u);
  clock.Advance(5);
  clock.AdvanceNanoseconds(7);
  EXPECT_EQ(clock.Nanoseconds(), 5007u);
  clock.BusyWait(3);
  EXPECT_EQ(clock.Microseconds(), 8u);
  clock.SetNanoseconds(42);
  EXPECT_EQ(clock.Nanoseconds(), 42u);
}

TEST(SimClock, WallClockNeverRunsBackwardsAndKeepsSteps) {
  TVirtualClock clock(TVirtualClock::TMode::WallTime);
  clock.Advance(1000000);  // an hour-long test would not wait for this
  const uint64_t first = clock.Nanoseconds();
  EXPECT_GE(first, 1000000000u);
  clock.BusyWait(50);
  EXPECT_GE(clock.Nanoseconds(), first + 50000);
  clock.SetMode(TVirtualClock::TMode::Stepped);
  const uint64_t frozen = clock.Nanoseconds();
  EXPECT_EQ(clock.Nanoseconds(), frozen);
}

TEST(SimScale, StaysExactForLongTimes) {
  // Ten days in nanoseconds at 3.579545 MHz; the plain product would overflow 64 bits.
  const uint64_t tenDays = 864000ull * 1000000000ull;
  EXPECT_EQ(SimScale(tenDays, 3579545, 1000000000), 864000ull * 3579545);
}

TEST(SimPmTimer, CountsAt3579545HzAndWrapsAt24Bits) {
  TSimMachine machine{TSimMachineConfig{}};
  EXPECT_EQ(machine.PortIn(0x408, 4), 0u);
  machine.Clock().Advance(1000000);  // 1 s
  EXPECT_EQ(machine.PortIn(0x408, 4), 3579545u);
  EXPECT_EQ(machine.ReadPmTimer(0x408), 3579545u);
  EXPECT_EQ(machine.PortIn(0x409, 1), (3579545u >> 8) & 0xFF);
  // 2^24 ticks take 4.687 s; at 5 s the 24-bit count has wrapped.
  machine.Clock().SetNanoseconds(5000000000ull);
  EXPECT_EQ(machine.PortIn(0x408, 4), (5ull * 3579545) & 0xFFFFFF);
  machine.PortOut(0x408, 4, 0);  // read-only
  EXPECT_EQ(machine.PortIn(0x408, 4), (5ull * 3579545) & 0xFFFFFF);

  TSimMachineConfig wide;
  wide.PmTimerBits = 32;
  wide.PmTimerPort = 0x808;
  TSimMachine amd(wide);
  amd.Clock().SetNanoseconds(5000000000ull);
  EXPECT_EQ(amd.PortIn(0x808, 4), 5u * 3579545);
  EXPECT_EQ(amd.PortIn(0x408, 4), 0xFFFFFFFFu);
}

TEST(SimPmTimer, DriverClockMeasurementSeesTheWrapAndTheCoreClock) {
  TSimMachineConfig config;
  config.Processor.FrequencyHz = 2400000000;
  config.Processor.CpuIdLeaves[6] = {1, 0, 1, 0};
  TSimMachine machine(config);
  // Start 100 us before the 24-bit timer wraps.
  machine.Clock().SetNanoseconds(SimScale(0xFFFFFF, 1000000000, 3579545) - 100000);
  ClockRequest request{};
  request.CounterMsr = 0xE8;
  request.Microseconds = 800;
  request.PmTimerPort = 0x408;
  request.PmTimerWidth = 0;
  uint32_t returned = 0;
  ASSERT_EQ(
      ZemDispatch(machine, CTL_MEASURE_CLOCK, &request, sizeof request, sizeof request, &returned),
      ZEM_STATUS_SUCCESS);
  EXPECT_NEAR(request.Microseconds, 2864, 1);  // 800 us of 3.579545 MHz ticks
  EXPECT_EQ(request.CountLow, 1920000u);       // 800 us at 2.4 GHz
  EXPECT_EQ(request.CountHigh, 0u);
}

TEST(SimMachine, DriverRequestsThroughTheInProcessLinkReachTheDevices) {
  TSimMachine machine{TSimMachineConfig{}};
  auto model = std::make_unique<TSimPciFunction>(0x1022, 0x1203, 0x060000, 0x00, 0);
  model->SetDword(0x1F0, 0x00000C94);
  machine.Pci().AddFunction(0, 0x18, 3, std::move(model));
  TInProcessLink link(machine);
  uint32_t returned = 0;

  PciRequest pci{0, 0x18, 3, 0, 0x1F0, 0, 0};
  ASSERT_TRUE(link.Control(CTL_READ_PCI_DWORD, &pci, sizeof pci, &pci, sizeof pci, &returned));
  EXPECT_EQ(pci.Value, 0x00000C94u);

  IoRequest io{0x70, 0x20};
  ASSERT_TRUE(link.Control(CTL_WRITE_IO_BYTE, &io, sizeof io, &io, sizeof io, &returned));
  io = {0x71, 0};
  ASSERT_TRUE(link.Control(CTL_READ_IO_BYTE, &io, sizeof io, &io, sizeof io, &returned));
  EXPECT_EQ(io.Value & 0xFF, machine.Cmos().Byte(0x20));

  MapRequest map{0xE00C3000, 0, 256, 0};
  ASSERT_TRUE(link.Control(CTL_MAP_MEMORY, &map, sizeof map, &map, sizeof map, &returned));
  const uint8_t* view = link.ResolveMapping(map.Mapped);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view[0] | view[1] << 8, 0x1022);
  ASSERT_TRUE(link.Control(CTL_UNMAP_MEMORY, &map.Mapped, 4, nullptr, 0, &returned));
  EXPECT_EQ(machine.Memory().MappingCount(), 0u);
}

TEST(SimCmos, IndexDataPairIgnoresTheNmiBit) {
  TSimMachine machine{TSimMachineConfig{}};
  machine.PortOut(0x70, 1, 0x0A);
  EXPECT_EQ(machine.PortIn(0x71, 1), 0x26u);  // RTC divider at power-on
  machine.PortOut(0x70, 1, 0x80 | 0x40);
  machine.PortOut(0x71, 1, 0x5A);
  machine.PortOut(0x70, 1, 0x40);
  EXPECT_EQ(machine.PortIn(0x71, 1), 0x5Au);
  EXPECT_EQ(machine.Cmos().Byte(0x40), 0x5A);
  // A word write to 0x70 sets the index and then writes the data byte.
  machine.PortOut(0x70, 2, 0x7711);
  EXPECT_EQ(machine.Cmos().Byte(0x11), 0x77);
  EXPECT_EQ(machine.PortIn(0x72, 1), 0xFFu);  // no upper bank on this machine
}

}  // namespace

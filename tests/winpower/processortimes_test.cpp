// Processor times from /proc/stat on Linux, and the load they give over an interval.
#include "os/linux/processortimes.h"

#include <gtest/gtest.h>

#include "tests/winpower/winpowerrig.h"

namespace {

using namespace winpowertest;

const std::string kFixture =
    std::string(KORZEM_SOURCE_DIR) + "/tests/winpower/data/proc-stat-4cpu.txt";

TEST(ProcStatTimes, TheAggregateLineGivesIdleKernelAndUserIn100NsUnits) {
  std::unique_ptr<IOsProcessorTimes> source = OsCreateProcStatTimes(kFixture, 100);
  ASSERT_TRUE(source->Available());
  TProcessorTimes times;
  ASSERT_TRUE(source->GetSystemTimes(times));
  // At 100 ticks a second one tick is 100000 units of 100 ns.
  EXPECT_EQ((46828483ull + 16683) * 100000, times.Idle);  // idle, iowait
  EXPECT_EQ((3084719ull + 0 + 25195 + 0 + 46828483 + 16683) * 100000, times.Kernel);  // with idle
  EXPECT_EQ((10132153ull + 290696) * 100000, times.User);  // guest time is inside user already
}

TEST(ProcStatTimes, OldKernelsWithFourColumnsAndOddTickRates) {
  TTempDir dir;
  WriteFile(dir / "stat", "cpu  300 100 250 1000\ncpu0 300 100 250 1000\n");
  TProcessorTimes times;
  ASSERT_TRUE(OsCreateProcStatTimes(dir / "stat", 300)->GetSystemTimes(times));
  // 1000 ticks at 300 a second: 3.333... s, truncated to whole units of 100 ns.
  EXPECT_EQ(33333333u, times.Idle);
  EXPECT_EQ(41666666u, times.Kernel);  // 1250 ticks
  EXPECT_EQ(13333333u, times.User);    // 400 ticks
}

TEST(ProcStatTimes, LargeCountersDoNotOverflow) {
  TTempDir dir;
  // Ten years of four processors at 1000 ticks a second would overflow a plain multiply by 10^7.
  WriteFile(dir / "stat", "cpu  0 0 0 18000000000000 0 0 0 0 0 0\n");
  TProcessorTimes times;
  ASSERT_TRUE(OsCreateProcStatTimes(dir / "stat", 1000)->GetSystemTimes(times));
  EXPECT_EQ(18000000000000ull * 10000, times.Idle);
}

TEST(ProcStatTimes, AnythingElseIsAFailedQueryThatLeavesTheTimesAlone) {
  TTempDir dir;
  const std::string cases[] = {"", "cpu0 1 2 3 4\n", "cpu  1 2 3\n", "cpu  x y z w\n",
                               "intr 1 2 3 4\ncpu  1 2 3 4\n"};
  for (const std::string& text : cases) {
    WriteFile(dir / "stat", text);
    TProcessorTimes times{7, 8, 9};
    EXPECT_FALSE(OsCreateProcStatTimes(dir / "stat", 100)->GetSystemTimes(times)) << text;
    EXPECT_EQ(7u, times.Idle) << text;
  }
  TProcessorTimes times;
  EXPECT_FALSE(OsCreateProcStatTimes(dir / "missing", 100)->GetSystemTimes(times));
}

TEST(ProcStatTimes, TheRunningSystemsCountersOnlyGrowAndKernelTimeIncludesIdle) {
  std::unique_ptr<IOsProcessorTimes> source = OsCreateProcessorTimes();
  TProcessorTimes first, second;
  ASSERT_TRUE(source->GetSystemTimes(first));
  volatile uint64_t spin = 0;
  for (int i = 0; i < 20000000; ++i) spin = spin + static_cast<uint64_t>(i);
  ASSERT_TRUE(source->GetSystemTimes(second));
  EXPECT_GE(second.Idle, first.Idle);
  EXPECT_GE(second.Kernel, first.Kernel);
  EXPECT_GE(second.User, first.User);
  EXPECT_GE(second.Kernel - first.Kernel, second.Idle - first.Idle);  // kernel includes idle
}

}  // namespace

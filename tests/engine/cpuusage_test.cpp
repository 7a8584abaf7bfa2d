#include "engine/cpuusage.h"

#include <gtest/gtest.h>

#include "os/test/fakeprocessortimes.h"

TEST(CpuUsage, LoadIsTheBusyShareOfKernelAndUserTime) {
  TFakeProcessorTimes times;
  TCpuUsage usage(times);
  times.AddInterval(/*idle=*/750, /*busyKernel=*/50, /*user=*/200);
  EXPECT_EQ(usage.Measure(), 25u);
  times.AddInterval(0, 100, 300);
  EXPECT_EQ(usage.Measure(), 100u);
  // Integer arithmetic truncates: 1 busy in 3 is 33 percent.
  times.AddInterval(2, 0, 1);
  EXPECT_EQ(usage.Measure(), 33u);
}

TEST(CpuUsage, EachMeasureCoversOnlyTheTimeSinceThePreviousOne) {
  TFakeProcessorTimes times;
  TCpuUsage usage(times);
  times.AddInterval(0, 0, 1000);  // fully busy
  times.AddInterval(1000, 0, 0);  // then fully idle
  EXPECT_EQ(usage.Measure(), 100u);
  EXPECT_EQ(usage.Measure(), 0u);
}

TEST(CpuUsage, NoQueryNoTimeOrAFailedQueryReadZero) {
  TFakeProcessorTimes missing;
  missing.Present = false;
  TCpuUsage withoutQuery(missing);
  EXPECT_EQ(withoutQuery.Measure(), 0u);
  EXPECT_EQ(missing.Queries, 0);

  TFakeProcessorTimes still;
  TCpuUsage noTime(still);
  EXPECT_EQ(noTime.Measure(), 0u);  // the same reading twice: an empty interval

  TFakeProcessorTimes failing;
  TCpuUsage usage(failing);
  failing.Works = false;
  failing.AddInterval(0, 0, 1000);
  EXPECT_EQ(usage.Measure(), 0u);
}

TEST(CpuUsage, FollowsTheHostsProcStat) {
  // The real system's counters only grow, so a load is always between 0 and 100.
  std::unique_ptr<IOsProcessorTimes> host = OsCreateProcessorTimes();
  if (!host->Available()) GTEST_SKIP() << "no processor times on this system";
  TCpuUsage usage(*host);
  EXPECT_LE(usage.Measure(), 100u);
}

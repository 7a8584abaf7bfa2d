#include "sim/workload.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "sim/simmachine.h"
#include "sim/virtualclock.h"
#include "superio_testboard.h"

namespace {

// A two-processor host as /proc/stat shows it: user nice system idle iowait irq softirq steal
// guest guest_nice, then lines the reader must skip.
constexpr const char* HostBefore =
    "cpu  1000 0 500 8000 400 50 50 0 300 0\n"
    "cpu0 600 0 300 3900 150 25 25 0 300 0\n"
    "cpu1 400 0 200 4100 250 25 25 0 0 0\n"
    "intr 123456 0 0\n"
    "ctxt 987654\n"
    "procs_running 2\n";
// 400 jiffies later: cpu0 ran 150 of 200, cpu1 20 of 200.
constexpr const char* HostAfter =
    "cpu  1150 0 520 8220 410 50 50 0 300 0\n"
    "cpu0 740 0 310 3950 150 25 25 0 300 0\n"
    "cpu1 410 0 210 4270 260 25 25 0 0 0\n";

class SimWorkloadTest : public testing::Test {
 protected:
  void SetUp() override {
    Path_ = std::filesystem::temp_directory_path() /
            ("korzem-procstat-" + std::to_string(std::random_device{}()));
  }
  void TearDown() override { std::filesystem::remove(Path_); }
  void WriteHost(const char* text) { std::ofstream(Path_) << text; }

  std::filesystem::path Path_;
  TVirtualClock Clock_;
};

TEST(SimProcStat, ParsesTheCpuLines) {
  TSimProcStat stat;
  ASSERT_TRUE(ParseSimProcStat(HostBefore, &stat));
  // Guest time is part of user time already; idle and iowait are not busy.
  EXPECT_EQ(stat.All.Total, 10000u);
  EXPECT_EQ(stat.All.Busy, 1600u);
  ASSERT_EQ(stat.Cpus.size(), 2u);
  EXPECT_EQ(stat.Cpus[0].Total, 5000u);
  EXPECT_EQ(stat.Cpus[0].Busy, 950u);
  EXPECT_EQ(stat.Cpus[1].Busy, 650u);
  // Older kernels give only four columns.
  ASSERT_TRUE(ParseSimProcStat("cpu 10 0 10 80\n", &stat));
  EXPECT_EQ(stat.All.Busy, 20u);
  EXPECT_TRUE(stat.Cpus.empty());

  EXPECT_FALSE(ParseSimProcStat("intr 1 2 3\n", &stat));
  EXPECT_FALSE(ParseSimProcStat("cpu 10 x 10 80\n", &stat));
  EXPECT_FALSE(ParseSimProcStat("cpu 10 10\n", &stat));
}

TEST(SimProcStat, ReadsTheHostsOwnFile) {
  if (!std::filesystem::exists("/proc/stat")) GTEST_SKIP() << "no /proc/stat on this host";
  TSimProcStat stat;
  ASSERT_TRUE(ReadSimProcStat("/proc/stat", &stat));
  EXPECT_GT(stat.All.Total, 0u);
  EXPECT_LE(stat.All.Busy, stat.All.Total);
  EXPECT_FALSE(stat.Cpus.empty());
  EXPECT_FALSE(ReadSimProcStat("/nonexistent/korzem/stat", &stat));
}

TEST_F(SimWorkloadTest, FixedLoads) {
  TSimWorkload workload(Clock_, 4);
  EXPECT_EQ(workload.Mode(), TSimWorkload::TMode::Fixed);
  EXPECT_EQ(workload.Load(3), TSimWorkload::IdlePercent);
  workload.SetFixed(250);
  EXPECT_EQ(workload.Load(0), 100);
  std::string error;
  // A shorter list than cores repeats its last value; a core past the last reads the last.
  ASSERT_TRUE(workload.SetFixed({10, 70}, &error)) << error;
  EXPECT_EQ(workload.Load(0), 10);
  EXPECT_EQ(workload.Load(1), 70);
  EXPECT_EQ(workload.Load(3), 70);
  EXPECT_EQ(workload.Load(9), 70);
  EXPECT_FALSE(workload.SetFixed({10, 101}, &error));
  EXPECT_FALSE(workload.SetFixed({}, &error));
  EXPECT_EQ(workload.Load(0), 10);  // a rejected list changes nothing
}

TEST_F(SimWorkloadTest, ScriptStepsWithTheVirtualClock) {
  TSimWorkload workload(Clock_, 2);
  std::string error;
  Clock_.Advance(5000);  // the script counts from when it is set
  ASSERT_TRUE(workload.SetScript({5, 50, 100}, 1000, false, &error)) << error;
  EXPECT_EQ(workload.Mode(), TSimWorkload::TMode::Script);
  EXPECT_EQ(workload.Load(1), 5);
  Clock_.Advance(999);
  EXPECT_EQ(workload.Load(0), 5);
  Clock_.Advance(1);
  EXPECT_EQ(workload.Load(0), 50);
  EXPECT_EQ(workload.ScriptTick(), 1u);
  Clock_.Advance(10000);  // held at the last tick
  EXPECT_EQ(workload.Load(1), 100);
  EXPECT_EQ(workload.ScriptTick(), 2u);

  ASSERT_TRUE(workload.SetScript({20, 80}, 1000, true, &error)) << error;
  Clock_.Advance(3000);  // tick 3 of a repeating two-tick script
  EXPECT_EQ(workload.Load(0), 80);
  Clock_.Advance(1000);
  EXPECT_EQ(workload.Load(0), 20);

  EXPECT_FALSE(workload.SetScript({}, 1000, false, &error));
  EXPECT_FALSE(workload.SetScript({10}, 0, false, &error));
  EXPECT_FALSE(workload.SetScript({10, -1}, 1000, false, &error));
}

TEST_F(SimWorkloadTest, HostLoadFollowsProcStatPerProcessor) {
  TSimWorkload workload(Clock_, 3);
  std::string error;
  EXPECT_FALSE(workload.FollowHost(Path_.string(), 500000, &error));
  EXPECT_NE(error.find(Path_.string()), std::string::npos);
  EXPECT_EQ(workload.Mode(), TSimWorkload::TMode::Fixed);

  WriteHost(HostBefore);
  ASSERT_TRUE(workload.FollowHost(Path_.string(), 500000, &error)) << error;
  EXPECT_EQ(workload.Mode(), TSimWorkload::TMode::Host);
  // The first reading: the load since the host started. Core 2 follows host processor 0.
  EXPECT_DOUBLE_EQ(workload.Load(0), 100.0 * 950 / 5000);
  EXPECT_DOUBLE_EQ(workload.Load(1), 100.0 * 650 / 5000);
  EXPECT_DOUBLE_EQ(workload.Load(2), workload.Load(0));

  WriteHost(HostAfter);
  Clock_.Advance(499999);  // not yet time for another reading
  EXPECT_DOUBLE_EQ(workload.Load(0), 19);
  Clock_.Advance(1);
  EXPECT_DOUBLE_EQ(workload.Load(0), 75);
  EXPECT_DOUBLE_EQ(workload.Load(1), 10);
  EXPECT_DOUBLE_EQ(workload.Load(2), 75);

  // Counters that did not move keep the load; a file that vanished keeps the last loads.
  Clock_.Advance(500000);
  EXPECT_DOUBLE_EQ(workload.Load(1), 10);
  std::filesystem::remove(Path_);
  Clock_.Advance(500000);
  EXPECT_DOUBLE_EQ(workload.Load(0), 75);
}

TEST_F(SimWorkloadTest, HostWithoutPerProcessorLinesUsesTheTotal) {
  TSimWorkload workload(Clock_, 2);
  WriteHost("cpu 100 0 100 800 0 0 0 0\n");
  std::string error;
  ASSERT_TRUE(workload.FollowHost(Path_.string(), 1000, &error)) << error;
  EXPECT_DOUBLE_EQ(workload.Load(1), 20);
  WriteHost("cpu 190 0 100 810 0 0 0 0\n");
  Clock_.Advance(1000);
  EXPECT_DOUBLE_EQ(workload.Load(0), 90);
  EXPECT_DOUBLE_EQ(workload.Load(1), 90);
}

TEST_F(SimWorkloadTest, StateKeepsModeScriptAndHostReading) {
  std::string error;
  TSimWorkload script(Clock_, 2);
  Clock_.Advance(2000);
  ASSERT_TRUE(script.SetScript({1, 2, 3}, 1000, true, &error)) << error;
  Clock_.Advance(1500);
  TSimState saved;
  script.SaveState(saved);
  TSimWorkload copy(Clock_, 2);
  ASSERT_TRUE(copy.LoadState(saved, &error)) << error;
  EXPECT_EQ(copy.Mode(), TSimWorkload::TMode::Script);
  EXPECT_EQ(copy.Load(0), 2);
  Clock_.Advance(2000);
  EXPECT_EQ(copy.Load(0), 1);  // repeating

  // A host reading restored continues from the saved counters, not from the host's start.
  WriteHost(HostBefore);
  TSimWorkload host(Clock_, 2);
  ASSERT_TRUE(host.FollowHost(Path_.string(), 1000, &error)) << error;
  TSimState hostState;
  host.SaveState(hostState);
  TSimWorkload follower(Clock_, 2);
  ASSERT_TRUE(follower.LoadState(hostState, &error)) << error;
  WriteHost(HostAfter);
  Clock_.Advance(1000);
  EXPECT_DOUBLE_EQ(follower.Load(0), 75);
  EXPECT_DOUBLE_EQ(follower.Load(1), 10);

  // A state for a different number of cores, or with a bad entry, is refused and changes
  // nothing.
  TSimWorkload four(Clock_, 4);
  EXPECT_FALSE(four.LoadState(saved, &error));
  EXPECT_EQ(four.Mode(), TSimWorkload::TMode::Fixed);
  TSimState bad;
  script.SaveState(bad);
  bad.SetText("workload.mode", "busy");
  EXPECT_FALSE(copy.LoadState(bad, &error));
  EXPECT_NE(error.find("workload.mode"), std::string::npos);
  script.SaveState(bad);
  bad.SetText("workload.script", "10,abc");
  EXPECT_FALSE(copy.LoadState(bad, &error));
  EXPECT_NE(error.find("workload.script"), std::string::npos);
}

TEST(SimWorkloadBoard, SectionSetsTheModeAndRejectsMistakes) {
  using simchips::Board;
  auto m = Board("[Workload]\nMode=Script\nScript=10, 60 ,90\nTickMs=250\nRepeat=1\n");
  ASSERT_NE(m, nullptr);
  TSimWorkload& workload = SimWorkload(*m);
  EXPECT_EQ(workload.Mode(), TSimWorkload::TMode::Script);
  m->Clock().Advance(250000);
  EXPECT_EQ(workload.Load(0), 60);
  m->Clock().Advance(500000);
  EXPECT_EQ(workload.Load(0), 10);

  auto fixed = Board("[Workload]\nLoad=35\n");
  ASSERT_NE(fixed, nullptr);
  EXPECT_EQ(SimWorkload(*fixed).Load(0), 35);

  struct TCase {
    const char* Sections;
    const char* Expected;
  };
  for (const TCase& c : {TCase{"[Workload]\nMode=Busy\n", "[Workload] Mode:"},
                         TCase{"[Workload]\nLoad=120\n", "[Workload] Load: '120'"},
                         TCase{"[Workload]\nMode=Script\n", "[Workload] Script: the script has"},
                         TCase{"[Workload]\nMode=Script\nScript=5\nTickMs=0\n", "TickMs"},
                         TCase{"[Workload]\nMode=Host\nProcStat=/nonexistent/stat\n",
                               "[Workload] ProcStat: cannot read"},
                         TCase{"[Workload]\nSpeed=3\n", "[Workload] Speed: unknown key"}}) {
    SCOPED_TRACE(c.Sections);
    std::string error;
    EXPECT_EQ(Board(c.Sections, &error), nullptr);
    EXPECT_NE(error.find(c.Expected), std::string::npos) << error;
  }
}

}  // namespace

// The simulated OS's processor-power policy: which P-state it picks for a load, that it moves the
// processor through its own control registers, and that it follows the cpufreq files the power
// schemes write.
#include "sim/governor.h"

#include <gtest/gtest.h>

#include <fstream>

#include "sim/simmachine.h"
#include "sim/vrm.h"
#include "sim/workload.h"
#include "superio_testboard.h"
#include "tests/support/tempdir.h"

namespace {

using namespace simchips;

std::unique_ptr<TSimMachine> Shipped(const std::string& name) {
  std::string error;
  auto machine = CreateSimMachine(name, BoardsDir, &error);
  EXPECT_NE(machine, nullptr) << error;
  return machine;
}

uint64_t CurrentPState(TSimMachine& m, uint32_t core) {
  m.SelectCpu(core);
  uint64_t status = 0;
  EXPECT_TRUE(m.ReadMsr(0xC0010063, &status));
  m.SelectCpu(0);
  return status & 7;
}

TEST(SimGovernor, OnDemandPicksTheClosestPStateToTheProportionalTarget) {
  auto m = Shipped("am2p-phenom");  // 3000, 2300, 1800, 800 MHz
  ASSERT_NE(m, nullptr);
  TSimGovernor* governor = FindSimGovernor(*m);
  ASSERT_NE(governor, nullptr);
  EXPECT_EQ(governor->Policy(), "performance");
  EXPECT_EQ(governor->Choose(0), 0u);
  governor->SetPolicy("ondemand");
  // Target 800 + load x 2200 / 100 MHz: 2 % gives 844 (800), 30 % 1460 (1800), 50 % 1900
  // (1800), 70 % 2340 (2300); above 80 % the top.
  EXPECT_EQ(governor->Choose(2), 3u);
  EXPECT_EQ(governor->Choose(30), 2u);
  EXPECT_EQ(governor->Choose(50), 2u);
  EXPECT_EQ(governor->Choose(70), 1u);
  EXPECT_EQ(governor->Choose(80), 1u);
  EXPECT_EQ(governor->Choose(81), 0u);
  governor->SetPolicy("powersave");
  EXPECT_EQ(governor->Choose(100), 3u);
  governor->SetPolicy("bogus");  // ignored
  EXPECT_EQ(governor->Policy(), "powersave");
}

TEST(SimGovernor, MovesTheCoresThroughTheirControlRegisters) {
  auto m = Shipped("am2p-phenom");
  ASSERT_NE(m, nullptr);
  TSimGovernor& governor = *FindSimGovernor(*m);
  TSimVrm& vrm = *FindSimVrm(*m);
  SimWorkload(*m).SetFixed(2);
  const TSimVrmReading top = vrm.Read();
  EXPECT_EQ(CurrentPState(*m, 3), 0u);  // performance: the board's own start

  governor.SetPolicy("ondemand");
  const TSimVrmReading light = vrm.Read();
  for (uint32_t core = 0; core < m->CpuCount(); ++core) EXPECT_EQ(CurrentPState(*m, core), 3u);
  EXPECT_LT(light.VidVolts, top.VidVolts);
  EXPECT_LT(light.ProcessorWatts, top.ProcessorWatts / 2);
  EXPECT_EQ(m->Cpu(0).CoreFrequencyHz(), 800000000u);

  SimWorkload(*m).SetFixed(100);
  vrm.Read();
  EXPECT_EQ(CurrentPState(*m, 0), 0u);
  EXPECT_EQ(m->Cpu(0).CoreFrequencyHz(), 3000000000u);
}

TEST(SimGovernor, FollowsTheCpufreqFilesTheSchemesWrite) {
  TTempDir dir;
  auto m = Shipped("p35-core2");
  ASSERT_NE(m, nullptr);
  TSimGovernor& governor = *FindSimGovernor(*m);
  std::string error;
  ASSERT_TRUE(governor.FollowCpufreq(dir.Path(), &error)) << error;
  const std::string policy = dir / "cpufreq/policy0/scaling_governor";
  std::ifstream offered(dir / "cpufreq/policy0/scaling_available_governors");
  std::string line;
  std::getline(offered, line);
  EXPECT_NE(line.find("ondemand"), std::string::npos);
  EXPECT_NE(line.find("performance"), std::string::npos);

  SimWorkload(*m).SetFixed(2);
  uint64_t status = 0;
  ASSERT_TRUE(m->ReadMsr(0x198, &status));
  EXPECT_EQ(status & 0xFFFF, 0x0A22u);  // performance, as the file says
  std::ofstream(policy) << "ondemand\n";
  ASSERT_TRUE(m->ReadMsr(0x198, &status));
  EXPECT_EQ(status & 0xFFFF, 0x0616u);  // 1600 MHz at its own VID
  EXPECT_EQ(governor.Policy(), "ondemand");

  // A second machine on the same folder keeps the policy the OS left there.
  auto again = Shipped("p35-core2");
  ASSERT_TRUE(FindSimGovernor(*again)->FollowCpufreq(dir.Path(), &error)) << error;
  EXPECT_EQ(FindSimGovernor(*again)->Policy(), "ondemand");
}

TEST(SimGovernor, SectionRejectsMistakes) {
  const std::string vrm = "[VRM]\nVidVolts=1.2\n";
  struct TCase {
    std::string Section, Error;
  };
  for (const TCase& c : {
           TCase{"[Governor]\nPStates=2000:0x0A22,x\n", "expected MHZ:CONTROL items"},
           TCase{"[Governor]\nPolicy=ondemand\n", "[Governor] PStates: missing"},
           TCase{"[Governor]\nPStates=2000:0x0A22\nPolicy=turbo\n", "[Governor] Policy"},
           TCase{"[Governor]\nPStates=2000:0x0A22\nUpThreshold=0\n", "[Governor] UpThreshold"},
           TCase{"[Governor]\nPStates=2000:0x0A22\nSpeed=1\n", "unknown key"},
       }) {
    std::string error;
    EXPECT_EQ(Board(vrm + c.Section, &error), nullptr) << c.Section;
    EXPECT_NE(error.find(c.Error), std::string::npos) << error;
  }
}

}  // namespace

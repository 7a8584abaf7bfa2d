// The context's start-up checks on simulated boards, and the busy-processor rule of the PSI
// models on an AMD board.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/cfg.h"
#include "tests/support/simcontext.h"

namespace {

TEST(ZemContextStart, MissingConfigurationFileStops) {
  TSimContext sim("p45-core2");
  sim.RemoveProgramFile("KorZem.ini");
  EXPECT_FALSE(sim.Construct());
  EXPECT_TRUE(sim.Context().StartupFailed);
  EXPECT_EQ(
      sim.Messages.Shown,
      (std::vector<TShownMessage>{{"Error", "Initial file not found.", TMessageIcon::Error}}));
}

TEST(ZemContextStart, IntelBoardWithoutAcceptedModelFileStops) {
  // No model file at all, and one that declares itself unsupported.
  for (const char* model : {"", "[AM2]\nSupport=0\n"}) {
    TSimContext sim("p45-core2");
    if (*model != 0) sim.WriteModelFile(model);
    EXPECT_FALSE(sim.Construct());
    EXPECT_TRUE(sim.Context().StartupFailed);
    EXPECT_EQ(sim.Messages.Shown,
              (std::vector<TShownMessage>{
                  {sim.Texts.MsgTitle, sim.Texts.MsgNotThisPlatform, TMessageIcon::Error}}));
  }
}

TEST(ZemContextStart, AmdBoardFallsBackToCfgIni) {
  TSimContext sim("am2p-phenom");  // not listed in SupportModel; Phenom: northbridge revision 2
  ASSERT_TRUE(sim.ModelFileName().empty());
  sim.WriteModelFile("[ZemControl]\nControlType=5\n");
  ASSERT_TRUE(sim.Start());
  EXPECT_EQ(sim.Context().ModelFileName, sim.Dir / "Cfg.ini");
  EXPECT_TRUE(sim.Context().SavingShown);
  EXPECT_TRUE(sim.Messages.Shown.empty());
  EXPECT_EQ(sim.Zem().ControlType(), 5);
}

TEST(ZemContextStart, OlderAmdProcessorHidesTheSavings) {
  TSimContext sim("am2-k8");  // Athlon 64: northbridge revision 1; its model file is missing
  sim.WriteProgramFile("Cfg.ini", "[ZemControl]\nControlType=1\n");
  ASSERT_TRUE(sim.Start());
  EXPECT_FALSE(sim.Context().StartupFailed);
  EXPECT_FALSE(sim.Context().SavingShown);
  EXPECT_EQ(sim.Context().DurationOffHint, sim.Texts.MsgAm2PhenomOnly);
  EXPECT_EQ(sim.Messages.Shown,
            (std::vector<TShownMessage>{
                {sim.Texts.MsgTitle, sim.Texts.MsgAm2PhenomOnly, TMessageIcon::Warning}}));
}

// PSI through the northbridge (AMDCNQ) on a Phenom board: after switching on, an idle processor
// leaves P-state 0 and the regulator sheds phases; a busy one is reported as deactivated unless
// the board is excluded from the busy test.
// The monitor's Vcore input is wired: a tick without a Vcore reading credits no saving.
std::string PsiModel(const std::string& exclude) {
  return "[SioHwmSetting_ITE]\nSioVcoreReg=0x20\nSioVcoreR2=1\n"
         "[ZemControl]\nControlType=1\n[PsiControl]\nInterface=AMDCNQ\n"
         "[PatchDisplayPhase]\nDetectByCpuUsage=1\nCpuUsageThreshold=80\nExcludeModel=" +
         exclude + "\n";
}

void EnterLowPState(TSimContext& sim) {
  // What the OS's power policy does at idle: every core to P-state 1.
  for (uint32_t core = 0; core < sim.Machine().CpuCount(); ++core) {
    sim.Machine().SelectCpu(core);
    sim.Machine().WriteMsr(0xC0010062, 1);
  }
}

TEST(ZemContextPsi, BusyProcessorDeactivatesPsi) {
  TSimContext sim("am2p-phenom");
  sim.WriteModelFile(PsiModel("AAA-1, ZZZ-9"));
  ASSERT_TRUE(sim.Start());
  ASSERT_EQ(sim.Zem().PsiInterface(), kZemAmdPsi);
  sim.Zem().SwitchOn();
  ASSERT_EQ(sim.Zem().Status(), TZemCtrl::kStatusOn);
  EnterLowPState(sim);
  sim.Tick();
  EXPECT_EQ(sim.Zem().Wsaving(), 1.5f);
  EXPECT_EQ(sim.Zem().PhaseCount(), 2);

  sim.SetLoad(100);
  EnterLowPState(sim);
  sim.Tick();
  EXPECT_EQ(sim.Zem().CpuLoad(), 100u);
  EXPECT_EQ(sim.Zem().Wsaving(), 0.0f);
  EXPECT_EQ(sim.Zem().PhaseCount(), 4);
}

TEST(ZemContextPsi, ExcludedBoardIsNeverBusy) {
  TSimContext sim("am2p-phenom");
  sim.WriteModelFile(PsiModel("AAA-1, apc-790fxb, ZZZ-9"));  // ascending, any case
  ASSERT_TRUE(sim.Start());
  sim.Zem().SwitchOn();
  sim.SetLoad(100);
  EnterLowPState(sim);
  sim.Tick();
  EXPECT_EQ(sim.Zem().Wsaving(), 1.5f);
}

TEST(ZemExcludeModel, BisectionNeedsAscendingOrder) {
  const std::vector<std::string> ascending = {"AT-X58R", "LQ-P45D3", "TR900 Plus"};
  const std::vector<std::string> descending = {"TR900 Plus", "LQ-P45D3", "AT-X58R"};
  for (const std::string& name : ascending) EXPECT_TRUE(BisectionFinds(ascending, name)) << name;
  EXPECT_TRUE(BisectionFinds(ascending, "lq-p45d3"));
  EXPECT_FALSE(BisectionFinds(ascending, "LQ-P35D2"));
  EXPECT_FALSE(BisectionFinds(descending, "TR900 Plus"));
  EXPECT_TRUE(BisectionFinds(descending, "LQ-P45D3"));
  EXPECT_FALSE(BisectionFinds(descending, "AT-X58R"));
  EXPECT_FALSE(BisectionFinds({}, "AT-X58R"));
}

}  // namespace

TEST(ZemContextPsi, NoNorthbridgeReadsOff) {
  // A model file naming the northbridge's PSI on a board that has none (an Intel board): the
  // absent function reads all ones, which is no PSI enable bit.
  TSimContext sim("p35-core2");
  sim.WriteModelFile("[PsiControl]\nInterface=AMDCNQ\n[ZEM]\nZemStatus=1\n");
  ASSERT_TRUE(sim.Start());
  ASSERT_EQ(sim.Zem().PsiInterface(), kZemAmdPsi);
  EXPECT_EQ(sim.Zem().ReadStatus(), TZemCtrl::kStatusOff);
}

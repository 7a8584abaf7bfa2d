// What the program does when something goes wrong around the window: a missing configuration
// file, bad command-line values, and an exception that escapes the run.
#include <gtest/gtest.h>

#include <stdexcept>

#include "app/program/entry.h"
#include "app/scene/mainlayout.h"
#include "app/shell/headless/headlessshell.h"
#include "app/window/mainform.h"
#include "engine/cfg.h"
#include "engine/zemctrl.h"
#include "hw/initfile.h"
#include "hw/readwrite.h"
#include "tests/support/simcontext.h"

namespace {

TEST(ProgramStartupSafety, AMissingConfigurationFileShowsItsBoxAndStops) {
  TSimContext sim("p35-core2");
  sim.RemoveProgramFile("KorZem.ini");
  TMainThreadQueue queue;
  TMapPictureSource pictures;
  THeadlessShell shell;
  TZemMainForm form(sim.MakeHost(), BuildMainScene(pictures, queue), shell, "1.0");
  EXPECT_FALSE(form.FormCreate());
  EXPECT_TRUE(form.StartupFailed());
  ASSERT_EQ(sim.Messages.Shown.size(), 1u);
  EXPECT_EQ(sim.Messages.Shown[0],
            (TShownMessage{"Error", "Initial file not found.", TMessageIcon::Error}));
}

// A configuration handed in is the run's one configuration object: the context builds no second
// one (which would lose the debug file to the first and write a stale "Config" back at exit).
TEST(ProgramStartupSafety, TheContextUsesTheConfigurationItIsGiven) {
  TSimContext sim("p35-core2");
  sim.WriteModelFile(TSimContext::ReadFile(std::string(KORZEM_SOURCE_DIR) + "/data/LQP35D2.ini"));
  TZemContext context(sim.MakeHost());
  context.Init = std::make_unique<TInitFile>(sim.ProgramDirectory() + "/KorZem.ini", sim.System);
  context.Init->WriteBackAtExit = false;
  const TInitFile* given = context.Init.get();
  ASSERT_TRUE(context.Construct());
  EXPECT_EQ(context.Init.get(), given);
  ASSERT_NE(context.Rw, nullptr);
  EXPECT_TRUE(context.Rw->IsConnected());
}

TEST(ProgramOptions, ValuesThatAreMissingOrNoNumbersAreUsageErrors) {
  EXPECT_EQ(ParseEntryOptions({"--ticks"}).Error, "--ticks needs a value");
  EXPECT_EQ(ParseEntryOptions({"--snapshot", "x.png", "--ticks"}).Error, "--ticks needs a value");
  EXPECT_FALSE(ParseEntryOptions({"--ticks", ""}).Error.empty());
  EXPECT_FALSE(ParseEntryOptions({"--ticks", "2x"}).Error.empty());
  EXPECT_EQ(ParseEntryOptions({"--ticks", "7"}).Ticks, 7u);
  for (const char* load : {"nan", "NaN", "inf", "-inf", "infinity", "101", "-1", "50%"}) {
    EXPECT_EQ(ParseEntryOptions({"--load", load}).Error,
              "--load needs a percentage from 0 to 100 or \"host\"")
        << load;
  }
  for (const char* load : {"0", "37.5", "100", "host"})
    EXPECT_TRUE(ParseEntryOptions({"--load", load}).Error.empty()) << load;
  EXPECT_EQ(ParseLoad("37.5"), 37.5);
  EXPECT_FALSE(ParseLoad("nan").has_value());
}

// An exception that escapes the run is reported, and the unwinding destroys the window and its
// context in order, so the model file holds the run's totals.
TEST(ProgramGuard, AnEscapedExceptionIsReportedAndTheTotalsAreSaved) {
  TSimContext sim("p35-core2");
  const std::string model = sim.WriteModelFile(
      TSimContext::ReadFile(std::string(KORZEM_SOURCE_DIR) + "/data/LQP35D2.ini"));
  TMainThreadQueue queue;
  TMapPictureSource pictures;
  float total = 0;
  long double consumed = 0;
  ::testing::internal::CaptureStderr();
  const int status = RunGuarded("korzem", [&] {
    THeadlessShell shell([&sim](uint32_t ms) { sim.Advance(ms); });
    TZemMainForm form(sim.MakeHost(), BuildMainScene(pictures, queue), shell, "1.0");
    shell.Attach(form);
    if (!form.FormCreate()) return 3;
    form.FormShow();
    form.FormActivate();
    form.ZemOffImageEnClick();  // switch on
    shell.RunTicks(3);
    total = form.Context().Cfg->TotalKJ;
    consumed = form.Context().Cfg->ConsumesKJ;
    throw std::runtime_error("the shell lost its terminal");
    return 0;
  });
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(status, 1);
  EXPECT_NE(err.find("korzem: unexpected error: the shell lost its terminal"), std::string::npos)
      << err;
  ASSERT_GT(total, 0.0f);
  ASSERT_GT(consumed, 0.0L);
  const TiFile stored(model);
  EXPECT_FLOAT_EQ(stored.ReadSingle("Config", "TotalKJ", -1), total);
  EXPECT_NEAR(stored.ReadFloat("Config", "ConsumesKJ", -1), static_cast<double>(consumed), 1e-6);
}

TEST(ProgramGuard, ANormalRunKeepsItsStatus) {
  EXPECT_EQ(RunGuarded("korzem", [] { return 0; }), 0);
  EXPECT_EQ(RunGuarded("korzem", [] { return 2; }), 2);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(RunGuarded("zemctl", []() -> int { throw 42; }), 1);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "zemctl: unexpected error\n");
}

}  // namespace

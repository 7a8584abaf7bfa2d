#include "app/shell/tui/tuishell.h"

#include <gtest/gtest.h>

#include "engine/zemctrl.h"
#include "tests/tui/tuifixture.h"

namespace {

TTuiInput KeysIn(const std::string& keys) {
  TTuiInput input;
  input.Keys = keys;
  return input;
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(TuiShell, ShowsTheControllersOwnFigures) {
  TTuiFixture t;
  ASSERT_TRUE(t.Start());
  EXPECT_TRUE(Has(t.Screen(), "Clock               - MHz"));
  t.Advance(1000);
  TZemMainForm& form = *t.Form;
  const TZemReadouts& r = form.Readouts();
  ASSERT_FALSE(r[TReadoutId::CpuSpeed].Text.empty());
  const std::string screen = t.Screen();
  EXPECT_TRUE(Has(screen, r[TReadoutId::CpuSpeed].Text + " MHz")) << screen;
  EXPECT_TRUE(Has(screen, r[TReadoutId::Vcore].Text + " V")) << screen;
  EXPECT_TRUE(Has(screen, r[TReadoutId::Power].Text + " W")) << screen;
  EXPECT_TRUE(Has(screen, r[TReadoutId::Consumed].Text + " kJ")) << screen;
  EXPECT_TRUE(Has(screen, "Phases")) << screen;
  EXPECT_TRUE(Has(screen, "autorun off")) << screen;
  EXPECT_TRUE(Has(TuiStatusLine(form), "clock " + r[TReadoutId::CpuSpeed].Text + " MHz"));
  for (const std::string& line : t.Shell->Lines(30)) EXPECT_LE(line.size(), 30u) << line;
}

TEST(TuiShell, BigButtonKeysSwitchAndTheScreenFollows) {
  TTuiFixture t;
  ASSERT_TRUE(t.Start());
  ASSERT_FALSE(t.Form->ZemOn());
  EXPECT_TRUE(Has(t.Screen(), "ZEM OFF"));
  EXPECT_TRUE(Has(t.Screen(), "[space] ZEM on"));

  EXPECT_TRUE(t.Shell->HandleKey(' '));
  EXPECT_TRUE(t.Form->ZemOn());
  EXPECT_EQ(t.Form->Context().Zem->Status(), TZemCtrl::kStatusOn);
  EXPECT_TRUE(Has(t.Screen(), "ZEM ON"));
  EXPECT_TRUE(Has(t.Screen(), "[space] ZEM off"));
  EXPECT_TRUE(Has(t.Screen(), "Period"));

  EXPECT_TRUE(t.Shell->HandleKey('o'));
  EXPECT_FALSE(t.Form->ZemOn());
  EXPECT_EQ(t.Form->Context().Zem->Status(), TZemCtrl::kStatusOff);
  EXPECT_TRUE(Has(t.Screen(), "ZEM OFF"));
}

TEST(TuiShell, ModeAndResetKeysActOnlyWhereTheirButtonsShow) {
  TTuiFixture t;
  ASSERT_TRUE(t.Start());
  ASSERT_TRUE(t.Form->Readouts().SavingShown);
  // Off: the selector and the reset button are hidden.
  EXPECT_FALSE(t.Shell->HandleKey('t'));
  EXPECT_FALSE(t.Shell->HandleKey('r'));
  EXPECT_EQ(t.Cfg().WorkingMode, 1);

  t.Shell->HandleKey(' ');
  t.AdvanceInSteps(62000, 500);
  EXPECT_EQ(t.Form->Readouts().Period.Minutes, 1);
  EXPECT_TRUE(Has(t.Screen(), "0 d 00 h 01 m")) << t.Screen();
  EXPECT_TRUE(t.Shell->HandleKey('r'));
  EXPECT_EQ(t.Form->Readouts().Period.Minutes, 0);
  EXPECT_EQ(t.Cfg().DurationKJ, 0.0f);
  EXPECT_TRUE(Has(t.Screen(), "0 d 00 h 00 m"));

  EXPECT_TRUE(t.Shell->HandleKey('t'));
  EXPECT_EQ(t.Cfg().WorkingMode, 2);
  const TLocalDateTime start = ParseDateTime(t.Cfg().ZemStartDateTime).value();
  char date[32];
  std::snprintf(date, sizeof date, "%04d/%02d/%02d", start.Year, start.Month, start.Day);
  EXPECT_TRUE(Has(t.Screen(), std::string("kJ saved since ") + date)) << t.Screen();
  EXPECT_TRUE(Has(t.Screen(), "Mode       total"));
  // Total mode hides the reset button; the total selector is already chosen.
  EXPECT_FALSE(t.Shell->HandleKey('r'));
  EXPECT_TRUE(t.Shell->HandleKey('p'));
  EXPECT_EQ(t.Cfg().WorkingMode, 1);
  EXPECT_TRUE(Has(t.Screen(), "Period"));
}

TEST(TuiShell, AutorunKeyTogglesAndCursorKeysDoNothing) {
  TTuiFixture t;
  ASSERT_TRUE(t.Start());
  ASSERT_FALSE(t.Form->Readouts().AutoRunOn);
  t.Shell->HandleInput("\x1b[A\x1bOA\x1b[15~A");  // up, up, F5, capital A
  EXPECT_FALSE(t.Form->Readouts().AutoRunOn);
  t.Shell->HandleInput("a");
  EXPECT_TRUE(t.Form->Readouts().AutoRunOn);
  EXPECT_TRUE(t.Form->Context().Zem->AutoApply);
  EXPECT_TRUE(Has(t.Screen(), "autorun on"));
  // A sequence cut between two reads is still skipped.
  t.Shell->HandleInput("\x1b[");
  t.Shell->HandleInput("Da");
  EXPECT_FALSE(t.Form->Readouts().AutoRunOn);
}

TEST(TuiShell, TrayShowsOneLineAndSamplesEveryFiveSeconds) {
  TTuiFixture t;
  ASSERT_TRUE(t.Start());
  t.Shell->HandleKey(' ');
  t.Advance(1000);
  EXPECT_TRUE(t.Shell->HandleKey('m'));
  ASSERT_TRUE(t.Form->TrayIconVisible());
  EXPECT_TRUE(t.Shell->TrayIconShown());
  EXPECT_FALSE(t.Shell->WindowShown());
  EXPECT_FALSE(t.Form->IndicatorTimer().Enabled);
  EXPECT_EQ(t.Form->ZemTimer().IntervalMs, 5000u);
  // Panel keys mean nothing while hidden.
  EXPECT_FALSE(t.Shell->HandleKey(' '));
  EXPECT_TRUE(t.Form->ZemOn());

  const int32_t before = t.CountedMs();
  t.AdvanceInSteps(4900, 100);
  EXPECT_EQ(t.CountedMs(), before);
  t.Advance(100);
  EXPECT_EQ(t.CountedMs(), before + 5000);
  const std::vector<std::string> lines = t.Shell->Lines(80);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(t.Form->TrayHint().rfind("Power Saving:", 0), 0u);
  EXPECT_TRUE(Has(lines[0], "in the tray  " + t.Form->TrayHint())) << lines[0];
  EXPECT_EQ(t.Shell->TrayHint(), t.Form->TrayHint());
  EXPECT_FALSE(Has(t.Screen(), "Clock"));

  EXPECT_TRUE(t.Shell->HandleKey('\r'));
  EXPECT_FALSE(t.Form->TrayIconVisible());
  EXPECT_TRUE(t.Shell->WindowShown());
  EXPECT_EQ(t.Form->ZemTimer().IntervalMs, 1000u);
  EXPECT_TRUE(Has(t.Screen(), "Clock"));

  // Close while on goes to the tray; exit closes the window and ends the loop.
  EXPECT_TRUE(t.Shell->HandleKey('c'));
  EXPECT_TRUE(t.Form->TrayIconVisible());
  EXPECT_FALSE(t.Form->Closed());
  EXPECT_TRUE(t.Shell->HandleKey('q'));
  EXPECT_TRUE(t.Form->Closed());
  EXPECT_TRUE(t.Shell->QuitRequested());
}

TEST(TuiShell, MinimiseWhileOffIsTheOrdinaryMinimise) {
  TTuiFixture t;
  ASSERT_TRUE(t.Start());
  EXPECT_TRUE(t.Shell->HandleKey('m'));
  EXPECT_TRUE(t.Shell->Minimised());
  EXPECT_FALSE(t.Form->TrayIconVisible());
  EXPECT_TRUE(Has(t.Screen(), "minimised"));
  EXPECT_FALSE(t.Shell->HandleKey('a'));
  EXPECT_TRUE(t.Shell->HandleKey('u'));
  EXPECT_FALSE(t.Shell->Minimised());
  EXPECT_TRUE(Has(t.Screen(), "Clock"));
}

TEST(TuiShell, TimersFollowTheFormsSettings) {
  TTuiFixture t;
  ASSERT_TRUE(t.Start());
  // Both enabled at activation: the animation is due first.
  EXPECT_EQ(t.Shell->MsUntilNextTimer(), 500);
  t.Advance(999);
  EXPECT_TRUE(t.Form->Readouts()[TReadoutId::CpuSpeed].Text.empty());
  t.Advance(1);
  EXPECT_EQ(t.CountedMs(), 1000);
  ASSERT_GT(t.Form->Readouts().SpeedTarget, 2);
  // The needle glides one frame per animation tick, the first right after the sampling tick.
  EXPECT_EQ(t.Form->Readouts().SpeedFrame, 1);
  t.Advance(500);
  EXPECT_EQ(t.Form->Readouts().SpeedFrame, 2);
  t.Advance(500);
  EXPECT_EQ(t.Form->Readouts().SpeedFrame, 3);
  EXPECT_EQ(t.CountedMs(), 2000);

  // A loop held up for many intervals gets one tick, not a burst.
  t.Advance(10000);
  EXPECT_EQ(t.CountedMs(), 3000);

  // A new interval counts from when the shell sees it: the tray samples every 5 s, without the
  // animation.
  t.Advance(500);
  EXPECT_EQ(t.CountedMs(), 3000);
  EXPECT_TRUE(t.Shell->HandleKey(' '));
  EXPECT_TRUE(t.Shell->HandleKey('m'));
  ASSERT_TRUE(t.Form->TrayIconVisible());
  EXPECT_EQ(t.Shell->MsUntilNextTimer(), 5000);
  t.Advance(4900);
  EXPECT_EQ(t.CountedMs(), 3000);
  t.Advance(100);
  EXPECT_EQ(t.CountedMs(), 8000);

  // Exit stops both timers.
  EXPECT_TRUE(t.Shell->HandleKey('q'));
  EXPECT_EQ(t.Shell->MsUntilNextTimer(), -1);
}

TEST(TuiShell, PhaseAnimationRunsWhileOn) {
  TTuiFixture t;
  ASSERT_TRUE(t.Start());
  ASSERT_NE(t.Form->Context().Zem->PhaseSwitch(), 0);
  t.Shell->HandleKey(' ');
  t.Advance(1000);
  const auto phaseRow = [&t] {
    for (const std::string& line : t.Shell->Lines(80))
      if (Has(line, "Phases")) return line;
    return std::string();
  };
  const int32_t phases = t.Form->Context().Zem->PhaseCount();
  ASSERT_TRUE(phases == 1 || phases == 2 || phases == 3 || phases == 4 || phases == 8) << phases;
  const std::string first = phaseRow();
  t.Advance(500);
  const std::string second = phaseRow();
  EXPECT_NE(first, second);
  const size_t open = second.find('[');
  ASSERT_NE(open, std::string::npos);
  EXPECT_EQ(second[open + 1 + static_cast<size_t>(t.Form->Readouts().AnimationFrame)], '*')
      << second;
  t.Shell->HandleKey(' ');
  EXPECT_TRUE(Has(phaseRow(), "idle"));
}

TEST(TuiShell, MessageBoxesWaitForAKey) {
  TTuiFixture t;
  ASSERT_TRUE(t.Start());
  EXPECT_TRUE(t.Shell->HandleKey('i'));
  ASSERT_EQ(t.Shell->Messages().size(), 1u);
  EXPECT_EQ(t.Shell->Messages()[0], "Korvan ZEM: Korvan ZEM 1.2");
  EXPECT_TRUE(Has(t.Screen(), "! Korvan ZEM: Korvan ZEM 1.2"));
  EXPECT_TRUE(t.Sim.Messages.Shown.empty());
  // The key closes the box and is not a click.
  EXPECT_TRUE(t.Shell->HandleKey('a'));
  EXPECT_TRUE(t.Shell->Messages().empty());
  EXPECT_FALSE(t.Form->Readouts().AutoRunOn);

  // A box the shell never showed reaches the fallback when the shell goes.
  t.Shell->HandleKey('i');
  t.Form.reset();
  t.Shell.reset();
  ASSERT_EQ(t.Sim.Messages.Shown.size(), 1u);
  EXPECT_EQ(t.Sim.Messages.Shown[0].Text, "Korvan ZEM: Korvan ZEM 1.2");
  t.Box.Show("Caption", "later", TMessageIcon::Information);
  ASSERT_EQ(t.Sim.Messages.Shown.size(), 2u);
  EXPECT_EQ(t.Sim.Messages.Shown[1].Caption, "Caption");
}

TEST(TuiShell, RunDrawsHandlesKeysAndQueueAndEndsOnExit) {
  TTuiFixture t;
  ASSERT_TRUE(t.Start());
  t.Terminal.OnWait = [&t](int ms) { t.NowMs += ms; };
  for (int i = 0; i < 8; ++i) t.Terminal.Inputs.push_back({});
  t.Terminal.Inputs.push_back(KeysIn("o"));
  TTuiInput errors;
  errors.Errors = "trace one\ntrace two\n";
  t.Terminal.Inputs.push_back(errors);
  t.Terminal.Inputs.push_back(KeysIn("q"));
  int posted = 0;
  t.Queue.Post([&posted] { ++posted; });
  int idle = 0;
  t.Shell->OnIdle = [&idle] { ++idle; };

  EXPECT_EQ(t.Shell->Run(*t.Form), 0);
  EXPECT_TRUE(t.Form->Closed());
  EXPECT_EQ(t.Terminal.Opens, 1);
  EXPECT_EQ(t.Terminal.Closes, 1);
  EXPECT_EQ(posted, 1);
  EXPECT_EQ(idle, 11);
  // No wait outlasts the next timer.
  for (int wait : t.Terminal.Waits) EXPECT_LE(wait, 500);
  EXPECT_TRUE(Has(t.Terminal.Output, "\x1b[H"));
  EXPECT_TRUE(Has(t.Terminal.Output, "ZEM ON"));
  EXPECT_TRUE(Has(t.Terminal.Output, "trace two"));
  EXPECT_TRUE(Has(t.Terminal.Output, "\x1b[38;5;208m"));  // orange read-outs
}

TEST(TuiShell, StopSignalExitsInOrder) {
  TTuiFixture t;
  ASSERT_TRUE(t.Start());
  t.Shell->HandleKey(' ');  // on: a plain close would only hide to the tray
  TTuiInput stop;
  stop.Stop = true;
  t.Terminal.Inputs.push_back(stop);
  EXPECT_EQ(t.Shell->Run(*t.Form), 0);
  EXPECT_TRUE(t.Form->Closed());
  EXPECT_EQ(t.Terminal.Closes, 1);
}

TEST(TuiShell, WithoutAScreenWritesPlainLines) {
  TTuiFixture t;
  ASSERT_TRUE(t.Start());
  t.Terminal.Screen = false;
  t.Terminal.OnWait = [&t](int ms) { t.NowMs += ms; };
  for (int i = 0; i < 6; ++i) t.Terminal.Inputs.push_back({});
  t.Terminal.Inputs.push_back(KeysIn("i"));
  t.Terminal.Inputs.push_back({});
  t.Terminal.Inputs.push_back(KeysIn("q"));
  EXPECT_EQ(t.Shell->Run(*t.Form), 0);
  const std::string& out = t.Terminal.Output;
  EXPECT_FALSE(Has(out, "\x1b"));
  EXPECT_TRUE(Has(out, "ZEM off | clock - MHz"));
  EXPECT_TRUE(Has(out, "ZEM off | clock " + std::string("2")));  // a measured clock follows
  EXPECT_TRUE(Has(out, "Korvan ZEM: Korvan ZEM 1.2\n"));
}

}  // namespace

// The read-out record: what it holds for given states of the engine and the window.
#include "app/window/readouts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "chips/hwm.h"
#include "tests/window/windowfixture.h"

namespace {

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%0.*f", decimals, value);
  return text;
}

TReadoutState Lit(std::string text) {
  return {TReadoutLook::Lit, std::move(text)};
}

TReadoutState Dim(std::string text) {
  return {TReadoutLook::Dim, std::move(text)};
}

constexpr TReadoutState kUnlit{TReadoutLook::Unlit, ""};
constexpr TReadoutState kErased{TReadoutLook::Erased, ""};

TEST(ReadoutRecordTest, OffAtStartShowsMasksThenEachTickTheEnginesFigures) {
  TWindowFixture w;
  ASSERT_TRUE(w.Start());
  const TZemReadouts& r = w.Record();
  EXPECT_TRUE(r.Running);
  EXPECT_FALSE(r.Hidden);
  EXPECT_FALSE(r.SavingOn);
  EXPECT_TRUE(r.SavingShown);
  EXPECT_EQ(r.Mode, 1);
  // First show with energy saving off: the unlit masks, and nothing yet where the clock and the
  // voltage go.
  for (TReadoutId id : {TReadoutId::SavedKJ, TReadoutId::PeriodDays, TReadoutId::SinceDays,
                        TReadoutId::Power, TReadoutId::Consumed})
    EXPECT_EQ(w.Readout(id), kUnlit) << ReadoutPlaceOf(id).Name;
  EXPECT_EQ(w.Readout(TReadoutId::CpuSpeed).Look, TReadoutLook::Untouched);
  EXPECT_EQ(w.Readout(TReadoutId::StartDate).Look, TReadoutLook::Untouched);

  w.Cfg().ConsumesKJ = 1234567.0L;
  w.SamplingTick();
  EXPECT_EQ(w.Readout(TReadoutId::Power), Lit(Fixed(w.Zem().Wzem(), 1)));
  EXPECT_EQ(w.Readout(TReadoutId::Vcore), Lit(Fixed(w.Form->Context().Hwm->GetVcore(), 4)));
  EXPECT_EQ(w.Readout(TReadoutId::CpuSpeed).Look, TReadoutLook::Lit);
  EXPECT_EQ(w.Readout(TReadoutId::CpuSpeed).Text.find('.'),
            w.Readout(TReadoutId::CpuSpeed).Text.size() - 2);
  // A consumed figure of millions keeps two decimals, of ten millions one.
  EXPECT_EQ(w.Readout(TReadoutId::Consumed), Lit(Fixed(static_cast<float>(w.Cfg().ConsumesKJ), 2)));
  w.Cfg().ConsumesKJ = 12345678.0L;
  w.SamplingTick();
  EXPECT_EQ(w.Readout(TReadoutId::Consumed), Lit(Fixed(static_cast<float>(w.Cfg().ConsumesKJ), 1)));
  // The saving figures are not painted while energy saving is off.
  EXPECT_EQ(w.Readout(TReadoutId::SavedKJ), kUnlit);
  EXPECT_EQ(r.Phases, w.Zem().PhaseCount());
  EXPECT_FALSE(r.PiggyBank);
}

TEST(ReadoutRecordTest, TimeSinceTheStartDateFollowsTheClock) {
  TWindowFixture w;
  ASSERT_TRUE(w.Start());
  const TLocalDateTime start = ParseDateTime(w.Cfg().ZemStartDateTime).value();
  TLocalDateTime later = start;
  later.Day += 2;
  later.Hour = (start.Hour + 3) % 24;
  later.Minute = (start.Minute + 7) % 60;
  w.Sim.Clock.Current = later;
  w.SamplingTick();
  const double since = EncodeDateTime(later) - EncodeDateTime(start);
  const auto minutes = static_cast<int>(std::floor(since * 24 * 60 + 1e-9));
  const TReadoutSpan expected{minutes / (24 * 60), minutes / 60 % 24, minutes % 60};
  EXPECT_EQ(w.Record().Since, expected);
  EXPECT_EQ(w.Readout(TReadoutId::SinceDays), Lit(std::to_string(expected.Days)));
  EXPECT_EQ(w.Readout(TReadoutId::SinceHours), Lit(std::to_string(expected.Hours)));
  EXPECT_EQ(w.Readout(TReadoutId::SinceMinutes), Lit(std::to_string(expected.Minutes)));
}

TEST(ReadoutRecordTest, SavingFiguresAreLitWhileOnAndKeptDimAfterTheSwitchOff) {
  TWindowFixture w;
  ASSERT_TRUE(w.Start());
  w.Form->ZemOffImageEnClick();
  ASSERT_TRUE(w.Record().SavingOn);
  for (int i = 0; i < 62; ++i) w.SamplingTick();
  EXPECT_EQ(w.Record().Period, (TReadoutSpan{0, 0, 1}));
  EXPECT_EQ(w.Readout(TReadoutId::PeriodMinutes), Lit("1"));
  EXPECT_EQ(w.Readout(TReadoutId::PeriodHours), Lit("0"));
  const std::string saved = Fixed(w.Cfg().DurationKJ, 3);
  EXPECT_EQ(w.Readout(TReadoutId::SavedKJ), Lit(saved));
  EXPECT_GT(w.Cfg().DurationKJ, 0.0f);
  EXPECT_GT(w.Record().AnimationFrames, 0);

  w.Form->ZemOnImageEnClick();
  EXPECT_FALSE(w.Record().SavingOn);
  EXPECT_EQ(w.Readout(TReadoutId::SavedKJ), Dim(saved));
  // The period goes on counting, but the dim figures stay as they were at the switch.
  for (int i = 0; i < 60; ++i) w.SamplingTick();
  EXPECT_EQ(w.Record().Period.Minutes, 2);
  EXPECT_EQ(w.Readout(TReadoutId::PeriodMinutes), Dim("1"));
  EXPECT_EQ(w.Readout(TReadoutId::SavedKJ), Dim(saved));
}

TEST(ReadoutRecordTest, TotalModeShowsTheStartDateAndBlanksThePeriodCounters) {
  TWindowFixture w;
  ASSERT_TRUE(w.Start());
  w.Form->SetDateTimeSeparators('-', '.');
  w.Form->ZemOffImageEnClick();
  w.SamplingTick();
  w.Form->TotalImageEnClick();
  const TZemReadouts& r = w.Record();
  EXPECT_EQ(r.Mode, 2);
  const TLocalDateTime start = ParseDateTime(w.Cfg().ZemStartDateTime).value();
  char date[32], time[32], dimDate[32], dimTime[32];
  std::snprintf(date, sizeof date, "%04d/%02d/%02d", start.Year, start.Month, start.Day);
  std::snprintf(time, sizeof time, "%02d:%02d:%02d", start.Hour, start.Minute, start.Second);
  std::snprintf(dimDate, sizeof dimDate, "%04d-%02d-%02d", start.Year, start.Month, start.Day);
  std::snprintf(dimTime, sizeof dimTime, "%02d.%02d.%02d", start.Hour, start.Minute, start.Second);
  EXPECT_EQ(w.Readout(TReadoutId::StartDate), Lit(date));
  EXPECT_EQ(w.Readout(TReadoutId::StartTime), Lit(time));
  for (TReadoutId id : {TReadoutId::PeriodDays, TReadoutId::PeriodHours, TReadoutId::PeriodMinutes})
    EXPECT_EQ(w.Readout(id), kErased) << ReadoutPlaceOf(id).Name;
  w.SamplingTick();
  EXPECT_EQ(w.Readout(TReadoutId::SavedKJ), Lit(Fixed(w.Cfg().TotalKJ, 3)));

  // Off, the start date takes the system's separators; back in period mode it is blanked.
  w.Form->ZemOnImageEnClick();
  EXPECT_EQ(w.Readout(TReadoutId::StartDate), Dim(dimDate));
  EXPECT_EQ(w.Readout(TReadoutId::StartTime), Dim(dimTime));
  w.Form->ZemOffImageEnClick();
  w.Form->DurationImageEnClick();
  EXPECT_EQ(r.Mode, 1);
  EXPECT_EQ(w.Readout(TReadoutId::StartDate), kErased);
  EXPECT_EQ(w.Readout(TReadoutId::StartTime), kErased);
}

TEST(ReadoutRecordTest, IndicatorFramesGlideToTheirTargetsAndTheTrayHintCarriesTheFigure) {
  TWindowFixture w;
  ASSERT_TRUE(w.Start());
  w.SamplingTick();
  const TZemReadouts& r = w.Record();
  ASSERT_GT(r.SpeedTarget, 1);
  EXPECT_EQ(r.SpeedFrame, 0);
  w.Form->IndicatorTimerTimer();
  EXPECT_EQ(r.SpeedFrame, 1);
  for (int i = 0; i < 12; ++i) w.Form->IndicatorTimerTimer();
  EXPECT_EQ(r.SpeedFrame, r.SpeedTarget);
  EXPECT_EQ(r.VcoreFrame, r.VcoreTarget);
  EXPECT_EQ(w.Form->Scene().Component("CpuSpeedIndicatorImage").Frame, r.SpeedFrame);

  w.Form->ZemOffImageEnClick();
  w.Form->MinimizeImageEnClick();
  EXPECT_TRUE(r.Hidden);
  w.Sim.Advance(5000);
  w.Form->ZemTimerTimer();
  EXPECT_EQ(r.TrayHint, "Power Saving:" + Fixed(w.Cfg().DurationKJ, 3) + "KJ");
  EXPECT_EQ(w.Shell.TrayHint, r.TrayHint);

  w.Form->ZemTrayCloseClick();
  EXPECT_FALSE(r.Running);
}

}  // namespace

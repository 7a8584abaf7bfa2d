// Painting: only read-outs whose text or look changed are painted, every changed pixel lies in
// an area the shell is asked to repaint, and nothing is painted while the window is in the tray.
#include <gtest/gtest.h>

#include "tests/window/windowfixture.h"

namespace {

// Whether every pixel that differs between before and after lies in one of areas.
bool ChangesInside(const TBitmap& before, const TBitmap& after, const std::vector<TRect>& areas) {
  for (int y = 0; y < after.Height(); ++y) {
    for (int x = 0; x < after.Width(); ++x) {
      if (before.Pixel(x, y) == after.Pixel(x, y)) continue;
      bool inside = false;
      for (const TRect& a : areas)
        inside = inside || (x >= a.Left && x < a.Right && y >= a.Top && y < a.Bottom);
      if (!inside) return false;
    }
  }
  return true;
}

std::vector<TRect> ChangedPaintBoxes(const TZemReadouts& before, const TZemReadouts& after) {
  std::vector<TRect> boxes;
  for (const TReadoutPlace& place : ReadoutPlaces())
    if (!(before[place.Id] == after[place.Id])) boxes.push_back(ReadoutPaintBox(place));
  return boxes;
}

TEST(ReadoutPaintingTest, ASamplingTickPaintsOnlyTheReadoutsThatChanged) {
  TWindowFixture w;
  ASSERT_TRUE(w.Start());
  w.Form->ZemOffImageEnClick();
  w.SamplingTick();
  w.SamplingTick();

  for (int tick = 0; tick < 3; ++tick) {
    const TZemReadouts before = w.Record();
    const TBitmap background = w.Background();
    w.Invalidated.clear();
    w.SamplingTick();
    const std::vector<TRect> changed = ChangedPaintBoxes(before, w.Record());
    // Energy adds up on every tick; the time since the start date stands still on this clock.
    EXPECT_FALSE(before[TReadoutId::Consumed] == w.Readout(TReadoutId::Consumed));
    EXPECT_EQ(before[TReadoutId::SinceDays], w.Readout(TReadoutId::SinceDays));
    EXPECT_LT(changed.size(), kReadoutCount / 2);
    // One repaint per changed read-out, each its own place, and no pixel changed elsewhere.
    EXPECT_EQ(w.Invalidated, changed);
    EXPECT_TRUE(ChangesInside(background, w.Background(), w.Invalidated));
  }
}

TEST(ReadoutPaintingTest, AnimationTicksRepaintOnlyComponentsWhoseFrameMoved) {
  TWindowFixture w;
  ASSERT_TRUE(w.Start());
  w.SamplingTick();
  for (int i = 0; i < 12; ++i) w.Form->IndicatorTimerTimer();
  // The needles stand at their targets and energy saving is off: nothing moves.
  w.Invalidated.clear();
  const TBitmap background = w.Background();
  w.Form->IndicatorTimerTimer();
  EXPECT_TRUE(w.Invalidated.empty());
  EXPECT_TRUE(w.Background() == background);

  // On, the phase animation moves on every tick: its picture alone is repainted.
  w.Form->ZemOffImageEnClick();
  w.Form->IndicatorTimerTimer();
  w.Invalidated.clear();
  w.Form->IndicatorTimerTimer();
  const TSceneComponent& phase = w.Form->Scene().Component("PhaseImage");
  ASSERT_EQ(w.Invalidated.size(), 1u);
  EXPECT_EQ(w.Invalidated[0],
            (TRect{phase.X, phase.Y, phase.X + phase.Width(), phase.Y + phase.Height()}));
}

TEST(ReadoutPaintingTest, HiddenInTheTrayNothingIsPaintedAndTheAnimationStops) {
  TWindowFixture w;
  ASSERT_TRUE(w.Start());
  w.Form->ZemOffImageEnClick();
  w.Shell.RunTicks(2);
  w.Form->MinimizeImageEnClick();
  ASSERT_TRUE(w.Record().Hidden);
  EXPECT_FALSE(w.Form->IndicatorTimer().Enabled);
  EXPECT_EQ(w.Form->ZemTimer().IntervalMs, 5000u);

  const TBitmap background = w.Background();
  const TZemReadouts before = w.Record();
  const std::string hint = w.Shell.TrayHint;
  w.Invalidated.clear();
  w.Shell.RunFor(30000);
  EXPECT_EQ(w.Shell.SamplingTicks, 2u + 6u);
  EXPECT_TRUE(w.Invalidated.empty());
  EXPECT_TRUE(w.Background() == background);
  EXPECT_EQ(w.Record().AnimationFrame, before.AnimationFrame);
  EXPECT_EQ(w.Record().SpeedFrame, before.SpeedFrame);
  EXPECT_NE(w.Shell.TrayHint, hint);  // the tray hint follows the saved energy
  EXPECT_EQ(w.Record().PeriodSeconds, before.PeriodSeconds + 30);

  // Shown again, the read-outs that changed meanwhile are painted at once.
  w.Form->ZemTrayRestoreClick();
  EXPECT_FALSE(w.Record().Hidden);
  EXPECT_TRUE(w.Form->IndicatorTimer().Enabled);
  EXPECT_EQ(w.Invalidated, ChangedPaintBoxes(before, w.Record()));
  EXPECT_FALSE(w.Invalidated.empty());
  EXPECT_FALSE(w.Background() == background);
}

}  // namespace

// korzem --snapshot draws the whole window headless: its shape, the off and on looks, and the
// read-outs lit at their places.
#include <gtest/gtest.h>

#include "app/gfx/png.h"
#include "tests/e2e/zemctlrun.h"
#include "tests/support/tempdir.h"

namespace {

constexpr TColour kGreenLit = Rgb(70, 255, 10);

// Pixels of exactly the lit colour inside a read-out's rectangle.
int LitPixels(const TBitmap& window, int left, int top, int width, int height, TColour lit) {
  int count = 0;
  for (int y = top; y < top + height; ++y)
    for (int x = left; x < left + width; ++x) count += window.Pixel(x, y) == lit ? 1 : 0;
  return count;
}

TBitmap Snapshot(const TTempDir& dir, const std::string& name, const std::string& more) {
  const std::string file = dir / (name + ".png");
  const e2e::TRun run = e2e::Korzem("--machine sim:p35-core2 --sim-state " + (dir / "pc") +
                                    " --load 10 --snapshot " + file + " " + more);
  EXPECT_EQ(run.Status, 0) << run.Err;
  std::optional<TBitmap> picture = LoadPng(file, Rgb(0, 0, 255));
  EXPECT_TRUE(picture.has_value());
  return picture.value_or(TBitmap());
}

}  // namespace

TEST(KorzemSnapshot, OffAndOnLooksWithTheReadoutsAtTheirPlaces) {
  TTempDir dir;
  const TBitmap off = Snapshot(dir, "off", "--ticks 2");
  ASSERT_EQ(off.Width(), 644);
  ASSERT_EQ(off.Height(), 385);
  // The window's shape: corners outside (transparent, read back as the key colour).
  EXPECT_EQ(off.Pixel(0, 0), Rgb(0, 0, 255));
  EXPECT_EQ(off.Pixel(643, 384), Rgb(0, 0, 255));
  // Off: the period figures stay unlit; the processor power is lit (83,188, 5 digits at 18 pt).
  EXPECT_EQ(LitPixels(off, 176, 89, 160, 30, kGreenLit), 0);
  EXPECT_GT(LitPixels(off, 83, 188, 70, 24, Rgb(242, 248, 238)), 20);

  ASSERT_EQ(e2e::Zemctl("--machine sim:p35-core2 --sim-state " + (dir / "pc") + " on").Out,
            "ZEM: on\n");
  const TBitmap on = Snapshot(dir, "on", "--ticks 3");
  // On: the period kJ (176,89) and the period clock (136,117) light up in green.
  EXPECT_GT(LitPixels(on, 176, 89, 160, 30, kGreenLit), 20);
  EXPECT_GT(LitPixels(on, 136, 117, 70, 30, kGreenLit), 5);
  EXPECT_NE(on, off);
}

TEST(KorzemSnapshot, HelpVersionAndBadOptions) {
  EXPECT_EQ(e2e::Korzem("--version").Out, "korzem 1.0.0\n");
  EXPECT_NE(e2e::Korzem("--help").Out.find("--snapshot FILE.png"), std::string::npos);
  const e2e::TRun bad = e2e::Korzem("--ticks many --snapshot x.png");
  EXPECT_EQ(bad.Status, 2);
  EXPECT_NE(bad.Err.find("--ticks needs a number"), std::string::npos);
  // /UNINSTALL with nobody running ends at once, successfully.
  EXPECT_EQ(e2e::Korzem("/uninstall").Status, 0);
}

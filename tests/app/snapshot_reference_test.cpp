// The composed window of the off and on looks against reviewed reference pictures
// (tests/app/reference), with a tolerance for anti-aliased edges. To review a change of the look,
// run with KORZEM_WRITE_REFERENCE=1, look at the written pictures and commit them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "app/gfx/png.h"
#include "app/scene/mainlayout.h"
#include "app/shell/headless/headlessshell.h"
#include "app/window/mainform.h"
#include "tests/support/simcontext.h"

namespace {

const std::string kReferenceDir = std::string(KORZEM_SOURCE_DIR) + "/tests/app/reference";

struct TDifference {
  int Pixels = 0;   // pixels whose channels differ by more than the tolerance
  int Largest = 0;  // largest channel difference
};

TDifference Compare(const TBitmap& a, const TBitmap& b, int tolerance) {
  TDifference result;
  for (int y = 0; y < a.Height(); ++y) {
    for (int x = 0; x < a.Width(); ++x) {
      const TColour p = a.Pixel(x, y);
      const TColour q = b.Pixel(x, y);
      const int d = std::max({std::abs(p.R - q.R), std::abs(p.G - q.G), std::abs(p.B - q.B)});
      result.Largest = std::max(result.Largest, d);
      if (d > tolerance) ++result.Pixels;
    }
  }
  return result;
}

class SnapshotReferenceTest : public ::testing::Test {
 protected:
  SnapshotReferenceTest() : Sim("p35-core2") {
    Sim.WriteModelFile(TSimContext::ReadFile(std::string(KORZEM_SOURCE_DIR) + "/data/LQP35D2.ini"));
    Sim.SetLoad(10);
  }

  TBitmap Window(bool on) {
    TPngPictureSource pictures(KORZEM_ASSETS_DIR);
    TMainThreadQueue queue;
    THeadlessShell shell([this](uint32_t ms) { Sim.Advance(ms); });
    TZemMainForm form(Sim.MakeHost(), BuildMainScene(pictures, queue), shell, "1.0");
    shell.Attach(form);
    EXPECT_TRUE(form.FormCreate());
    form.FormShow();
    form.FormActivate();
    if (on) form.ZemOffImageEnClick();
    shell.RunTicks(3);
    TBitmap picture = shell.Compose();
    form.ZemTrayCloseClick();
    return picture;
  }

  void Check(const TBitmap& window, const std::string& name) {
    const std::string file = kReferenceDir + "/" + name + ".png";
    if (std::getenv("KORZEM_WRITE_REFERENCE") != nullptr) {
      std::filesystem::create_directories(kReferenceDir);
      ASSERT_TRUE(SavePng(window, file, Rgb(0, 0, 255)));
    }
    const std::optional<TBitmap> reference = LoadPng(file, Rgb(0, 0, 255));
    ASSERT_TRUE(reference.has_value()) << file;
    ASSERT_EQ(window.Width(), reference->Width());
    ASSERT_EQ(window.Height(), reference->Height());
    // Anti-aliased edges may shift by a level or two; a moved or missing read-out changes
    // hundreds of pixels by far more.
    const TDifference difference = Compare(window, *reference, 24);
    EXPECT_LT(difference.Pixels, window.Width() * window.Height() / 1000) << name;
  }

  TSimContext Sim;
};

TEST_F(SnapshotReferenceTest, OffAndOnLooksMatchTheReviewedPictures) {
  const TBitmap off = Window(false);
  Check(off, "window-off");
  const TBitmap on = Window(true);
  Check(on, "window-on");
  // The two looks really differ (the big button alone is 186 x 184 pixels).
  EXPECT_GT(Compare(off, on, 24).Pixels, 10000);
}

}  // namespace

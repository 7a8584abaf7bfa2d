#include "app/scene/mainlayout.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "app/gfx/png.h"
#include "base/trace.h"
#include "tests/support/tempdir.h"
#include "tests/support/tracecapture.h"

namespace {

using TTraceLines = TTraceCapture;

TBitmap Flat(int w, int h, uint8_t shade) {
  return TBitmap(w, h, Rgb(shade, shade, 100));
}

}  // namespace

TEST(MainLayoutTest, WithoutArtworkEveryComponentIsABlackStandInAtItsPlace) {
  TMainThreadQueue queue;
  TMapPictureSource none;
  TTraceLines trace;
  const auto scene = BuildMainScene(none, queue);

  EXPECT_EQ(scene->Background(), TBitmap(644, 385, Rgb(0, 0, 0)));
  struct TExpected {
    const char* Name;
    int X, Y, W, H;
  };
  const TExpected places[] = {{"LightImage", 334, 87, 10, 10},
                              {"VcoreIndicatorImage", 215, 237, 146, 27},
                              {"CpuSpeedIndicatorImage", 235, 267, 146, 27},
                              {"PhaseOffImage", 397, 34, 101, 120},
                              {"PigOffImage", 410, 59, 49, 59},
                              {"ZemOffBtnPanel", 389, 154, 186, 184},
                              {"ZemOnImageEn", 388, 154, 186, 184},
                              {"AutoRunOnBtnPanel", 529, 107, 93, 58},
                              {"ResetImageEn", 342, 122, 43, 21},
                              {"TotalImageEn", 345, 98, 40, 13},
                              {"DayImage", 199, 130, 24, 12},
                              {"MinimizeImageEn", 499, 82, 24, 24}};
  for (const TExpected& e : places) {
    const TSceneComponent& c = scene->Component(e.Name);
    EXPECT_EQ(c.X, e.X) << e.Name;
    EXPECT_EQ(c.Y, e.Y) << e.Name;
    EXPECT_EQ(c.Width(), e.W) << e.Name;
    EXPECT_EQ(c.Height(), e.H) << e.Name;
  }
  EXPECT_EQ(scene->Component("ZemOnImageEn").Parent, scene->Find("ZemOnBtnPanel"));
  EXPECT_EQ(scene->FrameCount("IndicatorImageList"), 10);
  EXPECT_EQ(scene->FrameCount("Phase1ImageList"), 6);
  EXPECT_EQ(scene->FrameCount("Phase8ImageList"), 4);
  EXPECT_EQ(scene->FrameCount("PhaseOffImageList"), 2);
  EXPECT_EQ(scene->FrameCount("PigImageList"), 5);
  EXPECT_EQ(scene->ImageList("ZemTrayImageList").at(0).Width(), 16);

  // Each missing picture is reported, and only once.
  std::map<std::string, int> reported;
  for (const std::string& line : trace.Lines) ++reported[line];
  EXPECT_EQ(reported.at("Missing picture \"BackgroundImage\""), 1);
  EXPECT_EQ(reported.at("Missing picture \"ResetImageEn_Active\""), 1);
  EXPECT_EQ(reported.at("Missing picture \"PigImageList_4\""), 1);
  EXPECT_EQ(reported.size(), trace.Lines.size());
}

TEST(MainLayoutTest, FirstVisibilityIsTheFormsBeforeItFirstShows) {
  TMainThreadQueue queue;
  TMapPictureSource none;
  const auto scene = BuildMainScene(none, queue);
  for (const char* hidden : {"DurationOffImage", "TotalOffImage", "DayImage", "HrImage", "MinImage",
                             "SinceImage", "DashImage", "ZemOnBtnPanel", "AutoRunOnBtnPanel"})
    EXPECT_FALSE(scene->Visible(hidden)) << hidden;
  for (const char* shown :
       {"DurationImage", "TotalImage", "LightImage", "On3Image", "PhaseImage", "PigImage",
        "ZemOffBtnPanel", "AutoRunOffBtnPanel", "ResetBtnPanel", "CloseImageEn", "DurationImageEn"})
    EXPECT_TRUE(scene->Showing(shown)) << shown;
  EXPECT_FALSE(scene->Showing("ZemOnImageEn"));
}

TEST(MainLayoutTest, PicturesAndFramesComeByTheirNames) {
  TMainThreadQueue queue;
  TMapPictureSource art;
  art.Add("PhaseOffImageList_0", Flat(101, 120, 1));
  art.Add("PhaseOffImageList_1", Flat(101, 120, 2));
  art.Add("CloseImageEn_Normal", Flat(20, 18, 3));
  art.Add("CloseImageEn_Down", Flat(20, 18, 4));
  art.Add("DurationImage", Flat(90, 12, 5));
  const auto scene = BuildMainScene(art, queue);
  EXPECT_EQ(scene->Component("PhaseOffImage").Picture, Flat(101, 120, 1));
  EXPECT_TRUE(scene->SetFrame("PhaseOffImage", 1));
  EXPECT_EQ(scene->Component("PhaseOffImage").Picture, Flat(101, 120, 2));
  EXPECT_EQ(scene->Component("DurationImage").Width(), 90);  // sized by its artwork
  TImageEn& close = scene->ImageEn("CloseImageEn");
  EXPECT_EQ(close.Picture(), Flat(20, 18, 3));
  EXPECT_EQ(close.DownPicture(), Flat(20, 18, 4));
  EXPECT_EQ(close.FocusPicture(), TBitmap(20, 18, Rgb(0, 0, 0)));  // stand-in at the art's size
  EXPECT_EQ(scene->Component("CloseBtnPanel").Width(), 20);
}

TEST(MainLayoutTest, ChineseInterfaceReplacesTheLocalisedPictures) {
  TMainThreadQueue queue;
  TMapPictureSource art;
  art.Add("BackgroundImage", Flat(644, 385, 1));
  art.Add("CHS_BackgroundImage", Flat(644, 385, 2));
  art.Add("SinceImage", Flat(30, 12, 3));
  art.Add("CHS_Since", Flat(30, 12, 4));
  art.Add("DurationImageEn_Normal", Flat(40, 13, 5));
  art.Add("DurationImageEn_Active", Flat(40, 13, 6));
  art.Add("CHS_Duration_bt_01", Flat(40, 13, 7));
  art.Add("CHS_Duration_bt_02", Flat(40, 13, 8));
  art.Add("CHS_Duration_bt_03", Flat(40, 13, 9));
  art.Add("ZemOffImageEn_Normal", Flat(186, 184, 10));

  const auto english = BuildMainScene(art, queue, 1033);
  EXPECT_EQ(english->Background(), Flat(644, 385, 1));
  EXPECT_EQ(english->Component("SinceImage").Picture, Flat(30, 12, 3));
  EXPECT_EQ(english->ImageEn("DurationImageEn").Picture(), Flat(40, 13, 5));

  const auto chinese = BuildMainScene(art, queue, ChineseUiLanguage);
  EXPECT_EQ(chinese->Background(), Flat(644, 385, 2));
  EXPECT_EQ(chinese->Component("SinceImage").Picture, Flat(30, 12, 4));
  TImageEn& duration = chinese->ImageEn("DurationImageEn");
  EXPECT_EQ(duration.Picture(), Flat(40, 13, 7));
  EXPECT_EQ(duration.NormalPicture(), Flat(40, 13, 7));
  EXPECT_EQ(duration.FocusPicture(), Flat(40, 13, 8));
  EXPECT_EQ(duration.DownPicture(), Flat(40, 13, 9));
  EXPECT_EQ(duration.ActivePicture(), Flat(40, 13, 6));  // no localised active look
  // Pictures without a localised version stay English.
  EXPECT_EQ(chinese->ImageEn("ZemOffImageEn").Picture(), Flat(186, 184, 10));
}

TEST(MainLayoutTest, ResetButtonIsCutOutByBlack) {
  TMainThreadQueue queue;
  TMapPictureSource art;
  art.Add("BackgroundImage", Flat(644, 385, 1));
  TBitmap reset(43, 21, Rgb(0, 0, 0));
  reset.FillRect(5, 5, 38, 16, Rgb(200, 200, 200));
  art.Add("ResetImageEn_Normal", reset);
  const auto scene = BuildMainScene(art, queue);
  EXPECT_EQ(scene->ComponentAt(342 + 10, 122 + 10), scene->Find("ResetImageEn"));
  EXPECT_EQ(scene->ComponentAt(342 + 1, 122 + 1), nullptr);
  TBitmap out;
  scene->Compose(out);
  EXPECT_EQ(out.Pixel(342 + 1, 122 + 1), Rgb(1, 1, 100));
  EXPECT_EQ(out.Pixel(342 + 10, 122 + 10), Rgb(200, 200, 200));
}

TEST(PngPictureSourceTest, ReadsNamedFilesAndAnswersEmptyForMissingOnes) {
  TTempDir dir;
  TBitmap picture(3, 2, Rgb(0, 0, 255));
  picture.SetPixel(1, 1, Rgb(7, 8, 9));
  ASSERT_TRUE(SavePng(picture, dir / "LightImage.png"));
  TPngPictureSource source(dir.Path());
  EXPECT_EQ(source.Picture("LightImage"), picture);
  EXPECT_TRUE(source.Picture("PigOffImage").Empty());
}

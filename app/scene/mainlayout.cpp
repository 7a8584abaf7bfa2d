#include "app/scene/mainlayout.h"

#include <set>
#include <string>
#include <vector>

#include "base/trace.h"

namespace {

constexpr TColour Black = Rgb(0, 0, 0);

// Loads pictures with the fallbacks the window needs to run without its artwork.
class TPictureLoader {
 public:
  TPictureLoader(IPictureSource& source, bool chinese) : Source_(source), Chinese_(chinese) {}

  // The localised picture when the UI is Chinese and it exists, else the English one, else black.
  TBitmap Load(const std::string& name, int width, int height, const std::string& chinese = {}) {
    if (Chinese_ && !chinese.empty()) {
      TBitmap picture = Source_.Picture(chinese);
      if (!picture.Empty()) return picture;
      Missing(chinese);
    }
    TBitmap picture = Source_.Picture(name);
    if (!picture.Empty()) return picture;
    Missing(name);
    return TBitmap(width, height, Black);
  }

  std::vector<TBitmap> LoadList(const std::string& list, int frames, int width, int height) {
    std::vector<TBitmap> pictures;
    for (int i = 0; i < frames; ++i)
      pictures.push_back(Load(list + "_" + std::to_string(i), width, height));
    return pictures;
  }

 private:
  void Missing(const std::string& name) {
    if (Reported_.insert(name).second) TraceLine("Missing picture \"" + name + "\"");
  }

  IPictureSource& Source_;
  bool Chinese_;
  std::set<std::string> Reported_;
};

struct TPictureItem {
  const char* Name;
  int X, Y, Width, Height;  // the size only shapes the stand-in for a missing picture
  bool Visible;
  const char* Chinese;  // localised picture, or null
  const char* List;     // image list the picture shows a frame of, or null
};

// In the form's z-order. Sizes the form leaves to the artwork are the artwork's.
constexpr TPictureItem Pictures[] = {
    {"DurationImage", 215, 70, 118, 14, true, "CHS_DurationPowerSaving", nullptr},
    {"TotalImage", 215, 70, 118, 14, true, "CHS_TotalPowerSaving", nullptr},
    {"DurationOffImage", 215, 70, 118, 14, false, "CHS_DurationPowerSavingOff", nullptr},
    {"TotalOffImage", 215, 70, 118, 14, false, "CHS_TotalPowerSavingOff", nullptr},
    {"DayImage", 199, 130, 24, 12, false, "CHS_Day", nullptr},
    {"HrImage", 259, 131, 18, 12, false, "CHS_Hr", nullptr},
    {"MinImage", 313, 131, 24, 12, false, "CHS_Min", nullptr},
    {"SinceImage", 106, 130, 34, 12, false, "CHS_Since", nullptr},
    {"DashImage", 256, 132, 10, 10, false, nullptr, nullptr},
    {"LightImage", 334, 87, 10, 10, true, nullptr, nullptr},
    {"On3Image", 580, 170, 40, 16, true, nullptr, nullptr},
    {"VcoreIndicatorImage", 215, 237, 146, 27, true, nullptr, "IndicatorImageList"},
    {"CpuSpeedIndicatorImage", 235, 267, 146, 27, true, nullptr, "IndicatorImageList"},
    {"PhaseImage", 397, 34, 101, 120, true, nullptr, "Phase1ImageList"},
    {"PhaseOffImage", 397, 34, 101, 120, true, nullptr, "PhaseOffImageList"},
    {"PigImage", 410, 59, 49, 59, true, nullptr, "PigImageList"},
    {"PigOffImage", 410, 59, 49, 59, true, nullptr, nullptr},
};

struct TListItem {
  const char* Name;
  int Frames, Width, Height;
};

constexpr TListItem Lists[] = {
    {"IndicatorImageList", 10, 146, 27}, {"Phase1ImageList", 6, 101, 120},
    {"Phase2ImageList", 4, 101, 120},    {"Phase3ImageList", 5, 101, 120},
    {"Phase4ImageList", 5, 101, 120},    {"Phase8ImageList", 4, 101, 120},
    {"PhaseOffImageList", 2, 101, 120},  {"PigImageList", 5, 49, 59},
};

struct TButtonItem {
  const char* Name;
  const char* Panel;  // null: the button sits straight on the window
  int X, Y, Width, Height;
  bool Visible;         // the panel's, or the button's when it has none
  TColour Key;          // of the button's pictures and of its panel's shape
  const char* Chinese;  // prefix of the localised looks ("<prefix>01" normal, 02 focus, 03 down)
};

constexpr TButtonItem Buttons[] = {
    {"DurationImageEn", nullptr, 345, 84, 40, 13, true, SceneKeyColour, "CHS_Duration_bt_"},
    {"TotalImageEn", nullptr, 345, 98, 40, 13, true, SceneKeyColour, "CHS_Total_bt_"},
    {"ZemOffImageEn", "ZemOffBtnPanel", 389, 154, 186, 184, true, SceneKeyColour, nullptr},
    {"ZemOnImageEn", "ZemOnBtnPanel", 388, 154, 186, 184, false, SceneKeyColour, nullptr},
    {"AutoRunOffImageEn", "AutoRunOffBtnPanel", 529, 107, 93, 58, true, SceneKeyColour,
     "CHS_OFF_auto_Run_"},
    {"AutoRunOnImageEn", "AutoRunOnBtnPanel", 529, 107, 93, 58, false, SceneKeyColour,
     "CHS_ON_auto_Run_"},
    // The reset button's artwork is cut out by black, not blue.
    {"ResetImageEn", "ResetBtnPanel", 342, 122, 43, 21, true, Black, "CHS_Reset_bt_"},
    {"CloseImageEn", "CloseBtnPanel", 506, 37, 24, 24, true, SceneKeyColour, nullptr},
    {"MinimizeImageEn", "MinimizeBtnPanel", 499, 82, 24, 24, true, SceneKeyColour, nullptr},
};

std::string Localised(const char* prefix, const char* suffix) {
  return prefix ? std::string(prefix) + suffix : std::string();
}

void AddButton(TScene& scene, TPictureLoader& loader, const TButtonItem& item) {
  const std::string name = item.Name;
  const TBitmap normal =
      loader.Load(name + "_Normal", item.Width, item.Height, Localised(item.Chinese, "01"));
  // The rest look is the button's size: stand-ins for other looks and the panel follow it.
  const int w = normal.Width();
  const int h = normal.Height();
  TComponentOptions options;
  options.Key = item.Key;
  if (item.Panel) {
    // The panel takes its shape from the button's picture as the window first shows it, and
    // clips the button to that shape whatever look it shows later.
    TComponentOptions panel = options;
    panel.Visible = item.Visible;
    scene.AddPanel(item.Panel, item.X, item.Y, w, h, normal, panel);
    options.Parent = item.Panel;
  } else {
    options.Visible = item.Visible;
  }
  TImageEn& button = scene.AddImageEn(name, item.X, item.Y, options);
  button.SetNormalPicture(normal);
  button.SetFocusPicture(loader.Load(name + "_Focus", w, h, Localised(item.Chinese, "02")));
  button.SetDownPicture(loader.Load(name + "_Down", w, h, Localised(item.Chinese, "03")));
  button.SetActivePicture(loader.Load(name + "_Active", w, h));
  button.SetPicture(normal);
}

}  // namespace

std::unique_ptr<TScene> BuildMainScene(IPictureSource& pictures, IMainThread& mainThread,
                                       unsigned uiLanguage) {
  TPictureLoader loader(pictures, uiLanguage == ChineseUiLanguage);
  auto scene = std::make_unique<TScene>(mainThread);
  scene->SetBackground(loader.Load("BackgroundImage", 644, 385, "CHS_BackgroundImage"));

  for (const TListItem& list : Lists)
    scene->AddImageList(list.Name,
                        loader.LoadList(list.Name, list.Frames, list.Width, list.Height));
  scene->AddImageList("ZemTrayImageList", {loader.Load("ZemTrayIcon", 16, 16)});

  for (const TPictureItem& item : Pictures) {
    TComponentOptions options;
    options.Visible = item.Visible;
    if (item.List) {
      scene->AddPicture(item.Name, item.X, item.Y, TBitmap(), options);
      scene->ShowFrame(item.Name, item.List, 0);
    } else {
      const std::string chinese = item.Chinese ? item.Chinese : "";
      scene->AddPicture(item.Name, item.X, item.Y,
                        loader.Load(item.Name, item.Width, item.Height, chinese), options);
    }
  }
  for (const TButtonItem& item : Buttons) AddButton(*scene, loader, item);
  return scene;
}

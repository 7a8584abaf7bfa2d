#include "assets/artwork/artwork.h"

#include <functional>
#include <utility>

#include "assets/artwork/parts.h"

namespace {

using namespace artwork;

struct TEntry {
  TArtworkItem Item;
  std::function<TBitmap()> Draw;
};

constexpr TColour BlueKey{0, 0, 255};
constexpr TColour BlackKey{0, 0, 0};

constexpr std::pair<const char*, TLook> Looks[] = {{"Normal", TLook::Normal},
                                                   {"Focus", TLook::Focus},
                                                   {"Down", TLook::Down},
                                                   {"Active", TLook::Active}};
// The localised button sets: 01 is the picture and its normal look, 02 focus, 03 down.
constexpr std::pair<const char*, TLook> ChineseLooks[] = {
    {"01", TLook::Normal}, {"02", TLook::Focus}, {"03", TLook::Down}};

std::vector<TEntry> Entries() {
  std::vector<TEntry> list;
  auto add = [&list](std::string name, int w, int h, std::optional<TColour> key,
                     std::function<TBitmap()> draw) {
    list.push_back(TEntry{TArtworkItem{std::move(name), w, h, key}, std::move(draw)});
  };
  auto plain = std::nullopt;

  add("BackgroundImage", 644, 385, BlueKey, [] { return BackgroundPicture(TLang::English); });
  add("DurationImage", 88, 18, plain, [] { return ModeCaption(false, true, TLang::English); });
  add("TotalImage", 88, 18, plain, [] { return ModeCaption(true, true, TLang::English); });
  add("DurationOffImage", 88, 18, plain, [] { return ModeCaption(false, false, TLang::English); });
  add("TotalOffImage", 88, 18, plain, [] { return ModeCaption(true, false, TLang::English); });
  add("DayImage", 24, 12, plain, [] { return UnitLabel("Day", TLang::English); });
  add("HrImage", 20, 12, plain, [] { return UnitLabel("Hr", TLang::English); });
  add("MinImage", 17, 12, plain, [] { return UnitLabel("Min", TLang::English); });
  add("SinceImage", 34, 12, plain, [] { return UnitLabel("Since", TLang::English); });
  add("DashImage", 12, 10, plain, [] { return UnitLabel("Dash", TLang::English); });
  add("LightImage", 10, 10, plain, [] { return ModeLight(); });
  add("On3Image", 44, 28, plain, [] { return OnMarker(); });
  for (int i = 0; i < 10; ++i)
    add("IndicatorImageList_" + std::to_string(i), 146, 27, plain,
        [i] { return IndicatorFrame(i); });
  for (const auto& [phases, frames] :
       {std::pair{1, 6}, std::pair{2, 4}, std::pair{3, 5}, std::pair{4, 5}, std::pair{8, 4}}) {
    for (int i = 0; i < frames; ++i) {
      add("Phase" + std::to_string(phases) + "ImageList_" + std::to_string(i), 101, 120, plain,
          [phases, i, frames] { return PhaseFrame(phases, i, frames); });
    }
  }
  for (int i = 0; i < 2; ++i)
    add("PhaseOffImageList_" + std::to_string(i), 101, 120, plain,
        [i] { return PhaseOffFrame(i); });
  for (int i = 0; i < 5; ++i)
    add("PigImageList_" + std::to_string(i), 49, 59, plain, [i] { return PigFrame(i, false); });
  add("PigOffImage", 49, 59, plain, [] { return PigFrame(0, true); });

  for (const auto& [suffix, look] : Looks) {
    const std::string s = std::string("_") + suffix;
    const TLook l = look;
    add("ZemOffImageEn" + s, 186, 184, BlueKey, [l] { return PowerButton(false, l); });
    add("ZemOnImageEn" + s, 186, 184, BlueKey, [l] { return PowerButton(true, l); });
    add("AutoRunOffImageEn" + s, 93, 58, BlueKey,
        [l] { return AutoRunButton(false, l, TLang::English); });
    add("AutoRunOnImageEn" + s, 93, 58, BlueKey,
        [l] { return AutoRunButton(true, l, TLang::English); });
    add("ResetImageEn" + s, 43, 21, BlackKey, [l] { return ResetButton(l, TLang::English); });
    add("CloseImageEn" + s, 24, 24, BlueKey, [l] { return CaptionButton(true, l); });
    add("MinimizeImageEn" + s, 24, 24, BlueKey, [l] { return CaptionButton(false, l); });
    add("DurationImageEn" + s, 40, 13, BlueKey,
        [l] { return ModeButton(false, l, TLang::English); });
    add("TotalImageEn" + s, 40, 13, BlueKey, [l] { return ModeButton(true, l, TLang::English); });
  }
  add("ZemTrayIcon", 16, 16, BlueKey, [] { return TrayIcon(); });

  add("CHS_BackgroundImage", 644, 385, BlueKey, [] { return BackgroundPicture(TLang::Chinese); });
  add("CHS_DurationPowerSaving", 88, 18, plain,
      [] { return ModeCaption(false, true, TLang::Chinese); });
  add("CHS_DurationPowerSavingOff", 88, 18, plain,
      [] { return ModeCaption(false, false, TLang::Chinese); });
  add("CHS_TotalPowerSaving", 88, 18, plain,
      [] { return ModeCaption(true, true, TLang::Chinese); });
  add("CHS_TotalPowerSavingOff", 88, 18, plain,
      [] { return ModeCaption(true, false, TLang::Chinese); });
  add("CHS_Since", 34, 12, plain, [] { return UnitLabel("Since", TLang::Chinese); });
  add("CHS_Day", 24, 12, plain, [] { return UnitLabel("Day", TLang::Chinese); });
  add("CHS_Hr", 20, 12, plain, [] { return UnitLabel("Hr", TLang::Chinese); });
  add("CHS_Min", 17, 12, plain, [] { return UnitLabel("Min", TLang::Chinese); });
  for (const auto& [number, look] : ChineseLooks) {
    const std::string n = number;
    const TLook l = look;
    add("CHS_Duration_bt_" + n, 40, 13, BlueKey,
        [l] { return ModeButton(false, l, TLang::Chinese); });
    add("CHS_Total_bt_" + n, 40, 13, BlueKey, [l] { return ModeButton(true, l, TLang::Chinese); });
    add("CHS_Reset_bt_" + n, 43, 21, BlackKey, [l] { return ResetButton(l, TLang::Chinese); });
    add("CHS_OFF_auto_Run_" + n, 93, 58, BlueKey,
        [l] { return AutoRunButton(false, l, TLang::Chinese); });
    add("CHS_ON_auto_Run_" + n, 93, 58, BlueKey,
        [l] { return AutoRunButton(true, l, TLang::Chinese); });
  }
  return list;
}

}  // namespace

std::vector<TArtworkItem> ArtworkCatalogue() {
  std::vector<TArtworkItem> items;
  for (TEntry& e : Entries()) items.push_back(std::move(e.Item));
  return items;
}

TBitmap DrawArtwork(const std::string& name) {
  for (const TEntry& e : Entries()) {
    if (e.Item.Name == name) return e.Draw();
  }
  return {};
}

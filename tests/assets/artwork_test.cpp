#include "assets/artwork/artwork.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

constexpr TColour Blue{0, 0, 255};
constexpr TColour Black{0, 0, 0};

struct TSize {
  int W, H;
  bool operator==(const TSize&) const = default;
};

// The pictures the window loads, by resource name, with the sizes its layout needs.
std::map<std::string, TSize> ExpectedPictures() {
  std::map<std::string, TSize> m;
  m["BackgroundImage"] = m["CHS_BackgroundImage"] = {644, 385};
  for (const char* n : {"DurationImage", "TotalImage", "DurationOffImage", "TotalOffImage",
                        "CHS_DurationPowerSaving", "CHS_DurationPowerSavingOff",
                        "CHS_TotalPowerSaving", "CHS_TotalPowerSavingOff"})
    m[n] = {88, 18};
  m["DayImage"] = m["CHS_Day"] = {24, 12};
  m["HrImage"] = m["CHS_Hr"] = {20, 12};
  m["MinImage"] = m["CHS_Min"] = {17, 12};
  m["SinceImage"] = m["CHS_Since"] = {34, 12};
  m["DashImage"] = {12, 10};
  m["LightImage"] = {10, 10};
  m["On3Image"] = {44, 28};
  m["ZemTrayIcon"] = {16, 16};
  m["PigOffImage"] = {49, 59};
  for (int i = 0; i < 10; ++i) m["IndicatorImageList_" + std::to_string(i)] = {146, 27};
  for (int i = 0; i < 5; ++i) m["PigImageList_" + std::to_string(i)] = {49, 59};
  const std::pair<const char*, int> phases[] = {{"Phase1ImageList_", 6}, {"Phase2ImageList_", 4},
                                                {"Phase3ImageList_", 5}, {"Phase4ImageList_", 5},
                                                {"Phase8ImageList_", 4}, {"PhaseOffImageList_", 2}};
  for (const auto& [prefix, frames] : phases)
    for (int i = 0; i < frames; ++i) m[prefix + std::to_string(i)] = {101, 120};
  const std::pair<const char*, TSize> buttons[] = {
      {"ZemOffImageEn_", {186, 184}},   {"ZemOnImageEn_", {186, 184}},
      {"AutoRunOffImageEn_", {93, 58}}, {"AutoRunOnImageEn_", {93, 58}},
      {"ResetImageEn_", {43, 21}},      {"CloseImageEn_", {24, 24}},
      {"MinimizeImageEn_", {24, 24}},   {"DurationImageEn_", {40, 13}},
      {"TotalImageEn_", {40, 13}}};
  for (const auto& [prefix, size] : buttons)
    for (const char* look : {"Normal", "Focus", "Down", "Active"})
      m[prefix + std::string(look)] = size;
  const std::pair<const char*, TSize> chinese[] = {{"CHS_Duration_bt_", {40, 13}},
                                                   {"CHS_Total_bt_", {40, 13}},
                                                   {"CHS_Reset_bt_", {43, 21}},
                                                   {"CHS_OFF_auto_Run_", {93, 58}},
                                                   {"CHS_ON_auto_Run_", {93, 58}}};
  for (const auto& [prefix, size] : chinese)
    for (const char* n : {"01", "02", "03"}) m[prefix + std::string(n)] = size;
  return m;
}

bool IsButton(const std::string& name) {
  return name.find("ImageEn_") != std::string::npos || name.find("_bt_") != std::string::npos ||
         name.find("auto_Run_") != std::string::npos;
}

int MaxChannel(TColour c) {
  return std::max({c.R, c.G, c.B});
}

// Key-coloured pixels that cannot be reached from the border through key-coloured pixels: holes
// the shaped window or button would show through.
int KeyHoles(const TBitmap& b, TColour key) {
  std::vector<char> seen(static_cast<size_t>(b.Width()) * b.Height(), 0);
  std::vector<std::pair<int, int>> todo;
  auto push = [&](int x, int y) {
    if (!b.Contains(x, y) || seen[y * b.Width() + x] || !(b.Pixel(x, y) == key)) return;
    seen[y * b.Width() + x] = 1;
    todo.emplace_back(x, y);
  };
  for (int x = 0; x < b.Width(); ++x) push(x, 0), push(x, b.Height() - 1);
  for (int y = 0; y < b.Height(); ++y) push(0, y), push(b.Width() - 1, y);
  while (!todo.empty()) {
    const auto [x, y] = todo.back();
    todo.pop_back();
    push(x + 1, y), push(x - 1, y), push(x, y + 1), push(x, y - 1);
  }
  int holes = 0;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x)
      if (b.Pixel(x, y) == key && !seen[y * b.Width() + x]) ++holes;
  return holes;
}

struct TReadout {
  int X, Y;
  std::string Mask;
  int Size;
};

// Where the program paints its figures, with the masks it paints first.
const std::vector<TReadout>& Readouts() {
  static const std::vector<TReadout> list = {
      {136, 117, "8888", 22},      {227, 117, "88", 22},         {280, 117, "88", 22},
      {176, 89, "888888.888", 22}, {142, 121, "8888/88/88", 18}, {270, 121, "88:88:88", 18},
      {169, 180, "8888", 18},      {257, 180, "88", 18},         {309, 180, "88", 18},
      {83, 188, "888.8", 18},      {230, 207, "888888.888", 18}, {177, 270, "8888.8", 16},
      {154, 240, "8.8888", 16}};
  return list;
}

// The read-out's cells in the seven-segment font: em = size * 96 / 72; "." and ":" are narrow,
// every other character (a "/" included, to be safe) as wide as a digit.
void ReadoutRect(const TReadout& r, int& right, int& bottom) {
  const double em = r.Size * 96.0 / 72.0;
  int width = 0;
  for (char c : r.Mask)
    width += (c == '.' || c == ':') ? static_cast<int>(std::lround(em * 0.27))
                                    : static_cast<int>(std::lround(em * 0.545));
  right = r.X + width;
  bottom = r.Y + static_cast<int>(std::lround(em));
}

}  // namespace

TEST(ArtworkCatalogueTest, HoldsEveryPictureOnceWithItsSize) {
  const auto expected = ExpectedPictures();
  std::map<std::string, TSize> listed;
  for (const TArtworkItem& item : ArtworkCatalogue()) {
    EXPECT_TRUE(listed.emplace(item.Name, TSize{item.Width, item.Height}).second)
        << "listed twice: " << item.Name;
  }
  for (const auto& [name, size] : expected) {
    const auto it = listed.find(name);
    ASSERT_NE(it, listed.end()) << "missing: " << name;
    EXPECT_EQ(it->second, size) << name;
  }
  for (const auto& [name, size] : listed)
    EXPECT_TRUE(expected.count(name)) << "unexpected: " << name;
}

TEST(ArtworkCatalogueTest, DrawsEveryPictureAtItsSizeAndTheSameEveryTime) {
  for (const TArtworkItem& item : ArtworkCatalogue()) {
    const TBitmap first = DrawArtwork(item.Name);
    EXPECT_EQ(first.Width(), item.Width) << item.Name;
    EXPECT_EQ(first.Height(), item.Height) << item.Name;
    EXPECT_TRUE(first == DrawArtwork(item.Name)) << item.Name << " differs between runs";
  }
  EXPECT_TRUE(DrawArtwork("NoSuchImage").Empty());
}

TEST(ArtworkCatalogueTest, ButtonsAndTheWindowAreCutByTheirKeyAndNothingElseIs) {
  for (const TArtworkItem& item : ArtworkCatalogue()) {
    const TBitmap b = DrawArtwork(item.Name);
    const bool shaped = IsButton(item.Name) ||
                        item.Name.find("BackgroundImage") != std::string::npos ||
                        item.Name == "ZemTrayIcon";
    ASSERT_EQ(item.Key.has_value(), shaped) << item.Name;
    if (!shaped) {
      // Plain pictures are opaque: a stray key pixel would turn into a hole.
      int keyPixels = 0;
      for (const TColour& c : b.Pixels()) keyPixels += c == Blue;
      EXPECT_EQ(keyPixels, 0) << item.Name;
      continue;
    }
    const bool reset = item.Name.find("Reset") != std::string::npos;
    EXPECT_EQ(*item.Key, reset ? Black : Blue) << item.Name;
    const TColour key = *item.Key;
    const int w = b.Width() - 1, h = b.Height() - 1;
    EXPECT_EQ(b.Pixel(0, 0), key) << item.Name;
    EXPECT_EQ(b.Pixel(w, 0), key) << item.Name;
    EXPECT_EQ(b.Pixel(0, h), key) << item.Name;
    EXPECT_EQ(b.Pixel(w, h), key) << item.Name;
    EXPECT_FALSE(b.Pixel(b.Width() / 2, b.Height() / 2) == key) << item.Name;
    EXPECT_EQ(KeyHoles(b, key), 0) << item.Name;
  }
}

TEST(ArtworkBackgroundTest, ReadoutWindowsAreBlackGlassWithoutKeyPixels) {
  for (const char* name : {"BackgroundImage", "CHS_BackgroundImage"}) {
    const TBitmap b = DrawArtwork(name);
    for (const TReadout& r : Readouts()) {
      int right = 0, bottom = 0;
      ReadoutRect(r, right, bottom);
      int dark = 0, all = 0;
      for (int y = r.Y; y < bottom; ++y) {
        for (int x = r.X; x < right; ++x) {
          ASSERT_FALSE(b.Pixel(x, y) == Blue) << name << " " << r.Mask << " at " << x << "," << y;
          ++all;
          dark += MaxChannel(b.Pixel(x, y)) < 24;
        }
      }
      // Only the thin frames of the indicator strips may reach into a read-out.
      EXPECT_GT(dark, all * 9 / 10) << name << " read-out at " << r.X << "," << r.Y;
    }
    // The indicator strips, the phase display and the big switch sit on the panel, not on its
    // cut-out.
    for (const auto& [x, y, w, h] :
         {std::tuple{215, 237, 146, 27}, std::tuple{235, 267, 146, 27},
          std::tuple{397, 34, 101, 120}, std::tuple{389, 154, 186, 184}}) {
      for (int j = y; j < y + h; j += 3)
        for (int i = x; i < x + w; i += 3)
          ASSERT_FALSE(b.Pixel(i, j) == Blue) << name << " " << i << "," << j;
    }
    EXPECT_EQ(b.Pixel(0, 0), Blue);
    EXPECT_EQ(b.Pixel(643, 384), Blue);
    EXPECT_EQ(b.Pixel(0, 200), Blue);  // left of the panel
  }
}

TEST(ArtworkBackgroundTest, PicturesOnThePanelMatchItAtTheirEdges) {
  const TBitmap english = DrawArtwork("BackgroundImage");
  const TBitmap chinese = DrawArtwork("CHS_BackgroundImage");
  const std::tuple<const char*, int, int, bool> placed[] = {{"DurationImage", 215, 70, false},
                                                            {"TotalOffImage", 215, 70, false},
                                                            {"CHS_TotalPowerSaving", 215, 70, true},
                                                            {"DayImage", 199, 130, false},
                                                            {"CHS_Min", 313, 131, true},
                                                            {"SinceImage", 106, 130, false},
                                                            {"On3Image", 580, 170, false},
                                                            {"PigOffImage", 410, 59, false},
                                                            {"PigImageList_2", 410, 59, false}};
  for (const auto& [name, x, y, cjk] : placed) {
    const TBitmap picture = DrawArtwork(name);
    const TBitmap under = (cjk ? chinese : english).Crop(x, y, picture.Width(), picture.Height());
    int worst = 0;
    for (int j = 0; j < picture.Height(); ++j) {
      for (int i = 0; i < picture.Width(); ++i) {
        if (i != 0 && j != 0 && i != picture.Width() - 1 && j != picture.Height() - 1) continue;
        const TColour a = picture.Pixel(i, j), b = under.Pixel(i, j);
        worst = std::max({worst, std::abs(a.R - b.R), std::abs(a.G - b.G), std::abs(a.B - b.B)});
      }
    }
    EXPECT_LE(worst, 3) << name;
    EXPECT_FALSE(picture == under) << name << " shows nothing of its own";
  }
}

TEST(ArtworkAnimationTest, EveryFrameOfAListDiffersFromTheOthers) {
  const std::pair<const char*, int> lists[] = {
      {"Phase1ImageList_", 6}, {"Phase2ImageList_", 4},    {"Phase3ImageList_", 5},
      {"Phase4ImageList_", 5}, {"Phase8ImageList_", 4},    {"PhaseOffImageList_", 2},
      {"PigImageList_", 5},    {"IndicatorImageList_", 10}};
  for (const auto& [prefix, frames] : lists) {
    std::vector<TBitmap> pictures;
    for (int i = 0; i < frames; ++i) pictures.push_back(DrawArtwork(prefix + std::to_string(i)));
    for (int i = 0; i < frames; ++i)
      for (int j = i + 1; j < frames; ++j)
        EXPECT_FALSE(pictures[i] == pictures[j]) << prefix << i << " equals frame " << j;
  }
}

TEST(ArtworkAnimationTest, IndicatorFramesLightMoreOfTheGaugeAsTheyRise) {
  int previous = -1;
  for (int i = 0; i < 10; ++i) {
    const TBitmap b = DrawArtwork("IndicatorImageList_" + std::to_string(i));
    int lit = 0;
    for (const TColour& c : b.Pixels()) lit += MaxChannel(c) > 150;
    EXPECT_GT(lit, previous) << "frame " << i;
    previous = lit;
  }
}

TEST(ArtworkButtonTest, LooksOfOneButtonDifferAndOnDiffersFromOff) {
  for (const char* prefix : {"ZemOffImageEn_", "ZemOnImageEn_", "AutoRunOffImageEn_",
                             "AutoRunOnImageEn_", "ResetImageEn_", "CloseImageEn_",
                             "MinimizeImageEn_", "DurationImageEn_", "TotalImageEn_"}) {
    std::vector<TBitmap> looks;
    for (const char* look : {"Normal", "Focus", "Down", "Active"})
      looks.push_back(DrawArtwork(prefix + std::string(look)));
    for (size_t i = 0; i < looks.size(); ++i)
      for (size_t j = i + 1; j < looks.size(); ++j)
        EXPECT_FALSE(looks[i] == looks[j]) << prefix << " looks " << i << " and " << j;
  }
  for (const char* prefix : {"CHS_Duration_bt_", "CHS_Total_bt_", "CHS_Reset_bt_",
                             "CHS_OFF_auto_Run_", "CHS_ON_auto_Run_"}) {
    const TBitmap normal = DrawArtwork(prefix + std::string("01"));
    EXPECT_FALSE(normal == DrawArtwork(prefix + std::string("02"))) << prefix;
    EXPECT_FALSE(normal == DrawArtwork(prefix + std::string("03"))) << prefix;
  }
  EXPECT_FALSE(DrawArtwork("ZemOffImageEn_Normal") == DrawArtwork("ZemOnImageEn_Normal"));
  EXPECT_FALSE(DrawArtwork("AutoRunOnImageEn_Normal") == DrawArtwork("CHS_ON_auto_Run_01"));
  EXPECT_FALSE(DrawArtwork("BackgroundImage") == DrawArtwork("CHS_BackgroundImage"));
}

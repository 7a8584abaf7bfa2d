// No digit of a read-out is hidden: in either mode and either language, no read-out's paint
// covers another's segments, none paints under an indicator strip, and no picture of the window
// that shows with it lies over its segments.
#include "app/scene/readoutlayout.h"

#include <gtest/gtest.h>

#include "tests/window/windowfixture.h"

namespace {

// The components showing now, with the area they cover.
std::vector<std::pair<std::string, TRect>> ShowingComponents(TScene& scene) {
  std::vector<std::pair<std::string, TRect>> showing;
  for (const TSceneComponent* c : scene.Components()) {
    if (!scene.Showing(c->Name)) continue;
    showing.emplace_back(c->Name, TRect{c->X, c->Y, c->X + c->Width(), c->Y + c->Height()});
  }
  return showing;
}

void CheckNothingHidesADigit(TWindowFixture& w, const std::string& look) {
  SCOPED_TRACE(look);
  const int32_t mode = w.Record().Mode;
  std::vector<const TReadoutPlace*> shown;
  for (const TReadoutPlace& place : ReadoutPlaces())
    if (ReadoutShownInMode(place, mode)) shown.push_back(&place);
  ASSERT_GE(shown.size(), 10u);
  for (const TReadoutPlace* a : shown) {
    const TRect paint = ReadoutPaintBox(*a);
    const TRect ink = ReadoutInkBox(*a);
    ASSERT_FALSE(ink.Empty()) << a->Name;
    EXPECT_TRUE(ink.Left >= paint.Left && ink.Right <= paint.Right && ink.Top >= paint.Top &&
                ink.Bottom <= paint.Bottom)
        << a->Name;
    for (const TReadoutPlace* b : shown) {
      if (a == b) continue;
      EXPECT_FALSE(Overlap(paint, ReadoutInkBox(*b))) << a->Name << " paints over " << b->Name;
    }
    for (const char* strip : kIndicatorStrips) {
      const TSceneComponent& c = w.Form->Scene().Component(strip);
      EXPECT_FALSE(Overlap(paint, TRect{c.X, c.Y, c.X + c.Width(), c.Y + c.Height()}))
          << a->Name << " runs under " << strip;
    }
    for (const auto& [name, area] : ShowingComponents(w.Form->Scene()))
      EXPECT_FALSE(Overlap(area, ink)) << name << " covers " << a->Name;
  }
}

void CheckBothModes(IPictureSource& pictures, unsigned language) {
  TWindowFixture w(&pictures, language);
  ASSERT_TRUE(w.Start());
  w.Form->ZemOffImageEnClick();
  ASSERT_TRUE(w.Record().SavingOn);
  CheckNothingHidesADigit(w, "period mode");
  w.Form->TotalImageEnClick();
  ASSERT_EQ(w.Record().Mode, 2);
  CheckNothingHidesADigit(w, "total mode");
  w.Form->ZemOnImageEnClick();
  CheckNothingHidesADigit(w, "total mode, off");
}

#ifdef KORZEM_ASSETS_DIR
TEST(ReadoutLayoutTest, NoDigitIsHiddenInEnglish) {
  TPngPictureSource pictures(KORZEM_ASSETS_DIR);
  CheckBothModes(pictures, 0);
}

TEST(ReadoutLayoutTest, NoDigitIsHiddenInChinese) {
  TPngPictureSource pictures(KORZEM_ASSETS_DIR);
  CheckBothModes(pictures, ChineseUiLanguage);
}
#endif

// Without artwork every picture stands in at its laid-out size.
TEST(ReadoutLayoutTest, NoDigitIsHiddenByTheLaidOutComponents) {
  TMapPictureSource none;
  CheckBothModes(none, 0);
}

TEST(ReadoutLayoutTest, TheDateEndsBeforeTheTimeAndTheClockBeforeItsStrip) {
  const TRect date = ReadoutPaintBox(ReadoutPlaceOf(TReadoutId::StartDate));
  const TRect time = ReadoutPaintBox(ReadoutPlaceOf(TReadoutId::StartTime));
  EXPECT_EQ(date.Left, 142);
  EXPECT_EQ(time.Left, 270);
  EXPECT_LE(date.Right, time.Left);
  EXPECT_LE(ReadoutPaintBox(ReadoutPlaceOf(TReadoutId::CpuSpeed)).Right, 235);
  EXPECT_LE(ReadoutPaintBox(ReadoutPlaceOf(TReadoutId::Vcore)).Right, 215);
}

}  // namespace

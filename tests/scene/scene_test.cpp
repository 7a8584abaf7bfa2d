#include "app/scene/scene.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr TColour Blue = SceneKeyColour;
constexpr TColour Grey = Rgb(50, 50, 50);
constexpr TColour Red = Rgb(200, 0, 0);
constexpr TColour Green = Rgb(0, 200, 0);

// A 20x10 window: the rightmost column lies outside its shape. A 6x6 button on a panel at 2,2:
// the button's top-left pixel is its own key colour, the panel's shape cuts away the
// bottom-right pixel. The label's bottom-right pixel is key-coloured.
class TSceneTest : public testing::Test {
 protected:
  TSceneTest() : Scene(Queue) {
    TBitmap background(20, 10, Grey);
    for (int y = 0; y < 10; ++y) background.SetPixel(19, y, Blue);
    Scene.SetBackground(background);
    TBitmap label(3, 3, Green);
    label.SetPixel(2, 2, Blue);
    Scene.AddPicture("Label", 12, 2, label);
    TBitmap shape(6, 6, Red);
    shape.SetPixel(5, 5, Blue);
    Scene.AddPanel("Panel", 2, 2, 6, 6, shape);
    TImageEn& button = Scene.AddImageEn("Button", 2, 2, {.Parent = "Panel"});
    TBitmap look(6, 6, Red);
    look.SetPixel(0, 0, Blue);
    button.SetNormalPicture(look);
    button.SetFocusPicture(TBitmap(6, 6, Green));
    button.SetDownPicture(TBitmap(6, 6, Green));
    button.SetPicture(look);
    button.OnClick = [this] { ++Clicks; };
    Scene.OnBackgroundMouseDown = [this](TMouseButton b) { Background.push_back(b); };
  }
  TBitmap Composed() const {
    TBitmap out;
    Scene.Compose(out);
    return out;
  }
  TMainThreadQueue Queue;
  TScene Scene;
  int Clicks = 0;
  std::vector<TMouseButton> Background;
};

}  // namespace

TEST_F(TSceneTest, ComposeLeavesKeyPixelsOfButtonsAndPanelShapesTransparent) {
  const TBitmap out = Composed();
  ASSERT_EQ(out.Width(), 20);
  EXPECT_EQ(out.Pixel(3, 3), Red);
  EXPECT_EQ(out.Pixel(2, 2), Grey);  // the button's own key pixel
  EXPECT_EQ(out.Pixel(7, 7), Grey);  // cut away by the panel's shape
  EXPECT_EQ(out.Pixel(12, 2), Green);
  EXPECT_EQ(out.Pixel(14, 4), Grey);
  EXPECT_EQ(out.Pixel(19, 0), Blue);  // outside the window stays key-coloured for the shell
}

TEST_F(TSceneTest, HidingAPanelHidesItsButton) {
  Scene.Hide("Panel");
  EXPECT_TRUE(Scene.Visible("Button"));
  EXPECT_FALSE(Scene.Showing("Button"));
  EXPECT_EQ(Composed().Pixel(3, 3), Grey);
  Scene.MouseDown(TMouseButton::Left, 3, 3);
  Scene.MouseUp(TMouseButton::Left, 3, 3);
  EXPECT_EQ(Clicks, 0);
  EXPECT_EQ(Background.size(), 1u);  // the press went to the background beneath
  Scene.Show("Panel");
  EXPECT_EQ(Composed().Pixel(3, 3), Red);
}

TEST_F(TSceneTest, ShapedButtonsAreHitOnlyWhereTheyAreDrawn) {
  EXPECT_EQ(Scene.ComponentAt(3, 3), Scene.Find("Button"));
  // On a panel the panel's shape decides, not the look's key pixels.
  EXPECT_EQ(Scene.ComponentAt(2, 2), Scene.Find("Button"));
  EXPECT_EQ(Scene.ComponentAt(7, 7), nullptr);  // beyond the panel's shape
  EXPECT_EQ(Scene.ComponentAt(13, 3), Scene.Find("Label"));
  EXPECT_EQ(Scene.ComponentAt(14, 4), nullptr);  // a picture's key pixel
  EXPECT_FALSE(Scene.InWindow(19, 3));

  Scene.MouseDown(TMouseButton::Left, 7, 7);
  Scene.MouseDown(TMouseButton::Right, 13, 3);
  Scene.MouseDown(TMouseButton::Left, 19, 3);  // outside the window: nobody
  EXPECT_EQ(Background, (std::vector<TMouseButton>{TMouseButton::Left, TMouseButton::Right}));
  EXPECT_EQ(Clicks, 0);
}

TEST_F(TSceneTest, PressAndReleaseOnAButtonClicksAndDragOffCancels) {
  const TImageEn& button = Scene.ImageEn("Button");
  Scene.MouseMove(3, 3);
  EXPECT_EQ(Scene.Hovered(), Scene.Find("Button"));
  Scene.MouseDown(TMouseButton::Left, 3, 3);
  Scene.MouseUp(TMouseButton::Left, 4, 4);
  EXPECT_EQ(Clicks, 1);
  EXPECT_TRUE(Background.empty());

  Scene.MouseDown(TMouseButton::Left, 3, 3);
  Scene.MouseMove(10, 8);  // the captured button hears the pointer leave
  EXPECT_EQ(button.Picture(), button.NormalPicture());
  Scene.MouseUp(TMouseButton::Left, 10, 8);
  EXPECT_EQ(Clicks, 1);
  EXPECT_EQ(Scene.Hovered(), nullptr);
}

TEST_F(TSceneTest, SwappingPanelsInAClickMovesTheHoverToTheButtonNowUnderThePointer) {
  Scene.AddPanel("OtherPanel", 2, 2, 6, 6, TBitmap(), {.Visible = false});
  TImageEn& other = Scene.AddImageEn("Other", 2, 2, {.Parent = "OtherPanel"});
  other.SetNormalPicture(TBitmap(6, 6, Red));
  other.SetFocusPicture(TBitmap(6, 6, Rgb(1, 2, 3)));
  other.SetPicture(other.NormalPicture());
  Scene.ImageEn("Button").OnClick = [this] {
    Scene.Hide("Panel");
    Scene.Show("OtherPanel");
  };
  Scene.MouseDown(TMouseButton::Left, 4, 4);
  Scene.MouseUp(TMouseButton::Left, 4, 4);
  EXPECT_EQ(Scene.Hovered(), Scene.Find("Other"));
  EXPECT_EQ(other.Picture(), other.FocusPicture());
  EXPECT_EQ(Scene.ImageEn("Button").Picture(), Scene.ImageEn("Button").NormalPicture());
}

TEST_F(TSceneTest, LaterComponentsLieOnTopAndMoveChangesPlace) {
  Scene.AddPicture("Cover", 3, 3, TBitmap(2, 2, Rgb(9, 9, 9)));
  EXPECT_EQ(Composed().Pixel(4, 4), Rgb(9, 9, 9));
  EXPECT_EQ(Scene.ComponentAt(4, 4), Scene.Find("Cover"));
  Scene.Move("Cover", 14, 6);
  EXPECT_EQ(Composed().Pixel(4, 4), Red);
  EXPECT_EQ(Composed().Pixel(15, 7), Rgb(9, 9, 9));
}

TEST_F(TSceneTest, FramesComeFromImageLists) {
  Scene.AddImageList("Frames", {TBitmap(3, 3, Red), TBitmap(3, 3, Blue), TBitmap(3, 3, Green)});
  EXPECT_EQ(Scene.FrameCount("Frames"), 3);
  EXPECT_TRUE(Scene.ShowFrame("Label", "Frames", 0));
  EXPECT_TRUE(Scene.SetFrame("Label", 2));
  EXPECT_EQ(Scene.Component("Label").Frame, 2);
  EXPECT_EQ(Scene.Component("Label").Picture, TBitmap(3, 3, Green));
  EXPECT_FALSE(Scene.SetFrame("Label", 3));
  EXPECT_FALSE(Scene.ShowFrame("Label", "NoSuchList", 0));
  EXPECT_EQ(Scene.Component("Label").Frame, 2);
  EXPECT_EQ(Scene.Component("Label").Picture, TBitmap(3, 3, Green));
}

TEST_F(TSceneTest, UnknownNamesAssertInDebugAndAreIgnoredOtherwise) {
  EXPECT_EQ(Scene.Find("Nope"), nullptr);
  EXPECT_DEBUG_DEATH(Scene.Hide("Nope"), "unknown scene component");
  EXPECT_DEBUG_DEATH(Scene.ImageEn("Label"), "unknown image button");
}

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/controls/imagebtn.h"
#include "app/controls/imageen.h"

namespace {

TBitmap Look(uint8_t shade) {
  return TBitmap(4, 3, Rgb(shade, shade, shade));
}
const TBitmap Normal = Look(10), Focus = Look(20), Down = Look(30), Active = Look(40);

class TImageEnTest : public testing::Test {
 protected:
  TImageEnTest() : Button(Queue) {
    Button.SetNormalPicture(Normal);
    Button.SetFocusPicture(Focus);
    Button.SetDownPicture(Down);
    Button.SetActivePicture(Active);
    Button.SetStatus(TImageEnStatus::ImageEnNormal);
    Button.OnClick = [this] { Events.push_back("click"); };
    Button.OnMouseUp = [this](TMouseButton, int, int) { Events.push_back("up"); };
  }
  TMainThreadQueue Queue;
  TImageEn Button;
  std::vector<std::string> Events;
};

}  // namespace

TEST_F(TImageEnTest, LooksFollowHoverAndPress) {
  EXPECT_EQ(Button.Picture(), Normal);
  Button.MouseEnter();
  EXPECT_EQ(Button.Picture(), Focus);
  Button.MouseDown(TMouseButton::Left, 1, 1);
  EXPECT_EQ(Button.Picture(), Down);
  Button.MouseUp(TMouseButton::Left, 1, 1);
  EXPECT_EQ(Button.Picture(), Focus);
  // The click comes before the release's own event, as the framework orders them.
  EXPECT_EQ(Events, (std::vector<std::string>{"click", "up"}));
  Button.MouseLeave();
  EXPECT_EQ(Button.Picture(), Normal);
  EXPECT_EQ(Button.Status(), TImageEnStatus::ImageEnNormal);  // looks leave the status alone
}

TEST_F(TImageEnTest, ReleaseOutsideShowsNormalAndDoesNotClick) {
  Button.MouseDown(TMouseButton::Left, 1, 1);
  Button.MouseUp(TMouseButton::Left, 4, 1);  // just beyond the right edge
  EXPECT_EQ(Button.Picture(), Normal);
  EXPECT_EQ(Events, (std::vector<std::string>{"up"}));
  // A release without a press, and a right-button press and release, never click.
  Button.MouseUp(TMouseButton::Left, 1, 1);
  Button.MouseDown(TMouseButton::Right, 1, 1);
  EXPECT_EQ(Button.Picture(), Focus);  // no down look for the right button
  Button.MouseUp(TMouseButton::Right, 1, 1);
  EXPECT_EQ(Events, (std::vector<std::string>{"up", "up", "up"}));
}

TEST_F(TImageEnTest, ActiveStatusPinsItsPictureExceptWhilePressed) {
  Button.SetStatus(TImageEnStatus::ImageEnActive);
  EXPECT_EQ(Button.Picture(), Active);
  Button.MouseEnter();
  EXPECT_EQ(Button.Picture(), Active);
  Button.MouseDown(TMouseButton::Left, 0, 0);
  EXPECT_EQ(Button.Picture(), Down);
  Button.MouseUp(TMouseButton::Left, 0, 0);
  EXPECT_EQ(Button.Picture(), Active);
  Button.MouseLeave();
  EXPECT_EQ(Button.Picture(), Active);
}

TEST_F(TImageEnTest, StatusSelectsTheLookAndUnknownValuesKeepThePicture) {
  const std::pair<TImageEnStatus, TBitmap> looks[] = {{TImageEnStatus::ImageEnFocus, Focus},
                                                      {TImageEnStatus::ImageEnDown, Down},
                                                      {TImageEnStatus::ImageEnActive, Active},
                                                      {TImageEnStatus::ImageEnNormal, Normal}};
  for (const auto& [status, picture] : looks) {
    Button.SetStatus(status);
    EXPECT_EQ(Button.Picture(), picture);
  }
  Button.SetStatus(TImageEnStatus::ImageEnDown);
  Button.SetStatus(static_cast<TImageEnStatus>(7));
  EXPECT_EQ(static_cast<int>(Button.Status()), 7);
  EXPECT_EQ(Button.Picture(), Down);
}

TEST_F(TImageEnTest, RepeatThreadRunsOnlyWithARepeatHandlerAndStopsOnReleaseOrLeave) {
  Button.MouseDown(TMouseButton::Left, 1, 1);
  EXPECT_FALSE(Button.RepeatRunning());  // the main window's buttons: plain clicks only
  Button.MouseUp(TMouseButton::Left, 1, 1);

  Button.DelayBeforeRepeat = 60000;  // no repeat arrives during the test
  Button.OnMouseRepeatClick = [] {};
  Button.MouseDown(TMouseButton::Right, 1, 1);
  EXPECT_FALSE(Button.RepeatRunning());
  Button.MouseDown(TMouseButton::Left, 1, 1);
  EXPECT_TRUE(Button.RepeatRunning());
  Button.MouseLeave();
  EXPECT_FALSE(Button.RepeatRunning());
  Button.MouseDown(TMouseButton::Left, 1, 1);
  EXPECT_TRUE(Button.RepeatRunning());
  Button.MouseUp(TMouseButton::Left, 9, 9);
  EXPECT_FALSE(Button.RepeatRunning());
}

TEST_F(TImageEnTest, RepeatHandlerIsNotReentered) {
  int calls = 0;
  Button.OnMouseRepeatClick = [&] {
    ++calls;
    // A handler that pumps messages may meet further repeats: none may enter it.
    Button.Perform(ImageEnRepeatClick);
    Button.Perform(ImageEnRepeatClick);
  };
  Button.Perform(ImageEnRepeatClick);
  EXPECT_EQ(calls, 1);
  Button.Perform(ImageEnRepeatClick);
  EXPECT_EQ(calls, 2);
  Button.Perform(ImageEnRepeatClick + 1);
  EXPECT_EQ(calls, 2);
}

TEST(ImageBtnTest, ClickTogglesAfterTheClickEventUnlessAutoAssignIsOff) {
  TImageBtn button;
  button.SetNormalPicture(Normal);
  button.SetActivePicture(Active);
  button.SetStatus(false);
  std::vector<bool> seen;
  button.OnClick = [&] { seen.push_back(button.Status()); };
  button.MouseDown(TMouseButton::Left, 0, 0);
  button.MouseUp(TMouseButton::Left, 0, 0);
  EXPECT_TRUE(button.Status());
  EXPECT_EQ(button.Picture(), Active);
  button.Click();
  EXPECT_FALSE(button.Status());
  EXPECT_EQ(button.Picture(), Normal);
  EXPECT_EQ(seen, (std::vector<bool>{false, true}));
  button.AutoAssign = false;
  button.Click();
  EXPECT_FALSE(button.Status());
  EXPECT_EQ(seen.size(), 3u);
  // Releasing outside is no click.
  button.MouseDown(TMouseButton::Left, 0, 0);
  button.MouseUp(TMouseButton::Left, -1, 0);
  EXPECT_EQ(seen.size(), 3u);
}

#include "app/controls/picturecontrol.h"

void TPictureControl::MouseDown(TMouseButton button, int, int) {
  if (button == TMouseButton::Left) Pressed_ = true;
}

void TPictureControl::MouseUp(TMouseButton button, int x, int y) {
  ReleaseClick(button, x, y);
}

void TPictureControl::ReleaseClick(TMouseButton button, int x, int y) {
  if (button != TMouseButton::Left || !Pressed_) return;
  Pressed_ = false;
  if (ClientContains(x, y)) Click();
}

void TPictureControl::Click() {
  if (OnClick) OnClick();
}

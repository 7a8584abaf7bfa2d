#include "app/controls/imageen.h"

TImageEn::TImageEn(IMainThread& mainThread) : Thread_(*this, mainThread) {}

TImageEn::~TImageEn() = default;

void TImageEn::SetStatus(TImageEnStatus status) {
  Status_ = status;
  switch (status) {
    case TImageEnStatus::ImageEnNormal:
      SetPicture(Normal_);
      break;
    case TImageEnStatus::ImageEnFocus:
      SetPicture(Focus_);
      break;
    case TImageEnStatus::ImageEnDown:
      SetPicture(Down_);
      break;
    case TImageEnStatus::ImageEnActive:
      SetPicture(Active_);
      break;
  }
}

void TImageEn::MouseEnter() {
  if (!IsActive()) SetPicture(Focus_);
}

void TImageEn::MouseLeave() {
  if (Thread_.Running()) Thread_.Suspend();
  if (!IsActive()) SetPicture(Normal_);
}

void TImageEn::MouseDown(TMouseButton button, int x, int y) {
  TPictureControl::MouseDown(button, x, y);
  if (button == TMouseButton::Left) {
    SetPicture(Down_);
    if (OnMouseRepeatClick && !Thread_.Running())
      Thread_.Resume(DelayBeforeRepeat, ClickRepeatRate);
  }
  if (OnMouseDown) OnMouseDown(button, x, y);
}

void TImageEn::MouseUp(TMouseButton button, int x, int y) {
  // Whether the pointer is inside is judged on the look the user released on.
  const bool inside = ClientContains(x, y);
  ReleaseClick(button, x, y);
  if (Thread_.Running()) Thread_.Suspend();
  if (IsActive())
    SetPicture(Active_);
  else
    SetPicture(inside ? Focus_ : Normal_);
  if (OnMouseUp) OnMouseUp(button, x, y);
}

void TImageEn::Perform(uint32_t message) {
  if (message != ImageEnRepeatClick || !OnMouseRepeatClick) return;
  // A repeat handler that pumps messages must not be entered again; only the outer call clears
  // the guard, so a second nested repeat is refused as well.
  if (InRepeatClick_) return;
  InRepeatClick_ = true;
  OnMouseRepeatClick();
  InRepeatClick_ = false;
}

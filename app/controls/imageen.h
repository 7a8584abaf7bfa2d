// TImageEn: a picture button with four looks (rest, hover, pressed, active) that can repeat a
// click while the left button is held. Mouse events come from the shell through the scene on
// the main thread; the repeat arrives as ImageEnRepeatClick from the control's own thread.
#pragma once

#include <functional>

#include "app/controls/mousethread.h"
#include "app/controls/picturecontrol.h"

enum class TImageEnStatus : int {
  ImageEnNormal = 0,
  ImageEnFocus = 1,
  ImageEnDown = 2,
  ImageEnActive = 3,
};

class TImageEn : public TPictureControl, public IMessageTarget {
 public:
  explicit TImageEn(IMainThread& mainThread);
  ~TImageEn() override;

  const TBitmap& NormalPicture() const { return Normal_; }
  const TBitmap& FocusPicture() const { return Focus_; }
  const TBitmap& DownPicture() const { return Down_; }
  const TBitmap& ActivePicture() const { return Active_; }
  // Each stores a copy; the shown picture changes only through Status and the mouse.
  void SetNormalPicture(const TBitmap& picture) { Normal_ = picture; }
  void SetFocusPicture(const TBitmap& picture) { Focus_ = picture; }
  void SetDownPicture(const TBitmap& picture) { Down_ = picture; }
  void SetActivePicture(const TBitmap& picture) { Active_ = picture; }

  TImageEnStatus Status() const { return Status_; }
  // Shows the look of the status; a value outside the four is stored and shows nothing new.
  void SetStatus(TImageEnStatus status);

  int DelayBeforeRepeat = 2000;  // ms
  int ClickRepeatRate = 200;     // ms
  std::function<void()> OnMouseRepeatClick;
  std::function<void(TMouseButton, int x, int y)> OnMouseDown;
  std::function<void(TMouseButton, int x, int y)> OnMouseUp;

  void MouseEnter() override;
  void MouseLeave() override;
  void MouseDown(TMouseButton button, int x, int y) override;
  void MouseUp(TMouseButton button, int x, int y) override;
  void Perform(uint32_t message) override;

  bool RepeatRunning() const { return Thread_.Running(); }

 private:
  bool IsActive() const { return Status_ == TImageEnStatus::ImageEnActive; }

  TBitmap Normal_, Focus_, Down_, Active_;
  TImageEnStatus Status_ = TImageEnStatus::ImageEnNormal;
  bool InRepeatClick_ = false;
  TMouseThread Thread_;  // last: joined before the members its messages touch go away
};

// The picture control the image buttons build on: it shows one picture, sizes itself to it, and
// turns a left press and release inside it into a click. Coordinates are the control's own.
#pragma once

#include <functional>

#include "app/gfx/bitmap.h"

enum class TMouseButton { Left, Right, Middle };

class TPictureControl {
 public:
  virtual ~TPictureControl() = default;

  // The shown picture; the control's size follows it (auto-size).
  const TBitmap& Picture() const { return Picture_; }
  void SetPicture(const TBitmap& picture) { Picture_ = picture; }
  int Width() const { return Picture_.Width(); }
  int Height() const { return Picture_.Height(); }
  bool ClientContains(int x, int y) const { return Picture_.Contains(x, y); }

  virtual void MouseEnter() {}
  virtual void MouseLeave() {}
  // A left press arms the click; the release fires it when the pointer is still inside, before
  // the release's own handling (the framework's order). Other buttons never click.
  virtual void MouseDown(TMouseButton button, int x, int y);
  virtual void MouseUp(TMouseButton button, int x, int y);
  virtual void Click();

  std::function<void()> OnClick;

 protected:
  // The click part of a release: disarms and clicks when the release completes a click.
  void ReleaseClick(TMouseButton button, int x, int y);

 private:
  TBitmap Picture_;
  bool Pressed_ = false;
};

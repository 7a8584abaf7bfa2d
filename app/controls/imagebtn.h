// TImageBtn: a two-picture toggle; a click flips its status unless AutoAssign is off.
#pragma once

#include "app/controls/picturecontrol.h"

class TImageBtn : public TPictureControl {
 public:
  const TBitmap& NormalPicture() const { return Normal_; }
  const TBitmap& ActivePicture() const { return Active_; }
  // Each stores a copy; the shown picture changes with Status.
  void SetNormalPicture(const TBitmap& picture) { Normal_ = picture; }
  void SetActivePicture(const TBitmap& picture) { Active_ = picture; }

  bool Status() const { return Status_; }
  void SetStatus(bool status);
  bool AutoAssign = true;

  // The ordinary click first, so its handler still sees the status the user clicked on.
  void Click() override;

 private:
  TBitmap Normal_, Active_;
  bool Status_ = false;
};

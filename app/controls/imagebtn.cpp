#include "app/controls/imagebtn.h"

void TImageBtn::SetStatus(bool status) {
  Status_ = status;
  SetPicture(status ? Active_ : Normal_);
}

void TImageBtn::Click() {
  TPictureControl::Click();
  if (AutoAssign) SetStatus(!Status_);
}

#include "os/test/fakemessagebox.h"

void TFakeMessageBox::Show(const std::string& caption, const std::string& text, TMessageIcon icon) {
  Shown.push_back({caption, text, icon});
}

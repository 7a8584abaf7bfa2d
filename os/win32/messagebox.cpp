// Message boxes on Windows: system-modal, so they stay above every window until answered, even
// when the program has no window of its own yet.
#include "os/messagebox.h"

#include <windows.h>

#include "os/win32/wide.h"

namespace {

UINT IconStyle(TMessageIcon icon) {
  switch (icon) {
    case TMessageIcon::Information:
      return MB_ICONINFORMATION;
    case TMessageIcon::Warning:
      return MB_ICONWARNING;
    case TMessageIcon::Error:
      return MB_ICONERROR;
    case TMessageIcon::None:
      break;
  }
  return 0;
}

class TWin32MessageBox : public IOsMessageBox {
 public:
  void Show(const std::string& caption, const std::string& text, TMessageIcon icon) override {
    ::MessageBoxW(nullptr, WideFromUtf8(text).c_str(), WideFromUtf8(caption).c_str(),
                  MB_OK | MB_SYSTEMMODAL | MB_SETFOREGROUND | IconStyle(icon));
  }
};

}  // namespace

std::unique_ptr<IOsMessageBox> OsCreateMessageBox() {
  return std::make_unique<TWin32MessageBox>();
}

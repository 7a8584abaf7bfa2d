// Message boxes on a Linux terminal: the text goes to standard error, there is nothing to click.
#include "os/messagebox.h"

#include <cstdio>

namespace {

class TStderrMessageBox : public IOsMessageBox {
 public:
  void Show(const std::string& caption, const std::string& text, TMessageIcon) override {
    const std::string line = caption + ": " + text + "\n";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
  }
};

}  // namespace

std::unique_ptr<IOsMessageBox> OsCreateMessageBox() {
  return std::make_unique<TStderrMessageBox>();
}

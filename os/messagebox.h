// System-modal message boxes with an OK button: a real dialog on Windows, standard error on Linux
// (the windowed shells show their own).
#pragma once

#include <memory>
#include <string>

enum class TMessageIcon { None, Information, Warning, Error };

class IOsMessageBox {
 public:
  virtual ~IOsMessageBox() = default;
  // Shows text under caption and returns when the user has closed the box; never fails visibly.
  virtual void Show(const std::string& caption, const std::string& text, TMessageIcon icon) = 0;
};

// The running system's message boxes. Linux: writes "Caption: text" and a line end to standard
// error.
std::unique_ptr<IOsMessageBox> OsCreateMessageBox();

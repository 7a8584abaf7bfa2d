// In-memory double of the message-box service: records every box instead of showing it.
#pragma once

#include <string>
#include <vector>

#include "os/messagebox.h"

struct TShownMessage {
  std::string Caption;
  std::string Text;
  TMessageIcon Icon = TMessageIcon::None;
  bool operator==(const TShownMessage&) const = default;
};

class TFakeMessageBox : public IOsMessageBox {
 public:
  // --- checked by the test ---
  std::vector<TShownMessage> Shown;  // in call order

  void Show(const std::string& caption, const std::string& text, TMessageIcon icon) override;
};

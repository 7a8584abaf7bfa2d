// The two diagnostic sinks of the program: the trace console and the register-access debug file.
// Neither adds anything to a line; callers compose the whole text.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "os/console.h"

class TDebugConsole {
 public:
  TDebugConsole(bool enabled, std::unique_ptr<IOsConsole> output);
  bool Enabled() const { return Enabled_; }
  // Writes text + "\n" when enabled and a console exists.
  void Line(std::string_view text);

 private:
  bool Enabled_;
  std::unique_ptr<IOsConsole> Output_;
};

// The first call creates the process's console with the given flag (opening a console only when
// enabled); later calls return the same object and ignore their argument.
TDebugConsole& GetTraceConsole(bool enabled = false);

// A trace line on the console; dropped when no console was enabled.
void TraceLine(std::string_view text);

// The register-access debug file. Open creates it (truncating an old one) for exclusive,
// write-through use; a failed open still marks the sink open so later lines drop silently.
void RwDebugOpen(const std::string& path);
void RwDebugLine(std::string_view text);  // writes text + "\r\n" when open
void RwDebugClose();
bool RwDebugIsOpen();

// Tests observe both sinks through a tap, which sees every line whether or not its sink is on.
class ITraceTap {
 public:
  virtual ~ITraceTap() = default;
  virtual void OnTraceLine(std::string_view text) = 0;
  virtual void OnRwDebugLine(std::string_view text) = 0;
};
void SetTraceTap(ITraceTap* tap);  // null removes it

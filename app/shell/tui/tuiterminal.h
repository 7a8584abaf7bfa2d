// The terminal the shell draws on: keys in, text out, and the wake-ups that end a wait. The
// Linux implementation puts the terminal in raw mode on the alternate screen and gives it back
// on every way out, SIGINT and SIGTERM included.
#pragma once

#include <memory>
#include <string>
#include <string_view>

struct TTuiSize {
  int Columns = 80;
  int Rows = 24;
};

// What arrived during one wait.
struct TTuiInput {
  std::string Keys;
  std::string Errors;      // text written to standard error while the screen was taken
  bool Stop = false;       // SIGINT, SIGTERM or SIGHUP: the program should exit in order
  bool Resized = false;    // the terminal changed its size
  bool KeysEnded = false;  // the key input was closed (a pipe at its end)
};

class ITuiTerminal {
 public:
  virtual ~ITuiTerminal() = default;
  // Takes the terminal. True when the output is a terminal (a screen to draw on); false when it
  // is not, and the shell writes plain lines instead. Keys are read either way.
  virtual bool Open() = 0;
  // Gives everything back: modes, screen, cursor, signal handlers, standard error (with what was
  // written to it meanwhile). Safe to call twice.
  virtual void Close() = 0;
  virtual TTuiSize Size() = 0;
  virtual void Write(std::string_view text) = 0;
  // Waits at most timeoutMs (0: just looks) for keys, standard-error text, a signal or Wake.
  virtual TTuiInput Wait(int timeoutMs) = 0;
  // Ends the current or next wait; any thread.
  virtual void Wake() = 0;
  // Whether 24-bit colours may be used.
  virtual bool TrueColour() const = 0;
};

// The process's terminal over the given descriptors (normally 0, 1 and 2). Standard error is
// captured while the screen is taken only when it is itself a terminal.
std::unique_ptr<ITuiTerminal> CreateTuiTerminal(int inFd = 0, int outFd = 1, int errFd = 2);

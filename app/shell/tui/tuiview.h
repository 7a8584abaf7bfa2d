// The window's read-outs as rows of text: the controller's read-out record (not read back from
// its picture), laid out for a terminal. The shell colours the rows; tests read them plain.
#pragma once

#include <string>
#include <vector>

#include "app/window/mainform.h"

enum class TTuiStyle {
  Plain,
  Title,
  Label,
  Green,     // period and total figures while saving is on
  GreenDim,  // the same figures while it is off
  White,     // power, consumed energy, time since the start date
  Orange,    // processor clock and core voltage
  Unlit,     // rules, empty gauge cells, keys that do nothing now
  Key,
  Message,
  Log,
};

struct TTuiSpan {
  std::string Text;
  TTuiStyle Style = TTuiStyle::Plain;
};
using TTuiRow = std::vector<TTuiSpan>;

// What the shell knows besides the controller's state.
struct TTuiView {
  bool Minimised = false;
  std::vector<std::string> Messages;  // message boxes waiting for a key, oldest first
  std::vector<std::string> LogTail;   // the last lines written to standard error
};

// The screen as styled rows; each row holds at most width characters.
std::vector<TTuiRow> RenderTuiRows(TZemMainForm& form, const TTuiView& view, int width);
// The same rows as plain text, trailing blanks removed.
std::vector<std::string> RenderTuiLines(TZemMainForm& form, int width);
std::vector<std::string> RenderTuiLines(TZemMainForm& form, const TTuiView& view, int width);
std::string PlainText(const TTuiRow& row);
// One line for an output that is not a terminal: the state and the read-outs, or the tray hint.
std::string TuiStatusLine(TZemMainForm& form);

// A whole screen for a terminal: home, the rows on a dark panel, the rest cleared. At most height
// rows are written. trueColour picks 24-bit colours over the 256-colour palette.
std::string AnsiFrame(const std::vector<TTuiRow>& rows, int width, int height, bool trueColour);

#include "app/shell/tui/tuiview.h"

#include <algorithm>

namespace {

constexpr int kPanelWidth = 72;
constexpr int kGaugeCells = 9;  // indicator frames 1..9 light one cell each; frame 0 none

// Characters as a terminal counts them: UTF-8 continuation bytes take no column.
int Columns(const std::string& text) {
  int columns = 0;
  for (unsigned char c : text)
    if ((c & 0xC0) != 0x80) ++columns;
  return columns;
}

std::string RightAligned(const std::string& text, int width) {
  const int columns = Columns(text);
  return columns >= width ? text : std::string(width - columns, ' ') + text;
}

std::string Figure(const std::string& text, int width) {
  return RightAligned(text.empty() ? "-" : text, width);
}

std::string Number(int value, int width) {
  return RightAligned(std::to_string(value), width);
}

// A read-out's figure as the window shows it: its text, or blank cells ("-") where it shows
// only its mask or nothing.
std::string Shown(const TReadoutState& readout) {
  const bool figure = readout.Look == TReadoutLook::Lit || readout.Look == TReadoutLook::Dim;
  return figure ? readout.Text : std::string();
}

// A counter of whole units, padded with zeros to width as the terminal lines them up.
std::string Counter(const TReadoutState& readout, int width) {
  std::string text = Shown(readout);
  if (text.empty()) return std::string(static_cast<size_t>(width), '-');
  if (static_cast<int>(text.size()) < width)
    text.insert(0, static_cast<size_t>(width) - text.size(), '0');
  return text;
}

bool Showing(TZemMainForm& form, const char* name) {
  return form.Scene().Find(name) != nullptr && form.Scene().Showing(name);
}

class TRows {
 public:
  explicit TRows(int width) : Width_(width) {}
  TRows& Add(std::string text, TTuiStyle style = TTuiStyle::Plain) {
    if (Rows_.empty()) Rows_.emplace_back();
    Rows_.back().push_back({std::move(text), style});
    return *this;
  }
  TRows& Next() {
    Rows_.emplace_back();
    return *this;
  }
  // The row so far, padded with blanks so the next text ends at the right edge of the panel.
  TRows& AlignRight(const std::string& text, TTuiStyle style) {
    const int used = Columns(PlainText(Rows_.back()));
    const int panel = std::min(Width_, kPanelWidth);
    if (used + Columns(text) + 1 < panel) Add(std::string(panel - used - Columns(text) - 1, ' '));
    return Add(text, style);
  }
  TRows& Rule() {
    return Next().Add(std::string(std::max(0, std::min(Width_, kPanelWidth)), '-'),
                      TTuiStyle::Unlit);
  }
  // Long texts wrap at blanks within the panel, each piece under the first column.
  TRows& Wrapped(const std::string& lead, const std::string& text, TTuiStyle style) {
    const int room = std::max(10, std::min(Width_, kPanelWidth) - Columns(lead));
    std::string rest = text;
    bool first = true;
    while (!rest.empty()) {
      size_t cut = rest.size();
      if (Columns(rest) > room) {
        cut = rest.rfind(' ', static_cast<size_t>(room));
        if (cut == std::string::npos || cut == 0) cut = static_cast<size_t>(room);
      }
      Next()
          .Add(first ? lead : std::string(Columns(lead), ' '), style)
          .Add(rest.substr(0, cut), style);
      rest = rest.substr(cut);
      while (!rest.empty() && rest.front() == ' ') rest.erase(0, 1);
      first = false;
    }
    return *this;
  }
  std::vector<TTuiRow> Take() {
    for (TTuiRow& row : Rows_) Clip(row);
    return std::move(Rows_);
  }

 private:
  void Clip(TTuiRow& row) const {
    int room = Width_;
    for (TTuiSpan& span : row) {
      if (room <= 0) {
        span.Text.clear();
        continue;
      }
      if (Columns(span.Text) > room) {
        size_t keep = 0;
        int columns = 0;
        while (keep < span.Text.size()) {
          const auto c = static_cast<unsigned char>(span.Text[keep]);
          if ((c & 0xC0) != 0x80 && columns++ == room) break;
          ++keep;
        }
        span.Text.resize(keep);
      }
      room -= Columns(span.Text);
    }
    std::erase_if(row, [](const TTuiSpan& span) { return span.Text.empty(); });
  }

  int Width_;
  std::vector<TTuiRow> Rows_;
};

void Gauge(TRows& rows, int frame) {
  const int lit = std::clamp(frame, 0, kGaugeCells);
  rows.Add("[", TTuiStyle::Unlit)
      .Add(std::string(lit, '#'), TTuiStyle::Orange)
      .Add(std::string(kGaugeCells - lit, '.'), TTuiStyle::Unlit)
      .Add("]", TTuiStyle::Unlit);
}

void Legend(TRows& rows, const std::vector<std::pair<std::string, bool>>& keys,
            const std::vector<std::string>& names) {
  rows.Next().Add(" ");
  for (size_t i = 0; i < keys.size(); ++i) {
    const bool active = keys[i].second;
    rows.Add("[" + keys[i].first + "]", active ? TTuiStyle::Key : TTuiStyle::Unlit)
        .Add(" " + names[i] + "  ", active ? TTuiStyle::Label : TTuiStyle::Unlit);
  }
}

void SavingRows(TRows& rows, const TZemReadouts& r) {
  const TTuiStyle figure = r.SavingOn ? TTuiStyle::Green : TTuiStyle::GreenDim;
  if (!r.SavingShown) {
    rows.Wrapped(" Saving     ", r.SavingHint.empty() ? "not shown on this board" : r.SavingHint,
                 TTuiStyle::Label);
    return;
  }
  const std::string saved = Shown(r[TReadoutId::SavedKJ]);
  if (r.Mode == 1) {
    rows.Next()
        .Add(" Period     ", TTuiStyle::Label)
        .Add(Figure(Shown(r[TReadoutId::PeriodDays]), 4), figure)
        .Add(" d ", TTuiStyle::Label)
        .Add(Counter(r[TReadoutId::PeriodHours], 2), figure)
        .Add(" h ", TTuiStyle::Label)
        .Add(Counter(r[TReadoutId::PeriodMinutes], 2), figure)
        .Add(" m   saved ", TTuiStyle::Label)
        .Add(Figure(saved, 10), figure)
        .Add(" kJ", TTuiStyle::Label);
  } else {
    const std::string date = Shown(r[TReadoutId::StartDate]);
    const std::string time = Shown(r[TReadoutId::StartTime]);
    rows.Next()
        .Add(" Total      ", TTuiStyle::Label)
        .Add(Figure(saved, 10), figure)
        .Add(" kJ saved since ", TTuiStyle::Label)
        .Add((date.empty() ? "----/--/--" : date) + " " + (time.empty() ? "--:--:--" : time),
             figure);
  }
}

void AnimationRow(TRows& rows, const TZemReadouts& r) {
  const bool on = r.SavingOn;
  if (r.PiggyBank) {
    // The piggy bank: a coin drops into it frame by frame while energy is being saved.
    rows.Next().Add(" Savings    ", TTuiStyle::Label);
    const int frames = std::max(1, r.AnimationFrames);
    if (on) {
      const int at = std::clamp(r.AnimationFrame, 0, frames - 1);
      rows.Add(std::string(at, ' ') + "$" + std::string(frames - 1 - at, ' '), TTuiStyle::Green)
          .Add("(oo)", TTuiStyle::White);
    } else {
      rows.Add(std::string(frames, ' ') + "(oo)", TTuiStyle::Unlit);
    }
    return;
  }
  rows.Next().Add(" Phases     ", TTuiStyle::Label).Add(Number(r.Phases, 4), TTuiStyle::White);
  if (!on || r.AnimationFrames <= 0) {
    rows.Add("   ").Add(on ? "" : "idle", TTuiStyle::Unlit);
    return;
  }
  // The regulator's phases take turns: one lit cell runs along the animation's frames.
  std::string strip;
  for (int i = 0; i < r.AnimationFrames; ++i) strip += i == r.AnimationFrame ? '*' : '.';
  rows.Add("   [", TTuiStyle::Unlit).Add(strip, TTuiStyle::Green).Add("]", TTuiStyle::Unlit);
}

void MessageRows(TRows& rows, const TTuiView& view) {
  for (const std::string& message : view.Messages) rows.Wrapped(" ! ", message, TTuiStyle::Message);
  if (!view.Messages.empty()) rows.Next().Add("   (any key closes the message)", TTuiStyle::Label);
  for (const std::string& line : view.LogTail) rows.Next().Add(" " + line, TTuiStyle::Log);
}

}  // namespace

std::string PlainText(const TTuiRow& row) {
  std::string text;
  for (const TTuiSpan& span : row) text += span.Text;
  return text;
}

std::vector<TTuiRow> RenderTuiRows(TZemMainForm& form, const TTuiView& view, int width) {
  TRows rows(std::max(width, 1));
  const TZemReadouts& r = form.Readouts();
  if (!r.Running) {
    rows.Next().Add(" Korvan ZEM", TTuiStyle::Title).Add("  starting", TTuiStyle::Label);
    MessageRows(rows, view);
    return rows.Take();
  }
  if (r.Hidden || view.Minimised) {
    // In the tray the window is hidden: one status line, the tray icon's hint on it.
    rows.Next().Add(" Korvan ZEM", TTuiStyle::Title);
    if (r.Hidden) {
      rows.Add("  in the tray  ", TTuiStyle::Label).Add(r.TrayHint, TTuiStyle::Green);
    } else {
      rows.Add("  minimised", TTuiStyle::Label);
    }
    Legend(rows, {{"Enter", true}, {"q", true}}, {"restore", "exit"});
    MessageRows(rows, view);
    return rows.Take();
  }

  const bool on = r.SavingOn;
  rows.Next().Add(" Korvan ZEM", TTuiStyle::Title);
  rows.AlignRight(on ? "ZEM ON " : "ZEM OFF", on ? TTuiStyle::Green : TTuiStyle::GreenDim);
  rows.Rule();
  SavingRows(rows, r);

  rows.Next()
      .Add(" Since      ", TTuiStyle::Label)
      .Add(Figure(Shown(r[TReadoutId::SinceDays]), 4), TTuiStyle::White)
      .Add(" d ", TTuiStyle::Label)
      .Add(Counter(r[TReadoutId::SinceHours], 2), TTuiStyle::White)
      .Add(" h ", TTuiStyle::Label)
      .Add(Counter(r[TReadoutId::SinceMinutes], 2), TTuiStyle::White)
      .Add(" m", TTuiStyle::Label);
  rows.Next()
      .Add(" Power      ", TTuiStyle::Label)
      .Add(Figure(Shown(r[TReadoutId::Power]), 10), TTuiStyle::White)
      .Add(" W     consumed ", TTuiStyle::Label)
      .Add(Figure(Shown(r[TReadoutId::Consumed]), 12), TTuiStyle::White)
      .Add(" kJ", TTuiStyle::Label);
  rows.Next()
      .Add(" Clock      ", TTuiStyle::Label)
      .Add(Figure(Shown(r[TReadoutId::CpuSpeed]), 10), TTuiStyle::Orange)
      .Add(" MHz   ", TTuiStyle::Label);
  Gauge(rows, r.SpeedFrame);
  rows.Next()
      .Add(" Vcore      ", TTuiStyle::Label)
      .Add(Figure(Shown(r[TReadoutId::Vcore]), 10), TTuiStyle::Orange)
      .Add(" V     ", TTuiStyle::Label);
  Gauge(rows, r.VcoreFrame);
  AnimationRow(rows, r);
  rows.Next()
      .Add(" Mode       ", TTuiStyle::Label)
      .Add(r.Mode == 1 ? "period" : "total", TTuiStyle::White)
      .Add("     autorun ", TTuiStyle::Label)
      .Add(r.AutoRunOn ? "on" : "off", r.AutoRunOn ? TTuiStyle::Green : TTuiStyle::White);
  rows.Rule();

  const bool modes = Showing(form, "DurationImageEn") || Showing(form, "TotalImageEn");
  Legend(rows,
         {{"space", true},
          {"p", modes && r.Mode != 1},
          {"t", modes && r.Mode != 2},
          {"r", Showing(form, "ResetImageEn")},
          {"a", true}},
         {on ? "ZEM off" : "ZEM on", "period", "total", "reset", "autorun"});
  Legend(rows, {{"m", true}, {"c", true}, {"i", true}, {"q", true}},
         {on ? "to tray" : "minimise", on ? "close (tray)" : "close", "about", "exit"});
  MessageRows(rows, view);
  return rows.Take();
}

std::vector<std::string> RenderTuiLines(TZemMainForm& form, const TTuiView& view, int width) {
  std::vector<std::string> lines;
  for (const TTuiRow& row : RenderTuiRows(form, view, width)) {
    std::string line = PlainText(row);
    while (!line.empty() && line.back() == ' ') line.pop_back();
    lines.push_back(std::move(line));
  }
  return lines;
}

std::vector<std::string> RenderTuiLines(TZemMainForm& form, int width) {
  return RenderTuiLines(form, TTuiView{}, width);
}

std::string TuiStatusLine(TZemMainForm& form) {
  const TZemReadouts& r = form.Readouts();
  if (!r.Running) return "Korvan ZEM: starting";
  if (r.Hidden) return "Korvan ZEM in the tray: " + r.TrayHint;
  std::string line = std::string("ZEM ") + (r.SavingOn ? "on" : "off");
  const auto add = [&line](const char* label, const std::string& value, const char* unit) {
    line += std::string(" | ") + label + " " + (value.empty() ? "-" : value);
    if (unit[0] != '\0') line += std::string(" ") + unit;
  };
  add("clock", Shown(r[TReadoutId::CpuSpeed]), "MHz");
  add("Vcore", Shown(r[TReadoutId::Vcore]), "V");
  add("power", Shown(r[TReadoutId::Power]), "W");
  add("consumed", Shown(r[TReadoutId::Consumed]), "kJ");
  if (r.SavingShown) {
    const std::string saved = Shown(r[TReadoutId::SavedKJ]);
    if (r.Mode == 1) {
      add("period",
          Figure(Shown(r[TReadoutId::PeriodDays]), 1) + "d " +
              Counter(r[TReadoutId::PeriodHours], 2) + "h " +
              Counter(r[TReadoutId::PeriodMinutes], 2) + "m",
          "");
      add("saved", saved, "kJ");
    } else {
      add("total saved", saved, "kJ");
    }
  }
  return line;
}

namespace {

struct TRgb {
  int R, G, B;
  int Index;  // nearest colour of the 256-colour palette
};

// The window's read-out colours on its dark face.
TRgb Colour(TTuiStyle style) {
  switch (style) {
    case TTuiStyle::Title:
      return {70, 255, 10, 82};
    case TTuiStyle::Label:
      return {170, 176, 166, 249};
    case TTuiStyle::Green:
      return {70, 255, 10, 82};
    case TTuiStyle::GreenDim:
      return {89, 130, 72, 65};
    case TTuiStyle::White:
      return {242, 248, 238, 255};
    case TTuiStyle::Orange:
      return {255, 145, 0, 208};
    case TTuiStyle::Unlit:
      return {80, 80, 80, 239};
    case TTuiStyle::Key:
      return {255, 145, 0, 214};
    case TTuiStyle::Message:
      return {255, 215, 0, 220};
    case TTuiStyle::Log:
      return {130, 130, 130, 244};
    case TTuiStyle::Plain:
      break;
  }
  return {220, 220, 220, 253};
}

constexpr TRgb kFace = {22, 22, 22, 234};

std::string Foreground(const TRgb& c, bool trueColour) {
  return trueColour ? "\x1b[38;2;" + std::to_string(c.R) + ";" + std::to_string(c.G) + ";" +
                          std::to_string(c.B) + "m"
                    : "\x1b[38;5;" + std::to_string(c.Index) + "m";
}

std::string Background(const TRgb& c, bool trueColour) {
  return trueColour ? "\x1b[48;2;" + std::to_string(c.R) + ";" + std::to_string(c.G) + ";" +
                          std::to_string(c.B) + "m"
                    : "\x1b[48;5;" + std::to_string(c.Index) + "m";
}

}  // namespace

std::string AnsiFrame(const std::vector<TTuiRow>& rows, int width, int height, bool trueColour) {
  const int panel = std::min(std::max(width, 1), kPanelWidth);
  std::string out = "\x1b[H";
  const int count = std::min(static_cast<int>(rows.size()), std::max(height, 0));
  for (int i = 0; i < count; ++i) {
    out += Background(kFace, trueColour);
    int used = 0;
    for (const TTuiSpan& span : rows[i]) {
      const bool bold = span.Style == TTuiStyle::Title || span.Style == TTuiStyle::Key;
      out += (bold ? "\x1b[1m" : "\x1b[22m") + Foreground(Colour(span.Style), trueColour);
      out += span.Text;
      used += Columns(span.Text);
    }
    if (used < panel) out += std::string(panel - used, ' ');
    out += "\x1b[0m\x1b[K";
    // No line end after the last row a screen can hold, so the screen never scrolls.
    if (i + 1 < height) out += "\r\n";
  }
  out += "\x1b[0m\x1b[J";
  return out;
}

#include "app/shell/tui/tuiview.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "engine/cfg.h"
#include "engine/zemctrl.h"

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

std::string TwoDigits(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", value);
  return text;
}

std::string Fixed3(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%0.3f", value);
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

void SavingRows(TRows& rows, TZemMainForm& form, bool on) {
  TCfg& cfg = *form.Context().Cfg;
  const TTuiStyle figure = on ? TTuiStyle::Green : TTuiStyle::GreenDim;
  if (!form.SavingShown) {
    const std::string& hint = form.DurationOffHint();
    rows.Wrapped(" Saving     ", hint.empty() ? "not shown on this board" : hint, TTuiStyle::Label);
    return;
  }
  if (cfg.WorkingMode == 1) {
    rows.Next()
        .Add(" Period     ", TTuiStyle::Label)
        .Add(Number(form.Days, 4), figure)
        .Add(" d ", TTuiStyle::Label)
        .Add(TwoDigits(form.Hours), figure)
        .Add(" h ", TTuiStyle::Label)
        .Add(TwoDigits(form.Minutes), figure)
        .Add(" m   saved ", TTuiStyle::Label)
        .Add(RightAligned(Fixed3(cfg.DurationKJ), 10), figure)
        .Add(" kJ", TTuiStyle::Label);
  } else {
    const TLocalDateTime start = ParseDateTime(cfg.ZemStartDateTime).value_or(TLocalDateTime{});
    // The off look shows the start date with the system's separators, as the window does.
    const char date = on ? '/' : form.DateSeparator;
    const char time = on ? ':' : form.TimeSeparator;
    char since[64];
    std::snprintf(since, sizeof since, "%04d%c%02d%c%02d %02d%c%02d%c%02d", start.Year, date,
                  start.Month, date, start.Day, start.Hour, time, start.Minute, time, start.Second);
    rows.Next()
        .Add(" Total      ", TTuiStyle::Label)
        .Add(RightAligned(Fixed3(cfg.TotalKJ), 10), figure)
        .Add(" kJ saved since ", TTuiStyle::Label)
        .Add(since, figure);
  }
}

void AnimationRow(TRows& rows, TZemMainForm& form, bool on) {
  TZemCtrl& zem = *form.Context().Zem;
  if (zem.PhaseSwitch() == 0) {
    // The piggy bank: a coin drops into it frame by frame while energy is being saved.
    rows.Next().Add(" Savings    ", TTuiStyle::Label);
    const int frames = std::max(1, form.Scene().FrameCount("PigImageList"));
    if (on) {
      const int at = std::clamp(form.PigFrame, 0, frames - 1);
      rows.Add(std::string(at, ' ') + "$" + std::string(frames - 1 - at, ' '), TTuiStyle::Green)
          .Add("(oo)", TTuiStyle::White);
    } else {
      rows.Add(std::string(frames, ' ') + "(oo)", TTuiStyle::Unlit);
    }
    return;
  }
  const int phases = zem.PhaseCount();
  rows.Next().Add(" Phases     ", TTuiStyle::Label).Add(Number(phases, 4), TTuiStyle::White);
  const int frames = form.Scene().FrameCount("Phase" + std::to_string(phases) + "ImageList");
  if (!on || frames <= 0) {
    rows.Add("   ").Add(on ? "" : "idle", TTuiStyle::Unlit);
    return;
  }
  // The regulator's phases take turns: one lit cell runs along the animation's frames.
  std::string strip;
  for (int i = 0; i < frames; ++i) strip += i == form.PhaseFrame ? '*' : '.';
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
  const bool running = !form.Closed() && form.HasContext() && form.Context().Zem != nullptr &&
                       form.Context().Cfg != nullptr;
  if (!running) {
    rows.Next().Add(" Korvan ZEM", TTuiStyle::Title).Add("  starting", TTuiStyle::Label);
    MessageRows(rows, view);
    return rows.Take();
  }
  if (form.TrayIconVisible() || view.Minimised) {
    // In the tray the window is hidden: one status line, the tray icon's hint on it.
    rows.Next().Add(" Korvan ZEM", TTuiStyle::Title);
    if (form.TrayIconVisible()) {
      rows.Add("  in the tray  ", TTuiStyle::Label).Add(form.TrayHint(), TTuiStyle::Green);
    } else {
      rows.Add("  minimised", TTuiStyle::Label);
    }
    Legend(rows, {{"Enter", true}, {"q", true}}, {"restore", "exit"});
    MessageRows(rows, view);
    return rows.Take();
  }

  const bool on = form.ZemOn();
  TCfg& cfg = *form.Context().Cfg;
  rows.Next().Add(" Korvan ZEM", TTuiStyle::Title);
  rows.AlignRight(on ? "ZEM ON " : "ZEM OFF", on ? TTuiStyle::Green : TTuiStyle::GreenDim);
  rows.Rule();
  SavingRows(rows, form, on);

  const double days = std::trunc(form.SinceElapsed);
  const auto minuteOfDay =
      static_cast<int>(std::floor((form.SinceElapsed - days) * 24 * 60 + 1e-9));
  rows.Next()
      .Add(" Since      ", TTuiStyle::Label)
      .Add(Number(static_cast<int>(days), 4), TTuiStyle::White)
      .Add(" d ", TTuiStyle::Label)
      .Add(TwoDigits(minuteOfDay / 60), TTuiStyle::White)
      .Add(" h ", TTuiStyle::Label)
      .Add(TwoDigits(minuteOfDay % 60), TTuiStyle::White)
      .Add(" m", TTuiStyle::Label);
  rows.Next()
      .Add(" Power      ", TTuiStyle::Label)
      .Add(Figure(form.PowerText, 10), TTuiStyle::White)
      .Add(" W     consumed ", TTuiStyle::Label)
      .Add(Figure(form.ConsumedKJText, 12), TTuiStyle::White)
      .Add(" kJ", TTuiStyle::Label);
  rows.Next()
      .Add(" Clock      ", TTuiStyle::Label)
      .Add(Figure(form.CpuSpeedText, 10), TTuiStyle::Orange)
      .Add(" MHz   ", TTuiStyle::Label);
  Gauge(rows, form.SpeedShown);
  rows.Next()
      .Add(" Vcore      ", TTuiStyle::Label)
      .Add(Figure(form.VcoreText, 10), TTuiStyle::Orange)
      .Add(" V     ", TTuiStyle::Label);
  Gauge(rows, form.VcoreShown);
  AnimationRow(rows, form, on);
  rows.Next()
      .Add(" Mode       ", TTuiStyle::Label)
      .Add(cfg.WorkingMode == 1 ? "period" : "total", TTuiStyle::White)
      .Add("     autorun ", TTuiStyle::Label)
      .Add(form.AutoRunOn ? "on" : "off", form.AutoRunOn ? TTuiStyle::Green : TTuiStyle::White);
  rows.Rule();

  const bool modes = Showing(form, "DurationImageEn") || Showing(form, "TotalImageEn");
  Legend(rows,
         {{"space", true},
          {"p", modes && cfg.WorkingMode != 1},
          {"t", modes && cfg.WorkingMode != 2},
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
  if (form.Closed() || !form.HasContext() || !form.Context().Zem || !form.Context().Cfg)
    return "Korvan ZEM: starting";
  if (form.TrayIconVisible()) return "Korvan ZEM in the tray: " + form.TrayHint();
  TCfg& cfg = *form.Context().Cfg;
  std::string line = std::string("ZEM ") + (form.ZemOn() ? "on" : "off");
  const auto add = [&line](const char* label, const std::string& value, const char* unit) {
    line += std::string(" | ") + label + " " + (value.empty() ? "-" : value) + " " + unit;
  };
  add("clock", form.CpuSpeedText, "MHz");
  add("Vcore", form.VcoreText, "V");
  add("power", form.PowerText, "W");
  add("consumed", form.ConsumedKJText, "kJ");
  if (form.SavingShown) {
    if (cfg.WorkingMode == 1) {
      add("period",
          std::to_string(form.Days) + "d " + TwoDigits(form.Hours) + "h " +
              TwoDigits(form.Minutes) + "m",
          "");
      line.pop_back();
      add("saved", Fixed3(cfg.DurationKJ), "kJ");
    } else {
      add("total saved", Fixed3(cfg.TotalKJ), "kJ");
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

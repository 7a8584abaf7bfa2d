#include "app/shell/tui/tuishell.h"

#include <algorithm>
#include <chrono>

namespace {

constexpr int kIdleMs = 250;  // the longest wait, so OnIdle sees requests of a second start
constexpr size_t kLogLines = 3;

int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool Showing(TZemMainForm& form, const char* name) {
  return form.Scene().Find(name) != nullptr && form.Scene().Showing(name);
}

}  // namespace

// --- message boxes ---

TTuiMessageBox::~TTuiMessageBox() {
  if (Shell_ != nullptr) Shell_->Box_ = nullptr;
}

void TTuiMessageBox::Show(const std::string& caption, const std::string& text, TMessageIcon icon) {
  if (Shell_ != nullptr) {
    Shell_->ShowMessage(caption, text);
  } else {
    Fallback_.Show(caption, text, icon);
  }
}

// --- the shell ---

TTuiShell::TTuiShell(TMainThreadQueue& queue)
    : Queue_(queue),
      OwnTerminal_(CreateTuiTerminal()),
      Terminal_(*OwnTerminal_),
      Clock_(SteadyMs) {}

TTuiShell::TTuiShell(TMainThreadQueue& queue, ITuiTerminal& terminal, TClock clock)
    : Queue_(queue), Terminal_(terminal), Clock_(std::move(clock)) {}

TTuiShell::~TTuiShell() {
  Queue_.SetWakeHandler({});
  if (Box_ != nullptr) {
    // Boxes nobody saw on a screen (the program ended before its loop ran) are not lost.
    for (const std::string& message : View_.Messages)
      Box_->Fallback_.Show("", message, TMessageIcon::Information);
    Box_->Shell_ = nullptr;
  }
}

void TTuiShell::UseMessageBox(TTuiMessageBox& box) {
  if (Box_ != nullptr) Box_->Shell_ = nullptr;
  Box_ = &box;
  box.Shell_ = this;
}

void TTuiShell::ShowMessage(const std::string& caption, const std::string& text) {
  View_.Messages.push_back(caption.empty() ? text : caption + ": " + text);
  Dirty_ = true;
}

void TTuiShell::Attach(TZemMainForm& form) {
  Form_ = &form;
  Dirty_ = true;
}

int TTuiShell::Run(TZemMainForm& form) {
  Attach(form);
  if (form.Closed()) return 0;
  Screen_ = Terminal_.Open();
  Queue_.SetWakeHandler([this] { Terminal_.Wake(); });
  Dirty_ = true;
  while (!Quit_ && !form.Closed()) RunOnce(kIdleMs);
  Queue_.SetWakeHandler({});
  if (Screen_) View_.Messages.clear();  // they were on the screen
  Terminal_.Close();
  Screen_ = false;
  return 0;
}

void TTuiShell::RunOnce(int maxWaitMs) {
  if (Dirty_) Draw();
  int64_t wait = std::max(maxWaitMs, 0);
  const int64_t next = MsUntilNextTimer();
  if (next >= 0) wait = std::min(wait, next);
  const TTuiInput input = Terminal_.Wait(static_cast<int>(wait));
  if (!input.Errors.empty()) AddLog(input.Errors);
  if (input.Resized) Dirty_ = true;
  HandleInput(input.Keys);
  // SIGINT or SIGTERM end the program as the end of a session does: in order, statistics kept.
  if (input.Stop && Form_ != nullptr && !Form_->Closed()) Form_->QueryEndSession();
  FireDueTimers();
  Queue_.RunPending();
  if (OnIdle) OnIdle();
}

// --- timers ---

void TTuiShell::Track(const TZemTimer& timer, TTimerState& state, int64_t now) {
  if (!timer.Enabled) {
    state.Armed = false;
    return;
  }
  // Like a message-loop timer: enabling it or setting a new interval starts a new count.
  if (!state.Armed || state.IntervalMs != timer.IntervalMs) {
    state.Armed = true;
    state.IntervalMs = timer.IntervalMs;
    state.DueMs = now + std::max<uint32_t>(timer.IntervalMs, 1);
  }
}

bool TTuiShell::Due(const TZemTimer& timer, TTimerState& state, int64_t now) {
  Track(timer, state, now);
  if (!state.Armed || now < state.DueMs) return false;
  const int64_t interval = std::max<uint32_t>(state.IntervalMs, 1);
  state.DueMs += interval;
  // A loop held up for several intervals gets one tick, not a burst.
  if (state.DueMs <= now) state.DueMs = now + interval;
  return true;
}

void TTuiShell::FireDueTimers() {
  if (Form_ == nullptr || Form_->Closed()) return;
  const int64_t now = Clock_();
  if (Due(Form_->ZemTimer(), ZemState_, now)) Form_->ZemTimerTimer();
  if (!Form_->Closed() && Due(Form_->IndicatorTimer(), IndicatorState_, now))
    Form_->IndicatorTimerTimer();
}

int64_t TTuiShell::MsUntilNextTimer() {
  if (Form_ == nullptr || Form_->Closed()) return -1;
  const int64_t now = Clock_();
  int64_t next = -1;
  for (auto [timer, state] : {std::pair{&Form_->ZemTimer(), &ZemState_},
                              std::pair{&Form_->IndicatorTimer(), &IndicatorState_}}) {
    Track(*timer, *state, now);
    if (!state->Armed) continue;
    const int64_t left = std::max<int64_t>(state->DueMs - now, 0);
    next = next < 0 ? left : std::min(next, left);
  }
  return next;
}

// --- keys ---

void TTuiShell::HandleInput(std::string_view bytes) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (!Escape_.empty()) {
      // ESC [ ... final byte, or ESC O and one byte: a cursor or function key, not a command.
      Escape_ += c;
      if (Escape_.size() == 2) {
        if (c != '[' && c != 'O') Escape_.clear();
      } else if (Escape_[1] == 'O' || (c >= 0x40 && c <= 0x7E)) {
        Escape_.clear();
      }
      continue;
    }
    if (c == '\x1b' && i + 1 < bytes.size()) {
      Escape_ = c;
      continue;
    }
    HandleKey(c);
  }
}

bool TTuiShell::HandleKey(char key) {
  if (!View_.Messages.empty()) {
    // A message box is modal: the key is its OK.
    View_.Messages.erase(View_.Messages.begin());
    Dirty_ = true;
    return true;
  }
  if (key == '\x0c') {  // ^L: draw everything again
    Dirty_ = true;
    return true;
  }
  if (Form_ == nullptr || !Form_->Readouts().Running) return false;
  TZemMainForm& form = *Form_;
  const bool restore = key == '\r' || key == '\n' || key == 'u';
  const bool exit = key == 'q' || key == 'x';
  bool handled = true;
  if (form.TrayIconVisible()) {
    // Hidden in the tray: only the tray menu's two items.
    if (restore) {
      form.ZemTrayRestoreClick();
    } else if (exit) {
      form.ZemTrayCloseClick();
    } else {
      handled = false;
    }
  } else if (View_.Minimised) {
    if (restore) {
      View_.Minimised = false;
      form.FormActivate();  // the window is active again
    } else if (exit) {
      form.ZemTrayCloseClick();
    } else {
      handled = false;
    }
  } else if (key == ' ' || key == 'o') {
    if (Showing(form, "ZemOffImageEn")) {
      form.ZemOffImageEnClick();
    } else if (Showing(form, "ZemOnImageEn")) {
      form.ZemOnImageEnClick();
    } else {
      handled = false;
    }
  } else if (key == 'p' && Showing(form, "DurationImageEn")) {
    form.DurationImageEnClick();
  } else if (key == 't' && Showing(form, "TotalImageEn")) {
    form.TotalImageEnClick();
  } else if (key == 'r' && Showing(form, "ResetImageEn")) {
    form.ResetImageEnClick();
  } else if (key == 'a' && Showing(form, "AutoRunOffImageEn")) {
    form.AutoRunOffImageEnClick();
  } else if (key == 'a' && Showing(form, "AutoRunOnImageEn")) {
    form.AutoRunOnImageEnClick();
  } else if (key == 'm') {
    form.MinimizeImageEnClick();
  } else if (key == 'c') {
    form.CloseImageEnClick();
  } else if (exit) {
    form.ZemTrayCloseClick();
  } else if (key == 'i') {
    form.BackgroundImageMouseDown(TMouseButton::Right);
  } else {
    handled = false;
  }
  if (handled) {
    Dirty_ = true;
    MsUntilNextTimer();  // a click may have set the timers: they count from now
  }
  return handled;
}

// --- what the controller asks ---

void TTuiShell::ShowWindow() {
  WindowShown_ = true;
  View_.Minimised = false;
  Dirty_ = true;
}

void TTuiShell::HideWindow() {
  WindowShown_ = false;
  Dirty_ = true;
}

void TTuiShell::BringToFront() {
  View_.Minimised = false;
  Dirty_ = true;
}

void TTuiShell::Minimize() {
  View_.Minimised = true;
  Dirty_ = true;
}

void TTuiShell::ShowTrayIcon(bool visible) {
  TrayIconShown_ = visible;
  Dirty_ = true;
}

void TTuiShell::SetTrayHint(const std::string& hint) {
  TrayHint_ = hint;
  Dirty_ = true;
}

// --- drawing ---

std::vector<std::string> TTuiShell::Lines(int width) const {
  if (Form_ == nullptr) return {};
  return RenderTuiLines(*Form_, View_, width);
}

void TTuiShell::AddLog(std::string_view text) {
  PartialLog_.append(text);
  size_t end;
  while ((end = PartialLog_.find('\n')) != std::string::npos) {
    std::string line = PartialLog_.substr(0, end);
    PartialLog_.erase(0, end + 1);
    // Control characters would move the cursor over the drawing.
    std::erase_if(line, [](char c) { return static_cast<unsigned char>(c) < 0x20; });
    View_.LogTail.push_back(std::move(line));
  }
  if (View_.LogTail.size() > kLogLines)
    View_.LogTail.erase(View_.LogTail.begin(),
                        View_.LogTail.end() - static_cast<std::ptrdiff_t>(kLogLines));
  Dirty_ = true;
}

void TTuiShell::Draw() {
  Dirty_ = false;
  if (Form_ == nullptr) return;
  if (Screen_) {
    const TTuiSize size = Terminal_.Size();
    Terminal_.Write(AnsiFrame(RenderTuiRows(*Form_, View_, size.Columns), size.Columns, size.Rows,
                              Terminal_.TrueColour()));
    return;
  }
  // Lines mode: messages as they come, and the state whenever it reads differently.
  for (const std::string& message : View_.Messages) Terminal_.Write(message + "\n");
  View_.Messages.clear();
  std::string line = TuiStatusLine(*Form_);
  if (line != LastPlain_) {
    Terminal_.Write(line + "\n");
    LastPlain_ = std::move(line);
  }
}

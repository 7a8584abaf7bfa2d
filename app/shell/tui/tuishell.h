// The Linux terminal shell: it shows the window's read-outs as text in the terminal (or as plain
// lines when the output is not one), turns keys into the window's clicks, runs the controller's
// two timers on the monotonic clock and drains the main thread's queue.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "app/controls/eventqueue.h"
#include "app/shell/tui/tuiterminal.h"
#include "app/shell/tui/tuiview.h"
#include "app/window/mainform.h"
#include "os/messagebox.h"

class TTuiShell;

// Message boxes for a program shown by the terminal shell: on its screen while a shell uses it,
// written to the fallback otherwise. The host's message box is this one, so a box does not tear
// the screen the way writing to standard error would.
class TTuiMessageBox final : public IOsMessageBox {
 public:
  explicit TTuiMessageBox(IOsMessageBox& fallback) : Fallback_(fallback) {}
  ~TTuiMessageBox() override;
  TTuiMessageBox(const TTuiMessageBox&) = delete;
  TTuiMessageBox& operator=(const TTuiMessageBox&) = delete;
  void Show(const std::string& caption, const std::string& text, TMessageIcon icon) override;

 private:
  friend class TTuiShell;
  IOsMessageBox& Fallback_;
  TTuiShell* Shell_ = nullptr;
};

class TTuiShell final : public IZemWindowShell {
 public:
  // Milliseconds on a monotonic clock.
  using TClock = std::function<int64_t()>;

  // This process's terminal and the steady clock.
  explicit TTuiShell(TMainThreadQueue& queue);
  // Both must outlive the shell.
  TTuiShell(TMainThreadQueue& queue, ITuiTerminal& terminal, TClock clock);
  ~TTuiShell() override;
  TTuiShell(const TTuiShell&) = delete;
  TTuiShell& operator=(const TTuiShell&) = delete;

  // Boxes shown through box appear on this shell's screen until a key closes them.
  void UseMessageBox(TTuiMessageBox& box);

  // Takes the terminal and runs until the window closed (after FormCreate, FormShow and
  // FormActivate); gives the terminal back and returns the exit status (0).
  int Run(TZemMainForm& form);
  // Called on every pass of the loop, at least every few hundred milliseconds.
  std::function<void()> OnIdle;

  // --- the loop's parts, for tests and for Run ---
  void Attach(TZemMainForm& form);
  // One pass: draw if needed, wait for input at most until the next timer is due (and at most
  // maxWaitMs), handle it, fire due timers, drain the queue.
  void RunOnce(int maxWaitMs);
  // Fires each timer of the form whose interval has passed on the clock; a timer just enabled or
  // given a new interval counts from the time this (or MsUntilNextTimer) first sees it.
  void FireDueTimers();
  // Milliseconds until the next enabled timer is due (0 when overdue); -1 when none is enabled.
  int64_t MsUntilNextTimer();
  // Bytes from the keyboard: escape sequences (arrows, function keys) are skipped.
  void HandleInput(std::string_view bytes);
  // One key as the window's click; false when it means nothing now. While a message is shown,
  // any key closes it instead.
  bool HandleKey(char key);
  // The screen's text as it would be drawn now.
  std::vector<std::string> Lines(int width) const;
  void ShowMessage(const std::string& caption, const std::string& text);

  bool WindowShown() const { return WindowShown_; }
  bool Minimised() const { return View_.Minimised; }
  bool TrayIconShown() const { return TrayIconShown_; }
  const std::string& TrayHint() const { return TrayHint_; }
  bool QuitRequested() const { return Quit_; }
  const std::vector<std::string>& Messages() const { return View_.Messages; }

  // --- IZemWindowShell ---
  void ShowWindow() override;
  void HideWindow() override;
  void BringToFront() override;
  void Minimize() override;
  void BeginDrag() override {}  // a terminal has no window to drag
  void ShowTrayIcon(bool visible) override;
  void SetTrayHint(const std::string& hint) override;
  void Invalidate(const TRect&) override { Dirty_ = true; }
  void Quit() override { Quit_ = true; }

 private:
  friend class TTuiMessageBox;
  struct TTimerState {
    bool Armed = false;
    uint32_t IntervalMs = 0;
    int64_t DueMs = 0;
  };
  void Track(const TZemTimer& timer, TTimerState& state, int64_t now);
  bool Due(const TZemTimer& timer, TTimerState& state, int64_t now);
  void Draw();
  void AddLog(std::string_view text);
  void FlushMessages();

  TMainThreadQueue& Queue_;
  std::unique_ptr<ITuiTerminal> OwnTerminal_;
  ITuiTerminal& Terminal_;
  TClock Clock_;
  TZemMainForm* Form_ = nullptr;
  TTuiMessageBox* Box_ = nullptr;

  TTimerState ZemState_;
  TTimerState IndicatorState_;
  TTuiView View_;
  std::string PartialLog_;
  std::string Escape_;  // an escape sequence cut by a read
  bool Screen_ = false;
  bool Running_ = false;
  bool Dirty_ = true;
  bool Quit_ = false;
  bool WindowShown_ = true;
  bool TrayIconShown_ = false;
  std::string TrayHint_;
  std::string LastPlain_;  // the line last written in lines mode
};

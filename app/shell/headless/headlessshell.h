// The shell without a screen: it runs the window's timers on virtual time, records what the
// controller asked of it, and renders the composed window to a PNG file. Tests drive the program
// through it, and "korzem --snapshot" uses it to draw the window after some ticks.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/controls/eventqueue.h"
#include "app/window/mainform.h"

class THeadlessShell final : public IZemWindowShell {
 public:
  // advance moves the machine's virtual time by the given milliseconds before each timer event
  // (a simulated PC); empty when time need not move.
  explicit THeadlessShell(std::function<void(uint32_t)> advance = {});

  void Attach(TZemMainForm& form) { Form_ = &form; }

  // Runs the timers for ms milliseconds of virtual time: each enabled timer fires whenever its
  // interval has passed, the sampling tick before the animation tick when both are due.
  void RunFor(uint64_t ms);
  // Runs until the sampling timer has fired ticks more times.
  void RunTicks(uint32_t ticks);

  // The composed window: key-coloured pixels are outside its shape.
  TBitmap Compose() const;
  bool SaveSnapshot(const std::string& fileName) const;

  // What the controller asked for.
  bool WindowShown = true;
  bool TrayIconShown = false;
  std::string TrayHint;
  bool QuitCalled = false;
  int FrontRequests = 0;
  int Minimizes = 0;
  int Drags = 0;
  int Invalidates = 0;                             // areas the controller asked to repaint
  std::function<void(const TRect&)> OnInvalidate;  // each of them, when set
  uint64_t NowMs = 0;
  uint32_t SamplingTicks = 0;

  void ShowWindow() override { WindowShown = true; }
  void HideWindow() override { WindowShown = false; }
  void BringToFront() override { ++FrontRequests; }
  void Minimize() override { ++Minimizes; }
  void BeginDrag() override { ++Drags; }
  void ShowTrayIcon(bool visible) override { TrayIconShown = visible; }
  void SetTrayHint(const std::string& hint) override { TrayHint = hint; }
  void Invalidate(const TRect& area) override {
    ++Invalidates;
    if (OnInvalidate) OnInvalidate(area);
  }
  void Quit() override { QuitCalled = true; }

 private:
  void Step(uint64_t ms);

  std::function<void(uint32_t)> Advance_;
  TZemMainForm* Form_ = nullptr;
  uint64_t ZemDueMs_ = 0;
  uint64_t IndicatorDueMs_ = 0;
};

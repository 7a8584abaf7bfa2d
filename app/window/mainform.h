// TZemMainForm: the controller of the program's only window. It owns the program's context and
// the window's scene, samples the hardware on every tick of its sampling timer, accumulates the
// energy consumed and saved, paints the seven-segment read-outs onto the background picture,
// switches energy saving through the engine and hides to the tray. It knows no toolkit: a shell
// shows the scene, runs the two timers as the controller sets them, and delivers events by
// calling the handlers below.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/core/zemcontext.h"
#include "app/gfx/imagecontrol.h"
#include "app/scene/scene.h"

// What the controller asks of the shell that shows it.
class IZemWindowShell {
 public:
  virtual ~IZemWindowShell() = default;
  virtual void ShowWindow() = 0;    // the application and the window, shown normally
  virtual void HideWindow() = 0;    // both hidden (the program lives in the tray)
  virtual void BringToFront() = 0;  // after a second start asked to restore
  virtual void Minimize() = 0;      // the ordinary system minimise
  virtual void BeginDrag() = 0;     // the left button drags the borderless window
  virtual void ShowTrayIcon(bool visible) = 0;
  virtual void SetTrayHint(const std::string& hint) = 0;
  virtual void Invalidate() = 0;  // the scene or the background changed: repaint
  virtual void Quit() = 0;        // the window has closed: leave the event loop
};

struct TZemTimer {
  bool Enabled = false;
  uint32_t IntervalMs = 0;
};

class TZemMainForm {
 public:
  // Everything must outlive the form. fileVersion is shown by the right-click box.
  TZemMainForm(TZemHost& host, std::unique_ptr<TScene> scene, IZemWindowShell& shell,
               std::string fileVersion);
  ~TZemMainForm();
  TZemMainForm(const TZemMainForm&) = delete;
  TZemMainForm& operator=(const TZemMainForm&) = delete;

  // --- life (start-up and shutdown) ---
  // Window construction: the context's start-up checks. False when the program must end before
  // showing (every object is destroyed already).
  bool FormCreate();
  // First show: the services, the engine, and the window's first-show work.
  void FormShow();
  void FormActivate();
  // Any close: refused (the window goes to the tray) while energy saving is on and no exit was
  // asked for; otherwise the objects are destroyed in order and the shell quits.
  bool Close();
  bool Closed() const { return Closed_; }

  // --- timers (the shell runs them as set here) ---
  void ZemTimerTimer();
  void IndicatorTimerTimer();
  TZemTimer ZemTimer;
  TZemTimer IndicatorTimer;

  // --- component events ---
  void ZemOffImageEnClick();  // switch on
  void ZemOnImageEnClick();   // switch off
  void DurationImageEnClick();
  void TotalImageEnClick();
  void ResetImageEnClick();
  void AutoRunOffImageEnClick();
  void AutoRunOnImageEnClick();
  void MinimizeImageEnClick();
  void CloseImageEnClick() { Close(); }
  void BackgroundImageMouseDown(TMouseButton button);
  void ZemTrayRestoreClick() { RestoreFromTray(false); }
  void ZemTrayCloseClick() { Exit(); }

  // --- messages ---
  void RestoreRequest() { RestoreFromTray(true); }  // a second start asked to be shown
  void ExitRequest() { Exit(); }                    // "/UNINSTALL" of a second start
  bool QueryEndSession();                           // the session ends: exit, and allow it
  void PowerResume();                               // back from sleep

  // --- state, for shells and tests ---
  TZemContext& Context() { return *Context_; }
  bool HasContext() const { return Context_ != nullptr; }
  TScene& Scene() { return *Scene_; }
  bool ZemOn() const;
  bool TrayIconVisible() const { return TrayVisible_; }
  const std::string& TrayHint() const { return TrayHint_; }
  const std::string& DurationOffHint() const { return Context_->DurationOffHint; }
  bool StartupFailed = false;
  bool SavingShown = false;
  bool CanExit = true;
  int32_t ElapsedMs = 0, Seconds = 0, Minutes = 0, Hours = 0, Days = 0;
  float TickSavedKJ = 0;
  float SpeedMax = 0, SpeedStep = 0, VcoreMax = 0, VcoreStep = 0;
  int32_t SpeedTarget = 0, SpeedShown = 0, VcoreTarget = 0, VcoreShown = 0;
  double SinceElapsed = 0;
  int32_t PhaseFrame = 0, PigFrame = 0;
  bool AutoRunOn = false;
  std::string CpuSpeedText, VcoreText, PowerText, PeriodKJText, TotalKJText, ConsumedKJText;
  // The system's date and time separators for the dim start date of the off look.
  char DateSeparator = '/';
  char TimeSeparator = ':';

 private:
  void FirstShow();
  void SetSpeedScale();
  void SetInitialScales();
  void ShowAutorunState();
  void ShowModeLook();
  void ShowOffLook();
  void PaintStartDate(TColour lit, char dateSeparator, char timeSeparator);
  void PaintOffMasks();
  void RefreshDisplay();
  void PaintPeriodOrTotal(TColour lit);
  void GoToTray();
  void RestoreFromTray(bool request);
  void Exit();
  void DestroyObjects();
  bool SwitchOnAllowed();
  std::string TrayHintText() const;
  void Message(const std::string& text, TMessageIcon icon);

  TZemHost& Host_;
  std::unique_ptr<TZemContext> Context_;
  std::unique_ptr<TScene> Scene_;
  IZemWindowShell& Shell_;
  std::string FileVersion_;
  TImageControl Painter_;
  bool TrayVisible_ = false;
  std::string TrayHint_;
  bool Closed_ = false;
};

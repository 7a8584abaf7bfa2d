// TZemMainForm: the controller of the program's only window. It owns the program's context and
// the window's scene, samples the hardware on every tick of its sampling timer, accumulates the
// energy consumed and saved, switches energy saving through the engine and hides to the tray.
// It knows no toolkit: events come in through the handlers below, and what the window shows goes
// out as the scene (pictures, buttons, the background with the read-outs painted on it) and the
// read-out record (the same figures as data). A shell shows either, runs the two timers as the
// controller sets them, and repaints the areas the controller names.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "app/core/zemcontext.h"
#include "app/gfx/imagecontrol.h"
#include "app/scene/scene.h"
#include "app/window/readouts.h"

// What the controller asks of the shell that shows it.
class IZemWindowShell {
 public:
  virtual ~IZemWindowShell() = default;
  // The application and the window, shown normally and drawn whole (the controller names no
  // areas while the window is hidden).
  virtual void ShowWindow() = 0;
  virtual void HideWindow() = 0;    // both hidden (the program lives in the tray)
  virtual void BringToFront() = 0;  // after a second start asked to restore
  virtual void Minimize() = 0;      // the ordinary system minimise
  virtual void BeginDrag() = 0;     // the left button drags the borderless window
  virtual void ShowTrayIcon(bool visible) = 0;
  virtual void SetTrayHint(const std::string& hint) = 0;
  // This part of the window (background pixels) changed: repaint it from the scene.
  virtual void Invalidate(const TRect& area) = 0;
  virtual void Quit() = 0;  // the window has closed: leave the event loop
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
  const TZemTimer& ZemTimer() const { return ZemTimer_; }
  const TZemTimer& IndicatorTimer() const { return IndicatorTimer_; }

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

  // --- what the window shows ---
  // The figures as last refreshed; shells render from it.
  const TZemReadouts& Readouts() const { return Readouts_; }
  TScene& Scene() { return *Scene_; }
  bool ZemOn() const;
  bool TrayIconVisible() const { return TrayVisible_; }
  const std::string& TrayHint() const { return Readouts_.TrayHint; }
  // The system's date and time separators, for the start date of the off look.
  void SetDateTimeSeparators(char date, char time);

  // --- life, for the program's entry and tests ---
  bool StartupFailed() const { return StartupFailed_; }
  bool CanExit() const { return CanExit_; }
  // The program's objects (the engine, the model file); null after exit.
  TZemContext& Context() { return *Context_; }
  bool HasContext() const { return Context_ != nullptr; }

 private:
  void FirstShow();
  void SetSpeedScale();
  void SetInitialScales();
  void ShowAutorunState();
  void ShowModeLook();
  void ShowOffLook();
  void SetStartDate(TReadoutLook look, char dateSeparator, char timeSeparator);
  void SetOffMasks();
  void RefreshDisplay();
  void SetPeriodOrTotal(TReadoutLook look);
  void SetReadout(TReadoutId id, TReadoutLook look, std::string text = {});
  void GoToTray();
  void RestoreFromTray(bool request);
  void Exit();
  void DestroyObjects();
  bool SwitchOnAllowed();
  std::string TrayHintText() const;
  void Message(const std::string& text, TMessageIcon icon);
  // Shows a frame of an image list on a component; the component's area is repainted only when
  // the frame is a new one.
  void ShowFrame(const char* component, const std::string& list, int32_t frame);

  // The end of every event: the record's derived fields, then the read-outs whose text or look
  // changed are painted (none while hidden).
  void Publish();
  void PaintChangedReadouts();
  void InvalidateComponent(const char* name);
  void InvalidateWindow();

  TZemHost& Host_;
  std::unique_ptr<TZemContext> Context_;
  std::unique_ptr<TScene> Scene_;
  IZemWindowShell& Shell_;
  std::string FileVersion_;
  TImageControl Painter_;
  TZemTimer ZemTimer_;
  TZemTimer IndicatorTimer_;
  bool TrayVisible_ = false;
  bool Closed_ = false;
  bool StartupFailed_ = false;
  bool SavingShown_ = false;
  bool CanExit_ = true;
  float TickSavedKJ_ = 0;
  // Indicator scales: they only grow during a run.
  float SpeedMax_ = 0, SpeedStep_ = 0, VcoreMax_ = 0, VcoreStep_ = 0;
  char DateSeparator_ = '/';
  char TimeSeparator_ = ':';
  // The last tick's clock (MHz), core voltage (V) and power (W); formatted only when shown.
  bool Sampled_ = false;
  float Clock_ = 0, Vcore_ = 0, Power_ = 0;
  // The saving figures as last formatted: the tray hint shows them.
  std::string PeriodKJText_, TotalKJText_;
  int32_t PhaseFrame_ = 0, PigFrame_ = 0;

  TZemReadouts Readouts_;
  // What the background shows of each read-out, so that only changes are painted.
  std::array<TReadoutState, kReadoutCount> Painted_{};
};

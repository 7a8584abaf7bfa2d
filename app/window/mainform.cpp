#include "app/window/mainform.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/trace.h"
#include "chips/gpiobase.h"
#include "chips/gpiocontrol.h"
#include "chips/hwm.h"
#include "engine/cfg.h"
#include "engine/zemctrl.h"
#include "hw/initfile.h"
#include "os/localtime.h"
#include "os/messagebox.h"
#include "platform/cpu.h"
#include "platform/korspec.h"
#include "winpower/autorun.h"

namespace {

constexpr int kIndicatorFrames = 10;
constexpr uint32_t kShownIntervalMs = 1000;
constexpr uint32_t kTrayIntervalMs = 5000;
constexpr uint32_t kIndicatorIntervalMs = 500;

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%0.*f", decimals, value);
  return text;
}

std::string TwoDigits(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", value);
  return text;
}

// The animation of a number of active phases; empty for a count that has none.
std::string PhaseList(int32_t phases) {
  if (phases == 1 || phases == 2 || phases == 3 || phases == 4 || phases == 8)
    return "Phase" + std::to_string(phases) + "ImageList";
  return {};
}

}  // namespace

TZemMainForm::TZemMainForm(TZemHost& host, std::unique_ptr<TScene> scene, IZemWindowShell& shell,
                           std::string fileVersion)
    : Host_(host),
      Context_(std::make_unique<TZemContext>(host)),
      Scene_(std::move(scene)),
      Shell_(shell),
      FileVersion_(std::move(fileVersion)) {
  ZemTimer_.IntervalMs = kShownIntervalMs;
  IndicatorTimer_.IntervalMs = kIndicatorIntervalMs;
  Scene_->OnBackgroundMouseDown = [this](TMouseButton button) { BackgroundImageMouseDown(button); };
  auto click = [this](const char* name, void (TZemMainForm::*handler)()) {
    if (Scene_->Find(name) != nullptr)
      Scene_->ImageEn(name).OnClick = [this, handler] { (this->*handler)(); };
  };
  click("ZemOffImageEn", &TZemMainForm::ZemOffImageEnClick);
  click("ZemOnImageEn", &TZemMainForm::ZemOnImageEnClick);
  click("DurationImageEn", &TZemMainForm::DurationImageEnClick);
  click("TotalImageEn", &TZemMainForm::TotalImageEnClick);
  click("ResetImageEn", &TZemMainForm::ResetImageEnClick);
  click("AutoRunOffImageEn", &TZemMainForm::AutoRunOffImageEnClick);
  click("AutoRunOnImageEn", &TZemMainForm::AutoRunOnImageEnClick);
  click("MinimizeImageEn", &TZemMainForm::MinimizeImageEnClick);
  click("CloseImageEn", &TZemMainForm::CloseImageEnClick);
}

TZemMainForm::~TZemMainForm() {
  DestroyObjects();
}

void TZemMainForm::DestroyObjects() {
  Context_.reset();
}

void TZemMainForm::Message(const std::string& text, TMessageIcon icon) {
  Host_.Messages.Show(Host_.Texts.MsgTitle, text, icon);
}

bool TZemMainForm::ZemOn() const {
  return Scene_->Visible("ZemOnBtnPanel");
}

void TZemMainForm::SetDateTimeSeparators(char date, char time) {
  DateSeparator_ = date;
  TimeSeparator_ = time;
}

// --- what the window shows ---

void TZemMainForm::SetReadout(TReadoutId id, TReadoutLook look, std::string text) {
  Readouts_[id] = TReadoutState{look, std::move(text)};
}

void TZemMainForm::Publish() {
  TZemReadouts& r = Readouts_;
  r.Running = !Closed_ && Context_ && Context_->Zem && Context_->Cfg;
  r.Hidden = TrayVisible_;
  r.SavingShown = SavingShown_;
  r.SavingOn = ZemOn();
  if (Context_) r.SavingHint = Context_->DurationOffHint;
  if (r.Running) {
    r.Mode = Context_->Cfg->WorkingMode;
    const TZemCtrl& zem = *Context_->Zem;
    r.PiggyBank = zem.PhaseSwitch() == 0;
    r.Phases = zem.PhaseCount();
    const std::string list = r.PiggyBank ? std::string("PigImageList") : PhaseList(r.Phases);
    r.AnimationFrames = list.empty() ? 0 : Scene_->FrameCount(list);
    r.AnimationFrame = r.PiggyBank ? PigFrame_ : PhaseFrame_;
  }
  PaintChangedReadouts();
}

void TZemMainForm::PaintChangedReadouts() {
  // Hidden, nothing is painted: the read-outs that changed meanwhile differ from what the
  // background shows and are painted when the window is shown again.
  if (TrayVisible_ || Closed_) return;
  TBitmap& background = Scene_->Background();
  for (const TReadoutPlace& place : ReadoutPlaces()) {
    const size_t index = static_cast<size_t>(place.Id);
    const TReadoutState& wanted = Readouts_.Readouts[index];
    if (wanted == Painted_[index]) continue;
    TRect area = ReadoutPaintBox(place);
    switch (wanted.Look) {
      case TReadoutLook::Untouched:
        break;
      case TReadoutLook::Erased:
        Painter_.Erase(background, place.Mask, place.SizePt, place.X, place.Y);
        break;
      case TReadoutLook::Unlit:
        Painter_.PaintMask(background, place.Mask, place.SizePt, place.Colours.Unlit, place.X,
                           place.Y);
        break;
      case TReadoutLook::Lit:
      case TReadoutLook::Dim: {
        const TColour ink =
            wanted.Look == TReadoutLook::Lit ? place.Colours.Lit : place.Colours.Dim;
        const std::string mask = place.Digits > 0
                                     ? TImageControl::MaskForValue(place.Digits, wanted.Text)
                                     : std::string(place.Mask);
        Painter_.PaintValueOverMask(background, mask, place.SizePt, ink, wanted.Text,
                                    place.Colours.Unlit, place.X, place.Y);
        // A value longer than its mask reaches to the left of it.
        const int right = place.X + MeasureSevenSegment(mask, place.SizePt).Width;
        area.Right = std::max(area.Right, right);
        area.Left =
            std::min(area.Left, right - MeasureSevenSegment(wanted.Text, place.SizePt).Width);
        break;
      }
    }
    Painted_[index] = wanted;
    Shell_.Invalidate(area);
  }
}

void TZemMainForm::InvalidateComponent(const char* name) {
  if (TrayVisible_) return;
  const TSceneComponent& c = Scene_->Component(name);
  Shell_.Invalidate(TRect{c.X, c.Y, c.X + c.Width(), c.Y + c.Height()});
}

void TZemMainForm::InvalidateWindow() {
  if (TrayVisible_) return;
  const TBitmap& background = Scene_->Background();
  Shell_.Invalidate(TRect{0, 0, background.Width(), background.Height()});
}

void TZemMainForm::ShowFrame(const char* component, const std::string& list, int32_t frame) {
  const TSceneComponent& c = Scene_->Component(component);
  if (c.Frame == frame && c.FrameList == list) return;
  if (Scene_->ShowFrame(component, list, frame)) InvalidateComponent(component);
}

// --- start-up ---

bool TZemMainForm::FormCreate() {
  // The tray icon is titled with the program's name until the first hint of the figures.
  Readouts_.TrayHint = Host_.Texts.MsgTitle;
  Shell_.SetTrayHint(Readouts_.TrayHint);
  if (!Context_->Construct()) {
    StartupFailed_ = true;
    DestroyObjects();
    Publish();
    return false;
  }
  SavingShown_ = Context_->SavingShown;
  SetSpeedScale();
  CanExit_ = false;
  Publish();
  return true;
}

void TZemMainForm::FormShow() {
  if (StartupFailed_) return;
  Context_->CreateServices();
  FirstShow();
  Publish();
}

// The clock indicator's full scale is the processor's top clock.
void TZemMainForm::SetSpeedScale() {
  const TCpu& cpu = *Context_->Cpu;
  SpeedMax_ = cpu.BusClock * cpu.RatioForMax;
  SpeedStep_ = SpeedMax_ / kIndicatorFrames;
}

void TZemMainForm::SetInitialScales() {
  SetSpeedScale();
  VcoreMax_ = Context_->Zem->GaugeMaxVoltage();
  VcoreStep_ = (VcoreMax_ - Context_->Cfg->VcoreMin) / kIndicatorFrames;
  Readouts_.SpeedTarget = Readouts_.SpeedFrame = Readouts_.VcoreTarget = Readouts_.VcoreFrame = 0;
}

void TZemMainForm::FirstShow() {
  SetInitialScales();
  const int32_t selector = Context_->Zem->PhaseSwitch();
  if (selector != 0) {
    Scene_->Hide("PigOffImage");
    Scene_->Hide("PigImage");
    Scene_->ShowFrame("PhaseOffImage", "PhaseOffImageList", selector - 1);
  } else {
    Scene_->Hide("PhaseOffImage");
    Scene_->Hide("PhaseImage");
  }
  Readouts_.AutoRunOn = AutorunEnabled(*Context_->AdvReg);
  ShowAutorunState();
  ResetImageEnClick();
  if (Context_->Zem->ReadStatus() == TZemCtrl::kStatusOn) {
    ZemOffImageEnClick();
  } else {
    // The window loads in its on look; energy saving found off shows the off look instead.
    ShowOffLook();
    SetOffMasks();
  }
  Readouts_.SpeedTarget = Readouts_.SpeedFrame = Readouts_.VcoreTarget = Readouts_.VcoreFrame = 0;
  InvalidateWindow();
}

void TZemMainForm::SetOffMasks() {
  if (Context_->Cfg->WorkingMode == 1) {
    Scene_->Show("DurationOffImage");
    for (TReadoutId id : {TReadoutId::PeriodDays, TReadoutId::PeriodHours,
                          TReadoutId::PeriodMinutes, TReadoutId::SavedKJ})
      SetReadout(id, TReadoutLook::Unlit);
  } else {
    Scene_->Show("TotalOffImage");
    for (TReadoutId id : {TReadoutId::StartDate, TReadoutId::StartTime, TReadoutId::SavedKJ})
      SetReadout(id, TReadoutLook::Unlit);
  }
  for (TReadoutId id : {TReadoutId::SinceDays, TReadoutId::SinceHours, TReadoutId::SinceMinutes,
                        TReadoutId::Power, TReadoutId::Consumed})
    SetReadout(id, TReadoutLook::Unlit);
}

void TZemMainForm::FormActivate() {
  if (StartupFailed_) return;
  if (Context_->Cfg->StartMinimize) {
    ZemTimer_.IntervalMs = kTrayIntervalMs;
    Shell_.HideWindow();
    TrayVisible_ = true;
    Shell_.ShowTrayIcon(true);
  } else {
    IndicatorTimer_.Enabled = true;
  }
  ZemTimer_.Enabled = true;
  Publish();
}

// --- ticks ---

void TZemMainForm::ZemTimerTimer() {
  if (!Context_ || !Context_->Zem) return;
  TZemContext& c = *Context_;
  TZemReadouts& r = Readouts_;
  const float clock = c.Cpu->MeasureClock();
  Clock_ = clock;
  if (clock > SpeedMax_) {
    SpeedMax_ = clock;
    SpeedStep_ = SpeedMax_ / kIndicatorFrames;
    r.SpeedTarget = kIndicatorFrames - 1;
  } else {
    r.SpeedTarget = SpeedStep_ > 0 ? std::min(static_cast<int32_t>(clock / SpeedStep_), 9) : 0;
  }

  c.Hwm->RefreshVcore();
  c.Zem->ComputePower();
  c.Zem->ComputeSaving();
  const float vcore = c.Hwm->GetVcore();
  Vcore_ = vcore;
  if (vcore > VcoreMax_) {
    VcoreMax_ = vcore;
    VcoreStep_ = (VcoreMax_ - c.Cfg->VcoreMin) / kIndicatorFrames;
    r.VcoreTarget = kIndicatorFrames - 1;
  } else {
    const float steps = VcoreStep_ > 0 ? (vcore - c.Cfg->VcoreMin) / VcoreStep_ : 0.0f;
    r.VcoreTarget = std::clamp(static_cast<int32_t>(steps), 0, 9);
  }
  Power_ = c.Zem->Wzem();
  Sampled_ = true;

  // Energy over this tick's interval; the interval is longer in the tray.
  const uint32_t interval = ZemTimer_.IntervalMs;
  const long double milli = 0.001L;
  c.Cfg->ConsumesKJ += static_cast<long double>(c.Zem->Wzem()) * milli * interval * milli;
  TickSavedKJ_ =
      static_cast<float>(static_cast<long double>(c.Zem->Wsaving()) * milli * interval * milli);
  c.Cfg->DurationKJ += TickSavedKJ_;
  c.Cfg->TotalKJ += TickSavedKJ_;

  r.PeriodElapsedMs += static_cast<int32_t>(interval);
  if (r.PeriodElapsedMs > 1000) {
    const int32_t q = r.PeriodElapsedMs / 1000;
    r.PeriodElapsedMs -= q * 1000;
    r.PeriodSeconds += q;
  }
  if (r.PeriodSeconds >= 60) {
    r.PeriodSeconds = 0;  // whole minutes only: the excess seconds are dropped
    if (++r.Period.Minutes >= 60) {
      r.Period.Minutes = 0;
      if (++r.Period.Hours >= 24) {
        r.Period.Hours = 0;
        ++r.Period.Days;
      }
    }
  }
  RefreshDisplay();
  Publish();
}

void TZemMainForm::IndicatorTimerTimer() {
  if (!Context_ || !Context_->Zem) return;
  TZemReadouts& r = Readouts_;
  auto glide = [](int32_t& shown, int32_t target) {
    if (shown < target) ++shown;
    if (shown > target) --shown;
  };
  glide(r.SpeedFrame, r.SpeedTarget);
  ShowFrame("CpuSpeedIndicatorImage", "IndicatorImageList", r.SpeedFrame);
  glide(r.VcoreFrame, r.VcoreTarget);
  ShowFrame("VcoreIndicatorImage", "IndicatorImageList", r.VcoreFrame);
  if (ZemOn()) {
    if (Scene_->Visible("PhaseImage")) {
      const std::string list = PhaseList(Context_->Zem->PhaseCount());
      if (!list.empty()) {
        if (++PhaseFrame_ >= Scene_->FrameCount(list)) PhaseFrame_ = 0;
        ShowFrame("PhaseImage", list, PhaseFrame_);
      }
    } else if (Scene_->Visible("PigImage")) {
      if (++PigFrame_ >= Scene_->FrameCount("PigImageList")) PigFrame_ = 0;
      ShowFrame("PigImage", "PigImageList", PigFrame_);
    }
  }
  Publish();
}

// --- display ---

std::string TZemMainForm::TrayHintText() const {
  const TZemTexts& texts = Host_.Texts;
  if (Context_->Cfg->WorkingMode == 1) return texts.LblPowerSaving + PeriodKJText_ + texts.LblKJ;
  return texts.LblTotalSaving + TotalKJText_ + texts.LblKJ;
}

void TZemMainForm::SetPeriodOrTotal(TReadoutLook look) {
  TCfg& cfg = *Context_->Cfg;
  const TReadoutSpan& period = Readouts_.Period;
  if (cfg.WorkingMode == 1) {
    SetReadout(TReadoutId::PeriodDays, look, std::to_string(period.Days));
    SetReadout(TReadoutId::PeriodHours, look, std::to_string(period.Hours));
    SetReadout(TReadoutId::PeriodMinutes, look, std::to_string(period.Minutes));
    PeriodKJText_ = Fixed(cfg.DurationKJ, 3);
    SetReadout(TReadoutId::SavedKJ, look, PeriodKJText_);
  } else {
    TotalKJText_ = Fixed(cfg.TotalKJ, 3);
    SetReadout(TReadoutId::SavedKJ, look, TotalKJText_);
  }
}

void TZemMainForm::RefreshDisplay() {
  TCfg& cfg = *Context_->Cfg;
  if (TrayVisible_) {
    if (cfg.WorkingMode == 1) {
      PeriodKJText_ = Fixed(cfg.DurationKJ, 3);
    } else {
      TotalKJText_ = Fixed(cfg.TotalKJ, 3);
    }
    Readouts_.TrayHint = TrayHintText();
    Shell_.SetTrayHint(Readouts_.TrayHint);
    return;
  }
  if (SavingShown_ && ZemOn()) SetPeriodOrTotal(TReadoutLook::Lit);

  const double sinceElapsed = EncodeDateTime(Host_.Clock.Now()) - cfg.ZemStartDate;
  const double days = std::trunc(sinceElapsed);
  const auto minuteOfDay = static_cast<int32_t>(std::floor((sinceElapsed - days) * 24 * 60 + 1e-9));
  TReadoutSpan& since = Readouts_.Since;
  since = TReadoutSpan{static_cast<int32_t>(days), minuteOfDay / 60, minuteOfDay % 60};
  SetReadout(TReadoutId::SinceDays, TReadoutLook::Lit, Fixed(days, 0));
  SetReadout(TReadoutId::SinceHours, TReadoutLook::Lit, std::to_string(since.Hours));
  SetReadout(TReadoutId::SinceMinutes, TReadoutLook::Lit, std::to_string(since.Minutes));
  // Before the first tick the figures are empty: only their masks show.
  SetReadout(TReadoutId::Power, TReadoutLook::Lit, Sampled_ ? Fixed(Power_, 1) : std::string());
  const auto consumed = static_cast<float>(cfg.ConsumesKJ);
  SetReadout(TReadoutId::Consumed, TReadoutLook::Lit,
             Fixed(consumed, consumed >= 10000000.0f  ? 1
                             : consumed >= 1000000.0f ? 2
                                                      : 3));
  SetReadout(TReadoutId::CpuSpeed, TReadoutLook::Lit, Sampled_ ? Fixed(Clock_, 1) : std::string());
  SetReadout(TReadoutId::Vcore, TReadoutLook::Lit, Sampled_ ? Fixed(Vcore_, 4) : std::string());
}

void TZemMainForm::SetStartDate(TReadoutLook look, char dateSeparator, char timeSeparator) {
  const std::optional<TLocalDateTime> start = ParseDateTime(Context_->Cfg->ZemStartDateTime);
  const TLocalDateTime when = start.value_or(TLocalDateTime{});
  char date[32];
  char time[32];
  std::snprintf(date, sizeof date, "%04d%c%s%c%s", when.Year, dateSeparator,
                TwoDigits(when.Month).c_str(), dateSeparator, TwoDigits(when.Day).c_str());
  std::snprintf(time, sizeof time, "%s%c%s%c%s", TwoDigits(when.Hour).c_str(), timeSeparator,
                TwoDigits(when.Minute).c_str(), timeSeparator, TwoDigits(when.Second).c_str());
  SetReadout(TReadoutId::StartDate, look, date);
  SetReadout(TReadoutId::StartTime, look, time);
}

void TZemMainForm::ShowModeLook() {
  if (Context_->Cfg->WorkingMode == 1) {
    Scene_->Move("LightImage", 334, 87);
    for (const char* name : {"TotalImage", "SinceImage", "DashImage"}) Scene_->Hide(name);
    for (const char* name : {"DurationImage", "DayImage", "HrImage", "MinImage", "ResetBtnPanel"})
      Scene_->Show(name);
  } else {
    Scene_->Move("LightImage", 334, 102);
    for (const char* name : {"DurationImage", "DayImage", "HrImage", "MinImage", "ResetBtnPanel"})
      Scene_->Hide(name);
    for (const char* name : {"TotalImage", "SinceImage", "DashImage"}) Scene_->Show(name);
    SetStartDate(TReadoutLook::Lit, '/', ':');
  }
  InvalidateWindow();
}

// --- switching ---

bool TZemMainForm::SwitchOnAllowed() {
  TZemContext& c = *Context_;
  if (c.Cpu->SpeedStepAvailable && !c.KorSpec->AcpiPStates()) {
    Message(c.Cpu->IsAMDCpu() ? Host_.Texts.MsgEnableCoolnQuiet : Host_.Texts.MsgEnableSpeedStep,
            TMessageIcon::Information);
    return false;
  }
  if (c.KorSpec->ModelName() != "TR900 Plus") {
    TraceLine(" NOT >>> TR900 Plus");
    return true;
  }
  // This board's regulator only saves energy with its VDroop strap set in the BIOS.
  TraceLine("TR900 Plus Check Shallow");
  std::unique_ptr<TGpioBase> gpio = CreateGpio(kGpioIt8720, *c.Rw, c.Sio.get());
  const bool high = gpio && gpio->Matches("GPIO14=High");
  gpio.reset();
  if (!high) {
    TraceLine("TR900 Plus Check Shallow >>>> Not High");
    Message(Host_.Texts.MsgEnableVDroop, TMessageIcon::Information);
    return false;
  }
  TraceLine("TR900 Plus Check Shallow >>>> High");
  return true;
}

void TZemMainForm::ZemOffImageEnClick() {
  if (!Context_ || !SwitchOnAllowed()) return;
  if (Context_->Zem->PhaseSwitch() != 0) {
    Scene_->Hide("PhaseOffImage");
    Scene_->Show("PhaseImage");
  } else {
    Scene_->Hide("PigOffImage");
    Scene_->Show("PigImage");
  }
  Context_->Zem->SwitchOn();
  Scene_->Hide("ZemOffBtnPanel");
  Scene_->Show("ZemOnBtnPanel");
  CanExit_ = false;
  if (SavingShown_) {
    Scene_->Hide("DurationOffImage");
    Scene_->Hide("TotalOffImage");
    Scene_->Show("On3Image");
    ShowModeLook();
    for (const char* name : {"LightImage", "DurationImageEn", "TotalImageEn"}) Scene_->Show(name);
  }
  InvalidateWindow();
  Publish();
}

void TZemMainForm::ShowOffLook() {
  Scene_->Hide("ZemOnBtnPanel");
  Scene_->Show("ZemOffBtnPanel");
  for (const char* name : {"DurationImage", "TotalImage", "LightImage", "On3Image", "PhaseImage",
                           "DurationImageEn", "TotalImageEn", "ResetBtnPanel", "PigImage"})
    Scene_->Hide(name);
  CanExit_ = true;
  Scene_->Show(Context_->Zem->PhaseSwitch() != 0 ? "PhaseOffImage" : "PigOffImage");
}

void TZemMainForm::ZemOnImageEnClick() {
  if (!Context_) return;
  ShowOffLook();
  Context_->Zem->SwitchOff();
  if (SavingShown_) {
    // The saving figures stay as they were at the switch, dimmed, until energy saving is on again.
    if (Context_->Cfg->WorkingMode == 1) {
      Scene_->Show("DurationOffImage");
      SetPeriodOrTotal(TReadoutLook::Dim);
    } else {
      Scene_->Show("TotalOffImage");
      SetPeriodOrTotal(TReadoutLook::Dim);
      SetStartDate(TReadoutLook::Dim, DateSeparator_, TimeSeparator_);
    }
  }
  InvalidateWindow();
  Publish();
}

void TZemMainForm::DurationImageEnClick() {
  if (!Context_ || !Context_->Zem) return;
  if (!SavingShown_ || Context_->Cfg->WorkingMode == 1) return;
  Context_->Cfg->WorkingMode = 1;
  SetReadout(TReadoutId::StartDate, TReadoutLook::Erased);
  SetReadout(TReadoutId::StartTime, TReadoutLook::Erased);
  ShowModeLook();
  Publish();
}

void TZemMainForm::TotalImageEnClick() {
  if (!Context_ || !Context_->Zem) return;
  if (!SavingShown_ || Context_->Cfg->WorkingMode == 2) return;
  Context_->Cfg->WorkingMode = 2;
  for (TReadoutId id : {TReadoutId::PeriodDays, TReadoutId::PeriodHours, TReadoutId::PeriodMinutes})
    SetReadout(id, TReadoutLook::Erased);
  ShowModeLook();
  Publish();
}

void TZemMainForm::ResetImageEnClick() {
  if (!Context_ || !Context_->Zem) return;
  Readouts_.PeriodElapsedMs = Readouts_.PeriodSeconds = 0;
  Readouts_.Period = TReadoutSpan{};
  Context_->Cfg->DurationKJ = 0;
  Publish();
}

void TZemMainForm::ShowAutorunState() {
  const bool on = Readouts_.AutoRunOn;
  Scene_->SetVisible("AutoRunOffBtnPanel", !on);
  Scene_->SetVisible("AutoRunOnBtnPanel", on);
  Context_->Zem->AutoApply = on;
  InvalidateComponent("AutoRunOnBtnPanel");
}

void TZemMainForm::AutoRunOffImageEnClick() {
  if (!Context_ || !Context_->Zem) return;
  Readouts_.AutoRunOn = true;
  EnableAutorun(Context_->Init->OsVersion->OsKind, *Context_->AdvReg, *Context_->BoardPower);
  ShowAutorunState();
  Publish();
}

void TZemMainForm::AutoRunOnImageEnClick() {
  if (!Context_ || !Context_->Zem) return;
  Readouts_.AutoRunOn = false;
  DisableAutorun(Context_->Init->OsVersion->OsKind, *Context_->AdvReg, *Context_->BoardPower);
  ShowAutorunState();
  Publish();
}

// --- tray, close and exit ---

void TZemMainForm::MinimizeImageEnClick() {
  if (!Context_ || !Context_->Zem) return;
  if (ZemOn()) {
    GoToTray();
  } else {
    Shell_.Minimize();
  }
}

void TZemMainForm::GoToTray() {
  IndicatorTimer_.Enabled = false;
  ZemTimer_.IntervalMs = kTrayIntervalMs;
  TrayVisible_ = true;
  Shell_.ShowTrayIcon(true);
  Shell_.HideWindow();
  Context_->Cfg->StartMinimize = true;
  Readouts_.TrayHint = TrayHintText();
  Shell_.SetTrayHint(Readouts_.TrayHint);
  Publish();
}

void TZemMainForm::RestoreFromTray(bool request) {
  if (!Context_ || !Context_->Cfg) return;
  TrayVisible_ = false;
  Shell_.ShowTrayIcon(false);
  if (!request) Context_->Cfg->StartMinimize = false;
  Shell_.ShowWindow();
  IndicatorTimer_.Enabled = true;
  ZemTimer_.IntervalMs = kShownIntervalMs;
  if (Context_->Zem) RefreshDisplay();
  Publish();
  if (request) Shell_.BringToFront();
}

void TZemMainForm::Exit() {
  if (TrayVisible_) {
    TrayVisible_ = false;
    Shell_.ShowTrayIcon(false);
  }
  CanExit_ = true;
  Close();
}

bool TZemMainForm::Close() {
  if (Closed_) return true;
  if (!CanExit_) {
    GoToTray();
    return false;
  }
  ZemTimer_.Enabled = false;
  IndicatorTimer_.Enabled = false;
  DestroyObjects();
  Closed_ = true;
  Publish();
  Shell_.Quit();
  return true;
}

bool TZemMainForm::QueryEndSession() {
  Exit();
  return true;
}

void TZemMainForm::PowerResume() {
  if (Context_ && Context_->Zem && Context_->Zem->Status() == TZemCtrl::kStatusOn)
    Context_->Zem->SwitchOn();
}

void TZemMainForm::BackgroundImageMouseDown(TMouseButton button) {
  if (button == TMouseButton::Left) {
    Shell_.BeginDrag();
  } else if (button == TMouseButton::Right) {
    Message(Host_.Texts.MsgTitle + " " + FileVersion_, TMessageIcon::Information);
  }
}

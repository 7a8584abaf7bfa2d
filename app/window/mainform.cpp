#include "app/window/mainform.h"

#include "app/gfx/readoutcolours.h"

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

constexpr TColour kGreenLit = kReadoutGreen;
constexpr TColour kGreenUnlit = kReadoutGreenUnlit;
constexpr TColour kGreenDim = kReadoutGreenDim;
constexpr TColour kWhiteLit = kReadoutWhite;
constexpr TColour kWhiteUnlit = kReadoutWhiteUnlit;
constexpr TColour kOrangeLit = kReadoutOrange;
constexpr TColour kOrangeUnlit = kReadoutOrangeUnlit;

constexpr int kIndicatorFrames = 10;
constexpr uint32_t kShownIntervalMs = 1000;
constexpr uint32_t kTrayIntervalMs = 5000;

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

}  // namespace

TZemMainForm::TZemMainForm(TZemHost& host, std::unique_ptr<TScene> scene, IZemWindowShell& shell,
                           std::string fileVersion)
    : Host_(host),
      Context_(std::make_unique<TZemContext>(host)),
      Scene_(std::move(scene)),
      Shell_(shell),
      FileVersion_(std::move(fileVersion)) {
  ZemTimer.IntervalMs = kShownIntervalMs;
  IndicatorTimer.IntervalMs = 500;
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

// --- start-up ---

bool TZemMainForm::FormCreate() {
  // The tray icon is titled with the program's name until the first hint of the figures.
  TrayHint_ = Host_.Texts.MsgTitle;
  Shell_.SetTrayHint(TrayHint_);
  if (!Context_->Construct()) {
    StartupFailed = true;
    DestroyObjects();
    return false;
  }
  SavingShown = Context_->SavingShown;
  SetSpeedScale();
  CanExit = false;
  return true;
}

void TZemMainForm::FormShow() {
  if (StartupFailed) return;
  Context_->CreateServices();
  FirstShow();
}

// The clock indicator's full scale is the processor's top clock.
void TZemMainForm::SetSpeedScale() {
  const TCpu& cpu = *Context_->Cpu;
  SpeedMax = cpu.BusClock * cpu.RatioForMax;
  SpeedStep = SpeedMax / kIndicatorFrames;
}

void TZemMainForm::SetInitialScales() {
  SetSpeedScale();
  VcoreMax = Context_->Zem->GaugeMaxVoltage();
  VcoreStep = (VcoreMax - Context_->Cfg->VcoreMin) / kIndicatorFrames;
  SpeedTarget = SpeedShown = VcoreTarget = VcoreShown = 0;
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
  AutoRunOn = AutorunEnabled(*Context_->AdvReg);
  ShowAutorunState();
  ResetImageEnClick();
  if (Context_->Zem->ReadStatus() == TZemCtrl::kStatusOn) {
    ZemOffImageEnClick();
  } else {
    // The window loads in its on look; energy saving found off shows the off look instead.
    ShowOffLook();
    PaintOffMasks();
  }
  SpeedTarget = SpeedShown = VcoreTarget = VcoreShown = 0;
  Shell_.Invalidate();
}

void TZemMainForm::PaintOffMasks() {
  TBitmap& bg = Scene_->Background();
  if (Context_->Cfg->WorkingMode == 1) {
    Scene_->Show("DurationOffImage");
    Painter_.PaintMask(bg, "8888", 22, kGreenUnlit, 136, 117);
    Painter_.PaintMask(bg, "88", 22, kGreenUnlit, 227, 117);
    Painter_.PaintMask(bg, "88", 22, kGreenUnlit, 280, 117);
    Painter_.PaintMask(bg, "888888.888", 22, kGreenUnlit, 176, 89);
  } else {
    Scene_->Show("TotalOffImage");
    Painter_.PaintMask(bg, "8888/88/88", 18, kGreenUnlit, 142, 121);
    Painter_.PaintMask(bg, "88:88:88", 18, kGreenUnlit, 270, 121);
    Painter_.PaintMask(bg, "888888.888", 22, kGreenUnlit, 176, 89);
  }
  Painter_.PaintMask(bg, "8888", 18, kWhiteUnlit, 169, 180);
  Painter_.PaintMask(bg, "88", 18, kWhiteUnlit, 257, 180);
  Painter_.PaintMask(bg, "88", 18, kWhiteUnlit, 309, 180);
  Painter_.PaintMask(bg, "888.8", 18, kWhiteUnlit, 83, 188);
  Painter_.PaintMask(bg, "888888.888", 18, kWhiteUnlit, 230, 207);
}

void TZemMainForm::FormActivate() {
  if (StartupFailed) return;
  if (Context_->Cfg->StartMinimize) {
    ZemTimer.IntervalMs = kTrayIntervalMs;
    Shell_.HideWindow();
    TrayVisible_ = true;
    Shell_.ShowTrayIcon(true);
  } else {
    IndicatorTimer.Enabled = true;
  }
  ZemTimer.Enabled = true;
}

// --- ticks ---

void TZemMainForm::ZemTimerTimer() {
  if (!Context_ || !Context_->Zem) return;
  TZemContext& c = *Context_;
  const float clock = c.Cpu->MeasureClock();
  CpuSpeedText = Fixed(clock, 1);
  if (clock > SpeedMax) {
    SpeedMax = clock;
    SpeedStep = SpeedMax / kIndicatorFrames;
    SpeedTarget = kIndicatorFrames - 1;
  } else {
    SpeedTarget = SpeedStep > 0 ? std::min(static_cast<int32_t>(clock / SpeedStep), 9) : 0;
  }

  c.Hwm->RefreshVcore();
  c.Zem->ComputePower();
  c.Zem->ComputeSaving();
  const float vcore = c.Hwm->GetVcore();
  VcoreText = Fixed(vcore, 4);
  if (vcore > VcoreMax) {
    VcoreMax = vcore;
    VcoreStep = (VcoreMax - c.Cfg->VcoreMin) / kIndicatorFrames;
    VcoreTarget = kIndicatorFrames - 1;
  } else {
    const float steps = VcoreStep > 0 ? (vcore - c.Cfg->VcoreMin) / VcoreStep : 0.0f;
    VcoreTarget = std::clamp(static_cast<int32_t>(steps), 0, 9);
  }
  PowerText = Fixed(c.Zem->Wzem(), 1);

  // Energy over this tick's interval; the interval is longer in the tray.
  const uint32_t interval = ZemTimer.IntervalMs;
  const long double milli = 0.001L;
  c.Cfg->ConsumesKJ += static_cast<long double>(c.Zem->Wzem()) * milli * interval * milli;
  TickSavedKJ =
      static_cast<float>(static_cast<long double>(c.Zem->Wsaving()) * milli * interval * milli);
  c.Cfg->DurationKJ += TickSavedKJ;
  c.Cfg->TotalKJ += TickSavedKJ;

  ElapsedMs += static_cast<int32_t>(interval);
  if (ElapsedMs > 1000) {
    const int32_t q = ElapsedMs / 1000;
    ElapsedMs -= q * 1000;
    Seconds += q;
  }
  if (Seconds >= 60) {
    Seconds = 0;  // whole minutes only: the excess seconds are dropped
    if (++Minutes >= 60) {
      Minutes = 0;
      if (++Hours >= 24) {
        Hours = 0;
        ++Days;
      }
    }
  }
  RefreshDisplay();
}

void TZemMainForm::IndicatorTimerTimer() {
  if (!Context_ || !Context_->Zem) return;
  auto glide = [](int32_t& shown, int32_t target) {
    if (shown < target) ++shown;
    if (shown > target) --shown;
  };
  glide(SpeedShown, SpeedTarget);
  Scene_->ShowFrame("CpuSpeedIndicatorImage", "IndicatorImageList", SpeedShown);
  glide(VcoreShown, VcoreTarget);
  Scene_->ShowFrame("VcoreIndicatorImage", "IndicatorImageList", VcoreShown);
  if (ZemOn() && Context_ && Context_->Zem) {
    if (Scene_->Visible("PhaseImage")) {
      const int32_t phases = Context_->Zem->PhaseCount();
      if (phases == 1 || phases == 2 || phases == 3 || phases == 4 || phases == 8) {
        const std::string list = "Phase" + std::to_string(phases) + "ImageList";
        if (++PhaseFrame >= Scene_->FrameCount(list)) PhaseFrame = 0;
        Scene_->ShowFrame("PhaseImage", list, PhaseFrame);
      }
    } else if (Scene_->Visible("PigImage")) {
      if (++PigFrame >= Scene_->FrameCount("PigImageList")) PigFrame = 0;
      Scene_->ShowFrame("PigImage", "PigImageList", PigFrame);
    }
  }
  Shell_.Invalidate();
}

// --- display ---

std::string TZemMainForm::TrayHintText() const {
  const TZemTexts& texts = Host_.Texts;
  if (Context_->Cfg->WorkingMode == 1) return texts.LblPowerSaving + PeriodKJText + texts.LblKJ;
  return texts.LblTotalSaving + TotalKJText + texts.LblKJ;
}

void TZemMainForm::PaintPeriodOrTotal(TColour lit) {
  TBitmap& bg = Scene_->Background();
  TCfg& cfg = *Context_->Cfg;
  if (cfg.WorkingMode == 1) {
    Painter_.PaintValue(bg, 4, 22, lit, std::to_string(Days), kGreenUnlit, 136, 117);
    Painter_.PaintValue(bg, 2, 22, lit, std::to_string(Hours), kGreenUnlit, 227, 117);
    Painter_.PaintValue(bg, 2, 22, lit, std::to_string(Minutes), kGreenUnlit, 280, 117);
    PeriodKJText = Fixed(cfg.DurationKJ, 3);
    Painter_.PaintValue(bg, 10, 22, lit, PeriodKJText, kGreenUnlit, 176, 89);
  } else {
    TotalKJText = Fixed(cfg.TotalKJ, 3);
    Painter_.PaintValue(bg, 10, 22, lit, TotalKJText, kGreenUnlit, 176, 89);
  }
}

void TZemMainForm::RefreshDisplay() {
  TCfg& cfg = *Context_->Cfg;
  if (TrayVisible_) {
    if (cfg.WorkingMode == 1) {
      PeriodKJText = Fixed(cfg.DurationKJ, 3);
    } else {
      TotalKJText = Fixed(cfg.TotalKJ, 3);
    }
    TrayHint_ = TrayHintText();
    Shell_.SetTrayHint(TrayHint_);
    return;
  }
  if (SavingShown && ZemOn()) PaintPeriodOrTotal(kGreenLit);

  TBitmap& bg = Scene_->Background();
  SinceElapsed = EncodeDateTime(Host_.Clock.Now()) - cfg.ZemStartDate;
  const double days = std::trunc(SinceElapsed);
  const double dayFraction = SinceElapsed - days;
  const auto minuteOfDay = static_cast<int32_t>(std::floor(dayFraction * 24 * 60 + 1e-9));
  Painter_.PaintValue(bg, 4, 18, kWhiteLit, Fixed(days, 0), kWhiteUnlit, 169, 180);
  Painter_.PaintValue(bg, 2, 18, kWhiteLit, std::to_string(minuteOfDay / 60), kWhiteUnlit, 257,
                      180);
  Painter_.PaintValue(bg, 2, 18, kWhiteLit, std::to_string(minuteOfDay % 60), kWhiteUnlit, 309,
                      180);
  Painter_.PaintValue(bg, 5, 18, kWhiteLit, PowerText, kWhiteUnlit, 83, 188);
  const auto consumed = static_cast<float>(cfg.ConsumesKJ);
  ConsumedKJText = Fixed(consumed, consumed >= 10000000.0f ? 1 : consumed >= 1000000.0f ? 2 : 3);
  Painter_.PaintValue(bg, 10, 18, kWhiteLit, ConsumedKJText, kWhiteUnlit, 230, 207);
  Painter_.PaintValue(bg, 6, 16, kOrangeLit, CpuSpeedText, kOrangeUnlit, 177, 270);
  Painter_.PaintValue(bg, 6, 16, kOrangeLit, VcoreText, kOrangeUnlit, 154, 240);
  Shell_.Invalidate();
}

void TZemMainForm::PaintStartDate(TColour lit, char dateSeparator, char timeSeparator) {
  const std::optional<TLocalDateTime> start = ParseDateTime(Context_->Cfg->ZemStartDateTime);
  const TLocalDateTime when = start.value_or(TLocalDateTime{});
  char date[32];
  char time[32];
  std::snprintf(date, sizeof date, "%04d%c%s%c%s", when.Year, dateSeparator,
                TwoDigits(when.Month).c_str(), dateSeparator, TwoDigits(when.Day).c_str());
  std::snprintf(time, sizeof time, "%s%c%s%c%s", TwoDigits(when.Hour).c_str(), timeSeparator,
                TwoDigits(when.Minute).c_str(), timeSeparator, TwoDigits(when.Second).c_str());
  TBitmap& bg = Scene_->Background();
  Painter_.PaintValueOverMask(bg, "8888/88/88", 18, lit, date, kGreenUnlit, 142, 121);
  Painter_.PaintValueOverMask(bg, "88:88:88", 18, lit, time, kGreenUnlit, 270, 121);
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
    PaintStartDate(kGreenLit, '/', ':');
  }
  Shell_.Invalidate();
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
  CanExit = false;
  if (SavingShown) {
    Scene_->Hide("DurationOffImage");
    Scene_->Hide("TotalOffImage");
    Scene_->Show("On3Image");
    ShowModeLook();
    for (const char* name : {"LightImage", "DurationImageEn", "TotalImageEn"}) Scene_->Show(name);
  }
  Shell_.Invalidate();
}

void TZemMainForm::ShowOffLook() {
  Scene_->Hide("ZemOnBtnPanel");
  Scene_->Show("ZemOffBtnPanel");
  for (const char* name : {"DurationImage", "TotalImage", "LightImage", "On3Image", "PhaseImage",
                           "DurationImageEn", "TotalImageEn", "ResetBtnPanel", "PigImage"})
    Scene_->Hide(name);
  CanExit = true;
  Scene_->Show(Context_->Zem->PhaseSwitch() != 0 ? "PhaseOffImage" : "PigOffImage");
}

void TZemMainForm::ZemOnImageEnClick() {
  if (!Context_) return;
  ShowOffLook();
  Context_->Zem->SwitchOff();
  if (SavingShown) {
    if (Context_->Cfg->WorkingMode == 1) {
      Scene_->Show("DurationOffImage");
      PaintPeriodOrTotal(kGreenDim);
    } else {
      Scene_->Show("TotalOffImage");
      PaintPeriodOrTotal(kGreenDim);
      PaintStartDate(kGreenDim, DateSeparator, TimeSeparator);
    }
  }
  Shell_.Invalidate();
}

void TZemMainForm::DurationImageEnClick() {
  if (!Context_ || !Context_->Zem) return;
  if (!SavingShown || Context_->Cfg->WorkingMode == 1) return;
  Context_->Cfg->WorkingMode = 1;
  Painter_.Erase(Scene_->Background(), "8888/88/88", 18, 142, 121);
  Painter_.Erase(Scene_->Background(), "88:88:88", 18, 270, 121);
  ShowModeLook();
}

void TZemMainForm::TotalImageEnClick() {
  if (!Context_ || !Context_->Zem) return;
  if (!SavingShown || Context_->Cfg->WorkingMode == 2) return;
  Context_->Cfg->WorkingMode = 2;
  Painter_.Erase(Scene_->Background(), "8888", 22, 136, 117);
  Painter_.Erase(Scene_->Background(), "88", 22, 227, 117);
  Painter_.Erase(Scene_->Background(), "88", 22, 280, 117);
  ShowModeLook();
}

void TZemMainForm::ResetImageEnClick() {
  if (!Context_ || !Context_->Zem) return;
  ElapsedMs = Seconds = Minutes = Hours = Days = 0;
  Context_->Cfg->DurationKJ = 0;
}

void TZemMainForm::ShowAutorunState() {
  Scene_->SetVisible("AutoRunOffBtnPanel", !AutoRunOn);
  Scene_->SetVisible("AutoRunOnBtnPanel", AutoRunOn);
  Context_->Zem->AutoApply = AutoRunOn;
  Shell_.Invalidate();
}

void TZemMainForm::AutoRunOffImageEnClick() {
  if (!Context_ || !Context_->Zem) return;
  AutoRunOn = true;
  EnableAutorun(Context_->Init->OsVersion->OsKind, *Context_->AdvReg, *Context_->BoardPower);
  ShowAutorunState();
}

void TZemMainForm::AutoRunOnImageEnClick() {
  if (!Context_ || !Context_->Zem) return;
  AutoRunOn = false;
  DisableAutorun(Context_->Init->OsVersion->OsKind, *Context_->AdvReg, *Context_->BoardPower);
  ShowAutorunState();
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
  IndicatorTimer.Enabled = false;
  ZemTimer.IntervalMs = kTrayIntervalMs;
  TrayVisible_ = true;
  Shell_.ShowTrayIcon(true);
  Shell_.HideWindow();
  Context_->Cfg->StartMinimize = true;
  TrayHint_ = TrayHintText();
  Shell_.SetTrayHint(TrayHint_);
}

void TZemMainForm::RestoreFromTray(bool request) {
  if (!Context_ || !Context_->Cfg) return;
  TrayVisible_ = false;
  Shell_.ShowTrayIcon(false);
  if (!request) Context_->Cfg->StartMinimize = false;
  Shell_.ShowWindow();
  IndicatorTimer.Enabled = true;
  ZemTimer.IntervalMs = kShownIntervalMs;
  if (Context_->Zem) RefreshDisplay();
  if (request) Shell_.BringToFront();
}

void TZemMainForm::Exit() {
  if (TrayVisible_) {
    TrayVisible_ = false;
    Shell_.ShowTrayIcon(false);
  }
  CanExit = true;
  Close();
}

bool TZemMainForm::Close() {
  if (Closed_) return true;
  if (!CanExit) {
    GoToTray();
    return false;
  }
  ZemTimer.Enabled = false;
  IndicatorTimer.Enabled = false;
  DestroyObjects();
  Closed_ = true;
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

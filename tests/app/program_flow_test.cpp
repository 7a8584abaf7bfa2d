// The whole program on a simulated board through the headless shell: start-up, first show,
// sampling ticks with the period clock and the energy sums, switching, modes, tray, exit, and what
// the model file holds afterwards.
#include <gtest/gtest.h>

#include <cmath>

#include "app/scene/mainlayout.h"
#include "app/shell/headless/headlessshell.h"
#include "app/window/mainform.h"
#include "chips/gpiobase.h"
#include "chips/gpiocontrol.h"
#include "engine/cfg.h"
#include "engine/zemctrl.h"
#include "os/linux/singleinstance.h"
#include "tests/support/simcontext.h"
#include "tests/support/tracecapture.h"

namespace {

class ProgramFlowTest : public ::testing::Test {
 protected:
  // The board's shipped model file: its monitor wiring and its energy-saving sections.
  ProgramFlowTest() : Sim("p35-core2") {
    Sim.WriteModelFile(TSimContext::ReadFile(std::string(KORZEM_SOURCE_DIR) + "/data/LQP35D2.ini"));
  }

  // One program run: window construction, first show and activation.
  bool StartProgram() {
    TMapPictureSource pictures;  // black stand-ins: the flow does not depend on the artwork
    Shell = std::make_unique<THeadlessShell>([this](uint32_t ms) { Sim.Advance(ms); });
    Form = std::make_unique<TZemMainForm>(Sim.MakeHost(), BuildMainScene(pictures, Queue), *Shell,
                                          "1.0");
    Shell->Attach(*Form);
    if (!Form->FormCreate()) return false;
    Form->FormShow();
    Form->FormActivate();
    return true;
  }
  void ExitProgram() {
    Form->ZemTrayCloseClick();
    Form.reset();
    Sim.Stop();
  }
  TCfg& Cfg() { return *Form->Context().Cfg; }
  TZemCtrl& Zem() { return *Form->Context().Zem; }

  TSimContext Sim;
  TMainThreadQueue Queue;
  std::unique_ptr<THeadlessShell> Shell;
  std::unique_ptr<TZemMainForm> Form;
};

TEST_F(ProgramFlowTest, TicksSwitchingModesTrayAndExitLeaveTheStatisticsInTheModelFile) {
  ASSERT_TRUE(StartProgram());
  EXPECT_EQ(Shell->TrayHint, "Korvan ZEM");
  TScene& scene = Form->Scene();
  // First show with energy saving off in the hardware: the off look, exit allowed.
  EXPECT_TRUE(scene.Visible("ZemOffBtnPanel"));
  EXPECT_FALSE(scene.Visible("ZemOnBtnPanel"));
  EXPECT_TRUE(Form->CanExit());
  EXPECT_TRUE(Form->ZemTimer().Enabled);
  EXPECT_EQ(Form->ZemTimer().IntervalMs, 1000u);
  EXPECT_TRUE(Form->IndicatorTimer().Enabled);

  // The period clock: 1000 ms stay pending after the first tick, every second tick adds 2 s.
  long double consumed = 0;
  for (int tick = 1; tick <= 4; ++tick) {
    Shell->RunTicks(1);
    consumed += static_cast<long double>(Zem().Wzem()) * 0.001L * 1000 * 0.001L;
  }
  EXPECT_EQ(Form->Readouts().PeriodSeconds, 4);
  EXPECT_EQ(Form->Readouts().PeriodElapsedMs, 0);
  EXPECT_GT(Cfg().ConsumesKJ, 0);
  EXPECT_NEAR(static_cast<double>(Cfg().ConsumesKJ), static_cast<double>(consumed), 1e-9);
  EXPECT_EQ(Cfg().DurationKJ, 0.0f);  // nothing saved while off
  EXPECT_FALSE(Form->Readouts()[TReadoutId::Power].Text.empty());

  // Switching on through the big button (a click on the picture in the scene).
  scene.MouseDown(TMouseButton::Left, 389 + 93, 154 + 92);
  scene.MouseUp(TMouseButton::Left, 389 + 93, 154 + 92);
  ASSERT_TRUE(scene.Visible("ZemOnBtnPanel"))
      << (Sim.Messages.Shown.empty() ? std::string("no message") : Sim.Messages.Shown[0].Text);
  EXPECT_EQ(Zem().Status(), TZemCtrl::kStatusOn);
  EXPECT_FALSE(Form->CanExit());
  Shell->RunTicks(2);
  const float saved = Cfg().DurationKJ;
  EXPECT_GT(saved, 0.0f);
  EXPECT_EQ(Cfg().TotalKJ, saved);

  // Total mode and back.
  Form->TotalImageEnClick();
  EXPECT_EQ(Cfg().WorkingMode, 2);
  EXPECT_TRUE(scene.Visible("TotalImage"));
  EXPECT_FALSE(scene.Visible("DayImage"));
  Form->DurationImageEnClick();
  EXPECT_EQ(Cfg().WorkingMode, 1);
  EXPECT_TRUE(scene.Visible("ResetBtnPanel"));

  // Closing while on goes to the tray, where a tick covers 5 s.
  EXPECT_FALSE(Form->Close());
  EXPECT_TRUE(Shell->TrayIconShown);
  EXPECT_FALSE(Shell->WindowShown);
  EXPECT_EQ(Form->ZemTimer().IntervalMs, 5000u);
  EXPECT_FALSE(Form->IndicatorTimer().Enabled);
  EXPECT_TRUE(Cfg().StartMinimize);
  const int seconds = Form->Readouts().PeriodSeconds;
  Shell->RunTicks(1);
  EXPECT_EQ(Form->Readouts().PeriodSeconds, seconds + 5);
  EXPECT_EQ(Shell->TrayHint.rfind("Power Saving:", 0), 0u);
  EXPECT_EQ(Shell->TrayHint.substr(Shell->TrayHint.size() - 2), "KJ");

  Form->ZemTrayRestoreClick();
  EXPECT_FALSE(Shell->TrayIconShown);
  EXPECT_EQ(Form->ZemTimer().IntervalMs, 1000u);
  EXPECT_FALSE(Cfg().StartMinimize);

  const float total = Cfg().TotalKJ;
  ExitProgram();
  EXPECT_TRUE(Shell->QuitCalled);
  // The statistics reach the model file at exit, in the listed order.
  const std::string model = Sim.ReadProgramFile(Sim.ModelFileName());
  const size_t config = model.find("[Config]");
  ASSERT_NE(config, std::string::npos);
  size_t at = config;
  // Keys the file had already keep their place; the others follow in the order they are written.
  EXPECT_NE(model.find("WorkingMode=1", config), std::string::npos);
  for (const char* key : {"ActiveOcPage=", "CpuID=", "ZemStartDateTime=", "TotalKJ=", "ConsumesKJ=",
                          "StartMinimize=0"}) {
    const size_t found = model.find(key, config);
    ASSERT_NE(found, std::string::npos) << key;
    EXPECT_GT(found, at) << key;
    at = found;
  }
  EXPECT_NE(model.find("ZemStatus=1"), std::string::npos);
  EXPECT_FLOAT_EQ(TiFile(Sim.ProgramDirectory() + "/" + Sim.ModelFileName())
                      .ReadSingle("Config", "TotalKJ", -1),
                  total);
}

TEST_F(ProgramFlowTest, ARestartFindsEnergySavingOnAndStartsANewPeriod) {
  ASSERT_TRUE(StartProgram());
  Form->ZemOffImageEnClick();
  Shell->RunTicks(3);
  const float total = Cfg().TotalKJ;
  const long double consumed = Cfg().ConsumesKJ;
  ExitProgram();

  ASSERT_TRUE(StartProgram());
  // The hardware kept its state: the first show takes the switch-on path.
  EXPECT_TRUE(Form->Scene().Visible("ZemOnBtnPanel"));
  EXPECT_EQ(Cfg().DurationKJ, 0.0f);
  EXPECT_EQ(Form->Readouts().PeriodSeconds + Form->Readouts().Period.Minutes +
                Form->Readouts().Period.Days,
            0);
  EXPECT_FLOAT_EQ(Cfg().TotalKJ, total);
  EXPECT_NEAR(static_cast<double>(Cfg().ConsumesKJ), static_cast<double>(consumed), 1e-6);

  // Sleep lost the regulator's settings; back from it, energy saving is applied again without a
  // click.
  TGpioControl& gpio = *Form->Context().Gpio;
  ASSERT_TRUE(gpio.ApplySetting(kGpioW627, Cfg().ReadString("LoadlineControl", "Disabled", "")));
  ASSERT_EQ(gpio.StateIndex(kGpioW627, "LoadlineControl"), 2);
  Form->PowerResume();
  EXPECT_EQ(gpio.StateIndex(kGpioW627, "LoadlineControl"), 1);
  EXPECT_EQ(Zem().Status(), TZemCtrl::kStatusOn);
  // Logging off exits even while on.
  EXPECT_TRUE(Form->QueryEndSession());
  EXPECT_TRUE(Form->Closed());
}

TEST_F(ProgramFlowTest, ASecondStartRestoresTheFirstAndUninstallClosesIt) {
  ASSERT_TRUE(StartProgram());
  Form->ZemOffImageEnClick();
  Form->MinimizeImageEnClick();
  ASSERT_TRUE(Shell->TrayIconShown);

  TTempDir runtime;
  std::unique_ptr<IInstanceMark> mark = OsCreateInstanceMark(runtime.Path());
  ASSERT_TRUE(mark->Owned());
  auto deliver = [&] {
    for (TInstanceRequest request : mark->TakeRequests()) {
      if (request == TInstanceRequest::Restore) Form->RestoreRequest();
      if (request == TInstanceRequest::Exit) Form->ExitRequest();
    }
  };
  ASSERT_TRUE(OsCreateInstancePoster(runtime.Path())->PostRequest(TInstanceRequest::Restore));
  deliver();
  EXPECT_FALSE(Shell->TrayIconShown);
  EXPECT_EQ(Shell->FrontRequests, 1);
  EXPECT_TRUE(Cfg().StartMinimize);  // a restore request keeps the tray preference

  ASSERT_TRUE(OsCreateInstancePoster(runtime.Path())->PostRequest(TInstanceRequest::Exit));
  deliver();
  EXPECT_TRUE(Form->Closed());
  EXPECT_TRUE(Shell->QuitCalled);
}

TEST(ProgramStartupTest, AnIntelBoardWithoutAModelFileStopsBeforeShowing) {
  TSimContext sim("p4-netburst");
  TMainThreadQueue queue;
  TMapPictureSource pictures;
  THeadlessShell shell;
  TZemMainForm form(sim.MakeHost(), BuildMainScene(pictures, queue), shell, "1.0");
  EXPECT_FALSE(form.FormCreate());
  EXPECT_TRUE(form.StartupFailed());
  EXPECT_FALSE(form.HasContext());
  ASSERT_EQ(sim.Messages.Shown.size(), 1u);
  EXPECT_EQ(sim.Messages.Shown[0].Text, "This utility is not for this platform!");
  EXPECT_EQ(sim.Messages.Shown[0].Icon, TMessageIcon::Error);
}

}  // namespace

namespace {

// The TR900 Plus saves energy only with its VDroop strap (the IT8720F's GPIO14) set high.
class Tr900SwitchOnTest : public ::testing::Test {
 protected:
  Tr900SwitchOnTest() : Sim("tr900-phenom") {
    Sim.WriteModelFile(TSimContext::ReadFile(std::string(KORZEM_SOURCE_DIR) + "/data/TR900P.ini"));
  }
  bool Start() {
    Form = std::make_unique<TZemMainForm>(Sim.MakeHost(), BuildMainScene(Pictures, Queue), Shell,
                                          "1.0");
    Shell.Attach(*Form);
    if (!Form->FormCreate()) return false;
    Form->FormShow();
    return true;
  }
  void SetStrap(const char* level) {
    TZemContext& c = Form->Context();
    std::unique_ptr<TGpioBase> gpio = CreateGpio(kGpioIt8720, *c.Rw, c.Sio.get());
    ASSERT_TRUE(gpio && gpio->Apply(std::string("GPIO14=") + level));
  }

  TSimContext Sim;
  TMainThreadQueue Queue;
  TMapPictureSource Pictures;
  THeadlessShell Shell;
  std::unique_ptr<TZemMainForm> Form;
};

TEST_F(Tr900SwitchOnTest, ALowVDroopStrapRefusesWithItsMessageAndAHighOneSwitches) {
  ASSERT_TRUE(Start());
  ASSERT_FALSE(Form->ZemOn());
  SetStrap("Low");
  TTraceCapture trace;
  Form->ZemOffImageEnClick();
  EXPECT_FALSE(Form->ZemOn());
  EXPECT_TRUE(trace.Has("TR900 Plus Check Shallow >>>> Not High"));
  ASSERT_FALSE(Sim.Messages.Shown.empty());
  EXPECT_EQ(Sim.Messages.Shown.back().Text, Sim.Texts.MsgEnableVDroop);
  EXPECT_EQ(Sim.Messages.Shown.back().Caption, "Korvan ZEM");

  SetStrap("High");
  Form->ZemOffImageEnClick();
  EXPECT_TRUE(trace.Has("TR900 Plus Check Shallow >>>> High"));
  EXPECT_TRUE(Form->ZemOn());
  EXPECT_EQ(Form->Context().Zem->Status(), TZemCtrl::kStatusOn);
}

}  // namespace

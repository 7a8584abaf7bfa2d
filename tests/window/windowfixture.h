// The main window on the simulated P35 board through the headless shell, with every area the
// controller asks to repaint recorded.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/scene/mainlayout.h"
#include "app/shell/headless/headlessshell.h"
#include "app/window/mainform.h"
#include "engine/cfg.h"
#include "engine/zemctrl.h"
#include "tests/support/simcontext.h"

class TWindowFixture {
 public:
  // pictures: the window's artwork; black stand-ins when null.
  explicit TWindowFixture(IPictureSource* pictures = nullptr, unsigned language = 0)
      : Sim("p35-core2"), Shell([this](uint32_t ms) { Sim.Advance(ms); }) {
    Sim.WriteModelFile(TSimContext::ReadFile(std::string(KORZEM_SOURCE_DIR) + "/data/LQP35D2.ini"));
    Sim.SetLoad(50);
    Form = std::make_unique<TZemMainForm>(
        Sim.MakeHost(), BuildMainScene(pictures ? *pictures : Blank, Queue, language), Shell,
        "1.0");
    Shell.Attach(*Form);
    Shell.OnInvalidate = [this](const TRect& area) { Invalidated.push_back(area); };
  }
  ~TWindowFixture() {
    if (!Form->Closed()) Form->ZemTrayCloseClick();
  }
  TWindowFixture(const TWindowFixture&) = delete;
  TWindowFixture& operator=(const TWindowFixture&) = delete;

  bool Start() {
    if (!Form->FormCreate()) return false;
    Form->FormShow();
    Form->FormActivate();
    return true;
  }
  // One sampling tick after a second of the simulated PC's time, without the animation ticks.
  void SamplingTick() {
    Sim.Advance(1000);
    Form->ZemTimerTimer();
  }
  const TZemReadouts& Record() const { return Form->Readouts(); }
  const TReadoutState& Readout(TReadoutId id) const { return Form->Readouts()[id]; }
  TCfg& Cfg() { return *Form->Context().Cfg; }
  TZemCtrl& Zem() { return *Form->Context().Zem; }
  const TBitmap& Background() { return Form->Scene().Background(); }

  TSimContext Sim;
  TMainThreadQueue Queue;
  TMapPictureSource Blank;
  THeadlessShell Shell;
  std::unique_ptr<TZemMainForm> Form;
  std::vector<TRect> Invalidated;
};

inline bool Overlap(const TRect& a, const TRect& b) {
  return !a.Empty() && !b.Empty() && a.Left < b.Right && b.Left < a.Right && a.Top < b.Bottom &&
         b.Top < a.Bottom;
}

// The program's window on a simulated board, shown by the terminal shell over a scripted terminal
// and a clock the test moves.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/scene/mainlayout.h"
#include "app/shell/tui/tuishell.h"
#include "app/window/mainform.h"
#include "engine/cfg.h"
#include "tests/support/simcontext.h"

class TScriptedTerminal : public ITuiTerminal {
 public:
  bool Screen = true;
  TTuiSize ScreenSize{80, 30};
  std::deque<TTuiInput> Inputs;     // one per wait; an empty wait after they ran out
  std::function<void(int)> OnWait;  // time passing during a wait
  std::string Output;
  std::vector<int> Waits;
  int Opens = 0, Closes = 0, Wakes = 0;

  bool Open() override {
    ++Opens;
    return Screen;
  }
  void Close() override { ++Closes; }
  TTuiSize Size() override { return ScreenSize; }
  void Write(std::string_view text) override { Output += text; }
  TTuiInput Wait(int timeoutMs) override {
    Waits.push_back(timeoutMs);
    if (OnWait) OnWait(timeoutMs);
    if (Inputs.empty()) return {};
    TTuiInput input = Inputs.front();
    Inputs.pop_front();
    return input;
  }
  void Wake() override { ++Wakes; }
  bool TrueColour() const override { return false; }
};

class TTuiFixture {
 public:
  explicit TTuiFixture(const std::string& board = "p45-core2") : Sim(board) {
    const std::string model = Sim.ModelFileName();
    Sim.WriteProgramFile(model,
                         TSimContext::ReadFile(std::string(KORZEM_SOURCE_DIR) + "/data/" + model));
    Host = std::make_unique<TZemHost>(TZemHost{
        Sim.ProgramDirectory(), Sim.Dir / "KorZem.ini", Sim.Dir / "KorZem", Sim.System,
        Sim.Privileges, Sim.Driver, Box, Sim.Clock, Sim.Registry, *Sim.ProcessorTimes, Sim.Power,
        [this] { return std::make_unique<TFakeTaskScheduler>(Sim.Tasks); }, Sim.Instance, Sim.Texts,
        [this](uint32_t ms) { Sim.Advance(ms); }, /*WriteInitFileBack=*/false});
    Shell = std::make_unique<TTuiShell>(Queue, Terminal, [this] { return NowMs; });
    Shell->UseMessageBox(Box);
    Form = std::make_unique<TZemMainForm>(*Host, BuildMainScene(Pictures, Queue), *Shell, "1.2");
    Shell->Attach(*Form);
  }

  // The program's start as the entry runs it.
  bool Start() {
    if (!Form->FormCreate()) return false;
    Form->FormShow();
    Form->FormActivate();
    Shell->MsUntilNextTimer();  // the loop sees the timers before it first waits
    return true;
  }
  // Time passes for the shell and the simulated PC alike; due timers fire.
  void Advance(int64_t ms) {
    NowMs += ms;
    Sim.Advance(static_cast<uint32_t>(ms));
    Shell->FireDueTimers();
  }
  void AdvanceInSteps(int64_t total, int64_t step) {
    for (int64_t done = 0; done < total; done += step) Advance(step);
  }
  std::string Screen(int width = 80) const {
    std::string text;
    for (const std::string& line : Shell->Lines(width)) text += line + "\n";
    return text;
  }
  // Sampling time counted by the form's period clock (exact below one minute).
  int32_t CountedMs() const {
    return Form->Readouts().PeriodSeconds * 1000 + Form->Readouts().PeriodElapsedMs;
  }
  TCfg& Cfg() { return *Form->Context().Cfg; }

  TSimContext Sim;
  TMainThreadQueue Queue;
  TMapPictureSource Pictures;
  TScriptedTerminal Terminal;
  TTuiMessageBox Box{Sim.Messages};
  std::unique_ptr<TZemHost> Host;
  int64_t NowMs = 0;
  std::unique_ptr<TTuiShell> Shell;
  std::unique_ptr<TZemMainForm> Form;
};

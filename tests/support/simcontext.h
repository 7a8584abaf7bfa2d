// The program's context (TZemContext) on a simulated board, in a few lines:
//
//   TSimContext sim("p45-core2");
//   sim.WriteModelFile("[ZemControl]\nControlType=3\n...");
//   ASSERT_TRUE(sim.Start());
//   sim.Tick();
//   EXPECT_EQ(sim.Zem().Status(), 2);
//
// The board's machine (data/boards) answers the register-access service through the in-process
// link behind a driver-service double; every other OS service is an in-memory double the test can
// preset and inspect (registry, message boxes, local time, power management, task scheduler,
// system information). Processor times follow the simulated workload unless the test scripts its
// own. The program folder is a temporary folder holding a copy of the shipped KorZem.ini, the two
// scheme files the power double knows, and whatever model files the test writes; it goes away
// with the fixture. Time is virtual: Tick() advances the machine's clock.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "app/core/zemcontext.h"
#include "base/inifile.h"
#include "chips/hwm.h"
#include "engine/zemctrl.h"
#include "hw/inprocesslink.h"
#include "os/test/fakedriverservice.h"
#include "os/test/fakelocaltime.h"
#include "os/test/fakemessagebox.h"
#include "os/test/fakepowerschemes.h"
#include "os/test/fakeprocessortimes.h"
#include "os/test/fakeregistry.h"
#include "os/test/fakesingleinstance.h"
#include "os/test/fakesystem.h"
#include "os/test/faketaskscheduler.h"
#include "sim/simboard.h"
#include "sim/simmachine.h"
#include "sim/simprocessortimes.h"
#include "sim/workload.h"
#include "tests/support/tempdir.h"

class TSimContext {
 public:
  static constexpr const char* kOnScheme = "KorZemOn.pow";
  static constexpr const char* kOffScheme = "KorZemOff.pow";

  // board: a name of data/boards or a board file's path. A board that does not build fails the
  // test and leaves an empty generic machine, so the test still ends cleanly.
  explicit TSimContext(const std::string& board) {
    const std::string boards = std::string(KORZEM_SOURCE_DIR) + "/data/boards";
    std::string error;
    Machine_ = CreateSimMachine(board, boards, &error);
    if (!Machine_) {
      ADD_FAILURE() << "board " << board << ": " << error;
      Machine_ = std::make_unique<TSimMachine>(TSimMachineConfig{});
    }
    const std::string boardPath = board.find('/') != std::string::npos || board.ends_with(".ini")
                                      ? board
                                      : boards + "/" + board + ".ini";
    BoardModel_ = TIniFile(boardPath).ReadString("SMBIOS", "BoardProduct", "");

    WriteProgramFile("KorZem.ini", ReadFile(std::string(KORZEM_SOURCE_DIR) + "/data/KorZem.ini"));
    WriteProgramFile(kOnScheme, "on scheme");
    WriteProgramFile(kOffScheme, "off scheme");
    Power.SchemeFiles[Dir / kOnScheme] = u"Korvan ZEM";
    Power.SchemeFiles[Dir / kOffScheme] = u"Korvan ZEM Off";

    const uint32_t cores = Machine_->CpuCount();
    System.Info.NumberOfProcessors = cores;
    System.NativeInfo.NumberOfProcessors = cores;
    System.Info.ActiveProcessorMask = System.NativeInfo.ActiveProcessorMask = (1u << cores) - 1;
    System.AffinityMask = (1u << cores) - 1;

    Driver.DriverLoaded = true;
    Driver.MakeDevice = [this] { return std::make_unique<TInProcessLink>(*Machine_); };
    ProcessorTimes = std::make_unique<TSimProcessorTimes>(*Machine_);
  }

  ~TSimContext() { Stop(); }
  TSimContext(const TSimContext&) = delete;
  TSimContext& operator=(const TSimContext&) = delete;

  // --- the program folder ---
  std::string ProgramDirectory() const { return Dir.Path(); }
  void WriteProgramFile(const std::string& name, const std::string& text) const {
    std::ofstream out(Dir / name, std::ios::binary | std::ios::trunc);
    out << text;
  }
  std::string ReadProgramFile(const std::string& name) const { return ReadFile(Dir / name); }
  bool ProgramFileExists(const std::string& name) const {
    return std::filesystem::exists(Dir / name);
  }
  void RemoveProgramFile(const std::string& name) const { std::filesystem::remove(Dir / name); }

  // The board's SMBIOS base-board name and the model file KorZem.ini maps it to (empty when the
  // board is not listed).
  const std::string& BoardModel() const { return BoardModel_; }
  std::string ModelFileName() const {
    return TIniFile(Dir / "KorZem.ini").ReadString("SupportModel", BoardModel_, "");
  }
  // Lists the board in the copy of KorZem.ini under the given model file name (a board the shipped
  // file does not know, or another name for one it does).
  void MapModel(const std::string& fileName) const {
    TIniFile(Dir / "KorZem.ini").WriteString("SupportModel", BoardModel_, fileName);
  }
  // Writes the test's model file under the board's name from "SupportModel" (or Cfg.ini, the AMD
  // fallback, when the board is not listed). Returns its full path.
  std::string WriteModelFile(const std::string& text) const {
    std::string name = ModelFileName();
    if (name.empty()) name = "Cfg.ini";
    WriteProgramFile(name, text);
    return Dir / name;
  }

  // --- the simulated board ---
  TSimMachine& Machine() { return *Machine_; }
  // Every core busy for this share of its time from now on.
  void SetLoad(double percent) { SimWorkload(*Machine_).SetFixed(percent); }

  // --- the program's life ---
  // The construction steps (configuration, driver, processor, board, model file). False when the
  // program would stop.
  bool Construct() {
    Context_ = std::make_unique<TZemContext>(MakeHost());
    return Context_->Construct();
  }
  // A fresh host over the doubles, for a program window that builds its own context.
  TZemHost& MakeHost() {
    Stop();
    Host_ = std::make_unique<TZemHost>(
        TZemHost{Dir.Path(), Dir / "KorZem.ini", Dir / "KorZem", System, Privileges, Driver,
                 Messages, Clock, Registry, *ProcessorTimes, Power,
                 [this] { return std::make_unique<TFakeTaskScheduler>(Tasks); }, Instance, Texts,
                 [this](uint32_t ms) { Advance(ms); },
                 /*WriteInitFileBack=*/false});
    return *Host_;
  }
  // Construct and, when it succeeds, the first-show objects with the engine last.
  bool Start() {
    if (!Construct()) return false;
    Context_->CreateServices();
    return true;
  }
  // Destroys the context in the shutdown order (the model file and the engine's state are written
  // now). Start() again is the next program run on the same machine, registry and files.
  void Stop() {
    Context_.reset();
    Host_.reset();
  }
  bool Running() const { return Context_ != nullptr; }

  TZemContext& Context() { return *Context_; }
  TZemCtrl& Zem() { return *Context_->Zem; }

  // --- virtual time ---
  void Advance(uint32_t milliseconds) {
    Machine_->Clock().Advance(static_cast<uint64_t>(milliseconds) * 1000);
  }
  // One sampling tick as the main window runs it: time passes, then the monitor's Vcore is
  // refreshed and the engine estimates power and saving.
  void Tick(uint32_t milliseconds = 1000) {
    Advance(milliseconds);
    Context_->Hwm->RefreshVcore();
    Context_->Zem->ComputePower();
    Context_->Zem->ComputeSaving();
  }
  void Ticks(int count, uint32_t milliseconds = 1000) {
    for (int i = 0; i < count; ++i) Tick(milliseconds);
  }

  // --- the OS doubles (preset before Start, inspect after) ---
  TTempDir Dir;
  TFakeOsSystem System;
  TFakeOsPrivileges Privileges;
  TFakeDriverService Driver;
  TFakeMessageBox Messages;
  TFakeLocalTime Clock;
  TFakeRegistry Registry;
  TFakePowerManagement Power;
  TFakeTaskStore Tasks;
  TFakeInstancePoster Instance;
  TZemTexts Texts;
  // The simulated workload's times by default; a test may put a TFakeProcessorTimes here.
  std::unique_ptr<IOsProcessorTimes> ProcessorTimes;

  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  std::unique_ptr<TSimMachine> Machine_;
  std::string BoardModel_;
  std::unique_ptr<TZemHost> Host_;
  std::unique_ptr<TZemContext> Context_;
};

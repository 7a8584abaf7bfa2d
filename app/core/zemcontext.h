// The program's long-lived objects, built in the fixed order of the main window's construction
// and first show, checked against the platform on the way, and destroyed in the fixed order at
// exit (their destructors write the model file, the engine's state and the register-access
// configuration). The program and zemctl build the same context, so what zemctl shows is what
// the program would do.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/core/zemtexts.h"
#include "winpower/boardpower.h"

class IInstancePoster;
class IOsDriverService;
class IOsLocalTime;
class IOsMessageBox;
class IOsPowerManagement;
class IOsPrivileges;
class IOsProcessorTimes;
class IOsRegistry;
class IOsSystem;
class TAdvReg;
class TAmdFidVid;
class TCfg;
class TCpu;
class TCpuUsage;
class TGpioControl;
class THwm;
class TInitFile;
class TIntelFidVid;
class TKorSpec;
class TPowerMan;
class TReadWrite;
class TSio;
class TVersionControl;
class TZemCtrl;

// What the host (the program's shell, zemctl, a test) provides. Every reference must outlive the
// context.
struct TZemHost {
  std::string ProgramDirectory;  // KorZem.ini's folder: model files, scheme files
  std::string InitFileName;      // the register-access configuration's full path
  std::string ProgramPath;       // the executable the logon task and the Run entry start
  IOsSystem& System;
  IOsPrivileges& Privileges;
  IOsDriverService& DriverService;
  IOsMessageBox& Messages;
  IOsLocalTime& Clock;
  IOsRegistry& Registry;
  IOsProcessorTimes& ProcessorTimes;
  IOsPowerManagement& Power;
  TTaskSchedulerFactory Schedulers;
  IInstancePoster& Instance;  // RWEXIT of the Super I/O scripts
  TZemTexts Texts;
  std::function<void(uint32_t)> Sleep = {};  // the monitor's waits; empty sleeps the thread
  bool WriteInitFileBack = true;             // false on simulated and recorded machines
};

class TZemContext {
 public:
  explicit TZemContext(TZemHost& host);
  // Destroys what exists in the shutdown order.
  ~TZemContext();
  TZemContext(const TZemContext&) = delete;
  TZemContext& operator=(const TZemContext&) = delete;

  // The construction steps: configuration and driver (unless the host handed both in through Init
  // and Rw), processor and board, model file with the
  // platform checks and their messages, processor clocks. False when the program must stop
  // (StartupFailed).
  bool Construct();
  // The objects of the first show, the engine last. Only after a successful Construct.
  void CreateServices();

  bool StartupFailed = false;
  bool SavingShown = false;
  std::string DurationOffHint;  // the AM2+ message when the saving figures are hidden
  std::string ModelFileName;

  TZemHost& Host;
  std::unique_ptr<TInitFile> Init;
  std::unique_ptr<TReadWrite> Rw;
  std::unique_ptr<TCpu> Cpu;
  std::unique_ptr<TKorSpec> KorSpec;
  std::unique_ptr<TCfg> Cfg;
  std::unique_ptr<TCpuUsage> CpuUsage;
  std::unique_ptr<TAdvReg> AdvReg;
  std::unique_ptr<TPowerMan> PowerMan;
  std::unique_ptr<TBoardPower> BoardPower;
  std::unique_ptr<TKorSpecPowerModes> PowerModes;
  std::unique_ptr<TSio> Sio;
  std::unique_ptr<TVersionControl> Version;
  std::unique_ptr<THwm> Hwm;
  std::unique_ptr<TGpioControl> Gpio;
  std::unique_ptr<TAmdFidVid> AmdFidVid;
  std::unique_ptr<TIntelFidVid> IntelFidVid;
  std::unique_ptr<TZemCtrl> Zem;

 private:
  bool OpenRegisterAccess();
  bool LoadModelFile();
  std::unique_ptr<TSio> DetectSio();
};

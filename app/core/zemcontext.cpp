#include "app/core/zemcontext.h"

#include "base/textfmt.h"
#include "base/trace.h"
#include "chips/gpiocontrol.h"
#include "chips/hwm.h"
#include "chips/revisionpins.h"
#include "chips/sio.h"
#include "engine/cfg.h"
#include "engine/cpuusage.h"
#include "engine/zemctrl.h"
#include "hw/initfile.h"
#include "hw/readwrite.h"
#include "os/files.h"
#include "os/messagebox.h"
#include "os/singleinstance.h"
#include "platform/cpu.h"
#include "platform/fidvid.h"
#include "platform/korspec.h"
#include "platform/versioncontrol.h"
#include "winpower/advreg.h"
#include "winpower/powerman.h"

TZemContext::TZemContext(TZemHost& host) : Host(host) {}

TZemContext::~TZemContext() {
  CpuUsage.reset();
  Zem.reset();
  IntelFidVid.reset();
  AmdFidVid.reset();
  Gpio.reset();
  Hwm.reset();
  Version.reset();
  Sio.reset();
  AdvReg.reset();
  if (KorSpec) KorSpec->SetPowerServices(nullptr);
  PowerModes.reset();
  KorSpec.reset();
  Cpu.reset();
  BoardPower.reset();
  PowerMan.reset();
  Cfg.reset();
  Rw.reset();
  Init.reset();
}

bool TZemContext::Construct() {
  if (!Rw && !OpenRegisterAccess()) {
    StartupFailed = true;
    return false;
  }
  Cpu = std::make_unique<TCpu>(*Rw, *Init);
  KorSpec = std::make_unique<TKorSpec>(*Rw, *Init, Cpu->IsIntelCpu());
  if (!LoadModelFile()) {
    StartupFailed = true;
    return false;
  }
  Cpu->DetectBusClock();
  Cpu->DetectRatios();
  return true;
}

bool TZemContext::OpenRegisterAccess() {
  // One configuration object per run: a second one would lose the debug file to the first and
  // write its start-of-run "Config" back over what this run found.
  if (!Init) {
    if (!OsFileExists(Host.InitFileName)) {
      Host.Messages.Show("Error", "Initial file not found.", TMessageIcon::Error);
      return false;
    }
    Init = std::make_unique<TInitFile>(Host.InitFileName, Host.System);
    Init->WriteBackAtExit = Host.WriteInitFileBack;
  }
  TReadWriteSettings settings;
  settings.OsKind = Init->OsVersion->OsKind;
  settings.NumberOfProcessors = Init->OsVersion->SystemInfo.NumberOfProcessors;
  settings.DetectPCIEBase = Init->DetectPCIEBase;
  settings.PCIEBaseAddress = Init->PCIEBaseAddress;
  Rw = std::make_unique<TReadWrite>(Host.DriverService, Host.System, settings,
                                    &Init->PCIEBaseAddress);
  return Rw->IsConnected();
}

bool TZemContext::LoadModelFile() {
  const TZemTexts& texts = Host.Texts;
  const std::string directory = Host.ProgramDirectory + OsPathSeparator();
  const std::string named = Init->ReadString("SupportModel", KorSpec->ModelName(), "");
  bool accepted = false;
  if (!named.empty() && OsFileExists(directory + named)) {
    ModelFileName = directory + named;
    Cfg = std::make_unique<TCfg>(ModelFileName, Cpu->GetSignature(), Host.Clock, Host.Messages);
    SavingShown = true;
    accepted = Cfg->ReadBool("AM2", "Support", true);
  }
  if (accepted) return true;

  const bool amd = Cpu->IsAMDCpu();
  TraceLine("Cpu->IsAMDCpu() = [" + BoolText(amd) + "]");
  if (!amd) {
    Host.Messages.Show(texts.MsgTitle, texts.MsgNotThisPlatform, TMessageIcon::Error);
    return false;
  }
  TraceLine(">>>> P0");
  Cfg.reset();
  ModelFileName = directory + "Cfg.ini";
  Cfg = std::make_unique<TCfg>(ModelFileName, Cpu->GetSignature(), Host.Clock, Host.Messages);
  TraceLine(">>>> P1");
  const int revision = Cpu->GetAmdNbRev();
  TraceLine("Cpu->GetAmdNbRev() = [" + std::to_string(revision) + "]");
  SavingShown = revision == 2;
  if (!SavingShown) {
    Host.Messages.Show(texts.MsgTitle, texts.MsgAm2PhenomOnly, TMessageIcon::Warning);
    DurationOffHint = texts.MsgAm2PhenomOnly;
  }
  return true;
}

std::unique_ptr<TSio> TZemContext::DetectSio() {
  TScriptServices services{*Rw, Init->OsVersion->SystemInfo.NumberOfProcessors, Host.Instance};
  services.Sleep = Host.Sleep;
  return std::make_unique<TSio>(*Init, std::move(services));
}

void TZemContext::CreateServices() {
  CpuUsage = std::make_unique<TCpuUsage>(Host.ProcessorTimes);
  AdvReg = std::make_unique<TAdvReg>(Host.Registry, Host.ProgramPath);
  PowerMan = std::make_unique<TPowerMan>(Host.Privileges, Host.Power);
  TBoardPowerSetup setup;
  setup.OsKind = Init->OsVersion->OsKind;
  setup.SchemeDirectory = Host.ProgramDirectory;
  setup.ProgramPath = Host.ProgramPath;
  setup.Schedulers = Host.Schedulers;
  BoardPower = std::make_unique<TBoardPower>(*PowerMan, Host.Messages, std::move(setup));
  KorSpec->SetPowerServices(BoardPower.get());
  PowerModes = std::make_unique<TKorSpecPowerModes>(*KorSpec);

  Sio = DetectSio();
  {
    // Used during the revision detection only: the ITE monitor below replaces the Super I/O
    // object, so nothing may keep a pointer to this one.
    TGpioRevisionPins pins(*Rw, Sio.get());
    Version = std::make_unique<TVersionControl>(*Cfg, *Rw, pins);
  }

  THwmContext monitor{*Rw, *Cfg, Sio};
  monitor.NewSio = [this] { return DetectSio(); };
  TakePlatformFacts(monitor, *Cpu, *KorSpec);
  // The monitor asks for the load the engine measured last, so that the two do not take turns
  // resetting the one meter.
  monitor.CpuLoad = [this] { return Zem ? static_cast<double>(Zem->CpuLoad()) : 0.0; };
  monitor.RevisionIndex = Version->IsPresent() ? Version->Index() : -1;
  monitor.Sleep = Host.Sleep;
  Hwm = std::make_unique<THwm>(monitor);

  Gpio = std::make_unique<TGpioControl>(*Cfg, *Rw, [this] { return Sio.get(); });
  AmdFidVid = std::make_unique<TAmdFidVid>(
      *Rw, *Cpu, *Cfg, Init->OsVersion->SystemInfo.NumberOfProcessors, *PowerModes);
  IntelFidVid = std::make_unique<TIntelFidVid>(*Rw);

  TZemCtrlServices services{*Cfg,
                            *Rw,
                            *Cpu,
                            *Hwm,
                            *Gpio,
                            *Version,
                            *PowerModes,
                            *AdvReg,
                            *CpuUsage,
                            [this] { return Sio.get(); },
                            IntelFidVid.get(),
                            Cpu->IsAMDCpu() ? AmdFidVid.get() : nullptr,
                            KorSpec->ModelName(),
                            Init->OsVersion->SystemInfo.NumberOfProcessors,
                            Host.ProgramDirectory};
  Zem = std::make_unique<TZemCtrl>(std::move(services));
}

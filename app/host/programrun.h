// The program's context on a machine session: the same objects in the same order as the program's
// start-up, so that zemctl's status, switching and estimates are what the program would show, and
// the program itself runs on any machine the session opens.
//
// On a simulated machine nothing of the host is touched: the registry, power schemes and logon
// task live in a sandbox folder, and the model files are a private copy of the program folder's,
// so the statistics they collect stay with the simulated PC. With --sim-state FILE the sandbox is
// FILE.d and lasts as long as the state; otherwise it is a temporary folder removed at the end.
#pragma once

#include <memory>
#include <string>

#include "app/core/zemcontext.h"
#include "app/host/machinesession.h"

class IOsDriverService;
class IOsMessageBox;

class TProgramRun {
 public:
  explicit TProgramRun(TMachineSession& session);
  ~TProgramRun();
  TProgramRun(const TProgramRun&) = delete;
  TProgramRun& operator=(const TProgramRun&) = delete;

  // The OS services and the host; the session need not be connected. messages, when given,
  // replaces the system's message boxes (a shell that shows them itself); driver, when given,
  // replaces the session's driver service (one that wraps it, for instance to count calls).
  bool PrepareHost(std::string* error, IOsMessageBox* messages = nullptr,
                   IOsDriverService* driver = nullptr);
  // PrepareHost, then the context on the session's connection through the engine; false with a
  // one-line error when the program would not start on this machine.
  bool Start(std::string* error);

  TZemContext& Context() { return *Context_; }
  TZemHost& Host() { return *Host_; }
  // The context is handed to the program's window, which builds its own from the host.
  std::unique_ptr<TZemContext> TakeContext() { return std::move(Context_); }
  // Waits milliseconds: virtual time on a simulated machine, real time elsewhere.
  void Wait(uint32_t milliseconds);

 private:
  bool PrepareSandbox(std::string* error);

  TMachineSession& Session_;
  std::string Sandbox_;
  bool TemporarySandbox_ = false;
  struct TServices;
  std::unique_ptr<TServices> Services_;
  std::unique_ptr<TZemHost> Host_;
  std::unique_ptr<TZemContext> Context_;
};

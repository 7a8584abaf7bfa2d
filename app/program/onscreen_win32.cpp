// The program on Windows until its window shell exists: the window's controller runs without a
// screen, on real time, and a later start's requests reach it between the timer steps.
#include <chrono>
#include <thread>

#include "app/program/onscreen.h"
#include "app/shell/headless/headlessshell.h"
#include "app/window/mainform.h"

int RunOnScreen(TZemHost& host, std::unique_ptr<TScene> scene, TMainThreadQueue& queue,
                IInstanceMark& mark, TScreenMessageBox&, const std::string& version) {
  THeadlessShell shell(
      [](uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); });
  TZemMainForm form(host, std::move(scene), shell, version);
  shell.Attach(form);
  if (!form.FormCreate()) return 1;
  form.FormShow();
  form.FormActivate();
  while (!shell.QuitCalled) {
    shell.RunFor(100);
    for (TInstanceRequest request : mark.TakeRequests()) {
      if (request == TInstanceRequest::Exit) form.ExitRequest();
      if (request == TInstanceRequest::Restore) form.RestoreRequest();
    }
  }
  queue.Shutdown();
  return 0;
}

#include "app/program/onscreen.h"

#include "app/shell/tui/tuishell.h"
#include "app/window/mainform.h"

int RunOnScreen(TZemHost& host, std::unique_ptr<TScene> scene, TMainThreadQueue& queue,
                IInstanceMark& mark, TScreenMessageBox& boxes, const std::string& version) {
  TTuiShell shell(queue);
  shell.UseMessageBox(boxes);
  TZemMainForm form(host, std::move(scene), shell, version);
  shell.Attach(form);
  if (!form.FormCreate()) return 1;
  form.FormShow();
  form.FormActivate();
  // A later start's requests arrive between the shell's events.
  shell.OnIdle = [&form, &mark] {
    for (TInstanceRequest request : mark.TakeRequests()) {
      if (request == TInstanceRequest::Exit) form.ExitRequest();
      if (request == TInstanceRequest::Restore) form.RestoreRequest();
    }
  };
  const int status = shell.Run(form);
  queue.Shutdown();
  return status;
}

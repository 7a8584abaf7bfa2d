// The program on screen, with the requests of later starts. Linux: the window in the terminal
// shell. Windows (until its own window shell exists): the window without a screen, its timers on
// real time, until a later start asks it to exit.
#pragma once

#include <memory>
#include <string>

#include "app/controls/eventqueue.h"
#include "app/core/zemcontext.h"
#include "app/scene/scene.h"
#include "os/singleinstance.h"

#ifdef _WIN32
#include "os/messagebox.h"
// The system's own message boxes.
class TScreenMessageBox final : public IOsMessageBox {
 public:
  explicit TScreenMessageBox(IOsMessageBox& system) : System_(system) {}
  void Show(const std::string& caption, const std::string& text, TMessageIcon icon) override {
    System_.Show(caption, text, icon);
  }

 private:
  IOsMessageBox& System_;
};
#else
#include "app/shell/tui/tuishell.h"
// Message boxes in the terminal shell while it owns the terminal.
using TScreenMessageBox = TTuiMessageBox;
#endif

// Runs until the window closes; the process's exit status. boxes is the host's message box.
int RunOnScreen(TZemHost& host, std::unique_ptr<TScene> scene, TMainThreadQueue& queue,
                IInstanceMark& mark, TScreenMessageBox& boxes, const std::string& version);

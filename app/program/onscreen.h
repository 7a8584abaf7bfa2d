// The program on screen: the window in the terminal shell, with the requests of later starts.
#pragma once

#include <memory>
#include <string>

#include "app/controls/eventqueue.h"
#include "app/core/zemcontext.h"
#include "app/scene/scene.h"
#include "os/singleinstance.h"

class TTuiMessageBox;

// Runs until the window closes; the process's exit status. boxes is the host's message box.
int RunOnScreen(TZemHost& host, std::unique_ptr<TScene> scene, TMainThreadQueue& queue,
                IInstanceMark& mark, TTuiMessageBox& boxes, const std::string& version);

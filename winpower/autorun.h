// Starting the program at logon, as the main window switches it: the logon task on Windows NT 6
// (OS kinds 4, 5 and 6), the Run entry elsewhere, and in every case the "AutoRun" setting, which
// alone tells at start whether autorun is on.
#pragma once

#include "platform/korspec.h"
#include "winpower/advreg.h"

void EnableAutorun(int osKind, TAdvReg& registry, IBoardPowerServices& board);
void DisableAutorun(int osKind, TAdvReg& registry, IBoardPowerServices& board);
// "AutoRun" is not 0. The task and the Run entry are not looked at.
bool AutorunEnabled(TAdvReg& registry);

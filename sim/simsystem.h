// The system services as a simulated PC's programs see them: this PC's version and system
// information, but the processors of the board file (count, active mask, process affinity), so
// that what counts or pins processors agrees with the simulated machine.
#pragma once

#include <memory>

#include "os/sysinfo.h"

class TSimMachine;

// host answers everything that is not about processors. The affinity is kept here: pinning a
// simulated processor must not pin this process.
std::unique_ptr<IOsSystem> CreateSimSystem(TSimMachine& machine, std::unique_ptr<IOsSystem> host);

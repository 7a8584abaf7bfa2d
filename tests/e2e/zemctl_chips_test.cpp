// zemctl's chip commands on the shipped simulated boards: the Super I/O each board carries, GPIO
// settings that stay applied from one process to the next, and the hardware monitor's report.
#include "zemctlrun.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <string>

using e2e::TRun;
using e2e::Zemctl;

namespace {

struct TSioCase {
  const char* Board;
  const char* Line;
};

struct TPinCase {
  const char* Board;
  const char* Interface;
  const char* Pin;  // a pin the board wires to the voltage regulator
};

}  // namespace

TEST(ZemctlChips, EachBoardReportsItsSuperIoAtItsPort) {
  const TSioCase cases[] = {
      {"p35-core2", "Super I/O: W83627DHG (vendor Winbond, index 0x002E, data 0x002F, section 1)"},
      {"x58-nehalem", "Super I/O: W83667HG (vendor Winbond, index 0x002E, data 0x002F, section 5)"},
      {"p45-core2", "Super I/O: W83667HG (vendor Winbond, index 0x002E, data 0x002F, section 5)"},
      {"am2-k8", "Super I/O: W83627DHG (vendor Winbond, index 0x002E, data 0x002F, section 1)"},
      {"tr900-phenom", "Super I/O: IT8720F (vendor ITE, index 0x002E, data 0x002F, section 9)"},
      // The IT8712F has no chip section: only the ITE family section knows it.
      {"am2p-phenom",
       "Super I/O: ITE IT87xx (vendor ITE, index 0x004E, data 0x004F, vendor section 4)"},
      {"p4-netburst", "Super I/O: none"},
  };
  for (const TSioCase& c : cases) {
    const TRun run = Zemctl(std::string("--machine sim:") + c.Board + " sio");
    EXPECT_EQ(run.Status, 0) << c.Board;
    EXPECT_EQ(run.Out, std::string(c.Line) + "\n") << c.Board;
  }
}

TEST(ZemctlChips, AnAppliedSettingStillMatchesInTheNextProcess) {
  const TPinCase cases[] = {
      {"p35-core2", "W627GPIO", "GPIO24"},   {"p35-core2", "ICHGPIO", "GPIO33"},
      {"x58-nehalem", "W667GPIO", "GPIO21"}, {"tr900-phenom", "IT8720GPIO", "GPIO14"},
      {"am2-k8", "NVGPIO", "GPIO12"},        {"am2-k8", "NVGPIO", "GPIO13"},
      {"p45-core2", "ICHGPIO", "GPIO34"},    {"p45-core2", "W667GPIO", "GPIO22"},
  };
  const std::string state = ::testing::TempDir() + "zemctl-gpio-" + std::to_string(::getpid());
  for (const TPinCase& c : cases) {
    ::unlink(state.c_str());
    const std::string machine =
        std::string("--machine sim:") + c.Board + " --sim-state " + state + " gpio ";
    const std::string pin = c.Pin;
    const std::string where = std::string(c.Board) + " " + c.Interface + " " + pin;
    EXPECT_EQ(Zemctl(machine + "apply " + c.Interface + " " + pin + "=High").Out, "true\n")
        << where;
    EXPECT_EQ(Zemctl(machine + "match " + c.Interface + " " + pin + "=High").Out, "true\n")
        << where;
    EXPECT_EQ(Zemctl(machine + "match " + c.Interface + " " + pin + "=Low").Out, "false\n")
        << where;
    const TRun dump = Zemctl(machine + "dump " + c.Interface);
    EXPECT_NE(dump.Out.find(pin + " = Output High\n"), std::string::npos) << where << dump.Out;

    EXPECT_EQ(Zemctl(machine + "apply " + c.Interface + " " + pin + "=Low").Out, "true\n");
    EXPECT_EQ(Zemctl(machine + "match " + c.Interface + " " + pin + "=Low").Out, "true\n") << where;
  }
  ::unlink(state.c_str());
}

TEST(ZemctlChips, GpioRejectsUnknownInterfacesAndMalformedCommands) {
  EXPECT_EQ(Zemctl("--machine sim:p35-core2 gpio dump NOSUCHGPIO").Status, 2);
  EXPECT_EQ(Zemctl("--machine sim:p35-core2 gpio match ICHGPIO").Status, 2);
  // A setting that does not parse is no match and applies nothing.
  EXPECT_EQ(Zemctl("--machine sim:p35-core2 gpio match ICHGPIO PIN33=High").Out, "false\n");
}

TEST(ZemctlChips, HwmReportsTheMonitorOfTheBoardsChip) {
  const TRun winbond = Zemctl("--machine sim:p35-core2 hwm");
  EXPECT_EQ(winbond.Status, 0);
  EXPECT_EQ(winbond.Out.rfind("Monitor: Winbond\nIndexPort: 0x0295\nDataPort: 0x0296\n", 0), 0u)
      << winbond.Out;
  EXPECT_NE(winbond.Out.find("ImonReg: 36 (0x24)\n"), std::string::npos) << winbond.Out;
  EXPECT_NE(winbond.Out.find("\nImonByte: 0x"), std::string::npos) << winbond.Out;
  // The board's model file (KorZem.ini's SupportModel entry) gives the Vcore input a divider.
  const size_t vcore = winbond.Out.find("\nRefreshVcore: ");
  ASSERT_NE(vcore, std::string::npos) << winbond.Out;
  EXPECT_GT(std::stod(winbond.Out.substr(vcore + 15)), 0.5) << winbond.Out;

  const TRun ite = Zemctl("--machine sim:tr900-phenom hwm");
  EXPECT_EQ(ite.Status, 0);
  EXPECT_EQ(ite.Out.rfind("Monitor: ITE\n", 0), 0u) << ite.Out;
}

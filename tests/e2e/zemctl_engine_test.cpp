// zemctl's energy-saving commands on the shipped boards with their shipped model files: switching
// on and off across processes (the pins live in the simulated machine, kept with --sim-state),
// the simulated regulator following the pins the model file drives, and the engine's estimate
// against the regulator's own figures.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "tests/e2e/zemctlrun.h"

namespace {

namespace fs = std::filesystem;
using e2e::TRun;
using e2e::Zemctl;

const std::string kBoardsDir = std::string(KORZEM_SOURCE_DIR) + "/data/boards/";

// The words "KEY=NUMBER" of one line.
std::map<std::string, double> Fields(const std::string& line) {
  std::map<std::string, double> fields;
  std::istringstream words(line);
  std::string word;
  while (words >> word) {
    const size_t eq = word.find('=');
    if (eq != std::string::npos) fields[word.substr(0, eq)] = std::stod(word.substr(eq + 1));
  }
  return fields;
}

// The last tick of "estimate --truth": the engine's line and the regulator's.
struct TTick {
  std::map<std::string, double> Engine;  // Vcore, VImon, Izem, Wzem, Wsaving, phases
  std::map<std::string, double> Sim;     // Vcore, Amps, Watts, InputWatts, phases
};

TTick LastTick(const std::string& out) {
  TTick tick;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("tick=", 0) == 0) tick.Engine = Fields(line);
    if (line.rfind("sim ", 0) == 0) tick.Sim = Fields(line.substr(4));
  }
  return tick;
}

// One simulated machine across zemctl processes: its state file and the program sandbox beside it.
class TMachine {
 public:
  TMachine(const std::string& machine, const std::string& tag)
      : Machine_(machine),
        State_(::testing::TempDir() + "zemctl-engine-" + std::to_string(::getpid()) + "-" + tag) {
    Clean();
  }
  ~TMachine() { Clean(); }

  TRun Run(const std::string& command) const {
    return Zemctl("--machine sim:" + Machine_ + " --sim-state " + State_ + " " + command);
  }
  // The output of a command that must succeed.
  std::string Out(const std::string& command) const {
    const TRun run = Run(command);
    EXPECT_EQ(run.Status, 0) << command << ": " << run.Err;
    return run.Out;
  }
  TTick Estimate(const std::string& load = "") const {
    return LastTick(
        Out((load.empty() ? "" : "--load " + load + " ") + "estimate --ticks 3 --truth"));
  }
  // Every core of a family 10h processor into P-state 2, where the PSI VID lets PSI_L assert.
  void LowPState(int cores) const {
    std::string script;
    for (int core = 1; core <= cores; ++core)
      script += "CPU " + std::to_string(core) + "; WRMSR 0C0010062H 0 2; ";
    EXPECT_NE(Out("script \"" + script + "\"").find("Result: 0x00000000"), std::string::npos);
  }

 private:
  void Clean() const {
    std::error_code ignored;
    fs::remove(State_, ignored);
    fs::remove_all(State_ + ".d", ignored);
  }

  std::string Machine_;
  std::string State_;
};

// A copy of a shipped board file with text replaced and lines added, for variants of a board.
class TBoardCopy {
 public:
  TBoardCopy(const std::string& board, const std::string& tag,
             const std::map<std::string, std::string>& replace, const std::string& append)
      : Path_(::testing::TempDir() + "zemctl-engine-" + std::to_string(::getpid()) + "-" + tag +
              ".ini") {
    std::string text = e2e::Slurp(kBoardsDir + board + ".ini");
    for (const auto& [from, to] : replace) {
      const size_t at = text.find(from);
      EXPECT_NE(at, std::string::npos) << from;
      if (at != std::string::npos) text.replace(at, from.size(), to);
    }
    std::ofstream(Path_, std::ios::binary) << text << append;
  }
  ~TBoardCopy() { ::unlink(Path_.c_str()); }
  const std::string& Path() const { return Path_; }

 private:
  std::string Path_;
};

void ExpectWzemNearTheProcessorPower(const TTick& tick, const char* state) {
  ASSERT_TRUE(tick.Engine.count("Wzem") && tick.Sim.count("Watts")) << state;
  const double watts = tick.Sim.at("Watts");
  EXPECT_GT(watts, 5.0) << state;
  EXPECT_NEAR(tick.Engine.at("Wzem"), watts, 0.10 * watts) << state;
}

struct TEngineCase {
  const char* Board;
  bool LoadLine;       // energy saving selects the steeper load line: Vcore drops
  bool PhasesAgree;    // the model file's phase count is the regulator's
  int LowPStateCores;  // AMD PSI_L needs this many cores out of P-state 0 (0: not needed)
};

void PrintTo(const TEngineCase& c, std::ostream* out) {
  *out << c.Board;
}

const TEngineCase kCases[] =
    {
        {"p35-core2", true, false, 0},  // control type 4 always shows four phases
        {"p45-core2", true, true, 0},     {"x58-nehalem", true, true, 0},
        {"am2-k8", true, true, 0},        {"tr900-phenom", false, true, 4},
        {"am2p-phenom", false, false, 4},  // Cfg.ini cannot know this regulator's PSI phase count
};

class ZemctlEngine : public ::testing::TestWithParam<TEngineCase> {};

TEST_P(ZemctlEngine, SwitchesAcrossProcessesAndTheRegulatorFollows) {
  const TEngineCase& c = GetParam();
  const TMachine machine(c.Board, std::string(c.Board) + "-light");
  if (c.LowPStateCores > 0) machine.LowPState(c.LowPStateCores);

  EXPECT_EQ(machine.Out("status"), "ZEM: off\n");
  const TTick off = machine.Estimate();
  EXPECT_EQ(machine.Out("on"), "ZEM: on\n");
  EXPECT_EQ(machine.Out("status"), "ZEM: on\n");
  const TTick on = machine.Estimate();
  EXPECT_EQ(machine.Out("off"), "ZEM: off\n");
  EXPECT_EQ(machine.Out("status"), "ZEM: off\n");
  const TTick after = machine.Estimate();
  ASSERT_TRUE(off.Sim.count("phases") && on.Sim.count("phases") && after.Sim.count("phases"));

  // Light load: the regulator sheds phases. Vcore drops by more than the monitor's step: the "on"
  // scheme lets the simulated OS lower the P-state (and with it the VID), and boards with a
  // saving load line take more off on top.
  EXPECT_LT(on.Sim.at("phases"), off.Sim.at("phases"));
  EXPECT_LT(on.Sim.at("Vcore"), off.Sim.at("Vcore") - 0.005);
  EXPECT_LT(on.Engine.at("Vcore"), off.Engine.at("Vcore"));
  EXPECT_LT(on.Sim.at("InputWatts"), off.Sim.at("InputWatts"));
  // Switched off, every phase runs again and Vcore rises: the load line is released on Intel
  // boards (whose switching off keeps the "on" scheme, so the P-state stays low), and on AMD
  // boards the "off" scheme brings the top P-state back.
  EXPECT_EQ(after.Sim.at("phases"), off.Sim.at("phases"));
  EXPECT_GT(after.Sim.at("Vcore"), on.Sim.at("Vcore"));
  if (!c.LoadLine) {
    EXPECT_GE(after.Sim.at("Vcore"), off.Sim.at("Vcore"));
  }

  ExpectWzemNearTheProcessorPower(off, "off");
  ExpectWzemNearTheProcessorPower(on, "on");
  EXPECT_EQ(off.Engine.at("Wsaving"), 0.0);
  EXPECT_GT(on.Engine.at("Wsaving"), 0.0);
  EXPECT_EQ(after.Engine.at("Wsaving"), 0.0);
  if (c.PhasesAgree) {
    EXPECT_EQ(off.Engine.at("phases"), off.Sim.at("phases"));
    EXPECT_EQ(on.Engine.at("phases"), on.Sim.at("phases"));
  }
}

TEST_P(ZemctlEngine, EstimateHoldsAtHeavyLoad) {
  const TEngineCase& c = GetParam();
  const TBoardCopy busy(c.Board, std::string(c.Board) + "-busy", {},
                        "\n[Workload]\nMode=Fixed\nLoad=90\n");
  const TMachine machine(busy.Path(), std::string(c.Board) + "-heavy");
  if (c.LowPStateCores > 0) machine.LowPState(c.LowPStateCores);

  const TTick off = machine.Estimate();
  EXPECT_EQ(machine.Out("on"), "ZEM: on\n");
  const TTick on = machine.Estimate();
  ExpectWzemNearTheProcessorPower(off, "off");
  ExpectWzemNearTheProcessorPower(on, "on");
  // A busy processor draws more than the regulator lets PSI carry: every phase runs.
  ASSERT_TRUE(off.Sim.count("phases") && on.Sim.count("phases"));
  EXPECT_EQ(on.Sim.at("phases"), off.Sim.at("phases"));
  if (c.PhasesAgree) {
    EXPECT_EQ(on.Engine.at("phases"), on.Sim.at("phases"));
  }
  EXPECT_GT(off.Sim.at("Watts"), 40.0);
}

INSTANTIATE_TEST_SUITE_P(Boards, ZemctlEngine, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<TEngineCase>& info) {
                           std::string name = info.param.Board;
                           for (char& ch : name)
                             if (ch == '-') ch = '_';
                           return name;
                         });

// The AMD boards' PSI saving follows the processor-power policy: with energy saving on, the "on"
// scheme's on-demand governor drops the P-states of a lightly loaded processor, PSI_L asserts and
// the regulator sheds phases; at full load the top P-state runs, PSI stays off and nothing is
// saved.
TEST(ZemctlEngineAmdPsi, SavingAppearsAtLightLoadAndVanishesAtFullLoad) {
  const TMachine machine("am2p-phenom", "psi-policy");
  EXPECT_EQ(machine.Out("on"), "ZEM: on\n");
  const TTick light = machine.Estimate("2");
  const TTick full = machine.Estimate("100");
  EXPECT_EQ(machine.Out("off"), "ZEM: off\n");
  const TTick lightOff = machine.Estimate("2");
  const TTick fullOff = machine.Estimate("100");

  EXPECT_EQ(light.Engine.at("Wsaving"), 1.5);  // control type 1 of Cfg.ini: PSI activated
  EXPECT_EQ(light.Engine.at("phases"), 2);
  EXPECT_LT(light.Sim.at("phases"), 4);
  EXPECT_LT(light.Sim.at("InputWatts"), lightOff.Sim.at("InputWatts"));

  EXPECT_EQ(full.Engine.at("Wsaving"), 0.0);
  EXPECT_EQ(full.Engine.at("phases"), 4);
  EXPECT_EQ(full.Sim.at("phases"), 4);
  // Full load runs the top P-state on every phase whatever the state: nothing to save.
  EXPECT_NEAR(full.Sim.at("InputWatts"), fullOff.Sim.at("InputWatts"), 0.01);
  EXPECT_EQ(lightOff.Engine.at("Wsaving"), 0.0);
  EXPECT_EQ(lightOff.Sim.at("phases"), 4);
}

TEST(ZemctlEngineLoad, GlobalLoadOptionSetsTheSimulatedLoadOrIsRefused) {
  const TMachine machine("p45-core2", "load-option");
  const TTick idle = machine.Estimate("0");
  const TTick busy = machine.Estimate("100");
  EXPECT_GT(busy.Sim.at("Watts"), 2 * idle.Sim.at("Watts"));
  // The regulator's input pays its losses on top of the processor's power.
  EXPECT_GT(idle.Sim.at("InputWatts"), idle.Sim.at("Watts"));
  EXPECT_GT(busy.Sim.at("InputWatts"), busy.Sim.at("Watts"));

  for (const char* bad : {"101", "-1", "half", ""}) {
    const TRun run = machine.Run(std::string("--load '") + bad + "' status");
    EXPECT_EQ(run.Status, 2) << bad;
    EXPECT_NE(run.Err.find("--load"), std::string::npos) << run.Err;
  }
  const TRun replay = Zemctl("--machine replay:/nonexistent --load 10 status");
  EXPECT_NE(replay.Status, 0);
}

// The LQ-P45D3's second revision (ICH GPIO14 strapped high) carries the load-line select on the
// W83667HG: the model file's detection tables pick that variant and its status section.
TEST(ZemctlEngineP45, SecondRevisionSwitchesTheSuperIoPin) {
  EXPECT_NE(TMachine("p45-core2", "p45-rev1").Out("info").find("\nRevision: 0\n"),
            std::string::npos);

  const TBoardCopy rev2(
      "p45-core2", "p45-rev2",
      {{"ICH.GPIO34=VR.LOADLINE", "SIO.GPIO21=VR.LOADLINE"}, {"ICH.GPIO14=Low", "ICH.GPIO14=High"}},
      "");
  const TMachine machine(rev2.Path(), "p45-rev2");
  EXPECT_NE(machine.Out("info").find("\nRevision: 1\nZEM: off\n"), std::string::npos);
  const TTick off = machine.Estimate();
  EXPECT_EQ(machine.Out("on"), "ZEM: on\n");
  EXPECT_EQ(machine.Out("gpio match W667GPIO GPIO21=Low"), "true\n");
  EXPECT_EQ(machine.Out("gpio match ICHGPIO GPIO34=High"), "true\n");  // revision 1's pin
  const TTick on = machine.Estimate();
  EXPECT_LT(on.Sim.at("Vcore"), off.Sim.at("Vcore") - 0.005);
  EXPECT_EQ(machine.Out("off"), "ZEM: off\n");
  EXPECT_EQ(machine.Out("gpio match W667GPIO GPIO21=High"), "true\n");
}

// The saving LED (ICH GPIO35) is the model file's backup pin: on drives it low, off puts back the
// state it had at the first start, which the off setting itself does not name.
TEST(ZemctlEngineP45, SwitchingOffRestoresTheBackupPin) {
  const TMachine machine("p45-core2", "p45-led");
  EXPECT_EQ(machine.Out("gpio match ICHGPIO GPIO35=High"), "true\n");
  EXPECT_EQ(machine.Out("on"), "ZEM: on\n");
  EXPECT_EQ(machine.Out("gpio match ICHGPIO GPIO35=Low"), "true\n");
  EXPECT_EQ(machine.Out("off"), "ZEM: off\n");
  EXPECT_EQ(machine.Out("gpio match ICHGPIO GPIO35=High"), "true\n");
}

// The TR900 Plus switches on only while the BIOS's "VDroop" option drives IT8720F GPIO14 high.
TEST(ZemctlEngineTr900, BiosDrivesTheVDroopPinHigh) {
  const TMachine machine("tr900-phenom", "tr900-vdroop");
  EXPECT_EQ(machine.Out("gpio match IT8720GPIO GPIO14=High"), "true\n");
  EXPECT_NE(machine.Out("info").find("\nBoard: TR900 Plus\n"), std::string::npos);
}

// An Intel board that KorZem.ini does not list has no model file: the program refuses to run.
TEST(ZemctlEngineUnsupported, IntelBoardWithoutModelFileIsRefused) {
  const TMachine machine("p4-netburst", "p4");
  for (const char* command : {"status", "on", "estimate --ticks 1"}) {
    const TRun run = machine.Run(command);
    EXPECT_EQ(run.Status, 1) << command;
    EXPECT_EQ(run.Out.find("ZEM:"), std::string::npos) << command;
    EXPECT_NE(run.Err.find("not for this platform"), std::string::npos) << command << run.Err;
  }
}

}  // namespace

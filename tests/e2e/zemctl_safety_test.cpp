// zemctl as a new user would try it on the simulated boards: a GPIO back-end never writes a chip
// that is absent or of another family, apply says true only for pins that read back as asked,
// switching off puts the backed-up pin back on its own chip, and a model file naming an unknown
// interface makes "on" fail.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/zemctlrun.h"

namespace {

namespace fs = std::filesystem;
using e2e::TRun;
using e2e::Zemctl;

const std::string kData = std::string(KORZEM_SOURCE_DIR) + "/data/";

std::string Temp(const std::string& tag) {
  return ::testing::TempDir() + "zemctl-safety-" + std::to_string(::getpid()) + "-" + tag;
}

// The register-access lines that write a port.
std::vector<std::string> PortWrites(const std::string& rwdebug) {
  std::vector<std::string> writes;
  std::istringstream lines(e2e::Slurp(rwdebug));
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("RW: IoBaseWrite", 0) == 0) writes.push_back(line);
  }
  return writes;
}

struct TRefusal {
  const char* Board;
  const char* Command;
  const char* Line;  // the back-end's debug line
};

// The refused apply writes exactly the ports the Super I/O detection alone writes.
TEST(ZemctlSafety, BackEndsRefuseAbsentChipsAndChipsOfAnotherFamily) {
  const TRefusal cases[] = {
      {"am2-k8", "ICHGPIO GPIO14=High",
       "ICHGPIO: no Intel bridge at 00:1f.0 (vendor 0xFFFF), refused"},
      {"tr900-phenom", "W627GPIO GPIO24=High",
       "W627GPIO: Super I/O IT8720F is not of this back-end's family, refused"},
      {"p45-core2", "IT8720GPIO GPIO14=High",
       "IT8720GPIO: Super I/O W83667HG is not of this back-end's family, refused"},
      {"p4-netburst", "W627GPIO GPIO24=Low", "W627GPIO: no Super I/O detected, refused"},
      {"am2-k8", "IT8720GPIO GPIO44=HIGH",
       "IT8720GPIO: Super I/O W83627DHG is not of this back-end's family, refused"},
  };
  const std::string detection = Temp("sio.rw");
  const std::string apply = Temp("apply.rw");
  for (const TRefusal& c : cases) {
    const std::string machine = std::string("--machine sim:") + c.Board;
    ASSERT_EQ(Zemctl(machine + " --rwdebug " + detection + " sio").Status, 0) << c.Board;
    const TRun run = Zemctl(machine + " --rwdebug " + apply + " gpio apply " + c.Command);
    EXPECT_EQ(run.Status, 0) << c.Board << " " << c.Command << ": " << run.Err;
    EXPECT_EQ(run.Out, "false\n") << c.Board << " " << c.Command;
    EXPECT_NE(e2e::Slurp(apply).find(std::string(c.Line) + "\r\n"), std::string::npos)
        << c.Board << " " << c.Command;
    EXPECT_EQ(PortWrites(apply), PortWrites(detection)) << c.Board << " " << c.Command;
  }
  fs::remove(detection);
  fs::remove(apply);
}

// Revision 2.x of the P45 board: the load line is the W83667HG's GPIO21, the backed-up LED pin
// GPIO35 the ICH's. Switching off must not make the Super I/O's GPIO35 an output.
TEST(ZemctlSafety, SwitchingOffRestoresTheBackupOnTheIch) {
  std::string board = e2e::Slurp(kData + "boards/p45-core2.ini");
  const std::string strap = "ICH.GPIO14=Low";
  ASSERT_NE(board.find(strap), std::string::npos);
  board.replace(board.find(strap), strap.size(), "ICH.GPIO14=High");
  const std::string boardPath = Temp("p45-rev2.ini");
  std::ofstream(boardPath, std::ios::binary) << board;
  const std::string state = Temp("p45-rev2.state");
  const std::string zemctl = "--machine sim:" + boardPath + " --sim-state " + state + " ";

  EXPECT_EQ(Zemctl(zemctl + "gpio match W667GPIO GPIO35=InputHigh").Out, "true\n");
  EXPECT_EQ(Zemctl(zemctl + "on").Out, "ZEM: on\n");
  EXPECT_EQ(Zemctl(zemctl + "gpio apply ICHGPIO GPIO35=Low").Out, "true\n");
  EXPECT_EQ(Zemctl(zemctl + "off").Out, "ZEM: off\n");
  EXPECT_EQ(Zemctl(zemctl + "gpio match ICHGPIO GPIO35=High").Out, "true\n");
  EXPECT_EQ(Zemctl(zemctl + "gpio match W667GPIO 'GPIO35=InputHigh GPIO21=High'").Out, "true\n");

  fs::remove(boardPath);
  fs::remove(state);
  fs::remove_all(state + ".d");
}

TEST(ZemctlSafety, OnFailsWhenTheModelFileNamesAnUnknownInterface) {
  const fs::path dir = Temp("dir");
  fs::remove_all(dir);
  fs::create_directories(dir);
  for (const char* file : {"KorZem.ini", "KorZemOn.pow", "KorZemOff.pow"})
    fs::copy_file(kData + file, dir / file);
  std::string model = e2e::Slurp(kData + "LQP35D2.ini");
  const std::string known = "Interface=W627GPIO";
  ASSERT_NE(model.find(known), std::string::npos);
  model.replace(model.find(known), known.size(), "Interface=W627gpio");
  std::ofstream(dir / "LQP35D2.ini", std::ios::binary) << model;

  const std::string state = Temp("p35.state");
  const TRun on = Zemctl("--machine sim:" + kData + "boards/p35-core2.ini --sim-state " + state +
                         " --dir " + dir.string() + " on");
  EXPECT_NE(on.Status, 0);
  EXPECT_EQ(on.Out, "");
  EXPECT_NE(on.Err.find("the model file names an unknown interface W627gpio in [LoadlineControl]"),
            std::string::npos)
      << on.Err;
  // The shipped file switches on (a fresh machine: the sandbox keeps its own copy of the model).
  fs::remove(state);
  fs::remove_all(state + ".d");
  fs::copy_file(kData + "LQP35D2.ini", dir / "LQP35D2.ini", fs::copy_options::overwrite_existing);
  EXPECT_EQ(Zemctl("--machine sim:" + kData + "boards/p35-core2.ini --sim-state " + state +
                   " --dir " + dir.string() + " on")
                .Out,
            "ZEM: on\n");

  fs::remove_all(dir);
  fs::remove(state);
  fs::remove_all(state + ".d");
}

}  // namespace

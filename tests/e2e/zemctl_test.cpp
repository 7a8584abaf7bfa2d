// Runs the built zemctl as a user would and checks its output and exit status.
#include "zemctlrun.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using e2e::Slurp;
using e2e::TRun;
using e2e::Zemctl;

TEST(Zemctl, BoardsListsTheShippedBoardFiles) {
  const TRun run = Zemctl("boards");
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_NE(run.Out.find("p35-core2"), std::string::npos) << run.Out;
}

TEST(Zemctl, LspciOnTheSimulatedBoardListsItsFunctionsInBusOrder) {
  const TRun run = Zemctl("--machine sim:p35-core2 lspci");
  ASSERT_EQ(run.Status, 0) << run.Err;
  std::istringstream lines(run.Out);
  std::string line, previous;
  int count = 0;
  while (std::getline(lines, line)) {
    // "BB:DD.F VVVV:DDDD CCCCCC" in lower-case hex.
    ASSERT_EQ(line.size(), 24u) << line;
    EXPECT_EQ(line[2], ':');
    EXPECT_EQ(line[5], '.');
    EXPECT_EQ(line.find_first_of("ABCDEF"), std::string::npos) << line;
    EXPECT_LT(previous, line.substr(0, 7));
    previous = line.substr(0, 7);
    ++count;
  }
  EXPECT_GT(count, 5);
  EXPECT_NE(run.Out.find("00:00.0 8086:29c0 060000\n"), std::string::npos) << run.Out;
  EXPECT_NE(run.Out.find("00:1f.0 8086:2918 060100\n"), std::string::npos) << run.Out;
}

// On the real machine, lspci must list exactly the functions sysfs lists, with their ids and class.
TEST(Zemctl, LspciOnThisPcMatchesSysfs) {
  if (::geteuid() != 0) GTEST_SKIP() << "reading PCI configuration space needs root";
  namespace fs = std::filesystem;
  const fs::path devices = "/sys/bus/pci/devices";
  if (!fs::exists(devices)) GTEST_SKIP() << "this system has no PCI bus in sysfs";
  std::vector<std::string> expected;
  for (const fs::directory_entry& entry : fs::directory_iterator(devices)) {
    const std::string name = entry.path().filename().string();  // DDDD:BB:DD.F
    if (name.rfind("0000:", 0) != 0) continue;
    auto hex = [&](const char* file) {
      return std::stoul(Slurp((entry.path() / file).string()), nullptr, 16);
    };
    char line[64];
    std::snprintf(line, sizeof line, "%s %04lx:%04lx %06lx", name.substr(5).c_str(), hex("vendor"),
                  hex("device"), hex("class"));
    expected.push_back(line);
  }
  std::sort(expected.begin(), expected.end());
  const TRun run = Zemctl("--machine linux lspci");
  ASSERT_EQ(run.Status, 0) << run.Err;
  std::vector<std::string> listed;
  std::istringstream lines(run.Out);
  for (std::string line; std::getline(lines, line);) listed.push_back(line);
  EXPECT_EQ(listed, expected);
}

// Without /dev/mem the back-end rebuilds the BIOS area from sysfs; info must still list every
// table.
TEST(Zemctl, InfoOnThisPcListsTheFirmwareTablesOfSysfs) {
  if (::geteuid() != 0) GTEST_SKIP() << "reading the firmware tables needs root";
  namespace fs = std::filesystem;
  const fs::path tables = "/sys/firmware/acpi/tables";
  if (!fs::exists(tables)) GTEST_SKIP() << "this system has no ACPI tables in sysfs";
  const TRun run = Zemctl("--machine linux info");
  ASSERT_EQ(run.Status, 0) << run.Err;
  const size_t at = run.Out.find("ACPI tables: ");
  ASSERT_NE(at, std::string::npos) << run.Out;
  const std::string listed = run.Out.substr(at, run.Out.find('\n', at) - at) + " ";
  for (const fs::directory_entry& entry : fs::directory_iterator(tables)) {
    if (!entry.is_regular_file()) continue;
    // sysfs numbers repeated signatures: SSDT1, SSDT2, ...
    const std::string signature = entry.path().filename().string().substr(0, 4);
    EXPECT_NE(listed.find(" " + signature + " "), std::string::npos) << signature << listed;
  }
}

TEST(Zemctl, PcieBaseOfTheSimulatedBoardIsFound) {
  const TRun run = Zemctl("--machine sim:p35-core2 pcie-base");
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out, "0xE0000000\n");
}

TEST(Zemctl, FailuresAndBadUsageHaveTheirOwnExitStatus) {
  const TRun unknownBoard = Zemctl("--machine sim:no-such-board lspci");
  EXPECT_EQ(unknownBoard.Status, 1);
  EXPECT_EQ(std::count(unknownBoard.Err.begin(), unknownBoard.Err.end(), '\n'), 1)
      << unknownBoard.Err;

  EXPECT_EQ(Zemctl("no-such-command").Status, 2);
  EXPECT_EQ(Zemctl("--machine").Status, 2);
  EXPECT_EQ(Zemctl("--machine bogus lspci").Status, 2);

  const TRun help = Zemctl("--help");
  EXPECT_EQ(help.Status, 0);
  EXPECT_NE(help.Out.find("lspci"), std::string::npos);
  EXPECT_NE(help.Out.find("pcie-base"), std::string::npos);
}

TEST(Zemctl, RecordedSessionReplaysToTheSameOutput) {
  const std::string capture = ::testing::TempDir() + "zemctl-capture-" + std::to_string(::getpid());
  const TRun live = Zemctl("--machine sim:p35-core2 --record " + capture + " lspci");
  ASSERT_EQ(live.Status, 0) << live.Err;
  const TRun replayed = Zemctl("--machine replay:" + capture + " lspci");
  EXPECT_EQ(replayed.Status, 0) << replayed.Err;
  EXPECT_EQ(replayed.Out, live.Out);
  ::unlink(capture.c_str());
}

TEST(Zemctl, SimulatedStateSurvivesBetweenRuns) {
  // A CMOS byte written in one run is there in the next, as on a real board; without the state
  // file every run starts from the board file.
  const std::string state = ::testing::TempDir() + "zemctl-state-" + std::to_string(::getpid());
  ::unlink(state.c_str());
  const std::string machine = "--machine sim:p35-core2 --sim-state " + state;
  ASSERT_EQ(Zemctl(machine + " script 'O 70H 40H; O 71H 5AH'").Status, 0);
  const TRun kept = Zemctl(machine + " script 'O 70H 40H; I 71H'");
  EXPECT_EQ(kept.Out, "In Port 0x71 = 0x5A\nResult: 0x0000005A\n") << kept.Err;
  const TRun fresh = Zemctl("--machine sim:p35-core2 script 'O 70H 40H; I 71H'");
  EXPECT_EQ(fresh.Out, "In Port 0x71 = 0x00\nResult: 0x00000000\n") << fresh.Err;
  ::unlink(state.c_str());
}

TEST(Zemctl, ScriptPrintsResultLinesAndKeepsLocalsAcrossTexts) {
  const TRun run = Zemctl("--machine sim:p35-core2 script 'LOCAL0=2EH; LOCAL0=' 'LOCAL0='");
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out,
            "Local00 = 0x0000002E (46)\nResult: 0x0000002E\n"
            "Local00 = 0x0000002E (46)\nResult: 0x0000002E\n");
}

TEST(Zemctl, AFailingScriptStopsTheRunWithStatusOne) {
  const TRun run = Zemctl("--machine sim:p35-core2 script 'I 2E' 'LOCAL0=1'");
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Out, "Operand format error.\nResult: 0x00000000\n");
  EXPECT_EQ(run.Err, "zemctl: script failed: Operand format error.\n");
}

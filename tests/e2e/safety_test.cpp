// The built programs on the simulated boards where a reading could be invented or a run could
// lose its work: no monitor, one configuration object per run, memory running out, processors
// that do not exist, script files and waits, and the program's usage errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "base/inifile.h"
#include "tests/e2e/zemctlrun.h"
#include "tests/support/tempdir.h"

namespace fs = std::filesystem;
using e2e::Slurp;
using e2e::TRun;
using e2e::Zemctl;

namespace {

// A copy of the shipped program folder (KorZem.ini, model files, board files) to change.
std::string CopyProgramFolder(const TTempDir& dir) {
  const std::string folder = dir / "program";
  std::error_code error;
  fs::copy(std::string(KORZEM_SOURCE_DIR) + "/data", folder, fs::copy_options::recursive, error);
  EXPECT_FALSE(error) << error.message();
  return folder;
}

int CountLines(const std::string& text, const std::string& start) {
  int count = 0;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) count += line.rfind(start, 0) == 0 ? 1 : 0;
  return count;
}

}  // namespace

// No Super I/O (DisableSuperIo=1): the monitor reads 0xFF everywhere. That is no Vcore and no
// power, not 2.040 V and 140 W.
TEST(SafetyEndToEnd, WithoutAMonitorTheEstimateIsNotAvailable) {
  TTempDir dir;
  const std::string folder = CopyProgramFolder(dir);
  TIniFile(folder + "/KorZem.ini").WriteString("Config", "DisableSuperIo", "1");
  const TRun run = Zemctl("--machine sim:x58-nehalem --dir " + folder + " estimate --ticks 3");
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(CountLines(run.Out, "tick="), 3) << run.Out;
  EXPECT_EQ(CountLines(run.Out, "tick="),
            static_cast<int>(std::count(run.Out.begin(), run.Out.end(), '\n')));
  std::istringstream lines(run.Out);
  for (std::string line; std::getline(lines, line);) {
    EXPECT_NE(line.find(" Vcore=-1.000 "), std::string::npos) << line;
    EXPECT_NE(line.find(" Wzem=0.000 "), std::string::npos) << line;
    EXPECT_NE(line.find(" Wsaving=0.000 "), std::string::npos) << line;
  }

  // The same board with its monitor estimates a real power.
  const TRun monitored = Zemctl("--machine sim:x58-nehalem estimate --ticks 1");
  ASSERT_EQ(monitored.Status, 0) << monitored.Err;
  EXPECT_EQ(monitored.Out.find(" Vcore=-1.000 "), std::string::npos) << monitored.Out;
}

// korzem used to build the register-access configuration twice: the second copy lost RwDebug.rw
// to the first and wrote nothing after the first three lines.
TEST(SafetyEndToEnd, KorzemWritesTheWholeRunToTheRegisterAccessDebugFile) {
  TTempDir dir;
  const std::string folder = CopyProgramFolder(dir);
  TIniFile(folder + "/KorZem.ini").WriteString("Config", "RwDebug", "1");
  const TRun run = e2e::Korzem("--machine sim:p35-core2 --dir " + folder + " --snapshot " +
                               (dir / "window.png") + " --ticks 2");
  ASSERT_EQ(run.Status, 0) << run.Err;
  const std::string debug = Slurp(folder + "/RwDebug.rw");
  // The processor, the Super I/O detection scripts and the monitor of the ticks are all there.
  EXPECT_GT(CountLines(debug, "RW: "), 200) << debug.substr(0, 400);
  EXPECT_GT(CountLines(debug, "IP: "), 0);
  EXPECT_GT(CountLines(debug, "RW: ReadCpuMsr "), 0);
}

TEST(SafetyEndToEnd, KorzemWithoutItsConfigurationFileShowsItsBox) {
  TTempDir dir;
  const std::string folder = CopyProgramFolder(dir);
  fs::remove(folder + "/KorZem.ini");
  const TRun run = e2e::Korzem("--machine sim:p35-core2 --dir " + folder + " --snapshot " +
                               (dir / "window.png"));
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("Error: Initial file not found.\n"), std::string::npos) << run.Err;
  EXPECT_FALSE(fs::exists(dir / "window.png"));
}

TEST(SafetyEndToEnd, KorzemUsageErrors) {
  TTempDir dir;
  const std::string snapshot = " --machine sim:p35-core2 --snapshot " + (dir / "w.png");
  struct TCase {
    std::string Arguments;
    std::string Message;
  };
  for (const TCase& c : {TCase{snapshot + " --ticks", "korzem: --ticks needs a value"},
                         TCase{snapshot + " --load nan",
                               "korzem: --load needs a percentage from 0 to 100 or \"host\""},
                         TCase{snapshot + " --load inf", "korzem: --load needs a percentage"},
                         TCase{snapshot + " --assets " + (dir / "missing"),
                               "korzem: --assets " + (dir / "missing") + " holds no window"}}) {
    const TRun run = e2e::Korzem(c.Arguments);
    EXPECT_EQ(run.Status, 2) << c.Arguments;
    EXPECT_EQ(run.Err.rfind(c.Message, 0), 0u) << c.Arguments << "\n" << run.Err;
    EXPECT_NE(run.Err.find("usage: korzem"), std::string::npos);
  }
  EXPECT_FALSE(fs::exists(dir / "w.png"));
}

// A memory limit that the dump's text does not fit in fails the command with its message instead
// of aborting zemctl with std::bad_alloc.
TEST(SafetyEndToEnd, ADumpLargerThanMemoryFailsTheCommand) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer reserves more address space than the limit allows";
#else
  const TRun run = e2e::Run("ulimit -v 600000; " ZEMCTL_PATH,
                            "--machine sim:p35-core2 script \"DMEM 0 8000000H\"");
  EXPECT_EQ(run.Status, 1) << run.Err;
  EXPECT_NE(run.Err.find("zemctl: script failed: Dump Memory: Address=0x0, Size=0x8000000 - "
                         "Allocate buffer error"),
            std::string::npos)
      << run.Err;
  EXPECT_EQ(run.Err.find("bad_alloc"), std::string::npos) << run.Err;
#endif
}

// The simulated boards have the processors of their board files, whatever this PC has: the
// x58-nehalem four, the p35-core2 two. CPU refuses one that does not exist.
TEST(SafetyEndToEnd, ScriptCpuSwitchesOnlyToProcessorsOfTheBoard) {
  const TRun four = Zemctl("--machine sim:x58-nehalem script \"CPU 4\" \"RDMSR 1BH\"");
  ASSERT_EQ(four.Status, 0) << four.Err;
  EXPECT_NE(four.Out.find("Current CPU = CPU4\n"), std::string::npos) << four.Out;
  // An application processor: the bootstrap flag (bit 8) of the APIC base is clear.
  EXPECT_NE(four.Out.find("Low 32bit(EAX) = 0xFEE00800"), std::string::npos) << four.Out;

  for (const char* args :
       {"--machine sim:x58-nehalem script \"CPU 5\"", "--machine sim:p35-core2 script \"CPU 3\"",
        "--machine sim:p35-core2 script \"CPU 0\""}) {
    const TRun run = Zemctl(args);
    EXPECT_EQ(run.Status, 1) << args;
    EXPECT_EQ(run.Out.find("Current CPU"), std::string::npos) << args << "\n" << run.Out;
    EXPECT_NE(run.Err.find("script failed: Error to switch CPU!"), std::string::npos) << run.Err;
  }
}

// LOGFILE keeps the name's case on Linux; DELAY passes the simulated PC's time, not this PC's.
TEST(SafetyEndToEnd, ScriptLogFilesAndDelaysOnTheSimulatedPc) {
  TTempDir dir;
  const std::string log = dir / "Script-Log.txt";
  const TRun run = Zemctl("--machine sim:p35-core2 script \"LOGFILE " + log +
                          "\" \"RDTSC\" \"DELAY 5000\" \"RDTSC\"");
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_NE(run.Out.find("Logfile = " + log + "\n"), std::string::npos) << run.Out;
  EXPECT_NE(Slurp(log).find(">DELAY 5000\r\nDelay 5000 ms\r\n"), std::string::npos) << Slurp(log);

  // Five seconds of the board's time stand between the two counter readings: a real sleep would
  // have left the simulated clock where it was.
  std::vector<unsigned long long> tsc;
  const std::regex reading("Read TSC = 0x([0-9A-F]{16})");
  for (std::sregex_iterator it(run.Out.begin(), run.Out.end(), reading), end; it != end; ++it)
    tsc.push_back(std::stoull((*it)[1].str(), nullptr, 16));
  ASSERT_EQ(tsc.size(), 2u) << run.Out;
  EXPECT_GE(tsc[1] - tsc[0], 5000ull * 1000 * 1000) << "at least 1 GHz for 5 s";
}

#include "base/trace.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

class TCapturedConsole : public IOsConsole {
 public:
  explicit TCapturedConsole(std::string& sink) : Sink_(sink) {}
  void Write(std::string_view bytes) override { Sink_.append(bytes); }

 private:
  std::string& Sink_;
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string TempPath(const char* name) {
  return ::testing::TempDir() + name + std::to_string(::getpid());
}

}  // namespace

TEST(DebugConsole, WritesLinesWithLineFeedOnlyWhenEnabled) {
  std::string written;
  TDebugConsole on(true, std::make_unique<TCapturedConsole>(written));
  on.Line(">>>> P0");
  on.Line("OS = 4");
  EXPECT_EQ(written, ">>>> P0\nOS = 4\n");

  std::string silent;
  TDebugConsole off(false, std::make_unique<TCapturedConsole>(silent));
  off.Line("dropped");
  EXPECT_EQ(silent, "");
}

TEST(DebugConsole, FirstRequestDecidesForTheWholeRun) {
  TDebugConsole& first = GetTraceConsole(false);
  TDebugConsole& second = GetTraceConsole(true);
  EXPECT_EQ(&first, &second);
  EXPECT_FALSE(second.Enabled());
}

TEST(RwDebugFile, LinesEndInCrLfAndAnOldFileIsEmptied) {
  const std::string path = TempPath("rwdebug-a");
  {
    std::ofstream old(path);
    old << "left over from an earlier run\n";
  }
  RwDebugOpen(path);
  RwDebugLine("RW: IoBaseWriteByte 0x002E=0x87");
  RwDebugLine("Detecting OS");
  RwDebugClose();
  RwDebugLine("after close");
  EXPECT_EQ(ReadAll(path), "RW: IoBaseWriteByte 0x002E=0x87\r\nDetecting OS\r\n");
  ::unlink(path.c_str());
}

TEST(RwDebugFile, AFailedOpenDropsLinesSilently) {
  // A directory cannot be created as a file, as with an empty file name beside the executable.
  RwDebugOpen(::testing::TempDir());
  EXPECT_TRUE(RwDebugIsOpen());
  RwDebugLine("dropped");
  RwDebugClose();
  EXPECT_FALSE(RwDebugIsOpen());
}

TEST(RwDebugFile, LinesBeforeOpeningAreDropped) {
  const std::string path = TempPath("rwdebug-b");
  RwDebugLine("too early");
  RwDebugOpen(path);
  RwDebugLine("kept");
  RwDebugClose();
  EXPECT_EQ(ReadAll(path), "kept\r\n");
  ::unlink(path.c_str());
}

TEST(TraceTap, SeesLinesOfBothSinks) {
  struct TTap : ITraceTap {
    std::vector<std::string> Trace, Rw;
    void OnTraceLine(std::string_view text) override { Trace.emplace_back(text); }
    void OnRwDebugLine(std::string_view text) override { Rw.emplace_back(text); }
  } tap;
  SetTraceTap(&tap);
  TraceLine(">>>> PP0");
  RwDebugLine("RW: ReadTSC 0x0000000000000001");
  SetTraceTap(nullptr);
  TraceLine("not seen");
  EXPECT_EQ(tap.Trace, std::vector<std::string>{">>>> PP0"});
  EXPECT_EQ(tap.Rw, std::vector<std::string>{"RW: ReadTSC 0x0000000000000001"});
}

#include "app/shell/tui/tuiterminal.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <string>

namespace {

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string ReadAvailable(int fd) {
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  std::string text;
  char buffer[4096];
  ssize_t got;
  while ((got = ::read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, got);
  return text;
}

void* Handler(int signal) {
  struct sigaction current {};
  ::sigaction(signal, nullptr, &current);
  return reinterpret_cast<void*>(current.sa_handler);
}

TEST(TuiTerminal, PipesGiveLinesModeKeysAndTheirEnd) {
  int in[2], out[2], err[2];
  ASSERT_EQ(::pipe(in), 0);
  ASSERT_EQ(::pipe(out), 0);
  ASSERT_EQ(::pipe(err), 0);
  void* const before = Handler(SIGTERM);
  {
    std::unique_ptr<ITuiTerminal> terminal = CreateTuiTerminal(in[0], out[1], err[1]);
    EXPECT_FALSE(terminal->Open());
    EXPECT_NE(Handler(SIGTERM), before);

    ASSERT_EQ(::write(in[1], "pt", 2), 2);
    TTuiInput input = terminal->Wait(60000);
    EXPECT_EQ(input.Keys, "pt");
    EXPECT_FALSE(input.Stop);

    terminal->Wake();  // the wait returns at once with nothing
    input = terminal->Wait(60000);
    EXPECT_TRUE(input.Keys.empty());
    EXPECT_FALSE(input.KeysEnded);

    ::raise(SIGTERM);
    input = terminal->Wait(60000);
    EXPECT_TRUE(input.Stop);

    ::close(in[1]);
    input = terminal->Wait(60000);
    EXPECT_TRUE(input.KeysEnded);
    EXPECT_FALSE(input.Stop);

    terminal->Write("line\n");
    terminal->Close();
    terminal->Close();
  }
  EXPECT_EQ(Handler(SIGTERM), before);
  EXPECT_EQ(ReadAvailable(out[0]), "line\n");  // no screen sequences without a terminal
  for (int fd : {in[0], out[0], out[1], err[0], err[1]}) ::close(fd);
}

TEST(TuiTerminal, PseudoTerminalIsTakenAndGivenBack) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  const char* name = ::ptsname(master);
  ASSERT_NE(name, nullptr);
  const int in = ::open(name, O_RDWR | O_NOCTTY);
  const int out = ::open(name, O_RDWR | O_NOCTTY);
  const int err = ::open(name, O_RDWR | O_NOCTTY);
  ASSERT_GE(in, 0);
  ASSERT_GE(out, 0);
  ASSERT_GE(err, 0);

  std::unique_ptr<ITuiTerminal> terminal = CreateTuiTerminal(in, out, err);
  ASSERT_TRUE(terminal->Open());
  termios modes{};
  ASSERT_EQ(::tcgetattr(in, &modes), 0);
  EXPECT_EQ(modes.c_lflag & (ICANON | ECHO), 0u);
  EXPECT_NE(modes.c_lflag & ISIG, 0u);  // ^C still raises SIGINT
  EXPECT_TRUE(Has(ReadAvailable(master), "\x1b[?1049h\x1b[?25l"));

  // A key arrives without a line end: the input is raw.
  ASSERT_EQ(::write(master, "q", 1), 1);
  EXPECT_EQ(terminal->Wait(60000).Keys, "q");

  // Standard error is kept off the screen while it is taken, and handed back at the end.
  ASSERT_EQ(::write(err, "trace\n", 6), 6);
  EXPECT_EQ(terminal->Wait(60000).Errors, "trace\n");
  EXPECT_FALSE(Has(ReadAvailable(master), "trace"));

  terminal->Close();
  ASSERT_EQ(::tcgetattr(in, &modes), 0);
  EXPECT_NE(modes.c_lflag & ICANON, 0u);
  const std::string after = ReadAvailable(master);
  EXPECT_TRUE(Has(after, "\x1b[?25h\x1b[?1049l")) << after;
  EXPECT_TRUE(Has(after, "trace")) << after;
  for (int fd : {in, out, err, master}) ::close(fd);
}

}  // namespace

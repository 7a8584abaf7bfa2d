#include "app/shell/tui/tuiterminal.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

constexpr char kEnterScreen[] = "\x1b[?1049h\x1b[?25l\x1b[H\x1b[2J";
constexpr char kLeaveScreen[] = "\x1b[0m\x1b[?25h\x1b[?1049l";
constexpr size_t kKeptErrors = 64 * 1024;

// A signal handler can reach nothing but static state, so the open terminal leaves here what
// its handlers need: the pipe that wakes the loop, and the modes to restore when a second
// signal finds the loop stuck.
volatile sig_atomic_t gStop = 0;
volatile sig_atomic_t gStopHanded = 0;
volatile sig_atomic_t gResized = 0;
int gWakeFd = -1;
int gScreenFd = -1;
int gKeysFd = -1;
bool gKeysRaw = false;
termios gSavedModes{};

void OnSignal(int signal) {
  const int saved = errno;
  if (signal == SIGWINCH) {
    gResized = 1;
  } else if (gStop != 0 || gStopHanded != 0) {
    // The orderly exit did not come: give the terminal back and end at once.
    if (gKeysRaw) ::tcsetattr(gKeysFd, TCSANOW, &gSavedModes);
    if (gScreenFd >= 0) (void)!::write(gScreenFd, kLeaveScreen, sizeof kLeaveScreen - 1);
    ::_exit(128 + signal);
  } else {
    gStop = 1;
  }
  if (gWakeFd >= 0) (void)!::write(gWakeFd, "!", 1);
  errno = saved;
}

void WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t wrote = ::write(fd, text.data(), text.size());
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return;
    text.remove_prefix(static_cast<size_t>(wrote));
  }
}

void SetNonBlocking(int fd) {
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  ::fcntl(fd, F_SETFD, FD_CLOEXEC);
}

// Reads what is there now from a non-blocking descriptor; false at its end.
bool Drain(int fd, std::string& into) {
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got > 0) {
      into.append(buffer, static_cast<size_t>(got));
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    return got != 0;
  }
}

class TLinuxTerminal final : public ITuiTerminal {
 public:
  TLinuxTerminal(int inFd, int outFd, int errFd) : In_(inFd), Out_(outFd), Err_(errFd) {}
  ~TLinuxTerminal() override { Close(); }

  bool Open() override {
    if (Open_) return Screen_;
    Open_ = true;
    Screen_ = ::isatty(Out_) == 1;
    if (::pipe(Wake_) == 0) {
      SetNonBlocking(Wake_[0]);
      SetNonBlocking(Wake_[1]);
    }
    gStop = 0;
    gStopHanded = 0;
    gResized = 0;
    gWakeFd = Wake_[1];
    gKeysFd = In_;
    gScreenFd = Screen_ ? Out_ : -1;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &action, &OldActions_[i]);

    if (::isatty(In_) == 1 && ::tcgetattr(In_, &Modes_) == 0) {
      // Keys one by one without echo; ^C still raises SIGINT, which ends the program in order.
      termios raw = Modes_;
      raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
      raw.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL);
      raw.c_cc[VMIN] = 1;
      raw.c_cc[VTIME] = 0;
      gSavedModes = Modes_;
      KeysRaw_ = gKeysRaw = ::tcsetattr(In_, TCSANOW, &raw) == 0;
    }
    if (Screen_) WriteAll(Out_, kEnterScreen);
    if (Screen_ && ::isatty(Err_) == 1) CaptureErrors();
    return Screen_;
  }

  void Close() override {
    if (!Open_) return;
    Open_ = false;
    if (SavedErr_ >= 0) {
      Drain(Capture_, Kept_);
      ::dup2(SavedErr_, Err_);
      ::close(SavedErr_);
      ::close(Capture_);
      SavedErr_ = Capture_ = -1;
    }
    if (KeysRaw_) ::tcsetattr(In_, TCSANOW, &Modes_);
    KeysRaw_ = gKeysRaw = false;
    if (Screen_) WriteAll(Out_, kLeaveScreen);
    gScreenFd = -1;
    for (size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &OldActions_[i], nullptr);
    gWakeFd = -1;
    for (int& fd : Wake_) {
      if (fd >= 0) ::close(fd);
      fd = -1;
    }
    // What the program wrote to standard error meanwhile (the trace console, messages) is not
    // lost with the alternate screen.
    WriteAll(Err_, Kept_);
    Kept_.clear();
  }

  TTuiSize Size() override {
    winsize size{};
    if (Screen_ && ::ioctl(Out_, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 && size.ws_row > 0)
      return {size.ws_col, size.ws_row};
    return {};
  }

  void Write(std::string_view text) override { WriteAll(Out_, text); }

  TTuiInput Wait(int timeoutMs) override {
    TTuiInput input;
    pollfd fds[3];
    nfds_t count = 0;
    const auto watch = [&](int fd) -> int {
      if (fd < 0) return -1;
      fds[count] = {fd, POLLIN, 0};
      return static_cast<int>(count++);
    };
    const int keys = KeysOpen_ ? watch(In_) : -1;
    const int wake = watch(Wake_[0]);
    const int errors = watch(Capture_);
    if (gStop == 0 && gResized == 0) ::poll(fds, count, timeoutMs < 0 ? 0 : timeoutMs);
    const auto readable = [&](int index) {
      return index >= 0 && (fds[index].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
    };
    if (readable(keys)) {
      // One read: poll said it will not block, and the descriptor stays as the caller's shell
      // left it.
      char buffer[256];
      ssize_t got;
      do {
        got = ::read(In_, buffer, sizeof buffer);
      } while (got < 0 && errno == EINTR);
      if (got > 0) {
        input.Keys.assign(buffer, static_cast<size_t>(got));
      } else if (got == 0 || errno != EAGAIN) {
        KeysOpen_ = false;
        input.KeysEnded = true;
      }
    }
    if (readable(wake)) {
      std::string ignored;
      Drain(Wake_[0], ignored);
    }
    if (readable(errors)) {
      Drain(Capture_, input.Errors);
      Kept_ += input.Errors;
      if (Kept_.size() > kKeptErrors) Kept_.erase(0, Kept_.size() - kKeptErrors);
    }
    if (gStop != 0) {
      input.Stop = true;
      gStopHanded = 1;
      gStop = 0;
    }
    if (gResized != 0) {
      input.Resized = true;
      gResized = 0;
    }
    return input;
  }

  void Wake() override {
    if (Wake_[1] >= 0) (void)!::write(Wake_[1], "w", 1);
  }

  bool TrueColour() const override {
    const char* colour = std::getenv("COLORTERM");
    return colour != nullptr &&
           (std::strstr(colour, "truecolor") != nullptr || std::strstr(colour, "24bit") != nullptr);
  }

 private:
  static constexpr std::array<int, 4> kSignals = {SIGINT, SIGTERM, SIGHUP, SIGWINCH};

  void CaptureErrors() {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return;
    SavedErr_ = ::dup(Err_);
    if (SavedErr_ < 0 || ::dup2(pipeFds[1], Err_) < 0) {
      if (SavedErr_ >= 0) ::close(SavedErr_);
      SavedErr_ = -1;
      ::close(pipeFds[0]);
      ::close(pipeFds[1]);
      return;
    }
    ::close(pipeFds[1]);
    Capture_ = pipeFds[0];
    SetNonBlocking(Capture_);
  }

  int In_, Out_, Err_;
  bool Open_ = false;
  bool Screen_ = false;
  bool KeysRaw_ = false;
  bool KeysOpen_ = true;
  termios Modes_{};
  int Wake_[2] = {-1, -1};
  int SavedErr_ = -1;
  int Capture_ = -1;
  std::string Kept_;
  std::array<struct sigaction, 4> OldActions_{};
};

}  // namespace

std::unique_ptr<ITuiTerminal> CreateTuiTerminal(int inFd, int outFd, int errFd) {
  return std::make_unique<TLinuxTerminal>(inFd, outFd, errFd);
}

#include <unistd.h>

#include "os/console.h"

namespace {

// On Linux the trace console is the process's standard error, which the shell provides.
class TStderrConsole : public IOsConsole {
 public:
  void Write(std::string_view bytes) override {
    while (!bytes.empty()) {
      const ssize_t written = ::write(STDERR_FILENO, bytes.data(), bytes.size());
      if (written <= 0) return;
      bytes.remove_prefix(static_cast<size_t>(written));
    }
  }
};

}  // namespace

std::unique_ptr<IOsConsole> OsOpenConsole() {
  return std::make_unique<TStderrConsole>();
}

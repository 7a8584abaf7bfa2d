// The logon task on Linux: an XDG autostart entry, <autostart dir>/<task name>.desktop, which the
// desktop session starts at every logon. Only the root task folder exists, only logon triggers and
// program actions can be expressed, and settings without an autostart counterpart (run level, time
// limits, battery rules) are not recorded: an autostart entry always starts, as the user, without
// a time limit.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "os/atomicfile.h"
#include "os/linux/taskscheduler.h"
#include "os/linux/userdirs.h"

namespace {

constexpr int kTaskCreate = 2;  // TASK_CREATE
constexpr int kTaskUpdate = 4;  // TASK_UPDATE

std::string DefaultAutostartDir() {
  return XdgConfigHome() + "/autostart";
}

// A task name is used as a file name: it must not leave the autostart directory.
bool UsableName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// The Exec key's form of one argument (Desktop Entry Specification, "The Exec key"): quoted when it
// holds a reserved character, with '"', '`', '$' and '\' escaped inside the quotes; '%' doubled
// because it starts a field code.
std::string ExecArgument(const std::string& argument) {
  static constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
  std::string text;
  const bool quote = argument.find_first_of(kReserved) != std::string::npos;
  for (char c : argument) {
    if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) text += '\\';
    text += c;
    if (c == '%') text += '%';
  }
  return quote ? "\"" + text + "\"" : text;
}

// A value of the key file: backslash, line ends and tabs escaped.
std::string KeyFileValue(const std::string& value) {
  std::string text;
  for (char c : value) {
    switch (c) {
      case '\\':
        text += "\\\\";
        break;
      case '\n':
        text += "\\n";
        break;
      case '\r':
        text += "\\r";
        break;
      case '\t':
        text += "\\t";
        break;
      default:
        text += c;
    }
  }
  return text;
}

class TAutostartScheduler : public IOsTaskScheduler {
 public:
  explicit TAutostartScheduler(std::string dir)
      : Dir_(dir.empty() ? DefaultAutostartDir() : std::move(dir)) {}

  // Nothing to connect to; what can fail (the directory, the file) fails at its own step.
  bool Connect() override {
    Connected_ = true;
    return true;
  }

  bool DeleteTask(const std::string& folder, const std::string& name) override {
    if (!Connected_ || folder != "\\" || !UsableName(name)) return false;
    return ::unlink(EntryPath(name).c_str()) == 0;
  }

  bool RegisterTask(const std::string& folder, const std::string& name,
                    const TTaskDefinition& definition, int creationFlags, int) override {
    if (!Connected_ || folder != "\\" || !UsableName(name)) return false;
    if (definition.TriggerType != kTaskTriggerLogon || definition.ActionType != kTaskActionExec ||
        definition.ProgramPath.empty()) {
      return false;
    }
    struct stat info {};
    const bool exists = ::stat(EntryPath(name).c_str(), &info) == 0;
    if ((exists && !(creationFlags & kTaskUpdate)) || (!exists && !(creationFlags & kTaskCreate))) {
      return false;
    }
    // A disabled trigger keeps the entry but hides it, which autostart treats as not there.
    const std::string enabled = definition.TriggerEnabled ? "true" : "false";
    std::string entry =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Version=1.0\n"
        "Name=" +
        KeyFileValue(name) +
        "\n"
        "Comment=Starts " +
        KeyFileValue(name) +
        " at logon\n"
        "Exec=" +
        KeyFileValue(ExecArgument(definition.ProgramPath)) +
        "\n"
        "Terminal=false\n"
        "Hidden=" +
        std::string(definition.TriggerEnabled ? "false" : "true") +
        "\n"
        "X-GNOME-Autostart-enabled=" +
        enabled + "\n";
    if (!definition.Author.empty())
      entry += "X-KorZem-Author=" + KeyFileValue(definition.Author) + "\n";
    return MakeDirectories(Dir_, 0755) && OsReplaceWholeFile(EntryPath(name), entry);
  }

 private:
  std::string EntryPath(const std::string& name) const { return Dir_ + "/" + name + ".desktop"; }

  std::string Dir_;
  bool Connected_ = false;
};

}  // namespace

std::unique_ptr<IOsTaskScheduler> OsCreateAutostartScheduler(const std::string& autostartDir) {
  return std::make_unique<TAutostartScheduler>(autostartDir);
}

std::unique_ptr<IOsTaskScheduler> OsCreateTaskScheduler() {
  return OsCreateAutostartScheduler({});
}

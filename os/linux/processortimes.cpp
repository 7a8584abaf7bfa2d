// Processor times on Linux, from the aggregate "cpu" line of /proc/stat:
//   cpu  user nice system idle iowait irq softirq steal guest guest_nice
// in clock ticks (USER_HZ). Older kernels give fewer columns; the missing ones count as 0.
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "os/atomicfile.h"
#include "os/linux/processortimes.h"

namespace {

constexpr uint64_t kHundredNsPerSecond = 10'000'000;

class TProcStatTimes : public IOsProcessorTimes {
 public:
  TProcStatTimes(std::string path, uint32_t ticksPerSecond)
      : Path_(std::move(path)), TicksPerSecond_(ticksPerSecond) {
    if (TicksPerSecond_ == 0) {
      const long hz = ::sysconf(_SC_CLK_TCK);
      TicksPerSecond_ = hz > 0 ? static_cast<uint32_t>(hz) : 100;
    }
  }

  bool Available() override { return true; }

  bool GetSystemTimes(TProcessorTimes& times) override {
    std::string bytes;
    if (OsReadWholeFile(Path_, bytes) != TWholeFileRead::Ok) return false;
    // The aggregate line is the first one and starts with "cpu" followed by blanks.
    if (!bytes.starts_with("cpu ")) return false;
    const std::string line = bytes.substr(0, bytes.find('\n'));
    uint64_t field[8] = {};  // user nice system idle iowait irq softirq steal
    const char* cursor = line.c_str() + 3;
    int count = 0;
    for (; count < 8; ++count) {
      while (*cursor == ' ' || *cursor == '\t') ++cursor;
      if (*cursor < '0' || *cursor > '9') break;
      char* stop = nullptr;
      field[count] = std::strtoull(cursor, &stop, 10);
      cursor = stop;
    }
    if (count < 4) return false;  // every kernel has user, nice, system and idle
    const uint64_t idle = field[3] + field[4];
    const uint64_t busyKernel = field[2] + field[5] + field[6] + field[7];
    times.Idle = ToHundredNs(idle);
    times.Kernel = ToHundredNs(busyKernel + idle);
    times.User = ToHundredNs(field[0] + field[1]);
    return true;
  }

 private:
  uint64_t ToHundredNs(uint64_t ticks) const {
    // Split so that large tick counts do not overflow the multiplication.
    return ticks / TicksPerSecond_ * kHundredNsPerSecond +
           ticks % TicksPerSecond_ * kHundredNsPerSecond / TicksPerSecond_;
  }

  std::string Path_;
  uint32_t TicksPerSecond_;
};

}  // namespace

std::unique_ptr<IOsProcessorTimes> OsCreateProcStatTimes(const std::string& statPath,
                                                         uint32_t ticksPerSecond) {
  return std::make_unique<TProcStatTimes>(statPath, ticksPerSecond);
}

std::unique_ptr<IOsProcessorTimes> OsCreateProcessorTimes() {
  return OsCreateProcStatTimes("/proc/stat", 0);
}

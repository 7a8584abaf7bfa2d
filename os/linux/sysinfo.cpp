// System information and privileges on Linux.
//
// The version record carries the kernel's release: platform kPlatformLinux, major and minor from
// the leading numbers of uname's release, the whole release text in Release. There is no WOW64
// query and no Media Center metric (every system metric reads 0). The shutdown privilege is the
// capability CAP_SYS_BOOT, raised and lowered in the effective set of the calling thread.
#include <dirent.h>
#include <linux/capability.h>
#include <sched.h>
#include <sys/syscall.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "os/sysinfo.h"

namespace {

// Windows architecture codes, so callers compare against the same numbers on every platform.
constexpr uint16_t kArchX86 = 0;
constexpr uint16_t kArchArm = 5;
constexpr uint16_t kArchIa64 = 6;
constexpr uint16_t kArchX64 = 9;
constexpr uint16_t kArchArm64 = 12;
constexpr uint16_t kArchUnknown = 0xFFFF;

uint16_t ArchitectureOfBuild() {
#if defined(__x86_64__)
  return kArchX64;
#elif defined(__i386__)
  return kArchX86;
#elif defined(__aarch64__)
  return kArchArm64;
#elif defined(__arm__)
  return kArchArm;
#elif defined(__ia64__)
  return kArchIa64;
#else
  return kArchUnknown;
#endif
}

// The kernel's machine name decides the native architecture: a 32-bit build on a 64-bit kernel
// sees the 64-bit code here, as a WOW64 process does with the native query.
uint16_t ArchitectureOfMachine(const std::string& machine) {
  if (machine == "x86_64") return kArchX64;
  if (machine.size() == 4 && machine[0] == 'i' && machine.compare(2, 2, "86") == 0) return kArchX86;
  if (machine == "aarch64" || machine == "arm64") return kArchArm64;
  if (machine.rfind("arm", 0) == 0) return kArchArm;
  if (machine == "ia64") return kArchIa64;
  return kArchUnknown;
}

// Parses a decimal number at text[pos], advancing pos; 0 when there is none.
uint32_t TakeNumber(const std::string& text, size_t& pos) {
  uint32_t value = 0;
  while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
    value = value * 10 + static_cast<uint32_t>(text[pos] - '0');
    ++pos;
  }
  return value;
}

// The online processors as a 32-bit mask from the kernel's range list ("0-3,6").
uint32_t OnlineProcessorMask(uint32_t fallbackCount) {
  std::ifstream file("/sys/devices/system/cpu/online");
  std::string list;
  uint32_t mask = 0;
  if (file && std::getline(file, list)) {
    size_t pos = 0;
    while (pos < list.size()) {
      const size_t start = pos;
      const uint32_t first = TakeNumber(list, pos);
      if (pos == start) break;
      uint32_t last = first;
      if (pos < list.size() && list[pos] == '-') {
        ++pos;
        last = TakeNumber(list, pos);
      }
      for (uint32_t cpu = first; cpu <= last && cpu < 32; ++cpu) mask |= 1u << cpu;
      if (pos < list.size() && list[pos] == ',') ++pos;
    }
  }
  if (mask != 0) return mask;
  return fallbackCount >= 32 ? 0xFFFFFFFFu : (1u << fallbackCount) - 1;
}

// Family, model and stepping of the first processor, as Windows reports them in the level and
// revision fields (revision = model << 8 | stepping).
void FillProcessorModel(TOsSystemInfo& info) {
  std::ifstream file("/proc/cpuinfo");
  std::string line;
  int found = 0;
  uint32_t family = 0, model = 0, stepping = 0;
  while (found < 3 && std::getline(file, line)) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos) {
      if (line.empty() && found > 0) break;  // end of the first processor's block
      continue;
    }
    std::string key = line.substr(0, colon);
    while (!key.empty() && std::isspace(static_cast<unsigned char>(key.back()))) key.pop_back();
    const uint32_t value =
        static_cast<uint32_t>(std::strtoul(line.c_str() + colon + 1, nullptr, 10));
    if (key == "cpu family") {
      family = value;
      ++found;
    } else if (key == "model") {
      model = value;
      ++found;
    } else if (key == "stepping") {
      stepping = value;
      ++found;
    }
  }
  info.ProcessorLevel = static_cast<uint16_t>(family);
  info.ProcessorRevision = static_cast<uint16_t>((model & 0xFF) << 8 | (stepping & 0xFF));
}

void FillSystemInfo(TOsSystemInfo& info, uint16_t architecture) {
  info = TOsSystemInfo{};
  info.ProcessorArchitecture = architecture;
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  if (pageSize > 0) info.PageSize = static_cast<uint32_t>(pageSize);
  const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
  info.NumberOfProcessors = online > 0 ? static_cast<uint32_t>(online) : 1;
  info.ActiveProcessorMask = OnlineProcessorMask(info.NumberOfProcessors);
  // Windows' processor type numbers: 8664 for x64, 586 for a Pentium-class x86.
  if (architecture == kArchX64) info.ProcessorType = 8664;
  if (architecture == kArchX86) info.ProcessorType = 586;
  if (architecture == kArchX64 || architecture == kArchX86) FillProcessorModel(info);
}

class TLinuxSystem : public IOsSystem {
 public:
  bool GetVersionInfo(TOsVersionInfo& info) override {
    struct utsname names {};
    if (::uname(&names) != 0) return false;
    info = TOsVersionInfo{};
    info.PlatformId = kPlatformLinux;
    info.Release = names.release;
    size_t pos = 0;
    info.MajorVersion = TakeNumber(info.Release, pos);
    if (pos < info.Release.size() && info.Release[pos] == '.') {
      ++pos;
      info.MinorVersion = TakeNumber(info.Release, pos);
      if (pos < info.Release.size() && info.Release[pos] == '.') {
        ++pos;
        info.BuildNumber = TakeNumber(info.Release, pos);
      }
    }
    return true;
  }

  bool GetNativeSystemInfo(TOsSystemInfo& info) override {
    struct utsname names {};
    const uint16_t architecture =
        ::uname(&names) == 0 ? ArchitectureOfMachine(names.machine) : ArchitectureOfBuild();
    FillSystemInfo(info, architecture);
    return true;
  }

  void GetSystemInfo(TOsSystemInfo& info) override { FillSystemInfo(info, ArchitectureOfBuild()); }

  bool HasIsWow64Process() override { return false; }
  bool IsWow64Process() override { return false; }
  int GetSystemMetric(int) override { return 0; }

  // Sets the calling thread first (the one that goes on to touch the hardware), then every other
  // thread of the process, as a Windows process affinity covers all its threads.
  bool SetProcessAffinityMask(uint32_t mask) override {
    if (mask == 0) return false;
    cpu_set_t set;
    CPU_ZERO(&set);
    for (int cpu = 0; cpu < 32; ++cpu) {
      if (mask & (1u << cpu)) CPU_SET(cpu, &set);
    }
    if (::sched_setaffinity(0, sizeof set, &set) != 0) return false;
    SetOtherThreads(set);
    return true;
  }

  uint32_t GetProcessAffinityMask() override {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) != 0) return 0;
    uint32_t mask = 0;
    for (int cpu = 0; cpu < 32; ++cpu) {
      if (CPU_ISSET(cpu, &set)) mask |= 1u << cpu;
    }
    return mask;
  }

 private:
  static void SetOtherThreads(const cpu_set_t& set) {
    const pid_t self = static_cast<pid_t>(::syscall(SYS_gettid));
    // Threads are rare in this program (only the mouse-repeat helpers); a missing /proc only
    // leaves them where they were.
    if (DIR* handle = ::opendir("/proc/self/task")) {
      while (const dirent* entry = ::readdir(handle)) {
        const pid_t tid = static_cast<pid_t>(std::atoi(entry->d_name));
        if (tid > 0 && tid != self) ::sched_setaffinity(tid, sizeof set, &set);
      }
      ::closedir(handle);
    }
  }
};

constexpr const char* kShutdownPrivilege = "SeShutdownPrivilege";

bool EqualsIgnoringCase(const std::string& a, const char* b) {
  const size_t length = std::strlen(b);
  if (a.size() != length) return false;
  for (size_t i = 0; i < length; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

// Capabilities through the raw system calls (version 3: two 32-bit words per set).
class TLinuxPrivileges : public IOsPrivileges {
 public:
  bool OpenProcessToken() override {
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3];
    TokenOpen_ = Get(data);
    return TokenOpen_;
  }

  bool LookupPrivilege(const std::string& name) override {
    // Privilege names are case-insensitive on Windows.
    Selected_ = EqualsIgnoringCase(name, kShutdownPrivilege) ? CAP_SYS_BOOT : -1;
    return Selected_ >= 0;
  }

  bool AdjustPrivilege(bool enable) override {
    if (!TokenOpen_ || Selected_ < 0) return false;
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3];
    if (!Get(data)) return false;
    const unsigned word = static_cast<unsigned>(Selected_) / 32;
    const uint32_t bit = 1u << (static_cast<unsigned>(Selected_) % 32);
    if (enable) {
      if ((data[word].permitted & bit) == 0) return false;
      data[word].effective |= bit;
    } else {
      data[word].effective &= ~bit;
    }
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return ::syscall(SYS_capset, &header, data) == 0;
  }

  void CloseToken() override { TokenOpen_ = false; }

 private:
  static bool Get(__user_cap_data_struct* data) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    std::memset(data, 0, sizeof(__user_cap_data_struct) * _LINUX_CAPABILITY_U32S_3);
    return ::syscall(SYS_capget, &header, data) == 0;
  }

  bool TokenOpen_ = false;
  int Selected_ = -1;
};

}  // namespace

std::unique_ptr<IOsSystem> OsCreateSystem() {
  return std::make_unique<TLinuxSystem>();
}

std::unique_ptr<IOsPrivileges> OsCreatePrivileges() {
  return std::make_unique<TLinuxPrivileges>();
}

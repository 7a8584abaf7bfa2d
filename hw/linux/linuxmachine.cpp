#include "hw/linux/linuxmachine.h"

#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/textfmt.h"

#if defined(__x86_64__) || defined(__i386__)
#define KORZEM_X86 1
#include <cpuid.h>
#include <sys/io.h>
#include <x86intrin.h>
#else
#define KORZEM_X86 0
#endif

extern char** environ;

namespace {

constexpr uint64_t kPmTimerHz = 3579545;
constexpr uint64_t kNanosecondsPerSecond = 1000000000;

uint32_t AllOnes(uint8_t width) {
  return width >= 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1;
}

bool ValidWidth(uint8_t width) {
  return width == 1 || width == 2 || width == 4;
}

std::string CpuText(uint32_t cpu) {
  return "cpu " + std::to_string(cpu);
}

#if KORZEM_X86
// The I/O permission bitmap belongs to a thread: each thread that touches a port asks once.
bool PortsGrantedToThread() {
  thread_local int state = 0;  // 0 not asked, 1 granted, -1 refused
  if (state == 0) state = ::ioperm(0, 0x10000, 1) == 0 ? 1 : -1;
  return state > 0;
}
#endif

}  // namespace

TLinuxMachine::TLinuxMachine(const TLinuxMachineOptions& options)
    : Options_(options), Pci_(options.SysRoot) {}

std::unique_ptr<TLinuxMachine> OpenLinuxMachine(const TLinuxMachineOptions& options,
                                                std::string* error) {
  std::unique_ptr<TLinuxMachine> machine(new TLinuxMachine(options));
  if (!machine->Open(error)) return nullptr;
  return machine;
}

std::vector<uint32_t> ListSysfsPciFunctions(const std::string& sysRoot, std::string* error) {
  return TSysfsPci(sysRoot).ListFunctions(error);
}

bool TLinuxMachine::Open(std::string* error) {
  const std::string portPath = RootedPath(Options_.SysRoot, "/dev/port");
  Port_ = OpenReadWrite(portPath, &PortWritable_);
  if (!Port_.Valid()) {
    const int err = errno;
    // Some kernels (virtual machines above all) have no /dev/port at all; PCI, MSRs and the
    // firmware tables still work there, so only a refused device ends the open.
    if (err != ENOENT) {
      *error = OpenFailure(portPath, err);
      return false;
    }
    PortWritable_ = false;
    Notes_.push_back(
        "this kernel offers no /dev/port: port reads give all ones, writes are refused");
  }
  struct stat info {};
  PortIsDevice_ = ::fstat(Port_.Get(), &info) == 0 && S_ISCHR(info.st_mode);
  if (!PortWritable_) Notes_.push_back(portPath + " is read-only: port writes are refused");

  OpenCpus();
  OpenPhysicalMemory();
  OpenFirmware();
  OpenRdpmc();
  return true;
}

void TLinuxMachine::OpenCpus() {
  const std::string path = RootedPath(Options_.SysRoot, "/sys/devices/system/cpu/online");
  std::string text;
  std::string error;
  std::vector<uint32_t> cpus;
  if (!ReadFileText(path, &text, &error)) {
    Notes_.push_back(error + ": using processor 0 only");
  } else if (!ParseCpuList(text, &cpus)) {
    Notes_.push_back(path + " holds no processor list: using processor 0 only");
  } else {
    Cpus_ = cpus;
  }
}

void TLinuxMachine::OpenPhysicalMemory() {
  const std::string path = RootedPath(Options_.SysRoot, "/dev/mem");
  bool writable = false;
  // O_SYNC: the kernel then maps device memory uncached, as registers must be read.
  TFd fd = OpenReadWrite(path, &writable, O_SYNC);
  if (fd.Valid()) {
    Memory_.SetDevice(std::move(fd), writable, path);
  } else {
    Memory_.SetDeviceProblem(OpenFailure(path, errno));
    Notes_.push_back(Memory_.DeviceProblem());
  }
}

void TLinuxMachine::OpenFirmware() {
  const TFirmwareSource source = ReadFirmwareSource(Options_.SysRoot);
  if (const std::vector<uint8_t>* fadt = FindAcpiTable(source, "FACP")) {
    PmTimer_ = PmTimerFromFadt(*fadt);
  }

  bool rebuild = Options_.BiosArea == TBiosAreaSource::Rebuilt;
  if (Options_.BiosArea == TBiosAreaSource::Auto) {
    // UEFI firmware leaves the BIOS area without entry points; then the rebuilt one serves.
    uint32_t handle = 0;
    std::string error;
    if (!Memory_.HasDevice()) {
      rebuild = true;
    } else if (Memory_.Map(kBiosAreaBase, kBiosAreaSize, &handle, &error)) {
      rebuild = !BiosAreaHasEntryPoints(Memory_.Resolve(handle), kBiosAreaSize);
      Memory_.Unmap(handle, &error);
      if (rebuild) {
        Notes_.push_back("the BIOS area in memory holds no RSDP and \"_SM_\" entry point");
      }
    } else {
      Notes_.push_back(error);
      rebuild = true;
    }
  }
  if (rebuild) {
    Layout_ = BuildFirmwareLayout(source);
    for (const std::string& problem : source.Problems) Notes_.push_back(problem);
    for (const std::string& problem : Layout_.Problems) Notes_.push_back(problem);
    if (Layout_.Regions.empty()) {
      Notes_.push_back("no firmware tables to lay out: the BIOS area is not available");
    } else {
      Notes_.push_back("BIOS area rebuilt from /sys/firmware tables");
      BiosAreaRebuilt_ = true;
      for (TMemoryRegion& region : Layout_.Regions) Memory_.AddRegion(std::move(region));
      Layout_.Regions.clear();
    }
  }

  if (PmTimer_.Port != 0) {
    // A timer switched off in the chipset floats; 24-bit timers read zeros in bits 31:24.
    PmTimerFromPort_ = PortIn(PmTimer_.Port, 4) != 0xFFFFFFFFu;
    if (!PmTimerFromPort_) {
      Notes_.push_back("the PM timer at port " + HexWord(PmTimer_.Port) + " does not answer");
    }
  }
  if (!PmTimerFromPort_) {
    Notes_.push_back(std::string("PM timer synthesised from CLOCK_MONOTONIC (") +
                     (PmTimer_.Extended ? "32" : "24") + " bits)");
  }
}

void TLinuxMachine::OpenRdpmc() {
  if (!KORZEM_X86) {
    RdpmcProblem_ = "rdpmc exists only on x86 processors";
    return;
  }
  // 2: user-space rdpmc always allowed. 1 allows it only while the task has a perf event mapped,
  // and the instruction would fault otherwise. Hybrid processors name their core PMU cpu_core.
  for (const char* pmu : {"cpu", "cpu_core"}) {
    const std::string path =
        RootedPath(Options_.SysRoot, "/sys/bus/event_source/devices/") + pmu + "/rdpmc";
    std::string text;
    std::string error;
    if (!ReadFileText(path, &text, &error)) continue;
    const std::string setting = TrimBlanks(TextBefore(text, "\n"));
    RdpmcAllowed_ = setting == "2";
    if (!RdpmcAllowed_) {
      RdpmcProblem_ =
          "user-space rdpmc is not allowed (" + path + " is " + setting + "; write 2 to allow it)";
    }
    return;
  }
  RdpmcProblem_ = "user-space rdpmc is not allowed (no rdpmc setting under " +
                  RootedPath(Options_.SysRoot, "/sys/bus/event_source/devices/cpu") + ")";
}

uint64_t TLinuxMachine::Now() const {
  if (Options_.MonotonicNanoseconds) return Options_.MonotonicNanoseconds();
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * kNanosecondsPerSecond +
         static_cast<uint64_t>(now.tv_nsec);
}

// /dev/port reads and writes one byte at a time; wider registers (the PM timer above all, whose
// bytes would tear) need the real instruction. Only where /dev/port is the real device.
bool TLinuxMachine::WidePortsByInstruction() const {
#if KORZEM_X86
  return PortIsDevice_ && PortsGrantedToThread();
#else
  return false;
#endif
}

uint32_t TLinuxMachine::PortIn(uint16_t port, uint8_t width) {
  if (!ValidWidth(width)) {
    LastError_ = "port read of width " + std::to_string(width) + " refused";
    return 0xFFFFFFFFu;
  }
  if (!Port_.Valid()) {
    LastError_ = "cannot read port " + HexWord(port) + ": this kernel offers no /dev/port";
    return AllOnes(width);
  }
#if KORZEM_X86
  if (width > 1 && WidePortsByInstruction()) return width == 2 ? inw(port) : inl(port);
#endif
  uint8_t bytes[4] = {};
  const ssize_t got = ::pread(Port_.Get(), bytes, width, port);
  if (got != width) {
    const std::string reason = got < 0 ? ErrnoText(errno) : "beyond the last port";
    LastError_ = "cannot read port " + HexWord(port) + " through /dev/port: " + reason;
    return AllOnes(width);
  }
  uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = value << 8 | bytes[i];
  return value;
}

void TLinuxMachine::PortOut(uint16_t port, uint8_t width, uint32_t value) {
  if (!ValidWidth(width)) {
    LastError_ = "port write of width " + std::to_string(width) + " refused";
    return;
  }
  if (!Port_.Valid()) {
    LastError_ = "cannot write port " + HexWord(port) + ": this kernel offers no /dev/port";
    return;
  }
  if (!PortWritable_) {
    LastError_ = "cannot write port " + HexWord(port) + ": /dev/port is read-only (run as root)";
    return;
  }
#if KORZEM_X86
  if (width > 1 && WidePortsByInstruction()) {
    if (width == 2) {
      outw(static_cast<uint16_t>(value), port);
    } else {
      outl(value, port);
    }
    return;
  }
#endif
  uint8_t bytes[4];
  for (int i = 0; i < width; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
  const ssize_t put = ::pwrite(Port_.Get(), bytes, width, port);
  if (put != width) {
    const std::string reason = put < 0 ? ErrnoText(errno) : "beyond the last port";
    LastError_ = "cannot write port " + HexWord(port) + " through /dev/port: " + reason;
  }
}

uint32_t TLinuxMachine::PciConfigRead(uint32_t address, uint8_t lane, uint8_t width) {
  return Pci_.Read(address, lane, width, &LastError_);
}

void TLinuxMachine::PciConfigWrite(uint32_t address, uint8_t lane, uint8_t width, uint32_t value) {
  Pci_.Write(address, lane, width, value, &LastError_);
}

std::vector<uint32_t> TLinuxMachine::ListSysfsPciFunctions() {
  return Pci_.ListFunctions(&LastError_);
}

std::string TLinuxMachine::RunModprobe() {
  if (Options_.ModprobeMsr.empty()) return "no modprobe command";
  std::vector<char*> argv;
  for (std::string& word : Options_.ModprobeMsr) argv.push_back(word.data());
  argv.push_back(nullptr);
  // Its complaints belong in our message, not on the terminal.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t child = 0;
  const int spawned = ::posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  const std::string command =
      TrimBlanks(Options_.ModprobeMsr[0] + " " +
                 (Options_.ModprobeMsr.size() > 1 ? Options_.ModprobeMsr[1] : ""));
  if (spawned != 0) return command + ": " + ErrnoText(spawned);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    const int err = errno;
    if (err != EINTR) return command + ": " + ErrnoText(err);
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
  if (WIFEXITED(status))
    return command + " failed with exit status " + std::to_string(WEXITSTATUS(status));
  return command + " was ended by signal " + std::to_string(WTERMSIG(status));
}

TLinuxMachine::TCpuFile* TLinuxMachine::CpuFile(std::map<uint32_t, TCpuFile>& files,
                                                const std::string& name) {
  const uint32_t cpu = Cpus_[Selected_];
  const auto found = files.find(cpu);
  if (found != files.end()) return found->second.Fd.Valid() ? &found->second : nullptr;

  const std::string path =
      RootedPath(Options_.SysRoot, "/dev/cpu/") + std::to_string(cpu) + "/" + name;
  TCpuFile file;
  file.Fd = OpenReadWrite(path, &file.Writable);
  int err = errno;
  const bool missing = err == ENOENT || err == ENXIO || err == ENODEV;
  if (!file.Fd.Valid() && name == "msr" && missing && Options_.AllowModprobe && !ModprobeTried_) {
    ModprobeTried_ = true;
    ModprobeResult_ = RunModprobe();
    if (ModprobeResult_.empty()) {
      file.Fd = OpenReadWrite(path, &file.Writable);
      err = errno;
    }
  }
  if (!file.Fd.Valid()) {
    file.Problem = OpenFailure(path, err);
    if (name == "msr" && missing) {
      if (!Options_.AllowModprobe) {
        file.Problem += " (the msr module is not loaded: modprobe msr)";
      } else if (!ModprobeResult_.empty()) {
        file.Problem += " (the msr module is not loaded; " + ModprobeResult_ + ")";
      } else {
        file.Problem += " (the msr module was loaded but offers no device for this processor)";
      }
    }
  }
  TCpuFile& stored = files.emplace(cpu, std::move(file)).first->second;
  return stored.Fd.Valid() ? &stored : nullptr;
}

bool TLinuxMachine::ReadMsr(uint32_t msr, uint64_t* value) {
  TCpuFile* file = CpuFile(MsrFiles_, "msr");
  if (file == nullptr) {
    LastError_ = MsrFiles_[Cpus_[Selected_]].Problem;
    return false;
  }
  uint8_t bytes[8];
  if (::pread(file->Fd.Get(), bytes, 8, static_cast<off_t>(msr)) != 8) {
    const int err = errno;
    LastError_ = "rdmsr " + HexDword(msr) + " on " + CpuText(Cpus_[Selected_]) + ": " +
                 (err == EIO ? std::string("the processor refused the register") : ErrnoText(err));
    return false;
  }
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = v << 8 | bytes[i];
  *value = v;
  return true;
}

bool TLinuxMachine::WriteMsr(uint32_t msr, uint64_t value) {
  TCpuFile* file = CpuFile(MsrFiles_, "msr");
  if (file == nullptr) {
    LastError_ = MsrFiles_[Cpus_[Selected_]].Problem;
    return false;
  }
  const std::string what = "wrmsr " + HexDword(msr) + " on " + CpuText(Cpus_[Selected_]) + ": ";
  if (!file->Writable) {
    LastError_ = what + "the msr device is open read-only (run as root)";
    return false;
  }
  uint8_t bytes[8];
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
  if (::pwrite(file->Fd.Get(), bytes, 8, static_cast<off_t>(msr)) != 8) {
    const int err = errno;
    if (err == EIO) {
      LastError_ = what + "the processor refused the register";
    } else if (err == EPERM) {
      LastError_ = what + "the kernel refuses MSR writes (msr.allow_writes or lockdown)";
    } else {
      LastError_ = what + ErrnoText(err);
    }
    return false;
  }
  return true;
}

void TLinuxMachine::ExecuteCpuId(CpuRegisters& regs) {
  const uint32_t leaf = regs.EAX;
  // The cpuid device takes the leaf from the file offset (sub-leaf 0); it answers on its own
  // processor whichever one this thread runs on.
  if (TCpuFile* file = CpuFile(CpuidFiles_, "cpuid")) {
    uint32_t words[4];
    if (::pread(file->Fd.Get(), words, sizeof words, static_cast<off_t>(leaf)) ==
        static_cast<ssize_t>(sizeof words)) {
      regs = {words[0], words[1], words[2], words[3]};
      return;
    }
  }
#if KORZEM_X86
  unsigned a = 0, b = 0, c = 0, d = 0;
  __cpuid_count(leaf, 0, a, b, c, d);
  regs = {a, b, c, d};
#else
  regs = {0, 0, 0, 0};
  LastError_ = "cpuid: " + CpuidFiles_[Cpus_[Selected_]].Problem;
#endif
}

uint64_t TLinuxMachine::ReadTsc() {
#if KORZEM_X86
  return __rdtsc();
#else
  LastError_ = "no time-stamp counter on this processor architecture";
  return 0;
#endif
}

// rdpmc of a counter the processor does not have faults; count them first.
bool TLinuxMachine::PmcExists(uint32_t counter) {
  CpuRegisters regs{0, 0, 0, 0};
  ExecuteCpuId(regs);
  const bool intel = regs.EBX == 0x756E6547 && regs.EDX == 0x49656E69 && regs.ECX == 0x6C65746E;
  const bool amd = regs.EBX == 0x68747541 && regs.EDX == 0x69746E65 && regs.ECX == 0x444D4163;
  const uint32_t maxLeaf = regs.EAX;
  if (intel && maxLeaf >= 0x0A) {
    regs = {0x0A, 0, 0, 0};
    ExecuteCpuId(regs);
    const uint32_t general = (regs.EAX >> 8) & 0xFF;
    const uint32_t fixed = (regs.EAX & 0xFF) >= 2 ? regs.EDX & 0x1F : 0;
    if ((counter & 0x40000000u) != 0) return (counter & ~0x40000000u) < fixed;
    return counter < general;
  }
  if (amd) {
    regs = {0x80000001, 0, 0, 0};
    ExecuteCpuId(regs);
    const uint32_t general = (regs.ECX & (1u << 23)) != 0 ? 6 : 4;
    return counter < general;
  }
  return false;
}

bool TLinuxMachine::ReadPmc(uint32_t counter, uint64_t* value) {
  if (!RdpmcAllowed_) {
    LastError_ = RdpmcProblem_;
    return false;
  }
  if (!PmcExists(counter)) {
    LastError_ = "performance counter " + HexDword(counter) + " does not exist on this processor";
    return false;
  }
#if KORZEM_X86
  uint32_t low = 0, high = 0;
  __asm__ volatile("rdpmc" : "=a"(low), "=d"(high) : "c"(counter));
  *value = static_cast<uint64_t>(high) << 32 | low;
  return true;
#else
  (void)value;
  return false;
#endif
}

bool TLinuxMachine::ReadCr(uint32_t number, uint64_t* /*value*/) {
  LastError_ = "CR" + std::to_string(number) + " is not reachable from user mode";
  return false;
}

bool TLinuxMachine::WriteCr(uint32_t number, uint64_t /*value*/) {
  LastError_ = "CR" + std::to_string(number) + " is not reachable from user mode";
  return false;
}

uint32_t TLinuxMachine::MapPhysical(uint64_t address, uint32_t length, uint32_t* mapped) {
  return Memory_.Map(address, length, mapped, &LastError_) ? ZEM_STATUS_SUCCESS
                                                           : ZEM_STATUS_UNSUCCESSFUL;
}

uint32_t TLinuxMachine::UnmapPhysical(uint32_t mapped) {
  return Memory_.Unmap(mapped, &LastError_) ? ZEM_STATUS_SUCCESS : ZEM_STATUS_INVALID_PARAMETER;
}

uint8_t* TLinuxMachine::ResolveMapping(uint32_t mapped) {
  return Memory_.Resolve(mapped);
}

void TLinuxMachine::BusyWaitMicroseconds(uint32_t microseconds) {
  const uint64_t start = Now();
  const uint64_t wait = static_cast<uint64_t>(microseconds) * 1000;
  while (Now() - start < wait) {
  }
}

uint32_t TLinuxMachine::ReadPmTimer(uint16_t port) {
  if (PmTimerFromPort_ && port != 0) return PortIn(port, 4);
  const uint64_t ns = Now();
  const uint64_t ticks = ns / kNanosecondsPerSecond * kPmTimerHz +
                         ns % kNanosecondsPerSecond * kPmTimerHz / kNanosecondsPerSecond;
  return static_cast<uint32_t>(ticks) & (PmTimer_.Extended ? 0xFFFFFFFFu : 0x00FFFFFFu);
}

void TLinuxMachine::SelectCpu(uint32_t index) {
  if (index >= Cpus_.size()) {
    LastError_ = "processor index " + std::to_string(index) + " out of range (" +
                 std::to_string(Cpus_.size()) + " processors online)";
    return;
  }
  Selected_ = index;
  if (!Options_.PinThread) return;
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(Cpus_[index], &set);
  if (::sched_setaffinity(0, sizeof set, &set) != 0) {
    const std::string reason = ErrnoText(errno);
    LastError_ = "cannot pin the thread to " + CpuText(Cpus_[index]) + ": " + reason;
  }
}

uint32_t TLinuxMachine::CpuCount() {
  return static_cast<uint32_t>(Cpus_.size());
}

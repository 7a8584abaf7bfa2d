// How busy the simulated processor's cores are: the input from which the voltage regulator
// (sim/vrm.h) derives the processor's current. Three ways to set it:
//   fixed   a constant share per core;
//   script  a list of shares, one per tick of virtual time, so a test can walk idle, busy, idle;
//   host    the host's own load from /proc/stat, for the demo, where the clock follows wall time.
// Loads are percentages 0..100 of a core's time spent running rather than halted.
//
// Board-file section (optional; a board with a [VRM] section starts fixed at 2 %):
//   [Workload]  Mode=Fixed | Script | Host
//               Load=PERCENT[,PERCENT...]   fixed: one value for every core, or one per core
//               Script=P1,P2,...            script: every core's load in successive ticks
//               TickMs=1000                 script: virtual time per tick
//               Repeat=0 | 1                script: start again after the last tick (0: hold it)
//               ProcStat=/proc/stat         host: the file to read
//               SampleMs=500                host: virtual time between two readings
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/simdevice.h"

class TIniFile;
class TSimMachine;
class TVirtualClock;

// Jiffies of one line of /proc/stat: all of them, and those not spent idle or waiting for I/O.
struct TSimCpuTimes {
  uint64_t Busy = 0;
  uint64_t Total = 0;
};

struct TSimProcStat {
  TSimCpuTimes All;                // the "cpu" line
  std::vector<TSimCpuTimes> Cpus;  // "cpu0", "cpu1", ... in order
};

// The "cpu" lines of a /proc/stat text; false when there is no well-formed "cpu" line.
bool ParseSimProcStat(std::string_view text, TSimProcStat* stat);
// Reads and parses the file at path; false when it cannot be read or parsed.
bool ReadSimProcStat(const std::string& path, TSimProcStat* stat);

class TSimWorkload : public ISimDevice {
 public:
  static constexpr const char* Name = "workload";
  static constexpr double IdlePercent = 2;
  static constexpr uint64_t DefaultTickUs = 1000000;
  static constexpr uint64_t DefaultSampleUs = 500000;

  enum class TMode : uint8_t { Fixed, Script, Host };

  TSimWorkload(const TVirtualClock& clock, uint32_t cores);

  TMode Mode() const { return Mode_; }
  uint32_t Cores() const { return Cores_; }

  // Every core at percent (clipped to 0..100).
  void SetFixed(double percent);
  // One value per core; fewer values than cores repeat the last. False with a message for an
  // empty list or a value outside 0..100.
  bool SetFixed(const std::vector<double>& percents, std::string* error);
  // From now on, tick n of tickUs microseconds runs every core at percents[n]; after the last
  // tick the script starts again (repeat) or holds its last value.
  bool SetScript(const std::vector<double>& percents, uint64_t tickUs, bool repeat,
                 std::string* error);
  // Follows the load that the file at procStatPath reports, read again whenever sampleUs of
  // virtual time have passed. Core n follows host processor n modulo the host's count. The first
  // reading gives the load since the host started. False with a message when the file cannot be
  // read; the mode is then unchanged.
  bool FollowHost(const std::string& procStatPath, uint64_t sampleUs, std::string* error);

  // Percent of core's time spent running now. A host file that stops being readable keeps the
  // last loads.
  double Load(uint32_t core);
  // The script's current tick (0 in the other modes).
  size_t ScriptTick() const;

  // The mode and its settings, the script's start and the host's last reading.
  std::string DeviceName() const override { return Name; }
  void SaveState(TSimState& state) const override;
  bool LoadState(const TSimState& state, std::string* error) override;

 private:
  void SampleHost();

  const TVirtualClock& Clock_;
  uint32_t Cores_;
  TMode Mode_ = TMode::Fixed;
  std::vector<double> Fixed_;  // one per core
  std::vector<double> Script_;
  uint64_t TickNs_ = DefaultTickUs * 1000;
  bool Repeat_ = false;
  uint64_t ScriptStartNs_ = 0;
  std::string ProcStatPath_;
  uint64_t SampleNs_ = DefaultSampleUs * 1000;
  uint64_t SampledAtNs_ = 0;
  TSimProcStat Previous_;
  std::vector<double> HostLoads_;  // one per core
};

// The machine's workload, added on first use. A board that has a regulator adds it while it is
// built, so that its state has a place when a state file is loaded.
TSimWorkload& SimWorkload(TSimMachine& machine);

// A load given on a command line: a percentage 0..100 for every core, or "host" to follow this
// PC's own load. False with a message for anything else.
bool SetSimLoadOption(TSimMachine& machine, const std::string& option, std::string* error);

// The [Workload] section.
bool BuildSimWorkload(TSimMachine& machine, const TIniFile& ini, const std::string& section,
                      std::string* error);

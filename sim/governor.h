// The simulated PC's operating-system processor-power policy: the part of the OS that picks each
// core's P-state, as a cpufreq governor (or Windows' adaptive throttle) does. Under an adaptive
// policy ("ondemand", "schedutil", "conservative") it follows each core's load the way the
// on-demand governor does: above UpThreshold percent the top P-state, below it the P-state whose
// clock is closest to min + load x (max - min) / 100; "performance" keeps the top P-state and
// "powersave" the lowest. It writes the P-state control register of the core, exactly as the OS
// would, so the clock, VID and regulator follow through the processor's own registers.
//
// The policy is the board's Policy until the governor follows a cpufreq directory: then it is
// whatever "scaling_governor" of cpufreq/policy0 there says, which is where the Linux build's
// power schemes put it (os/powerschemes.h), so activating the "Korvan ZEM" scheme on a simulated
// PC gives it an on-demand governor and "Korvan ZEM Off" the performance one.
//
// The governor decides lazily, whenever the machine's MSRs or the regulator are read, from the
// load at that instant; nothing ticks.
//
// Board-file section:
//   [Governor]  PStates=MHZ:CONTROL, ...   the P-states the OS knows (its _PSS), top first: clock
//                                          and the value written to the control register
//                                          (IA32_PERF_CTL, FIDVID_CTL with InitFidVid, or the
//                                          family 10h P-state number)
//               Policy=performance         the policy the PC starts with
//               UpThreshold=80             percent load above which the top P-state runs
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/simdevice.h"

class TIniFile;
class TSimMachine;
class TSimWorkload;

struct TSimGovernorPState {
  double Mhz = 0;
  uint64_t Control = 0;
};

struct TSimGovernorSettings {
  std::vector<TSimGovernorPState> PStates;  // top first
  std::string Policy = "performance";
  double UpThreshold = 80;
};

class TSimGovernor : public ISimDevice {
 public:
  static constexpr const char* Name = "governor";

  // Null with a message when the processor has no P-state control the governor knows or the
  // table is empty.
  static TSimGovernor* Add(TSimMachine& machine, const TSimGovernorSettings& settings,
                           std::string* error);
  TSimGovernor(const TSimGovernor&) = delete;
  TSimGovernor& operator=(const TSimGovernor&) = delete;

  const TSimGovernorSettings& Settings() const { return Settings_; }
  // The policy in force (read from the cpufreq directory when following one).
  std::string Policy();
  void SetPolicy(const std::string& policy);
  // Creates cpuSysfs/cpufreq/policy0 with the governors the simulated PC offers and the policy in
  // force, and from then on takes the policy from its scaling_governor. False with a message when
  // the files cannot be written.
  bool FollowCpufreq(const std::string& cpuSysfs, std::string* error);

  // The P-state (index into the table) the policy last seen picks for a core at a load in percent.
  size_t Choose(double loadPercent) const;
  // Sets every core's P-state for the load at this instant.
  void Sync();

  // The last P-state the governor set on each core ("governor.coreN").
  std::string DeviceName() const override { return Name; }
  void SaveState(TSimState& state) const override;
  bool LoadState(const TSimState& state, std::string* error) override;

 private:
  TSimGovernor(TSimMachine& machine, const TSimGovernorSettings& settings, uint32_t controlMsr);
  void RefreshPolicy();

  TSimMachine& Machine_;
  TSimGovernorSettings Settings_;
  uint32_t ControlMsr_;
  TSimWorkload& Workload_;
  std::vector<size_t> Current_;  // per core; the board starts every core at the top P-state
  std::string GovernorFile_;     // empty: not following a cpufreq directory
  bool Syncing_ = false;
};

// The machine's governor; null when the board has none.
TSimGovernor* FindSimGovernor(TSimMachine& machine);

// The [Governor] section.
bool BuildSimGovernor(TSimMachine& machine, const TIniFile& ini, const std::string& section,
                      std::string* error);

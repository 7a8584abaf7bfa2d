// Named processors for board files ([Processor] Model=NAME) and the clock behaviour of their
// registers. A P-state or FID/VID request moves the core clock and the status registers with it,
// on-demand clock modulation and chipset throttles slow the clock, so a clock measured through
// the counters follows what the registers say.
//
//   core2-e7300       Intel Core 2 Duo E7300, 0x10677, 2.66 GHz (266.67 MHz x 10)
//   core-i7-920       Intel Core i7-920 (Nehalem), 0x106A5, 2.66 GHz (133.33 MHz x 20)
//   pentium4-630      Intel Pentium 4 630 (Prescott 2M), 0xF43, 3.0 GHz (200 MHz x 15)
//   athlon64-x2-5000  AMD Athlon 64 X2 5000+ (Brisbane, family 0Fh), 0x60FB2, 2.6 GHz
//   phenom2-x4-940    AMD Phenom II X4 940 (Deneb, family 10h), 0x100F42, 3.0 GHz
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "sim/simcpu.h"
#include "sim/simdevice.h"

class TSimMachine;

// How a processor family turns its registers into a core clock.
enum class TSimCpuScheme {
  None,      // no P-state registers modelled
  Core2,     // Intel family 6 before Nehalem: ratio in IA32_PERF_CTL/STATUS bits 14:8 (bit 14 =
             // a half ratio), limits in IA32_PERF_STATUS
  Nehalem,   // ratio in bits 7:0, limits in MSR_PLATFORM_INFO (0xCE)
  NetBurst,  // Intel family 15: ratio in bits 15:8, limits in MSR 0x2C
  K8,        // AMD family 0Fh: FIDVID_CTL (0xC0010041) and FIDVID_STATUS (0xC0010042)
  K10,       // AMD family 10h: hardware P-states 0xC0010061..0xC0010068, COFVID status 0xC0010071
};

// The scheme of a processor, from its vendor and signature.
TSimCpuScheme SimCpuScheme(const TSimProcessorModel& model);

struct TSimCpuModelInfo {
  std::string Name;
  std::string Description;
};

// The named models, in the order of the table above.
std::vector<TSimCpuModelInfo> SimCpuModels();

// Gives processor the named model's identity, core count, frequency, CPUID leaves and MSR reset
// values. CPUID leaves and MSRs that processor already holds keep their values, so a board's own
// entries win whatever their order in the file. False with a message for an unknown name.
bool ApplySimCpuModel(std::string_view name, TSimProcessorModel& processor, std::string* error);

// The clock behaviour of a machine's processors. One per machine (SimCpuClock adds it); it
// watches the MSR writes of every core and sets each core's clock to
//   P-state clock x modulation duty x chipset throttles,
// where the P-state clock is the model's frequency scaled by current / maximum ratio (or core
// frequency code), so the model's frequency is exactly what the top P-state runs at.
class TSimCpuClockControl : public ISimDevice, public ISimMsrObserver {
 public:
  static constexpr const char* Name = "cpu-clock";

  explicit TSimCpuClockControl(TSimMachine& machine);

  TSimCpuScheme Scheme() const { return Scheme_; }

  // A chipset throttle: while active, source leaves percent (1..100) of the full clock on every
  // core; 100 ends it. Every core's clock is re-derived.
  void SetThrottle(const std::string& source, uint32_t percent);
  // The share of the clock the active throttles leave, in percent of percent (10000 = none).
  uint32_t ThrottleShare() const;

  // The clock core's registers ask for, with modulation and throttles.
  uint64_t TargetHz(uint32_t core) const;
  // Sets every core's clock to its target.
  void Update();

  // ISimMsrObserver: P-state requests and the modulation register.
  void MsrWritten(TSimCpu& cpu, uint32_t msr, uint64_t value) override;

  // ISimDevice. The clocks live in the cores' state and the throttles in the devices that set
  // them, so there is nothing of its own to keep.
  std::string DeviceName() const override { return Name; }
  void SaveState(TSimState&) const override {}
  bool LoadState(const TSimState&, std::string*) override { return true; }

 private:
  // The P-state part of TargetHz.
  double PStateHz(TSimCpu& cpu) const;
  void IntelRequest(TSimCpu& cpu, uint64_t request);
  void K8Request(TSimCpu& cpu, uint64_t request);
  void K10Request(TSimCpu& cpu, uint64_t request);
  void UpdateCore(TSimCpu& cpu);

  TSimMachine& Machine_;
  TSimCpuScheme Scheme_;
  uint64_t ModelHz_;
  std::map<std::string, uint32_t> Throttles_;
};

// The machine's clock behaviour, added (and every core's clock set from its registers) on first
// use.
TSimCpuClockControl& SimCpuClock(TSimMachine& machine);

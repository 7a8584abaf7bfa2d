// Processors of the simulated PC: CPUID leaves from the board's processor model, per-core MSRs
// from a table of defaults (anything not in it faults), the time-stamp counter, APERF/MPERF and
// the performance counters that count core clocks, all derived from the virtual clock.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "hw/ioctl.h"
#include "sim/simdevice.h"
#include "sim/virtualclock.h"

// One MSR of the default table. A write changes the writable bits only; an MSR without writable
// bits is read-only and faults on a write, as a #GP would.
struct TSimMsrDefault {
  uint32_t Msr = 0;
  uint64_t Value = 0;
  uint64_t WritableBits = ~uint64_t{0};
};

// What the board says about its processor.
struct TSimProcessorModel {
  std::string Vendor = "GenuineIntel";  // 12 characters
  uint32_t Signature = 0x10677;         // CPUID 1 EAX
  uint32_t Cores = 1;
  uint64_t FrequencyHz = 2666666667;  // core clock
  uint64_t TscHz = 0;                 // 0: the core clock (a constant-rate TSC)
  std::string BrandString;            // CPUID 0x80000002..4, at most 48 characters
  uint32_t Leaf1Ecx = 0;
  uint32_t Leaf1Edx = 0;
  // Raw leaves that replace the generated ones (leaf 1 keeps its per-core APIC ID).
  std::map<uint32_t, CpuRegisters> CpuIdLeaves;
  std::vector<TSimMsrDefault> Msrs;                          // every core
  std::map<uint32_t, std::vector<TSimMsrDefault>> CoreMsrs;  // by core: additions and overrides
  std::array<uint64_t, 5> ControlRegisters = {0x8001003B, 0, 0x00039000, 0x000006F9,
                                              0};  // 0,2,3,4,8

  bool IsAmd() const { return Vendor == "AuthenticAMD"; }
  uint64_t EffectiveTscHz() const { return TscHz != 0 ? TscHz : FrequencyHz; }
};

class TSimCpu;

// Told after a write through WriteMsr has stored a value in an MSR of the table: the behaviour of
// control registers (a P-state request that moves the clock and its status register, a
// configuration bit another device follows). value is what the register now holds.
class ISimMsrObserver {
 public:
  virtual void MsrWritten(TSimCpu& cpu, uint32_t msr, uint64_t value) = 0;

 protected:
  ~ISimMsrObserver() = default;
};

class TSimCpu {
 public:
  static constexpr uint32_t MsrTsc = 0x10;
  static constexpr uint32_t MsrMperf = 0xE7;
  static constexpr uint32_t MsrAperf = 0xE8;

  TSimCpu(uint32_t index, const TSimProcessorModel& model, const TVirtualClock& clock);

  uint32_t Index() const { return Index_; }

  // False when the access faults.
  bool ReadMsr(uint32_t msr, uint64_t* value) const;
  bool WriteMsr(uint32_t msr, uint64_t value);
  bool HasMsr(uint32_t msr) const;
  // Adds an MSR to the table, or replaces its value and mask.
  void SetMsrDefault(const TSimMsrDefault& entry);
  // MSRs first .. last go to handler (before the table and the built-in counters).
  void SetMsrHandler(uint32_t first, uint32_t last, ISimMsrHandler* handler);
  // Observers see every successful write into the table, in the order they were added.
  void AddMsrObserver(ISimMsrObserver* observer) { Observers_.push_back(observer); }
  // The processor's own change of a table register (a status following its control register):
  // ignores the write mask and tells no observer. False when the MSR is not in the table.
  bool SetMsrValue(uint32_t msr, uint64_t value);

  uint64_t ReadTsc() const;
  // RDPMC: AMD counters 0..3, Intel general-purpose counters 0..1; false for others.
  bool ReadPmc(uint32_t counter, uint64_t* value) const;
  // Control registers 0, 2, 3, 4 and 8; false for other numbers.
  bool ReadCr(uint32_t number, uint64_t* value) const;
  bool WriteCr(uint32_t number, uint64_t value);
  CpuRegisters CpuId(uint32_t leaf) const;

  // Clocks this core has run since power-on; follows frequency changes (P-states).
  uint64_t CoreCycles() const;
  uint64_t CoreFrequencyHz() const { return FrequencyHz_; }
  void SetCoreFrequencyHz(uint64_t hz);

  // Entries "cpu<N>.*".
  void SaveState(TSimState& state) const;
  bool LoadState(const TSimState& state, std::string* error);

 private:
  // Event-select / counter pairs: AMD 0xC0010000-3 with 0xC0010004-7 (event 0x76 counts unhalted
  // clocks), Intel 0x186-7 with 0xC1-2 (event 0x3C).
  struct TPerfLayout {
    uint32_t SelectBase;
    uint32_t CounterBase;
    uint32_t Count;
    uint32_t CycleEvent;
    uint64_t CounterMask;
  };
  struct TPerfCounter {
    uint64_t Select = 0;
    uint64_t Base = 0;          // value when counting (re)started
    uint64_t CyclesAtBase = 0;  // CoreCycles() at that moment
  };
  struct TMsr {
    uint64_t Value;
    uint64_t WritableBits;
  };
  struct THandlerRange {
    uint32_t First;
    uint32_t Last;
    ISimMsrHandler* Handler;
  };
  static constexpr size_t MaxCounters = 4;
  static constexpr uint64_t SelectEnable = 1ull << 22;

  uint64_t NowNs() const { return Clock_.Nanoseconds(); }
  uint64_t TscTicks() const;
  bool Counting(const TPerfCounter& counter) const;
  uint64_t CounterValue(const TPerfCounter& counter) const;
  bool ReadBuiltIn(uint32_t msr, uint64_t* value, bool* handled) const;
  bool WriteBuiltIn(uint32_t msr, uint64_t value, bool* handled);
  std::string Key(const std::string& name) const;

  uint32_t Index_;
  const TSimProcessorModel Model_;
  const TVirtualClock& Clock_;
  TPerfLayout Perf_;
  bool HasAperf_;

  std::map<uint32_t, TMsr> Msrs_;
  std::vector<THandlerRange> Handlers_;
  std::vector<ISimMsrObserver*> Observers_;
  std::array<TPerfCounter, MaxCounters> Counters_{};
  std::array<uint64_t, 5> Cr_;
  uint64_t TscOffset_ = 0;  // added to the clock-derived count (wraps)
  uint64_t CyclesBase_ = 0;
  uint64_t CyclesSinceNs_ = 0;
  uint64_t FrequencyHz_;
  uint64_t AperfBase_ = 0, AperfCycles_ = 0;  // APERF = base + cycles since
  uint64_t MperfBase_ = 0, MperfTicks_ = 0;   // MPERF = base + TSC ticks since
};

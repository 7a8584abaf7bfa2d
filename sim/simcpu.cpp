#include "sim/simcpu.h"

#include <algorithm>
#include <cstring>

#include "base/textfmt.h"
#include "sim/simstate.h"

namespace {

constexpr uint64_t NanosecondsPerSecond = 1000000000;
constexpr uint32_t HyperThreadingBit = 1u << 28;  // CPUID 1 EDX: more than one logical processor

uint32_t TextDword(const std::string& text, size_t at) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) {
    const uint8_t c = at + i < text.size() ? static_cast<uint8_t>(text[at + i]) : 0;
    value |= uint32_t{c} << (8 * i);
  }
  return value;
}

// Control register number to slot in the saved array.
int CrSlot(uint32_t number) {
  switch (number) {
    case 0:
      return 0;
    case 2:
      return 1;
    case 3:
      return 2;
    case 4:
      return 3;
    case 8:
      return 4;
    default:
      return -1;
  }
}
constexpr uint32_t CrNumbers[] = {0, 2, 3, 4, 8};

}  // namespace

TSimCpu::TSimCpu(uint32_t index, const TSimProcessorModel& model, const TVirtualClock& clock)
    : Index_(index),
      Model_(model),
      Clock_(clock),
      Perf_(model.IsAmd() ? TPerfLayout{0xC0010000, 0xC0010004, 4, 0x076, (1ull << 48) - 1}
                          : TPerfLayout{0x186, 0xC1, 2, 0x03C, (1ull << 40) - 1}),
      Cr_(model.ControlRegisters),
      FrequencyHz_(model.FrequencyHz) {
  // APERF and MPERF exist when CPUID 6 reports them (ECX bit 0).
  const auto leaf6 = model.CpuIdLeaves.find(6);
  HasAperf_ = leaf6 != model.CpuIdLeaves.end() && (leaf6->second.ECX & 1) != 0;
  for (const TSimMsrDefault& entry : model.Msrs) SetMsrDefault(entry);
  const auto own = model.CoreMsrs.find(index);
  if (own != model.CoreMsrs.end()) {
    for (const TSimMsrDefault& entry : own->second) SetMsrDefault(entry);
  }
  CyclesSinceNs_ = NowNs();
  // Counters start from zero at power-on, which is time zero of the clock.
  CyclesBase_ = SimScale(CyclesSinceNs_, FrequencyHz_, NanosecondsPerSecond);
}

void TSimCpu::SetMsrDefault(const TSimMsrDefault& entry) {
  Msrs_[entry.Msr] = {entry.Value, entry.WritableBits};
}

void TSimCpu::SetMsrHandler(uint32_t first, uint32_t last, ISimMsrHandler* handler) {
  Handlers_.push_back({first, last, handler});
}

bool TSimCpu::HasMsr(uint32_t msr) const {
  uint64_t value = 0;
  return ReadMsr(msr, &value);
}

uint64_t TSimCpu::TscTicks() const {
  return SimScale(NowNs(), Model_.EffectiveTscHz(), NanosecondsPerSecond);
}

uint64_t TSimCpu::ReadTsc() const {
  return TscOffset_ + TscTicks();
}

uint64_t TSimCpu::CoreCycles() const {
  const uint64_t now = NowNs();
  const uint64_t elapsed = now > CyclesSinceNs_ ? now - CyclesSinceNs_ : 0;
  return CyclesBase_ + SimScale(elapsed, FrequencyHz_, NanosecondsPerSecond);
}

void TSimCpu::SetCoreFrequencyHz(uint64_t hz) {
  CyclesBase_ = CoreCycles();
  CyclesSinceNs_ = NowNs();
  FrequencyHz_ = hz;
}

bool TSimCpu::Counting(const TPerfCounter& counter) const {
  if ((counter.Select & SelectEnable) == 0) return false;
  // AMD keeps event bits 11:8 in select bits 35:32.
  const uint64_t event =
      (counter.Select & 0xFF) | (Model_.IsAmd() ? (counter.Select >> 24) & 0xF00 : 0);
  const uint64_t unitMask = Model_.IsAmd() ? 0 : (counter.Select >> 8) & 0xFF;
  return event == Perf_.CycleEvent && unitMask == 0;
}

uint64_t TSimCpu::CounterValue(const TPerfCounter& counter) const {
  if (!Counting(counter)) return counter.Base;
  return (counter.Base + CoreCycles() - counter.CyclesAtBase) & Perf_.CounterMask;
}

bool TSimCpu::ReadBuiltIn(uint32_t msr, uint64_t* value, bool* handled) const {
  *handled = true;
  if (msr == MsrTsc) {
    *value = ReadTsc();
    return true;
  }
  if (HasAperf_ && msr == MsrAperf) {
    *value = AperfBase_ + CoreCycles() - AperfCycles_;
    return true;
  }
  if (HasAperf_ && msr == MsrMperf) {
    *value = MperfBase_ + TscTicks() - MperfTicks_;
    return true;
  }
  if (msr >= Perf_.SelectBase && msr < Perf_.SelectBase + Perf_.Count) {
    *value = Counters_[msr - Perf_.SelectBase].Select;
    return true;
  }
  if (msr >= Perf_.CounterBase && msr < Perf_.CounterBase + Perf_.Count) {
    *value = CounterValue(Counters_[msr - Perf_.CounterBase]);
    return true;
  }
  *handled = false;
  return false;
}

bool TSimCpu::WriteBuiltIn(uint32_t msr, uint64_t value, bool* handled) {
  *handled = true;
  if (msr == MsrTsc) {
    TscOffset_ = value - TscTicks();
    return true;
  }
  if (HasAperf_ && msr == MsrAperf) {
    AperfBase_ = value;
    AperfCycles_ = CoreCycles();
    return true;
  }
  if (HasAperf_ && msr == MsrMperf) {
    MperfBase_ = value;
    MperfTicks_ = TscTicks();
    return true;
  }
  if (msr >= Perf_.SelectBase && msr < Perf_.SelectBase + Perf_.Count) {
    // Freeze what has been counted so far, then count (or not) from here under the new select.
    TPerfCounter& counter = Counters_[msr - Perf_.SelectBase];
    counter.Base = CounterValue(counter);
    counter.CyclesAtBase = CoreCycles();
    counter.Select = value;
    return true;
  }
  if (msr >= Perf_.CounterBase && msr < Perf_.CounterBase + Perf_.Count) {
    TPerfCounter& counter = Counters_[msr - Perf_.CounterBase];
    counter.Base = value & Perf_.CounterMask;
    counter.CyclesAtBase = CoreCycles();
    return true;
  }
  *handled = false;
  return false;
}

bool TSimCpu::ReadMsr(uint32_t msr, uint64_t* value) const {
  for (const THandlerRange& range : Handlers_) {
    if (msr >= range.First && msr <= range.Last) return range.Handler->MsrRead(Index_, msr, value);
  }
  bool handled = false;
  const bool result = ReadBuiltIn(msr, value, &handled);
  if (handled) return result;
  const auto it = Msrs_.find(msr);
  if (it == Msrs_.end()) return false;
  *value = it->second.Value;
  return true;
}

bool TSimCpu::WriteMsr(uint32_t msr, uint64_t value) {
  for (const THandlerRange& range : Handlers_) {
    if (msr >= range.First && msr <= range.Last) return range.Handler->MsrWrite(Index_, msr, value);
  }
  bool handled = false;
  const bool result = WriteBuiltIn(msr, value, &handled);
  if (handled) return result;
  const auto it = Msrs_.find(msr);
  if (it == Msrs_.end() || it->second.WritableBits == 0) return false;
  TMsr& entry = it->second;
  entry.Value = (entry.Value & ~entry.WritableBits) | (value & entry.WritableBits);
  const uint64_t stored = entry.Value;  // an observer may add table entries
  for (ISimMsrObserver* observer : Observers_) observer->MsrWritten(*this, msr, stored);
  return true;
}

bool TSimCpu::SetMsrValue(uint32_t msr, uint64_t value) {
  const auto it = Msrs_.find(msr);
  if (it == Msrs_.end()) return false;
  it->second.Value = value;
  return true;
}

bool TSimCpu::ReadPmc(uint32_t counter, uint64_t* value) const {
  if (counter >= Perf_.Count) return false;
  *value = CounterValue(Counters_[counter]);
  return true;
}

bool TSimCpu::ReadCr(uint32_t number, uint64_t* value) const {
  const int slot = CrSlot(number);
  if (slot < 0) return false;
  *value = Cr_[slot];
  return true;
}

bool TSimCpu::WriteCr(uint32_t number, uint64_t value) {
  const int slot = CrSlot(number);
  if (slot < 0) return false;
  Cr_[slot] = value;
  return true;
}

CpuRegisters TSimCpu::CpuId(uint32_t leaf) const {
  const std::string& vendor = Model_.Vendor;
  const bool hasBrand = !Model_.BrandString.empty();
  uint32_t maxBasic = 1;
  uint32_t maxExtended = hasBrand ? 0x80000004 : 0x80000000;
  for (const auto& [number, regs] : Model_.CpuIdLeaves) {
    if (number < 0x80000000)
      maxBasic = std::max(maxBasic, number);
    else
      maxExtended = std::max(maxExtended, number);
  }

  CpuRegisters regs{};
  if (leaf == 0) {
    regs = {maxBasic, TextDword(vendor, 0), TextDword(vendor, 8), TextDword(vendor, 4)};
  } else if (leaf == 1) {
    const uint32_t logical = Model_.Cores > 1 ? std::min<uint32_t>(Model_.Cores, 255) : 0;
    regs.EAX = Model_.Signature;
    regs.EBX = (Index_ & 0xFF) << 24 | logical << 16 | 8u << 8;  // CLFLUSH line: 8 x 8 bytes
    regs.ECX = Model_.Leaf1Ecx;
    regs.EDX = Model_.Leaf1Edx | (Model_.Cores > 1 ? HyperThreadingBit : 0);
  } else if (leaf == 0x80000000) {
    regs.EAX = maxExtended;
    if (Model_.IsAmd()) {
      regs.EBX = TextDword(vendor, 0);
      regs.ECX = TextDword(vendor, 8);
      regs.EDX = TextDword(vendor, 4);
    }
  } else if (leaf == 0x80000001 && Model_.IsAmd()) {
    regs.EAX = Model_.Signature;
  } else if (hasBrand && leaf >= 0x80000002 && leaf <= 0x80000004) {
    const size_t at = (leaf - 0x80000002) * 16;
    regs = {TextDword(Model_.BrandString, at), TextDword(Model_.BrandString, at + 4),
            TextDword(Model_.BrandString, at + 8), TextDword(Model_.BrandString, at + 12)};
  }
  const auto raw = Model_.CpuIdLeaves.find(leaf);
  if (raw != Model_.CpuIdLeaves.end()) {
    regs = raw->second;
    if (leaf == 1) regs.EBX = (regs.EBX & 0x00FFFFFF) | (Index_ & 0xFF) << 24;
  }
  return regs;
}

std::string TSimCpu::Key(const std::string& name) const {
  return "cpu" + std::to_string(Index_) + "." + name;
}

void TSimCpu::SaveState(TSimState& state) const {
  state.SetNumber(Key("tsc"), ReadTsc());
  state.SetNumber(Key("cycles"), CoreCycles());
  state.SetNumber(Key("frequency"), FrequencyHz_);
  if (HasAperf_) {
    uint64_t value = 0;
    bool handled = false;
    ReadBuiltIn(MsrAperf, &value, &handled);
    state.SetNumber(Key("aperf"), value);
    ReadBuiltIn(MsrMperf, &value, &handled);
    state.SetNumber(Key("mperf"), value);
  }
  for (uint32_t i = 0; i < Perf_.Count; ++i) {
    state.SetNumber(Key("perf" + std::to_string(i) + ".select"), Counters_[i].Select);
    state.SetNumber(Key("perf" + std::to_string(i) + ".count"), CounterValue(Counters_[i]));
  }
  for (size_t slot = 0; slot < Cr_.size(); ++slot) {
    state.SetNumber(Key("cr" + std::to_string(CrNumbers[slot])), Cr_[slot]);
  }
  for (const auto& [msr, entry] : Msrs_) {
    state.SetNumber(Key("msr." + HexDword(msr).substr(2)), entry.Value);
  }
}

bool TSimCpu::LoadState(const TSimState& state, std::string* error) {
  // Read everything first so that a bad entry leaves this core as it was.
  uint64_t tsc = 0, cycles = 0, frequency = 0, aperf = 0, mperf = 0;
  if (!state.GetNumber(Key("tsc"), &tsc, error) ||
      !state.GetNumber(Key("cycles"), &cycles, error) ||
      !state.GetNumber(Key("frequency"), &frequency, error)) {
    return false;
  }
  if (HasAperf_ && (!state.GetNumber(Key("aperf"), &aperf, error) ||
                    !state.GetNumber(Key("mperf"), &mperf, error))) {
    return false;
  }
  std::array<uint64_t, MaxCounters> selects{}, counts{};
  for (uint32_t i = 0; i < Perf_.Count; ++i) {
    if (!state.GetNumber(Key("perf" + std::to_string(i) + ".select"), &selects[i], error) ||
        !state.GetNumber(Key("perf" + std::to_string(i) + ".count"), &counts[i], error)) {
      return false;
    }
  }
  std::array<uint64_t, 5> cr{};
  for (size_t slot = 0; slot < cr.size(); ++slot) {
    if (!state.GetNumber(Key("cr" + std::to_string(CrNumbers[slot])), &cr[slot], error)) {
      return false;
    }
  }
  std::map<uint32_t, TMsr> msrs = Msrs_;
  for (auto& [msr, entry] : msrs) {
    if (!state.GetNumber(Key("msr." + HexDword(msr).substr(2)), &entry.Value, error)) return false;
  }

  Msrs_ = std::move(msrs);
  Cr_ = cr;
  FrequencyHz_ = frequency;
  CyclesBase_ = cycles;
  CyclesSinceNs_ = NowNs();
  TscOffset_ = tsc - TscTicks();
  AperfBase_ = aperf;
  AperfCycles_ = cycles;
  MperfBase_ = mperf;
  MperfTicks_ = TscTicks();
  for (uint32_t i = 0; i < Perf_.Count; ++i) {
    Counters_[i] = {selects[i], counts[i] & Perf_.CounterMask, cycles};
  }
  return true;
}

#include "sim/simcpumodels.h"

#include <algorithm>
#include <cmath>

#include "sim/simmachine.h"

namespace {

// --- register numbers ---
constexpr uint32_t MsrPlatformInfo = 0xCE;  // Nehalem: maximum and minimum ratio
constexpr uint32_t MsrEbcFrequencyId = 0x2C;
constexpr uint32_t MsrPerfStatus = 0x198;
constexpr uint32_t MsrPerfCtl = 0x199;
constexpr uint32_t MsrClockModulation = 0x19A;
constexpr uint32_t MsrMiscEnable = 0x1A0;
constexpr uint64_t EistEnable = 1ull << 16;
constexpr uint64_t ModulationEnable = 1ull << 4;

constexpr uint32_t MsrFidVidCtl = 0xC0010041;
constexpr uint32_t MsrFidVidStatus = 0xC0010042;
constexpr uint64_t InitFidVid = 1ull << 16;

constexpr uint32_t MsrPStateLimit = 0xC0010061;
constexpr uint32_t MsrPStateControl = 0xC0010062;
constexpr uint32_t MsrPStateStatus = 0xC0010063;
constexpr uint32_t MsrPState0 = 0xC0010064;
constexpr uint32_t MsrCofVidStatus = 0xC0010071;
constexpr uint64_t PStateEnabled = 1ull << 63;
// The P-state fields COFVID status mirrors: CpuFid, CpuDid, CpuVid, NbDid, NbVid.
constexpr uint64_t CofVidMirrored = 0xFE40FFFFull;

uint64_t ReadOr(const TSimCpu& cpu, uint32_t msr, uint64_t fallback) {
  uint64_t value = 0;
  return cpu.ReadMsr(msr, &value) ? value : fallback;
}

// A Core 2 ratio code (bits 4:0 the ratio, bit 6 a half) in half steps.
uint32_t Core2Halves(uint64_t code) {
  return 2 * static_cast<uint32_t>(code & 0x1F) + static_cast<uint32_t>((code >> 6) & 1);
}

// Family 10h core clock in units of 100 MHz / 2^4: (FID + 16) / 2^DID, kept whole.
uint64_t K10Cof(uint64_t pstate) {
  const uint64_t did = std::min<uint64_t>((pstate >> 6) & 7, 4);
  return ((pstate & 0x3F) + 16) << (4 - did);
}

// --- the models ---

CpuRegisters Regs(uint32_t eax, uint32_t ebx, uint32_t ecx, uint32_t edx) {
  return {eax, ebx, ecx, edx};
}

constexpr uint64_t Rw = ~uint64_t{0};
constexpr uint64_t Ro = 0;

// APIC base of an application processor; the bootstrap processor's override goes to core 0.
void ApicBase(TSimProcessorModel& m) {
  m.Msrs.push_back({0x1B, 0xFEE00800, 0xFFFFFF800ull});
  m.CoreMsrs[0].push_back({0x1B, 0xFEE00900, 0xFFFFFF800ull});
}

TSimProcessorModel Core2E7300() {
  TSimProcessorModel m;
  m.Vendor = "GenuineIntel";
  m.Signature = 0x10677;
  m.Cores = 2;
  m.FrequencyHz = 2666670000;
  m.BrandString = "Intel(R) Core(TM)2 Duo CPU     E7300  @ 2.66GHz";
  m.Leaf1Ecx = 0x0008E39D;
  m.Leaf1Edx = 0xBFEBFBFF;
  m.CpuIdLeaves = {{0x2, Regs(0x05B0B101, 0x005657F0, 0, 0x2CB4304E)},
                   {0x5, Regs(0x40, 0x40, 3, 0x00022220)},
                   {0x6, Regs(1, 2, 1, 0)},  // APERF/MPERF
                   {0xA, Regs(0x07280202, 0, 0, 0x503)},
                   {0x80000001, Regs(0, 0, 1, 0x20100800)},
                   {0x80000006, Regs(0, 0, 0x0C006040, 0)},
                   {0x80000008, Regs(0x3024, 0, 0, 0)}};
  ApicBase(m);
  m.Msrs.insert(m.Msrs.end(), {
                                  {0x17, 0x0010000000000000ull, Ro},  // platform 4
                                  {0x3A, 1, Ro},
                                  {0xCD, 0, Ro},  // FSB 266.67 MHz
                                  // ratio 10 (6..10), VID 0x22
                                  {MsrPerfStatus, 0x06000A2206000A22ull, Ro},
                                  {MsrPerfCtl, 0x0A22, 0xFFFF},
                                  {MsrClockModulation, 0, 0x1F},
                                  {0x19B, 0, 0x3},
                                  {0x19C, 0x88390000, 0xA},
                                  {MsrMiscEnable, 0x850089, Rw},  // EIST on, not locked
                                  {0x1D9, 0, Rw},
                              });
  return m;
}

TSimProcessorModel CoreI7920() {
  TSimProcessorModel m;
  m.Vendor = "GenuineIntel";
  m.Signature = 0x106A5;
  m.Cores = 4;
  m.FrequencyHz = 2666670000;
  m.BrandString = "Intel(R) Core(TM) i7 CPU         920  @ 2.67GHz";
  m.Leaf1Ecx = 0x0098E3BD;
  m.Leaf1Edx = 0xBFEBFBFF;
  m.CpuIdLeaves = {{0x2, Regs(0x55035A01, 0x00F0B2E4, 0, 0x09CA212C)},
                   {0x5, Regs(0x40, 0x40, 3, 0x00001120)},
                   {0x6, Regs(3, 2, 1, 0)},  // thermal sensor, turbo, APERF/MPERF
                   {0x80000001, Regs(0, 0, 1, 0x28100800)},
                   {0x80000006, Regs(0, 0, 0x01006040, 0)},
                   {0x80000008, Regs(0x3024, 0, 0, 0)}};
  ApicBase(m);
  m.Msrs.insert(m.Msrs.end(), {
                                  {0x17, 0, Ro},
                                  {0x3A, 5, Ro},
                                  // maximum non-turbo ratio 20, maximum efficiency ratio 12
                                  {MsrPlatformInfo, 0x00000C0000001400ull, Ro},
                                  // ratio 20; core voltage 1.2 V in 1/8192 V in bits 47:32
                                  {MsrPerfStatus, 0x0000266600000014ull, Ro},
                                  {MsrPerfCtl, 0x14, 0x10000FFFFull},
                                  {MsrClockModulation, 0, 0x1F},
                                  {0x19B, 0, 0x3},
                                  {0x19C, 0x88380000, 0xA},
                                  {MsrMiscEnable, 0x850089, Rw},
                                  {0x1A2, 0x00640000, Ro},  // TjMax 100 C
                                  {0x1D9, 0, Rw},
                              });
  return m;
}

TSimProcessorModel Pentium4630() {
  TSimProcessorModel m;
  m.Vendor = "GenuineIntel";
  m.Signature = 0xF43;
  m.Cores = 2;  // one core with Hyper-Threading
  m.FrequencyHz = 3000000000;
  m.BrandString = "Intel(R) Pentium(R) 4 CPU 3.00GHz";
  m.Leaf1Ecx = 0x0000659D;  // SSE3, MONITOR, DS-CPL, EST, TM2, CNXT-ID, CX16, xTPR
  m.Leaf1Edx = 0xBFEBFBFF;
  m.CpuIdLeaves = {{0x2, Regs(0x605B5101, 0, 0, 0x003C7040)},
                   {0x80000001, Regs(0, 0, 0, 0x20100000)},
                   {0x80000008, Regs(0x3024, 0, 0, 0)}};
  ApicBase(m);
  m.Msrs.insert(m.Msrs.end(), {
                                  {0x17, 0x0004000000000000ull, Ro},
                                  // ratio 15 in bits 31:24 and 7:0, bus code 2 (200 MHz) in
                                  // bits 18:16, one ratio step down to the minimum in bits 15:8
                                  {MsrEbcFrequencyId, 0x0F02010F, Ro},
                                  // ratio 15, VID 0x2D (1.3875 V); maximum likewise
                                  {MsrPerfStatus, 0x00000F2D00000F2Dull, Ro},
                                  {MsrPerfCtl, 0x0F2D, 0xFFFF},
                                  {MsrClockModulation, 0, 0x1F},
                                  {0x19B, 0, 0x3},
                                  {0x19C, 0x88340000, 0xA},
                                  // fast strings, TCC, performance monitoring, MONITOR; EIST
                                  // left off by the firmware
                                  {MsrMiscEnable, 0x40089, Rw},
                                  {0x1D9, 0, Rw},
                              });
  return m;
}

TSimProcessorModel Athlon64X25000() {
  TSimProcessorModel m;
  m.Vendor = "AuthenticAMD";
  m.Signature = 0x60FB2;
  m.Cores = 2;
  m.FrequencyHz = 2600000000;
  m.BrandString = "AMD Athlon(tm) 64 X2 Dual Core Processor 5000+";
  m.Leaf1Ecx = 0x00002001;
  m.Leaf1Edx = 0x178BFBFF;
  m.CpuIdLeaves = {{0x80000001, Regs(0x60FB2, 0x08D2, 0x0000011F, 0xEBD3FBFF)},
                   {0x80000005, Regs(0xFF08FF08, 0xFF20FF20, 0x40020140, 0x40020140)},
                   {0x80000006, Regs(0, 0x42004200, 0x02008140, 0)},
                   // thermal sensor, FID and VID control, thermal trip, thermal monitor,
                   // software thermal control
                   {0x80000007, Regs(0, 0, 0, 0x3F)},
                   {0x80000008, Regs(0x3028, 0, 1, 0)}};
  ApicBase(m);
  m.Msrs.insert(m.Msrs.end(), {
                                  {0xC001001F, 0, Rw},
                                  // CurrFID = StartFID = MaxFID = 0x12 (13x), MaxRampVID 8;
                                  // CurrVID = StartVID = MaxVID = 8 (1.35 V)
                                  {MsrFidVidStatus, 0x0008080808121212ull, Ro},
                                  {MsrFidVidCtl, 0x0812, 0x000FFFFF00013F3Full},
                              });
  return m;
}

TSimProcessorModel Phenom2X4940() {
  TSimProcessorModel m;
  m.Vendor = "AuthenticAMD";
  m.Signature = 0x100F42;
  m.Cores = 4;
  m.FrequencyHz = 3000000000;
  m.BrandString = "AMD Phenom(tm) II X4 940 Processor";
  m.Leaf1Ecx = 0x00802009;
  m.Leaf1Edx = 0x178BFBFF;
  m.CpuIdLeaves = {{0x5, Regs(0x40, 0x40, 3, 0)},
                   {0x80000001, Regs(0x100F42, 0x10000000, 0x000037FF, 0xEFD3FBFF)},
                   {0x80000005, Regs(0xFF30FF10, 0xFF30FF20, 0x40020140, 0x40020140)},
                   {0x80000006, Regs(0x20800000, 0x42004200, 0x02008140, 0x0030B140)},
                   // thermal sensor, thermal trip, thermal monitor, hardware P-states,
                   // invariant TSC
                   {0x80000007, Regs(0, 0, 0, 0x1F9)},
                   {0x80000008, Regs(0x3030, 0, 0x2003, 0)}};
  ApicBase(m);
  m.Msrs.insert(m.Msrs.end(),
                {
                    // EnableCf8ExtCfg (bit 46) set by the firmware, InitApicIdCpuIdLo
                    {0xC001001F, 0x0040400000000000ull, Rw},
                    {MsrPStateLimit, 0x30, Ro},  // P-states 0..3
                    {MsrPStateControl, 0, 0x7},
                    {MsrPStateStatus, 0, Ro},
                    // P0 3.0 GHz VID 0x12, P1 2.3 GHz VID 0x1A, P2 1.8 GHz VID 0x22,
                    // P3 800 MHz VID 0x2C; northbridge VID 0x1E throughout
                    {MsrPState0, 0x800000003C00240Eull, Rw},
                    {MsrPState0 + 1, 0x800000003C003407ull, Rw},
                    {MsrPState0 + 2, 0x800000003C004402ull, Rw},
                    {MsrPState0 + 3, 0x800000003C005840ull, Rw},
                    {MsrPState0 + 4, 0, Rw},
                    {0xC0010070, 0x3C00240E, Rw},
                    // P0 current; MaxVid 0x12, MinVid 0x2C; MaxCpuCof 0 (unlocked multiplier)
                    {MsrCofVidStatus, 0x0000B0903C00240Eull, Ro},
                });
  return m;
}

struct TModelRow {
  const char* Name;
  const char* Description;
  TSimProcessorModel (*Make)();
};

constexpr TModelRow Models[] = {
    {"core2-e7300", "Intel Core 2 Duo E7300 2.66 GHz (family 6, 0x10677)", Core2E7300},
    {"core-i7-920", "Intel Core i7-920 2.66 GHz (Nehalem, 0x106A5)", CoreI7920},
    {"pentium4-630", "Intel Pentium 4 630 3.0 GHz (family 15, 0xF43)", Pentium4630},
    {"athlon64-x2-5000", "AMD Athlon 64 X2 5000+ 2.6 GHz (family 0Fh, 0x60FB2)", Athlon64X25000},
    {"phenom2-x4-940", "AMD Phenom II X4 940 3.0 GHz (family 10h, 0x100F42)", Phenom2X4940},
};

}  // namespace

TSimCpuScheme SimCpuScheme(const TSimProcessorModel& model) {
  const uint32_t signature = model.Signature;
  const uint32_t family = (signature >> 8) & 0xFF;
  if (model.IsAmd()) {
    if ((signature & 0x0FF00000) != 0) return TSimCpuScheme::K10;
    return family == 0xF ? TSimCpuScheme::K8 : TSimCpuScheme::None;
  }
  if (model.Vendor != "GenuineIntel") return TSimCpuScheme::None;
  const uint32_t nehalemClass = signature & ~0xFu;
  if (nehalemClass == 0x106A0 || nehalemClass == 0x206E0) return TSimCpuScheme::Nehalem;
  if (family == 6) return TSimCpuScheme::Core2;
  if (family == 0xF) return TSimCpuScheme::NetBurst;
  return TSimCpuScheme::None;
}

std::vector<TSimCpuModelInfo> SimCpuModels() {
  std::vector<TSimCpuModelInfo> list;
  for (const TModelRow& row : Models) list.push_back({row.Name, row.Description});
  return list;
}

bool ApplySimCpuModel(std::string_view name, TSimProcessorModel& processor, std::string* error) {
  const auto row = std::find_if(std::begin(Models), std::end(Models),
                                [&](const TModelRow& r) { return name == r.Name; });
  if (row == std::end(Models)) {
    std::string known;
    for (const TModelRow& r : Models) known += std::string(known.empty() ? "" : ", ") + r.Name;
    *error = "unknown processor model '" + std::string(name) + "' (known: " + known + ")";
    return false;
  }
  TSimProcessorModel model = row->Make();
  model.ControlRegisters = processor.ControlRegisters;
  model.TscHz = processor.TscHz;
  // What the processor already has is put after the model's entries, so that it wins.
  model.Msrs.insert(model.Msrs.end(), processor.Msrs.begin(), processor.Msrs.end());
  for (auto& [core, entries] : processor.CoreMsrs) {
    auto& own = model.CoreMsrs[core];
    own.insert(own.end(), entries.begin(), entries.end());
  }
  for (const auto& [leaf, regs] : processor.CpuIdLeaves) model.CpuIdLeaves[leaf] = regs;
  processor = std::move(model);
  return true;
}

// --- clock behaviour ---

TSimCpuClockControl::TSimCpuClockControl(TSimMachine& machine)
    : Machine_(machine),
      Scheme_(SimCpuScheme(machine.Config().Processor)),
      ModelHz_(machine.Config().Processor.FrequencyHz) {}

TSimCpuClockControl& SimCpuClock(TSimMachine& machine) {
  if (auto* existing =
          dynamic_cast<TSimCpuClockControl*>(machine.FindDevice(TSimCpuClockControl::Name))) {
    return *existing;
  }
  auto* control = machine.Add(std::make_unique<TSimCpuClockControl>(machine));
  for (uint32_t core = 0; core < machine.CpuCount(); ++core) {
    machine.Cpu(core).AddMsrObserver(control);
  }
  control->Update();
  return *control;
}

void TSimCpuClockControl::SetThrottle(const std::string& source, uint32_t percent) {
  percent = std::clamp<uint32_t>(percent, 1, 100);
  if (percent == 100) {
    Throttles_.erase(source);
  } else {
    Throttles_[source] = percent;
  }
  Update();
}

uint32_t TSimCpuClockControl::ThrottleShare() const {
  uint64_t share = 10000;
  for (const auto& [source, percent] : Throttles_) share = share * percent / 100;
  return static_cast<uint32_t>(share);
}

double TSimCpuClockControl::PStateHz(TSimCpu& cpu) const {
  const double model = static_cast<double>(ModelHz_);
  switch (Scheme_) {
    case TSimCpuScheme::Core2: {
      const uint64_t status = ReadOr(cpu, MsrPerfStatus, 0);
      const uint32_t max = Core2Halves(status >> 40);
      return max == 0 ? model : model * Core2Halves(status >> 8) / max;
    }
    case TSimCpuScheme::Nehalem: {
      const uint64_t max = (ReadOr(cpu, MsrPlatformInfo, 0) >> 8) & 0xFF;
      const uint64_t current = ReadOr(cpu, MsrPerfStatus, 0) & 0xFF;
      return max == 0 ? model : model * static_cast<double>(current) / static_cast<double>(max);
    }
    case TSimCpuScheme::NetBurst: {
      const uint64_t max = ReadOr(cpu, MsrEbcFrequencyId, 0) & 0xFF;
      const uint64_t current = (ReadOr(cpu, MsrPerfStatus, 0) >> 8) & 0xFF;
      return max == 0 ? model : model * static_cast<double>(current) / static_cast<double>(max);
    }
    case TSimCpuScheme::K8: {
      // Ratio = 4 + FID / 2, so twice the ratio is 8 + FID.
      const uint64_t status = ReadOr(cpu, MsrFidVidStatus, 0);
      const double max = 8.0 + static_cast<double>((status >> 16) & 0x3F);
      return model * (8.0 + static_cast<double>(status & 0x3F)) / max;
    }
    case TSimCpuScheme::K10: {
      const uint64_t top = K10Cof(ReadOr(cpu, MsrPState0, 0));
      const uint64_t current = K10Cof(ReadOr(cpu, MsrCofVidStatus, 0));
      return model * static_cast<double>(current) / static_cast<double>(top);
    }
    case TSimCpuScheme::None:
      break;
  }
  return model;
}

uint64_t TSimCpuClockControl::TargetHz(uint32_t core) const {
  TSimCpu& cpu = Machine_.Cpu(core);
  double hz = PStateHz(cpu);
  const bool intel = Scheme_ == TSimCpuScheme::Core2 || Scheme_ == TSimCpuScheme::Nehalem ||
                     Scheme_ == TSimCpuScheme::NetBurst;
  if (intel) {
    // On-demand clock modulation: the clock runs for duty / 8 of the time (duty 0 is reserved
    // and does nothing).
    const uint64_t modulation = ReadOr(cpu, MsrClockModulation, 0);
    const uint64_t duty = (modulation >> 1) & 7;
    if ((modulation & ModulationEnable) != 0 && duty != 0) hz = hz * static_cast<double>(duty) / 8;
  }
  hz = hz * ThrottleShare() / 10000.0;
  return static_cast<uint64_t>(std::llround(hz));
}

void TSimCpuClockControl::UpdateCore(TSimCpu& cpu) {
  const uint64_t hz = TargetHz(cpu.Index());
  if (hz != cpu.CoreFrequencyHz()) cpu.SetCoreFrequencyHz(hz);
}

void TSimCpuClockControl::Update() {
  for (uint32_t core = 0; core < Machine_.CpuCount(); ++core) UpdateCore(Machine_.Cpu(core));
}

void TSimCpuClockControl::IntelRequest(TSimCpu& cpu, uint64_t request) {
  // A request only takes effect while enhanced speed-step is on.
  if ((ReadOr(cpu, MsrMiscEnable, 0) & EistEnable) == 0) return;
  uint64_t status = 0;
  if (!cpu.ReadMsr(MsrPerfStatus, &status)) return;
  uint64_t low = 0;  // bits 15:0 of the new status
  if (Scheme_ == TSimCpuScheme::Core2) {
    uint64_t code = (request >> 8) & 0x7F;
    const uint64_t max = (status >> 40) & 0x7F, min = (status >> 24) & 0x7F;
    if (Core2Halves(code) > Core2Halves(max)) code = max;
    if (Core2Halves(code) < Core2Halves(min)) code = min;
    low = code << 8 | (request & 0xFF);
  } else if (Scheme_ == TSimCpuScheme::Nehalem) {
    const uint64_t info = ReadOr(cpu, MsrPlatformInfo, 0);
    const uint64_t max = (info >> 8) & 0xFF, min = (info >> 40) & 0xFF;
    low = std::clamp(request & 0xFF, std::min(min, max), max);
  } else {
    const uint64_t limits = ReadOr(cpu, MsrEbcFrequencyId, 0);
    const uint64_t max = limits & 0xFF;
    const uint64_t min = max - std::min(max, (limits >> 8) & 0xFF);
    low = std::clamp((request >> 8) & 0xFF, min, max) << 8 | (request & 0xFF);
  }
  cpu.SetMsrValue(MsrPerfStatus, (status & ~0xFFFFull) | low);
}

void TSimCpuClockControl::K8Request(TSimCpu& cpu, uint64_t request) {
  if ((request & InitFidVid) == 0) return;
  cpu.SetMsrValue(MsrFidVidCtl, request & ~InitFidVid);  // the trigger bit reads back as 0
  uint64_t status = 0;
  if (!cpu.ReadMsr(MsrFidVidStatus, &status)) return;
  const uint64_t fid = std::min(request & 0x3F, (status >> 16) & 0x3F);
  const uint64_t vid = (request >> 8) & 0x3F;
  status = (status & ~0x3Full & ~(0x3Full << 32)) | fid | vid << 32;
  cpu.SetMsrValue(MsrFidVidStatus, status);
}

void TSimCpuClockControl::K10Request(TSimCpu& cpu, uint64_t request) {
  const uint64_t limit = ReadOr(cpu, MsrPStateLimit, 0);
  const uint64_t highest = limit & 7, lowest = (limit >> 4) & 7;
  const uint64_t pstate = std::clamp(request & 7, std::min(highest, lowest), lowest);
  uint64_t definition = 0, status = 0;
  if (!cpu.ReadMsr(MsrPState0 + static_cast<uint32_t>(pstate), &definition) ||
      (definition & PStateEnabled) == 0 || !cpu.ReadMsr(MsrCofVidStatus, &status)) {
    return;
  }
  cpu.SetMsrValue(MsrPStateStatus, pstate);
  status = (status & ~0xFFFFFFFFull) | (definition & CofVidMirrored) | pstate << 16;
  cpu.SetMsrValue(MsrCofVidStatus, status);
}

void TSimCpuClockControl::MsrWritten(TSimCpu& cpu, uint32_t msr, uint64_t value) {
  switch (Scheme_) {
    case TSimCpuScheme::Core2:
    case TSimCpuScheme::Nehalem:
    case TSimCpuScheme::NetBurst:
      if (msr == MsrPerfCtl) {
        IntelRequest(cpu, value);
      } else if (msr != MsrClockModulation) {
        return;
      }
      break;
    case TSimCpuScheme::K8:
      if (msr != MsrFidVidCtl) return;
      K8Request(cpu, value);
      break;
    case TSimCpuScheme::K10:
      if (msr != MsrPStateControl) return;
      K10Request(cpu, value);
      break;
    case TSimCpuScheme::None:
      return;
  }
  UpdateCore(cpu);
}

#include "platform/cpu.h"

#include <charconv>
#include <cmath>
#include <iterator>

#include "base/textfmt.h"
#include "base/trace.h"
#include "hw/initfile.h"
#include "hw/readwrite.h"
#include "platform/msr.h"

namespace {

struct TVendorName {
  const char* Text;
  int Code;
};
constexpr TVendorName VendorNames[] = {
    {"GenuineIntel", kVendorIntel},   {"AuthenticAMD", kVendorAmd},
    {"CyrixInstead", kVendorCyrix},   {"UMC UMC UMC ", kVendorUmc},
    {"CentaurHauls", kVendorCentaur}, {"RiseRiseRise", kVendorRise},
};

// Bus clocks (MHz) by the 3-bit code of MSR 0xCD (family 6) or MSR 0x2C bits 18:16 (family 15).
// Codes past a table's end have no defined clock and leave the bus clock as it was.
constexpr float BusTableA[] = {100.0f, 133.33f, 200.0f, 166.66f};  // 0x6D1..0x6EF
constexpr float BusTableB[] = {266.66f, 133.33f, 200.0f, 166.66f,
                               333.33f, 100.0f,  400.0f};                    // 0x6F0 and above
constexpr float BusTableC[] = {266.66f, 133.33f, 200.0f, 166.66f, 333.33f};  // family 15

// HyperTransport link multiplier by the link-frequency code at F0x89.
constexpr float HtMultipliers[] = {1.0f, 1.5f, 2.0f, 2.5f,  3.0f,  4.0f,  5.0f, 6.0f,
                                   7.0f, 8.0f, 9.0f, 10.0f, 11.0f, 12.0f, 13.0f};
// Family 10h core-clock divisors by DID.
constexpr float Divisors[] = {1.0f, 2.0f, 4.0f, 8.0f, 16.0f};

constexpr double PmTimerMHz = 3.579545;

// --- registers ---
constexpr uint32_t ModulationEnable = 1u << 4;
constexpr uint32_t EistEnable = 1u << 16;
constexpr uint32_t EistSelectLock = 1u << 20;
constexpr uint32_t LeafEcxEist = 1u << 7;

constexpr uint32_t LeafPowerManagement = 0x80000007;
constexpr uint32_t PowerFidVid = 0x06;    // FID and VID control (family 0Fh)
constexpr uint32_t PowerHwPState = 0x80;  // hardware P-states (family 10h)

constexpr uint8_t NbDevice = 0x18;
constexpr uint16_t HtLinkOffset = 0x89;
constexpr uint16_t HtcOffset = 0x64;
constexpr uint16_t NbInfoOffset = 0x1F0;
constexpr uint16_t NbClockOffset = 0xD4;
constexpr uint16_t TopPStateOffset = 0x1E0;

// Chipset clock throttles switched off around an AMD measurement.
constexpr uint8_t HtcEnable = 0x01;
constexpr uint16_t AtiVendor = 0x1002;
constexpr uint8_t SbDevice = 0x14;
constexpr uint16_t SbPmIndex = 0xCD6;
constexpr uint16_t SbPmData = 0xCD7;
constexpr uint8_t SbThrottleRegister = 0x61;
constexpr uint16_t NvidiaVendor = 0x10DE;
constexpr uint16_t McpThrottleOffset = 0x11;  // from the ACPI PM base
constexpr uint8_t ChipsetThrottle = 0x10;

bool NehalemClass(uint32_t signature) {
  return (signature >= 0x106A0 && signature <= 0x106AF) ||
         (signature >= 0x206E0 && signature <= 0x206EF);
}
uint32_t FamilyBits(uint32_t signature) {
  return (signature >> 8) & 0xFF;
}

// (value and 0x3F) plus a half when bit 6 is set.
float HalfRatio(uint32_t value) {
  return static_cast<float>(value & 0x3F) + ((value & 0x40) != 0 ? 0.5f : 0.0f);
}

// A family 10h core ratio (FID bits 5:0, DID bits 8:6) against the 200 MHz reference; 0 for a
// divisor code the table lacks.
float K10Ratio(uint32_t value) {
  const uint32_t did = (value >> 6) & 7;
  if (did >= std::size(Divisors)) return 0.0f;
  return static_cast<float>((value & 0x3F) + 16) / Divisors[did] * 0.5f;
}

template <size_t N>
void TakeBusClock(const float (&table)[N], uint32_t code, float& busClock) {
  if (code < N) busClock = table[code];
}

}  // namespace

std::string RealText(double value) {
  char text[32];
  const auto result =
      std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15);
  return std::string(text, result.ptr);
}

TCpu::TCpu(TReadWrite& rw, const TInitFile& init) : Rw_(rw), Init_(init) {}

// --- identity ---

std::string TCpu::GetVendorString() {
  CpuRegisters regs{0, 0, 0, 0};
  Rw_.ExecuteCpuId(regs);
  std::string text(12, '\0');
  const uint32_t parts[] = {regs.EBX, regs.EDX, regs.ECX};
  for (size_t i = 0; i < 12; ++i) text[i] = static_cast<char>(parts[i / 4] >> (8 * (i % 4)));
  return text;
}

int TCpu::GetVendor() {
  if (Vendor_ == kVendorNone) {
    const std::string text = GetVendorString();
    Vendor_ = kVendorUnknown;
    for (const TVendorName& name : VendorNames) {
      if (text == name.Text) Vendor_ = name.Code;
    }
  }
  return Vendor_;
}

uint32_t TCpu::GetSignature() {
  CpuRegisters regs{1, 0, 0, 0};
  Rw_.ExecuteCpuId(regs);
  return regs.EAX;
}

bool TCpu::IsNehalem() {
  return NehalemClass(GetSignature());
}

bool TCpu::IsFamily6() {
  return FamilyBits(GetSignature()) == 6;
}

bool TCpu::IsFamily15() {
  return FamilyBits(GetSignature()) == 15;
}

int TCpu::GetAmdNbRev() {
  const uint32_t signature = GetSignature();
  TraceLine("CPUID = [" + HexDword(signature) + "]");
  return (signature & 0x0FF00000) != 0 ? 2 : 1;
}

int TCpu::GetFamilyClass() {
  return IsIntelCpu() && IsFamily6() ? 2 : 1;
}

uint32_t TCpu::GetCpuCode() {
  if (!IsIntelCpu()) return 0;
  CpuRegisters regs{1, 0, 0, 0};
  Rw_.ExecuteCpuId(regs);
  const uint32_t signature = regs.EAX;
  uint32_t code = (regs.EAX & 0x1FFFF) | ((regs.EBX & 0x70000) << 1);
  if (NehalemClass(signature)) {
    code |= 0x100000;
  } else if (FamilyBits(signature) == 6) {
    code |= (ReadMsr(MsrFsbFrequency).EAX & 7) << 20;
    if ((ReadMsr(MsrPerfStatus).EAX & 0x80000000u) != 0) code |= 0x3C000000;
  } else {
    const uint32_t t = ReadMsr(MsrEbcFrequencyId).EAX;
    code |= (t << 24) | ((t & 0x70000) << 4);
  }
  return code;
}

// --- register helpers ---

CpuRegisters TCpu::ReadMsr(uint32_t msr) {
  CpuRegisters regs{0, 0, msr, 0};
  if (!Rw_.ReadCpuMsr(regs)) regs = {0, 0, msr, 0};
  return regs;
}

bool TCpu::WriteMsr(uint32_t msr, uint32_t eax, uint32_t edx) {
  return Rw_.WriteCpuMsr(CpuRegisters{eax, 0, msr, edx});
}

// --- bus clock and ratios ---

void TCpu::DetectBusClock() {
  const int vendor = GetVendor();
  if (vendor == kVendorAmd) {
    BusClock = 200.0f;
    return;
  }
  if (vendor != kVendorIntel) return;
  const uint32_t signature = GetSignature();
  if (NehalemClass(signature)) {
    BusClock = 133.33f;
  } else if (FamilyBits(signature) == 6) {
    if (signature <= 0x6D0) {
      BusClock = 100.0f;
    } else if (signature < 0x6F0) {
      TakeBusClock(BusTableA, ReadMsr(MsrFsbFrequency).EAX & 7, BusClock);
    } else {
      TakeBusClock(BusTableB, ReadMsr(MsrFsbFrequency).EAX & 7, BusClock);
    }
  } else if (FamilyBits(signature) == 15) {
    if (signature < 0xF20) {
      BusClock = 100.0f;
    } else {
      TakeBusClock(BusTableC, (ReadMsr(MsrEbcFrequencyId).EAX >> 16) & 7, BusClock);
    }
  }
}

void TCpu::DetectRatios() {
  if (IsIntelCpu()) {
    DetectIntelRatios();
  } else {
    DetectOtherRatios();
  }
}

void TCpu::DetectIntelRatios() {
  RatioStep = 1.0f;
  const uint32_t signature = GetSignature();
  if (NehalemClass(signature)) {
    const CpuRegisters info = ReadMsr(MsrPlatformInfo);
    MaxRatio = static_cast<float>((info.EAX >> 8) & 0x1F);
    MinRatio = static_cast<float>((info.EDX >> 8) & 0x1F);
    CurrentRatio = static_cast<float>(ReadMsr(MsrPerfStatus).EAX & 0x1F);
  } else if (FamilyBits(signature) == 6) {
    const uint32_t platform = ReadMsr(MsrPlatformId).EAX;
    ExtFlag = (platform & 0xF) != 0;
    const CpuRegisters status = ReadMsr(MsrPerfStatus);
    const uint32_t current = (status.EAX >> 8) & 0x5F;
    const uint32_t min = (status.EAX >> 24) & 0x5F;
    const uint32_t max = (status.EDX >> 8) & 0x7F;
    CurrentRatio = static_cast<float>(current);
    MinRatio = static_cast<float>(min);
    MaxRatio = static_cast<float>(max);
    if ((max & 0x40) != 0) {
      MaxRatio = HalfRatio(max);
      RatioStep = 0.5f;
    }
    // Processors with half ratios in their performance-state values.
    if ((platform & (1u << 23)) != 0) {
      if ((platform & (1u << 14)) != 0 && MaxRatio == std::floor(MaxRatio)) MaxRatio += 0.5f;
      RatioStep = 0.5f;
      CurrentRatio = HalfRatio(current);
      MinRatio = HalfRatio(min);
    }
  } else if (FamilyBits(signature) == 15 && signature >= 0xF20) {
    const uint32_t limits = ReadMsr(MsrEbcFrequencyId).EAX;
    ExtFlag = (limits & 0x14) != 0;
    MaxRatio = static_cast<float>(limits & 0xFF);
    MinRatio = MaxRatio - static_cast<float>((limits >> 8) & 0xFF);
    if (signature >= 0xF30) {
      CurrentRatio = static_cast<float>((ReadMsr(MsrPerfStatus).EAX >> 8) & 0xFF);
    } else if (signature == 0xF21) {
      MaxRatio = 20.0f;
      MinRatio = 12.0f;
    } else if (signature == 0xF27 && (limits & 0xFF) == 0) {
      MaxRatio = 21.0f;
      MinRatio = 15.0f;
    }
  }
  RatioForMax = MaxRatio;
  EnableSpeedStep();
}

void TCpu::EnableSpeedStep() {
  CpuRegisters features{1, 0, 0, 0};
  Rw_.ExecuteCpuId(features);
  if ((features.ECX & LeafEcxEist) == 0) {
    SpeedStepAvailable = false;
    return;
  }
  SpeedStepUnlocked = (ReadMsr(MsrMiscEnable).EAX & EistSelectLock) == 0;
  // Only a value actually read is written back: the register holds far more than this bit.
  CpuRegisters misc{0, 0, MsrMiscEnable, 0};
  if (Rw_.ReadCpuMsr(misc)) WriteMsr(MsrMiscEnable, misc.EAX | EistEnable, misc.EDX);
  SpeedStepAvailable = true;
}

float TCpu::GetHtMultiplier() {
  if (!IsAMDCpu()) return 1.0f;
  const uint8_t code = Rw_.PciReadByte(0, NbDevice, 0, HtLinkOffset);
  return code < std::size(HtMultipliers) ? HtMultipliers[code] : 1.0f;
}

void TCpu::DetectOtherRatios() {
  HtMultiplier = GetHtMultiplier();
  CpuRegisters power{LeafPowerManagement, 0, 0, 0};
  Rw_.ExecuteCpuId(power);
  const bool hardwarePStates = GetAmdNbRev() == 2;
  if ((power.EDX & (hardwarePStates ? PowerHwPState : PowerFidVid)) == 0) {
    SpeedStepAvailable = false;
    return;
  }
  SpeedStepAvailable = true;

  if (hardwarePStates) {
    const CpuRegisters cofVid = ReadMsr(MsrCofVidStatus);
    CurrentRatio = K10Ratio(cofVid.EAX);
    const uint32_t info = Rw_.PciReadDword(0, NbDevice, 3, NbInfoOffset);
    AmdNbValue = static_cast<float>(((info >> 2) & 0x1F) + ((info >> 14) & 7));
    MinRatio = 4.0f;
    RatioStep = 0.5f;
    AmdNbRatio = static_cast<float>((Rw_.PciReadByte(0, NbDevice, 3, NbClockOffset) & 0x1F) + 4);
    if ((cofVid.EAX & (1u << 22)) != 0) AmdNbRatio /= 2;  // northbridge divisor
    uint32_t maxCof = (cofVid.EDX >> 17) & 0x3F;
    if (maxCof != 0) {
      RatioForMax = static_cast<float>(maxCof) * 0.5f;
    } else {
      // No limit (unlocked multiplier): the top P-state gives the maximum clock.
      Rw_.EnableExtendedPciConfig();
      RatioForMax = K10Ratio(Rw_.PciReadDword(0, NbDevice, 4, TopPStateOffset));
      maxCof = 63;
    }
    MaxRatio = static_cast<float>(maxCof) * 0.5f;
    AmdMaxCof = static_cast<float>(maxCof) * 100.0f;
    return;
  }

  AmdNbRatio = 0.0f;
  const uint32_t status = ReadMsr(MsrFidVidStatus).EAX;
  MaxRatio = static_cast<float>(((status >> 17) & 0x1F) + 4);
  CurrentRatio = static_cast<float>(((status >> 1) & 0x1F) + 4);
  MinRatio = Rw_.PciReadByte(0, NbDevice, 0, HtLinkOffset) > 5 ? 5.0f : 4.0f;
  if (GetSignature() >= 0x60000) {
    // Revision G and later: odd FIDs are half ratios.
    RatioStep = 0.5f;
    if ((status & (1u << 16)) != 0) MaxRatio += 0.5f;
    if ((status & 1u) != 0) CurrentRatio += 0.5f;
  } else {
    RatioStep = 1.0f;
  }
  RatioForMax = MaxRatio;
}

// --- clock measurement ---

uint32_t TCpu::ClockSelector() {
  if (!IsIntelCpu()) return kClockSelectorTsc;
  const uint32_t signature = GetSignature();
  const bool aperf = NehalemClass(signature) || (FamilyBits(signature) == 6 && signature >= 0x6E0);
  return aperf ? kClockSelectorAperf : kClockSelectorTsc;
}

float TCpu::Measure(uint32_t selector, bool amd) {
  ClockRequest request{};
  request.CounterMsr = selector;
  request.Microseconds = Init_.CpuClkInterval;
  request.PmTimerPort = Init_.PmTimerPort;
  request.PmTimerWidth = Init_.PmTimerWidth;
  const bool measured = amd ? Rw_.MeasureClockAmd(request) : Rw_.MeasureClock(request);
  const uint32_t ticks = request.Microseconds;  // the answer: elapsed PM-timer ticks
  if (!measured || ticks == 0) return 0.0f;
  const uint64_t count = uint64_t{request.CountHigh} << 32 | request.CountLow;
  return static_cast<float>(static_cast<double>(count) * PmTimerMHz / ticks);
}

float TCpu::MeasureAmd(uint32_t selector) {
  // Clock throttling would slow the counted clock: switch off the first throttle that applies,
  // measure, and put back exactly the register that was changed.
  enum class TChanged { None, Northbridge, Southbridge, Mcp } changed = TChanged::None;
  uint8_t saved = 0;
  const uint16_t mcpPort = static_cast<uint16_t>(Init_.AcpiPmBase + McpThrottleOffset);
  const uint8_t htc = Rw_.PciReadByte(0, NbDevice, 3, HtcOffset);
  if ((htc & HtcEnable) != 0) {
    saved = htc;
    changed = TChanged::Northbridge;
    Rw_.PciWriteByte(0, NbDevice, 3, HtcOffset, static_cast<uint8_t>(htc & ~HtcEnable));
  } else if (Rw_.PciReadWord(0, SbDevice, 0, 0) == AtiVendor) {
    const uint8_t value = Rw_.IoIndexReadByte(SbPmIndex, SbPmData, SbThrottleRegister);
    if ((value & ChipsetThrottle) != 0) {
      saved = value;
      changed = TChanged::Southbridge;
      Rw_.IoIndexWriteByte(SbPmIndex, SbPmData, SbThrottleRegister,
                           static_cast<uint8_t>(value & ~ChipsetThrottle));
    }
  } else if (Rw_.PciReadWord(0, 0, 0, 0) == NvidiaVendor) {
    const uint8_t value = Rw_.IoBaseReadByte(mcpPort);
    if ((value & ChipsetThrottle) != 0) {
      saved = value;
      changed = TChanged::Mcp;
      Rw_.IoBaseWriteByte(mcpPort, static_cast<uint8_t>(value & ~ChipsetThrottle));
    }
  }

  const float clock = Measure(selector, true);

  switch (changed) {
    case TChanged::Northbridge:
      Rw_.PciWriteByte(0, NbDevice, 3, HtcOffset, saved);
      break;
    case TChanged::Southbridge:
      Rw_.IoIndexWriteByte(SbPmIndex, SbPmData, SbThrottleRegister, saved);
      break;
    case TChanged::Mcp:
      Rw_.IoBaseWriteByte(mcpPort, saved);
      break;
    case TChanged::None:
      break;
  }
  return clock;
}

float TCpu::GetCpuClock(uint32_t selector) {
  RwDebugLine("RW: GetCpuClock");
  Clock = 0.0f;
  const int vendor = GetVendor();
  if (vendor == kVendorIntel) {
    // On-demand clock modulation would slow the counted clock: off for the measurement.
    CpuRegisters modulation{0, 0, MsrClockModulation, 0};
    const bool modulated = Rw_.ReadCpuMsr(modulation) && (modulation.EAX & ModulationEnable) != 0;
    if (modulated) {
      WriteMsr(MsrClockModulation, modulation.EAX & ~ModulationEnable, modulation.EDX);
    }
    Clock = Measure(selector, false);
    if (selector != kClockSelectorAperf) {
      // The time-stamp counter runs at the top ratio whatever the current one is.
      DetectRatios();
      if (SpeedStepAvailable && SpeedStepUnlocked && CurrentRatio != MaxRatio && MaxRatio > 0) {
        Clock = Clock * CurrentRatio / MaxRatio;
      }
    }
    if (modulated) WriteMsr(MsrClockModulation, modulation.EAX, modulation.EDX);
  } else if (vendor == kVendorAmd) {
    Clock = MeasureAmd(selector);
  } else {
    Clock = Measure(selector, false);
  }
  RwDebugLine("RW: CpuClock=" + RealText(Clock));
  return Clock;
}

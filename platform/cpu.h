// TCpu: the processor's identity (vendor, signature, family class), its bus clock and frequency
// ratios, and the measured core clock. Every access goes through TReadWrite: CPUID, MSRs, and on
// AMD processors the northbridge functions at bus 0, device 0x18.
#pragma once

#include <cstdint>
#include <string>

#include "hw/ioctl.h"

class TReadWrite;
class TInitFile;

// Vendor codes of the CPUID leaf 0 vendor string.
enum TCpuVendor : int {
  kVendorUnknown = -1,
  kVendorNone = 0,  // not yet determined
  kVendorIntel = 1,
  kVendorAmd = 2,
  kVendorCyrix = 3,
  kVendorUmc = 4,
  kVendorCentaur = 5,
  kVendorRise = 6,
};

// The counter MSRs a clock measurement samples.
constexpr uint32_t kClockSelectorTsc = 0x10;
constexpr uint32_t kClockSelectorAperf = 0xE8;

class TCpu {
 public:
  // The configuration supplies the measurement time (CpuClkInterval), the PM timer port and
  // width, and the ACPI PM base; both objects must outlive this one.
  TCpu(TReadWrite& rw, const TInitFile& init);

  // --- identity ---
  // The 12 characters of CPUID leaf 0 (EBX, EDX, ECX).
  std::string GetVendorString();
  // The vendor code, determined on first use and then cached.
  int GetVendor();
  bool IsIntelCpu() { return GetVendor() == kVendorIntel; }
  bool IsAMDCpu() { return GetVendor() == kVendorAmd; }
  // CPUID leaf 1 EAX, read anew on every call.
  uint32_t GetSignature();
  bool IsNehalem();
  bool IsFamily6();
  bool IsFamily15();
  // 2 for family 10h and later (extended family set), else 1. Writes "CPUID = [0x........]" to
  // the trace console on every call.
  int GetAmdNbRev();
  // 2 for an Intel family-6 processor, else 1.
  int GetFamilyClass();
  // Intel: an identity code from the signature, the brand/count bits and the bus and ratio
  // registers; 0 on other vendors.
  uint32_t GetCpuCode();

  // --- clocks and ratios ---
  void DetectBusClock();
  // Fills the ratio fields; on Intel it also switches enhanced speed-step on.
  void DetectRatios();
  // Intel: switches enhanced speed-step on when CPUID reports it and notes whether its select
  // lock is clear.
  void EnableSpeedStep();
  // AMD: the HyperTransport link multiplier at F0x89; 1.0 on other vendors and for codes beyond
  // the table.
  float GetHtMultiplier();
  // The counter a measurement samples: the actual-performance counter on Nehalem and on family 6
  // from signature 0x6E0, the time-stamp counter elsewhere.
  uint32_t ClockSelector();
  // Measures the core clock in MHz with the given counter (Clock holds it too); 0 when the
  // measurement fails. Clock modulation and chipset throttling are switched off for the
  // measurement and restored afterwards.
  float GetCpuClock(uint32_t selector);
  float MeasureClock() { return GetCpuClock(ClockSelector()); }

  // --- results (MHz and multipliers) ---
  float Clock = 0;
  float BusClock = 0;
  float RatioForMax = 0;  // with BusClock, the maximum clock (differs from MaxRatio on family 10h)
  float CurrentRatio = 0;
  float MaxRatio = 0;
  float MinRatio = 0;
  float RatioStep = 1.0f;
  bool ExtFlag = false;
  bool SpeedStepAvailable = false;
  bool SpeedStepUnlocked = false;
  float AmdMaxCof = 0;
  float AmdNbValue = 0;
  float AmdNbRatio = 0;
  float HtMultiplier = 1.0f;

 private:
  void DetectIntelRatios();
  void DetectOtherRatios();
  // The MSR's value in EAX and EDX; both 0 when the read fails.
  CpuRegisters ReadMsr(uint32_t msr);
  bool WriteMsr(uint32_t msr, uint32_t eax, uint32_t edx);
  // Sends the measurement and turns its answer into MHz; 0 on failure.
  float Measure(uint32_t selector, bool amd);
  float MeasureAmd(uint32_t selector);

  TReadWrite& Rw_;
  const TInitFile& Init_;
  int Vendor_ = kVendorNone;
};

// The default real-number text of clock values in log lines: up to 15 significant digits, no
// trailing zeros ("2666.66748046875", "0").
std::string RealText(double value);

// Model-specific registers the program reads and writes, in one place.
#pragma once

#include <cstdint>

// Intel.
constexpr uint32_t MsrPlatformId = 0x17;        // IA32_PLATFORM_ID
constexpr uint32_t MsrEbcFrequencyId = 0x2C;    // MSR_EBC_FREQUENCY_ID (NetBurst)
constexpr uint32_t MsrFsbFrequency = 0xCD;      // MSR_FSB_FREQ (Core)
constexpr uint32_t MsrPlatformInfo = 0xCE;      // MSR_PLATFORM_INFO (Nehalem)
constexpr uint32_t MsrPerfStatus = 0x198;       // IA32_PERF_STATUS
constexpr uint32_t MsrClockModulation = 0x19A;  // IA32_CLOCK_MODULATION
constexpr uint32_t MsrMiscEnable = 0x1A0;       // IA32_MISC_ENABLE

// AMD.
constexpr uint32_t MsrFidVidStatus = 0xC0010042;  // FIDVID_STATUS (family 0Fh)
constexpr uint32_t MsrPStateStatus = 0xC0010063;  // P-state status (family 10h)
constexpr uint32_t MsrPState0 = 0xC0010064;       // P-state 0; P-state n is MsrPState0 + n
constexpr uint32_t MsrCofVidStatus = 0xC0010071;  // COFVID status (family 10h)

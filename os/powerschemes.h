// The power-management library ("PowrProf.DLL" on Windows), loaded by name at run time. Each
// entry point may be missing from the library a system has: callers ask HasEntryPoint before they
// call one, and calling a missing one is a programming error.
//
// Two families of entry points:
// - the scheme API of Windows NT 6 ("PowerEnumerate", "PowerReadFriendlyName",
//   "PowerDeleteScheme", "PowerImportPowerScheme", "PowerSetActiveScheme"): schemes named by a
//   GUID, imported from scheme files; results are Win32 error codes, 0 = success;
// - the legacy API ("GetCurrentPowerPolicies", "ReadPwrScheme", "WritePwrScheme",
//   "ReadProcessorPwrScheme", "WriteProcessorPwrScheme", "SetActivePwrScheme"): schemes numbered
//   by an index; results are the library's BOOLEAN byte as returned (1 = TRUE), because callers
//   differ in whether they accept any non-zero value.
//
// Linux keeps the schemes in the user's configuration (see os/linux/powerschemes.h).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

inline constexpr const char* kPowerLibraryName = "PowrProf.DLL";

// Win32 error codes the scheme API returns.
inline constexpr uint32_t kPowerSuccess = 0;            // ERROR_SUCCESS
inline constexpr uint32_t kPowerFileNotFound = 2;       // ERROR_FILE_NOT_FOUND
inline constexpr uint32_t kPowerInvalidData = 13;       // ERROR_INVALID_DATA
inline constexpr uint32_t kPowerInvalidParameter = 87;  // ERROR_INVALID_PARAMETER
inline constexpr uint32_t kPowerMoreData = 234;         // ERROR_MORE_DATA
inline constexpr uint32_t kPowerNoMoreItems = 259;      // ERROR_NO_MORE_ITEMS
inline constexpr uint32_t kPowerWriteFault = 29;        // ERROR_WRITE_FAULT

// PowerEnumerate access flag that lists the schemes themselves.
inline constexpr uint32_t kAccessScheme = 16;  // ACCESS_SCHEME

// PROCESSOR_POWER_POLICY.DynamicThrottle values.
inline constexpr uint8_t kThrottleNone = 0;      // PO_THROTTLE_NONE
inline constexpr uint8_t kThrottleConstant = 1;  // PO_THROTTLE_CONSTANT
inline constexpr uint8_t kThrottleDegrade = 2;   // PO_THROTTLE_DEGRADE
inline constexpr uint8_t kThrottleAdaptive = 3;  // PO_THROTTLE_ADAPTIVE

// A scheme's identifier, the bytes of a GUID as Windows lays them out.
struct TPowerGuid {
  std::array<uint8_t, 16> Bytes{};
  bool operator==(const TPowerGuid&) const = default;
};

// GLOBAL_POWER_POLICY and POWER_POLICY. The program only carries them from one call to the next,
// so they stay the platform's own bytes.
struct TGlobalPowerPolicy {
  std::vector<uint8_t> Bytes;
};
struct TPowerPolicy {
  std::vector<uint8_t> Bytes;
};

// MACHINE_PROCESSOR_POWER_POLICY, field for field in the Windows layout (bit fields as words).
struct TProcessorPowerPolicyInfo {
  uint32_t TimeCheck = 0;
  uint32_t DemoteLimit = 0;
  uint32_t PromoteLimit = 0;
  uint8_t DemotePercent = 0;
  uint8_t PromotePercent = 0;
  uint8_t Spare[2] = {};
  uint32_t Flags = 0;  // bit 0 AllowDemotion, bit 1 AllowPromotion
};
struct TProcessorPowerPolicy {
  uint32_t Revision = 1;
  uint8_t DynamicThrottle = kThrottleNone;
  uint8_t Spare[3] = {};
  uint32_t Flags = 0;  // bit 0 DisableCStates
  uint32_t PolicyCount = 0;
  TProcessorPowerPolicyInfo Policy[3];
};
struct TMachineProcessorPowerPolicy {
  uint32_t Revision = 1;
  TProcessorPowerPolicy ProcessorPolicyAc;
  TProcessorPowerPolicy ProcessorPolicyDc;
};
static_assert(sizeof(TProcessorPowerPolicyInfo) == 20);
static_assert(sizeof(TMachineProcessorPowerPolicy) == 156);

// The loaded library; destroying it frees the library.
class IOsPowerLibrary {
 public:
  virtual ~IOsPowerLibrary() = default;

  // Whether the library exports the entry point of that name (GetProcAddress).
  virtual bool HasEntryPoint(const std::string& name) = 0;

  // --- NT 6 scheme API (user root key, no subgroup) ---
  // The index-th scheme (index from 0) into scheme; kPowerNoMoreItems past the last one.
  virtual uint32_t PowerEnumerate(uint32_t accessFlags, uint32_t index, TPowerGuid& scheme) = 0;
  // The scheme's friendly name, as long as it fits, terminator included, into bufferBytes bytes
  // of wide characters; kPowerMoreData (name left empty) when it does not fit.
  virtual uint32_t PowerReadFriendlyName(const TPowerGuid& scheme, std::u16string& name,
                                         uint32_t bufferBytes) = 0;
  virtual uint32_t PowerDeleteScheme(const TPowerGuid& scheme) = 0;
  // Imports a scheme file as a new scheme. On success *imported is a buffer the library
  // allocated, which the caller hands back to FreeGuidBuffer; on failure it is null.
  virtual uint32_t PowerImportPowerScheme(const std::string& path, TPowerGuid** imported) = 0;
  virtual void FreeGuidBuffer(TPowerGuid* buffer) = 0;  // LocalFree
  virtual uint32_t PowerSetActiveScheme(const TPowerGuid& scheme) = 0;

  // --- legacy scheme API ---
  virtual uint8_t GetCurrentPowerPolicies(TGlobalPowerPolicy& global, TPowerPolicy& power) = 0;
  virtual uint8_t ReadPwrScheme(uint32_t index, TPowerPolicy& power) = 0;
  // Writes (creating or overwriting) the scheme at index; the library may change index.
  virtual uint8_t WritePwrScheme(uint32_t& index, const std::u16string& name,
                                 const std::u16string& description, const TPowerPolicy& power) = 0;
  virtual uint8_t ReadProcessorPwrScheme(uint32_t index, TMachineProcessorPowerPolicy& policy) = 0;
  virtual uint8_t WriteProcessorPwrScheme(uint32_t index,
                                          const TMachineProcessorPowerPolicy& policy) = 0;
  virtual uint8_t SetActivePwrScheme(uint32_t index, const TGlobalPowerPolicy& global,
                                     const TPowerPolicy& power) = 0;
};

class IOsPowerManagement {
 public:
  virtual ~IOsPowerManagement() = default;
  // LoadLibrary by name; null when the system has no such library.
  virtual std::unique_ptr<IOsPowerLibrary> LoadPowerLibrary(const std::string& name) = 0;
};

// The running system's power management. Linux: the default directories of os/linux, and the
// processor governor follows the active scheme only when realHardware is set (the program works on
// this machine's own processor rather than a simulated one).
std::unique_ptr<IOsPowerManagement> OsCreatePowerManagement(bool realHardware);

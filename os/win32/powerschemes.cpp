// The power-management library on Windows: "PowrProf.DLL" loaded by name, each entry point bound
// by name and possibly missing (the NT 6 scheme API appeared with Vista; the legacy API is gone
// from some later systems). Calling a missing entry point fails with a result instead of jumping
// through a null pointer.
#include "os/powerschemes.h"

#include <windows.h>
// For the policy records only: the library itself is never linked, only loaded.
#include <powrprof.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "os/win32/procaddress.h"
#include "os/win32/wide.h"

namespace {

static_assert(sizeof(TMachineProcessorPowerPolicy) == sizeof(MACHINE_PROCESSOR_POWER_POLICY));
static_assert(sizeof(TPowerGuid) == sizeof(GUID));

constexpr DWORD kProcNotFound = ERROR_PROC_NOT_FOUND;

using TPowerEnumerate = DWORD(WINAPI*)(HKEY, const GUID*, const GUID*, DWORD, ULONG, UCHAR*,
                                       DWORD*);
using TPowerReadFriendlyName = DWORD(WINAPI*)(HKEY, const GUID*, const GUID*, const GUID*, UCHAR*,
                                              DWORD*);
using TPowerDeleteScheme = DWORD(WINAPI*)(HKEY, const GUID*);
using TPowerImportPowerScheme = DWORD(WINAPI*)(HKEY, LPCWSTR, GUID**);
using TPowerSetActiveScheme = DWORD(WINAPI*)(HKEY, const GUID*);
using TGetCurrentPowerPolicies = BOOLEAN(WINAPI*)(GLOBAL_POWER_POLICY*, POWER_POLICY*);
using TReadPwrScheme = BOOLEAN(WINAPI*)(UINT, POWER_POLICY*);
using TWritePwrScheme = BOOLEAN(WINAPI*)(UINT*, LPCWSTR, LPCWSTR, POWER_POLICY*);
using TReadProcessorPwrScheme = BOOLEAN(WINAPI*)(UINT, MACHINE_PROCESSOR_POWER_POLICY*);
using TWriteProcessorPwrScheme = BOOLEAN(WINAPI*)(UINT, MACHINE_PROCESSOR_POWER_POLICY*);
using TSetActivePwrScheme = BOOLEAN(WINAPI*)(UINT, GLOBAL_POWER_POLICY*, POWER_POLICY*);

GUID ToGuid(const TPowerGuid& scheme) {
  GUID guid;
  std::memcpy(&guid, scheme.Bytes.data(), sizeof guid);
  return guid;
}

TPowerGuid FromGuid(const GUID& guid) {
  TPowerGuid scheme;
  std::memcpy(scheme.Bytes.data(), &guid, sizeof guid);
  return scheme;
}

// The policy records travel as the platform's bytes; a record shorter than the platform's (one
// that never came from the library) is padded with zeros.
template <typename TRecord>
TRecord RecordFromBytes(const std::vector<uint8_t>& bytes) {
  TRecord record;
  std::memset(&record, 0, sizeof record);
  std::memcpy(&record, bytes.data(), (std::min)(bytes.size(), sizeof record));
  return record;
}

template <typename TRecord>
std::vector<uint8_t> BytesFromRecord(const TRecord& record) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(&record);
  return std::vector<uint8_t>(bytes, bytes + sizeof record);
}

MACHINE_PROCESSOR_POWER_POLICY ToMachinePolicy(const TMachineProcessorPowerPolicy& policy) {
  MACHINE_PROCESSOR_POWER_POLICY record;
  std::memcpy(&record, &policy, sizeof record);
  return record;
}

class TWin32PowerLibrary : public IOsPowerLibrary {
 public:
  explicit TWin32PowerLibrary(HMODULE module) : Module_(module) {}
  ~TWin32PowerLibrary() override { ::FreeLibrary(Module_); }
  TWin32PowerLibrary(const TWin32PowerLibrary&) = delete;
  TWin32PowerLibrary& operator=(const TWin32PowerLibrary&) = delete;

  bool HasEntryPoint(const std::string& name) override {
    return ::GetProcAddress(Module_, name.c_str()) != nullptr;
  }

  uint32_t PowerEnumerate(uint32_t accessFlags, uint32_t index, TPowerGuid& scheme) override {
    const auto call = Bind<TPowerEnumerate>("PowerEnumerate");
    if (call == nullptr) return kProcNotFound;
    GUID guid{};
    DWORD size = sizeof guid;
    const DWORD result =
        call(nullptr, nullptr, nullptr, accessFlags, index, reinterpret_cast<UCHAR*>(&guid), &size);
    if (result == ERROR_SUCCESS) scheme = FromGuid(guid);
    return result;
  }

  uint32_t PowerReadFriendlyName(const TPowerGuid& scheme, std::u16string& name,
                                 uint32_t bufferBytes) override {
    name.clear();
    const auto call = Bind<TPowerReadFriendlyName>("PowerReadFriendlyName");
    if (call == nullptr) return kProcNotFound;
    const GUID guid = ToGuid(scheme);
    std::vector<wchar_t> buffer(bufferBytes / sizeof(wchar_t) + 1, L'\0');
    DWORD size = bufferBytes;
    const DWORD result =
        call(nullptr, &guid, nullptr, nullptr, reinterpret_cast<UCHAR*>(buffer.data()), &size);
    if (result != ERROR_SUCCESS) return result;
    // The buffer holds one more character than the library was allowed to fill: always ended.
    for (const wchar_t* c = buffer.data(); *c != L'\0'; ++c) name += static_cast<char16_t>(*c);
    return result;
  }

  uint32_t PowerDeleteScheme(const TPowerGuid& scheme) override {
    const auto call = Bind<TPowerDeleteScheme>("PowerDeleteScheme");
    if (call == nullptr) return kProcNotFound;
    const GUID guid = ToGuid(scheme);
    return call(nullptr, &guid);
  }

  uint32_t PowerImportPowerScheme(const std::string& path, TPowerGuid** imported) override {
    *imported = nullptr;
    const auto call = Bind<TPowerImportPowerScheme>("PowerImportPowerScheme");
    if (call == nullptr) return kProcNotFound;
    GUID* guid = nullptr;
    const DWORD result = call(nullptr, WideFromUtf8(path).c_str(), &guid);
    // The library's buffer holds a GUID, not a TPowerGuid: the caller gets a copy, and the
    // library's buffer goes back to the library's allocator at once.
    if (guid != nullptr) {
      if (result == ERROR_SUCCESS) *imported = new TPowerGuid(FromGuid(*guid));
      ::LocalFree(guid);
    }
    return result;
  }

  void FreeGuidBuffer(TPowerGuid* buffer) override { delete buffer; }

  uint32_t PowerSetActiveScheme(const TPowerGuid& scheme) override {
    const auto call = Bind<TPowerSetActiveScheme>("PowerSetActiveScheme");
    if (call == nullptr) return kProcNotFound;
    const GUID guid = ToGuid(scheme);
    return call(nullptr, &guid);
  }

  uint8_t GetCurrentPowerPolicies(TGlobalPowerPolicy& global, TPowerPolicy& power) override {
    const auto call = Bind<TGetCurrentPowerPolicies>("GetCurrentPowerPolicies");
    if (call == nullptr) return FALSE;
    GLOBAL_POWER_POLICY globalRecord{};
    POWER_POLICY powerRecord{};
    const BOOLEAN result = call(&globalRecord, &powerRecord);
    if (result != FALSE) {
      global.Bytes = BytesFromRecord(globalRecord);
      power.Bytes = BytesFromRecord(powerRecord);
    }
    return result;
  }

  uint8_t ReadPwrScheme(uint32_t index, TPowerPolicy& power) override {
    const auto call = Bind<TReadPwrScheme>("ReadPwrScheme");
    if (call == nullptr) return FALSE;
    POWER_POLICY record{};
    const BOOLEAN result = call(index, &record);
    if (result != FALSE) power.Bytes = BytesFromRecord(record);
    return result;
  }

  uint8_t WritePwrScheme(uint32_t& index, const std::u16string& name,
                         const std::u16string& description, const TPowerPolicy& power) override {
    const auto call = Bind<TWritePwrScheme>("WritePwrScheme");
    if (call == nullptr) return FALSE;
    const std::wstring wideName(name.begin(), name.end());
    const std::wstring wideDescription(description.begin(), description.end());
    POWER_POLICY record = RecordFromBytes<POWER_POLICY>(power.Bytes);
    UINT id = index;
    const BOOLEAN result = call(&id, wideName.c_str(), wideDescription.c_str(), &record);
    index = id;
    return result;
  }

  uint8_t ReadProcessorPwrScheme(uint32_t index, TMachineProcessorPowerPolicy& policy) override {
    const auto call = Bind<TReadProcessorPwrScheme>("ReadProcessorPwrScheme");
    if (call == nullptr) return FALSE;
    MACHINE_PROCESSOR_POWER_POLICY record{};
    const BOOLEAN result = call(index, &record);
    if (result != FALSE) std::memcpy(static_cast<void*>(&policy), &record, sizeof policy);
    return result;
  }

  uint8_t WriteProcessorPwrScheme(uint32_t index,
                                  const TMachineProcessorPowerPolicy& policy) override {
    const auto call = Bind<TWriteProcessorPwrScheme>("WriteProcessorPwrScheme");
    if (call == nullptr) return FALSE;
    MACHINE_PROCESSOR_POWER_POLICY record = ToMachinePolicy(policy);
    return call(index, &record);
  }

  uint8_t SetActivePwrScheme(uint32_t index, const TGlobalPowerPolicy& global,
                             const TPowerPolicy& power) override {
    const auto call = Bind<TSetActivePwrScheme>("SetActivePwrScheme");
    if (call == nullptr) return FALSE;
    GLOBAL_POWER_POLICY globalRecord = RecordFromBytes<GLOBAL_POWER_POLICY>(global.Bytes);
    POWER_POLICY powerRecord = RecordFromBytes<POWER_POLICY>(power.Bytes);
    return call(index, &globalRecord, &powerRecord);
  }

 private:
  template <typename TFunction>
  TFunction Bind(const char* name) const {
    return BindProcAddress<TFunction>(Module_, name);
  }

  HMODULE Module_;
};

class TWin32PowerManagement : public IOsPowerManagement {
 public:
  std::unique_ptr<IOsPowerLibrary> LoadPowerLibrary(const std::string& name) override {
    // A library that is missing must not make the system ask the user for a disk.
    const UINT oldMode = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    const HMODULE module = ::LoadLibraryW(WideFromUtf8(name).c_str());
    ::SetErrorMode(oldMode);
    if (module == nullptr) return nullptr;
    return std::make_unique<TWin32PowerLibrary>(module);
  }
};

}  // namespace

// Windows switches schemes on the real machine only through the library; there is nothing a
// simulated machine could steer, so realHardware changes nothing here.
std::unique_ptr<IOsPowerManagement> OsCreatePowerManagement(bool /*realHardware*/) {
  return std::make_unique<TWin32PowerManagement>();
}

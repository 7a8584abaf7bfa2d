#include "os/test/fakesystem.h"

TOsVersionInfo FakeNtVersion(uint32_t major, uint32_t minor, uint8_t productType) {
  TOsVersionInfo info;
  info.MajorVersion = major;
  info.MinorVersion = minor;
  info.PlatformId = kPlatformWin32Nt;
  info.ProductType = productType;
  return info;
}

TOsVersionInfo Fake9xVersion(uint32_t minor) {
  TOsVersionInfo info;
  info.MajorVersion = 4;
  info.MinorVersion = minor;
  info.PlatformId = kPlatformWin32Windows;
  return info;
}

TOsVersionInfo FakeLinuxVersion(uint32_t major, uint32_t minor, const std::string& release) {
  TOsVersionInfo info;
  info.MajorVersion = major;
  info.MinorVersion = minor;
  info.PlatformId = kPlatformLinux;
  info.Release = release;
  return info;
}

TFakeOsSystem::TFakeOsSystem() : Version(FakeNtVersion(6, 1)) {}

bool TFakeOsSystem::GetVersionInfo(TOsVersionInfo& info) {
  ++VersionQueries;
  if (!VersionQueryWorks) return false;
  info = Version;
  return true;
}

bool TFakeOsSystem::GetNativeSystemInfo(TOsSystemInfo& info) {
  ++NativeInfoQueries;
  if (!HasNativeSystemInfo) return false;
  info = NativeInfo;
  return true;
}

void TFakeOsSystem::GetSystemInfo(TOsSystemInfo& info) {
  ++InfoQueries;
  info = Info;
}

bool TFakeOsSystem::HasIsWow64Process() {
  return HasWow64Query;
}

bool TFakeOsSystem::IsWow64Process() {
  ++Wow64Queries;
  return HasWow64Query && Wow64;
}

int TFakeOsSystem::GetSystemMetric(int index) {
  MetricQueries.push_back(index);
  const auto found = Metrics.find(index);
  return found == Metrics.end() ? 0 : found->second;
}

bool TFakeOsSystem::SetProcessAffinityMask(uint32_t mask) {
  AffinityLog.push_back(mask);
  if (!AffinityWorks || mask == 0) return false;
  AffinityMask = mask;
  return true;
}

uint32_t TFakeOsSystem::GetProcessAffinityMask() {
  return AffinityMask;
}

bool TFakeOsPrivileges::OpenProcessToken() {
  ++OpenCalls;
  TokenOpen = TokenOpens;
  return TokenOpen;
}

bool TFakeOsPrivileges::LookupPrivilege(const std::string& name) {
  Lookups.push_back(name);
  Selected_ = KnownPrivileges.count(name) ? name : std::string();
  return !Selected_.empty();
}

bool TFakeOsPrivileges::AdjustPrivilege(bool enable) {
  Adjustments.push_back(enable);
  if (!TokenOpen || Selected_.empty() || !AdjustWorks) return false;
  Enabled[Selected_] = enable;
  return true;
}

void TFakeOsPrivileges::CloseToken() {
  ++CloseCalls;
  TokenOpen = false;
}

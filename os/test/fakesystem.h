// In-memory doubles of the system-information and privilege services. A test sets the public
// fields to describe the system it wants and checks the counters and logs afterwards.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "os/sysinfo.h"

// Version records of typical systems, for setting TFakeOsSystem::Version.
TOsVersionInfo FakeNtVersion(uint32_t major, uint32_t minor, uint8_t productType = 1);
TOsVersionInfo Fake9xVersion(uint32_t minor);  // major 4
TOsVersionInfo FakeLinuxVersion(uint32_t major, uint32_t minor, const std::string& release);

// Defaults: Windows 7 workstation, native 32-bit on an x86 machine with one processor.
class TFakeOsSystem : public IOsSystem {
 public:
  TFakeOsSystem();

  // --- set by the test ---
  bool VersionQueryWorks = true;
  TOsVersionInfo Version;
  bool HasNativeSystemInfo = true;
  TOsSystemInfo NativeInfo;  // what GetNativeSystemInfo reports
  TOsSystemInfo Info;        // what GetSystemInfo reports (a WOW64 process sees x86 here)
  bool HasWow64Query = true;
  bool Wow64 = false;
  std::map<int, int> Metrics;  // index -> value; missing indexes report 0
  bool AffinityWorks = true;
  uint32_t AffinityMask = 1;  // the current process affinity, also changed by a successful set

  // --- checked by the test ---
  int VersionQueries = 0;
  int NativeInfoQueries = 0;
  int InfoQueries = 0;
  int Wow64Queries = 0;
  std::vector<int> MetricQueries;     // indexes in call order
  std::vector<uint32_t> AffinityLog;  // every mask passed to SetProcessAffinityMask

  bool GetVersionInfo(TOsVersionInfo& info) override;
  bool GetNativeSystemInfo(TOsSystemInfo& info) override;
  void GetSystemInfo(TOsSystemInfo& info) override;
  bool HasIsWow64Process() override;
  bool IsWow64Process() override;
  int GetSystemMetric(int index) override;
  bool SetProcessAffinityMask(uint32_t mask) override;
  uint32_t GetProcessAffinityMask() override;
};

// A process token. By default the token opens, "SeShutdownPrivilege" exists and every adjustment
// succeeds.
class TFakeOsPrivileges : public IOsPrivileges {
 public:
  // --- set by the test ---
  bool TokenOpens = true;
  std::set<std::string> KnownPrivileges{"SeShutdownPrivilege"};
  bool AdjustWorks = true;

  // --- checked by the test ---
  int OpenCalls = 0;
  int CloseCalls = 0;
  bool TokenOpen = false;
  std::vector<std::string> Lookups;     // names in call order
  std::vector<bool> Adjustments;        // the enable argument of every AdjustPrivilege call
  std::map<std::string, bool> Enabled;  // privilege state after the successful adjustments

  bool OpenProcessToken() override;
  bool LookupPrivilege(const std::string& name) override;
  bool AdjustPrivilege(bool enable) override;
  void CloseToken() override;

 private:
  std::string Selected_;  // the privilege looked up last; empty when the lookup failed
};

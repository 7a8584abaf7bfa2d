#include "sim/governor.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "base/inifile.h"
#include "base/textfmt.h"
#include "sim/sectionreader.h"
#include "sim/simcpumodels.h"
#include "sim/simmachine.h"
#include "sim/simstate.h"
#include "sim/workload.h"

namespace {

constexpr uint32_t MsrPerfCtl = 0x199;
constexpr uint32_t MsrFidVidCtl = 0xC0010041;
constexpr uint32_t MsrPStateControl = 0xC0010062;
constexpr const char* OfferedGovernors = "ondemand performance powersave";

uint32_t ControlMsrOf(TSimCpuScheme scheme) {
  switch (scheme) {
    case TSimCpuScheme::Core2:
    case TSimCpuScheme::Nehalem:
    case TSimCpuScheme::NetBurst:
      return MsrPerfCtl;
    case TSimCpuScheme::K8:
      return MsrFidVidCtl;
    case TSimCpuScheme::K10:
      return MsrPStateControl;
    case TSimCpuScheme::None:
      break;
  }
  return 0;
}

bool IsAdaptive(const std::string& policy) {
  return policy == "ondemand" || policy == "schedutil" || policy == "conservative";
}

bool KnownPolicy(const std::string& policy) {
  return IsAdaptive(policy) || policy == "performance" || policy == "powersave";
}

std::string FirstLine(const std::string& path) {
  std::ifstream file(path);
  std::string line;
  std::getline(file, line);
  return TrimBlanks(line);
}

bool WriteFile(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::trunc);
  file << text << "\n";
  return static_cast<bool>(file);
}

}  // namespace

TSimGovernor::TSimGovernor(TSimMachine& machine, const TSimGovernorSettings& settings,
                           uint32_t controlMsr)
    : Machine_(machine),
      Settings_(settings),
      ControlMsr_(controlMsr),
      Workload_(SimWorkload(machine)),
      Current_(machine.CpuCount(), 0) {}

TSimGovernor* TSimGovernor::Add(TSimMachine& machine, const TSimGovernorSettings& settings,
                                std::string* error) {
  const uint32_t msr = ControlMsrOf(SimCpuScheme(machine.Config().Processor));
  if (msr == 0) {
    *error = "the processor has no P-state control the governor knows";
    return nullptr;
  }
  if (settings.PStates.empty()) {
    *error = "no P-states";
    return nullptr;
  }
  if (!KnownPolicy(settings.Policy)) {
    *error = "unknown policy " + settings.Policy;
    return nullptr;
  }
  if (FindSimGovernor(machine) != nullptr) {
    *error = "the board has a governor already";
    return nullptr;
  }
  TSimGovernor* governor =
      machine.Add(std::unique_ptr<TSimGovernor>(new TSimGovernor(machine, settings, msr)));
  machine.SetBeforeMsrAccess([governor] { governor->Sync(); });
  return governor;
}

void TSimGovernor::RefreshPolicy() {
  if (GovernorFile_.empty()) return;
  const std::string policy = FirstLine(GovernorFile_);
  if (KnownPolicy(policy)) Settings_.Policy = policy;
}

std::string TSimGovernor::Policy() {
  RefreshPolicy();
  return Settings_.Policy;
}

void TSimGovernor::SetPolicy(const std::string& policy) {
  if (!KnownPolicy(policy)) return;
  Settings_.Policy = policy;
  if (!GovernorFile_.empty()) WriteFile(GovernorFile_, policy);
}

bool TSimGovernor::FollowCpufreq(const std::string& cpuSysfs, std::string* error) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::path(cpuSysfs) / "cpufreq" / "policy0";
  std::error_code failure;
  fs::create_directories(dir, failure);
  const std::string governor = (dir / "scaling_governor").string();
  // A policy already there is the simulated OS's own from an earlier run.
  const std::string kept = fs::exists(governor, failure) ? FirstLine(governor) : std::string();
  if (failure || !WriteFile((dir / "scaling_available_governors").string(), OfferedGovernors) ||
      !WriteFile((dir / "scaling_driver").string(), "acpi-cpufreq") ||
      !WriteFile(governor, KnownPolicy(kept) ? kept : Settings_.Policy)) {
    *error = "cannot write the simulated cpufreq files in " + dir.string();
    return false;
  }
  GovernorFile_ = governor;
  return true;
}

size_t TSimGovernor::Choose(double loadPercent) const {
  const std::vector<TSimGovernorPState>& table = Settings_.PStates;
  const std::string& policy = Settings_.Policy;
  if (policy == "performance") return 0;
  if (policy == "powersave") return table.size() - 1;
  if (loadPercent > Settings_.UpThreshold) return 0;
  // The on-demand governor's proportional target, then the lowest P-state that reaches it.
  double top = 0, bottom = table.front().Mhz;
  for (const TSimGovernorPState& p : table) {
    top = std::max(top, p.Mhz);
    bottom = std::min(bottom, p.Mhz);
  }
  const double target = bottom + loadPercent * (top - bottom) / 100;
  // The P-state closest to the target, the faster one of two as close (CPUFREQ_RELATION_C).
  size_t best = 0;
  for (size_t i = 1; i < table.size(); ++i) {
    const double distance = std::abs(table[i].Mhz - target);
    const double bestDistance = std::abs(table[best].Mhz - target);
    if (distance < bestDistance || (distance == bestDistance && table[i].Mhz > table[best].Mhz)) {
      best = i;
    }
  }
  return best;
}

void TSimGovernor::Sync() {
  if (Syncing_) return;
  Syncing_ = true;
  RefreshPolicy();
  for (uint32_t core = 0; core < Machine_.CpuCount() && core < Current_.size(); ++core) {
    const size_t pick = Choose(Workload_.Load(core));
    if (pick == Current_[core]) continue;
    if (Machine_.Cpu(core).WriteMsr(ControlMsr_, Settings_.PStates[pick].Control)) {
      Current_[core] = pick;
    }
  }
  Syncing_ = false;
}

void TSimGovernor::SaveState(TSimState& state) const {
  for (size_t core = 0; core < Current_.size(); ++core) {
    state.SetNumber("governor.core" + std::to_string(core), Current_[core]);
  }
}

bool TSimGovernor::LoadState(const TSimState& state, std::string* error) {
  std::vector<size_t> current(Current_.size(), 0);
  for (size_t core = 0; core < current.size(); ++core) {
    uint64_t value = 0;
    if (!state.GetNumber("governor.core" + std::to_string(core), &value, error)) return false;
    if (value >= Settings_.PStates.size()) {
      *error = "governor.core" + std::to_string(core) + ": no such P-state";
      return false;
    }
    current[core] = static_cast<size_t>(value);
  }
  Current_ = current;
  return true;
}

TSimGovernor* FindSimGovernor(TSimMachine& machine) {
  return dynamic_cast<TSimGovernor*>(machine.FindDevice(TSimGovernor::Name));
}

bool BuildSimGovernor(TSimMachine& machine, const TIniFile& ini, const std::string& section,
                      std::string* error) {
  const TSimSectionReader reader(ini, section, error);
  if (!reader.CheckKeys({"PStates", "Policy", "UpThreshold"})) return false;
  TSimGovernorSettings settings;
  const std::string table = reader.Text("PStates");
  for (std::string_view item : TSimSectionReader::SplitItems(table, ", \t")) {
    const std::vector<std::string_view> parts = TSimSectionReader::SplitItems(item, ":");
    TSimGovernorPState p;
    if (parts.size() != 2 || !TSimSectionReader::ParseReal(parts[0], &p.Mhz) || !(p.Mhz > 0) ||
        !TSimSectionReader::ParseNumber(parts[1], &p.Control)) {
      return reader.Fail("PStates", "expected MHZ:CONTROL items, not '" + std::string(item) + "'");
    }
    settings.PStates.push_back(p);
  }
  if (settings.PStates.empty()) return reader.Fail("PStates", "missing");
  if (reader.Has("Policy")) settings.Policy = TrimBlanks(reader.Text("Policy"));
  if (!KnownPolicy(settings.Policy)) {
    return reader.Fail("Policy",
                       "expected ondemand, schedutil, conservative, performance or "
                       "powersave");
  }
  if (!reader.Real("UpThreshold", 1, 100, 1, &settings.UpThreshold)) return false;
  std::string why;
  if (TSimGovernor::Add(machine, settings, &why) == nullptr) return reader.Fail("", why);
  return true;
}

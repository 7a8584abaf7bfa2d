#include "sim/workload.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "base/inifile.h"
#include "base/textfmt.h"
#include "sim/sectionreader.h"
#include "sim/simmachine.h"
#include "sim/simstate.h"

namespace {

constexpr uint64_t NsPerUs = 1000;
constexpr uint64_t UsPerMs = 1000;
// How often a load given as "host" samples /proc/stat, as the program's own option does.
constexpr uint64_t DefaultSampleUsForOption = 500000;
struct TModeName {
  TSimWorkload::TMode Mode;
  std::string_view Name;
};
constexpr TModeName ModeNames[] = {{TSimWorkload::TMode::Fixed, "fixed"},
                                   {TSimWorkload::TMode::Script, "script"},
                                   {TSimWorkload::TMode::Host, "host"}};

std::string_view ModeName(TSimWorkload::TMode mode) {
  for (const TModeName& row : ModeNames) {
    if (row.Mode == mode) return row.Name;
  }
  return "?";
}

bool ModeOf(std::string_view name, TSimWorkload::TMode* mode) {
  for (const TModeName& row : ModeNames) {
    if (EqualsNoCase(name, row.Name)) {
      *mode = row.Mode;
      return true;
    }
  }
  return false;
}

bool ParseUnsigned(std::string_view text, uint64_t* value) {
  const auto result = std::from_chars(text.data(), text.data() + text.size(), *value);
  return !text.empty() && result.ec == std::errc() && result.ptr == text.data() + text.size();
}

// Values separated by commas and/or blanks.
std::vector<std::string_view> Items(std::string_view text) {
  return TSimSectionReader::SplitItems(text, " \t,");
}

// Percentages 0..100; false with a message naming the first bad item.
bool ParsePercents(std::string_view text, std::vector<double>* values, std::string* error) {
  values->clear();
  for (std::string_view item : Items(text)) {
    double value = 0;
    if (!TSimSectionReader::ParseReal(item, &value) || value < 0 || value > 100) {
      *error = "'" + std::string(item) + "' is not a percentage 0..100";
      return false;
    }
    values->push_back(value);
  }
  return true;
}

std::string RealText(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

std::string ListText(const std::vector<double>& values) {
  std::string text;
  for (double value : values) text += (text.empty() ? "" : ",") + RealText(value);
  return text;
}

bool CheckPercents(const std::vector<double>& percents, std::string* error) {
  for (double value : percents) {
    if (!(value >= 0 && value <= 100)) {
      *error = "load " + RealText(value) + " is not a percentage 0..100";
      return false;
    }
  }
  return true;
}

// One "cpu" line: the name, then user nice system idle iowait irq softirq steal (guest time is
// already part of user time, so the columns after steal are left out).
bool ParseCpuLine(std::string_view line, TSimCpuTimes* times) {
  std::vector<std::string_view> fields;
  for (std::string_view field : Items(line)) fields.push_back(field);
  if (fields.size() < 5) return false;
  uint64_t total = 0, idle = 0;
  for (size_t i = 1; i < fields.size() && i <= 8; ++i) {
    uint64_t value = 0;
    if (!ParseUnsigned(fields[i], &value)) return false;
    total += value;
    if (i == 4 || i == 5) idle += value;  // idle, iowait
  }
  times->Total = total;
  times->Busy = total - idle;
  return true;
}

// busy share of the jiffies between two readings; the whole history when the counters did not
// move forward (the first reading, or one from before a restart of the host).
double LoadBetween(const TSimCpuTimes& before, const TSimCpuTimes& now, double previous) {
  if (now.Total > before.Total && now.Busy >= before.Busy &&
      now.Total - before.Total >= now.Busy - before.Busy) {
    return 100.0 * static_cast<double>(now.Busy - before.Busy) /
           static_cast<double>(now.Total - before.Total);
  }
  if (now.Total == before.Total && now.Busy == before.Busy) return previous;
  return now.Total == 0 ? 0 : 100.0 * static_cast<double>(now.Busy) / now.Total;
}

std::string TimesText(const TSimProcStat& stat) {
  std::string text = std::to_string(stat.All.Busy) + "/" + std::to_string(stat.All.Total);
  for (const TSimCpuTimes& cpu : stat.Cpus) {
    text += " " + std::to_string(cpu.Busy) + "/" + std::to_string(cpu.Total);
  }
  return text;
}

bool ParseTimes(std::string_view text, TSimProcStat* stat) {
  std::vector<TSimCpuTimes> all;
  for (std::string_view item : Items(text)) {
    const size_t slash = item.find('/');
    TSimCpuTimes times;
    if (slash == std::string_view::npos || !ParseUnsigned(item.substr(0, slash), &times.Busy) ||
        !ParseUnsigned(item.substr(slash + 1), &times.Total) || times.Busy > times.Total) {
      return false;
    }
    all.push_back(times);
  }
  if (all.empty()) return false;
  stat->All = all.front();
  stat->Cpus.assign(all.begin() + 1, all.end());
  return true;
}

}  // namespace

bool ParseSimProcStat(std::string_view text, TSimProcStat* stat) {
  TSimProcStat parsed;
  bool sawAll = false;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.substr(0, 3) != "cpu") continue;
    const std::string_view name = line.substr(0, line.find_first_of(" \t"));
    TSimCpuTimes times;
    if (!ParseCpuLine(line, &times)) return false;
    if (name == "cpu") {
      parsed.All = times;
      sawAll = true;
      continue;
    }
    uint64_t index = 0;
    if (!ParseUnsigned(name.substr(3), &index) || index > 4095) return false;
    if (parsed.Cpus.size() <= index) parsed.Cpus.resize(index + 1);
    parsed.Cpus[index] = times;
  }
  if (!sawAll) return false;
  *stat = std::move(parsed);
  return true;
}

bool ReadSimProcStat(const std::string& path, TSimProcStat* stat) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  // /proc files report a size of 0, so read to the end rather than by size.
  std::ostringstream text;
  text << file.rdbuf();
  if (file.bad()) return false;
  return ParseSimProcStat(text.str(), stat);
}

TSimWorkload::TSimWorkload(const TVirtualClock& clock, uint32_t cores)
    : Clock_(clock),
      Cores_(std::max<uint32_t>(cores, 1)),
      Fixed_(Cores_, IdlePercent),
      HostLoads_(Cores_, 0) {}

void TSimWorkload::SetFixed(double percent) {
  Mode_ = TMode::Fixed;
  Fixed_.assign(Cores_, std::isfinite(percent) ? std::clamp(percent, 0.0, 100.0) : 0.0);
}

bool TSimWorkload::SetFixed(const std::vector<double>& percents, std::string* error) {
  if (percents.empty()) {
    *error = "no load given";
    return false;
  }
  if (!CheckPercents(percents, error)) return false;
  Mode_ = TMode::Fixed;
  for (uint32_t core = 0; core < Cores_; ++core) {
    Fixed_[core] = percents[std::min<size_t>(core, percents.size() - 1)];
  }
  return true;
}

bool TSimWorkload::SetScript(const std::vector<double>& percents, uint64_t tickUs, bool repeat,
                             std::string* error) {
  if (percents.empty() || tickUs == 0) {
    *error = percents.empty() ? "the script has no ticks" : "a script tick must last some time";
    return false;
  }
  if (!CheckPercents(percents, error)) return false;
  Mode_ = TMode::Script;
  Script_ = percents;
  TickNs_ = tickUs * NsPerUs;
  Repeat_ = repeat;
  ScriptStartNs_ = Clock_.Nanoseconds();
  return true;
}

bool TSimWorkload::FollowHost(const std::string& procStatPath, uint64_t sampleUs,
                              std::string* error) {
  TSimProcStat first;
  if (!ReadSimProcStat(procStatPath, &first)) {
    *error = "cannot read the host's processor times from " + procStatPath;
    return false;
  }
  Mode_ = TMode::Host;
  ProcStatPath_ = procStatPath;
  SampleNs_ = std::max<uint64_t>(sampleUs, 1) * NsPerUs;
  Previous_ = TSimProcStat{};
  for (uint32_t core = 0; core < Cores_; ++core) {
    const TSimCpuTimes& times =
        first.Cpus.empty() ? first.All : first.Cpus[core % first.Cpus.size()];
    HostLoads_[core] = LoadBetween({}, times, 0);
  }
  Previous_ = std::move(first);
  SampledAtNs_ = Clock_.Nanoseconds();
  return true;
}

void TSimWorkload::SampleHost() {
  const uint64_t now = Clock_.Nanoseconds();
  if (now >= SampledAtNs_ && now - SampledAtNs_ < SampleNs_) return;
  TSimProcStat stat;
  if (!ReadSimProcStat(ProcStatPath_, &stat)) return;
  for (uint32_t core = 0; core < Cores_; ++core) {
    // Per-processor lines when the host has them and had them at the last reading too.
    const bool perCpu = !stat.Cpus.empty() && stat.Cpus.size() == Previous_.Cpus.size();
    const size_t index = perCpu ? core % stat.Cpus.size() : 0;
    HostLoads_[core] = perCpu
                           ? LoadBetween(Previous_.Cpus[index], stat.Cpus[index], HostLoads_[core])
                           : LoadBetween(Previous_.All, stat.All, HostLoads_[core]);
  }
  Previous_ = std::move(stat);
  SampledAtNs_ = now;
}

size_t TSimWorkload::ScriptTick() const {
  if (Mode_ != TMode::Script || Script_.empty()) return 0;
  const uint64_t now = Clock_.Nanoseconds();
  const uint64_t tick = now > ScriptStartNs_ ? (now - ScriptStartNs_) / TickNs_ : 0;
  if (Repeat_) return static_cast<size_t>(tick % Script_.size());
  return static_cast<size_t>(std::min<uint64_t>(tick, Script_.size() - 1));
}

double TSimWorkload::Load(uint32_t core) {
  core = std::min(core, Cores_ - 1);
  switch (Mode_) {
    case TMode::Fixed:
      return Fixed_[core];
    case TMode::Script:
      return Script_[ScriptTick()];
    case TMode::Host:
      SampleHost();
      return std::clamp(HostLoads_[core], 0.0, 100.0);
  }
  return 0;
}

void TSimWorkload::SaveState(TSimState& state) const {
  state.SetText("workload.mode", ModeName(Mode_));
  state.SetText("workload.fixed", ListText(Fixed_));
  state.SetText("workload.script", ListText(Script_));
  state.SetNumber("workload.tick_ns", TickNs_);
  state.SetNumber("workload.repeat", Repeat_ ? 1 : 0);
  state.SetNumber("workload.script_start_ns", ScriptStartNs_);
  state.SetText("workload.procstat", ProcStatPath_);
  state.SetNumber("workload.sample_ns", SampleNs_);
  state.SetNumber("workload.sampled_ns", SampledAtNs_);
  state.SetText("workload.host_times", TimesText(Previous_));
  state.SetText("workload.host_loads", ListText(HostLoads_));
}

bool TSimWorkload::LoadState(const TSimState& state, std::string* error) {
  std::string modeText, fixedText, scriptText, path, timesText, loadsText;
  uint64_t tickNs = 0, repeat = 0, scriptStart = 0, sampleNs = 0, sampledAt = 0;
  if (!state.GetText("workload.mode", &modeText, error) ||
      !state.GetText("workload.fixed", &fixedText, error) ||
      !state.GetText("workload.script", &scriptText, error) ||
      !state.GetNumber("workload.tick_ns", &tickNs, error) ||
      !state.GetNumber("workload.repeat", &repeat, error) ||
      !state.GetNumber("workload.script_start_ns", &scriptStart, error) ||
      !state.GetText("workload.procstat", &path, error) ||
      !state.GetNumber("workload.sample_ns", &sampleNs, error) ||
      !state.GetNumber("workload.sampled_ns", &sampledAt, error) ||
      !state.GetText("workload.host_times", &timesText, error) ||
      !state.GetText("workload.host_loads", &loadsText, error)) {
    return false;
  }
  TMode mode = TMode::Fixed;
  std::vector<double> fixed, script, loads;
  TSimProcStat times;
  std::string why;
  const auto bad = [&](std::string_view key, std::string_view what) {
    *error = "state entry 'workload." + std::string(key) + "': " + std::string(what);
    return false;
  };
  if (!ModeOf(modeText, &mode)) return bad("mode", "'" + modeText + "' is no workload mode");
  if (!ParsePercents(fixedText, &fixed, &why) || fixed.size() != Cores_) {
    return bad("fixed", why.empty() ? "expected one load per core" : why);
  }
  if (!ParsePercents(scriptText, &script, &why)) return bad("script", why);
  if (mode == TMode::Script && script.empty()) return bad("script", "empty");
  if (tickNs == 0 || sampleNs == 0) {
    return bad(tickNs == 0 ? "tick_ns" : "sample_ns", "must not be 0");
  }
  if (!ParseTimes(timesText, &times)) return bad("host_times", "expected BUSY/TOTAL items");
  if (!ParsePercents(loadsText, &loads, &why) || loads.size() != Cores_) {
    return bad("host_loads", why.empty() ? "expected one load per core" : why);
  }
  Mode_ = mode;
  Fixed_ = std::move(fixed);
  Script_ = std::move(script);
  TickNs_ = tickNs;
  Repeat_ = repeat != 0;
  ScriptStartNs_ = scriptStart;
  ProcStatPath_ = path;
  SampleNs_ = sampleNs;
  SampledAtNs_ = sampledAt;
  Previous_ = std::move(times);
  HostLoads_ = std::move(loads);
  return true;
}

TSimWorkload& SimWorkload(TSimMachine& machine) {
  if (auto* existing = dynamic_cast<TSimWorkload*>(machine.FindDevice(TSimWorkload::Name))) {
    return *existing;
  }
  return *machine.Add(std::make_unique<TSimWorkload>(machine.Clock(), machine.CpuCount()));
}

bool BuildSimWorkload(TSimMachine& machine, const TIniFile& ini, const std::string& section,
                      std::string* error) {
  const TSimSectionReader reader(ini, section, error);
  const auto fail = [&](std::string_view key, const std::string& what) {
    return reader.Fail(key, what);
  };
  static constexpr std::string_view Keys[] = {"Mode",   "Load",     "Script",  "TickMs",
                                              "Repeat", "ProcStat", "SampleMs"};
  if (!reader.CheckKeys(Keys)) return false;
  const auto milliseconds = [&](std::string_view key, uint64_t fallbackUs, uint64_t* us) {
    *us = fallbackUs;
    if (!ini.ValueExists(section, key)) return true;
    const std::string text = TrimBlanks(ini.ReadString(section, key, ""));
    uint64_t ms = 0;
    if (!ParseUnsigned(text, &ms) || ms == 0 || ms > (uint64_t{1} << 32)) {
      return fail(key, "'" + text + "' is not a number of milliseconds above 0");
    }
    *us = ms * UsPerMs;
    return true;
  };

  TSimWorkload& workload = SimWorkload(machine);
  TSimWorkload::TMode mode = TSimWorkload::TMode::Fixed;
  const std::string modeText = TrimBlanks(ini.ReadString(section, "Mode", "Fixed"));
  if (!ModeOf(modeText, &mode))
    return fail("Mode", "'" + modeText + "' is not Fixed, Script or Host");
  std::string why;
  switch (mode) {
    case TSimWorkload::TMode::Fixed: {
      std::vector<double> loads;
      if (!ParsePercents(ini.ReadString(section, "Load", "2"), &loads, &why) ||
          !workload.SetFixed(loads, &why)) {
        return fail("Load", why);
      }
      return true;
    }
    case TSimWorkload::TMode::Script: {
      std::vector<double> loads;
      uint64_t tickUs = 0;
      const std::string repeat = TrimBlanks(ini.ReadString(section, "Repeat", "0"));
      if (repeat != "0" && repeat != "1") return fail("Repeat", "expected 0 or 1");
      if (!milliseconds("TickMs", TSimWorkload::DefaultTickUs, &tickUs)) return false;
      if (!ParsePercents(ini.ReadString(section, "Script", ""), &loads, &why) ||
          !workload.SetScript(loads, tickUs, repeat == "1", &why)) {
        return fail("Script", why);
      }
      return true;
    }
    case TSimWorkload::TMode::Host: {
      uint64_t sampleUs = 0;
      if (!milliseconds("SampleMs", TSimWorkload::DefaultSampleUs, &sampleUs)) return false;
      const std::string path = TrimBlanks(ini.ReadString(section, "ProcStat", "/proc/stat"));
      if (!workload.FollowHost(path, sampleUs, &why)) return fail("ProcStat", why);
      return true;
    }
  }
  return true;
}

bool SetSimLoadOption(TSimMachine& machine, const std::string& option, std::string* error) {
  TSimWorkload& workload = SimWorkload(machine);
  if (option == "host") return workload.FollowHost("/proc/stat", DefaultSampleUsForOption, error);
  double percent = 0;
  if (!TSimSectionReader::ParseReal(TrimBlanks(option), &percent) || percent < 0 || percent > 100) {
    *error = "--load needs a percentage from 0 to 100 or \"host\"";
    return false;
  }
  workload.SetFixed(percent);
  return true;
}

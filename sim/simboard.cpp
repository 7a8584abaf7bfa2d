#include "sim/simboard.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <string_view>

#include "base/inifile.h"
#include "base/textfmt.h"
#include "sim/amdnorthbridge.h"
#include "sim/analoginputs.h"
#include "sim/governor.h"
#include "sim/ichgpio.h"
#include "sim/nvsmbusgpio.h"
#include "sim/pinwiring.h"
#include "sim/sectionreader.h"
#include "sim/simcpumodels.h"
#include "sim/simfirmware.h"
#include "sim/superio.h"
#include "sim/vrm.h"
#include "sim/workload.h"

namespace {

using TReader = TSimSectionReader;

constexpr std::string_view BoardKeys[] = {"Name",        "Description", "RamMiB",
                                          "LowRamTop",   "EcamBase",    "EcamBuses",
                                          "PmTimerPort", "PmTimerBits", "Cf8ExtendedOffsets"};

bool ReadBoardSection(const TReader& reader, TSimMachineConfig& config) {
  if (!reader.CheckKeys(BoardKeys)) return false;
  if (reader.Has("Name")) config.BoardName = TrimBlanks(reader.Text("Name"));
  config.Description = reader.Text("Description");
  uint64_t ramMiB = config.RamBytes >> 20;
  uint64_t extended = config.Cf8ExtendedOffsets ? 1 : 0;
  if (!reader.Number("RamMiB", &ramMiB, 1u << 20) ||
      !reader.Number("LowRamTop", &config.LowRamTop, TSimMemory::FourGiB) ||
      !reader.Number("EcamBase", &config.EcamBase, 0xFFFFFFFFF0000000ull) ||
      !reader.Number("EcamBuses", &config.EcamBuses, 256) ||
      !reader.Number("PmTimerPort", &config.PmTimerPort) ||
      !reader.Number("PmTimerBits", &config.PmTimerBits) ||
      !reader.Number("Cf8ExtendedOffsets", &extended, 1)) {
    return false;
  }
  if (ramMiB < 1) return reader.Fail("RamMiB", "at least 1 MiB");
  if (config.EcamBase % (1u << 20) != 0) {
    return reader.Fail("EcamBase", "must be a multiple of 1 MiB");
  }
  if (config.PmTimerBits != 24 && config.PmTimerBits != 32) {
    return reader.Fail("PmTimerBits", "must be 24 or 32");
  }
  if (config.PmTimerPort > 0xFFFC) return reader.Fail("PmTimerPort", "too high");
  config.RamBytes = ramMiB << 20;
  config.Cf8ExtendedOffsets = extended != 0;
  return true;
}

constexpr std::string_view ProcessorKeys[] = {"Model",        "Vendor", "Signature",   "Cores",
                                              "FrequencyMHz", "TscMHz", "BrandString", "Leaf1Ecx",
                                              "Leaf1Edx",     "Cr0",    "Cr3",         "Cr4"};

bool ReadProcessorSection(const TReader& reader, TSimMachineConfig& config) {
  TSimProcessorModel& cpu = config.Processor;
  if (!reader.CheckKeys(ProcessorKeys)) return false;
  // A named model (sim/simcpumodels.h) gives every key a value; the section's keys override it.
  const bool named = reader.Has("Model");
  std::string why;
  if (named && !ApplySimCpuModel(TrimBlanks(reader.Text("Model")), cpu, &why)) {
    return reader.Fail("Model", why);
  }
  if (!named || reader.Has("Vendor")) cpu.Vendor = reader.Text("Vendor");
  if (cpu.Vendor.size() != 12) {
    return reader.Fail("Vendor", "must be the 12-character CPUID vendor string");
  }
  if (!reader.Number("Signature", &cpu.Signature, ~uint64_t{0}, !named) ||
      !reader.Number("Cores", &cpu.Cores, 64) ||
      !reader.Megahertz("FrequencyMHz", &cpu.FrequencyHz, !named) ||
      !reader.Megahertz("TscMHz", &cpu.TscHz, false) || !reader.Number("Leaf1Ecx", &cpu.Leaf1Ecx) ||
      !reader.Number("Leaf1Edx", &cpu.Leaf1Edx) ||
      !reader.Number("Cr0", &cpu.ControlRegisters[0], ~uint64_t{0}) ||
      !reader.Number("Cr3", &cpu.ControlRegisters[2], ~uint64_t{0}) ||
      !reader.Number("Cr4", &cpu.ControlRegisters[3], ~uint64_t{0})) {
    return false;
  }
  if (cpu.Cores < 1) return reader.Fail("Cores", "at least 1");
  if (!named || reader.Has("BrandString")) cpu.BrandString = reader.Text("BrandString");
  if (cpu.BrandString.size() > 48) {
    return reader.Fail("BrandString", "longer than 48 characters");
  }
  return true;
}

bool ReadCpuIdSection(const TReader& reader, TSimMachineConfig& config) {
  TStrings keys;
  reader.Ini().ReadSection(reader.Section(), keys);
  for (const std::string& key : keys) {
    uint64_t leaf = 0;
    std::vector<uint64_t> values;
    if (!TReader::ParseNumber(key, &leaf) || leaf > 0xFFFFFFFF) {
      return reader.Fail(key, "not a CPUID leaf number");
    }
    if (!TReader::ParseNumberList(reader.Text(key), &values) || values.size() != 4 ||
        std::any_of(values.begin(), values.end(), [](uint64_t v) { return v > 0xFFFFFFFF; })) {
      return reader.Fail(key, "expected EAX,EBX,ECX,EDX");
    }
    config.Processor.CpuIdLeaves[static_cast<uint32_t>(leaf)] = {
        static_cast<uint32_t>(values[0]), static_cast<uint32_t>(values[1]),
        static_cast<uint32_t>(values[2]), static_cast<uint32_t>(values[3])};
  }
  return true;
}

// [MSR] and [MSR CoreN].
bool ReadMsrSection(const TReader& reader, TSimMachineConfig& config) {
  std::vector<TSimMsrDefault>* table = &config.Processor.Msrs;
  const std::string& section = reader.Section();
  if (section.size() > 3) {
    const std::string_view which = std::string_view(section).substr(4);
    uint64_t core = 0;
    if (!StartsWithNoCase(which, "Core") || !TReader::ParseNumber(which.substr(4), &core) ||
        core >= 64) {
      return reader.Fail("", "expected [MSR CoreN] with a core number");
    }
    table = &config.Processor.CoreMsrs[static_cast<uint32_t>(core)];
  }
  TStrings keys;
  reader.Ini().ReadSection(reader.Section(), keys);
  for (const std::string& key : keys) {
    uint64_t msr = 0;
    std::vector<uint64_t> values;
    if (!TReader::ParseNumber(key, &msr) || msr > 0xFFFFFFFF) {
      return reader.Fail(key, "not an MSR number");
    }
    if (!TReader::ParseNumberList(reader.Text(key), &values) || values.empty() ||
        values.size() > 2) {
      return reader.Fail(key, "expected VALUE or VALUE,WRITABLEBITS");
    }
    table->push_back(
        {static_cast<uint32_t>(msr), values[0], values.size() == 2 ? values[1] : ~uint64_t{0}});
  }
  return true;
}

constexpr std::string_view PciKeys[] = {
    "Vendor",       "Device",     "Class",           "Revision",        "HeaderType",
    "Command",      "Status",     "SubsystemVendor", "SubsystemDevice", "InterruptLine",
    "InterruptPin", "PrimaryBus", "SecondaryBus",    "SubordinateBus"};
constexpr std::string_view PciKeyPrefixes[] = {"Config.", "Mask."};

// "bb:dd.f" in hex.
bool ParsePciAddress(std::string_view text, uint8_t* bus, uint8_t* device, uint8_t* function) {
  uint64_t b = 0, d = 0, f = 0;
  if (text.size() != 7 || text[2] != ':' || text[5] != '.') return false;
  auto hex = [](std::string_view part, uint64_t* value) {
    const auto result = std::from_chars(part.data(), part.data() + part.size(), *value, 16);
    return result.ec == std::errc() && result.ptr == part.data() + part.size();
  };
  if (!hex(text.substr(0, 2), &b) || !hex(text.substr(3, 2), &d) || !hex(text.substr(6, 1), &f) ||
      d > 31 || f > 7) {
    return false;
  }
  *bus = static_cast<uint8_t>(b);
  *device = static_cast<uint8_t>(d);
  *function = static_cast<uint8_t>(f);
  return true;
}

// Config.OFFSET / Mask.OFFSET lists of one function.
bool ApplyByteLists(const TReader& reader, TSimPciFunction& function) {
  TStrings keys;
  reader.Ini().ReadSection(reader.Section(), keys);
  for (const std::string& key : keys) {
    const bool config = StartsWithNoCase(key, "Config.");
    if (!config && !StartsWithNoCase(key, "Mask.")) continue;
    uint64_t offset = 0;
    std::vector<uint8_t> bytes;
    if (!TReader::ParseNumber(TextAfter(key, "."), &offset)) {
      return reader.Fail(key, "not a configuration offset");
    }
    if (!reader.HexBytes(key, &bytes)) return false;
    if (offset + bytes.size() > TSimPciFunction::ConfigSize) {
      return reader.Fail(key, "runs past the 4 KiB configuration space");
    }
    for (size_t i = 0; i < bytes.size(); ++i) {
      const auto at = static_cast<uint16_t>(offset + i);
      if (config) {
        function.SetByte(at, bytes[i]);
      } else {
        function.SetWriteMask(at, bytes[i]);
      }
    }
  }
  return true;
}

bool BuildPciFunction(const TReader& reader, TSimMachine& machine, std::string*) {
  const std::string& section = reader.Section();
  uint8_t bus = 0, device = 0, function = 0;
  if (!ParsePciAddress(TrimBlanks(std::string_view(section).substr(4)), &bus, &device, &function)) {
    return reader.Fail("", "expected [PCI bb:dd.f] with hex bus, device and function");
  }
  if (!reader.CheckKeys(PciKeys, PciKeyPrefixes)) return false;
  uint16_t vendor = 0, deviceId = 0, command = 0, status = 0, subVendor = 0, subDevice = 0;
  uint32_t classCode = 0;
  uint8_t revision = 0, headerType = 0, line = 0, pin = 0, primary = 0, secondary = 0,
          subordinate = 0;
  if (!reader.Number("Vendor", &vendor, ~uint64_t{0}, true) ||
      !reader.Number("Device", &deviceId, ~uint64_t{0}, true) ||
      !reader.Number("Class", &classCode, 0xFFFFFF, true) ||
      !reader.Number("Revision", &revision) || !reader.Number("HeaderType", &headerType) ||
      !reader.Number("Command", &command) || !reader.Number("Status", &status) ||
      !reader.Number("SubsystemVendor", &subVendor) ||
      !reader.Number("SubsystemDevice", &subDevice) || !reader.Number("InterruptLine", &line) ||
      !reader.Number("InterruptPin", &pin) || !reader.Number("PrimaryBus", &primary) ||
      !reader.Number("SecondaryBus", &secondary) ||
      !reader.Number("SubordinateBus", &subordinate)) {
    return false;
  }
  const uint8_t layout = headerType & 0x7F;
  if (layout > 1) {
    return reader.Fail("HeaderType", "0 (device) or 1 (bridge) expected");
  }
  auto model = std::make_unique<TSimPciFunction>(vendor, deviceId, classCode, revision, layout);
  model->SetWord(0x04, command);
  model->SetWord(0x06, status);
  model->SetByte(0x3C, line);
  model->SetByte(0x3D, pin);
  if (layout == 1) {
    model->SetByte(0x18, primary);
    model->SetByte(0x19, secondary);
    model->SetByte(0x1A, subordinate);
  } else {
    model->SetWord(0x2C, subVendor);
    model->SetWord(0x2E, subDevice);
  }
  if (!ApplyByteLists(reader, *model)) return false;
  if (!machine.Pci().AddFunction(bus, device, function, std::move(model))) {
    return reader.Fail("", "function defined twice");
  }
  return true;
}

// The processor's clock behaviour (P-state requests, clock modulation) and the AMD platform parts
// of sim/amdnorthbridge.h.
bool BuildProcessorClock(const TReader&, TSimMachine& machine, std::string*) {
  SimCpuClock(machine);
  return true;
}
bool BuildAmdNorthbridge(const TReader& reader, TSimMachine& machine, std::string* error) {
  return BuildSimAmdNorthbridge(machine, reader.Ini(), reader.Section(), error);
}
bool BuildAmdSbPm(const TReader& reader, TSimMachine& machine, std::string* error) {
  return BuildSimAmdSbPm(machine, reader.Ini(), reader.Section(), error);
}
bool BuildMcpPcnt(const TReader& reader, TSimMachine& machine, std::string* error) {
  return BuildSimMcpPcnt(machine, reader.Ini(), reader.Section(), error);
}

// The chips of sim/superio.h, sim/ichgpio.h and sim/nvsmbusgpio.h, then the board wiring and
// monitor inputs that name their pins (these sections follow the chips' sections in the file).
bool BuildSuperIo(const TReader& reader, TSimMachine& machine, std::string* error) {
  return BuildSimSuperIo(machine, reader.Ini(), reader.Section(), error);
}
bool BuildIchGpio(const TReader& reader, TSimMachine& machine, std::string* error) {
  return BuildSimIchGpio(machine, reader.Ini(), reader.Section(), error);
}
bool BuildNvSmbusGpio(const TReader& reader, TSimMachine& machine, std::string* error) {
  return BuildSimNvSmbusGpio(machine, reader.Ini(), reader.Section(), error);
}
bool BuildWiring(const TReader& reader, TSimMachine& machine, std::string* error) {
  return BuildSimWiring(machine, reader.Ini(), reader.Section(), error);
}
bool BuildMonitorInputs(const TReader& reader, TSimMachine& machine, std::string* error) {
  return BuildSimMonitorInputs(machine, reader.Ini(), reader.Section(), error);
}

// The voltage regulator (sim/vrm.h), which connects itself to the monitor inputs it drives, and
// the processor load it follows (sim/workload.h).
bool BuildVrm(const TReader& reader, TSimMachine& machine, std::string* error) {
  return BuildSimVrm(machine, reader.Ini(), reader.Section(), error);
}
bool BuildWorkload(const TReader& reader, TSimMachine& machine, std::string* error) {
  return BuildSimWorkload(machine, reader.Ini(), reader.Section(), error);
}

// The operating system's processor-power policy (sim/governor.h).
bool BuildGovernor(const TReader& reader, TSimMachine& machine, std::string* error) {
  return BuildSimGovernor(machine, reader.Ini(), reader.Section(), error);
}

// Sections in the order a board is built: machine-wide settings first, then the devices. Adding a
// device model means adding a row here.
struct TSectionKind {
  std::string_view Name;  // the section name, or its first word when followed by a blank
  bool Prefix;
  bool (*ReadConfig)(const TReader&, TSimMachineConfig&);
  bool (*Build)(const TReader&, TSimMachine&, std::string*);
};

constexpr TSectionKind SectionKinds[] = {
    {"Board", false, ReadBoardSection, nullptr},
    {"Processor", false, ReadProcessorSection, BuildProcessorClock},
    {"CPUID", false, ReadCpuIdSection, nullptr},
    {"MSR", false, ReadMsrSection, nullptr},
    {"MSR", true, ReadMsrSection, nullptr},
    {"PCI", true, nullptr, BuildPciFunction},
    {"AmdNorthbridge", false, nullptr, BuildAmdNorthbridge},
    {"AmdSbPm", false, nullptr, BuildAmdSbPm},
    {"McpPcnt", false, nullptr, BuildMcpPcnt},
    {"SuperIO", false, nullptr, BuildSuperIo},
    {"IchGpio", false, nullptr, BuildIchGpio},
    {"NvSmbusGpio", false, nullptr, BuildNvSmbusGpio},
    {"Wiring", false, nullptr, BuildWiring},
    {"Monitor", false, nullptr, BuildMonitorInputs},
    {"VRM", false, nullptr, BuildVrm},
    {"Workload", false, nullptr, BuildWorkload},
    {"Governor", false, nullptr, BuildGovernor},
    // Firmware tables: read together and laid into the BIOS area once the devices are built.
    {"SMBIOS", false, nullptr, nullptr},
    {"ACPI", false, nullptr, nullptr},
    {"ACPI", true, nullptr, nullptr},
    {"SSDT", true, nullptr, nullptr},
};

const TSectionKind* FindSectionKind(const std::string& section) {
  for (const TSectionKind& kind : SectionKinds) {
    if (!kind.Prefix && EqualsNoCase(section, kind.Name)) return &kind;
    if (kind.Prefix && section.size() > kind.Name.size() + 1 &&
        StartsWithNoCase(section, kind.Name) && section[kind.Name.size()] == ' ') {
      return &kind;
    }
  }
  return nullptr;
}

std::string FileStem(const std::string& path) {
  return std::filesystem::path(path).stem().string();
}

bool EndsWithIni(const std::string& text) {
  return text.size() >= 4 && EqualsNoCase(std::string_view(text).substr(text.size() - 4), ".ini");
}

}  // namespace

std::vector<TBoardFileInfo> ListBoardFiles(const std::string& boardsDir) {
  std::vector<TBoardFileInfo> boards;
  std::error_code failure;
  for (std::filesystem::directory_iterator it(boardsDir, failure), end; !failure && it != end;
       it.increment(failure)) {
    const std::string path = it->path().string();
    if (!it->is_regular_file(failure) || !EndsWithIni(path)) continue;
    const TIniFile ini(path);
    boards.push_back({ini.ReadString("Board", "Name", FileStem(path)),
                      ini.ReadString("Board", "Description", ""), path});
  }
  std::sort(boards.begin(), boards.end(), [](const TBoardFileInfo& a, const TBoardFileInfo& b) {
    return a.Name != b.Name ? a.Name < b.Name : a.Path < b.Path;
  });
  return boards;
}

std::unique_ptr<TSimMachine> CreateSimMachine(const std::string& nameOrPath,
                                              const std::string& boardsDir, std::string* error) {
  const bool isPath = nameOrPath.find('/') != std::string::npos || EndsWithIni(nameOrPath);
  const std::string path = isPath ? nameOrPath : boardsDir + "/" + nameOrPath + ".ini";
  std::error_code failure;
  if (nameOrPath.empty() || !std::filesystem::is_regular_file(path, failure)) {
    *error = "board file not found: " + path;
    return nullptr;
  }
  const TIniFile ini(path);
  TStrings sections;
  ini.ReadSections(sections);
  for (const char* required : {"Board", "Processor"}) {
    // A section header alone counts: every [Board] key has a default.
    if (std::none_of(sections.begin(), sections.end(),
                     [&](const std::string& name) { return EqualsNoCase(name, required); })) {
      *error = path + ": no [" + std::string(required) + "] section, not a board file";
      return nullptr;
    }
  }

  TSimMachineConfig config;
  config.BoardName = FileStem(path);
  for (const std::string& section : sections) {
    const TReader reader(ini, section, error);
    const TSectionKind* kind = FindSectionKind(section);
    if (kind == nullptr) {
      reader.Fail("", "unknown section");
      return nullptr;
    }
    if (kind->ReadConfig != nullptr && !kind->ReadConfig(reader, config)) return nullptr;
  }
  if (config.BoardName.empty()) {
    const std::string board = "Board";
    TReader(ini, board, error).Fail("Name", "empty");
    return nullptr;
  }

  auto machine = std::make_unique<TSimMachine>(config);
  for (const std::string& section : sections) {
    const TReader reader(ini, section, error);
    const TSectionKind* kind = FindSectionKind(section);
    if (kind->Build != nullptr && !kind->Build(reader, *machine, error)) return nullptr;
  }
  if (!BuildBoardFirmware(ini, *machine, error)) return nullptr;
  return machine;
}

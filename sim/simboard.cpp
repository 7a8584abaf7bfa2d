#include "sim/simboard.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <span>
#include <string_view>

#include "base/inifile.h"
#include "base/textfmt.h"
#include "sim/amdnorthbridge.h"
#include "sim/analoginputs.h"
#include "sim/ichgpio.h"
#include "sim/nvsmbusgpio.h"
#include "sim/pinwiring.h"
#include "sim/simcpumodels.h"
#include "sim/simfirmware.h"
#include "sim/superio.h"
#include "sim/vrm.h"
#include "sim/workload.h"

namespace {

// "0x" hexadecimal or decimal, the whole text.
bool ParseNumber(std::string_view text, uint64_t* value) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  if (hex) text.remove_prefix(2);
  if (text.empty()) return false;
  const auto result =
      std::from_chars(text.data(), text.data() + text.size(), *value, hex ? 16 : 10);
  return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

// Numbers separated by commas and/or blanks.
bool ParseNumberList(std::string_view text, std::vector<uint64_t>* values) {
  values->clear();
  while (true) {
    const size_t start = text.find_first_not_of(" \t,");
    if (start == std::string_view::npos) return true;
    text.remove_prefix(start);
    const size_t end = text.find_first_of(" \t,");
    uint64_t value = 0;
    if (!ParseNumber(text.substr(0, end), &value)) return false;
    values->push_back(value);
    if (end == std::string_view::npos) return true;
    text.remove_prefix(end);
  }
}

// Hex bytes separated by blanks: "01 04 00 00".
bool ParseHexBytes(std::string_view text, std::vector<uint8_t>* bytes) {
  bytes->clear();
  while (true) {
    const size_t start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos) return !bytes->empty();
    text.remove_prefix(start);
    const size_t end = text.find_first_of(" \t");
    const std::string_view item = text.substr(0, end);
    uint8_t byte = 0;
    const auto result = std::from_chars(item.data(), item.data() + item.size(), byte, 16);
    if (item.size() > 2 || result.ec != std::errc() || result.ptr != item.data() + item.size()) {
      return false;
    }
    bytes->push_back(byte);
    if (end == std::string_view::npos) return true;
    text.remove_prefix(end);
  }
}

// Typed reads of one board file that fail with a message naming file, section and key.
class TBoardReader {
 public:
  explicit TBoardReader(const std::string& path) : Ini_(path), Path_(path) {}

  const TIniFile& Ini() const { return Ini_; }
  const std::string& Path() const { return Path_; }

  bool Fail(std::string_view section, std::string_view key, std::string_view what,
            std::string* error) const {
    *error = Path_ + ": [" + std::string(section) + "]" +
             (key.empty() ? std::string() : " " + std::string(key)) + ": " + std::string(what);
    return false;
  }

  bool Has(std::string_view section, std::string_view key) const {
    return Ini_.ValueExists(section, key);
  }
  std::string Text(std::string_view section, std::string_view key) const {
    return Ini_.ReadString(section, key, "");
  }

  // Leaves *value alone when the key is missing, unless required.
  bool Number(std::string_view section, std::string_view key, uint64_t max, uint64_t* value,
              std::string* error, bool required = false) const {
    if (!Has(section, key)) return required ? Fail(section, key, "missing", error) : true;
    const std::string text = Text(section, key);
    uint64_t parsed = 0;
    if (!ParseNumber(text, &parsed))
      return Fail(section, key, "'" + text + "' is not a number", error);
    if (parsed > max) {
      return Fail(section, key, "'" + text + "' is out of range (at most " + HexMin(max) + ")",
                  error);
    }
    *value = parsed;
    return true;
  }

  template <class T>
  bool NumberAs(std::string_view section, std::string_view key, T* value, std::string* error,
                bool required = false, uint64_t max = ~uint64_t{0}) const {
    uint64_t wide = *value;
    max = std::min<uint64_t>(max, static_cast<T>(~T{0}));
    if (!Number(section, key, max, &wide, error, required)) return false;
    *value = static_cast<T>(wide);
    return true;
  }

  // Megahertz with an optional fraction ("2666.67"), as hertz.
  bool Megahertz(std::string_view section, std::string_view key, uint64_t* hz, std::string* error,
                 bool required) const {
    if (!Has(section, key)) return required ? Fail(section, key, "missing", error) : true;
    const std::string text = Text(section, key);
    double mhz = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), mhz);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size() ||
        !(mhz > 0) || mhz > 100000) {
      return Fail(section, key, "'" + text + "' is not a frequency in MHz", error);
    }
    *hz = static_cast<uint64_t>(std::llround(mhz * 1e6));
    return true;
  }

  // Every key of the section must be one of names or begin with one of prefixes.
  bool CheckKeys(std::string_view section, std::span<const std::string_view> names,
                 std::span<const std::string_view> prefixes, std::string* error) const {
    TStrings keys;
    Ini_.ReadSection(section, keys);
    for (const std::string& key : keys) {
      const bool known =
          std::any_of(names.begin(), names.end(),
                      [&](std::string_view name) { return EqualsNoCase(key, name); }) ||
          std::any_of(prefixes.begin(), prefixes.end(),
                      [&](std::string_view prefix) { return StartsWithNoCase(key, prefix); });
      if (!known) return Fail(section, key, "unknown key", error);
    }
    return true;
  }

 private:
  TIniFile Ini_;
  std::string Path_;
};

constexpr std::string_view BoardKeys[] = {"Name",        "Description", "RamMiB",
                                          "LowRamTop",   "EcamBase",    "EcamBuses",
                                          "PmTimerPort", "PmTimerBits", "Cf8ExtendedOffsets"};

bool ReadBoardSection(const TBoardReader& reader, const std::string& section,
                      TSimMachineConfig& config, std::string* error) {
  if (!reader.CheckKeys(section, BoardKeys, {}, error)) return false;
  if (reader.Has(section, "Name")) config.BoardName = TrimBlanks(reader.Text(section, "Name"));
  config.Description = reader.Text(section, "Description");
  uint64_t ramMiB = config.RamBytes >> 20;
  uint64_t extended = config.Cf8ExtendedOffsets ? 1 : 0;
  if (!reader.Number(section, "RamMiB", 1u << 20, &ramMiB, error) ||
      !reader.Number(section, "LowRamTop", TSimMemory::FourGiB, &config.LowRamTop, error) ||
      !reader.Number(section, "EcamBase", 0xFFFFFFFFF0000000ull, &config.EcamBase, error) ||
      !reader.NumberAs(section, "EcamBuses", &config.EcamBuses, error, false, 256) ||
      !reader.NumberAs(section, "PmTimerPort", &config.PmTimerPort, error) ||
      !reader.NumberAs(section, "PmTimerBits", &config.PmTimerBits, error) ||
      !reader.Number(section, "Cf8ExtendedOffsets", 1, &extended, error)) {
    return false;
  }
  if (ramMiB < 1) return reader.Fail(section, "RamMiB", "at least 1 MiB", error);
  if (config.EcamBase % (1u << 20) != 0) {
    return reader.Fail(section, "EcamBase", "must be a multiple of 1 MiB", error);
  }
  if (config.PmTimerBits != 24 && config.PmTimerBits != 32) {
    return reader.Fail(section, "PmTimerBits", "must be 24 or 32", error);
  }
  if (config.PmTimerPort > 0xFFFC) return reader.Fail(section, "PmTimerPort", "too high", error);
  config.RamBytes = ramMiB << 20;
  config.Cf8ExtendedOffsets = extended != 0;
  return true;
}

constexpr std::string_view ProcessorKeys[] = {
    "Model",       "Vendor",   "Signature", "Cores", "FrequencyMHz", "TscMHz",
    "BrandString", "Leaf1Ecx", "Leaf1Edx",  "Cr0",   "Cr3",          "Cr4"};

bool ReadProcessorSection(const TBoardReader& reader, const std::string& section,
                          TSimMachineConfig& config, std::string* error) {
  TSimProcessorModel& cpu = config.Processor;
  if (!reader.CheckKeys(section, ProcessorKeys, {}, error)) return false;
  // A named model (sim/simcpumodels.h) gives every key a value; the section's keys override it.
  const bool named = reader.Has(section, "Model");
  std::string why;
  if (named && !ApplySimCpuModel(TrimBlanks(reader.Text(section, "Model")), cpu, &why)) {
    return reader.Fail(section, "Model", why, error);
  }
  if (!named || reader.Has(section, "Vendor")) cpu.Vendor = reader.Text(section, "Vendor");
  if (cpu.Vendor.size() != 12) {
    return reader.Fail(section, "Vendor", "must be the 12-character CPUID vendor string", error);
  }
  if (!reader.NumberAs(section, "Signature", &cpu.Signature, error, !named) ||
      !reader.NumberAs(section, "Cores", &cpu.Cores, error, false, 64) ||
      !reader.Megahertz(section, "FrequencyMHz", &cpu.FrequencyHz, error, !named) ||
      !reader.Megahertz(section, "TscMHz", &cpu.TscHz, error, false) ||
      !reader.NumberAs(section, "Leaf1Ecx", &cpu.Leaf1Ecx, error) ||
      !reader.NumberAs(section, "Leaf1Edx", &cpu.Leaf1Edx, error) ||
      !reader.Number(section, "Cr0", ~uint64_t{0}, &cpu.ControlRegisters[0], error) ||
      !reader.Number(section, "Cr3", ~uint64_t{0}, &cpu.ControlRegisters[2], error) ||
      !reader.Number(section, "Cr4", ~uint64_t{0}, &cpu.ControlRegisters[3], error)) {
    return false;
  }
  if (cpu.Cores < 1) return reader.Fail(section, "Cores", "at least 1", error);
  if (!named || reader.Has(section, "BrandString"))
    cpu.BrandString = reader.Text(section, "BrandString");
  if (cpu.BrandString.size() > 48) {
    return reader.Fail(section, "BrandString", "longer than 48 characters", error);
  }
  return true;
}

bool ReadCpuIdSection(const TBoardReader& reader, const std::string& section,
                      TSimMachineConfig& config, std::string* error) {
  TStrings keys;
  reader.Ini().ReadSection(section, keys);
  for (const std::string& key : keys) {
    uint64_t leaf = 0;
    std::vector<uint64_t> values;
    if (!ParseNumber(key, &leaf) || leaf > 0xFFFFFFFF) {
      return reader.Fail(section, key, "not a CPUID leaf number", error);
    }
    if (!ParseNumberList(reader.Text(section, key), &values) || values.size() != 4 ||
        std::any_of(values.begin(), values.end(), [](uint64_t v) { return v > 0xFFFFFFFF; })) {
      return reader.Fail(section, key, "expected EAX,EBX,ECX,EDX", error);
    }
    config.Processor.CpuIdLeaves[static_cast<uint32_t>(leaf)] = {
        static_cast<uint32_t>(values[0]), static_cast<uint32_t>(values[1]),
        static_cast<uint32_t>(values[2]), static_cast<uint32_t>(values[3])};
  }
  return true;
}

// [MSR] and [MSR CoreN].
bool ReadMsrSection(const TBoardReader& reader, const std::string& section,
                    TSimMachineConfig& config, std::string* error) {
  std::vector<TSimMsrDefault>* table = &config.Processor.Msrs;
  if (section.size() > 3) {
    const std::string_view which = std::string_view(section).substr(4);
    uint64_t core = 0;
    if (!StartsWithNoCase(which, "Core") || !ParseNumber(which.substr(4), &core) || core >= 64) {
      return reader.Fail(section, "", "expected [MSR CoreN] with a core number", error);
    }
    table = &config.Processor.CoreMsrs[static_cast<uint32_t>(core)];
  }
  TStrings keys;
  reader.Ini().ReadSection(section, keys);
  for (const std::string& key : keys) {
    uint64_t msr = 0;
    std::vector<uint64_t> values;
    if (!ParseNumber(key, &msr) || msr > 0xFFFFFFFF) {
      return reader.Fail(section, key, "not an MSR number", error);
    }
    if (!ParseNumberList(reader.Text(section, key), &values) || values.empty() ||
        values.size() > 2) {
      return reader.Fail(section, key, "expected VALUE or VALUE,WRITABLEBITS", error);
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
bool ApplyByteLists(const TBoardReader& reader, const std::string& section,
                    TSimPciFunction& function, std::string* error) {
  TStrings keys;
  reader.Ini().ReadSection(section, keys);
  for (const std::string& key : keys) {
    const bool config = StartsWithNoCase(key, "Config.");
    if (!config && !StartsWithNoCase(key, "Mask.")) continue;
    uint64_t offset = 0;
    std::vector<uint8_t> bytes;
    if (!ParseNumber(TextAfter(key, "."), &offset)) {
      return reader.Fail(section, key, "not a configuration offset", error);
    }
    if (!ParseHexBytes(reader.Text(section, key), &bytes)) {
      return reader.Fail(section, key, "expected hex bytes such as \"01 04 00 00\"", error);
    }
    if (offset + bytes.size() > TSimPciFunction::ConfigSize) {
      return reader.Fail(section, key, "runs past the 4 KiB configuration space", error);
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

bool BuildPciFunction(const TBoardReader& reader, const std::string& section, TSimMachine& machine,
                      std::string* error) {
  uint8_t bus = 0, device = 0, function = 0;
  if (!ParsePciAddress(TrimBlanks(std::string_view(section).substr(4)), &bus, &device, &function)) {
    return reader.Fail(section, "", "expected [PCI bb:dd.f] with hex bus, device and function",
                       error);
  }
  if (!reader.CheckKeys(section, PciKeys, PciKeyPrefixes, error)) return false;
  uint16_t vendor = 0, deviceId = 0, command = 0, status = 0, subVendor = 0, subDevice = 0;
  uint32_t classCode = 0;
  uint8_t revision = 0, headerType = 0, line = 0, pin = 0, primary = 0, secondary = 0,
          subordinate = 0;
  if (!reader.NumberAs(section, "Vendor", &vendor, error, true) ||
      !reader.NumberAs(section, "Device", &deviceId, error, true) ||
      !reader.NumberAs(section, "Class", &classCode, error, true, 0xFFFFFF) ||
      !reader.NumberAs(section, "Revision", &revision, error) ||
      !reader.NumberAs(section, "HeaderType", &headerType, error) ||
      !reader.NumberAs(section, "Command", &command, error) ||
      !reader.NumberAs(section, "Status", &status, error) ||
      !reader.NumberAs(section, "SubsystemVendor", &subVendor, error) ||
      !reader.NumberAs(section, "SubsystemDevice", &subDevice, error) ||
      !reader.NumberAs(section, "InterruptLine", &line, error) ||
      !reader.NumberAs(section, "InterruptPin", &pin, error) ||
      !reader.NumberAs(section, "PrimaryBus", &primary, error) ||
      !reader.NumberAs(section, "SecondaryBus", &secondary, error) ||
      !reader.NumberAs(section, "SubordinateBus", &subordinate, error)) {
    return false;
  }
  const uint8_t layout = headerType & 0x7F;
  if (layout > 1) {
    return reader.Fail(section, "HeaderType", "0 (device) or 1 (bridge) expected", error);
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
  if (!ApplyByteLists(reader, section, *model, error)) return false;
  if (!machine.Pci().AddFunction(bus, device, function, std::move(model))) {
    return reader.Fail(section, "", "function defined twice", error);
  }
  return true;
}

// The processor's clock behaviour (P-state requests, clock modulation) and the AMD platform parts
// of sim/amdnorthbridge.h.
bool BuildProcessorClock(const TBoardReader&, const std::string&, TSimMachine& machine,
                         std::string*) {
  SimCpuClock(machine);
  return true;
}
bool BuildAmdNorthbridge(const TBoardReader& reader, const std::string& section,
                         TSimMachine& machine, std::string* error) {
  return BuildSimAmdNorthbridge(machine, reader.Ini(), section, error);
}
bool BuildAmdSbPm(const TBoardReader& reader, const std::string& section, TSimMachine& machine,
                  std::string* error) {
  return BuildSimAmdSbPm(machine, reader.Ini(), section, error);
}
bool BuildMcpPcnt(const TBoardReader& reader, const std::string& section, TSimMachine& machine,
                  std::string* error) {
  return BuildSimMcpPcnt(machine, reader.Ini(), section, error);
}

// The chips of sim/superio.h, sim/ichgpio.h and sim/nvsmbusgpio.h, then the board wiring and
// monitor inputs that name their pins (these sections follow the chips' sections in the file).
bool BuildSuperIo(const TBoardReader& reader, const std::string& section, TSimMachine& machine,
                  std::string* error) {
  return BuildSimSuperIo(machine, reader.Ini(), section, error);
}
bool BuildIchGpio(const TBoardReader& reader, const std::string& section, TSimMachine& machine,
                  std::string* error) {
  return BuildSimIchGpio(machine, reader.Ini(), section, error);
}
bool BuildNvSmbusGpio(const TBoardReader& reader, const std::string& section,
                      TSimMachine& machine, std::string* error) {
  return BuildSimNvSmbusGpio(machine, reader.Ini(), section, error);
}
bool BuildWiring(const TBoardReader& reader, const std::string& section, TSimMachine& machine,
                 std::string* error) {
  return BuildSimWiring(machine, reader.Ini(), section, error);
}
bool BuildMonitorInputs(const TBoardReader& reader, const std::string& section,
                        TSimMachine& machine, std::string* error) {
  return BuildSimMonitorInputs(machine, reader.Ini(), section, error);
}

// The voltage regulator (sim/vrm.h), which connects itself to the monitor inputs it drives, and
// the processor load it follows (sim/workload.h).
bool BuildVrm(const TBoardReader& reader, const std::string& section, TSimMachine& machine,
              std::string* error) {
  return BuildSimVrm(machine, reader.Ini(), section, error);
}
bool BuildWorkload(const TBoardReader& reader, const std::string& section, TSimMachine& machine,
                   std::string* error) {
  return BuildSimWorkload(machine, reader.Ini(), section, error);
}

// Sections in the order a board is built: machine-wide settings first, then the devices. Adding a
// device model means adding a row here.
struct TSectionKind {
  std::string_view Name;  // the section name, or its first word when followed by a blank
  bool Prefix;
  bool (*ReadConfig)(const TBoardReader&, const std::string&, TSimMachineConfig&, std::string*);
  bool (*Build)(const TBoardReader&, const std::string&, TSimMachine&, std::string*);
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
  const TBoardReader reader(path);
  TStrings sections;
  reader.Ini().ReadSections(sections);
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
    const TSectionKind* kind = FindSectionKind(section);
    if (kind == nullptr) {
      reader.Fail(section, "", "unknown section", error);
      return nullptr;
    }
    if (kind->ReadConfig != nullptr && !kind->ReadConfig(reader, section, config, error)) {
      return nullptr;
    }
  }
  if (config.BoardName.empty()) {
    reader.Fail("Board", "Name", "empty", error);
    return nullptr;
  }

  auto machine = std::make_unique<TSimMachine>(config);
  for (const std::string& section : sections) {
    const TSectionKind* kind = FindSectionKind(section);
    if (kind->Build != nullptr && !kind->Build(reader, section, *machine, error)) return nullptr;
  }
  if (!BuildBoardFirmware(reader.Ini(), path, *machine, error)) return nullptr;
  return machine;
}

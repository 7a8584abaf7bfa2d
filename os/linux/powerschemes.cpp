// Power schemes on Linux. There is no system scheme list to join, so the schemes are the user's
// own: "powerschemes.conf" in the configuration directory holds every scheme (the NT 6 kind,
// named by GUID, and the legacy kind, which also carries an index) and which one is active.
// What a scheme means to this machine is its processor throttle policy: activating a scheme on
// real hardware moves the cpufreq governor to match (adaptive throttling: an on-demand governor;
// no throttling: "performance"). On a simulated machine the host is never touched.
//
// powerschemes.conf:
//   [PowerSchemes]
//   Active=<GUID>                      the active scheme
//   Global=<hex bytes>                 the global power policy last activated with
//   [Scheme <GUID>]                    one section per scheme, in enumeration order
//   Name=, Description=                UTF-8 texts
//   Index=<n>                          legacy schemes only
//   Power=<hex bytes>                  the power policy
//   ProcessorPolicy=<hex bytes>        the 156-byte processor policy record, when it holds
//                                      more than the two throttle fields
//   ThrottleAc=, ThrottleDc=           None | Constant | Degrade | Adaptive; these win over the
//                                      throttle fields inside ProcessorPolicy
//
// Scheme files (*.pow) use the same syntax, one section "[PowerScheme]" with Name, Description,
// ProcessorThrottleAc and ProcessorThrottleDc; see data/KorZemOn.pow.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <vector>

#include "os/atomicfile.h"
#include "os/linux/powerschemes.h"
#include "os/linux/userdirs.h"

namespace {

constexpr const char* kStoreFile = "powerschemes.conf";
constexpr uint32_t kPowerAccessDenied = 5;  // ERROR_ACCESS_DENIED

// The scheme a new store starts with, under the GUID Windows gives its balanced scheme.
constexpr const char* kDefaultSchemeGuid = "381b4222-f694-41f0-9685-ff5bb260df2e";

const char* const kEntryPoints[] = {
    "PowerEnumerate",          "PowerReadFriendlyName", "PowerDeleteScheme",
    "PowerImportPowerScheme",  "PowerSetActiveScheme",  "GetCurrentPowerPolicies",
    "ReadPwrScheme",           "WritePwrScheme",        "ReadProcessorPwrScheme",
    "WriteProcessorPwrScheme", "SetActivePwrScheme"};

const char* const kThrottleNames[] = {"None", "Constant", "Degrade", "Adaptive"};

// --- texts ---

std::string Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(" \t");
  return std::string(text.substr(first, last - first + 1));
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string wide;
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<uint8_t>(text[i]);
    int extra = -1;
    uint32_t code = 0;
    if (lead < 0x80) {
      extra = 0;
      code = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      extra = 1;
      code = lead & 0x1Fu;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2;
      code = lead & 0x0Fu;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3;
      code = lead & 0x07u;
    }
    bool valid = extra >= 0 && i + static_cast<size_t>(extra) < text.size();
    for (int k = 1; valid && k <= extra; ++k) {
      const auto next = static_cast<uint8_t>(text[i + static_cast<size_t>(k)]);
      valid = (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3Fu);
    }
    if (!valid) {
      wide += u'\uFFFD';
      ++i;
      continue;
    }
    i += static_cast<size_t>(extra) + 1;
    if (code >= 0x10000) {
      code -= 0x10000;
      wide += static_cast<char16_t>(0xD800 + (code >> 10));
      wide += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
      wide += static_cast<char16_t>(code);
    }
  }
  return wide;
}

std::string Utf16ToUtf8(std::u16string_view wide) {
  std::string text;
  for (size_t i = 0; i < wide.size(); ++i) {
    uint32_t code = wide[i];
    if (code >= 0xD800 && code < 0xDC00 && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
        wide[i + 1] < 0xE000) {
      code = 0x10000 + ((code - 0xD800) << 10) + (wide[++i] - 0xDC00);
    } else if (code >= 0xD800 && code < 0xE000) {
      code = 0xFFFD;  // a lone surrogate
    }
    if (code < 0x80) {
      text += static_cast<char>(code);
    } else if (code < 0x800) {
      text += static_cast<char>(0xC0 | (code >> 6));
      text += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      text += static_cast<char>(0xE0 | (code >> 12));
      text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      text += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      text += static_cast<char>(0xF0 | (code >> 18));
      text += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      text += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return text;
}

// A text that fits on one line of the store (names come from callers and scheme files).
bool OneLine(std::u16string_view text) {
  return std::none_of(text.begin(), text.end(), [](char16_t c) { return c < 0x20; });
}

std::string Hex(const uint8_t* bytes, size_t size) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (size_t i = 0; i < size; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0xF];
  }
  return text;
}

std::optional<std::vector<uint8_t>> Unhex(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < text.size(); i += 2) {
    const std::string pair(text.substr(i, 2));
    char* stop = nullptr;
    const unsigned long value = std::strtoul(pair.c_str(), &stop, 16);
    if (*stop != '\0' || !std::isxdigit(static_cast<unsigned char>(pair[0]))) return std::nullopt;
    bytes.push_back(static_cast<uint8_t>(value));
  }
  return bytes;
}

// --- GUIDs, in the Windows byte layout: Data1 (32 bits), Data2, Data3 (16 bits each) little
// endian, then the eight bytes of Data4 in order ---

std::string GuidText(const TPowerGuid& guid) {
  const uint8_t* b = guid.Bytes.data();
  const uint8_t ordered[16] = {b[3], b[2], b[1],  b[0],  b[5],  b[4],  b[7],  b[6],
                               b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]};
  std::string hex = Hex(ordered, 16);
  for (char& c : hex) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" +
         hex.substr(16, 4) + "-" + hex.substr(20);
}

std::optional<TPowerGuid> ParseGuid(std::string_view text) {
  if (text.size() == 38 && text.front() == '{' && text.back() == '}') {
    text = text.substr(1, 36);
  }
  if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' ||
      text[23] != '-') {
    return std::nullopt;
  }
  std::string hex;
  for (char c : text) {
    if (c != '-') hex += c;
  }
  std::optional<std::vector<uint8_t>> o = Unhex(hex);
  if (!o || o->size() != 16) return std::nullopt;
  const std::vector<uint8_t>& v = *o;
  TPowerGuid guid;
  const uint8_t bytes[16] = {v[3], v[2], v[1],  v[0],  v[5],  v[4],  v[7],  v[6],
                             v[8], v[9], v[10], v[11], v[12], v[13], v[14], v[15]};
  std::copy(std::begin(bytes), std::end(bytes), guid.Bytes.begin());
  return guid;
}

// A random (version 4) GUID for an imported or new legacy scheme.
TPowerGuid NewGuid() {
  TPowerGuid guid;
  std::random_device random;
  for (size_t i = 0; i < 16; i += 4) {
    const uint32_t word = random();
    std::memcpy(&guid.Bytes[i], &word, 4);
  }
  guid.Bytes[7] = static_cast<uint8_t>((guid.Bytes[7] & 0x0F) | 0x40);  // Data3 high nibble
  guid.Bytes[8] = static_cast<uint8_t>((guid.Bytes[8] & 0x3F) | 0x80);  // variant
  return guid;
}

std::optional<uint8_t> ParseThrottle(const std::string& text) {
  for (uint8_t i = 0; i < 4; ++i) {
    if (EqualsNoCase(text, kThrottleNames[i]) || text == std::to_string(i)) return i;
  }
  return std::nullopt;
}

std::string ThrottleText(uint8_t throttle) {
  return throttle < 4 ? kThrottleNames[throttle] : std::to_string(throttle);
}

// --- the key file syntax shared by the store and the scheme files ---

struct TSection {
  std::string Name;
  std::vector<std::pair<std::string, std::string>> Keys;

  const std::string* Find(std::string_view key) const {
    for (const auto& [name, value] : Keys) {
      if (EqualsNoCase(name, key)) return &value;
    }
    return nullptr;
  }
};

std::vector<TSection> ParseKeyFile(const std::string& bytes) {
  std::vector<TSection> sections;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    std::string_view raw = std::string_view(bytes).substr(start, end - start);
    start = end + 1;
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    const std::string line = Trim(raw);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    const std::string_view text = line;
    if (text.front() == '[' && text.back() == ']') {
      sections.push_back(TSection{Trim(text.substr(1, text.size() - 2)), {}});
      continue;
    }
    const size_t equals = text.find('=');
    if (equals == std::string_view::npos || sections.empty()) continue;
    sections.back().Keys.emplace_back(Trim(text.substr(0, equals)), Trim(text.substr(equals + 1)));
  }
  return sections;
}

// --- the store ---

struct TScheme {
  TPowerGuid Guid;
  std::u16string Name;
  std::u16string Description;
  std::optional<uint32_t> Index;
  std::vector<uint8_t> Power;
  TMachineProcessorPowerPolicy Processor;
};

struct TStore {
  std::vector<TScheme> Schemes;
  std::optional<TPowerGuid> Active;
  std::vector<uint8_t> Global;

  TScheme* Find(const TPowerGuid& guid) {
    for (TScheme& scheme : Schemes) {
      if (scheme.Guid == guid) return &scheme;
    }
    return nullptr;
  }
  TScheme* FindIndex(uint32_t index) {
    for (TScheme& scheme : Schemes) {
      if (scheme.Index == index) return &scheme;
    }
    return nullptr;
  }
};

TMachineProcessorPowerPolicy PolicyWithThrottle(uint8_t ac, uint8_t dc) {
  TMachineProcessorPowerPolicy policy;
  policy.ProcessorPolicyAc.DynamicThrottle = ac;
  policy.ProcessorPolicyDc.DynamicThrottle = dc;
  return policy;
}

TStore DefaultStore() {
  TStore store;
  TScheme balanced;
  balanced.Guid = *ParseGuid(kDefaultSchemeGuid);
  balanced.Name = u"Balanced";
  balanced.Description = u"Adaptive processor clock";
  balanced.Index = 0;
  balanced.Processor = PolicyWithThrottle(kThrottleAdaptive, kThrottleAdaptive);
  store.Schemes.push_back(balanced);
  store.Active = balanced.Guid;
  return store;
}

TStore ParseStore(const std::string& bytes) {
  TStore store;
  for (const TSection& section : ParseKeyFile(bytes)) {
    if (EqualsNoCase(section.Name, "PowerSchemes")) {
      if (const std::string* active = section.Find("Active")) store.Active = ParseGuid(*active);
      if (const std::string* global = section.Find("Global")) {
        store.Global = Unhex(*global).value_or(std::vector<uint8_t>{});
      }
      continue;
    }
    if (!section.Name.starts_with("Scheme ")) continue;
    std::optional<TPowerGuid> guid = ParseGuid(Trim(section.Name.substr(7)));
    if (!guid || store.Find(*guid) != nullptr) continue;
    TScheme scheme;
    scheme.Guid = *guid;
    if (const std::string* name = section.Find("Name")) scheme.Name = Utf8ToUtf16(*name);
    if (const std::string* text = section.Find("Description")) {
      scheme.Description = Utf8ToUtf16(*text);
    }
    if (const std::string* index = section.Find("Index")) {
      char* stop = nullptr;
      const unsigned long value = std::strtoul(index->c_str(), &stop, 10);
      if (!index->empty() && *stop == '\0') scheme.Index = static_cast<uint32_t>(value);
    }
    if (const std::string* power = section.Find("Power")) {
      scheme.Power = Unhex(*power).value_or(std::vector<uint8_t>{});
    }
    if (const std::string* record = section.Find("ProcessorPolicy")) {
      std::optional<std::vector<uint8_t>> bytes = Unhex(*record);
      if (bytes && bytes->size() == sizeof(TMachineProcessorPowerPolicy)) {
        std::memcpy(&scheme.Processor, bytes->data(), bytes->size());
      }
    }
    if (const std::string* ac = section.Find("ThrottleAc")) {
      scheme.Processor.ProcessorPolicyAc.DynamicThrottle =
          ParseThrottle(*ac).value_or(scheme.Processor.ProcessorPolicyAc.DynamicThrottle);
    }
    if (const std::string* dc = section.Find("ThrottleDc")) {
      scheme.Processor.ProcessorPolicyDc.DynamicThrottle =
          ParseThrottle(*dc).value_or(scheme.Processor.ProcessorPolicyDc.DynamicThrottle);
    }
    store.Schemes.push_back(std::move(scheme));
  }
  return store;
}

std::string FormatStore(const TStore& store) {
  std::string text =
      "; KorZem power schemes of this user, written by the program. The active scheme sets the\n"
      "; processor governor when the program runs on this machine's own hardware.\n"
      "[PowerSchemes]\n";
  if (store.Active) text += "Active=" + GuidText(*store.Active) + "\n";
  if (!store.Global.empty())
    text += "Global=" + Hex(store.Global.data(), store.Global.size()) + "\n";
  for (const TScheme& scheme : store.Schemes) {
    text += "\n[Scheme " + GuidText(scheme.Guid) + "]\n";
    text += "Name=" + Utf16ToUtf8(scheme.Name) + "\n";
    text += "Description=" + Utf16ToUtf8(scheme.Description) + "\n";
    if (scheme.Index) text += "Index=" + std::to_string(*scheme.Index) + "\n";
    if (!scheme.Power.empty())
      text += "Power=" + Hex(scheme.Power.data(), scheme.Power.size()) + "\n";
    // The record is only spelt out when it holds more than its two throttle fields.
    const TMachineProcessorPowerPolicy plain =
        PolicyWithThrottle(scheme.Processor.ProcessorPolicyAc.DynamicThrottle,
                           scheme.Processor.ProcessorPolicyDc.DynamicThrottle);
    if (std::memcmp(&plain, &scheme.Processor, sizeof plain) != 0) {
      text += "ProcessorPolicy=" +
              Hex(reinterpret_cast<const uint8_t*>(&scheme.Processor), sizeof scheme.Processor) +
              "\n";
    }
    text += "ThrottleAc=" + ThrottleText(scheme.Processor.ProcessorPolicyAc.DynamicThrottle) + "\n";
    text += "ThrottleDc=" + ThrottleText(scheme.Processor.ProcessorPolicyDc.DynamicThrottle) + "\n";
  }
  return text;
}

// A scheme file: null when it is not one.
std::optional<TScheme> ParseSchemeFile(const std::string& bytes) {
  for (const TSection& section : ParseKeyFile(bytes)) {
    if (!EqualsNoCase(section.Name, "PowerScheme")) continue;
    const std::string* name = section.Find("Name");
    if (name == nullptr || name->empty()) return std::nullopt;
    TScheme scheme;
    scheme.Name = Utf8ToUtf16(*name);
    if (const std::string* text = section.Find("Description")) {
      scheme.Description = Utf8ToUtf16(*text);
    }
    std::optional<uint8_t> ac = kThrottleNone, dc = kThrottleNone;
    if (const std::string* text = section.Find("ProcessorThrottleAc")) ac = ParseThrottle(*text);
    if (const std::string* text = section.Find("ProcessorThrottleDc")) dc = ParseThrottle(*text);
    if (!ac || !dc) return std::nullopt;
    scheme.Processor = PolicyWithThrottle(*ac, *dc);
    return scheme;
  }
  return std::nullopt;
}

std::string DefaultConfigDir() {
  return XdgConfigHome() + "/korzem";
}

// --- the processor governor ---

std::string ReadLine(const std::string& path) {
  std::ifstream file(path);
  std::string line;
  std::getline(file, line);
  return Trim(line);
}

bool WriteText(const std::string& path, const std::string& text) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) return false;
  const ssize_t written = ::write(fd, text.data(), text.size());
  const bool closed = ::close(fd) == 0;
  return written == static_cast<ssize_t>(text.size()) && closed;
}

std::vector<std::string> ListDirectory(const std::string& dir, std::string_view prefix) {
  std::vector<std::string> names;
  DIR* handle = ::opendir(dir.c_str());
  if (handle == nullptr) return names;
  while (const dirent* entry = ::readdir(handle)) {
    const std::string name = entry->d_name;
    if (name.size() > prefix.size() && name.starts_with(prefix) &&
        std::isdigit(static_cast<unsigned char>(name[prefix.size()]))) {
      names.push_back(name);
    }
  }
  ::closedir(handle);
  std::sort(names.begin(), names.end());
  return names;
}

// The cpufreq policy directories: one per policy on current kernels, one per processor on old.
std::vector<std::string> CpufreqPolicies(const std::string& cpuSysfs) {
  std::vector<std::string> dirs;
  for (const std::string& name : ListDirectory(cpuSysfs + "/cpufreq", "policy")) {
    dirs.push_back(cpuSysfs + "/cpufreq/" + name);
  }
  if (!dirs.empty()) return dirs;
  for (const std::string& name : ListDirectory(cpuSysfs, "cpu")) {
    struct stat info {};
    const std::string dir = cpuSysfs + "/" + name + "/cpufreq";
    if (::stat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) dirs.push_back(dir);
  }
  return dirs;
}

// The governor one policy should run for a throttle; empty when it offers none that fits.
std::string ChooseGovernor(const std::string& policyDir, uint8_t throttle) {
  std::vector<std::string> offered;
  std::string available = ReadLine(policyDir + "/scaling_available_governors") + " ";
  for (size_t start = 0, end; (end = available.find(' ', start)) != std::string::npos;
       start = end + 1) {
    if (end > start) offered.push_back(available.substr(start, end - start));
  }
  auto offers = [&](const char* name) {
    return std::find(offered.begin(), offered.end(), name) != offered.end();
  };
  if (throttle == kThrottleNone) return offers("performance") ? "performance" : "";
  for (const char* adaptive : {"schedutil", "ondemand", "conservative"}) {
    if (offers(adaptive)) return adaptive;
  }
  // The pstate drivers in active mode offer only "performance" and "powersave", and their
  // "powersave" scales the clock with the load.
  const std::string driver = ReadLine(policyDir + "/scaling_driver");
  if (offers("powersave") && (driver == "intel_pstate" || driver == "amd-pstate-epp")) {
    return "powersave";
  }
  return "";
}

// Sets every writable policy's governor; false when a writable one refused the write.
bool ApplyGovernor(const std::string& cpuSysfs, uint8_t throttle) {
  bool ok = true;
  for (const std::string& dir : CpufreqPolicies(cpuSysfs)) {
    const std::string file = dir + "/scaling_governor";
    // The effective user decides, as it does for the write itself.
    if (::faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) != 0) continue;
    const std::string governor = ChooseGovernor(dir, throttle);
    if (governor.empty() || ReadLine(file) == governor) continue;
    ok = WriteText(file, governor + "\n") && ok;
  }
  return ok;
}

// --- the library ---

class TLinuxPowerLibrary : public IOsPowerLibrary {
 public:
  TLinuxPowerLibrary(std::string configDir, std::string cpuSysfs, bool realHardware)
      : ConfigDir_(std::move(configDir)),
        CpuSysfs_(std::move(cpuSysfs)),
        RealHardware_(realHardware) {}

  bool HasEntryPoint(const std::string& name) override {
    return std::any_of(std::begin(kEntryPoints), std::end(kEntryPoints),
                       [&](const char* entry) { return name == entry; });
  }

  uint32_t PowerEnumerate(uint32_t accessFlags, uint32_t index, TPowerGuid& scheme) override {
    if (accessFlags != kAccessScheme) return kPowerInvalidParameter;
    TStore store;
    if (!Load(store)) return kPowerInvalidData;
    if (index >= store.Schemes.size()) return kPowerNoMoreItems;
    scheme = store.Schemes[index].Guid;
    return kPowerSuccess;
  }

  uint32_t PowerReadFriendlyName(const TPowerGuid& guid, std::u16string& name,
                                 uint32_t bufferBytes) override {
    TStore store;
    if (!Load(store)) return kPowerInvalidData;
    const TScheme* scheme = store.Find(guid);
    if (scheme == nullptr) return kPowerFileNotFound;
    if ((scheme->Name.size() + 1) * sizeof(char16_t) > bufferBytes) {
      name.clear();
      return kPowerMoreData;
    }
    name = scheme->Name;
    return kPowerSuccess;
  }

  uint32_t PowerDeleteScheme(const TPowerGuid& guid) override {
    TStore store;
    if (!Load(store)) return kPowerInvalidData;
    if (store.Find(guid) == nullptr) return kPowerFileNotFound;
    if (store.Active == guid) return kPowerAccessDenied;
    std::erase_if(store.Schemes, [&](const TScheme& scheme) { return scheme.Guid == guid; });
    return Save(store) ? kPowerSuccess : kPowerWriteFault;
  }

  uint32_t PowerImportPowerScheme(const std::string& path, TPowerGuid** imported) override {
    *imported = nullptr;
    std::string bytes;
    const TWholeFileRead read = OsReadWholeFile(path, bytes);
    if (read == TWholeFileRead::Missing) return kPowerFileNotFound;
    if (read == TWholeFileRead::Failed) return kPowerAccessDenied;
    std::optional<TScheme> scheme = ParseSchemeFile(bytes);
    if (!scheme || !OneLine(scheme->Name) || !OneLine(scheme->Description)) {
      return kPowerInvalidData;
    }
    TStore store;
    if (!Load(store)) return kPowerInvalidData;
    do {
      scheme->Guid = NewGuid();
    } while (store.Find(scheme->Guid) != nullptr);
    store.Schemes.push_back(*scheme);
    if (!Save(store)) return kPowerWriteFault;
    *imported = new TPowerGuid(scheme->Guid);
    return kPowerSuccess;
  }

  void FreeGuidBuffer(TPowerGuid* buffer) override { delete buffer; }

  uint32_t PowerSetActiveScheme(const TPowerGuid& guid) override {
    TStore store;
    if (!Load(store)) return kPowerInvalidData;
    const TScheme* scheme = store.Find(guid);
    if (scheme == nullptr) return kPowerFileNotFound;
    if (!Steer(*scheme)) return kPowerWriteFault;
    store.Active = guid;
    return Save(store) ? kPowerSuccess : kPowerWriteFault;
  }

  uint8_t GetCurrentPowerPolicies(TGlobalPowerPolicy& global, TPowerPolicy& power) override {
    TStore store;
    if (!Load(store) || !store.Active) return 0;
    const TScheme* active = store.Find(*store.Active);
    if (active == nullptr) return 0;
    global.Bytes = store.Global;
    power.Bytes = active->Power;
    return 1;
  }

  uint8_t ReadPwrScheme(uint32_t index, TPowerPolicy& power) override {
    TStore store;
    if (!Load(store)) return 0;
    const TScheme* scheme = store.FindIndex(index);
    if (scheme == nullptr) return 0;
    power.Bytes = scheme->Power;
    return 1;
  }

  uint8_t WritePwrScheme(uint32_t& index, const std::u16string& name,
                         const std::u16string& description, const TPowerPolicy& power) override {
    if (!OneLine(name) || !OneLine(description)) return 0;
    TStore store;
    if (!Load(store)) return 0;
    TScheme* scheme = store.FindIndex(index);
    if (scheme == nullptr) {
      TScheme fresh;
      do {
        fresh.Guid = NewGuid();
      } while (store.Find(fresh.Guid) != nullptr);
      fresh.Index = index;
      store.Schemes.push_back(fresh);
      scheme = &store.Schemes.back();
    }
    scheme->Name = name;
    scheme->Description = description;
    scheme->Power = power.Bytes;
    return Save(store) ? 1 : 0;
  }

  uint8_t ReadProcessorPwrScheme(uint32_t index, TMachineProcessorPowerPolicy& policy) override {
    TStore store;
    if (!Load(store)) return 0;
    const TScheme* scheme = store.FindIndex(index);
    if (scheme == nullptr) return 0;
    policy = scheme->Processor;
    return 1;
  }

  uint8_t WriteProcessorPwrScheme(uint32_t index,
                                  const TMachineProcessorPowerPolicy& policy) override {
    TStore store;
    if (!Load(store)) return 0;
    TScheme* scheme = store.FindIndex(index);
    if (scheme == nullptr) return 0;
    scheme->Processor = policy;
    return Save(store) ? 1 : 0;
  }

  uint8_t SetActivePwrScheme(uint32_t index, const TGlobalPowerPolicy& global,
                             const TPowerPolicy& power) override {
    TStore store;
    if (!Load(store)) return 0;
    TScheme* scheme = store.FindIndex(index);
    if (scheme == nullptr || !Steer(*scheme)) return 0;
    // The policies given become the active ones, as the legacy API applies them on activation.
    if (!power.Bytes.empty()) scheme->Power = power.Bytes;
    store.Global = global.Bytes;
    store.Active = scheme->Guid;
    return Save(store) ? 1 : 0;
  }

 private:
  std::string StorePath() const { return ConfigDir_ + "/" + kStoreFile; }

  // False when the store exists but cannot be read; a missing store starts with the default.
  bool Load(TStore& store) const {
    std::string bytes;
    switch (OsReadWholeFile(StorePath(), bytes)) {
      case TWholeFileRead::Ok:
        store = ParseStore(bytes);
        return true;
      case TWholeFileRead::Missing:
        store = DefaultStore();
        return true;
      case TWholeFileRead::Failed:
        return false;
    }
    return false;
  }

  bool Save(const TStore& store) const {
    return MakeDirectories(ConfigDir_, 0700) && OsReplaceWholeFile(StorePath(), FormatStore(store));
  }

  // Puts the machine's processors under the scheme's policy (mains power: the AC throttle).
  bool Steer(const TScheme& scheme) const {
    return !RealHardware_ ||
           ApplyGovernor(CpuSysfs_, scheme.Processor.ProcessorPolicyAc.DynamicThrottle);
  }

  std::string ConfigDir_;
  std::string CpuSysfs_;
  bool RealHardware_;
};

class TLinuxPowerManagement : public IOsPowerManagement {
 public:
  TLinuxPowerManagement(const TLinuxPowerPaths& paths, bool realHardware)
      : ConfigDir_(paths.ConfigDir.empty() ? DefaultConfigDir() : paths.ConfigDir),
        CpuSysfs_(paths.CpuSysfs.empty() ? "/sys/devices/system/cpu" : paths.CpuSysfs),
        RealHardware_(realHardware) {}

  std::unique_ptr<IOsPowerLibrary> LoadPowerLibrary(const std::string& name) override {
    if (!EqualsNoCase(name, kPowerLibraryName)) return nullptr;
    return std::make_unique<TLinuxPowerLibrary>(ConfigDir_, CpuSysfs_, RealHardware_);
  }

 private:
  std::string ConfigDir_;
  std::string CpuSysfs_;
  bool RealHardware_;
};

}  // namespace

std::unique_ptr<IOsPowerManagement> OsCreateLinuxPowerManagement(const TLinuxPowerPaths& paths,
                                                                 bool realHardware) {
  return std::make_unique<TLinuxPowerManagement>(paths, realHardware);
}

std::unique_ptr<IOsPowerManagement> OsCreatePowerManagement(bool realHardware) {
  return OsCreateLinuxPowerManagement({}, realHardware);
}

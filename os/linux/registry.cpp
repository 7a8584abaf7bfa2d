// The current user's registry on Linux: two text files in the layout of a .reg export, one for
// lasting keys in the user's configuration directory and one for volatile keys in the runtime
// directory, which the system empties at every boot. Every operation reads the files afresh and
// a change replaces the file whole, so separate processes (the program and zemctl) see each
// other's writes and a crash never leaves half a file.
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <optional>
#include <vector>

#include "os/atomicfile.h"
#include "os/linux/registry.h"
#include "os/linux/userdirs.h"

namespace {

constexpr const char* kLastingFile = "registry.reg";
constexpr const char* kVolatileFile = "KorZemVolatile.reg";
constexpr std::string_view kHeader =
    "; KorZem registry of the current user (HKEY_CURRENT_USER), written by the program.\n";

char Fold(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

struct TNoCase {
  bool operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return Fold(x) < Fold(y); });
  }
};

struct TValue {
  bool IsString = false;
  int32_t Integer = 0;
  std::string Text;
};

struct TKey {
  std::string Path;  // as first created (the map key may differ in case)
  std::map<std::string, TValue, TNoCase> Values;
  std::vector<std::string> Order;  // value names in the order they were first written
};

using TKeys = std::map<std::string, TKey, TNoCase>;

// The path's prefixes, shortest first ("A", "A\B", "A\B\C"); empty for an empty path or part.
std::vector<std::string> Prefixes(const std::string& path) {
  std::vector<std::string> prefixes;
  size_t start = 0;
  while (start < path.size()) {
    const size_t end = path.find('\\', start);
    if (end == start) return {};
    if (end == std::string::npos) {
      prefixes.push_back(path);
      return prefixes;
    }
    prefixes.push_back(path.substr(0, end));
    start = end + 1;
  }
  return {};
}

// --- the text format ---
//   [Key\Path]
//   "Name"="text with \" and \\ escaped"
//   "Name"=dword:0000002a

std::string Quote(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    switch (c) {
      case '"':
        quoted += "\\\"";
        break;
      case '\\':
        quoted += "\\\\";
        break;
      case '\n':
        quoted += "\\n";
        break;
      case '\r':
        quoted += "\\r";
        break;
      default:
        quoted += c;
    }
  }
  return quoted + "\"";
}

// Reads a quoted text starting at line[pos] (the opening quote); pos ends after the closing one.
std::optional<std::string> Unquote(std::string_view line, size_t& pos) {
  if (pos >= line.size() || line[pos] != '"') return std::nullopt;
  std::string text;
  for (++pos; pos < line.size(); ++pos) {
    char c = line[pos];
    if (c == '"') {
      ++pos;
      return text;
    }
    if (c == '\\' && pos + 1 < line.size()) {
      c = line[++pos];
      if (c == 'n') c = '\n';
      if (c == 'r') c = '\r';
    }
    text += c;
  }
  return std::nullopt;
}

void SetValue(TKey& key, const std::string& name, TValue value) {
  if (!key.Values.contains(name)) key.Order.push_back(name);
  key.Values[name] = std::move(value);
}

TKey& AddKey(TKeys& keys, const std::string& path) {
  TKey& key = keys[path];
  if (key.Path.empty()) key.Path = path;
  return key;
}

TKeys Parse(const std::string& bytes) {
  TKeys keys;
  TKey* current = nullptr;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    std::string_view line(bytes.data() + start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line[0] == ';') continue;
    if (line.front() == '[' && line.back() == ']') {
      const std::string path(line.substr(1, line.size() - 2));
      current = Prefixes(path).empty() ? nullptr : &AddKey(keys, path);
      continue;
    }
    size_t pos = 0;
    std::optional<std::string> name = Unquote(line, pos);
    if (current == nullptr || !name || pos >= line.size() || line[pos] != '=') continue;
    ++pos;
    TValue value;
    if (line.substr(pos).starts_with("dword:")) {
      const std::string digits(line.substr(pos + 6));
      char* stop = nullptr;
      const unsigned long raw = std::strtoul(digits.c_str(), &stop, 16);
      if (digits.empty() || digits.size() > 8 || *stop != '\0') continue;
      value.Integer = static_cast<int32_t>(static_cast<uint32_t>(raw));
    } else {
      std::optional<std::string> text = Unquote(line, pos);
      if (!text || pos != line.size()) continue;
      value.IsString = true;
      value.Text = std::move(*text);
    }
    SetValue(*current, *name, std::move(value));
  }
  return keys;
}

std::string Format(const TKeys& keys) {
  std::string text(kHeader);
  for (const auto& [path, key] : keys) {
    text += "\n[" + key.Path + "]\n";
    for (const std::string& name : key.Order) {
      const TValue& value = key.Values.at(name);
      text += Quote(name) + "=";
      if (value.IsString) {
        text += Quote(value.Text);
      } else {
        static const char kDigits[] = "0123456789abcdef";
        const auto raw = static_cast<uint32_t>(value.Integer);
        text += "dword:";
        for (int shift = 28; shift >= 0; shift -= 4) text += kDigits[(raw >> shift) & 0xF];
      }
      text += "\n";
    }
  }
  return text;
}

class TFileRegistry;

class TFileRegistryKey : public IOsRegistryKey {
 public:
  TFileRegistryKey(TFileRegistry& registry, std::string path)
      : Registry_(registry), Path_(std::move(path)) {}

  bool ValueExists(const std::string& name) override;
  bool ReadInteger(const std::string& name, int32_t& value) override;
  bool ReadString(const std::string& name, std::string& value) override;
  bool WriteInteger(const std::string& name, int32_t value) override;
  bool WriteString(const std::string& name, std::string_view value) override;
  bool DeleteValue(const std::string& name) override;

 private:
  TFileRegistry& Registry_;
  std::string Path_;
};

class TFileRegistry : public IOsRegistry {
 public:
  TFileRegistry(const std::string& configDir, const std::string& runtimeDir)
      : ConfigDir_(configDir.empty() ? XdgConfigHome() + "/korzem" : configDir),
        RuntimeDir_(runtimeDir.empty() ? UserRuntimeDirectory() : runtimeDir) {}

  std::unique_ptr<IOsRegistryKey> OpenKey(const std::string& path) override {
    if (!KeyExists(path)) return nullptr;
    return std::make_unique<TFileRegistryKey>(*this, path);
  }

  std::unique_ptr<IOsRegistryKey> CreateKey(const std::string& path,
                                            TRegKeyOption option) override {
    const std::vector<std::string> prefixes = Prefixes(path);
    if (prefixes.empty()) return nullptr;
    TStore lasting, volatileKeys;
    if (!Load(false, lasting) || !Load(true, volatileKeys)) return nullptr;
    if (lasting.Keys.contains(path) || volatileKeys.Keys.contains(path)) {
      return std::make_unique<TFileRegistryKey>(*this, path);
    }
    // Missing parts are created with the option asked for; a lasting key cannot hang below a
    // volatile one (it would outlive its parent).
    const bool makeVolatile = option == TRegKeyOption::Volatile;
    for (const std::string& prefix : prefixes) {
      if (volatileKeys.Keys.contains(prefix) && !lasting.Keys.contains(prefix) && !makeVolatile) {
        return nullptr;
      }
    }
    // The top-level keys of the hive ("Software", ...) always last, as on Windows, where they
    // exist from the start; otherwise a volatile key created first would take "Software" with it
    // at the next boot and refuse every lasting key below it until then.
    bool lastingChanged = false, volatileChanged = false;
    for (const std::string& prefix : prefixes) {
      if (lasting.Keys.contains(prefix) || volatileKeys.Keys.contains(prefix)) continue;
      const bool asVolatile = makeVolatile && prefix != prefixes.front();
      AddKey(asVolatile ? volatileKeys.Keys : lasting.Keys, prefix);
      (asVolatile ? volatileChanged : lastingChanged) = true;
    }
    if ((lastingChanged && !Save(false, lasting)) ||
        (volatileChanged && !Save(true, volatileKeys))) {
      return nullptr;
    }
    return std::make_unique<TFileRegistryKey>(*this, path);
  }

  bool KeyExists(const std::string& path) override {
    if (Prefixes(path).empty()) return false;
    TStore store;
    if (Load(false, store) && store.Keys.contains(path)) return true;
    return Load(true, store) && store.Keys.contains(path);
  }

  // The value, when the key and the value exist.
  std::optional<TValue> Read(const std::string& path, const std::string& name) {
    TStore store;
    if (!Locate(path, store)) return std::nullopt;
    const TKey& key = store.Keys.at(path);
    auto value = key.Values.find(name);
    if (value == key.Values.end()) return std::nullopt;
    return value->second;
  }

  bool Write(const std::string& path, const std::string& name, TValue value) {
    TStore store;
    if (!Locate(path, store)) return false;
    SetValue(store.Keys.at(path), name, std::move(value));
    return Save(store.Volatile, store);
  }

  bool Delete(const std::string& path, const std::string& name) {
    TStore store;
    if (!Locate(path, store)) return false;
    TKey& key = store.Keys.at(path);
    if (key.Values.erase(name) == 0) return false;
    std::erase_if(key.Order, [&](const std::string& n) { return !key.Values.contains(n); });
    return Save(store.Volatile, store);
  }

 private:
  struct TStore {
    bool Volatile = false;
    TKeys Keys;
  };

  std::string FilePath(bool isVolatile) const {
    return isVolatile ? RuntimeDir_ + "/" + kVolatileFile : ConfigDir_ + "/" + kLastingFile;
  }

  // False when the file exists but cannot be read: it must not be replaced then.
  bool Load(bool isVolatile, TStore& store) const {
    store.Volatile = isVolatile;
    std::string bytes;
    const TWholeFileRead read = OsReadWholeFile(FilePath(isVolatile), bytes);
    if (read == TWholeFileRead::Failed) return false;
    store.Keys = read == TWholeFileRead::Ok ? Parse(bytes) : TKeys{};
    return true;
  }

  bool Save(bool isVolatile, const TStore& store) const {
    if (!MakePrivateDirectory(isVolatile ? RuntimeDir_ : ConfigDir_)) return false;
    return OsReplaceWholeFile(FilePath(isVolatile), Format(store.Keys));
  }

  // Loads the store that holds the key (the lasting one first); false when neither does.
  bool Locate(const std::string& path, TStore& store) const {
    if (Load(false, store) && store.Keys.contains(path)) return true;
    return Load(true, store) && store.Keys.contains(path);
  }

  std::string ConfigDir_;
  std::string RuntimeDir_;
};

bool TFileRegistryKey::ValueExists(const std::string& name) {
  return Registry_.Read(Path_, name).has_value();
}

bool TFileRegistryKey::ReadInteger(const std::string& name, int32_t& value) {
  std::optional<TValue> found = Registry_.Read(Path_, name);
  if (!found || found->IsString) return false;
  value = found->Integer;
  return true;
}

bool TFileRegistryKey::ReadString(const std::string& name, std::string& value) {
  std::optional<TValue> found = Registry_.Read(Path_, name);
  if (!found || !found->IsString) return false;
  value = found->Text;
  return true;
}

bool TFileRegistryKey::WriteInteger(const std::string& name, int32_t value) {
  return Registry_.Write(Path_, name, TValue{false, value, {}});
}

bool TFileRegistryKey::WriteString(const std::string& name, std::string_view value) {
  return Registry_.Write(Path_, name, TValue{true, 0, std::string(value)});
}

bool TFileRegistryKey::DeleteValue(const std::string& name) {
  return Registry_.Delete(Path_, name);
}

}  // namespace

std::unique_ptr<IOsRegistry> OsCreateFileRegistry(const std::string& configDir,
                                                  const std::string& runtimeDir) {
  return std::make_unique<TFileRegistry>(configDir, runtimeDir);
}

std::unique_ptr<IOsRegistry> OsCreateRegistry() {
  return OsCreateFileRegistry({}, {});
}

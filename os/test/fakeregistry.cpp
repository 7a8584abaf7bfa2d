#include "os/test/fakeregistry.h"

#include <algorithm>
#include <cctype>

namespace {

char Fold(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

// The path's prefixes, shortest first: "A\B\C" gives "A", "A\B", "A\B\C". Empty when the path is
// empty or has an empty part.
std::vector<std::string> Prefixes(const std::string& path) {
  std::vector<std::string> prefixes;
  size_t start = 0;
  while (true) {
    const size_t end = path.find('\\', start);
    if (end == start || start >= path.size()) return {};
    if (end == std::string::npos) {
      prefixes.push_back(path);
      return prefixes;
    }
    prefixes.push_back(path.substr(0, end));
    start = end + 1;
  }
}

}  // namespace

bool TNoCaseLess::operator()(const std::string& a, const std::string& b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return Fold(x) < Fold(y); });
}

class TFakeRegistryKey : public IOsRegistryKey {
 public:
  TFakeRegistryKey(TFakeRegistry& registry, std::string path)
      : Registry_(registry), Path_(std::move(path)) {
    ++Registry_.OpenKeys;
  }
  ~TFakeRegistryKey() override {
    --Registry_.OpenKeys;
    Registry_.Calls.push_back("close " + Path_);
  }

  bool ValueExists(const std::string& name) override {
    Registry_.Calls.push_back("exists " + name);
    return Registry_.Find(Path_, name) != nullptr;
  }

  bool ReadInteger(const std::string& name, int32_t& value) override {
    Registry_.Calls.push_back("read integer " + name);
    const TFakeRegistry::TValue* found = Registry_.Find(Path_, name);
    if (found == nullptr || found->IsString) return false;
    value = found->Integer;
    return true;
  }

  bool ReadString(const std::string& name, std::string& value) override {
    Registry_.Calls.push_back("read string " + name);
    const TFakeRegistry::TValue* found = Registry_.Find(Path_, name);
    if (found == nullptr || !found->IsString) return false;
    value = found->Text;
    return true;
  }

  bool WriteInteger(const std::string& name, int32_t value) override {
    Registry_.Calls.push_back("write integer " + name);
    TFakeRegistry::TKey* key = Key();
    if (key == nullptr) return false;
    key->Values[name] = TFakeRegistry::TValue{false, value, {}};
    return true;
  }

  bool WriteString(const std::string& name, std::string_view value) override {
    Registry_.Calls.push_back("write string " + name);
    TFakeRegistry::TKey* key = Key();
    if (key == nullptr) return false;
    key->Values[name] = TFakeRegistry::TValue{true, 0, std::string(value)};
    return true;
  }

  bool DeleteValue(const std::string& name) override {
    Registry_.Calls.push_back("delete " + name);
    TFakeRegistry::TKey* key = Key();
    return key != nullptr && key->Values.erase(name) == 1;
  }

 private:
  // The key may have gone since it was opened (a restart while open): writes then fail.
  TFakeRegistry::TKey* Key() {
    auto it = Registry_.Keys.find(Path_);
    return it == Registry_.Keys.end() ? nullptr : &it->second;
  }

  TFakeRegistry& Registry_;
  std::string Path_;
};

void TFakeRegistry::Restart() {
  std::erase_if(Keys, [](const auto& entry) { return entry.second.Volatile; });
}

const TFakeRegistry::TValue* TFakeRegistry::Find(const std::string& path,
                                                 const std::string& name) const {
  auto key = Keys.find(path);
  if (key == Keys.end()) return nullptr;
  auto value = key->second.Values.find(name);
  return value == key->second.Values.end() ? nullptr : &value->second;
}

std::unique_ptr<IOsRegistryKey> TFakeRegistry::Hand(const std::string& path) {
  return std::make_unique<TFakeRegistryKey>(*this, path);
}

std::unique_ptr<IOsRegistryKey> TFakeRegistry::OpenKey(const std::string& path) {
  Calls.push_back("open " + path);
  if (!Available || !Keys.contains(path)) return nullptr;
  return Hand(path);
}

std::unique_ptr<IOsRegistryKey> TFakeRegistry::CreateKey(const std::string& path,
                                                         TRegKeyOption option) {
  const bool makeVolatile = option == TRegKeyOption::Volatile;
  Calls.push_back("create " + path + (makeVolatile ? " volatile" : ""));
  const std::vector<std::string> prefixes = Prefixes(path);
  if (!Available || prefixes.empty()) return nullptr;
  // A lasting key cannot be made below a volatile one; check before creating anything.
  bool parentVolatile = false;
  for (const std::string& prefix : prefixes) {
    auto it = Keys.find(prefix);
    if (it == Keys.end()) {
      if (parentVolatile && !makeVolatile) return nullptr;
      break;
    }
    parentVolatile = it->second.Volatile;
  }
  // Top-level keys always last, as the hive's predefined keys do.
  for (const std::string& prefix : prefixes) {
    if (!Keys.contains(prefix)) Keys[prefix].Volatile = makeVolatile && prefix != prefixes.front();
  }
  return Hand(path);
}

bool TFakeRegistry::KeyExists(const std::string& path) {
  Calls.push_back("key exists " + path);
  return Available && Keys.contains(path);
}

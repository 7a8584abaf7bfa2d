#include "os/test/fakepowerschemes.h"

#include <cstdlib>

const std::vector<std::string> kPowerEntryPoints = {
    "PowerEnumerate",          "PowerReadFriendlyName", "PowerDeleteScheme",
    "PowerImportPowerScheme",  "PowerSetActiveScheme",  "GetCurrentPowerPolicies",
    "ReadPwrScheme",           "WritePwrScheme",        "ReadProcessorPwrScheme",
    "WriteProcessorPwrScheme", "SetActivePwrScheme"};

TPowerGuid FakeGuid(uint8_t b) {
  TPowerGuid guid;
  guid.Bytes.fill(b);
  return guid;
}

class TFakePowerLibrary : public IOsPowerLibrary {
 public:
  explicit TFakePowerLibrary(TFakePowerManagement& system) : System_(system) { ++System_.Loads; }
  ~TFakePowerLibrary() override { ++System_.Frees; }

  bool HasEntryPoint(const std::string& name) override {
    System_.EntryLookups.push_back(name);
    return !System_.MissingEntryPoints.contains(name);
  }

  uint32_t PowerEnumerate(uint32_t accessFlags, uint32_t index, TPowerGuid& scheme) override {
    Require("PowerEnumerate");
    if (auto forced = System_.Enter("PowerEnumerate")) return *forced;
    if (accessFlags != kAccessScheme) return kPowerInvalidParameter;
    if (index >= System_.Schemes.size()) return kPowerNoMoreItems;
    scheme = System_.Schemes[index].Guid;
    return kPowerSuccess;
  }

  uint32_t PowerReadFriendlyName(const TPowerGuid& scheme, std::u16string& name,
                                 uint32_t bufferBytes) override {
    Require("PowerReadFriendlyName");
    if (auto forced = System_.Enter("PowerReadFriendlyName")) return *forced;
    const TFakePowerManagement::TScheme* found = System_.Find(scheme);
    if (found == nullptr) return kPowerFileNotFound;
    if ((found->Name.size() + 1) * 2 > bufferBytes) {
      name.clear();
      return kPowerMoreData;
    }
    name = found->Name;
    return kPowerSuccess;
  }

  uint32_t PowerDeleteScheme(const TPowerGuid& scheme) override {
    Require("PowerDeleteScheme");
    if (auto forced = System_.Enter("PowerDeleteScheme")) return *forced;
    auto& schemes = System_.Schemes;
    for (auto it = schemes.begin(); it != schemes.end(); ++it) {
      if (it->Guid == scheme) {
        if (System_.Active == scheme) return kPowerInvalidParameter;  // the active one stays
        schemes.erase(it);
        return kPowerSuccess;
      }
    }
    return kPowerFileNotFound;
  }

  uint32_t PowerImportPowerScheme(const std::string& path, TPowerGuid** imported) override {
    Require("PowerImportPowerScheme");
    *imported = nullptr;
    if (auto forced = System_.Enter("PowerImportPowerScheme")) return *forced;
    auto file = System_.SchemeFiles.find(path);
    if (file == System_.SchemeFiles.end()) return kPowerFileNotFound;
    TFakePowerManagement::TScheme scheme;
    scheme.Guid = FakeGuid(System_.NextGuidByte++);
    scheme.Name = file->second;
    System_.Schemes.push_back(scheme);
    *imported = new TPowerGuid(scheme.Guid);
    ++System_.GuidBuffers;
    return kPowerSuccess;
  }

  void FreeGuidBuffer(TPowerGuid* buffer) override {
    if (buffer == nullptr) return;
    delete buffer;
    --System_.GuidBuffers;
  }

  uint32_t PowerSetActiveScheme(const TPowerGuid& scheme) override {
    Require("PowerSetActiveScheme");
    if (auto forced = System_.Enter("PowerSetActiveScheme")) return *forced;
    TFakePowerManagement::TScheme* found = System_.Find(scheme);
    if (found == nullptr) return kPowerFileNotFound;
    if (found->ActivationFails) return kPowerInvalidData;
    System_.Active = found->Guid;
    System_.ActiveIndex = found->Index;
    return kPowerSuccess;
  }

  uint8_t GetCurrentPowerPolicies(TGlobalPowerPolicy& global, TPowerPolicy& power) override {
    Require("GetCurrentPowerPolicies");
    if (auto forced = System_.Enter("GetCurrentPowerPolicies")) return Byte(*forced);
    global = System_.Global;
    const TFakePowerManagement::TScheme* active =
        System_.Active ? System_.Find(*System_.Active) : nullptr;
    power = active != nullptr ? active->Power : TPowerPolicy{};
    return 1;
  }

  uint8_t ReadPwrScheme(uint32_t index, TPowerPolicy& power) override {
    Require("ReadPwrScheme");
    if (auto forced = System_.Enter("ReadPwrScheme")) return Byte(*forced);
    const TFakePowerManagement::TScheme* found = System_.FindIndex(index);
    if (found == nullptr) return 0;
    power = found->Power;
    return 1;
  }

  uint8_t WritePwrScheme(uint32_t& index, const std::u16string& name,
                         const std::u16string& description, const TPowerPolicy& power) override {
    Require("WritePwrScheme");
    if (auto forced = System_.Enter("WritePwrScheme")) return Byte(*forced);
    TFakePowerManagement::TScheme* found = System_.FindIndex(index);
    if (found == nullptr) {
      TFakePowerManagement::TScheme scheme;
      scheme.Guid = FakeGuid(System_.NextGuidByte++);
      scheme.Index = index;
      System_.Schemes.push_back(scheme);
      found = &System_.Schemes.back();
    }
    found->Name = name;
    found->Description = description;
    found->Power = power;
    return 1;
  }

  uint8_t ReadProcessorPwrScheme(uint32_t index, TMachineProcessorPowerPolicy& policy) override {
    Require("ReadProcessorPwrScheme");
    if (auto forced = System_.Enter("ReadProcessorPwrScheme")) return Byte(*forced);
    const TFakePowerManagement::TScheme* found = System_.FindIndex(index);
    if (found == nullptr) return 0;
    policy = found->Processor;
    return 1;
  }

  uint8_t WriteProcessorPwrScheme(uint32_t index,
                                  const TMachineProcessorPowerPolicy& policy) override {
    Require("WriteProcessorPwrScheme");
    if (auto forced = System_.Enter("WriteProcessorPwrScheme")) return Byte(*forced);
    TFakePowerManagement::TScheme* found = System_.FindIndex(index);
    if (found == nullptr) return 0;
    found->Processor = policy;
    return 1;
  }

  uint8_t SetActivePwrScheme(uint32_t index, const TGlobalPowerPolicy& global,
                             const TPowerPolicy&) override {
    Require("SetActivePwrScheme");
    if (auto forced = System_.Enter("SetActivePwrScheme")) return Byte(*forced);
    TFakePowerManagement::TScheme* found = System_.FindIndex(index);
    if (found == nullptr || found->ActivationFails) return 0;
    System_.Global = global;
    System_.Active = found->Guid;
    System_.ActiveIndex = index;
    return 1;
  }

 private:
  static uint8_t Byte(uint32_t value) { return static_cast<uint8_t>(value); }

  // Calling an entry point the library does not export would crash the real program.
  void Require(const std::string& entry) {
    if (System_.MissingEntryPoints.contains(entry)) std::abort();
  }

  TFakePowerManagement& System_;
};

TFakePowerManagement::TFakePowerManagement() {
  TScheme desk;
  desk.Guid = FakeGuid(0x01);
  desk.Name = u"Home/Office Desk";
  desk.Description = u"This scheme is suited to most home or desktop computers.";
  desk.Index = 0;
  desk.Power.Bytes = {0x01, 0x02, 0x03};
  desk.Processor.ProcessorPolicyAc.DynamicThrottle = kThrottleAdaptive;
  desk.Processor.ProcessorPolicyDc.DynamicThrottle = kThrottleAdaptive;
  Schemes.push_back(desk);
  TScheme balanced;
  balanced.Guid = FakeGuid(0x02);
  balanced.Name = u"Balanced";
  Schemes.push_back(balanced);
  Active = desk.Guid;
  ActiveIndex = 0;
}

const TFakePowerManagement::TScheme* TFakePowerManagement::FindByName(
    const std::u16string& name) const {
  for (const TScheme& scheme : Schemes) {
    if (scheme.Name == name) return &scheme;
  }
  return nullptr;
}

const TFakePowerManagement::TScheme* TFakePowerManagement::FindByIndex(uint32_t index) const {
  for (const TScheme& scheme : Schemes) {
    if (scheme.Index == index) return &scheme;
  }
  return nullptr;
}

int TFakePowerManagement::CountByName(const std::u16string& name) const {
  int count = 0;
  for (const TScheme& scheme : Schemes) count += scheme.Name == name ? 1 : 0;
  return count;
}

std::u16string TFakePowerManagement::ActiveName() const {
  for (const TScheme& scheme : Schemes) {
    if (Active == scheme.Guid) return scheme.Name;
  }
  return {};
}

std::unique_ptr<IOsPowerLibrary> TFakePowerManagement::LoadPowerLibrary(const std::string& name) {
  Calls.push_back("LoadLibrary " + name);
  if (!LibraryPresent || name != kPowerLibraryName) return nullptr;
  return std::make_unique<TFakePowerLibrary>(*this);
}

TFakePowerManagement::TScheme* TFakePowerManagement::Find(const TPowerGuid& guid) {
  for (TScheme& scheme : Schemes) {
    if (scheme.Guid == guid) return &scheme;
  }
  return nullptr;
}

TFakePowerManagement::TScheme* TFakePowerManagement::FindIndex(uint32_t index) {
  for (TScheme& scheme : Schemes) {
    if (scheme.Index == index) return &scheme;
  }
  return nullptr;
}

std::optional<uint32_t> TFakePowerManagement::Enter(const std::string& entry) {
  Calls.push_back(entry);
  auto forced = ForcedResults.find(entry);
  if (forced == ForcedResults.end()) return std::nullopt;
  return forced->second;
}

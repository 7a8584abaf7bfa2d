#include "winpower/powerman.h"

#include <iterator>

#include "base/trace.h"

namespace {

// The names the library exports, in the order of TPowerMan's entry list.
const char* const kEntryNames[] = {
    "PowerEnumerate",          "PowerReadFriendlyName", "PowerDeleteScheme",
    "PowerImportPowerScheme",  "PowerSetActiveScheme",  "GetCurrentPowerPolicies",
    "ReadPwrScheme",           "WritePwrScheme",        "ReadProcessorPwrScheme",
    "WriteProcessorPwrScheme", "SetActivePwrScheme"};

// A friendly name is read into a buffer of this many bytes (255 wide characters and the end).
constexpr uint32_t kFriendlyNameBytes = 512;

const TPowerSchemeInfo kSchemeOn{u"Korvan ZEM", "KorZemOn.pow", 19,
                                 u"Korvan processor power management", kThrottleAdaptive};
const TPowerSchemeInfo kSchemeOff{u"Korvan ZEM Off", "KorZemOff.pow", 20,
                                  u"Korvan processor power management", kThrottleNone};

void Step(int n) {
  TraceLine("Install Scheme >>>> P" + std::to_string(n));
}

}  // namespace

const TPowerSchemeInfo& PowerSchemeFor(int mode) {
  return mode == 2 ? kSchemeOff : kSchemeOn;
}

TPowerMan::TPowerMan(IOsPrivileges& privileges, IOsPowerManagement& power)
    : TPrivilege(privileges), Library_(power.LoadPowerLibrary(kPowerLibraryName)) {
  static_assert(std::size(kEntryNames) == kEntryCount);
  if (Library_ == nullptr) return;
  for (int entry = 0; entry < kEntryCount; ++entry) {
    Entries_[entry] = Library_->HasEntryPoint(kEntryNames[entry]);
  }
}

TPowerMan::~TPowerMan() = default;

bool TPowerMan::ActivateScheme() {
  return Has(kPowerSetActiveScheme) && Library_->PowerSetActiveScheme(Scheme_) == kPowerSuccess;
}

bool TPowerMan::ImportAndActivate(const std::u16string& name, const std::string& path) {
  // Without enumeration, names or activation an existing scheme can be neither found nor used,
  // and importing regardless would add a duplicate at every switch.
  if (!Has(kPowerEnumerate) || !Has(kPowerReadFriendlyName) || !Has(kPowerSetActiveScheme)) {
    return false;
  }

  for (uint32_t index = 0;; ++index) {
    if (Library_->PowerEnumerate(kAccessScheme, index, Scheme_) != kPowerSuccess) break;
    std::u16string friendlyName;
    Library_->PowerReadFriendlyName(Scheme_, friendlyName, kFriendlyNameBytes);
    Step(0);
    if (friendlyName != name) continue;
    Step(1);
    if (ActivateScheme()) {
      Step(2);
      return true;
    }
    // A scheme that will not activate is broken: replace it by a fresh import.
    Step(3);
    if (Has(kPowerDeleteScheme)) Library_->PowerDeleteScheme(Scheme_);
    break;
  }

  Step(4);
  TraceLine("Install Scheme File [" + path + "]");
  bool result = false;
  TPowerGuid* imported = nullptr;
  if (Has(kPowerImportPowerScheme) &&
      Library_->PowerImportPowerScheme(path, &imported) == kPowerSuccess && imported != nullptr) {
    Step(5);
    Scheme_ = *imported;
    if (ActivateScheme()) {
      Step(6);
      result = true;
    }
  }
  Step(7);
  if (imported != nullptr) Library_->FreeGuidBuffer(imported);
  return result;
}

bool TPowerMan::CreateLegacyScheme(uint32_t& index, const std::u16string& name,
                                   const std::u16string& description) {
  if (!Has(kGetCurrentPowerPolicies) || !Has(kReadPwrScheme) || !Has(kWritePwrScheme)) {
    return false;
  }
  if (Library_->GetCurrentPowerPolicies(GlobalPolicy_, PowerPolicy_) == 0) return false;
  // Scheme 0 lends its power policy; only an exact TRUE counts as read.
  if (Library_->ReadPwrScheme(0, PowerPolicy_) != 1) return false;
  return Library_->WritePwrScheme(index, name, description, PowerPolicy_) != 0;
}

bool TPowerMan::SetThrottleAndActivate(uint32_t index, uint8_t throttle) {
  if (Has(kReadProcessorPwrScheme) && Has(kGetCurrentPowerPolicies) &&
      Library_->GetCurrentPowerPolicies(GlobalPolicy_, PowerPolicy_) != 0 &&
      Library_->ReadProcessorPwrScheme(index, ProcessorPolicy_) != 0) {
    ProcessorPolicy_.ProcessorPolicyAc.DynamicThrottle = throttle;
    ProcessorPolicy_.ProcessorPolicyDc.DynamicThrottle = throttle;
    if (!Has(kWriteProcessorPwrScheme) ||
        Library_->WriteProcessorPwrScheme(index, ProcessorPolicy_) == 0) {
      return false;
    }
  }
  return Has(kSetActivePwrScheme) &&
         Library_->SetActivePwrScheme(index, GlobalPolicy_, PowerPolicy_) != 0;
}

// TPowerMan: the power-scheme manager. It binds the power-management library at run time and
// offers the three operations an energy-saving switch needs: import and activate a scheme file
// (Windows NT 6), create a legacy scheme, and set a legacy scheme's processor throttle and
// activate it. Any entry point may be missing; the operation that needs it then fails.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "hw/osversion.h"
#include "os/powerschemes.h"

// The two schemes the program installs: mode 1 energy saving on, mode 2 off.
struct TPowerSchemeInfo {
  std::u16string Name;         // the scheme's name on NT 6 and in the legacy list
  const char* FileName;        // the NT 6 scheme file beside the executable
  uint32_t LegacyIndex;        // the legacy scheme's index
  std::u16string Description;  // the legacy scheme's description
  uint8_t Throttle;            // the legacy processor throttle policy (AC and DC)
};

// Mode 2 gives the off scheme, any other mode the on scheme.
const TPowerSchemeInfo& PowerSchemeFor(int mode);

class TPowerMan : public TPrivilege {
 public:
  // Holds the shutdown privilege for its lifetime and loads "PowrProf.DLL". Both services must
  // outlive the object.
  TPowerMan(IOsPrivileges& privileges, IOsPowerManagement& power);
  // Frees the library.
  ~TPowerMan() override;

  bool LibraryLoaded() const { return Library_ != nullptr; }

  // NT 6: finds the scheme by name and activates it; a scheme of that name that cannot be
  // activated is deleted and the file imported in its place, as is the file when no scheme has
  // the name. Writes "Install Scheme >>>> Pn" trace lines as it goes.
  bool ImportAndActivate(const std::u16string& name, const std::string& path);

  // Legacy: writes a scheme at index (overwriting what is there) with the power policy of legacy
  // scheme 0. index receives the index the library used.
  bool CreateLegacyScheme(uint32_t& index, const std::u16string& name,
                          const std::u16string& description);

  // Legacy: sets the dynamic throttle of the scheme's AC and DC processor policy (when the
  // library can read it) and activates the scheme.
  bool SetThrottleAndActivate(uint32_t index, uint8_t throttle);

 private:
  enum TEntry {
    kPowerEnumerate,
    kPowerReadFriendlyName,
    kPowerDeleteScheme,
    kPowerImportPowerScheme,
    kPowerSetActiveScheme,
    kGetCurrentPowerPolicies,
    kReadPwrScheme,
    kWritePwrScheme,
    kReadProcessorPwrScheme,
    kWriteProcessorPwrScheme,
    kSetActivePwrScheme,
    kEntryCount
  };

  bool Has(TEntry entry) const { return Entries_[entry]; }
  // Makes the scheme in Scheme_ active.
  bool ActivateScheme();

  std::unique_ptr<IOsPowerLibrary> Library_;
  bool Entries_[kEntryCount] = {};

  // Working records of the legacy path, kept between its two operations.
  TGlobalPowerPolicy GlobalPolicy_;
  TPowerPolicy PowerPolicy_;
  TMachineProcessorPowerPolicy ProcessorPolicy_;
  // The NT 6 scheme last enumerated or imported.
  TPowerGuid Scheme_;
};

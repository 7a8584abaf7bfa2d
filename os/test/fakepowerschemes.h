// In-memory double of the power-management library: a scheme list (NT 6 schemes by GUID, legacy
// schemes by index, one list for both as on Windows), scheme files on a pretend disk, entry points
// that a test can remove one by one, and results it can force.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "os/powerschemes.h"

// The eleven entry points, in the order the library's users name them.
extern const std::vector<std::string> kPowerEntryPoints;

class TFakePowerManagement : public IOsPowerManagement {
 public:
  struct TScheme {
    TPowerGuid Guid;
    std::u16string Name;
    std::u16string Description;
    std::optional<uint32_t> Index;  // legacy schemes only
    TPowerPolicy Power;
    TMachineProcessorPowerPolicy Processor;
    bool ActivationFails = false;  // a broken scheme that cannot be made active
  };

  // Defaults: the library loads with every entry point; legacy scheme 0 "Home/Office Desk"
  // (an NT 6 scheme "Balanced" too, with no index) exists and is active.
  TFakePowerManagement();

  // --- set by the test ---
  bool LibraryPresent = true;
  std::set<std::string> MissingEntryPoints;
  // Scheme files by path: the scheme name each holds; a path not listed does not exist.
  std::map<std::string, std::u16string> SchemeFiles;
  // Forces the result of an entry point by name (cast to the BOOLEAN byte for the legacy ones);
  // a forced call changes nothing.
  std::map<std::string, uint32_t> ForcedResults;
  // A new scheme (import, or a legacy write to a free index) gets FakeGuid(NextGuidByte++).
  uint8_t NextGuidByte = 0xA0;

  // --- checked by the test (and settable as the starting state) ---
  std::vector<TScheme> Schemes;
  std::optional<TPowerGuid> Active;         // the active scheme's GUID
  std::optional<uint32_t> ActiveIndex;      // the active legacy scheme's index
  TGlobalPowerPolicy Global{{0x47, 0x50}};  // what GetCurrentPowerPolicies reports
  std::vector<std::string> Calls;           // entry point names, in call order
  int Loads = 0;                            // libraries handed out
  int Frees = 0;                            // libraries destroyed
  int GuidBuffers = 0;                      // import buffers not freed yet
  std::vector<std::string> EntryLookups;    // every HasEntryPoint name

  // Helpers for tests.
  const TScheme* FindByName(const std::u16string& name) const;
  const TScheme* FindByIndex(uint32_t index) const;
  int CountByName(const std::u16string& name) const;
  std::u16string ActiveName() const;  // empty when none is active

  std::unique_ptr<IOsPowerLibrary> LoadPowerLibrary(const std::string& name) override;

 private:
  friend class TFakePowerLibrary;
  TScheme* Find(const TPowerGuid& guid);
  TScheme* FindIndex(uint32_t index);
  // Records the call; the forced result when the test forced one.
  std::optional<uint32_t> Enter(const std::string& entry);
};

// A GUID whose bytes are all b (test shorthand).
TPowerGuid FakeGuid(uint8_t b);

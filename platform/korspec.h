// TKorSpec: the board's identity and board-level facts, derived once at start-up from SMBIOS and
// the ACPI tables: the model name that selects the model file, whether the BIOS exposes processor
// performance states to the OS, and the flags of the board vendor's "AAFT" feature table. It owns
// the ACPI reader for the program's lifetime so that others can ask which tables exist.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/acpibase.h"

class TReadWrite;
class TInitFile;

// The Windows power-scheme step of an energy-saving switch and the program's logon task. The power
// layer, which sits above this one, implements them and attaches itself to TKorSpec.
class IBoardPowerServices {
 public:
  virtual ~IBoardPowerServices() = default;
  // mode 1 = energy saving on, 2 = off; false when the scheme could not be applied.
  virtual bool ApplyPowerScheme(int mode) = 0;
  // Creates or replaces the task that starts the program at logon.
  virtual bool RegisterLogonTask(const std::string& taskName) = 0;
  // Deletes the task; a task that does not exist counts as removed.
  virtual bool RemoveLogonTask(const std::string& taskName) = 0;
};

// The entries of the "AAFT" table this program looks at.
struct TFeatureTableFlags {
  bool Type1 = false;         // an entry of type 1
  bool Type4 = false;         // an entry of type 4
  bool Type3 = false;         // an entry of type 3 whose second byte is 3
  uint32_t Type3Address = 0;  // that entry's physical address
};

class TKorSpec {
 public:
  // Reads SMBIOS, then (with "ACPIDecodeSSDTEx" switched off first on Intel processors) the ACPI
  // tables, and derives the flags. The configuration receives what the ACPI reader stores.
  TKorSpec(TReadWrite& rw, TInitFile& config, bool intelProcessor);
  ~TKorSpec();
  TKorSpec(const TKorSpec&) = delete;
  TKorSpec& operator=(const TKorSpec&) = delete;

  // The base board's product name, trimmed, without trailing dots; empty without SMBIOS.
  const std::string& ModelName() const { return ModelName_; }
  bool SmbiosFound() const { return SmbiosFound_; }
  uint32_t SmbiosVersion() const { return SmbiosVersion_; }  // major * 16 + minor

  // True when an SSDT carries processor performance states ("_PSS" or a "CpuPm" table) and an
  // FADT is present that is not the one AMI FADT which does not count on NT 6 systems.
  bool AcpiPStates() const { return AcpiPStates_; }

  bool FeatureTableFound() const { return !FeatureTable_.empty(); }
  const TFeatureTableFlags& FeatureFlags() const { return FeatureFlags_; }
  const std::vector<uint8_t>& FeatureTable() const { return FeatureTable_; }

  const TAcpiBase& Acpi() const { return *Acpi_; }
  bool HasAcpiTable(std::string_view signature) const { return Acpi_->HasTable(signature); }

  // The power layer attaches itself here once it exists; null detaches it. Until then the three
  // operations below report failure.
  void SetPowerServices(IBoardPowerServices* services) { PowerServices_ = services; }
  bool ApplyPowerScheme(int mode);
  bool RegisterLogonTask(const std::string& taskName);
  bool RemoveLogonTask(const std::string& taskName);

 private:
  void DerivePStateFlag(int osKind);
  void ReadFeatureTable();

  TReadWrite& Rw_;
  std::string ModelName_;
  bool SmbiosFound_ = false;
  uint32_t SmbiosVersion_ = 0;
  std::unique_ptr<TAcpiBase> Acpi_;
  bool AcpiPStates_ = false;
  std::vector<uint8_t> FeatureTable_;
  TFeatureTableFlags FeatureFlags_;
  IBoardPowerServices* PowerServices_ = nullptr;
};

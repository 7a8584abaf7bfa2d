// Construction, parameters, interface resolution, switching and status of the energy-saving
// engine. The per-tick estimate is in zemestimate.cpp.
#include "engine/zemctrl.h"

#include <cstdio>
#include <cstdlib>
#include <optional>

#include "base/textfmt.h"
#include "base/trace.h"
#include "chips/gpiobackup.h"
#include "chips/gpiocontrol.h"
#include "chips/hwm.h"
#include "chips/sio.h"
#include "engine/cfg.h"
#include "engine/zemrecord.h"
#include "hw/readwrite.h"
#include "os/files.h"
#include "platform/cpu.h"
#include "platform/fidvid.h"
#include "platform/versioncontrol.h"
#include "winpower/advreg.h"

namespace {

constexpr const char* kControl = "ZemControl";
constexpr const char* kLoadline = "LoadlineControl";
constexpr const char* kPsi = "PsiControl";
constexpr const char* kZem = "ZEM";
constexpr const char* kDisplayPatch = "PatchDisplayPhase";

// The boot's first pin state kept in the current user's volatile registry key.
class TRegistryBackupStore final : public IGpioBackupStore {
 public:
  explicit TRegistryBackupStore(TAdvReg& registry) : Registry_(registry) {}
  bool Exists() override { return Registry_.KeyExists(kZemBackupKey); }
  void Write(const std::string& pin, const std::string& text) override {
    Registry_.WriteVolatileString(kZemBackupKey, pin, text);
  }
  std::string Read(const std::string& pin) override {
    return Registry_.ReadString(kZemBackupKey, pin);
  }

 private:
  TAdvReg& Registry_;
};

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> items;
  if (TrimBlanks(text).empty()) return items;
  size_t start = 0;
  while (true) {
    const size_t comma = text.find(',', start);
    items.push_back(TrimBlanks(std::string_view(text).substr(start, comma - start)));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return items;
}

int CompareNoCase(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const int ca = std::toupper(static_cast<unsigned char>(a[i]));
    const int cb = std::toupper(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace

TZemInterface ZemInterfaceCode(std::string_view name) {
  if (name.empty()) return kZemNone;
  for (const TZemInterfaceEntry& entry : kZemInterfaces) {
    if (ZemInterfaceName(entry.Code) == name) return entry.Code;
  }
  return kZemNone;
}

std::string_view ZemInterfaceName(TZemInterface code) {
  for (const TZemInterfaceEntry& entry : kZemInterfaces) {
    if (entry.Code != code) continue;
    return entry.Gpio == kGpioNone ? kAmdPsiName : GpioInterfaceName(entry.Gpio);
  }
  return {};
}

TGpioKind ZemGpioKind(TZemInterface code) {
  for (const TZemInterfaceEntry& entry : kZemInterfaces) {
    if (entry.Code == code) return entry.Gpio;
  }
  return kGpioNone;
}

bool BisectionFinds(const std::vector<std::string>& sortedNames, std::string_view name) {
  int low = 0;
  int high = static_cast<int>(sortedNames.size()) - 1;
  while (low <= high) {
    const int middle = (low + high) / 2;
    const int order = CompareNoCase(sortedNames[static_cast<size_t>(middle)], name);
    if (order == 0) return true;
    if (order < 0) {
      low = middle + 1;
    } else {
      high = middle - 1;
    }
  }
  return false;
}

TZemCtrl::TZemCtrl(TZemCtrlServices services) : S_(std::move(services)) {
  TakeGpioBackup();

  MultiVariant_ = !S_.Cfg.ReadString(kLoadline, "Present0", "").empty();
  if (MultiVariant_) TraceLine("HasVersionControl = TRUE");
  LoadlineInterface_ = ResolveInterface(kLoadline);
  PsiInterface_ = ResolveInterface(kPsi);

  LoadParameters();

  if (S_.Cfg.CpuChanged()) AutoApply = false;
  if (AutoApply) {
    if (Status_ == kZemOn) {
      SwitchOn();
    } else {
      SwitchOff();
    }
  }
}

TZemCtrl::~TZemCtrl() {
  if (S_.AmdFidVid != nullptr) S_.AmdFidVid->AutoApply = AutoApply;
  S_.Cfg.WriteBool(kZem, "AutoApply", AutoApply);
  S_.Cfg.WriteInteger(kZem, "ZemStatus", Status_);
}

void TZemCtrl::TakeGpioBackup() {
  if (S_.Cfg.ReadString("BackupValue", "GPIO", "").empty()) return;
  // The backed-up pin is the ICH's; RestoreBackup puts it back there.
  std::unique_ptr<TGpioBase> ich = CreateGpio(kGpioIch, S_.Rw, nullptr);
  if (!ich) return;
  TRegistryBackupStore store(S_.Registry);
  BackupFirstPinState(S_.Cfg, *ich, store);
}

TZemRegulatorSet TZemCtrl::LoadRegulatorSet(const char* prefix) const {
  auto read = [&](const char* key, float defaultValue) {
    return S_.Cfg.ReadSingle(kControl, std::string(prefix) + key, defaultValue);
  };
  TZemRegulatorSet set;
  set.VidOff = read("Vid_Off", 0);
  set.VcoreOff = read("Vcore_Off", 0);
  set.VImonOff = read("VImon_Off", 0);
  set.OffsetOff = read("Offset_Off", 0);
  set.DivOff = read("Div_Off", 0);
  set.VidOn = read("Vid_On", 0);
  set.VcoreOn = read("Vcore_On", 0);
  set.VImonOn = read("VImon_On", 0);
  set.OffsetOn = read("Offset_On", 0);
  set.DivOn = read("Div_On", 0);
  set.VidDeltaV = read("Vid_DeltaV", 0);
  set.IOnDeltaV = read("IOn_DeltaV", 0);
  set.OffsetDeltaV = read("Offset_DeltaV", 0);
  set.WP1Wsaving = read("W_P1_Wsaving", 0);
  set.DeltaWP1Wsaving = read("DeltaW_P1_Wsaving", 0);
  set.WP2Wsaving = read("W_P2_Wsaving", 0);
  set.DeltaWP2Wsaving = read("DeltaW_P2_Wsaving", 0);
  set.WP4Wsaving = read("W_P4_Wsaving", 0);
  set.DeltaWP4Wsaving = read("DeltaW_P4_Wsaving", 0);
  set.WOff = read("W_Off", 0);
  set.WOffsetOff = read("W_Offset_Off", 0);
  set.WminOff = read("Wmin_Off", 0);
  set.WmaxOff = read("Wmax_Off", 140.0f);
  set.WOn = read("W_On", 0);
  set.WOffsetOn = read("W_Offset_On", 0);
  set.WminOn = read("Wmin_On", 0);
  set.WmaxOn = read("Wmax_On", 140.0f);
  set.WsavingMin = read("Wsaving_Min", 0);
  return set;
}

void TZemCtrl::LoadParameters() {
  const TCfg& cfg = S_.Cfg;
  ControlType_ = cfg.ReadInteger(kControl, "ControlType", 1);
  PhaseSwitch_ = cfg.ReadInteger(kControl, "PhaseSwitch", 1);
  WzemAverage_ = cfg.ReadBool(kControl, "WzemAverage", false);
  Ring_.fill(0);
  RingIndex_ = 0;
  Patch10661_ = cfg.ReadBool(kControl, "WzemPatch10661", false);
  Patch840EE_ = cfg.ReadBool(kControl, "WzemPatch840EE", false);
  PatchE4600_ = cfg.ReadBool(kControl, "WzemPatchE4600", false);
  PatchVR11_ = cfg.ReadBool(kControl, "WzemPatchVR11", false);
  UseVidFactor_ = cfg.ReadBool(kControl, "ZemOnVidFactor", false);
  if (UseVidFactor_) LoadVidFactors();

  TSio* sio = S_.CurrentSio ? S_.CurrentSio() : nullptr;
  const bool ite = sio != nullptr && sio->Vendor == "ITE";
  const int32_t imon =
      cfg.ReadInteger(ite ? "SioHwmSetting_ITE" : "SioHwmSetting", "SioImonVReg", 36);
  ImonRegister_ = static_cast<uint8_t>(imon);
  ConstantImon_ = cfg.ReadSingle(kControl, "ConstantImon", 1.0f);

  CpuSignature_ = S_.Cpu.GetSignature();
  const bool intelFamily6 = S_.Cpu.IsIntelCpu() && ((CpuSignature_ >> 8) & 0xFF) == 6;
  RegulatorType_ = intelFamily6 ? 2 : 1;
  CpuCode_ = S_.Cpu.GetCpuCode();
  if ((ControlType_ == kControlVidMinusVcore || ControlType_ == kControlVidMinusVcoreToo) &&
      S_.IntelFidVid != nullptr)
    MaxVidVoltage_ = S_.IntelFidVid->GetMaxVoltage();
  if (S_.Cpu.IsAMDCpu()) AmdNbRev_ = S_.Cpu.GetAmdNbRev();

  DetectByCpuUsage_ = cfg.ReadBool(kDisplayPatch, "DetectByCpuUsage", false);
  CpuUsageThreshold_ = cfg.ReadInteger(kDisplayPatch, "CpuUsageThreshold", 80);
  // The list and the board do not change while the program runs: look the board up once.
  ModelExcluded_ =
      BisectionFinds(SplitList(cfg.ReadString(kDisplayPatch, "ExcludeModel", "")), S_.BoardModel);

  RecordOn_ = cfg.ReadBool(kControl, "ZemRecord", false);
  if (RecordOn_) OpenRecord();

  Patch100F23_ = cfg.ReadBool(kControl, "WzemPatch100F23", false);
  Aidle_ = cfg.ReadSingle(kControl, "Aidle", 5.0f);
  VIidle_ = cfg.ReadSingle(kControl, "VIidle", 256.0f);
  VImax_ = 0;
  Vr10_ = LoadRegulatorSet("VR10_");
  Vr11_ = LoadRegulatorSet("VR11_");
  Phase1Izem_ = cfg.ReadSingle(kControl, "Phase1_Izem", 0);
  Phase4Izem_ = cfg.ReadSingle(kControl, "Phase4_Izem", 0);
  for (size_t n = 1; n < C_.size(); ++n)
    C_[n] = cfg.ReadSingle(kControl, "Constant" + std::to_string(n), 0);
  CheckCmos_ = cfg.ReadBool("CheckCMOS5A", "Enable", true);
  AutoApply = cfg.ReadBool(kZem, "AutoApply", false);
  // Only "on" means on: any other stored number is the default state.
  Status_ = cfg.ReadInteger(kZem, "ZemStatus", kZemOff) == kZemOn ? kZemOn : kZemOff;
}

void TZemCtrl::LoadVidFactors() {
  TStrings keys;
  TStrings values;
  S_.Cfg.ReadSectionKeys("ZemOnVidFactor", keys);
  S_.Cfg.ReadSectionValueList("ZemOnVidFactor", values);
  for (size_t i = 0; i < keys.size() && i < values.size(); ++i) {
    // A key that is no number would match every Vid (or a wrong one): it is left out.
    const std::optional<float> vid = ParseModelNumber(keys[i]);
    const std::optional<float> factor = ParseModelNumber(values[i]);
    if (!vid || !factor) {
      TraceLine("ZemOnVidFactor " + keys[i] + "=" + values[i] + " is not a number, skipped");
      continue;
    }
    VidFactorKeys_.push_back(*vid);
    VidFactorValues_.push_back(*factor);
  }
}

void TZemCtrl::OpenRecord() {
  std::string path = S_.RecordDirectory;
  if (!path.empty() && path.back() != OsPathSeparator()) path += OsPathSeparator();
  RecordFile_ = OsCreateFileExclusive(path + kRecordFileName, true);
  if (ControlType_ == kControlCurrentMonitor || ControlType_ == kControlCurrentMonitorToo) {
    Record("SioImonVReg=" + std::to_string(ImonRegister_) +
           ", ConstantImon=" + RecordNumber(ConstantImon_) + ", VImax=" + RecordNumber(VImax_) +
           ", Izem=" + RecordNumber(Izem_) + ", Wzem=" + RecordNumber(Wzem_) + "\r\n");
  }
  Record("CpuId=" + HexDword(CpuSignature_) + ", CpuType=" + HexDword(CpuCode_) + "\r\n");
  if (ControlType_ == kControlVidMinusVcore || ControlType_ == kControlVidMinusVcoreToo)
    Record("MaxVid=" + RecordNumber(MaxVidVoltage_) + "\r\n");
}

void TZemCtrl::Record(std::string_view text) {
  if (RecordFile_) RecordFile_->Write(text);  // a failed write only loses the record
}

// --- interface resolution ---

bool TZemCtrl::VariantFitted(const char* section, int index) {
  const std::string digit = std::to_string(index);
  std::string present = S_.Cfg.ReadString(section, "Present" + digit, "");
  if (present.empty()) return false;
  if (present != "0" && present != "1") {
    const std::string detection = present;
    const std::string states = S_.Cfg.ReadString(detection, "Section", "");
    const std::string interfaceName = S_.Cfg.ReadString(detection, "Interface", "");
    const bool loadline = std::string_view(section) == kLoadline;
    const TGpioKind kind = ZemGpioKind(InterfaceCode(interfaceName, detection));
    // Board straps are read from the ICH, or for the load line from the W83627 as well.
    const bool supported = kind == kGpioIch || (loadline && kind == kGpioW627);
    if (supported) {
      const int k = S_.Gpio.StateIndex(kind, states);
      TStrings keys;
      S_.Cfg.ReadSectionKeys(states, keys);
      present = k >= 0 && static_cast<size_t>(k) < keys.size() ? keys[static_cast<size_t>(k)] : "";
    }
    if (loadline) {
      const std::string chip = S_.Cfg.ReadString(detection, "SIO", "");
      TSio* sio = S_.CurrentSio ? S_.CurrentSio() : nullptr;
      if (!chip.empty() && (sio == nullptr || sio->Name != chip)) present = "0";
    }
  }
  return present == "1";
}

TZemInterface TZemCtrl::InterfaceCode(const std::string& name, const std::string& section) {
  const TZemInterface code = ZemInterfaceCode(name);
  if (code == kZemNone && !name.empty()) {
    TraceLine("Unknown interface [" + name + "] in [" + section + "]: nothing is switched there");
    if (UnknownInterface_.empty()) UnknownInterface_ = name + " in [" + section + "]";
  }
  return code;
}

TZemInterface TZemCtrl::ResolveInterface(const char* section) {
  if (!MultiVariant_) return InterfaceCode(S_.Cfg.ReadString(section, "Interface", ""), section);
  for (int i = 0; i < 3; ++i) {
    if (VariantFitted(section, i))
      return InterfaceCode(S_.Cfg.ReadString(section, "Interface" + std::to_string(i), ""),
                           section);
  }
  return kZemNone;
}

std::string TZemCtrl::SelectCommand(const char* section, const char* word) {
  if (!MultiVariant_) return S_.Cfg.ReadString(section, word, "");
  if (std::string_view(section) == kPsi && CheckCmos_ && S_.Version.CmosFlag() == 0)
    return S_.Cfg.ReadString(section, std::string(word) + "0", "");
  for (int i = 0; i < 3; ++i) {
    if (VariantFitted(section, i))
      return S_.Cfg.ReadString(section, std::string(word) + std::to_string(i), "");
  }
  return "";
}

// --- switching ---

void TZemCtrl::ApplyPins(TGpioKind kind, const std::string& setting) {
  if (setting.empty()) return;
  if (!S_.Gpio.ApplySetting(kind, setting))
    TraceLine("GPIO setting [" + setting + "] not applied on " +
              std::string(GpioInterfaceName(kind)));
}

void TZemCtrl::RestoreBackup(const std::string& pin) {
  const std::string backup = S_.Registry.ReadString(kZemBackupKey, pin);
  if (backup.empty()) return;
  std::unique_ptr<TGpioBase> ich = CreateGpio(kGpioIch, S_.Rw, nullptr);
  if (!ich) return;
  // A pin that was no GPIO at the first start belongs to another function: leave it there.
  for (const std::string& item : SplitPinSetting(backup)) {
    const std::optional<TPinItem> parsed = ParsePinItem(item, ich->Naming());
    if (!parsed || !IsDrivenState(parsed->Code)) {
      TraceLine("Backup [" + backup + "] is no GPIO state: not restored");
      return;
    }
  }
  if (!ich->Apply(backup)) TraceLine("GPIO setting [" + backup + "] not applied on ICHGPIO");
}

void TZemCtrl::SwitchOn() {
  if (!IsGpioCode(LoadlineInterface_)) {
    if (PsiInterface_ == kZemAmdPsi) {
      if (S_.AmdFidVid != nullptr) {
        S_.AmdFidVid->PsiStatus = true;
        uint8_t psiVid = 0;
        S_.AmdFidVid->SetPsi(psiVid, true);
      }
    } else if (IsGpioCode(PsiInterface_)) {
      S_.PowerModes.ApplyPowerScheme(1);
      ApplyPins(ZemGpioKind(PsiInterface_), S_.Cfg.ReadString(kPsi, "Enabled", ""));
    }
  } else {
    const std::string command = SelectCommand(kLoadline, "Enabled");
    S_.PowerModes.ApplyPowerScheme(1);
    ApplyPins(ZemGpioKind(LoadlineInterface_), command);
    if (IsGpioCode(PsiInterface_)) {
      const std::string psi = SelectCommand(kPsi, "Enabled");
      TraceLine("Enabled CmdString = [" + psi + "]");
      ApplyPins(ZemGpioKind(PsiInterface_), psi);
    }
  }
  ReadStatus();
}

void TZemCtrl::SwitchOff() {
  if (!IsGpioCode(LoadlineInterface_)) {
    if (PsiInterface_ == kZemAmdPsi) {
      if (S_.AmdFidVid != nullptr) {
        S_.AmdFidVid->PsiStatus = false;
        uint8_t psiVid = 0;
        S_.AmdFidVid->SetPsi(psiVid, false);
      }
    } else if (IsGpioCode(PsiInterface_)) {
      ApplyPins(ZemGpioKind(PsiInterface_), S_.Cfg.ReadString(kPsi, "Disabled", ""));
    }
  } else {
    const std::string command = SelectCommand(kLoadline, "Disabled");
    if (S_.Cpu.IsAMDCpu()) S_.PowerModes.ApplyPowerScheme(2);
    // The pin goes back to the state it had at the boot's first start, before the command, on the
    // chip it was read from (the load line may be another chip's).
    const std::string pin = S_.Cfg.ReadString("BackupValue", "GPIO", "");
    if (MultiVariant_ && !pin.empty()) RestoreBackup(pin);
    ApplyPins(ZemGpioKind(LoadlineInterface_), command);
    if (IsGpioCode(PsiInterface_)) {
      const std::string psi = SelectCommand(kPsi, "Disabled");
      TraceLine("Disabled CmdString = [" + psi + "]");
      ApplyPins(ZemGpioKind(PsiInterface_), psi);
    }
  }
  ReadStatus();
}

int32_t TZemCtrl::ReadStatus() {
  if (PsiInterface_ == kZemAmdPsi)
    Status_ = S_.AmdFidVid != nullptr && S_.AmdFidVid->IsPsiEnabled() ? kZemOn : kZemOff;
  if (IsGpioCode(LoadlineInterface_)) {
    std::string section = kLoadline;
    if (S_.Version.IsPresent()) {
      section += std::to_string(S_.Version.Index());
      TraceLine(">>> Use Section [" + section + "]");
    }
    Status_ = S_.Gpio.StateIndex(ZemGpioKind(LoadlineInterface_), section) == 1 ? kZemOn : kZemOff;
  } else if (IsGpioCode(PsiInterface_)) {
    Status_ = S_.Gpio.StateIndex(ZemGpioKind(PsiInterface_), kPsi) == 1 ? kZemOn : kZemOff;
  }
  return Status_;
}

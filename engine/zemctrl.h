// TZemCtrl: the energy-saving engine. It loads the board's energy-saving parameters from the model
// file, works out which hardware interfaces switch the voltage regulator's energy-saving features
// (GPIO pins of one of four chip families, or the AMD northbridge's PSI), switches them, reads the
// resulting state back from the hardware, and estimates on every sampling tick the processor's
// power and the power saved from the regulator's current-monitor output.
//
// There is no current sensor on the processor: each board's model file picks one of the power
// models ("ZemControl"/"ControlType") and gives its coefficients, fitted to the board's regulator.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/inifile.h"
#include "engine/zemtypes.h"

class IBoardPowerModes;
class IOsFile;
class TAdvReg;
class TAmdFidVid;
class TCfg;
class TCpu;
class TCpuUsage;
class TGpioControl;
class THwm;
class TIntelFidVid;
class TReadWrite;
class TSio;
class TVersionControl;

// What the engine works with; every reference must outlive the engine.
struct TZemCtrlServices {
  TCfg& Cfg;  // the model file
  TReadWrite& Rw;
  TCpu& Cpu;
  THwm& Hwm;
  TGpioControl& Gpio;
  TVersionControl& Version;
  IBoardPowerModes& PowerModes;  // the power-scheme step of a switch
  TAdvReg& Registry;             // the current user's registry (GPIO backup)
  TCpuUsage& CpuUsage;
  std::function<TSio*()> CurrentSio;    // the detected Super I/O chip, or null
  TIntelFidVid* IntelFidVid = nullptr;  // Intel processors
  TAmdFidVid* AmdFidVid = nullptr;      // AMD processors
  std::string BoardModel;               // the SMBIOS base-board model name
  uint32_t ProcessorCount = 1;
  std::string RecordDirectory;  // where "ZemRecord.Txt" is written (the program's folder)
};

// One voltage-regulator coefficient set ("VR10_" or "VR11_" keys of "ZemControl").
struct TZemRegulatorSet {
  float VidOff = 0, VcoreOff = 0, VImonOff = 0, OffsetOff = 0, DivOff = 0;
  float VidOn = 0, VcoreOn = 0, VImonOn = 0, OffsetOn = 0, DivOn = 0;
  float VidDeltaV = 0, IOnDeltaV = 0, OffsetDeltaV = 0;
  float WP1Wsaving = 0, DeltaWP1Wsaving = 0, WP2Wsaving = 0, DeltaWP2Wsaving = 0;
  float WP4Wsaving = 0, DeltaWP4Wsaving = 0;
  float WOff = 0, WOffsetOff = 0, WminOff = 0, WmaxOff = 140.0f;
  float WOn = 0, WOffsetOn = 0, WminOn = 0, WmaxOn = 140.0f;
  float WsavingMin = 0;
};

// Membership by bisection over the list as written, comparing case-insensitively: the list must be
// in ascending order for every name to be found.
bool BisectionFinds(const std::vector<std::string>& sortedNames, std::string_view name);

class TZemCtrl {
 public:
  static constexpr int32_t kStatusOn = kZemOn;
  static constexpr int32_t kStatusOff = kZemOff;
  static constexpr const char* kRecordFileName = "ZemRecord.Txt";

  // Loads every parameter, takes the boot's GPIO backup, resolves the interfaces and, with
  // "AutoApply", switches to the stored state.
  explicit TZemCtrl(TZemCtrlServices services);
  // Writes "AutoApply" and "ZemStatus" to section "ZEM" (and hands AutoApply to the AMD FID/VID
  // object, which writes it again later).
  ~TZemCtrl();
  TZemCtrl(const TZemCtrl&) = delete;
  TZemCtrl& operator=(const TZemCtrl&) = delete;

  // --- switching ---
  void SwitchOn();
  void SwitchOff();
  // The state the hardware shows: kStatusOn or kStatusOff; kept as Status().
  int32_t ReadStatus();

  // --- estimation, once per sampling tick after the monitor's RefreshVcore ---
  float ComputePower();   // Wzem
  float ComputeSaving();  // Wsaving; after ComputePower of the same tick
  // Top of the window's Vcore gauge.
  float GaugeMaxVoltage();

  int32_t Status() const { return Status_; }
  bool AutoApply = false;  // the window's autorun toggle keeps it in step
  int32_t ControlType() const { return ControlType_; }
  int32_t PhaseSwitch() const { return PhaseSwitch_; }
  int32_t LoadlineInterface() const { return LoadlineInterface_; }
  int32_t PsiInterface() const { return PsiInterface_; }
  bool MultiVariant() const { return MultiVariant_; }
  // The first interface name the model file gives that is not known ("Interface" in the wrong
  // case, a typo), with its section: "W627gpio in [LoadlineControl]"; empty when all are known.
  const std::string& UnknownInterface() const { return UnknownInterface_; }
  int32_t PhaseCount() const { return PhaseCount_; }
  float Izem() const { return Izem_; }
  float Wzem() const { return Wzem_; }
  float Wsaving() const { return Wsaving_; }
  float VImon() const { return VImon_; }
  float Vid() const { return Vid_; }
  uint32_t CpuLoad() const { return CpuLoad_; }
  // False when this tick's figures were not finite numbers (a zero coefficient in the model file);
  // they then read 0 so that the energy sums stay finite.
  bool EstimateAvailable() const { return EstimateAvailable_; }
  const TZemRegulatorSet& RegulatorSet() const { return RegulatorType_ == 2 ? Vr11_ : Vr10_; }

 private:
  void TakeGpioBackup();
  void LoadParameters();
  void LoadVidFactors();
  TZemRegulatorSet LoadRegulatorSet(const char* prefix) const;
  void OpenRecord();
  void Record(std::string_view text);

  // Interface resolution and command selection.
  bool VariantFitted(const char* section, int index);
  TZemInterface ResolveInterface(const char* section);
  // The code of an interface name read from section; an unknown name is noted and traced.
  TZemInterface InterfaceCode(const std::string& name, const std::string& section);
  std::string SelectCommand(const char* section, const char* word);
  bool IsGpioCode(TZemInterface code) const { return ZemGpioKind(code) != kGpioNone; }
  // Drives a setting on a family's pins; a setting the pins do not show afterwards is traced.
  void ApplyPins(TGpioKind kind, const std::string& setting);
  // Puts the backed-up pin back on the ICH, where its state was read, unless it was no GPIO.
  void RestoreBackup(const std::string& pin);

  // Readings.
  float ReadVImon();
  float ReadVid();
  bool CpuBusy() const;
  bool PsiActivated();
  bool VersionVariant();
  float VidFactor(float vid) const;

  void PowerCurrentMonitor();  // control types 1 and 5
  void PowerLinear();          // 2
  void PowerSquareRoot();      // 3
  void PowerVidMinusVcore();   // 4 and 10
  void PowerThreeSegment();    // 6
  void AverageAndRecord();
  void SavingPsi();
  void SavingLinear();
  void SavingSquareRoot();
  void SavingVidMinusVcore();
  void SavingThreeSegment();
  void KeepFinite(float& value, const char* name);

  TZemCtrlServices S_;

  // Parameters.
  uint32_t CpuSignature_ = 0;
  int32_t ControlType_ = 1;
  int32_t PhaseSwitch_ = 1;
  int32_t RegulatorType_ = 1;  // 1 VR10, 2 VR11
  uint32_t CpuCode_ = 0;
  TZemInterface LoadlineInterface_ = kZemNone;
  TZemInterface PsiInterface_ = kZemNone;
  std::string UnknownInterface_;
  bool MultiVariant_ = false;
  bool WzemAverage_ = false;
  bool Patch10661_ = false, Patch840EE_ = false, PatchE4600_ = false, PatchVR11_ = false;
  bool Patch100F23_ = false;
  bool UseVidFactor_ = false;
  std::vector<float> VidFactorKeys_, VidFactorValues_;
  uint8_t ImonRegister_ = 36;
  float ConstantImon_ = 1.0f;
  float MaxVidVoltage_ = 0;
  bool DetectByCpuUsage_ = false;
  int32_t CpuUsageThreshold_ = 80;
  bool ModelExcluded_ = false;  // the board is in "ExcludeModel"
  bool RecordOn_ = false;
  float Aidle_ = 5.0f;
  float Phase1Izem_ = 0, Phase4Izem_ = 0;
  std::array<float, 25> C_{};  // C_[n] is "Constant<n>"; C_[0] unused
  TZemRegulatorSet Vr10_, Vr11_;
  bool CheckCmos_ = true;
  TZemStatus Status_ = kZemOff;
  int AmdNbRev_ = 0;

  // Run-time values.
  std::array<float, 16> Ring_{};
  size_t RingIndex_ = 0;
  float VImon_ = 0, VIidle_ = 256.0f, VImax_ = 0, Vid_ = 0, Vcore_ = 0;
  float Izem_ = 0, Wzem_ = 0, Wsaving_ = 0;
  int32_t PhaseCount_ = 0;
  uint32_t CpuLoad_ = 0;
  bool EstimateAvailable_ = true;
  std::string Line_;
  std::unique_ptr<IOsFile> RecordFile_;
};

// The per-tick estimate of the energy-saving engine: the processor's current and power from the
// regulator's current-monitor output, Vcore and the VID, and the power that energy saving saves,
// by the board's power model. All arithmetic is in 32-bit floats, as the fitted coefficients are.
#include <cmath>

#include "base/trace.h"
#include "chips/hwm.h"
#include "engine/cpuusage.h"
#include "engine/zemctrl.h"
#include "engine/zemrecord.h"
#include "platform/cpu.h"
#include "platform/fidvid.h"
#include "platform/versioncontrol.h"

namespace {

std::string N(float value) {
  return RecordNumber(value);
}

}  // namespace

float TZemCtrl::ReadVImon() {
  // A monitor without ports reads 0xFF: that is no current-monitor voltage.
  VImon_ = S_.Hwm.Available()
               ? static_cast<float>(S_.Hwm.ReadRegister(ImonRegister_)) * ConstantImon_
               : -1.0f;
  TraceLine("VImon = " + N(VImon_) + " , ConstantImon=" + N(ConstantImon_));
  return VImon_;
}

float TZemCtrl::ReadVid() {
  if (S_.Cpu.IsAMDCpu()) {
    Vid_ = S_.AmdFidVid != nullptr ? S_.AmdFidVid->GetCurrentVoltage() : 0.0f;
  } else {
    Vid_ = S_.IntelFidVid != nullptr ? S_.IntelFidVid->GetCurrentVoltage() : 0.0f;
  }
  return Vid_;
}

bool TZemCtrl::CpuBusy() const {
  return DetectByCpuUsage_ && !ModelExcluded_ &&
         CpuLoad_ > static_cast<uint32_t>(std::max(CpuUsageThreshold_, 0));
}

bool TZemCtrl::PsiActivated() {
  return S_.AmdFidVid != nullptr && AmdNbRev_ == 2 && S_.AmdFidVid->AllCoresOffP0();
}

bool TZemCtrl::VersionVariant() {
  return S_.Version.IsPresent() && S_.Version.Index() == 1;
}

float TZemCtrl::VidFactor(float vid) const {
  for (size_t i = 0; i < VidFactorKeys_.size(); ++i) {
    if (VidFactorKeys_[i] <= vid) return VidFactorValues_[i];
  }
  return 0;
}

float TZemCtrl::GaugeMaxVoltage() {
  if (S_.Cpu.IsAMDCpu()) return 1.1f;
  const float maxVid = S_.IntelFidVid != nullptr ? S_.IntelFidVid->GetMaxVoltage() : 0.0f;
  return maxVid - 0.1f;
}

void TZemCtrl::KeepFinite(float& value, const char* name) {
  if (std::isfinite(value)) return;
  TraceLine(std::string(name) + " is not a finite number (" + N(value) +
            "): not available, counted as 0");
  value = 0;
  EstimateAvailable_ = false;
}

float TZemCtrl::ComputePower() {
  EstimateAvailable_ = true;
  CpuLoad_ = 0;
  switch (ControlType_) {
    case 1:
    case 5:
      PowerCurrentMonitor();
      break;
    case 2:
      PowerLinear();
      break;
    case 3:
      PowerSquareRoot();
      break;
    case 4:
    case 10:
      PowerVidMinusVcore();
      break;
    case 6:
      PowerThreeSegment();
      break;
    default:
      return Wzem_;
  }
  // -1 is the monitor's "no reading" (no ports, or no Vcore): a power computed from it is invented.
  if (Vcore_ < 0) {
    TraceLine("Vcore not available: no estimate this tick");
    EstimateAvailable_ = false;
  }
  KeepFinite(Izem_, "Izem");
  KeepFinite(Wzem_, "Wzem");
  // A bound may have made a number of an infinite current; no reading gives no current either.
  if (!EstimateAvailable_) Wzem_ = Izem_ = 0;
  AverageAndRecord();
  return Wzem_;
}

void TZemCtrl::PowerCurrentMonitor() {
  ReadVImon();
  VIidle_ = std::min(VIidle_, VImon_);
  VImax_ = std::max(VImax_, VImon_);
  CpuLoad_ = S_.CpuUsage.Measure();
  if (CpuLoad_ > 80) {
    // Under heavy load the sampled values lag; the peaks stand for them.
    if (VImax_ != 0) VImon_ = VImax_;
    const float alternate = S_.Hwm.GetAlternateVcore();
    if (alternate != 0) S_.Hwm.SetVcore(alternate);
  }
  Vcore_ = S_.Hwm.GetVcore();
  const float g = (VImon_ - VIidle_) * C_[1];
  Izem_ = g * (1 - C_[2] * g) + Aidle_;
  Wzem_ = Vcore_ * Izem_;
  Line_ = "VImon=" + N(VImon_) + ", VIidle=" + N(VIidle_) + ", VImax=" + N(VImax_) +
          ", Izem=" + N(Izem_) + ", Wzem=" + N(Wzem_);
}

void TZemCtrl::PowerLinear() {
  ReadVid();
  ReadVImon();
  Vcore_ = S_.Hwm.GetVcore();
  TZemRegulatorSet& set = RegulatorType_ == 2 ? Vr11_ : Vr10_;
  const std::string regulator = RegulatorType_ == 2 ? "VR11" : "VR10";
  const bool on = Status_ == kStatusOn;
  if (!on) {
    Line_ = "ZEM Off, " + regulator;
    Izem_ = (VImon_ * set.VImonOff + Vcore_ * set.VcoreOff + Vid_ * set.VidOff + set.OffsetOff) /
            set.DivOff;
  } else {
    Line_ = "ZEM On, " + regulator;
    if (UseVidFactor_) {
      set.OffsetOn = VidFactor(Vid_);
      Line_ += ", VidFactor=" + N(set.OffsetOn);
    }
    Izem_ =
        (VImon_ * set.VImonOn + Vcore_ * set.VcoreOn + Vid_ * set.VidOn + set.OffsetOn) / set.DivOn;
  }
  Line_ += ", Vid=" + N(Vid_) + ", Vcore=" + N(Vcore_) + ", VImon=" + N(VImon_) +
           ", Izem=" + N(Izem_) + "\r\n";
  Record(Line_);

  Wzem_ = Vcore_ * Izem_;
  Line_ = "Wzem=" + N(Wzem_);
  const float scale = on ? set.WOn : set.WOff;
  const float offset = on ? set.WOffsetOn : set.WOffsetOff;
  const float minimum = on ? set.WminOn : set.WminOff;
  const float maximum = on ? set.WmaxOn : set.WmaxOff;
  Wzem_ = Wzem_ * scale + offset;
  if (Wzem_ < minimum) Wzem_ = minimum;
  if (Wzem_ > maximum) Wzem_ = maximum;
  if (Patch10661_ && CpuSignature_ == 0x10661 && Vcore_ < C_[on ? 17 : 15])
    Wzem_ = C_[on ? 18 : 16];
  if (Patch840EE_ && (CpuCode_ == 0x3C280F44 || CpuCode_ == 0x3C280F47) &&
      Vcore_ < C_[on ? 21 : 19])
    Wzem_ = C_[on ? 22 : 20];
  Line_ += " Wzem(Adjusted)=" + N(Wzem_);
}

void TZemCtrl::PowerSquareRoot() {
  ReadVImon();
  Vcore_ = S_.Hwm.GetVcore();
  const float floor = Status_ == kStatusOn ? C_[11] : C_[12];
  if (VImon_ >= C_[10]) {
    Izem_ = (std::sqrt(C_[1] - (C_[3] - VImon_ * C_[4]) * C_[2] / C_[5]) - C_[6]) * C_[7];
    Wzem_ = Vcore_ * Izem_;
    Line_ =
        "VImon=" + N(VImon_) + ", Vcore=" + N(Vcore_) + ", Izem=" + N(Izem_) + ", Wzem=" + N(Wzem_);
    if (Wzem_ < floor) Wzem_ = floor;
    Line_ += ", Wzem(Adjusted)=" + N(Wzem_);
  } else {
    Wzem_ = floor;
    Izem_ = 0;
    Line_ = "VImon=" + N(VImon_) + ", Vcore=" + N(Vcore_) + ", Izem=" + N(Izem_) +
            ", Wzem(Patched)=" + N(Wzem_);
  }
}

void TZemCtrl::PowerVidMinusVcore() {
  ReadVid();
  Vcore_ = S_.Hwm.GetVcore();
  const float d = Vid_ - Vcore_;
  const bool on = Status_ == kStatusOn;
  const bool vr11 = RegulatorType_ == 2;
  float divisor = 0;
  if (Patch10661_ && CpuSignature_ == 0x10661) {
    divisor = on ? (Vcore_ > C_[18] ? C_[19] : C_[20]) : (Vcore_ > C_[15] ? C_[16] : C_[17]);
  } else if (vr11) {
    divisor =
        on ? (Vid_ >= MaxVidVoltage_ ? C_[6] : C_[5]) : (Vid_ >= MaxVidVoltage_ ? C_[2] : C_[1]);
  } else if (Vid_ < MaxVidVoltage_) {
    divisor = on ? C_[7] : C_[3];
  } else {
    // At the top VID the regulator's droop depends on whether enhanced SpeedStep runs.
    S_.Cpu.EnableSpeedStep();
    const float alternative = on ? C_[22] : C_[21];
    divisor = S_.Cpu.SpeedStepAvailable || alternative == 0 ? (on ? C_[8] : C_[4]) : alternative;
  }
  Izem_ = d / divisor;
  Wzem_ = Vcore_ * Izem_;
  Line_ = "Vid=" + N(Vid_) + ", Vcore=" + N(Vcore_) + ", Izem=" + N(Izem_) + ", Wzem=" + N(Wzem_);
  if (!on) {
    const float lowest = ControlType_ == 10 ? 7.5f : 0.0f;
    if (Wzem_ < lowest) Wzem_ = C_[9];
    if (Wzem_ > C_[10]) Wzem_ = C_[10];
    if (!vr11 && Wzem_ < C_[14]) Wzem_ = C_[14];
    if (PatchE4600_ && CpuSignature_ == 0x6FD && Wzem_ < C_[23]) Wzem_ = C_[23];
    if (vr11 && PatchVR11_ && Wzem_ < C_[24]) Wzem_ = C_[24];
  } else {
    if (Wzem_ < 0) Wzem_ = C_[11];
    if (Wzem_ > C_[12]) Wzem_ = C_[12];
  }
  Line_ += " Wzem(Adjusted)=" + N(Wzem_);
}

void TZemCtrl::PowerThreeSegment() {
  ReadVImon();
  Vcore_ = S_.Hwm.GetVcore();
  const bool on = Status_ == kStatusOn;
  if (!on) {
    const float c = VersionVariant() ? C_[16] : C_[6];
    Izem_ = (VImon_ - c) / C_[7];
    Line_ = "ZEM Off, I3";
  } else if (VImon_ >= C_[3]) {
    Izem_ = (VImon_ - C_[4]) / C_[5];
    Line_ = "ZEM On, I2";
  } else {
    const float c = VersionVariant() ? C_[15] : C_[1];
    Izem_ = (VImon_ - c) / C_[2];
    Line_ = "ZEM On, I1";
  }
  Line_ += ", Vid=" + N(Vid_) + ", Vcore=" + N(Vcore_) + ", VImon=" + N(VImon_) +
           ", Izem=" + N(Izem_) + "\r\n";
  Record(Line_);
  Wzem_ = Vcore_ * Izem_;
  TraceLine(">>> L6756e : Wzem [" + N(Wzem_) + " ] VcoreV[ " + N(Vcore_) + " ] GetZem()[" +
            N(Izem_) + "]");
  Line_ = "Wzem=" + N(Wzem_);
  const float floor = on ? C_[14] : C_[10];
  if (Wzem_ < floor) Wzem_ = floor;
  Line_ += " Wzem(Adjusted)=" + N(Wzem_);
}

void TZemCtrl::AverageAndRecord() {
  if (WzemAverage_ && EstimateAvailable_) {
    Ring_[RingIndex_] = Wzem_;
    RingIndex_ = (RingIndex_ + 1) % Ring_.size();
    if (Ring_[0] != 0) {
      float sum = 0;
      size_t count = 0;
      while (count < Ring_.size() && Ring_[count] != 0) sum += Ring_[count++];
      Wzem_ = sum / static_cast<float>(count);
    }
  }
  Line_ += " Wzem(Average)=" + N(Wzem_) + "\r\n";
  Record(Line_);
}

float TZemCtrl::ComputeSaving() {
  switch (ControlType_) {
    case 1:
    case 5:
      SavingPsi();
      break;
    case 2:
      SavingLinear();
      break;
    case 3:
      SavingSquareRoot();
      break;
    case 4:
    case 10:
      SavingVidMinusVcore();
      break;
    case 6:
      SavingThreeSegment();
      break;
    default:
      TraceLine(".........>Unknown Control Type");
      return Wsaving_;
  }
  Record(Line_);
  KeepFinite(Wsaving_, "Wsaving");
  // Only energy saving that is on saves anything, and only a tick with an estimate counts.
  if (Status_ != kStatusOn || !EstimateAvailable_) Wsaving_ = 0;
  return Wsaving_;
}

void TZemCtrl::SavingPsi() {
  const bool type5 = ControlType_ == 5;
  if (PsiActivated() && !CpuBusy()) {
    Wsaving_ = 1.5f;
    PhaseCount_ = type5 ? 1 : 2;
    Line_ = "PSI Activated";
  } else {
    Wsaving_ = 0;
    PhaseCount_ = type5 ? 3 : 4;
    Line_ = "PSI Deactivated";
  }
  Line_ += ", Wsaving=" + N(Wsaving_) + ", PhaseNum=" + std::to_string(PhaseCount_) + "\r\n\r\n";
}

void TZemCtrl::SavingLinear() {
  if (Status_ != kStatusOn) {
    Wsaving_ = 0;
    PhaseCount_ = 4;
    Line_ = "DeltaV=0, Wsaving=0, Phase=4\r\n\r\n";
    return;
  }
  const TZemRegulatorSet& set = RegulatorSet();
  const float deltaV = Vid_ * set.VidDeltaV + Izem_ * set.IOnDeltaV + set.OffsetDeltaV;
  Line_ = "DeltaV=" + N(deltaV);
  PhaseCount_ = Izem_ < Phase1Izem_ ? 1 : (Izem_ > Phase4Izem_ ? 4 : 2);
  // The phase coefficients are taken from the VR10 keys on every board, as the model files are
  // written for it.
  float w = Vr10_.WP2Wsaving;
  float dw = Vr10_.DeltaWP2Wsaving;
  if (PhaseCount_ == 1) {
    w = Vr10_.WP1Wsaving;
    dw = Vr10_.DeltaWP1Wsaving;
  } else if (PhaseCount_ == 4) {
    w = Vr10_.WP4Wsaving;
    dw = Vr10_.DeltaWP4Wsaving;
  }
  Wsaving_ = Vcore_ * Izem_ * w + Izem_ * deltaV * dw;
  Line_ += ", Wsaving=" + N(Wsaving_);
  if (Wsaving_ < set.WsavingMin) Wsaving_ = set.WsavingMin;
  Line_ += ", Wsaving(Adjusted)=" + N(Wsaving_) + ", Phase=" + std::to_string(PhaseCount_);
  if (Patch10661_ && CpuSignature_ == 0x10661 && Vcore_ < C_[17]) PhaseCount_ = 1;
  Line_ += ", Phase(Adjusted)=" + std::to_string(PhaseCount_) + "\r\n\r\n";
}

void TZemCtrl::SavingSquareRoot() {
  if (Status_ != kStatusOn) {
    Wsaving_ = 0;
    Line_ = "ZEM Off, DeltaV=0, Wsaving=0\r\n\r\n";
    return;
  }
  float deltaV = 0;
  if (VImon_ >= C_[10]) {
    deltaV = C_[8] - Izem_ * C_[9];
    Wsaving_ = Izem_ * deltaV;
  } else {
    Wsaving_ = C_[13];
  }
  Line_ = "ZEM On, DeltaV=" + N(deltaV) + ", Wsaving=" + N(Wsaving_) + "\r\n\r\n";
}

void TZemCtrl::SavingVidMinusVcore() {
  PhaseCount_ = 4;
  if (Status_ != kStatusOn) {
    Wsaving_ = 0;
    Line_ = "ZEM Off, Wsaving=0\r\n\r\n";
    return;
  }
  Wsaving_ = Wzem_ * C_[13];
  Line_ = "ZEM On, Wsaving=" + N(Wsaving_) + "\r\n\r\n";
}

void TZemCtrl::SavingThreeSegment() {
  if (Status_ != kStatusOn) {
    Wsaving_ = 0;
    PhaseCount_ = 8;
    Line_ = "DeltaV=0, Wsaving=0, Phase=8\r\n\r\n";
  } else {
    const float deltaV = Izem_ * C_[8] + C_[9];
    Line_ = "DeltaV=" + N(deltaV);
    // Only the voltage the saving load line takes off saves power: Izem x DeltaV. (Counting
    // Vcore x Izem as well would call the whole processor power saved.)
    Wsaving_ = Izem_ * deltaV;
    PhaseCount_ = VImon_ < C_[11] ? 1 : VImon_ < C_[12] ? 2 : VImon_ < C_[13] ? 4 : 8;
    Line_ += ", Wsaving=" + N(Wsaving_) + ", Phase=" + std::to_string(PhaseCount_) + "\r\n\r\n";
  }
  if (!(Izem_ > 0)) Wsaving_ = 2.0f;
}

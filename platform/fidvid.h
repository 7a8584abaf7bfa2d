// The processor's voltage identifiers (VID) and, on AMD family 10h, the northbridge's power-state
// indicator (PSI) that lets the voltage regulator shed phases at light load. TIntelFidVid reads
// Intel performance-status VIDs; TAmdFidVid reads AMD VIDs, switches PSI together with the board's
// power modes, and keeps its flags in the model file.
#pragma once

#include <cstdint>

#include "hw/ioctl.h"

class TReadWrite;
class TCpu;
class TiFile;

// The board's two power configurations that accompany an energy-saving switch: mode 1 = energy
// saving on, 2 = off. The board-specification object implements it (its ApplyPowerScheme); tests
// use a double.
class IBoardPowerModes {
 public:
  // False when the board could not be put into the mode.
  virtual bool ApplyPowerScheme(int mode) = 0;

 protected:
  ~IBoardPowerModes() = default;
};

class TIntelFidVid {
 public:
  explicit TIntelFidVid(TReadWrite& rw) : Rw_(rw) {}

  // IA32_PERF_STATUS bits 5:0 (current) and 37:32 (maximum).
  uint8_t GetCurrentVid();
  uint8_t GetMaxVid();
  // 0.825 V + 12.5 mV per step for VIDs 1..62; VID 0 reads as VID 1 and VID 63 as VID 62.
  // VIDs above 63 read as 63.
  static float VidToVolts(uint8_t vid);
  float GetCurrentVoltage() { return VidToVolts(GetCurrentVid()); }
  float GetMaxVoltage() { return VidToVolts(GetMaxVid()); }

 private:
  TReadWrite& Rw_;
};

class TAmdFidVid {
 public:
  // Reads "AmdPlatForm"/"AmdDualPowerPlane" and, on a family 10h class processor, "ZEM"/
  // "AutoApply" and "ZEM"/"PsiStatus" from the model file; AutoApply is cancelled when the
  // processor differs from the one recorded in "Config"/"CpuID", and PsiStatus is replaced by
  // the hardware's state. processorCount is what the OS reports. Every reference must outlive the
  // object.
  TAmdFidVid(TReadWrite& rw, TCpu& cpu, TiFile& modelFile, uint32_t processorCount,
             IBoardPowerModes& board);
  // When active, writes PsiStatus and AutoApply back to section "ZEM".
  ~TAmdFidVid();
  TAmdFidVid(const TAmdFidVid&) = delete;
  TAmdFidVid& operator=(const TAmdFidVid&) = delete;

  // Family 0Fh: FIDVID_STATUS CurrVID. Family 10h: P-state 0's core VID with separate core and
  // northbridge planes, otherwise the northbridge VID of the current P-state.
  uint8_t GetCurrentVid();
  // 1.55 V less 12.5 mV (family 10h) or 25 mV (family 0Fh) per VID step.
  float GetCurrentVoltage();
  // PsiVidEn, bit 7 of the northbridge's F3xA0.
  bool IsPsiEnabled();
  // Family 10h with PSI on and every processor (1..processorCount) out of P-state 0; false as
  // soon as one is in P-state 0. Leaves the process pinned to the last processor examined.
  bool AllCoresOffP0();
  // Family 10h, on: board power mode 2, then the PSI VID (written with its enable bit), then mode
  // 1; off: mode 1, PSI off, mode 2; a failed first mode stops the sequence. Other processors
  // only select mode 1 (on) or 2 (off). psiVid receives the computed PSI VID (left alone when
  // none is computed). True when every step succeeded.
  bool SetPsi(uint8_t& psiVid, bool on);

  bool DualPowerPlane = true;  // core and northbridge on separate supply planes
  bool Supported = false;      // a family 10h class processor
  bool Active = false;         // when false nothing else is read or saved
  bool PsiStatus = false;
  bool AutoApply = false;

 private:
  CpuRegisters ReadMsr(uint32_t msr);

  TReadWrite& Rw_;
  TCpu& Cpu_;
  TiFile& ModelFile_;
  uint32_t ProcessorCount_;
  IBoardPowerModes& Board_;
};

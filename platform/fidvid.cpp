#include "platform/fidvid.h"

#include <algorithm>
#include <array>

#include "base/inifile.h"
#include "hw/readwrite.h"
#include "platform/cpu.h"
#include "platform/msr.h"

namespace {

constexpr uint8_t NbDevice = 0x18;
constexpr uint16_t AmdVendor = 0x1022;
constexpr uint8_t NbMiscFunction = 3;
constexpr uint16_t PsiOffset = 0xA0;
constexpr uint8_t PsiVidEnable = 0x80;

constexpr uint32_t LastFamily0FhSignature = 0x100EFF;

constexpr std::array<float, 64> IntelVidTable() {
  std::array<float, 64> table{};
  for (size_t vid = 1; vid < 63; ++vid) table[vid] = static_cast<float>(0.825 + 0.0125 * vid);
  table[0] = table[1];
  table[63] = table[62];
  return table;
}
constexpr std::array<float, 64> IntelVolts = IntelVidTable();

// The core VID of a family 10h P-state register (bits 15:9).
uint8_t PStateVid(uint32_t eax) {
  return static_cast<uint8_t>((eax >> 9) & 0x7F);
}

}  // namespace

// --- Intel ---

uint8_t TIntelFidVid::GetCurrentVid() {
  CpuRegisters regs{0, 0, MsrPerfStatus, 0};
  Rw_.ReadCpuMsr(regs);
  return static_cast<uint8_t>(regs.EAX & 0x3F);
}

uint8_t TIntelFidVid::GetMaxVid() {
  CpuRegisters regs{0, 0, MsrPerfStatus, 0};
  Rw_.ReadCpuMsr(regs);
  return static_cast<uint8_t>(regs.EDX & 0x3F);
}

float TIntelFidVid::VidToVolts(uint8_t vid) {
  return IntelVolts[std::min<size_t>(vid, IntelVolts.size() - 1)];
}

// --- AMD ---

TAmdFidVid::TAmdFidVid(TReadWrite& rw, TCpu& cpu, TiFile& modelFile, uint32_t processorCount,
                       IBoardPowerModes& board)
    : Rw_(rw), Cpu_(cpu), ModelFile_(modelFile), ProcessorCount_(processorCount), Board_(board) {
  DualPowerPlane = ModelFile_.ReadBool("AmdPlatForm", "AmdDualPowerPlane", true);
  const uint32_t signature = Cpu_.GetSignature();
  Supported = Cpu_.IsAMDCpu() && signature > LastFamily0FhSignature;
  Active = Supported;
  if (!Active) return;
  AutoApply = ModelFile_.ReadBool("ZEM", "AutoApply", false);
  PsiStatus = ModelFile_.ReadBool("ZEM", "PsiStatus", false);
  // Saving modes set up for another processor are not re-applied automatically.
  if (static_cast<uint32_t>(ModelFile_.ReadInteger("Config", "CpuID", 0)) != signature) {
    AutoApply = false;
  }
  PsiStatus = IsPsiEnabled();
}

TAmdFidVid::~TAmdFidVid() {
  if (!Active) return;
  ModelFile_.WriteBool("ZEM", "PsiStatus", PsiStatus);
  ModelFile_.WriteBool("ZEM", "AutoApply", AutoApply);
}

CpuRegisters TAmdFidVid::ReadMsr(uint32_t msr) {
  CpuRegisters regs{0, 0, msr, 0};
  if (!Rw_.ReadCpuMsr(regs)) regs = {0, 0, msr, 0};
  return regs;
}

uint8_t TAmdFidVid::GetCurrentVid() {
  if (Cpu_.GetAmdNbRev() == 1) return static_cast<uint8_t>(ReadMsr(MsrFidVidStatus).EDX & 0x3F);
  if (DualPowerPlane) return PStateVid(ReadMsr(MsrPState0).EAX);
  const uint32_t pstate = ReadMsr(MsrPStateStatus).EAX & 7;
  return static_cast<uint8_t>(ReadMsr(MsrPState0 + pstate).EAX >> 25);
}

float TAmdFidVid::GetCurrentVoltage() {
  const float step = Cpu_.GetAmdNbRev() == 2 ? 0.0125f : 0.025f;
  return 1.55f - static_cast<float>(GetCurrentVid()) * step;
}

bool TAmdFidVid::IsPsiEnabled() {
  // Where the northbridge function is absent every read gives all ones, which must not read as on.
  if (Rw_.PciReadWord(0, NbDevice, NbMiscFunction, 0) != AmdVendor) return false;
  return (Rw_.PciReadByte(0, NbDevice, NbMiscFunction, PsiOffset) & PsiVidEnable) != 0;
}

bool TAmdFidVid::AllCoresOffP0() {
  if (Cpu_.GetAmdNbRev() != 2 || !IsPsiEnabled()) return false;
  for (uint32_t cpu = 1; cpu <= ProcessorCount_; ++cpu) {
    Rw_.SetCpuAffinity(cpu);
    if ((ReadMsr(MsrPStateStatus).EAX & 7) == 0) return false;
  }
  return true;
}

bool TAmdFidVid::SetPsi(uint8_t& psiVid, bool on) {
  if (Cpu_.GetAmdNbRev() != 2) return Board_.ApplyPowerScheme(on ? 1 : 2);
  if (on) {
    if (!Board_.ApplyPowerScheme(2)) return false;
    const int p0Vid = PStateVid(ReadMsr(MsrPState0).EAX);
    const int p1Vid = PStateVid(ReadMsr(MsrPState0 + 1).EAX);
    // A lower VID is a higher voltage: the PSI threshold lies four steps above P1's voltage, or
    // only two when four would not stay below P0's.
    int vid = p1Vid - 4;
    if (p0Vid >= vid) vid = p1Vid - 2;
    psiVid = static_cast<uint8_t>(std::max(vid, 0));
    Rw_.PciWriteByte(0, NbDevice, NbMiscFunction, PsiOffset,
                     static_cast<uint8_t>(psiVid | PsiVidEnable));
    return Board_.ApplyPowerScheme(1);
  }
  if (!Board_.ApplyPowerScheme(1)) return false;
  Rw_.PciWriteByte(0, NbDevice, NbMiscFunction, PsiOffset, 0);
  return Board_.ApplyPowerScheme(2);
}

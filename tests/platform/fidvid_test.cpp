#include "platform/fidvid.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "base/inifile.h"
#include "cpu_testrig.h"

namespace {

using namespace cputest;

// The board's power modes: records every request, fails the ones the test names.
class TFakeBoardModes : public IBoardPowerModes {
 public:
  bool ApplyPowerScheme(int mode) override {
    Modes.push_back(mode);
    return mode != FailMode;
  }
  std::vector<int> Modes;
  int FailMode = 0;
};

TEST(IntelFidVid, VidTableEdges) {
  EXPECT_FLOAT_EQ(TIntelFidVid::VidToVolts(0), 0.8375f);
  EXPECT_FLOAT_EQ(TIntelFidVid::VidToVolts(1), 0.8375f);
  EXPECT_FLOAT_EQ(TIntelFidVid::VidToVolts(30), 1.2f);
  EXPECT_FLOAT_EQ(TIntelFidVid::VidToVolts(62), 1.6f);
  EXPECT_FLOAT_EQ(TIntelFidVid::VidToVolts(63), 1.6f);
  EXPECT_FLOAT_EQ(TIntelFidVid::VidToVolts(200), 1.6f);
}

TEST(IntelFidVid, CurrentAndMaximumVidFromThePerformanceStatus) {
  TCpuRig rig("p35-core2");
  TIntelFidVid fidVid(*rig.Rw);
  EXPECT_EQ(fidVid.GetCurrentVid(), 0x22);
  EXPECT_FLOAT_EQ(fidVid.GetCurrentVoltage(), 1.25f);
  ASSERT_TRUE(rig.WriteMsr(0x199, 0x0616));  // ratio 6, VID 0x16
  EXPECT_EQ(fidVid.GetCurrentVid(), 0x16);
  EXPECT_FLOAT_EQ(fidVid.GetCurrentVoltage(), 1.1f);
  EXPECT_EQ(fidVid.GetMaxVid(), 0x22);
  EXPECT_FLOAT_EQ(fidVid.GetMaxVoltage(), 1.25f);
}

// TAmdFidVid on a board with a model file of the test's own.
struct TAmdRig : TCpuRig {
  explicit TAmdRig(const std::string& board, const std::string& modelText = "")
      : TCpuRig(board), Model(Dir.File("Cfg.ini")) {
    std::ofstream(Model.FileName()) << modelText;
  }
  std::unique_ptr<TAmdFidVid> Make() {
    return std::make_unique<TAmdFidVid>(*Rw, *Cpu, Model, Machine->CpuCount(), Board);
  }
  uint8_t Psi() { return Rw->PciReadByte(0, 0x18, 3, 0xA0); }
  void SetPStateVid(uint32_t core, uint32_t pstate, uint8_t vid) {
    const uint32_t msr = 0xC0010064 + pstate;
    SetMsr(core, msr, (Msr(core, msr) & ~(0x7Full << 9)) | uint64_t{vid} << 9);
  }
  std::string ModelText() const {
    std::ifstream in(Model.FileName());
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  TiFile Model;
  TFakeBoardModes Board;
};

TEST(AmdFidVid, VoltagesPerFamilyAndPowerPlane) {
  TAmdRig phenom("am2p-phenom");
  auto dual = phenom.Make();
  EXPECT_TRUE(dual->DualPowerPlane);
  EXPECT_EQ(dual->GetCurrentVid(), 0x12);  // P-state 0 core VID
  EXPECT_FLOAT_EQ(dual->GetCurrentVoltage(), 1.325f);
  phenom.SetPStateVid(0, 0, 0x20);
  EXPECT_FLOAT_EQ(dual->GetCurrentVoltage(), 1.15f);

  // One plane: the northbridge VID of the current P-state.
  TAmdRig single("am2p-phenom", "[AmdPlatForm]\nAmdDualPowerPlane=0\n");
  auto fidVid = single.Make();
  EXPECT_FALSE(fidVid->DualPowerPlane);
  single.SetMsr(0, 0xC0010066, 0x800000002A004402ull);  // P2 with northbridge VID 0x15
  ASSERT_TRUE(single.WriteMsr(0xC0010062, 2));
  EXPECT_EQ(fidVid->GetCurrentVid(), 0x15);
  EXPECT_FLOAT_EQ(fidVid->GetCurrentVoltage(), 1.2875f);

  TAmdRig k8("am2-k8");
  auto k8FidVid = k8.Make();
  EXPECT_EQ(k8FidVid->GetCurrentVid(), 8);
  EXPECT_FLOAT_EQ(k8FidVid->GetCurrentVoltage(), 1.35f);
  ASSERT_TRUE(k8.WriteMsr(0xC0010041, 0x11202));  // FID 2, VID 0x12
  EXPECT_FLOAT_EQ(k8FidVid->GetCurrentVoltage(), 1.1f);
}

TEST(AmdFidVid, PsiOnComputesTheVidBetweenTheBoardsModes) {
  struct TCase {
    uint8_t P0, P1, Psi;
  } const cases[] = {
      {0x20, 0x22, 0x20},  // P1 - 4 would reach P0: P1 - 2
      {0x20, 0x30, 0x2C},
      {0x12, 0x1A, 0x16},  // the board's own P-states
  };
  for (const TCase& c : cases) {
    TAmdRig rig("am2p-phenom");
    rig.SetPStateVid(0, 0, c.P0);
    rig.SetPStateVid(0, 1, c.P1);
    auto fidVid = rig.Make();
    uint8_t psiVid = 0;
    EXPECT_TRUE(fidVid->SetPsi(psiVid, true));
    EXPECT_EQ(psiVid, c.Psi);
    EXPECT_EQ(rig.Psi(), c.Psi | 0x80);
    EXPECT_TRUE(fidVid->IsPsiEnabled());
    EXPECT_EQ(rig.Board.Modes, (std::vector<int>{2, 1}));
  }
}

TEST(AmdFidVid, PsiSequencesStopAtAFailedFirstMode) {
  TAmdRig rig("am2p-phenom");
  auto fidVid = rig.Make();
  uint8_t psiVid = 0x55;
  rig.Board.FailMode = 2;
  EXPECT_FALSE(fidVid->SetPsi(psiVid, true));
  EXPECT_EQ(rig.Board.Modes, (std::vector<int>{2}));
  EXPECT_EQ(rig.Psi(), 0);
  EXPECT_EQ(psiVid, 0x55);

  rig.Board = {};
  ASSERT_TRUE(fidVid->SetPsi(psiVid, true));
  EXPECT_EQ(rig.Psi(), 0x96);
  rig.Board = {};
  rig.Board.FailMode = 1;
  EXPECT_FALSE(fidVid->SetPsi(psiVid, false));
  EXPECT_EQ(rig.Board.Modes, (std::vector<int>{1}));
  EXPECT_EQ(rig.Psi(), 0x96);

  rig.Board = {};
  EXPECT_TRUE(fidVid->SetPsi(psiVid, false));
  EXPECT_EQ(rig.Board.Modes, (std::vector<int>{1, 2}));
  EXPECT_EQ(rig.Psi(), 0);
  EXPECT_FALSE(fidVid->IsPsiEnabled());
}

TEST(AmdFidVid, Family0FhNeverWritesThePsiRegister) {
  TAmdRig rig("am2-k8");
  auto fidVid = rig.Make();
  EXPECT_FALSE(fidVid->Supported);
  uint8_t psiVid = 7;
  EXPECT_TRUE(fidVid->SetPsi(psiVid, true));
  EXPECT_TRUE(fidVid->SetPsi(psiVid, false));
  EXPECT_EQ(rig.Board.Modes, (std::vector<int>{1, 2}));
  EXPECT_EQ(psiVid, 7);
  EXPECT_EQ(rig.Lines.RwCount("RW: PciWrite"), 0u);
  EXPECT_FALSE(fidVid->AllCoresOffP0());
}

TEST(AmdFidVid, AllCoresOffP0ChecksEveryProcessor) {
  TAmdRig rig("am2p-phenom");
  auto fidVid = rig.Make();
  for (uint32_t cpu = 1; cpu <= 4; ++cpu) {
    rig.Rw->SetCpuAffinity(cpu);
    ASSERT_TRUE(rig.WriteMsr(0xC0010062, 1));
  }
  EXPECT_FALSE(fidVid->AllCoresOffP0()) << "PSI is off";

  uint8_t psiVid = 0;
  ASSERT_TRUE(fidVid->SetPsi(psiVid, true));
  EXPECT_TRUE(fidVid->AllCoresOffP0());
  EXPECT_EQ(rig.Machine->SelectedCpu(), 3u);

  rig.Rw->SetCpuAffinity(2);
  ASSERT_TRUE(rig.WriteMsr(0xC0010062, 0));
  rig.Rw->SetCpuAffinity(4);
  EXPECT_FALSE(fidVid->AllCoresOffP0());
  EXPECT_EQ(rig.Machine->SelectedCpu(), 1u) << "left on the processor found in P-state 0";
}

TEST(AmdFidVid, FlagsComeFromTheModelFileAndTheHardware) {
  const std::string model =
      "[Config]\nCpuID=1052482\n[ZEM]\nAutoApply=1\nPsiStatus=1\nZemStatus=2\n";  // 0x100F42
  {
    TAmdRig rig("am2p-phenom", model);
    auto fidVid = rig.Make();
    EXPECT_TRUE(fidVid->Supported);
    EXPECT_TRUE(fidVid->Active);
    EXPECT_TRUE(fidVid->AutoApply);
    EXPECT_FALSE(fidVid->PsiStatus) << "the hardware's state wins";
    fidVid.reset();
    EXPECT_EQ(rig.Model.ReadString("ZEM", "PsiStatus", ""), "0");
    EXPECT_EQ(rig.Model.ReadString("ZEM", "AutoApply", ""), "1");
    EXPECT_EQ(rig.Model.ReadString("ZEM", "ZemStatus", ""), "2");
  }
  {
    // Another processor was recorded: no automatic re-apply.
    TAmdRig rig("am2p-phenom", "[Config]\nCpuID=0x100F23\n[ZEM]\nAutoApply=1\n");
    uint8_t psiVid = 0;
    auto fidVid = rig.Make();
    EXPECT_FALSE(fidVid->AutoApply);
    ASSERT_TRUE(fidVid->SetPsi(psiVid, true));
    fidVid->PsiStatus = fidVid->IsPsiEnabled();
    fidVid.reset();
    EXPECT_EQ(rig.Model.ReadString("ZEM", "PsiStatus", ""), "1");
    EXPECT_EQ(rig.Model.ReadString("ZEM", "AutoApply", ""), "0");
  }
  {
    // Family 0Fh: inactive, the file is left as it was.
    TAmdRig rig("am2-k8", model);
    auto fidVid = rig.Make();
    EXPECT_FALSE(fidVid->Active);
    EXPECT_FALSE(fidVid->AutoApply);
    fidVid.reset();
    EXPECT_EQ(rig.ModelText(), model);
  }
}

}  // namespace

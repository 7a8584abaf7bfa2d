#include "sim/simcpumodels.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "sim/amdnorthbridge.h"
#include "sim/pcibus.h"
#include "sim/simboard.h"
#include "sim/simmachine.h"
#include "sim/simstate.h"

namespace {

const std::string BoardsDir = std::string(KORZEM_SOURCE_DIR) + "/data/boards";

std::unique_ptr<TSimMachine> ModelMachine(const std::string& model, uint32_t cores = 0) {
  TSimMachineConfig config;
  std::string error;
  EXPECT_TRUE(ApplySimCpuModel(model, config.Processor, &error)) << error;
  if (cores != 0) config.Processor.Cores = cores;
  auto machine = std::make_unique<TSimMachine>(config);
  SimCpuClock(*machine);
  return machine;
}

uint64_t Msr(TSimMachine& machine, uint32_t core, uint32_t msr) {
  uint64_t value = 0;
  EXPECT_TRUE(machine.Cpu(core).ReadMsr(msr, &value)) << std::hex << msr;
  return value;
}

double Mhz(TSimMachine& machine, uint32_t core = 0) {
  return machine.Cpu(core).CoreFrequencyHz() / 1e6;
}

uint32_t Cf8(uint8_t device, uint8_t function, uint16_t offset) {
  return 0x80000000u | uint32_t{device} << 11 | uint32_t{function} << 8 |
         ((offset & 0xF00u) << 16) | (offset & 0xFC);
}

TEST(SimCpuModels, EveryModelRunsAtItsFrequencyWithItsIdentity) {
  const struct {
    const char* Name;
    const char* Vendor;
    uint32_t Signature;
    TSimCpuScheme Scheme;
    double Mhz;
  } expected[] = {
      {"core2-e7300", "GenuineIntel", 0x10677, TSimCpuScheme::Core2, 2666.67},
      {"core-i7-920", "GenuineIntel", 0x106A5, TSimCpuScheme::Nehalem, 2666.67},
      {"pentium4-630", "GenuineIntel", 0xF43, TSimCpuScheme::NetBurst, 3000},
      {"athlon64-x2-5000", "AuthenticAMD", 0x60FB2, TSimCpuScheme::K8, 2600},
      {"phenom2-x4-940", "AuthenticAMD", 0x100F42, TSimCpuScheme::K10, 3000},
  };
  ASSERT_EQ(SimCpuModels().size(), std::size(expected));
  for (const auto& e : expected) {
    auto machine = ModelMachine(e.Name);
    EXPECT_EQ(machine->Config().Processor.Vendor, e.Vendor);
    CpuRegisters regs{1, 0, 0, 0};
    machine->ExecuteCpuId(regs);
    EXPECT_EQ(regs.EAX, e.Signature) << e.Name;
    EXPECT_EQ(SimCpuClock(*machine).Scheme(), e.Scheme) << e.Name;
    EXPECT_DOUBLE_EQ(Mhz(*machine), e.Mhz) << e.Name;
    // The core counts its clock from the virtual time.
    const uint64_t before = machine->Cpu(0).CoreCycles();
    machine->Clock().Advance(1000);
    EXPECT_NEAR(machine->Cpu(0).CoreCycles() - before, e.Mhz * 1000, 1) << e.Name;
  }
}

TEST(SimCpuModels, UnknownNamesFailAndTheBoardsOwnEntriesWin) {
  TSimProcessorModel processor;
  std::string error;
  EXPECT_FALSE(ApplySimCpuModel("core3-e9999", processor, &error));
  EXPECT_NE(error.find("core3-e9999"), std::string::npos);
  EXPECT_NE(error.find("phenom2-x4-940"), std::string::npos) << "lists the known models";

  processor.Msrs = {{0x198, 0x0600082206000822ull, 0}};
  processor.CpuIdLeaves[6] = {0, 0, 0, 0};
  ASSERT_TRUE(ApplySimCpuModel("core2-e7300", processor, &error));
  TSimMachineConfig config;
  config.Processor = processor;
  TSimMachine machine(config);
  EXPECT_EQ(Msr(machine, 0, 0x198), 0x0600082206000822ull);
  uint64_t value = 0;
  EXPECT_FALSE(machine.ReadMsr(0xE8, &value)) << "CPUID 6 of the board: no APERF";
}

TEST(SimCpuModels, IntelRequestsMoveTheClockWithinTheLimitsWhileEistIsOn) {
  auto machine = ModelMachine("core2-e7300");
  ASSERT_TRUE(machine->WriteMsr(0x199, 0x0716));
  EXPECT_EQ(Msr(*machine, 0, 0x198) & 0xFFFF, 0x0716u);
  EXPECT_NEAR(Mhz(*machine), 1866.67, 0.01);
  EXPECT_DOUBLE_EQ(Mhz(*machine, 1), 2666.67) << "the other core keeps its clock";
  ASSERT_TRUE(machine->WriteMsr(0x199, 0x1F22));  // above the maximum
  EXPECT_EQ(Msr(*machine, 0, 0x198) & 0xFF00, 0x0A00u);
  ASSERT_TRUE(machine->WriteMsr(0x199, 0x0222));  // below the minimum
  EXPECT_EQ(Msr(*machine, 0, 0x198) & 0xFF00, 0x0600u);

  // With EIST off a request is kept in PERF_CTL but changes nothing.
  ASSERT_TRUE(machine->WriteMsr(0x1A0, Msr(*machine, 0, 0x1A0) & ~(1ull << 16)));
  ASSERT_TRUE(machine->WriteMsr(0x199, 0x0A22));
  EXPECT_EQ(Msr(*machine, 0, 0x199), 0x0A22u);
  EXPECT_EQ(Msr(*machine, 0, 0x198) & 0xFF00, 0x0600u);

  auto nehalem = ModelMachine("core-i7-920");
  ASSERT_TRUE(nehalem->WriteMsr(0x199, 0x10));
  EXPECT_EQ(Msr(*nehalem, 0, 0x198) & 0xFFFF, 0x10u);
  EXPECT_NEAR(Mhz(*nehalem), 2133.34, 0.01);
  ASSERT_TRUE(nehalem->WriteMsr(0x199, 0x05));
  EXPECT_EQ(Msr(*nehalem, 0, 0x198) & 0xFF, 12u) << "maximum efficiency ratio";
}

TEST(SimCpuModels, ClockModulationSlowsTheCoreByItsDuty) {
  auto machine = ModelMachine("core2-e7300");
  ASSERT_TRUE(machine->WriteMsr(0x19A, 0x16));  // enabled, duty 3/8
  EXPECT_NEAR(Mhz(*machine), 1000.0, 0.01);
  ASSERT_TRUE(machine->WriteMsr(0x19A, 0x10));  // duty 0 is reserved: no effect
  EXPECT_DOUBLE_EQ(Mhz(*machine), 2666.67);
  ASSERT_TRUE(machine->WriteMsr(0x19A, 0x06));  // duty without the enable bit
  EXPECT_DOUBLE_EQ(Mhz(*machine), 2666.67);
}

TEST(SimCpuModels, K8FidVidTransitionsNeedInitFidVid) {
  auto machine = ModelMachine("athlon64-x2-5000");
  ASSERT_TRUE(machine->WriteMsr(0xC0010041, 0x0A02));
  EXPECT_DOUBLE_EQ(Mhz(*machine), 2600) << "no InitFidVid: nothing happens";
  ASSERT_TRUE(machine->WriteMsr(0xC0010041, 0x11202));
  EXPECT_EQ(Msr(*machine, 0, 0xC0010041), 0x1202u) << "InitFidVid reads back as 0";
  const uint64_t status = Msr(*machine, 0, 0xC0010042);
  EXPECT_EQ(status & 0x3F, 2u);
  EXPECT_EQ((status >> 32) & 0x3F, 0x12u);
  EXPECT_DOUBLE_EQ(Mhz(*machine), 1000);
  ASSERT_TRUE(machine->WriteMsr(0xC0010041, 0x10830));  // FID above MaxFID
  EXPECT_EQ(Msr(*machine, 0, 0xC0010042) & 0x3F, 0x12u);
}

TEST(SimCpuModels, K10PStatesPerCoreWithinTheLimit) {
  auto machine = ModelMachine("phenom2-x4-940");
  machine->SelectCpu(2);
  ASSERT_TRUE(machine->WriteMsr(0xC0010062, 1));
  EXPECT_EQ(Msr(*machine, 2, 0xC0010063), 1u);
  EXPECT_EQ(Msr(*machine, 2, 0xC0010071) & 0xFFFFFFFF, 0x3C013407u);
  EXPECT_EQ(Msr(*machine, 2, 0xC0010071) >> 32, 0xB090u) << "limits kept";
  EXPECT_DOUBLE_EQ(Mhz(*machine, 2), 2300);
  EXPECT_DOUBLE_EQ(Mhz(*machine, 0), 3000);
  ASSERT_TRUE(machine->WriteMsr(0xC0010062, 7));  // beyond PstateMaxVal: the lowest
  EXPECT_EQ(Msr(*machine, 2, 0xC0010063), 3u);
  EXPECT_DOUBLE_EQ(Mhz(*machine, 2), 800);
  // A disabled P-state is refused.
  machine->Cpu(2).SetMsrValue(0xC0010061, 0x40);
  ASSERT_TRUE(machine->WriteMsr(0xC0010062, 4));
  EXPECT_EQ(Msr(*machine, 2, 0xC0010063), 3u);
}

TEST(SimAmdNorthbridge, HtcThrottlesAndNbConfigGatesExtendedCf8Access) {
  std::string error;
  auto machine = CreateSimMachine("am2p-phenom", BoardsDir, &error);
  ASSERT_NE(machine, nullptr) << error;
  EXPECT_EQ(machine->PciConfigRead(Cf8(0x18, 4, 0), 0, 4), 0x12041022u);
  EXPECT_EQ(machine->PciConfigRead(Cf8(0x18, 0, 0x88), 1, 1), 10u);     // 1.8 GHz link
  EXPECT_EQ(machine->PciConfigRead(Cf8(0x18, 4, 0x1E0), 0, 4), 0x0Eu);  // P0 FID/DID

  machine->PciConfigWrite(Cf8(0x18, 3, 0x64), 0, 1, 0xFF);
  EXPECT_EQ(machine->PciConfigRead(Cf8(0x18, 3, 0x64), 0, 1), 0x11u) << "HtcEn and HtcActive";
  EXPECT_DOUBLE_EQ(Mhz(*machine, 3), 1500);
  machine->PciConfigWrite(Cf8(0x18, 3, 0x64), 0, 1, 0);
  EXPECT_EQ(machine->PciConfigRead(Cf8(0x18, 3, 0x64), 0, 1), 0u);
  EXPECT_DOUBLE_EQ(Mhz(*machine, 3), 3000);

  // Clearing EnableCf8ExtCfg on one core: every core sees it and 0x1E0 is out of reach.
  machine->SelectCpu(1);
  ASSERT_TRUE(machine->WriteMsr(0xC001001F, 0));
  EXPECT_EQ(Msr(*machine, 3, 0xC001001F), 0u);
  EXPECT_EQ(machine->PciConfigRead(Cf8(0x18, 4, 0x1E0), 0, 4),
            machine->PciConfigRead(Cf8(0x18, 4, 0xE0), 0, 4));
  ASSERT_TRUE(machine->WriteMsr(0xC001001F, 1ull << 46));
  EXPECT_EQ(machine->PciConfigRead(Cf8(0x18, 4, 0x1E0), 0, 4), 0x0Eu);

  // PsiVid is writable on family 10h.
  machine->PciConfigWrite(Cf8(0x18, 3, 0xA0), 0, 1, 0x96);
  EXPECT_EQ(machine->PciConfigRead(Cf8(0x18, 3, 0xA0), 0, 1), 0x96u);
}

TEST(SimAmdNorthbridge, ThrottlesSurviveASavedState) {
  std::string error;
  auto machine = CreateSimMachine("am2p-phenom", BoardsDir, &error);
  ASSERT_NE(machine, nullptr) << error;
  machine->PortOut(0xCD6, 1, 0x61);
  machine->PortOut(0xCD7, 1, 0x18);
  machine->PciConfigWrite(Cf8(0x18, 3, 0x64), 0, 1, 1);
  ASSERT_TRUE(machine->WriteMsr(0xC0010062, 2));
  EXPECT_DOUBLE_EQ(Mhz(*machine), 450);  // 1.8 GHz at a quarter
  TSimState state;
  machine->SaveState(state);

  auto fresh = CreateSimMachine("am2p-phenom", BoardsDir, &error);
  EXPECT_DOUBLE_EQ(Mhz(*fresh), 3000);
  ASSERT_TRUE(fresh->LoadState(state, &error)) << error;
  EXPECT_DOUBLE_EQ(Mhz(*fresh), 450);
  EXPECT_DOUBLE_EQ(Mhz(*fresh, 1), 750);
  fresh->PortOut(0xCD6, 1, 0x61);
  EXPECT_EQ(fresh->PortIn(0xCD7, 1), 0x18u);
  fresh->PortOut(0xCD7, 1, 0x08);
  fresh->PciConfigWrite(Cf8(0x18, 3, 0x64), 0, 1, 0);
  EXPECT_DOUBLE_EQ(Mhz(*fresh, 1), 3000);
}

TEST(SimAmdNorthbridge, K8BoardHasFourFunctionsAndTheMcpThrottle) {
  std::string error;
  auto machine = CreateSimMachine("am2-k8", BoardsDir, &error);
  ASSERT_NE(machine, nullptr) << error;
  for (uint8_t f = 0; f < 4; ++f) {
    EXPECT_EQ(machine->PciConfigRead(Cf8(0x18, f, 0), 0, 4), 0x11001022u + (uint32_t{f} << 16));
  }
  EXPECT_EQ(machine->PciConfigRead(Cf8(0x18, 4, 0), 0, 4), 0xFFFFFFFFu);
  EXPECT_EQ(machine->PciConfigRead(Cf8(0x18, 0, 0x88), 1, 1), 6u);  // 1 GHz link
  machine->PciConfigWrite(Cf8(0x18, 3, 0xA0), 0, 1, 0x96);
  EXPECT_EQ(machine->PciConfigRead(Cf8(0x18, 3, 0xA0), 0, 1), 0u) << "no PSI register";

  machine->PortOut(0x1010, 4, 0x1000);
  EXPECT_DOUBLE_EQ(Mhz(*machine, 1), 1300);
  EXPECT_EQ(machine->PortIn(0x1011, 1), 0x10u);
  machine->PortOut(0x1011, 1, 0);
  EXPECT_DOUBLE_EQ(Mhz(*machine, 1), 2600);
}

TEST(SimAmdNorthbridge, BoardFileMistakesAreReported) {
  const std::filesystem::path dir =
      std::filesystem::path(::testing::TempDir()) / ("cpumodel-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  struct TCase {
    const char* Text;
    const char* Message;
  } const cases[] = {
      {"[Processor]\nModel=phenom2-x4-940\n[AmdNorthbridge]\nHtLinkMhz=1800\nSpeed=1\n",
       "Speed: unknown key"},
      {"[Processor]\nModel=phenom2-x4-940\n[AmdNorthbridge]\nHtLinkMHz=700\n",
       "no link-frequency code gives 700 MHz"},
      {"[Processor]\nModel=core2-e7300\n[AmdNorthbridge]\n", "needs an AMD family 0Fh or 10h"},
      {"[Processor]\nModel=athlon\n", "[Processor] Model: unknown processor model 'athlon'"},
      {"[Processor]\nModel=athlon64-x2-5000\n[McpPcnt]\nValue=1\n", "[McpPcnt] Port: missing"},
      {"[Processor]\nModel=athlon64-x2-5000\n[AmdSbPm]\nConfig.0xFF=01 02\n",
       "runs past the last register"},
  };
  for (const TCase& c : cases) {
    const std::string path = (dir / "bad.ini").string();
    std::ofstream(path) << "[Board]\n" << c.Text;
    std::string error;
    EXPECT_EQ(CreateSimMachine(path, "", &error), nullptr) << c.Text;
    EXPECT_NE(error.find(c.Message), std::string::npos) << error;
  }
  // A model with overrides: the section's keys win.
  std::ofstream((dir / "ok.ini").string())
      << "[Board]\n[Processor]\nModel=phenom2-x4-940\nCores=2\nSignature=0x100F43\n";
  std::string error;
  auto machine = CreateSimMachine((dir / "ok.ini").string(), "", &error);
  ASSERT_NE(machine, nullptr) << error;
  EXPECT_EQ(machine->CpuCount(), 2u);
  EXPECT_EQ(machine->Config().Processor.Signature, 0x100F43u);
  EXPECT_EQ(machine->Config().Processor.BrandString, "AMD Phenom(tm) II X4 940 Processor");
  std::filesystem::remove_all(dir);
}

}  // namespace

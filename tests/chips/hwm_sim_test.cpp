// The monitors end to end on simulated boards: the Super I/O found through the shipped database,
// the monitor through its logical device, and physical quantities set on the board's monitor
// inputs read back within one step of the chip's converters.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "hwmrig.h"
#include "platform/cpu.h"
#include "platform/korspec.h"
#include "sim/analoginputs.h"
#include "sim/simboard.h"

namespace {

namespace fs = std::filesystem;

std::string BoardPath(const std::string& name) {
  return (fs::path(::testing::TempDir()) /
          ("hwm-" + std::to_string(::getpid()) + "-" + name + ".ini"))
      .string();
}

// A board file of the test's own in the temporary directory; its path.
std::string WriteBoard(const std::string& name, const std::string& text) {
  std::ofstream(BoardPath(name), std::ios::binary) << text;
  return BoardPath(name);
}

const char* const kBoardHead =
    "[Board]\nName=hwm-test\n"
    "[Processor]\nVendor=GenuineIntel\nSignature=0x10677\nCores=2\nFrequencyMHz=2666.67\n";

class THwmSimRig : public siotest::TSioRig {
 public:
  THwmSimRig(const std::string& name, const std::string& board)
      : TSioRig(WriteBoard(name, board)), BoardPath_(BoardPath(name)) {
    WriteShipped();
    Detect();
    ModelPath = (fs::path(IniPath).parent_path() / "Model.ini").string();
  }
  ~THwmSimRig() { fs::remove(BoardPath_); }

  void WriteModel(const std::string& text) {
    std::ofstream(ModelPath, std::ios::binary) << text;
    Model = std::make_unique<TiFile>(ModelPath);
  }
  THwmContext Context() {
    THwmContext context{*Rw, *Model, Sio};
    context.NewSio = [this] {
      return std::make_unique<TSio>(*Init, TScriptServices{*Rw, 2, Instance});
    };
    context.Sleep = [](uint32_t) {};
    return context;
  }
  TSimAnalogInputs& Inputs() { return SimMonitorInputs(*Machine); }

  std::string ModelPath;
  std::unique_ptr<TiFile> Model;

 private:
  std::string BoardPath_;
};

// The RPM a monitor reports for a fan the chip counts as 1350000 / (rpm x divisor) must lie
// within one count of that (the program's own constant is 1356000).
void ExpectFanWithinOneCount(int32_t reported, double rpm, double divisor) {
  const double count = 1350000.0 / (rpm * divisor);
  const double low = 1356000.0 / ((count + 1) * divisor) - 1;
  const double high = 1356000.0 / ((count - 1) * divisor) + 1;
  EXPECT_GE(reported, low) << "set " << rpm << " RPM";
  EXPECT_LE(reported, high) << "set " << rpm << " RPM";
}

// A W83667HG at 0x4E with its monitor at 0x290. Rails: 12 V behind 56k/10k on VIN0, 5 V behind
// 30k/10k on VIN2, 3.3 V on 3VCC (the chip halves it), the regulator's current monitor on VIN1.
// The CPU fan gets divisor 2^(3 + 4) = 128, the others keep the power-on 2.
const std::string kWinbondBoard = std::string(kBoardHead) +
                                  "[SuperIO]\nChip=W83667HG\nPort=0x4E\nHwmBase=0x290\n"
                                  "Hwm.0x47=D0\nHwm.0x5D=40\n"
                                  "[Monitor]\nCPUVCORE=1.2 V\nVIN0=12.1 V divider 56/10\n"
                                  "VIN2=5.05 V divider 30/10\n3VCC=3.31 V\nVIN1=0.75 V\n"
                                  "SYSTIN=38 C\nCPUTIN=52.4 C\n"
                                  "CPUFANIN0=2250 RPM\nSYSFANIN=3200 RPM\nCPUFANIN1=2900 RPM\n"
                                  "AUXFANIN1=3000 RPM\nAUXFANIN0=0 RPM\n";

const char* const kWinbondModel =
    "[SioHwmSetting]\nSioVcoreReg=0x20\nSioVcoreR2=1\n"
    "Sio12VReg=0x21\nSio12VR1=56\nSio12VR2=10\n"
    "Sio5VReg=0x25\nSio5VR1=30\nSio5VR2=10\n"
    "Sio3VReg=0x23\nSio3VR1=1\nSio3VR2=1\n"
    "SioImonVReg=0x24\n";

TEST(HwmOnSimulatedChips, WinbondW83667HG) {
  THwmSimRig rig("w83667hg", kWinbondBoard);
  ASSERT_TRUE(rig.Sio->Detected());
  EXPECT_EQ(rig.Sio->Name, "W83667HG");
  EXPECT_EQ(rig.Sio->IndexPortNo, 0x4E);
  rig.WriteModel(kWinbondModel);
  THwm hwm(rig.Context());
  IHwm& m = *hwm.Monitor();
  ASSERT_EQ(m.Name, "Winbond");
  EXPECT_EQ(m.IndexPort, 0x295);
  EXPECT_EQ(m.DataPort, 0x296);

  m.Refresh();
  EXPECT_NEAR(m.Vcore, 1.2, 0.008);
  EXPECT_NEAR(m.V12, 12.1, 0.008 * 66 / 10);
  EXPECT_NEAR(m.V5, 5.05, 0.008 * 40 / 10);
  EXPECT_NEAR(m.V3_3, 3.31, 0.016);
  EXPECT_EQ(m.BoardTemp, 38);
  EXPECT_EQ(m.CpuTemp, 52);  // whole degrees; the half degree sits in the next register
  ExpectFanWithinOneCount(m.Fans[0], 2250, 128);
  ExpectFanWithinOneCount(m.Fans[1], 3200, 2);
  ExpectFanWithinOneCount(m.Fans[2], 2900, 2);
  ExpectFanWithinOneCount(m.Fans[3], 3000, 2);  // bank 5
  EXPECT_EQ(m.Fans[4], 0);

  // The engine's per-tick readings follow the inputs.
  ASSERT_TRUE(rig.Inputs().SetValue("CPUVCORE", 1.3375));
  ASSERT_TRUE(rig.Inputs().SetValue("VIN1", 1.02));
  hwm.RefreshVcore();
  EXPECT_NEAR(hwm.GetVcore(), 1.3375, 0.008);
  EXPECT_NEAR(hwm.ReadRegister(static_cast<uint8_t>(m.ImonReg)) * 0.008, 1.02, 0.008);

  ASSERT_TRUE(rig.Inputs().SetValue("CPUFANIN0", 0));
  ASSERT_TRUE(rig.Inputs().SetValue("CPUTIN", 61));
  ASSERT_TRUE(rig.Inputs().SetValue("SYSTIN", 70));
  m.Refresh();
  EXPECT_EQ(m.Fans[0], 0);
  EXPECT_EQ(m.CpuTemp, 61);
  EXPECT_EQ(m.BoardTemp, 70);
}

TEST(HwmOnSimulatedChips, WinbondCpuFanControlReachesTheChip) {
  THwmSimRig rig("w83667hg-fan", kWinbondBoard);
  rig.WriteModel(kWinbondModel);
  THwm hwm(rig.Context());
  IHwm& m = *hwm.Monitor();
  m.SetCpuFanControl(45, 0x90, false);
  uint8_t target = 0;
  uint8_t value = 0;
  ASSERT_TRUE(m.GetCpuFanControl(target, value));
  EXPECT_EQ(target, 45);
  EXPECT_EQ(value, 0x90);
}

// An IT8720F at 0x2E with its environment controller at 0x290, fans 1 to 3 in 16-bit mode.
// Rails: 3.3 V behind 1k/1k on VIN2, 5 V behind 3k/2k on VIN3, 12 V behind 5k/1k on VIN4.
const std::string kIteBoard = std::string(kBoardHead) +
                              "[SuperIO]\nChip=IT8720F\nPort=0x2E\nHwmBase=0x290\nHwm.0x0C=07\n"
                              "[Monitor]\nVIN0=1.25 V\nVIN2=3.3 V divider 1/1\n"
                              "VIN3=5.0 V divider 3/2\nVIN4=12.0 V divider 5/1\nVIN1=0.6 V\n"
                              "TMPIN1=47 C\nTMPIN2=35 C\n"
                              "FAN_TAC1=2600 RPM\nFAN_TAC2=0 RPM\nFAN_TAC3=1800 RPM\n";

const char* const kIteModel =
    "[SioHwmSetting_ITE]\nSioVcoreReg=0x20\nSioVcoreR2=1\n"
    "Sio3VReg=0x22\nSio3VR1=1\nSio3VR2=1\n"
    "Sio5VReg=0x23\nSio5VR1=3\nSio5VR2=2\n"
    "Sio12VReg=0x24\nSio12VR1=5\nSio12VR2=1\n"
    "SioImonVReg=0x21\n"
    "[FanConfig]\nCPUFAN=Fan1\nCHASSISFAN=Fan2\nNBFAN=Fan3\n"
    "[Fan1]\nReadingMsbReg=0x18\nReadingLsbReg=0x0D\nDivisor=2\n"
    "[Fan2]\nReadingMsbReg=0x19\nReadingLsbReg=0x0E\nDivisor=2\n"
    "[Fan3]\nReadingMsbReg=0x1A\nReadingLsbReg=0x0F\nDivisor=2\n";

TEST(HwmOnSimulatedChips, IteIT8720F) {
  THwmSimRig rig("it8720f", kIteBoard);
  ASSERT_TRUE(rig.Sio->Detected());
  EXPECT_EQ(rig.Sio->Vendor, "ITE");
  rig.WriteModel(kIteModel);
  THwm hwm(rig.Context());
  IHwm& m = *hwm.Monitor();
  ASSERT_EQ(m.Name, "ITE");
  ASSERT_TRUE(rig.Sio->Detected());  // the fresh detection found the chip again
  EXPECT_EQ(m.IndexPort, 0x295);

  m.Refresh();
  EXPECT_NEAR(m.Vcore, 1.25, 0.016);
  EXPECT_NEAR(m.V3_3, 3.3, 0.016 * 2);
  EXPECT_NEAR(m.V5, 5.0, 0.016 * 5 / 2);
  EXPECT_NEAR(m.V12, 12.0, 0.016 * 6);
  EXPECT_EQ(m.CpuTemp, 47);
  EXPECT_EQ(m.BoardTemp, 35);
  ExpectFanWithinOneCount(m.Fans[0], 2600, 2);
  EXPECT_EQ(m.Fans[1], 0);  // a stopped fan counts 0xFFFF
  ExpectFanWithinOneCount(m.Fans[3], 1800, 2);

  hwm.RefreshVcore();
  ASSERT_TRUE(rig.Inputs().SetValue("VIN0", 1.1));
  hwm.RefreshVcore();
  EXPECT_NEAR(hwm.GetVcore(), 1.1, 0.016);
  EXPECT_NEAR(hwm.GetAlternateVcore(), 1.25, 0.016);  // the largest Vcore RefreshVcore saw
  EXPECT_NEAR(hwm.ReadRegister(static_cast<uint8_t>(m.ImonReg)) * 0.016, 0.6, 0.016);

  ASSERT_TRUE(rig.Inputs().SetValue("VIN0", 0));
  hwm.RefreshVcore();
  EXPECT_EQ(hwm.GetVcore(), -1.0f);
}

TEST(HwmOnSimulatedChips, IteCpuFanControlReachesTheChip) {
  THwmSimRig rig("it8720f-fan", kIteBoard);
  rig.WriteModel(kIteModel);
  THwm hwm(rig.Context());
  IHwm& m = *hwm.Monitor();
  m.SetCpuFanControl(50, 0x60, true);
  uint8_t target = 0;
  uint8_t value = 0;
  ASSERT_TRUE(m.GetCpuFanControl(target, value));
  EXPECT_EQ(target, 50);
  EXPECT_EQ(value, 0x60);
}

// Every shipped board: the monitor of the board's chip reads the core voltage and, at the default
// current-monitor register 36, the input the boards wire the regulator's current monitor to.
class HwmOnShippedBoards : public ::testing::TestWithParam<std::string> {};

std::vector<std::string> ShippedBoards() {
  std::vector<std::string> names;
  for (const TBoardFileInfo& board :
       ListBoardFiles(std::string(KORZEM_SOURCE_DIR) + "/data/boards"))
    names.push_back(board.Name);
  return names;
}

TEST_P(HwmOnShippedBoards, ReadsVcoreAndTheCurrentMonitor) {
  siotest::TSioRig rig(GetParam());
  rig.WriteShipped();
  rig.Detect();
  const std::string modelPath = (fs::path(rig.IniPath).parent_path() / "Model.ini").string();
  std::ofstream(modelPath, std::ios::binary)
      << "[SioHwmSetting]\nSioVcoreReg=0x20\nSioVcoreR2=1\n"
         "[SioHwmSetting_ITE]\nSioVcoreReg=0x20\nSioVcoreR2=1\n";
  const TiFile model(modelPath);
  THwmContext context{*rig.Rw, model, rig.Sio};
  context.NewSio = [&rig] {
    return std::make_unique<TSio>(*rig.Init, TScriptServices{*rig.Rw, 2, rig.Instance});
  };
  THwm hwm(context);
  ASSERT_NE(hwm.Monitor(), nullptr);
  if (!rig.Sio->Detected()) {
    EXPECT_EQ(hwm.Monitor()->IndexPort, 0) << "a board without a Super I/O has no monitor ports";
    return;
  }
  const bool ite = rig.Sio->Vendor == "ITE";
  EXPECT_EQ(hwm.Monitor()->Name, ite ? "ITE" : "Winbond");
  EXPECT_NE(hwm.Monitor()->IndexPort, 0);

  TSimAnalogInputs& inputs = SimMonitorInputs(*rig.Machine);
  const double lsb = ite ? 0.016 : 0.008;
  const std::optional<double> vcore = inputs.PinValue(ite ? "VIN0" : "CPUVCORE");
  const std::optional<double> imon = inputs.PinValue(ite ? "VIN4" : "VIN1");
  ASSERT_TRUE(vcore.has_value());
  ASSERT_TRUE(imon.has_value());
  hwm.RefreshVcore();
  EXPECT_NEAR(hwm.GetVcore(), *vcore, lsb);
  EXPECT_NEAR(hwm.ReadRegister(36) * lsb, *imon, lsb);
}

INSTANTIATE_TEST_SUITE_P(Boards, HwmOnShippedBoards, ::testing::ValuesIn(ShippedBoards()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param;
                           for (char& c : name)
                             if (c == '-') c = '_';
                           return name;
                         });

TEST(HwmOnSimulatedChips, PlatformFactsComeFromTheProcessorAndTheBoard) {
  siotest::TSioRig rig("p35-core2");
  rig.WriteShipped();
  rig.Detect();
  TCpu cpu(*rig.Rw, *rig.Init);
  TKorSpec korSpec(*rig.Rw, *rig.Init, true);
  const TiFile model(rig.IniPath);
  THwmContext context{*rig.Rw, model, rig.Sio};
  context.AmdProcessor = true;
  TakePlatformFacts(context, cpu, korSpec);
  EXPECT_EQ(context.BoardModel, "LQ-P35D2");
  EXPECT_FALSE(context.AmdProcessor);
}

}  // namespace

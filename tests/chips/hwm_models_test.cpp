// The shipped model files against the simulated boards they are written for: KorZem.ini names the
// file for the board's SMBIOS model (Cfg.ini for an AMD board it does not name), the monitor built
// from it reads the voltage regulator's output within one converter step at light and heavy load,
// the supply rails match the board's monitor inputs, and the current-monitor register is the one
// the regulator drives.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <optional>
#include <string>

#include "base/inifile.h"
#include "chips/hwm.h"
#include "platform/cpu.h"
#include "platform/korspec.h"
#include "sim/analoginputs.h"
#include "sim/vrm.h"
#include "sim/workload.h"
#include "tests/chips/sio_rig.h"

namespace {

namespace fs = std::filesystem;

struct TModelCase {
  const char* Board;   // board file in data/boards
  const char* Model;   // SMBIOS board model name
  const char* File;    // its model file beside the program
  const char* Vendor;  // Super I/O vendor the shipped database reports
  double Step;         // volts of one converter count at the Vcore pin
  const char* Rail3V;  // monitor inputs of the board's rails
  const char* Rail5V;
  const char* Rail12V;
};

const TModelCase kCases[] = {
    {"p35-core2", "LQ-P35D2", "LQP35D2.ini", "Winbond", 0.008, "3VCC", "VIN2", "VIN0"},
    {"x58-nehalem", "AT-X58R", "ATX58R.ini", "Winbond", 0.008, "3VCC", "VIN2", "VIN0"},
    {"p45-core2", "LQ-P45D3", "LQP45D3.ini", "Winbond", 0.008, "3VCC", "VIN2", "VIN0"},
    {"am2-k8", "VH-M570A2", "VHM570A2.ini", "Winbond", 0.008, "3VCC", "VIN2", "VIN0"},
    {"tr900-phenom", "TR900 Plus", "TR900P.ini", "ITE", 0.016, "VIN2", "VIN3", "VIN5"},
    // Not listed in SupportModel: an AMD board falls back to Cfg.ini.
    {"am2p-phenom", "APC-790FXB", "Cfg.ini", "ITE", 0.016, "VIN2", "VIN3", "VIN5"},
};

void PrintTo(const TModelCase& c, std::ostream* out) {
  *out << c.Board;
}

class HwmShippedModels : public ::testing::TestWithParam<TModelCase> {};

// The regulator's Vcore and current-monitor output against what the monitor makes of them.
void ExpectMonitorFollowsRegulator(THwm& hwm, TSimVrm& vrm, double step, const char* load) {
  const TSimVrmReading reading = vrm.Read();
  hwm.RefreshVcore();
  EXPECT_NEAR(hwm.GetVcore(), reading.Vcore, step) << "at " << load << " load";
  IHwm& m = *hwm.Monitor();
  const double imon = hwm.ReadRegister(static_cast<uint8_t>(m.ImonReg)) * step;
  EXPECT_NEAR(imon, reading.ImonVolts, step)
      << "current monitor at register " << m.ImonReg << ", " << load << " load";
}

TEST_P(HwmShippedModels, MonitorReadsTheRegulatorAndTheRails) {
  const TModelCase& c = GetParam();
  siotest::TSioRig rig(c.Board);
  rig.WriteShipped();
  rig.Detect();
  ASSERT_TRUE(rig.Sio->Detected()) << c.Board;
  EXPECT_EQ(rig.Sio->Vendor, c.Vendor);

  // The file the program opens: KorZem.ini's entry for the board model the firmware reports.
  TCpu cpu(*rig.Rw, *rig.Init);
  TKorSpec korSpec(*rig.Rw, *rig.Init, cpu.IsIntelCpu());
  const TiFile noModel("");
  THwmContext facts{*rig.Rw, noModel, rig.Sio};
  TakePlatformFacts(facts, cpu, korSpec);
  ASSERT_EQ(facts.BoardModel, c.Model);
  std::string file = rig.Init->ReadString("SupportModel", facts.BoardModel, "");
  if (file.empty() && facts.AmdProcessor) file = "Cfg.ini";
  ASSERT_EQ(file, c.File);
  const fs::path modelPath = fs::path(KORZEM_SOURCE_DIR) / "data" / file;
  ASSERT_TRUE(fs::exists(modelPath)) << modelPath;
  const TiFile model(modelPath.string());

  THwmContext context{*rig.Rw, model, rig.Sio};
  context.NewSio = [&rig] {
    return std::make_unique<TSio>(*rig.Init, TScriptServices{*rig.Rw, 2, rig.Instance});
  };
  context.Sleep = [](uint32_t) {};
  context.BoardModel = facts.BoardModel;
  context.AmdProcessor = facts.AmdProcessor;
  THwm hwm(context);
  ASSERT_NE(hwm.Monitor(), nullptr);
  IHwm& m = *hwm.Monitor();
  ASSERT_EQ(m.Name, std::string(c.Vendor) == "ITE" ? "ITE" : "Winbond");
  ASSERT_NE(m.IndexPort, 0);

  TSimVrm* vrm = FindSimVrm(*rig.Machine);
  ASSERT_NE(vrm, nullptr);
  TSimWorkload& workload = SimWorkload(*rig.Machine);
  workload.SetFixed(10);
  const double lightVcore = vrm->Read().Vcore;
  ExpectMonitorFollowsRegulator(hwm, *vrm, c.Step, "10 %");
  workload.SetFixed(90);
  const double heavyVcore = vrm->Read().Vcore;
  ExpectMonitorFollowsRegulator(hwm, *vrm, c.Step, "90 %");
  // The two loads must be far enough apart that a monitor stuck on one reading would show.
  EXPECT_GT(lightVcore - heavyVcore, 2 * c.Step);

  // The rails of the full read, against the board's monitor inputs.
  m.Refresh();
  TSimAnalogInputs& inputs = SimMonitorInputs(*rig.Machine);
  const struct {
    const char* Input;
    float Read;
  } rails[] = {{c.Rail3V, m.V3_3}, {c.Rail5V, m.V5}, {c.Rail12V, m.V12}};
  for (const auto& rail : rails) {
    const std::optional<double> volts = inputs.Value(rail.Input);
    ASSERT_TRUE(volts.has_value()) << rail.Input;
    EXPECT_NEAR(rail.Read, *volts, 0.02 * *volts) << rail.Input;
  }
  EXPECT_NEAR(m.Vcore, vrm->Read().Vcore, c.Step);
}

INSTANTIATE_TEST_SUITE_P(Boards, HwmShippedModels, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<TModelCase>& info) {
                           std::string name = info.param.Board;
                           for (char& ch : name)
                             if (ch == '-') ch = '_';
                           return name;
                         });

}  // namespace

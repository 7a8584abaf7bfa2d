// What switching must never do on a simulated board: put a backed-up pin back on another chip than
// the one it was read from, make a pin that was no GPIO a GPIO, or switch through an interface
// name the engine does not know without saying so.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "chips/gpiocontrol.h"
#include "tests/support/simcontext.h"
#include "tests/support/tracecapture.h"
#include "winpower/advreg.h"

namespace {

// The shipped board file with some lines replaced, written where the test can use it.
std::string BoardVariant(const std::string& board, const std::string& name,
                         const std::vector<std::pair<std::string, std::string>>& replacements) {
  std::ifstream in(std::string(KORZEM_SOURCE_DIR) + "/data/boards/" + board + ".ini");
  std::ostringstream text;
  text << in.rdbuf();
  std::string content = text.str();
  for (const auto& [from, to] : replacements) {
    const size_t at = content.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) content.replace(at, from.size(), to);
  }
  const std::string path = ::testing::TempDir() + name + ".ini";
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
  return path;
}

bool Pins(TSimContext& sim, TGpioKind kind, const std::string& setting) {
  return CreateGpio(kind, *sim.Context().Rw, sim.Context().Sio.get())->Matches(setting);
}

// Revision 2.x of the P45 board (strap high): the load line is the W83667HG's GPIO21, and the
// backed-up LED pin GPIO35 is the ICH's. Switching off must restore GPIO35 on the ICH and leave
// the Super I/O's GPIO35 (an input) alone.
TEST(ZemSafety, TheBackupGoesBackToTheIchNotToTheLoadLineChip) {
  const std::string board =
      BoardVariant("p45-core2", "p45-rev2", {{"ICH.GPIO14=Low", "ICH.GPIO14=High"}});
  TSimContext sim(board);
  std::ifstream shipped(std::string(KORZEM_SOURCE_DIR) + "/data/LQP45D3.ini");
  std::ostringstream model;
  model << shipped.rdbuf();
  sim.WriteModelFile(model.str());
  ASSERT_TRUE(sim.Start());
  ASSERT_EQ(sim.Zem().LoadlineInterface(), kZemW667Gpio);
  const TFakeRegistry::TValue* backup = sim.Registry.Find(kZemBackupKey, "GPIO35");
  ASSERT_NE(backup, nullptr);
  EXPECT_EQ(backup->Text, "GPIO35=High");
  ASSERT_TRUE(Pins(sim, kGpioW667, "GPIO35=InputHigh"));

  sim.Zem().SwitchOn();
  sim.Context().Gpio->ApplySetting(kGpioIch, "GPIO35=Low");  // the LED, lit
  sim.Zem().SwitchOff();
  EXPECT_TRUE(Pins(sim, kGpioIch, "GPIO35=High"));
  EXPECT_TRUE(Pins(sim, kGpioW667, "GPIO35=InputHigh GPIO21=High"));
  EXPECT_EQ(sim.Zem().Status(), TZemCtrl::kStatusOff);
}

// A backed-up pin that was no GPIO at the first start keeps its own function when switching off.
TEST(ZemSafety, ABackupOfAPinThatIsNoGpioIsNotRestored) {
  // GPIO_USE_SEL2 without bit 3: ICH GPIO35 is not a GPIO on this board.
  const std::string board = BoardVariant(
      "p45-core2", "p45-led-not-gpio", {{"GPIO_USE_SEL2=0x0000000C", "GPIO_USE_SEL2=0x00000004"}});
  TTraceCapture console;
  TSimContext sim(board);
  sim.WriteModelFile(
      "[BackupValue]\nGPIO=GPIO35\n"
      "[LoadlineControl]\nPresent0=1\nInterface0=ICHGPIO\nEnabled0=GPIO34=Low\n"
      "Disabled0=GPIO34=High\n");
  ASSERT_TRUE(sim.Start());
  const TFakeRegistry::TValue* backup = sim.Registry.Find(kZemBackupKey, "GPIO35");
  ASSERT_NE(backup, nullptr);
  EXPECT_EQ(backup->Text, "GPIO35=OutputLow");  // the word that matches only a pin that is no GPIO

  sim.Zem().SwitchOn();
  sim.Zem().SwitchOff();
  EXPECT_TRUE(Pins(sim, kGpioIch, "GPIO35=OutputLow GPIO34=High"));
  EXPECT_TRUE(console.Has("Backup [GPIO35=OutputLow] is no GPIO state: not restored"));
}

TEST(ZemSafety, AnUnknownInterfaceIsTracedAndKept) {
  struct TCase {
    const char* Model;
    const char* Unknown;
    const char* Line;
  };
  const TCase cases[] = {
      {"[LoadlineControl]\nInterface=W627gpio\nEnabled=GPIO24=Low\n",
       "W627gpio in [LoadlineControl]",
       "Unknown interface [W627gpio] in [LoadlineControl]: nothing is switched there"},
      {"[LoadlineControl]\nInterface=W627GPIO\n[PsiControl]\nInterface=ICHGIPO\n",
       "ICHGIPO in [PsiControl]",
       "Unknown interface [ICHGIPO] in [PsiControl]: nothing is switched there"},
      {"[LoadlineControl]\nPresent0=Detect0\nInterface0=ICHGPIO\n"
       "[Detect0]\nSection=Straps\nInterface=IchGpio\n[Straps]\n0=GPIO14=InputHigh\n",
       "IchGpio in [Detect0]",
       "Unknown interface [IchGpio] in [Detect0]: nothing is switched there"},
      {"[LoadlineControl]\nInterface=W627GPIO\n[PsiControl]\nInterface=ICHGPIO\n", "", ""},
  };
  for (const TCase& c : cases) {
    TTraceCapture console;
    TSimContext sim("p35-core2");
    sim.WriteModelFile(c.Model);
    ASSERT_TRUE(sim.Start());
    EXPECT_EQ(sim.Zem().UnknownInterface(), c.Unknown) << c.Model;
    if (*c.Line != 0) {
      EXPECT_TRUE(console.Has(c.Line)) << c.Model;
    } else {
      EXPECT_FALSE(console.HasStart("Unknown interface")) << c.Model;
    }
  }
}

// A setting the chip does not show afterwards is traced: the load line named on the wrong chip.
TEST(ZemSafety, APinSettingThatDidNotTakeIsTraced) {
  TTraceCapture console;
  TSimContext sim("p45-core2");  // a W83667HG, no W83627
  sim.WriteModelFile("[LoadlineControl]\nInterface=W627GPIO\nEnabled=GPIO24=Low\n");
  ASSERT_TRUE(sim.Start());
  sim.Zem().SwitchOn();
  EXPECT_TRUE(console.Has("GPIO setting [GPIO24=Low] not applied on W627GPIO"));
  EXPECT_EQ(sim.Zem().Status(), TZemCtrl::kStatusOff);
}

TEST(ZemInterfaces, OneTableNamesEveryInterface) {
  for (const TZemInterfaceEntry& entry : kZemInterfaces) {
    const std::string_view name = ZemInterfaceName(entry.Code);
    ASSERT_FALSE(name.empty());
    EXPECT_EQ(ZemInterfaceCode(name), entry.Code) << name;
    EXPECT_EQ(ZemGpioKind(entry.Code), entry.Gpio) << name;
    if (entry.Gpio != kGpioNone) {
      EXPECT_EQ(TGpioControl::KindOf(name), entry.Gpio) << name;
    }
  }
  EXPECT_EQ(ZemInterfaceCode("AMDCNQ"), kZemAmdPsi);
  EXPECT_EQ(ZemInterfaceCode("W667GPIO"), kZemW667Gpio);
  EXPECT_EQ(ZemInterfaceCode("IT8720GPIO"), kZemNone);  // not a model-file interface
  EXPECT_EQ(ZemInterfaceCode("w667gpio"), kZemNone);
  EXPECT_EQ(ZemInterfaceCode(""), kZemNone);
  EXPECT_EQ(ZemGpioKind(kZemAmdPsi), kGpioNone);
}

}  // namespace

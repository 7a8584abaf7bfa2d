// The pin model without hardware: names, setting words and items, the common state rule, and
// Matches, Apply, FindMatching, SelectByPins and Dump on a back-end whose pins are set by the test.
#include "chips/gpiobase.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <utility>
#include <vector>

#include "base/trace.h"
#include "chips/gpiobackup.h"
#include "chips/gpiocontrol.h"
#include "tests/support/tracecapture.h"

namespace {

// Pins the test sets; SetPin records its calls and also changes the pin.
class TTestGpio : public TGpioBase {
 public:
  explicit TTestGpio(const TPinNaming& naming) : TGpioBase(naming) {}
  std::array<uint8_t, kMaxPins> Chip{};
  std::vector<std::pair<int, int>> Sets;
  int Reads = 0;
  int StuckPin = -1;  // a pin whose writes the chip ignores
  bool Found = true;  // false: the chip is not there

  bool Present() const override { return Found; }
  void ReadPins() override {
    ++Reads;
    PinStates_ = Chip;
  }
  void SetPin(uint8_t index, uint8_t state) override {
    Sets.emplace_back(index, state);
    if (index != StuckPin) Chip[index] = state;
  }
};

const TPinNaming kIchNaming{64, false, 0};
const TPinNaming kNvNaming{64, false, 1};
const TPinNaming kW667Naming{72, true, 1};
const TPinNaming kW627Naming{48, true, 1};

using TConsoleLines = TTraceCapture;

// --- names, words and items ------------------------------------------------------------------

TEST(PinSetting, WordsAndTheirCodes) {
  const std::map<std::string, uint8_t> words = {
      {"INPUTLOW", 4},   {"INPUT_LOW", 4}, {"INPUTHIGH", 8}, {"INPUT_HIGH", 8},
      {"INPUT", 12},     {"LOW", 16},      {"HIGH", 32},     {"OUTPUTLOW", 1},
      {"OUTPUTHIGH", 1}, {"", 1},          {"HIGHER", 1},
  };
  for (const auto& [word, code] : words) EXPECT_EQ(SettingWordCode(word), code) << word;

  EXPECT_EQ(PinStateText(1), "Not GPIO");
  EXPECT_EQ(PinStateText(2), "Disabled");
  EXPECT_EQ(PinStateText(4), "Input Low");
  EXPECT_EQ(PinStateText(8), "Input High");
  EXPECT_EQ(PinStateText(16), "Output Low");
  EXPECT_EQ(PinStateText(32), "Output High");
  EXPECT_EQ(PinStateText(0), " !!!ERROR!!! ");
  EXPECT_EQ(PinStateText(12), " !!!ERROR!!! ");
}

TEST(PinSetting, SplitTrimsUpperCasesAndSeparatesAtBlanksAndCommas) {
  EXPECT_EQ(SplitPinSetting("  gpio14=high, GPIO15=low  "),
            (std::vector<std::string>{"GPIO14=HIGH", "GPIO15=LOW"}));
  EXPECT_EQ(SplitPinSetting("GPIO1=Low,,GPIO2=High GPIO3=Input"),
            (std::vector<std::string>{"GPIO1=LOW", "GPIO2=HIGH", "GPIO3=INPUT"}));
  // A blank around "=" splits the item.
  EXPECT_EQ(SplitPinSetting("GPIO1 = LOW"), (std::vector<std::string>{"GPIO1", "=", "LOW"}));
  EXPECT_TRUE(SplitPinSetting("  ").empty());
  EXPECT_TRUE(SplitPinSetting(" , ,").empty());
}

struct TItemCase {
  const char* Item;
  int Index;  // -1: does not parse
  int Code;
};

void ExpectItems(const TPinNaming& naming, std::initializer_list<TItemCase> cases) {
  for (const TItemCase& c : cases) {
    const std::optional<TPinItem> item = ParsePinItem(c.Item, naming);
    if (c.Index < 0) {
      EXPECT_FALSE(item.has_value()) << c.Item;
      continue;
    }
    ASSERT_TRUE(item.has_value()) << c.Item;
    EXPECT_EQ(item->Index, c.Index) << c.Item;
    EXPECT_EQ(item->Code, c.Code) << c.Item;
  }
}

TEST(PinSetting, NonGroupedNamesCountFromTheFirstNumber) {
  ExpectItems(kIchNaming, {
                              {"GPIO0=LOW", 0, 16},
                              {"GPIO14=HIGH", 14, 32},
                              {"GPIO63=INPUT", 63, 12},
                              {"GPIO007=LOW", 7, 16},
                              {"GPIO64=LOW", -1, 0},   // beyond the chip
                              {"GPIO270=LOW", -1, 0},  // would wrap to 14 in eight bits
                              {"GPIO=LOW", -1, 0},
                              {"GPIO1A=LOW", -1, 0},
                              {"GPIO-1=LOW", -1, 0},
                              {"GPIO14", -1, 0},        // no "="
                              {"GP14=HIGH", -1, 0},     // not a pin name
                              {"XGPIO14=HIGH", -1, 0},  // must begin with the name
                              {"GPIO14=", 14, 1},       // no word: only a pin that is no GPIO
                              {"GPIO14=HIGH=LOW", 14, 1},
                          });
  ExpectItems(kNvNaming, {
                             {"GPIO0=LOW", -1, 0},
                             {"GPIO1=LOW", 0, 16},
                             {"GPIO64=HIGH", 63, 32},
                             {"GPIO65=HIGH", -1, 0},
                         });
}

TEST(PinSetting, GroupedNamesAreGroupDigitAndBitDigit) {
  ExpectItems(kW667Naming, {
                               {"GPIO10=LOW", 0, 16},
                               {"GPIO14=HIGH", 4, 32},
                               {"GPIO24=INPUTLOW", 12, 4},
                               {"GPIO97=INPUT_HIGH", 71, 8},
                               {"GPIO07=LOW", -1, 0},   // group 0 lies before the first
                               {"GPIO18=LOW", -1, 0},   // bit digits are 0 to 7
                               {"GPIO1=LOW", -1, 0},    // one digit
                               {"GPIO100=LOW", -1, 0},  // three digits
                               {"GPIO1X=LOW", -1, 0},
                           });
  ExpectItems(kW627Naming, {{"GPIO67=HIGH", 47, 32}, {"GPIO70=HIGH", -1, 0}});
}

TEST(PinSetting, CommonStateRule) {
  TPinMasks masks;
  masks.Enable = 0b11111110;
  masks.Usable = 0b11111101;
  masks.Direction = 0b00110000;  // bits 4 and 5 are inputs
  masks.Level = 0b01010000;
  masks.Inversion = 0b00100100;
  EXPECT_EQ(CommonPinState(masks, 0), kPinNotGpio);  // enable wins over everything
  EXPECT_EQ(CommonPinState(masks, 1), kPinDisabled);
  EXPECT_EQ(CommonPinState(masks, 2), kPinOutputHigh);  // low level, inverted
  EXPECT_EQ(CommonPinState(masks, 3), kPinOutputLow);
  EXPECT_EQ(CommonPinState(masks, 4), kPinInputHigh);
  EXPECT_EQ(CommonPinState(masks, 5), kPinInputHigh);  // low level, inverted
  EXPECT_EQ(CommonPinState(masks, 6), kPinOutputHigh);
  masks.Enable = 0;
  masks.Usable = 0;
  EXPECT_EQ(CommonPinState(masks, 4), kPinNotGpio);
  masks.Enable = 0x80000000u;
  masks.Usable = 0xFFFFFFFFu;
  masks.Direction = 0;
  masks.Level = 0x80000000u;
  EXPECT_EQ(CommonPinState(masks, 31), kPinOutputHigh);  // 32-bit banks
}

// --- operations ------------------------------------------------------------------------------

TEST(GpioBase, ApplyDrivesEveryItemInOrderAndReadsThemBack) {
  TTestGpio gpio(kIchNaming);
  EXPECT_TRUE(gpio.Apply("gpio14=high, GPIO15=low"));
  EXPECT_EQ(gpio.Sets, (std::vector<std::pair<int, int>>{{14, 32}, {15, 16}}));
  EXPECT_EQ(gpio.Reads, 1);

  // A write the chip does not take is a failed apply, though every item was driven.
  gpio.Sets.clear();
  gpio.StuckPin = 15;
  EXPECT_FALSE(gpio.Apply("GPIO14=LOW GPIO15=HIGH"));
  EXPECT_EQ(gpio.Sets, (std::vector<std::pair<int, int>>{{14, 16}, {15, 32}}));
}

TEST(GpioBase, ApplyDrivesNothingWhenAnItemDoesNotParse) {
  TTestGpio gpio(kIchNaming);
  EXPECT_FALSE(gpio.Apply("GPIO1=HIGH GPIO99=LOW GPIO2=LOW"));
  EXPECT_FALSE(gpio.Apply(""));
  EXPECT_FALSE(gpio.Apply(" , "));
  EXPECT_TRUE(gpio.Sets.empty());
}

TEST(GpioBase, AnUnknownWordNeverMakesAPinAGpio) {
  TTestGpio gpio(kIchNaming);
  gpio.Chip[5] = kPinNotGpio;
  gpio.Chip[6] = kPinOutputHigh;
  // "OutputLow" is no setting word: it asks for a pin that is no GPIO, and drives nothing.
  EXPECT_TRUE(gpio.Apply("GPIO5=OutputLow"));
  EXPECT_FALSE(gpio.Apply("GPIO6=OutputLow"));
  EXPECT_TRUE(gpio.Sets.empty());
  EXPECT_EQ(gpio.Chip[6], kPinOutputHigh);
  EXPECT_FALSE(IsDrivenState(kPinNotGpio));
  EXPECT_FALSE(IsDrivenState(kPinDisabled));
  EXPECT_TRUE(IsDrivenState(kPinInput));
}

TEST(GpioBase, AChipThatIsNotPresentMatchesAndDrivesNothing) {
  TTestGpio gpio(kIchNaming);
  gpio.Found = false;
  gpio.Chip[1] = kPinNotGpio;
  EXPECT_FALSE(gpio.Apply("GPIO1=HIGH"));
  EXPECT_FALSE(gpio.Matches("GPIO1=OUTPUTLOW"));
  TStrings lines;
  gpio.Dump(lines);
  EXPECT_TRUE(lines.empty());
  EXPECT_TRUE(gpio.Sets.empty());
  EXPECT_EQ(gpio.Reads, 0);
}

TEST(GpioBase, MatchesTestsStateAndMask) {
  TTestGpio gpio(kIchNaming);
  gpio.Chip[3] = kPinInputLow;
  gpio.Chip[4] = kPinInputHigh;
  gpio.Chip[5] = kPinNotGpio;
  gpio.Chip[6] = kPinOutputHigh;
  EXPECT_TRUE(gpio.Matches("GPIO3=INPUT"));
  EXPECT_TRUE(gpio.Matches("GPIO4=Input"));
  EXPECT_FALSE(gpio.Matches("GPIO3=INPUTHIGH"));
  EXPECT_TRUE(gpio.Matches("GPIO5=OUTPUTLOW"));  // unknown word: only a pin that is no GPIO
  EXPECT_FALSE(gpio.Matches("GPIO6=OUTPUTHIGH"));
  EXPECT_TRUE(gpio.Matches("GPIO6=High,GPIO3=InputLow"));
  EXPECT_FALSE(gpio.Matches("GPIO6=High,GPIO3=InputHigh"));
  EXPECT_FALSE(gpio.Matches("GPIO6=High,GPIO64=Low"));  // an item that does not parse
  EXPECT_FALSE(gpio.Matches(""));
}

TEST(GpioBase, MatchesReadsThePinsEveryTime) {
  TTestGpio gpio(kIchNaming);
  gpio.Chip[7] = kPinOutputLow;
  EXPECT_TRUE(gpio.Matches("GPIO7=LOW"));
  gpio.Chip[7] = kPinOutputHigh;
  EXPECT_TRUE(gpio.Matches("GPIO7=HIGH"));
  EXPECT_EQ(gpio.Reads, 2);
  EXPECT_FALSE(gpio.Matches("  "));
  EXPECT_EQ(gpio.Reads, 2);  // an empty setting reads nothing
}

TEST(GpioBase, FindMatchingGivesTheFirstMatchingLine) {
  TTestGpio gpio(kW667Naming);
  gpio.Chip[4] = kPinOutputHigh;
  bool found = true;
  EXPECT_EQ(gpio.FindMatching({"GPIO14=LOW", "GPIO15=LOW"}, &found), 0);
  EXPECT_FALSE(found);
  EXPECT_EQ(gpio.FindMatching({"GPIO14=LOW", "GPIO14=HIGH", "GPIO14=HIGH"}, &found), 1);
  EXPECT_TRUE(found);
  EXPECT_EQ(gpio.FindMatching({"GPIO14=HIGH"}, &found), 0);
  EXPECT_TRUE(found);
  EXPECT_EQ(gpio.FindMatching({}), 0);
}

TEST(GpioBase, SelectByPinsReturnsTheValueOfTheFirstMatchingLine) {
  TTestGpio gpio(kIchNaming);
  gpio.Chip[14] = kPinOutputHigh;
  gpio.Chip[15] = kPinInputLow;
  TConsoleLines console;
  EXPECT_EQ(gpio.SelectByPins(
                {"0=GPIO14=LOW", "no setting", "1=GPIO14=HIGH,GPIO15=INPUT", "2=GPIO14=HIGH"}),
            "1");
  EXPECT_EQ(console.Lines,
            (std::vector<std::string>{"str = 1=GPIO14=HIGH,GPIO15=INPUT", "Value = 1",
                                      "OmdexSetting = GPIO14=HIGH,GPIO15=INPUT"}));
  console.Lines.clear();
  EXPECT_EQ(gpio.SelectByPins({"1=GPIO14=LOW", "1="}), "");
  EXPECT_TRUE(console.Lines.empty());
}

TEST(GpioBase, DumpOfAGroupedChip) {
  TTestGpio gpio(TPinNaming{16, true, 1});
  gpio.Chip.fill(kPinDisabled);
  gpio.Chip[0] = kPinNotGpio;
  gpio.Chip[9] = kPinOutputHigh;
  gpio.Chip[15] = 0;
  TStrings lines{"before"};
  gpio.Dump(lines);
  EXPECT_EQ(gpio.Reads, 1);
  const TStrings expected = {
      "before",
      "GPIO10 = Not GPIO",
      "GPIO11 = Disabled",
      "GPIO12 = Disabled",
      "GPIO13 = Disabled",
      "GPIO14 = Disabled",
      "GPIO15 = Disabled",
      "GPIO16 = Disabled",
      "GPIO17 = Disabled",
      "",
      "GPIO20 = Disabled",
      "GPIO21 = Output High",
      "GPIO22 = Disabled",
      "GPIO23 = Disabled",
      "GPIO24 = Disabled",
      "GPIO25 = Disabled",
      "GPIO26 = Disabled",
      "GPIO27 =  !!!ERROR!!! ",
      "",
  };
  EXPECT_EQ(lines, expected);
}

// --- the family names ------------------------------------------------------------------------

TEST(GpioControl, KindOfIsExactAndLeavesTheIt8720Out) {
  EXPECT_EQ(TGpioControl::KindOf("W627GPIO"), 1);
  EXPECT_EQ(TGpioControl::KindOf("ICHGPIO"), 2);
  EXPECT_EQ(TGpioControl::KindOf("NVGPIO"), 3);
  EXPECT_EQ(TGpioControl::KindOf("W667GPIO"), 4);
  EXPECT_EQ(TGpioControl::KindOf("IT8720GPIO"), 0);
  EXPECT_EQ(TGpioControl::KindOf("ichgpio"), 0);
  EXPECT_EQ(TGpioControl::KindOf(" ICHGPIO"), 0);
  EXPECT_EQ(TGpioControl::KindOf(""), 0);
  EXPECT_EQ(GpioKindByName("IT8720GPIO"), kGpioIt8720);
  EXPECT_EQ(GpioKindByName("W667GPIO"), kGpioW667);
  EXPECT_EQ(GpioKindByName("it8720gpio"), kGpioNone);
}

// --- first-state backup ----------------------------------------------------------------------

class TMemoryBackup : public IGpioBackupStore {
 public:
  std::map<std::string, std::string> Values;
  bool Created = false;
  bool Exists() override { return Created; }
  void Write(const std::string& pin, const std::string& text) override {
    Created = true;
    Values[pin] = text;
  }
  std::string Read(const std::string& pin) override {
    const auto it = Values.find(pin);
    return it == Values.end() ? std::string() : it->second;
  }
};

TEST(GpioBackup, TheFirstMatchingWordNamesTheState) {
  TTestGpio gpio(kIchNaming);
  const std::vector<std::pair<uint8_t, std::string>> cases = {
      {kPinOutputLow, "GPIO14=Low"},     {kPinOutputHigh, "GPIO14=High"},
      {kPinNotGpio, "GPIO14=OutputLow"}, {kPinInputHigh, "GPIO14=InputHigh"},
      {kPinInputLow, "GPIO14=InputLow"}, {kPinDisabled, ""},
  };
  for (const auto& [state, text] : cases) {
    gpio.Chip[14] = state;
    EXPECT_EQ(PinBackupText(gpio, "GPIO14"), text) << int{state};
  }
}

class GpioBackupFile : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "korzem-gpio-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    Dir = pattern;
    Path = (Dir / "Model.ini").string();
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(Dir, ignored);
  }
  void Put(const std::string& text) const { std::ofstream(Path, std::ios::binary) << text; }

  std::filesystem::path Dir;
  std::string Path;
};

TEST_F(GpioBackupFile, TheFirstStateOfABootIsKept) {
  Put("[BackupValue]\nGPIO = GPIO20 \n");
  const TiFile cfg(Path);
  TTestGpio gpio(kIchNaming);
  TMemoryBackup store;
  gpio.Chip[20] = kPinOutputHigh;
  BackupFirstPinState(cfg, gpio, store);
  EXPECT_EQ(store.Read("GPIO20"), "GPIO20=High");

  gpio.Chip[20] = kPinOutputLow;  // a later start of the same boot
  BackupFirstPinState(cfg, gpio, store);
  EXPECT_EQ(store.Read("GPIO20"), "GPIO20=High");
}

TEST_F(GpioBackupFile, NoPinNamedNothingWritten) {
  Put("[BackupValue]\nOther=GPIO20\n");
  const TiFile cfg(Path);
  TTestGpio gpio(kIchNaming);
  TMemoryBackup store;
  BackupFirstPinState(cfg, gpio, store);
  EXPECT_FALSE(store.Created);
  EXPECT_EQ(gpio.Reads, 0);
}

}  // namespace

// Each GPIO back-end against register doubles: which register and bit every pin reads, the group
// conditions and the pin-multiplexer rules, and exactly which bits SetPin writes.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "chips/gpiocontrol.h"
#include "chips/ichgpio.h"
#include "chips/it8720gpio.h"
#include "chips/nvgpio.h"
#include "chips/w627gpio.h"
#include "chips/w667gpio.h"
#include "gpiorig.h"

using gpiotest::TGpioRig;
using gpiotest::TPortBlock;
using siotest::TConfigChip;

namespace {

constexpr uint16_t kIchBase = 0x480;

// --- ICH -------------------------------------------------------------------------------------

TEST(IchGpio, ReadsBothBanks) {
  TGpioRig rig;
  TPortBlock& block = rig.AddIchGpio(kIchBase);
  block.SetDword(0x00, 0xFFFFFFFEu);  // pin 0 is no GPIO
  block.SetDword(0x04, 0x0000000Cu);  // pins 2, 3 inputs
  block.SetDword(0x0C, 0x00000014u);  // levels of pins 2 and 4
  block.SetDword(0x2C, 0x00000018u);  // pins 3 and 4 inverted
  block.SetDword(0x30, 0x00000006u);  // pins 33, 34 GPIOs
  block.SetDword(0x34, 0x00000004u);  // pin 34 input
  block.SetDword(0x38, 0x00000006u);
  TIchGpio gpio(*rig.Rw);
  gpio.ReadPins();
  EXPECT_EQ(gpio.PinState(0), kPinNotGpio);
  EXPECT_EQ(gpio.PinState(1), kPinOutputLow);
  EXPECT_EQ(gpio.PinState(2), kPinInputHigh);
  EXPECT_EQ(gpio.PinState(3), kPinInputHigh);  // low, inverted
  EXPECT_EQ(gpio.PinState(4), kPinOutputLow);  // high, inverted
  EXPECT_EQ(gpio.PinState(32), kPinNotGpio);
  EXPECT_EQ(gpio.PinState(33), kPinOutputHigh);
  EXPECT_EQ(gpio.PinState(34), kPinInputHigh);
  EXPECT_EQ(gpio.PinState(63), kPinNotGpio);
}

TEST(IchGpio, SetPinOfTheUpperBankTouchesNoInversionRegister) {
  TGpioRig rig;
  TPortBlock& block = rig.AddIchGpio(kIchBase);
  block.SetDword(0x34, 0xFFFFFFFFu);
  block.SetDword(0x2C, 0xFFFFFFFFu);
  TIchGpio gpio(*rig.Rw);
  gpio.SetPin(33, kPinOutputHigh);
  EXPECT_EQ(block.Dword(0x30), 0x00000002u);
  EXPECT_EQ(block.Dword(0x34), 0xFFFFFFFDu);
  EXPECT_EQ(block.Dword(0x38), 0x00000002u);
  EXPECT_EQ(block.WrittenOffsets(), (std::vector<uint16_t>{0x30, 0x34, 0x38}));
  for (const TPortBlock::TWrite& write : block.Writes) EXPECT_EQ(write.Width, 4);
}

TEST(IchGpio, SetPinOfTheLowerBankClearsTheInversion) {
  TGpioRig rig;
  TPortBlock& block = rig.AddIchGpio(kIchBase);
  block.SetDword(0x0C, 0xFFFFFFFFu);
  block.SetDword(0x2C, 0xFFFFFFFFu);
  TIchGpio gpio(*rig.Rw);
  gpio.SetPin(5, kPinOutputLow);
  EXPECT_EQ(block.Dword(0x00), 0x00000020u);
  EXPECT_EQ(block.Dword(0x2C), 0xFFFFFFDFu);
  EXPECT_EQ(block.Dword(0x04), 0x00000000u);
  EXPECT_EQ(block.Dword(0x0C), 0xFFFFFFDFu);

  block.Writes.clear();
  gpio.SetPin(6, kPinInput);  // any input word only turns the pin round
  EXPECT_EQ(block.WrittenOffsets(), (std::vector<uint16_t>{0x00, 0x2C, 0x04}));
  EXPECT_EQ(block.Dword(0x04), 0x00000040u);

  block.Writes.clear();
  gpio.SetPin(7, kPinNotGpio);  // would take the pin from its own function: nothing is written
  EXPECT_TRUE(block.Writes.empty());
}

// Only Intel's LPC bridge with its GPIO block enabled at a plausible base: anything else refuses
// with a debug line and touches none of the block's ports, nor where a bad base would lead.
TEST(IchGpio, RefusesABridgeThatIsNotAnEnabledIntelLpcBridge) {
  struct TCase {
    const char* What;
    uint16_t Vendor;
    uint16_t GpioBase;
    uint8_t Control;
    const char* Line;
  };
  const TCase cases[] = {
      {"VIA bridge", 0x1106, kIchBase | 1, 0x10,
       "ICHGPIO: no Intel bridge at 00:1f.0 (vendor 0x1106), refused"},
      {"GPIO_EN clear", 0x8086, kIchBase | 1, 0x00,
       "ICHGPIO: GPIO block not enabled (GPIO_CNTL 0x00), refused"},
      {"base 0", 0x8086, 0x0001, 0x10, "ICHGPIO: implausible GPIOBASE 0x0001, refused"},
      {"legacy ports", 0x8086, 0x0041, 0x10, "ICHGPIO: implausible GPIOBASE 0x0041, refused"},
      {"memory space bit", 0x8086, kIchBase, 0x10, "ICHGPIO: implausible GPIOBASE 0x0480, refused"},
      {"all ones", 0x8086, 0xFFFF, 0xFF, "ICHGPIO: implausible GPIOBASE 0xFFFF, refused"},
  };
  for (const TCase& c : cases) {
    TGpioRig rig;
    rig.AddIchBridge(c.Vendor, c.GpioBase, c.Control);
    TPortBlock& block = rig.AddBlock(kIchBase, 64);
    TIchGpio gpio(*rig.Rw);
    EXPECT_FALSE(gpio.Present()) << c.What;
    EXPECT_FALSE(gpio.Apply("GPIO5=HIGH")) << c.What;
    EXPECT_FALSE(gpio.Matches("GPIO5=OUTPUTLOW")) << c.What;
    gpio.SetPin(5, kPinOutputHigh);
    EXPECT_TRUE(block.Writes.empty()) << c.What;
    EXPECT_TRUE(rig.Lines.Starting("RW: IoBaseWrite").empty()) << c.What;
    EXPECT_EQ(rig.Lines.Starting("ICHGPIO: "), std::vector<std::string>{c.Line}) << c.What;
  }
  // No bridge at all: the reads of a missing function give all ones.
  TGpioRig bare;
  TIchGpio none(*bare.Rw);
  EXPECT_FALSE(none.Present());
  EXPECT_EQ(
      bare.Lines.Starting("ICHGPIO: "),
      std::vector<std::string>{"ICHGPIO: no Intel bridge at 00:1f.0 (vendor 0xFFFF), refused"});
}

TEST(IchGpio, ApplyThenMatchThroughTheControl) {
  TGpioRig rig;
  rig.AddIchGpio(kIchBase);
  rig.WriteIni(
      "[Loadline]\nOff = GPIO20=Low,GPIO21=Low\nOn = GPIO20=High,GPIO21=Low\n"
      "Other = GPIO20=High,GPIO21=High\n");
  const TiFile cfg(rig.IniPath);
  TGpioControl control(cfg, *rig.Rw, [] { return nullptr; });
  const int kind = TGpioControl::KindOf("ICHGPIO");
  EXPECT_TRUE(control.ApplySetting(kind, "gpio20=high gpio21=low"));
  bool found = false;
  EXPECT_EQ(control.StateIndex(kind, "Loadline", &found), 1);
  EXPECT_TRUE(found);
  EXPECT_FALSE(control.ApplySetting(kind, "GPIO64=HIGH"));
  EXPECT_EQ(control.StateIndex(kind, "Missing", &found), 0);
  EXPECT_FALSE(found);
  EXPECT_EQ(control.StateIndex(0, "Loadline", &found), 0);
  EXPECT_FALSE(control.ApplySetting(0, "GPIO20=LOW"));
  // The Super I/O families need a detected Super I/O object.
  EXPECT_FALSE(control.ApplySetting(TGpioControl::KindOf("W627GPIO"), "GPIO10=LOW"));
}

// --- NVIDIA ----------------------------------------------------------------------------------

constexpr uint16_t kNvBase = 0x0D00;  // clear of the PCI ports at 0xCF8

TEST(NvGpio, PinBytesAndTheirModes) {
  TGpioRig rig;
  rig.AddSmbus(1, 0x10DE, kNvBase | 0x00E1);  // the low byte is not part of the base
  TPortBlock& pins = rig.AddBlock(kNvBase + 0xC0, 64);
  pins.Bytes[0] = 0x00;
  pins.Bytes[1] = 0x01;
  pins.Bytes[2] = 0x04;
  pins.Bytes[3] = 0x25;  // the high nibble is not the mode
  pins.Bytes[4] = 0x07;
  pins.Bytes[5] = 0x02;
  TNvGpio gpio(*rig.Rw);
  ASSERT_TRUE(gpio.Found());
  EXPECT_EQ(gpio.Base(), kNvBase);
  gpio.ReadPins();
  EXPECT_EQ(gpio.PinState(0), kPinInputLow);
  EXPECT_EQ(gpio.PinState(1), kPinInputHigh);
  EXPECT_EQ(gpio.PinState(2), kPinOutputLow);
  EXPECT_EQ(gpio.PinState(3), kPinOutputHigh);
  EXPECT_EQ(gpio.PinState(4), kPinNotGpio);
  EXPECT_EQ(gpio.PinState(5), kPinNotGpio);
  EXPECT_TRUE(gpio.Matches("GPIO4=HIGH GPIO1=INPUTLOW"));  // names start at 1
}

TEST(NvGpio, SetPinWritesTheModeByte) {
  TGpioRig rig;
  rig.AddSmbus(1, 0x10DE, kNvBase);
  TPortBlock& pins = rig.AddBlock(kNvBase + 0xC0, 64);
  TNvGpio gpio(*rig.Rw);
  EXPECT_TRUE(gpio.Apply("GPIO1=INPUTLOW GPIO2=INPUTHIGH GPIO3=LOW GPIO4=HIGH GPIO5=INPUT"));
  const std::vector<TPortBlock::TWrite> expected = {
      {0, 1, 0x00}, {1, 1, 0x01}, {2, 1, 0x04}, {3, 1, 0x05}, {4, 1, 0x00},
  };
  EXPECT_EQ(pins.Writes, expected);

  // An unknown word is no mode: writing its code would make pin 64 an input-high GPIO.
  pins.Writes.clear();
  pins.Bytes[63] = 0x0F;  // not a GPIO mode
  EXPECT_TRUE(gpio.Apply("GPIO64=OUTPUTHIGH"));
  EXPECT_FALSE(gpio.Apply("GPIO4=OUTPUTHIGH"));
  EXPECT_TRUE(pins.Writes.empty());
}

TEST(NvGpio, WithoutAnNvidiaSmbusNothingIsTouched) {
  TGpioRig rig;
  rig.AddSmbus(1, 0x8086, kNvBase);  // the first SMBus controller is not NVIDIA's
  rig.AddSmbus(2, 0x10DE, kNvBase);
  TPortBlock& pins = rig.AddBlock(kNvBase + 0xC0, 64);
  TPortBlock& low = rig.AddBlock(0xC0, 64);  // where base 0 would lead
  pins.Bytes.assign(64, 0x05);
  low.Bytes.assign(64, 0x05);
  TNvGpio gpio(*rig.Rw);
  EXPECT_FALSE(gpio.Found());
  EXPECT_FALSE(gpio.Matches("GPIO1=HIGH"));
  EXPECT_FALSE(gpio.Matches("GPIO1=OUTPUTLOW"));  // no state at all, not even Not GPIO
  EXPECT_FALSE(gpio.Apply("GPIO1=LOW"));
  EXPECT_EQ(rig.Lines.Starting("NVGPIO: "),
            std::vector<std::string>{
                "NVGPIO: the SMBus controller is not NVIDIA's (vendor 0x8086), refused"});
  TStrings lines;
  gpio.Dump(lines);
  EXPECT_TRUE(lines.empty());
  EXPECT_TRUE(pins.Writes.empty());
  EXPECT_TRUE(low.Writes.empty());

  TGpioRig bare;
  TNvGpio none(*bare.Rw);
  EXPECT_FALSE(none.Found());
}

// --- Winbond W83627DHG -----------------------------------------------------------------------

class W627GpioTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Chip.Global[0x29] = 0x09;  // groups 1 and 6 are GPIOs
    Chip.Reg(7, 0x30) = 0x09;
    Chip.Reg(9, 0x30) = 0x0F;
    Chip.Global[0x2C] = 0x02;  // pins 28, 29 belong to group 4
    Chip.Global[0x2D] = 0xFF;
    ASSERT_TRUE(Rig.DetectChip(Chip).Detected());
    ASSERT_EQ(Rig.Sio->Name, "W83627DHG");
  }
  uint8_t State(int pin) {
    TW627Gpio gpio(*Rig.Sio);
    gpio.ReadPins();
    return gpio.PinState(pin);
  }

  TGpioRig Rig;
  TConfigChip Chip{TConfigChip::TFamily::Winbond, 0x2E, 0xA0, 0x23};
};

TEST_F(W627GpioTest, Pin12IsGpio24InLogicalDevice9RegistersE3ToE5Bit4) {
  Chip.Reg(9, 0xE3) = 0x10;
  Chip.Reg(9, 0xE4) = 0x10;
  EXPECT_EQ(State(12), kPinInputHigh);
  Chip.Reg(9, 0xE5) = 0x10;
  EXPECT_EQ(State(12), kPinInputLow);
  Chip.Reg(9, 0xE3) = 0xEF;
  EXPECT_EQ(State(12), kPinOutputLow);
  EXPECT_EQ(State(11), kPinInputLow);
  TW627Gpio gpio(*Rig.Sio);
  EXPECT_TRUE(gpio.Matches("GPIO24=LOW,GPIO23=INPUT_LOW"));
}

TEST_F(W627GpioTest, GroupConditionsComeFirst) {
  Chip.Reg(7, 0xF3) = 0x00;
  EXPECT_EQ(State(0), kPinOutputLow);
  Chip.Reg(7, 0xF3) = 0x01;  // NOT F3 is the enable mask
  EXPECT_EQ(State(0), kPinNotGpio);
  EXPECT_EQ(State(1), kPinOutputLow);
  Chip.Global[0x29] = 0x08;  // CR29 bit 0 clear: the whole group is no GPIO
  EXPECT_EQ(State(1), kPinNotGpio);
  Chip.Global[0x29] = 0x01;
  EXPECT_EQ(State(40), kPinNotGpio);  // group 6 needs CR29 bit 3
  Chip.Global[0x29] = 0x09;
  Chip.Reg(7, 0x30) = 0x01;  // group 6 not activated
  EXPECT_EQ(State(40), kPinDisabled);
  EXPECT_EQ(State(47), kPinDisabled);
  EXPECT_EQ(State(1), kPinOutputLow);
}

TEST_F(W627GpioTest, Cr2cTakesPinsOfGroups3And4) {
  EXPECT_EQ(State(18), kPinOutputLow);
  Chip.Global[0x2C] = 0x02 | 0x20 | 0x80;
  TW627Gpio gpio(*Rig.Sio);
  gpio.ReadPins();
  EXPECT_EQ(gpio.PinState(18), kPinNotGpio);
  EXPECT_EQ(gpio.PinState(19), kPinOutputLow);
  EXPECT_EQ(gpio.PinState(20), kPinNotGpio);
  EXPECT_EQ(gpio.PinState(28), kPinOutputLow);
  Chip.Global[0x2C] = 0x00;  // bit 1 clear: pins 28 and 29 are no GPIOs
  gpio.ReadPins();
  EXPECT_EQ(gpio.PinState(27), kPinOutputLow);
  EXPECT_EQ(gpio.PinState(28), kPinNotGpio);
  EXPECT_EQ(gpio.PinState(29), kPinNotGpio);
  EXPECT_EQ(gpio.PinState(30), kPinOutputLow);
  Chip.Global[0x2C] = 0x13;  // group 3 and group 4 both given away
  gpio.ReadPins();
  EXPECT_EQ(gpio.PinState(16), kPinNotGpio);
  EXPECT_EQ(gpio.PinState(31), kPinNotGpio);
  Chip.Global[0x2C] = 0x02;
  Chip.Reg(9, 0xF7) = 0x80;
  gpio.ReadPins();
  EXPECT_EQ(gpio.PinState(31), kPinNotGpio);
}

TEST_F(W627GpioTest, Group5EnableIsCr2d) {
  Chip.Global[0x2D] = 0xFE;
  EXPECT_EQ(State(32), kPinNotGpio);
  EXPECT_EQ(State(33), kPinOutputLow);
  Chip.Reg(9, 0xE0) = 0x02;
  Chip.Reg(9, 0xE1) = 0x02;
  EXPECT_EQ(State(33), kPinInputHigh);
}

TEST_F(W627GpioTest, SetPinActivatesTheGroupAndLeavesTheEnableAlone) {
  Chip.Global[0x29] = 0x00;
  Chip.Reg(7, 0x30) = 0x00;
  Chip.Reg(7, 0xF0) = 0xFF;
  Chip.Reg(7, 0xF2) = 0xFF;
  Chip.Reg(7, 0xF3) = 0x04;
  TW627Gpio gpio(*Rig.Sio);
  gpio.SetPin(3, kPinOutputHigh);
  EXPECT_EQ(Chip.Global[0x29], 0x01);
  EXPECT_EQ(Chip.Reg(7, 0x30), 0x01);
  EXPECT_EQ(Chip.Reg(7, 0xF2), 0xF7);
  EXPECT_EQ(Chip.Reg(7, 0xF0), 0xF7);
  EXPECT_EQ(Chip.Reg(7, 0xF1), 0x08);
  EXPECT_EQ(Chip.Reg(7, 0xF3), 0x04);
  EXPECT_TRUE(gpio.Matches("GPIO13=HIGH"));
  EXPECT_TRUE(gpio.Matches("GPIO12=OUTPUTHIGH"));  // its F3 bit still takes it away

  gpio.SetPin(45, kPinInputHigh);  // group 6
  EXPECT_EQ(Chip.Global[0x29], 0x09);
  EXPECT_EQ(Chip.Reg(7, 0x30), 0x09);
  EXPECT_EQ(Chip.Reg(7, 0xF4), 0x20);

  gpio.SetPin(20, kPinOutputLow);  // group 3: logical device 9, act bit 1
  EXPECT_EQ(Chip.Reg(9, 0x30), 0x0F);
  Chip.Reg(9, 0x30) = 0x00;
  gpio.SetPin(20, kPinOutputLow);
  EXPECT_EQ(Chip.Reg(9, 0x30), 0x02);
  EXPECT_EQ(Chip.Global[0x29], 0x09);
}

TEST_F(W627GpioTest, ApplyThenMatchEveryGroup) {
  Chip.Reg(7, 0x30) = 0x00;
  Chip.Reg(9, 0x30) = 0x00;
  TW627Gpio gpio(*Rig.Sio);
  const char* setting = "GPIO10=HIGH GPIO27=LOW GPIO31=INPUT GPIO44=HIGH GPIO57=LOW GPIO67=HIGH";
  EXPECT_FALSE(gpio.Matches(setting));
  EXPECT_TRUE(gpio.Apply(setting));
  EXPECT_TRUE(gpio.Matches(setting));
  EXPECT_TRUE(gpio.Matches("GPIO10=HIGH,GPIO27=LOW"));
  EXPECT_FALSE(gpio.Matches("GPIO10=LOW"));
}

// --- Winbond W83667HG ------------------------------------------------------------------------

class W667GpioTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Chip.Global[0x29] = 0x08;
    Chip.Global[0x2C] = 0x40;  // pins 23 and 32 stay GPIOs
    Chip.Reg(7, 0x30) = 0x1E;
    Chip.Reg(8, 0x30) = 0x02;
    Chip.Reg(9, 0x30) = 0x0F;
    ASSERT_TRUE(Rig.DetectChip(Chip).Detected());
    ASSERT_EQ(Rig.Sio->Name, "W83667HG");
  }
  TPinStates Read() {
    TW667Gpio gpio(*Rig.Sio);
    gpio.ReadPins();
    TPinStates states{};
    for (int pin = 0; pin < gpio.PinCount(); ++pin) states[pin] = gpio.PinState(pin);
    return states;
  }

  TGpioRig Rig;
  TConfigChip Chip{TConfigChip::TFamily::Winbond, 0x4E, 0xA5, 0x13};
};

TEST_F(W667GpioTest, EveryGroupReadsItsOwnRegisters) {
  // One input-high pin per group at bit (group - 1), in the group's direction and level
  // registers; everything else output low.
  struct TGroupRegs {
    uint8_t Ldn, Direction, Level;
  };
  const TGroupRegs groups[9] = {{8, 0xF0, 0xF1}, {9, 0xE0, 0xE1}, {9, 0xE4, 0xE5},
                                {9, 0xF0, 0xF1}, {9, 0xF4, 0xF5}, {7, 0xF4, 0xF5},
                                {7, 0xE0, 0xE1}, {7, 0xE4, 0xE5}, {7, 0xE8, 0xE9}};
  for (int g = 0; g < 9; ++g) {
    Chip.Reg(groups[g].Ldn, groups[g].Direction) = static_cast<uint8_t>(1 << (g % 8));
    Chip.Reg(groups[g].Ldn, groups[g].Level) = static_cast<uint8_t>(1 << (g % 8));
  }
  const TPinStates states = Read();
  for (int g = 0; g < 9; ++g) {
    for (int bit = 0; bit < 8; ++bit) {
      const int pin = g * 8 + bit;
      EXPECT_EQ(states[pin], bit == g % 8 ? kPinInputHigh : kPinOutputLow) << "pin " << pin;
    }
  }
}

TEST_F(W667GpioTest, Cr2cBits7And6ClearTakePins23And32) {
  Chip.Reg(9, 0xE4) = 0xFF;  // group 3 all inputs
  Chip.Reg(9, 0xF4) = 0xFF;  // group 5 all inputs
  Chip.Global[0x2C] = 0x00;
  TPinStates states = Read();
  EXPECT_EQ(states[23], kPinNotGpio);
  EXPECT_EQ(states[32], kPinNotGpio);
  EXPECT_EQ(states[22], kPinInputLow);
  EXPECT_EQ(states[33], kPinInputLow);
  Chip.Global[0x2C] = 0x80;
  states = Read();
  EXPECT_EQ(states[23], kPinInputLow);
  EXPECT_EQ(states[32], kPinInputLow);
}

TEST_F(W667GpioTest, Pin14AndTheGroup8And9Rules) {
  TPinStates states = Read();
  for (int pin : {14, 59, 60, 64, 67, 71}) EXPECT_EQ(states[pin], kPinOutputLow) << pin;

  Chip.Global[0x27] = 0x20;
  EXPECT_EQ(Read()[14], kPinNotGpio);
  Chip.Global[0x27] = 0x00;
  Chip.Global[0x24] = 0x02;
  EXPECT_EQ(Read()[14], kPinNotGpio);
  Chip.Global[0x24] = 0x00;

  Chip.Global[0x27] = 0x01;
  states = Read();
  EXPECT_EQ(states[59], kPinNotGpio);
  EXPECT_EQ(states[60], kPinOutputLow);
  Chip.Global[0x27] = 0x02;
  states = Read();
  EXPECT_EQ(states[59], kPinOutputLow);
  EXPECT_EQ(states[60], kPinNotGpio);

  Chip.Global[0x27] = 0x04;
  states = Read();
  for (int pin = 64; pin < 72; ++pin)
    EXPECT_EQ(states[pin], pin == 67 || pin == 71 ? kPinOutputLow : kPinNotGpio) << pin;
  Chip.Global[0x27] = 0x08;
  states = Read();
  for (int pin = 64; pin < 72; ++pin)
    EXPECT_EQ(states[pin], pin == 67 ? kPinNotGpio : kPinOutputLow) << pin;
  Chip.Global[0x27] = 0x10;
  states = Read();
  for (int pin = 64; pin < 72; ++pin)
    EXPECT_EQ(states[pin], pin == 71 ? kPinNotGpio : kPinOutputLow) << pin;

  Chip.Global[0x27] = 0x00;
  Chip.Global[0x2C] = 0x41;  // CR2C bit 0 gives every shared pin of groups 8 and 9 away
  states = Read();
  for (int pin = 56; pin < 72; ++pin) {
    const bool shared = pin == 59 || pin == 60 || pin >= 64;
    EXPECT_EQ(states[pin], shared ? kPinNotGpio : kPinOutputLow) << pin;
  }
}

TEST_F(W667GpioTest, GroupConditionsAndEnableMasks) {
  Chip.Global[0x2C] = 0x42;  // CR2C bit 1: groups 1 and 7 are no GPIOs
  TPinStates states = Read();
  EXPECT_EQ(states[0], kPinNotGpio);
  EXPECT_EQ(states[48], kPinNotGpio);
  EXPECT_EQ(states[8], kPinOutputLow);
  Chip.Global[0x2C] = 0x40;

  Chip.Global[0x2A] = 0x04;  // group 4
  Chip.Global[0x29] = 0x00;  // group 6
  states = Read();
  EXPECT_EQ(states[24], kPinNotGpio);
  EXPECT_EQ(states[40], kPinNotGpio);
  Chip.Global[0x2A] = 0x00;
  Chip.Global[0x29] = 0x08;

  Chip.Reg(9, 0x30) = 0x0D;  // group 3 not activated
  states = Read();
  EXPECT_EQ(states[16], kPinDisabled);
  EXPECT_EQ(states[8], kPinOutputLow);
  Chip.Reg(9, 0x30) = 0x0F;

  Chip.Global[0x2B] = 0x01;  // group 3: NOT (CR2B OR EA)
  Chip.Reg(9, 0xEA) = 0x02;
  Chip.Reg(7, 0xF8) = 0x80;
  Chip.Reg(7, 0xEE) = 0x01;
  Chip.Reg(9, 0xE9) = 0x10;
  states = Read();
  EXPECT_EQ(states[16], kPinNotGpio);
  EXPECT_EQ(states[17], kPinNotGpio);
  EXPECT_EQ(states[18], kPinOutputLow);
  EXPECT_EQ(states[47], kPinNotGpio);
  EXPECT_EQ(states[64], kPinNotGpio);
  EXPECT_EQ(states[12], kPinNotGpio);
}

TEST_F(W667GpioTest, SetPinClearsTheEnableBitOfGroups1And7To9) {
  Chip.Reg(8, 0x30) = 0x00;
  Chip.Reg(8, 0xF4) = 0xFF;
  Chip.Reg(7, 0x30) = 0x00;
  Chip.Reg(7, 0xEC) = 0xFF;
  Chip.Reg(7, 0xED) = 0xFF;
  Chip.Reg(7, 0xEE) = 0xFF;
  Chip.Reg(7, 0xF8) = 0xFF;
  Chip.Global[0x29] = 0x00;
  TW667Gpio gpio(*Rig.Sio);

  gpio.SetPin(2, kPinOutputHigh);
  EXPECT_EQ(Chip.Reg(8, 0x30), 0x02);
  EXPECT_EQ(Chip.Reg(8, 0xF4), 0xFB);
  EXPECT_EQ(Chip.Reg(8, 0xF1), 0x04);

  gpio.SetPin(41, kPinOutputHigh);  // group 6: CR29 bit 3, act 0x02, F8 stays
  EXPECT_EQ(Chip.Global[0x29], 0x08);
  EXPECT_EQ(Chip.Reg(7, 0x30), 0x02);
  EXPECT_EQ(Chip.Reg(7, 0xF8), 0xFF);
  EXPECT_EQ(Chip.Reg(7, 0xF5), 0x02);

  gpio.SetPin(49, kPinInput);
  gpio.SetPin(58, kPinOutputLow);
  gpio.SetPin(70, kPinOutputHigh);
  EXPECT_EQ(Chip.Reg(7, 0x30), 0x1E);
  EXPECT_EQ(Chip.Reg(7, 0xEC), 0xFD);
  EXPECT_EQ(Chip.Reg(7, 0xED), 0xFB);
  EXPECT_EQ(Chip.Reg(7, 0xEE), 0xBF);
  EXPECT_EQ(Chip.Reg(7, 0xE0), 0x02);
  EXPECT_EQ(Chip.Reg(7, 0xE9), 0x40);

  const auto before = Chip.Banks;
  const auto global = Chip.Global;
  gpio.SetPin(72, kPinOutputHigh);  // beyond the chip
  EXPECT_EQ(Chip.Banks, before);
  EXPECT_EQ(Chip.Global, global);
}

TEST_F(W667GpioTest, ApplyThenMatchAcrossTheLogicalDevices) {
  Chip.Reg(7, 0x30) = 0x00;
  Chip.Reg(8, 0x30) = 0x00;
  Chip.Reg(9, 0x30) = 0x00;
  Chip.Reg(8, 0xF4) = 0xFF;
  TW667Gpio gpio(*Rig.Sio);
  const char* setting = "GPIO12=HIGH GPIO25=LOW GPIO35=INPUT GPIO46=HIGH GPIO77=LOW GPIO97=HIGH";
  EXPECT_FALSE(gpio.Matches(setting));
  EXPECT_TRUE(gpio.Apply(setting));
  EXPECT_TRUE(gpio.Matches(setting));
}

// --- ITE IT8720F -----------------------------------------------------------------------------

class It8720GpioTest : public ::testing::Test {
 protected:
  static constexpr uint16_t kBase = 0x0A00;

  void SetUp() override {
    for (uint8_t cr = 0x25; cr <= 0x29; ++cr) Chip.Global[cr] = 0xFF;
    for (uint8_t reg = 0xC0; reg <= 0xC4; ++reg) Chip.Reg(7, reg) = 0xFF;
    for (uint8_t reg : {0xB8, 0xBA, 0xBB, 0xBC}) Chip.Reg(7, reg) = 0xFF;
    Chip.Reg(7, 0x62) = kBase >> 8;
    Chip.Reg(7, 0x63) = kBase & 0xFF;
    ASSERT_TRUE(Rig.DetectChip(Chip).Detected());
    ASSERT_EQ(Rig.Sio->Name, "IT8720F");
  }
  uint8_t State(int pin) {
    TIT8720Gpio gpio(*Rig.Rw, *Rig.Sio);
    gpio.ReadPins();
    return gpio.PinState(pin);
  }

  TGpioRig Rig;
  TConfigChip Chip{TConfigChip::TFamily::Ite, 0x2E, 0x87, 0x20};
  TPortBlock& Levels = Rig.AddBlock(kBase, 8);
  TPortBlock& Moved = Rig.AddBlock(0x0B00, 8);
};

TEST_F(It8720GpioTest, Gpio14IsSet1Bit4AndADirectionBitMeansOutput) {
  EXPECT_EQ(State(4), kPinInputLow);  // direction bit 0: input
  Levels.Bytes[0] = 0x10;
  EXPECT_EQ(State(4), kPinInputHigh);
  Chip.Reg(7, 0xC8) = 0x10;
  EXPECT_EQ(State(4), kPinOutputHigh);
  Chip.Reg(7, 0xB0) = 0x10;
  EXPECT_EQ(State(4), kPinOutputLow);
  EXPECT_EQ(State(3), kPinInputLow);
  TIT8720Gpio gpio(*Rig.Rw, *Rig.Sio);
  EXPECT_TRUE(gpio.Matches("GPIO14=LOW GPIO13=INPUT"));
}

TEST_F(It8720GpioTest, EnableUsableAndTheLevelPortOfEachSet) {
  Chip.Global[0x25] = 0xFE;  // set 1: C0 AND CR25
  Chip.Reg(7, 0xC2) = 0x7F;  // set 3
  Chip.Reg(7, 0xB8) = 0xFD;  // set 1 pin 1 unusable
  Chip.Reg(7, 0xBC) = 0x00;  // set 5: bits 6 and 7 always usable
  Chip.Reg(7, 0xCF) = 0x80;
  Levels.Bytes[7] = 0x80;
  Levels.Bytes[1] = 0x01;
  TIT8720Gpio gpio(*Rig.Rw, *Rig.Sio);
  gpio.ReadPins();
  EXPECT_EQ(gpio.PinState(0), kPinNotGpio);
  EXPECT_EQ(gpio.PinState(1), kPinDisabled);
  EXPECT_EQ(gpio.PinState(8), kPinInputHigh);
  EXPECT_EQ(gpio.PinState(23), kPinNotGpio);
  EXPECT_EQ(gpio.PinState(32), kPinDisabled);
  EXPECT_EQ(gpio.PinState(37), kPinDisabled);
  EXPECT_EQ(gpio.PinState(38), kPinInputLow);
  EXPECT_EQ(gpio.PinState(39), kPinInputLow);
  EXPECT_EQ(gpio.PinState(40), kPinInputLow);  // sets 6 to 8 have no enables
  EXPECT_EQ(gpio.PinState(63), kPinOutputHigh);
}

TEST_F(It8720GpioTest, SetPinWritesConfigurationAndTheLevelPort) {
  Chip.Reg(7, 0xB8) = 0x00;
  Chip.Reg(7, 0xB0) = 0xFF;
  Levels.Bytes[0] = 0x01;
  TIT8720Gpio gpio(*Rig.Rw, *Rig.Sio);
  gpio.SetPin(4, kPinOutputHigh);
  EXPECT_EQ(Chip.Reg(7, 0xB8), 0x10);
  EXPECT_EQ(Chip.Reg(7, 0xB0), 0xEF);
  EXPECT_EQ(Chip.Reg(7, 0xC8), 0x10);
  EXPECT_EQ(Levels.Bytes[0], 0x11);
  EXPECT_TRUE(gpio.Matches("GPIO14=HIGH"));

  gpio.SetPin(4, kPinOutputLow);
  EXPECT_EQ(Levels.Bytes[0], 0x01);
  gpio.SetPin(4, kPinInput);
  EXPECT_EQ(Chip.Reg(7, 0xC8), 0x00);
  EXPECT_EQ(Levels.Bytes[0], 0x01);

  Chip.Reg(7, 0xB9) = 0x5A;  // set 2 has no usable register: B9 is left alone
  gpio.SetPin(9, kPinOutputHigh);
  EXPECT_EQ(Chip.Reg(7, 0xB9), 0x5A);
  EXPECT_EQ(Chip.Reg(7, 0xC9), 0x02);
  Chip.Reg(7, 0xB5) = 0xFF;  // sets 6 to 8 have no inversion register
  gpio.SetPin(47, kPinOutputHigh);
  EXPECT_EQ(Chip.Reg(7, 0xB5), 0xFF);
  EXPECT_EQ(Chip.Reg(7, 0xCD), 0x80);
  EXPECT_EQ(Levels.Bytes[5], 0x80);
}

TEST_F(It8720GpioTest, TheBaseIsReadAtEveryCall) {
  TIT8720Gpio gpio(*Rig.Rw, *Rig.Sio);
  gpio.SetPin(0, kPinOutputHigh);
  EXPECT_EQ(Levels.Bytes[0], 0x01);
  Chip.Reg(7, 0x62) = 0x0B;
  gpio.SetPin(0, kPinOutputHigh);
  EXPECT_EQ(Moved.Bytes[0], 0x01);
  EXPECT_TRUE(gpio.Matches("GPIO10=HIGH"));
  Moved.Bytes[0] = 0x00;
  EXPECT_TRUE(gpio.Matches("GPIO10=LOW"));

  gpio.SetPin(64, kPinOutputHigh);  // beyond the chip
  EXPECT_EQ(Moved.Writes.size(), 1u);
}

// --- without a Super I/O ---------------------------------------------------------------------

TEST(SioGpio, WithoutADetectedChipNoSettingMatches) {
  TGpioRig rig;
  rig.WriteShipped();
  TSio& sio = rig.Detect();
  ASSERT_FALSE(sio.Detected());
  TW627Gpio w627(sio);
  TW667Gpio w667(sio);
  TIT8720Gpio it8720(*rig.Rw, sio);
  for (TGpioBase* gpio : std::initializer_list<TGpioBase*>{&w627, &w667, &it8720}) {
    // All ones from the refused reads would otherwise look like inputs or outputs.
    for (const char* setting : {"GPIO20=INPUT", "GPIO20=HIGH", "GPIO20=LOW", "GPIO20=OUTPUTLOW"})
      EXPECT_FALSE(gpio->Matches(setting)) << setting;
    EXPECT_FALSE(gpio->Apply("GPIO20=HIGH"));  // parses; drives nothing
    TStrings lines;
    gpio->Dump(lines);
    EXPECT_TRUE(lines.empty());
  }
  EXPECT_EQ(rig.Lines.Starting("W627GPIO: "),
            std::vector<std::string>{"W627GPIO: no Super I/O detected, refused"});
}

// Each Super I/O back-end drives only the chips its register map describes: on a chip of another
// family (or one known only by its family's vendor section) it refuses without unlocking the chip.
TEST(SioGpio, EachBackEndRefusesAChipOfAnotherFamily) {
  struct TCase {
    const char* What;
    TConfigChip::TFamily Family;
    uint8_t Id, Revision;
    const char* Present;  // the one interface that drives this chip, or none
  };
  const TCase cases[] = {
      {"W83627DHG", TConfigChip::TFamily::Winbond, 0xA0, 0x23, "W627GPIO"},
      {"W83667HG", TConfigChip::TFamily::Winbond, 0xA5, 0x13, "W667GPIO"},
      {"IT8720F", TConfigChip::TFamily::Ite, 0x87, 0x20, "IT8720GPIO"},
      {"IT8718F", TConfigChip::TFamily::Ite, 0x87, 0x18, ""},
      {"Winbond family only", TConfigChip::TFamily::Winbond, 0x52, 0x00, ""},
  };
  for (const TCase& c : cases) {
    TGpioRig rig;
    TConfigChip chip{c.Family, 0x2E, c.Id, c.Revision};
    TSio& sio = rig.DetectChip(chip);
    ASSERT_TRUE(sio.Detected()) << c.What;
    for (const char* name : {"W627GPIO", "W667GPIO", "IT8720GPIO"}) {
      const int unlocks = chip.Unlocks;
      std::unique_ptr<TGpioBase> gpio = CreateGpio(name, *rig.Rw, &sio);
      ASSERT_NE(gpio, nullptr);
      const bool ours = std::string(name) == c.Present;
      EXPECT_EQ(gpio->Present(), ours) << c.What << " " << name;
      if (ours) continue;
      EXPECT_FALSE(gpio->Apply("GPIO21=HIGH")) << c.What << " " << name;
      EXPECT_FALSE(gpio->Matches("GPIO21=INPUT")) << c.What << " " << name;
      gpio->SetPin(11, kPinOutputLow);
      EXPECT_EQ(chip.Unlocks, unlocks) << c.What << " " << name;
      EXPECT_EQ(rig.Lines.Starting(std::string(name) + ": ").size(), 1u) << c.What << " " << name;
    }
  }
}

// An IT8720F whose simple I/O base is not set would have its levels written to ports 0 to 7.
TEST(SioGpio, It8720RefusesAnImplausibleLevelPortBase) {
  TGpioRig rig;
  TConfigChip chip{TConfigChip::TFamily::Ite, 0x2E, 0x87, 0x20};
  TSio& sio = rig.DetectChip(chip);
  TPortBlock& low = rig.AddBlock(0x00, 8);
  chip.Reg(7, 0xC8) = 0x00;
  TIT8720Gpio gpio(*rig.Rw, sio);
  ASSERT_TRUE(gpio.Present());
  EXPECT_FALSE(gpio.Apply("GPIO14=HIGH"));
  EXPECT_FALSE(gpio.Matches("GPIO14=INPUT"));
  EXPECT_TRUE(low.Writes.empty());
  EXPECT_EQ(chip.Reg(7, 0xC8), 0x00);  // the direction was not touched either
  EXPECT_EQ(rig.Lines.Starting("IT8720GPIO: implausible simple I/O base 0x0000").size(), 3u);
}

// --- by interface name -----------------------------------------------------------------------

TEST(GpioByName, EveryInterfaceNameMakesItsBackEnd) {
  TGpioRig rig;
  rig.AddIchGpio(kIchBase);
  TConfigChip chip{TConfigChip::TFamily::Winbond, 0x2E, 0xA0, 0x23};
  TSio& sio = rig.DetectChip(chip);
  EXPECT_NE(dynamic_cast<TIchGpio*>(CreateGpio("ICHGPIO", *rig.Rw, &sio).get()), nullptr);
  EXPECT_NE(dynamic_cast<TNvGpio*>(CreateGpio("NVGPIO", *rig.Rw, &sio).get()), nullptr);
  EXPECT_NE(dynamic_cast<TW627Gpio*>(CreateGpio("W627GPIO", *rig.Rw, &sio).get()), nullptr);
  EXPECT_NE(dynamic_cast<TW667Gpio*>(CreateGpio("W667GPIO", *rig.Rw, &sio).get()), nullptr);
  EXPECT_NE(dynamic_cast<TIT8720Gpio*>(CreateGpio("IT8720GPIO", *rig.Rw, &sio).get()), nullptr);
  EXPECT_EQ(CreateGpio("W627GPIO", *rig.Rw, nullptr), nullptr);
  EXPECT_EQ(CreateGpio("ICHGPIO", *rig.Rw, nullptr)->PinCount(), 64);
  EXPECT_EQ(CreateGpio("GPIO", *rig.Rw, &sio), nullptr);
}

}  // namespace

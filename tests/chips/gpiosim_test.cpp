// The GPIO back-ends on the shipped simulated boards: the Super I/O found through the shipped
// database, pins driven through the chip models and seen by the board's wiring (the voltage
// regulator's nets), straps read back, and the listings.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>

#include "chips/gpiocontrol.h"
#include "chips/ichgpio.h"
#include "chips/it8720gpio.h"
#include "chips/nvgpio.h"
#include "chips/w627gpio.h"
#include "chips/w667gpio.h"
#include "gpiorig.h"
#include "sim/itechips.h"
#include "sim/pinwiring.h"
#include "sim/superio.h"
#include "sim/winbondchips.h"

using gpiotest::TGpioRig;

namespace {

bool HasLine(const TStrings& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TSimSuperIo& SimChip(TGpioRig& rig) {
  auto* chip = dynamic_cast<TSimSuperIo*>(rig.Machine->FindDevice(TSimSuperIo::Name));
  EXPECT_NE(chip, nullptr);
  return *chip;
}

// Apply, then a fresh back-end (as every request gets) must see the setting; the net the pin
// drives follows.
void ExpectApplyThenMatch(TGpioRig& rig, TSio* sio, const char* interfaceName,
                          const std::string& pin, const char* net) {
  TSimPinWiring& wiring = SimWiring(*rig.Machine);
  for (const bool high : {true, false, true}) {
    const std::string setting = pin + (high ? "=High" : "=Low");
    EXPECT_TRUE(CreateGpio(interfaceName, *rig.Rw, sio)->Apply(setting)) << setting;
    EXPECT_TRUE(CreateGpio(interfaceName, *rig.Rw, sio)->Matches(setting)) << setting;
    EXPECT_FALSE(CreateGpio(interfaceName, *rig.Rw, sio)->Matches(pin + (high ? "=Low" : "=High")))
        << setting;
    EXPECT_EQ(wiring.NetLevel(net), high) << setting;
    TStrings lines;
    CreateGpio(interfaceName, *rig.Rw, sio)->Dump(lines);
    EXPECT_TRUE(HasLine(lines, pin + (high ? " = Output High" : " = Output Low"))) << setting;
  }
}

// --- Intel P35 / ICH9 with a W83627DHG --------------------------------------------------------

TEST(GpioOnP35, IchDrivesThePowerStateInput) {
  TGpioRig rig("p35-core2");
  ExpectApplyThenMatch(rig, nullptr, "ICHGPIO", "GPIO33", "VR.PSI");
}

TEST(GpioOnP35, IchReadsTheBiosStateAndStraps) {
  TGpioRig rig("p35-core2");
  TIchGpio gpio(*rig.Rw);
  EXPECT_EQ(gpio.Base(), 0x480);
  EXPECT_TRUE(gpio.Matches("GPIO14=InputHigh GPIO33=High"));
  TStrings lines;
  gpio.Dump(lines);
  ASSERT_EQ(lines.size(), 64u);  // not grouped: no empty lines
  EXPECT_EQ(lines[0], "GPIO0 = Not GPIO");
  EXPECT_EQ(lines[14], "GPIO14 = Input High");
  EXPECT_EQ(lines[33], "GPIO33 = Output High");
}

TEST(GpioOnP35, W627DrivesTheLoadLineInput) {
  TGpioRig rig("p35-core2");
  TSio& sio = rig.DetectShipped();
  ASSERT_EQ(sio.Name, "W83627DHG");
  ExpectApplyThenMatch(rig, &sio, "W627GPIO", "GPIO24", "VR.LOADLINE");
}

TEST(GpioOnP35, W627ReadsTheRevisionStraps) {
  TGpioRig rig("p35-core2");
  TSio& sio = rig.DetectShipped();
  TW627Gpio gpio(sio);
  EXPECT_TRUE(gpio.Apply("GPIO30=Input GPIO31=Input"));
  EXPECT_TRUE(gpio.Matches("GPIO30=InputLow GPIO31=InputHigh"));
  EXPECT_EQ(gpio.SelectByPins({"0=GPIO30=InputHigh", "1=GPIO30=InputLow,GPIO31=InputHigh"}), "1");
  TStrings lines;
  gpio.Dump(lines);
  ASSERT_EQ(lines.size(), 6u * 9u);  // six groups of eight, each closed by an empty line
  EXPECT_EQ(lines[0].substr(0, 9), "GPIO10 = ");
  EXPECT_EQ(lines[8], "");
  EXPECT_EQ(lines[9 * 2 + 0], "GPIO30 = Input Low");
  EXPECT_EQ(lines[9 * 2 + 1], "GPIO31 = Input High");
  EXPECT_EQ(lines[9 * 5 + 7].substr(0, 9), "GPIO67 = ");
}

TEST(GpioOnP35, NoNvidiaSmbus) {
  TGpioRig rig("p35-core2");
  TNvGpio gpio(*rig.Rw);
  EXPECT_FALSE(gpio.Found());
  EXPECT_FALSE(gpio.Matches("GPIO1=OUTPUTLOW"));
  TStrings lines;
  gpio.Dump(lines);
  EXPECT_TRUE(lines.empty());
}

TEST(GpioOnP35, ControlStateIndexAndApply) {
  TGpioRig rig("p35-core2");
  TSio& sio = rig.DetectShipped();
  const std::string model = rig.IniPath + ".model";
  std::ofstream(model) << "[LoadLineOn]\nA=GPIO24=Low\nB=GPIO24=High\n";
  const TiFile cfg(model);
  TGpioControl control(cfg, *rig.Rw, [&sio] { return &sio; });
  const int kind = TGpioControl::KindOf("W627GPIO");
  ASSERT_TRUE(control.ApplySetting(kind, "GPIO24=High"));
  bool found = false;
  EXPECT_EQ(control.StateIndex(kind, "LoadLineOn", &found), 1);
  EXPECT_TRUE(found);
  ASSERT_TRUE(control.ApplySetting(kind, "GPIO24=Low"));
  EXPECT_EQ(control.StateIndex(kind, "LoadLineOn", &found), 0);
  EXPECT_TRUE(found);
}

// --- Intel X58 / ICH10R with a W83667HG -------------------------------------------------------

TEST(GpioOnX58, W667DrivesBothRegulatorInputs) {
  TGpioRig rig("x58-nehalem");
  TSio& sio = rig.DetectShipped();
  ASSERT_EQ(sio.Name, "W83667HG");
  ExpectApplyThenMatch(rig, &sio, "W667GPIO", "GPIO21", "VR.LOADLINE");
  ExpectApplyThenMatch(rig, &sio, "W667GPIO", "GPIO22", "VR.PSI");
}

TEST(GpioOnX58, W667ReadsStrapsInTwoDevices) {
  TGpioRig rig("x58-nehalem");
  TSio& sio = rig.DetectShipped();
  TW667Gpio gpio(sio);
  EXPECT_TRUE(gpio.Apply("GPIO26=Input GPIO27=Input GPIO60=Input"));
  EXPECT_TRUE(gpio.Matches("GPIO26=InputHigh GPIO27=InputLow GPIO60=InputHigh"));
  TStrings lines;
  gpio.Dump(lines);
  ASSERT_EQ(lines.size(), 9u * 9u);
  EXPECT_EQ(lines[9 * 8 + 7].substr(0, 9), "GPIO97 = ");
}

TEST(GpioOnX58, W667Cr2cTakesPins23And32FromTheGpioGroups) {
  TGpioRig rig("x58-nehalem");
  TSio& sio = rig.DetectShipped();
  TSimSuperIo& chip = SimChip(rig);
  TW667Gpio gpio(sio);
  // Pin 23 is GPIO37, pin 32 is GPIO50. The registers take the setting, but the two pins are not
  // GPIOs while CR2C bits 7-6 are clear, so the apply does not report them driven.
  EXPECT_FALSE(gpio.Apply("GPIO37=High GPIO50=High GPIO36=High GPIO51=Input"));
  ASSERT_TRUE(chip.SetRegister(0, 0x2C, chip.Register(0, 0x2C) | 0x40));
  EXPECT_TRUE(gpio.Matches("GPIO37=High GPIO50=High"));
  ASSERT_TRUE(chip.SetRegister(0, 0x2C, chip.Register(0, 0x2C) & 0x3F));
  EXPECT_TRUE(gpio.Matches("GPIO37=OutputLow GPIO50=OutputLow"));  // no GPIOs any more
  EXPECT_TRUE(gpio.Matches("GPIO36=High,GPIO51=Input"));           // their neighbours are
}

TEST(GpioOnX58, IchOfTheIch10) {
  TGpioRig rig("x58-nehalem");
  TIchGpio gpio(*rig.Rw);
  EXPECT_EQ(gpio.Base(), 0x500);
  EXPECT_TRUE(gpio.Matches("GPIO14=InputLow GPIO33=InputHigh"));
  EXPECT_TRUE(gpio.Apply("GPIO33=Low"));
  EXPECT_TRUE(gpio.Matches("GPIO33=Low"));
}

// --- AMD AM2+ TR900 Plus with an IT8720F ------------------------------------------------------

TEST(GpioOnTr900, It8720DrivesTheLoadLineInput) {
  TGpioRig rig("tr900-phenom");
  TSio& sio = rig.DetectShipped();
  ASSERT_EQ(sio.Name, "IT8720F");
  ExpectApplyThenMatch(rig, &sio, "IT8720GPIO", "GPIO14", "VR.LOADLINE");
}

TEST(GpioOnTr900, It8720DirectionBitSetMeansOutput) {
  TGpioRig rig("tr900-phenom");
  TSio& sio = rig.DetectShipped();
  TSimSuperIo& chip = SimChip(rig);
  TIT8720Gpio gpio(*rig.Rw, sio);
  ASSERT_TRUE(gpio.Apply("GPIO14=High"));
  EXPECT_EQ(chip.Register(7, 0xC8) & 0x10, 0x10);
  ASSERT_TRUE(gpio.Apply("GPIO14=Input"));
  EXPECT_EQ(chip.Register(7, 0xC8) & 0x10, 0x00);
  EXPECT_TRUE(gpio.Matches("GPIO14=Input"));
  // The pin is now an input on the regulator's net: nothing drives it, so it reads the pull.
  EXPECT_TRUE(gpio.Matches("GPIO14=InputHigh"));
  // The TR900 Plus check of the main window is this test on a fresh back-end.
  ASSERT_TRUE(gpio.Apply("GPIO14=High"));
  EXPECT_TRUE(TIT8720Gpio(*rig.Rw, sio).Matches("GPIO14=High"));
}

TEST(GpioOnTr900, It8720ListsEightSets) {
  TGpioRig rig("tr900-phenom");
  TSio& sio = rig.DetectShipped();
  TStrings lines;
  TIT8720Gpio(*rig.Rw, sio).Dump(lines);
  ASSERT_EQ(lines.size(), 8u * 9u);
  EXPECT_EQ(lines[4], "GPIO14 = Output High");  // the BIOS drives it through its polarity bit
  EXPECT_EQ(lines[1], "GPIO11 = Not GPIO");     // its select bit is clear
  EXPECT_EQ(lines[9 * 7 + 7].substr(0, 9), "GPIO87 = ");
}

// --- AMD AM2 / MCP55 with a W83627DHG -------------------------------------------------------

TEST(GpioOnAm2, NvidiaGpioDrivesThePowerStateInput) {
  TGpioRig rig("am2-k8");
  TNvGpio gpio(*rig.Rw);
  ASSERT_TRUE(gpio.Found());
  EXPECT_EQ(gpio.Base(), 0x1400);
  EXPECT_TRUE(gpio.Matches("GPIO12=High GPIO20=InputLow"));
  ExpectApplyThenMatch(rig, nullptr, "NVGPIO", "GPIO12", "VR.PSI");
  TStrings lines;
  gpio.Dump(lines);
  ASSERT_EQ(lines.size(), 64u);
  EXPECT_EQ(lines[11], "GPIO12 = Output High");
  EXPECT_EQ(lines[19], "GPIO20 = Input Low");
}

// --- the back-ends' reading against the chip models --------------------------------------------

// With random multiplexer, enable, direction, level and polarity registers (every group active),
// each pin's state must agree with what the chip model does with the pin: Not GPIO exactly where
// the model gives the pin to another function, outputs driving the shown level, inputs floating
// and reading the shown level off the wiring.
void ExpectReadingAgreesWithTheChip(const char* board, uint8_t globalsLdn,
                                    std::unique_ptr<TGpioBase> (*make)(TGpioRig&, TSio&)) {
  TGpioRig rig(board);
  TSio& sio = rig.DetectShipped();
  TSimSuperIo& chip = SimChip(rig);
  auto* pins = dynamic_cast<const ISimPinSource*>(&chip);
  ASSERT_NE(pins, nullptr);
  TSimPinWiring& wiring = SimWiring(*rig.Machine);
  std::mt19937 random(20090307);
  for (int round = 0; round < 8; ++round) {
    for (uint8_t reg = 0x24; reg <= 0x2D; ++reg)
      chip.SetRegister(globalsLdn, reg, static_cast<uint8_t>(random()));
    for (uint8_t ldn : {7, 8, 9}) {
      for (int reg = 0xB0; reg <= 0xFF; ++reg)
        if (chip.HasRegister(ldn, static_cast<uint8_t>(reg)))
          chip.SetRegister(ldn, static_cast<uint8_t>(reg), static_cast<uint8_t>(random()));
      if (chip.HasRegister(ldn, TSimSuperIo::Activate))
        chip.SetRegister(ldn, TSimSuperIo::Activate, 0xFF);
    }
    std::unique_ptr<TGpioBase> gpio = make(rig, sio);
    gpio->ReadPins();
    for (int index = 0; index < gpio->PinCount(); ++index) {
      const std::string pin = PinName(index, gpio->Naming());
      const uint8_t state = gpio->PinState(index);
      const bool isGpio = board == std::string("tr900-phenom")
                              ? static_cast<TSimIteChip&>(chip).PinIsGpio(pin)
                              : static_cast<TSimWinbondChip&>(chip).PinIsGpio(pin);
      ASSERT_EQ(state != kPinNotGpio, isGpio) << board << " " << pin << " round " << round;
      if (state == kPinNotGpio || state == kPinDisabled) continue;
      const bool high = state == kPinOutputHigh || state == kPinInputHigh;
      if (state == kPinOutputHigh || state == kPinOutputLow) {
        EXPECT_EQ(pins->PinDrive(pin), high ? TSimPinDrive::High : TSimPinDrive::Low) << pin;
      } else {
        EXPECT_EQ(pins->PinDrive(pin), TSimPinDrive::Floating) << pin;
        // Unwired ITE inputs follow their pull-ups, which the wiring does not know.
        if (!wiring.WiredTo("SIO." + pin).empty()) {
          EXPECT_EQ(wiring.PinLevel("SIO." + pin), high) << pin;
        }
      }
    }
  }
}

TEST(GpioAgainstTheChipModels, W83627Dhg) {
  ExpectReadingAgreesWithTheChip("p35-core2", 0, [](TGpioRig&, TSio& sio) {
    return std::unique_ptr<TGpioBase>(std::make_unique<TW627Gpio>(sio));
  });
}

TEST(GpioAgainstTheChipModels, W83667Hg) {
  ExpectReadingAgreesWithTheChip("x58-nehalem", 0, [](TGpioRig&, TSio& sio) {
    return std::unique_ptr<TGpioBase>(std::make_unique<TW667Gpio>(sio));
  });
}

TEST(GpioAgainstTheChipModels, It8720F) {
  // The ITE multiplexer selects decode while the GPIO device is selected.
  ExpectReadingAgreesWithTheChip("tr900-phenom", 7, [](TGpioRig& rig, TSio& sio) {
    return std::unique_ptr<TGpioBase>(std::make_unique<TIT8720Gpio>(*rig.Rw, sio));
  });
}

}  // namespace

// GPIO of the Super I/O chips through their configuration and level ports: directions, output
// latches and what they drive onto the board's nets, input straps, inversion, multi-function
// selects and group conditions.
#include <gtest/gtest.h>

#include "sim/itechips.h"
#include "sim/pinwiring.h"
#include "sim/winbondchips.h"
#include "superio_testboard.h"

namespace {

using namespace simchips;

// Selects ldn and reads or read-modify-writes one register, as the program's back-ends do.
uint8_t LdnRead(TSimMachine& m, uint8_t ldn, uint8_t reg) {
  ConfigWrite(m, 0x2E, 0x07, ldn);
  return ConfigRead(m, 0x2E, reg);
}
void LdnWrite(TSimMachine& m, uint8_t ldn, uint8_t reg, uint8_t value) {
  ConfigWrite(m, 0x2E, 0x07, ldn);
  ConfigWrite(m, 0x2E, reg, value);
}

TEST(SimWinbondGpio, OutputDrivesNetAndInputReadsStrap) {
  auto m = Board(
      "[SuperIO]\nChip=W83627DHG\nPort=0x2E\nLdn9.0x30=01\n"
      "[Wiring]\nSIO.GPIO24=VR.LOADLINE\nSIO.GPIO25=Low\nSIO.GPIO26=High\nPull.VR.LOADLINE=Low\n");
  ASSERT_NE(m, nullptr);
  TSimPinWiring& wiring = SimWiring(*m);
  WinbondEnter(*m, 0x2E);
  // GPIO2 (group 2) lives in LDN 9: direction E3, data E4, inversion E5. All inputs at reset.
  EXPECT_EQ(LdnRead(*m, 9, 0xE3), 0xFF);
  EXPECT_EQ(wiring.NetDrive("VR.LOADLINE"), TSimPinDrive::Floating);
  EXPECT_FALSE(wiring.NetLevel("vr.loadline"));  // its pull
  // Inputs: the straps on bits 5 and 6, the net's pull on bit 4, pull-ups elsewhere.
  EXPECT_EQ(LdnRead(*m, 9, 0xE4), 0xCF);
  // Inversion flips what an input reads.
  LdnWrite(*m, 9, 0xE5, 0x60);
  EXPECT_EQ(LdnRead(*m, 9, 0xE4), 0xAF);
  LdnWrite(*m, 9, 0xE5, 0x00);

  // The program's rule for Output High: clear inversion, clear direction, set the level.
  LdnWrite(*m, 9, 0xE3, 0xEF);
  EXPECT_EQ(wiring.NetDrive("VR.LOADLINE"), TSimPinDrive::Low);  // latch was 0
  LdnWrite(*m, 9, 0xE4, LdnRead(*m, 9, 0xE4) | 0x10);
  EXPECT_EQ(LdnRead(*m, 9, 0xE4) & 0x10, 0x10);
  EXPECT_EQ(wiring.NetDrive("VR.LOADLINE"), TSimPinDrive::High);
  EXPECT_TRUE(wiring.PinLevel("SIO.GPIO24"));
  // An inverted output drives the opposite of its latch.
  LdnWrite(*m, 9, 0xE5, 0x10);
  EXPECT_FALSE(wiring.NetLevel("VR.LOADLINE"));
  LdnWrite(*m, 9, 0xE5, 0x00);
  // Writes to input bits leave their latches alone: make bit 5 an output, it drives its old 0.
  LdnWrite(*m, 9, 0xE4, 0xFF);
  LdnWrite(*m, 9, 0xE3, 0xCF);
  EXPECT_EQ(LdnRead(*m, 9, 0xE4) & 0x30, 0x10);
  // Deactivating the group releases the pin.
  LdnWrite(*m, 9, 0x30, 0x00);
  EXPECT_EQ(wiring.NetDrive("VR.LOADLINE"), TSimPinDrive::Floating);
  // A strap set at run time is seen at once.
  std::string error;
  ASSERT_TRUE(wiring.SetStrap("sio.gpio26", false, &error)) << error;
  LdnWrite(*m, 9, 0x30, 0x01);
  EXPECT_EQ(LdnRead(*m, 9, 0xE4) & 0x40, 0x00);
}

TEST(SimWinbondGpio, MultiFunctionSelectsDecideWhatIsAGpio) {
  auto m = Board("[SuperIO]\nChip=W83627EHF\nPort=0x2E\n");
  ASSERT_NE(m, nullptr);
  auto& chip =
      dynamic_cast<TSimWinbondChip&>(*dynamic_cast<TSimSuperIo*>(m->FindDevice("superio")));
  // GPIO1 needs CR29 bit 0; GPIO6 CR29 bit 3; GPIO5 pins follow CR2D (reset 0x21).
  EXPECT_FALSE(chip.PinIsGpio("GPIO10"));
  chip.SetRegister(0, 0x29, 0x01);
  EXPECT_TRUE(chip.PinIsGpio("GPIO10"));
  chip.SetRegister(7, 0xF3, 0x01);  // GP10 back to its other function
  EXPECT_FALSE(chip.PinIsGpio("GPIO10"));
  EXPECT_TRUE(chip.PinIsGpio("GPIO11"));
  EXPECT_FALSE(chip.PinIsGpio("GPIO60"));
  EXPECT_TRUE(chip.PinIsGpio("GPIO50"));
  EXPECT_FALSE(chip.PinIsGpio("GPIO51"));
  EXPECT_TRUE(chip.PinIsGpio("GPIO55"));
  // GPIO3: CR2C bit 4 takes the group, bits 5..7 take GP32..GP34.
  chip.SetRegister(0, 0x2C, 0x40);
  EXPECT_TRUE(chip.PinIsGpio("GPIO32"));
  EXPECT_FALSE(chip.PinIsGpio("GPIO33"));
  chip.SetRegister(0, 0x2C, 0x10);
  EXPECT_FALSE(chip.PinIsGpio("GPIO30"));
  // GPIO4: both CR2C bits 0 and 1 take the group; bit 1 clear takes GP44 and GP45.
  chip.SetRegister(0, 0x2C, 0x01);
  EXPECT_TRUE(chip.PinIsGpio("GPIO43"));
  EXPECT_FALSE(chip.PinIsGpio("GPIO44"));
  EXPECT_FALSE(chip.PinIsGpio("GPIO45"));
  chip.SetRegister(0, 0x2C, 0x03);
  EXPECT_FALSE(chip.PinIsGpio("GPIO43"));
  EXPECT_FALSE(chip.HasPin("GPIO70"));
  EXPECT_FALSE(chip.HasPin("GPIO18"));
}

TEST(SimWinbondGpio, W83667ExtraRulesTakePinsFromTheirGroups) {
  auto m = Board(
      "[SuperIO]\nChip=W83667HG\nPort=0x2E\nLdn9.0x30=0F\nLdn7.0x30=1E\n"
      "[Wiring]\nSIO.GPIO37=VR.PSI\nSIO.GPIO97=PLL\n");
  ASSERT_NE(m, nullptr);
  auto& chip =
      dynamic_cast<TSimWinbondChip&>(*dynamic_cast<TSimSuperIo*>(m->FindDevice("superio")));
  WinbondEnter(*m, 0x2E);
  // With CR2C bits 7:6 both 0, GP37 and GP50 (pins 23 and 32) serve their other functions.
  EXPECT_FALSE(chip.PinIsGpio("GPIO37"));
  EXPECT_FALSE(chip.PinIsGpio("GPIO50"));
  EXPECT_TRUE(chip.PinIsGpio("GPIO36"));
  EXPECT_TRUE(chip.PinIsGpio("GPIO51"));
  // Driving GP37 as an output reaches the net only once CR2C gives the pin back.
  LdnWrite(*m, 9, 0xE4, 0x7F);  // group 3 direction: bit 7 output
  LdnWrite(*m, 9, 0xE5, 0x80);
  EXPECT_EQ(SimWiring(*m).NetDrive("VR.PSI"), TSimPinDrive::Floating);
  ConfigWrite(*m, 0x2E, 0x2C, 0x40);
  EXPECT_TRUE(chip.PinIsGpio("GPIO37"));
  EXPECT_TRUE(chip.PinIsGpio("GPIO50"));
  EXPECT_EQ(SimWiring(*m).NetDrive("VR.PSI"), TSimPinDrive::High);
  // CR2B or LDN 9 register EA select GPIO3 pins away.
  ConfigWrite(*m, 0x2E, 0x2B, 0x80);
  EXPECT_FALSE(chip.PinIsGpio("GPIO37"));
  ConfigWrite(*m, 0x2E, 0x2B, 0x00);
  LdnWrite(*m, 9, 0xEA, 0x80);
  EXPECT_FALSE(chip.PinIsGpio("GPIO37"));
  // GP26 goes with CR27 bit 5 or CR24 bit 1.
  EXPECT_TRUE(chip.PinIsGpio("GPIO26"));
  ConfigWrite(*m, 0x2E, 0x24, 0x02);
  EXPECT_FALSE(chip.PinIsGpio("GPIO26"));
  // GPIO8 and GPIO9: CR2C bit 0 takes GP83, GP84 and all of GPIO9; CR27 bits take them singly.
  EXPECT_TRUE(chip.PinIsGpio("GPIO83"));
  ConfigWrite(*m, 0x2E, 0x27, 0x12);
  EXPECT_TRUE(chip.PinIsGpio("GPIO83"));
  EXPECT_FALSE(chip.PinIsGpio("GPIO84"));
  EXPECT_FALSE(chip.PinIsGpio("GPIO97"));
  EXPECT_TRUE(chip.PinIsGpio("GPIO96"));
  ConfigWrite(*m, 0x2E, 0x27, 0x00);
  ConfigWrite(*m, 0x2E, 0x2C, 0x41);
  for (const char* pin : {"GPIO83", "GPIO84", "GPIO90", "GPIO93", "GPIO97"}) {
    EXPECT_FALSE(chip.PinIsGpio(pin)) << pin;
  }
  EXPECT_TRUE(chip.PinIsGpio("GPIO85"));
  // Group 1 in LDN 8 goes away with CR2C bit 1, as does group 7.
  EXPECT_TRUE(chip.PinIsGpio("GPIO10"));
  ConfigWrite(*m, 0x2E, 0x2C, 0x42);
  EXPECT_FALSE(chip.PinIsGpio("GPIO10"));
  EXPECT_FALSE(chip.PinIsGpio("GPIO71"));
  // GPIO9's registers are E8/E9/EA of LDN 7 (not LDN 9's EA above).
  ConfigWrite(*m, 0x2E, 0x2C, 0x40);
  LdnWrite(*m, 7, 0xE8, 0x7F);
  LdnWrite(*m, 7, 0xE9, 0x80);
  EXPECT_EQ(SimWiring(*m).NetDrive("PLL"), TSimPinDrive::High);
}

TEST(SimIteGpio, OutputEnableBitSetMeansOutputAndLevelsAreIoPorts) {
  auto m = Board(
      "[SuperIO]\nChip=IT8720F\nPort=0x2E\nSimpleIoBase=0x800\nLdn7.0x25=11\nLdn7.0xC0=11\n"
      "[Wiring]\nSIO.GPIO14=VR.PSI\nSIO.GPIO10=Low\n");
  ASSERT_NE(m, nullptr);
  auto& chip = dynamic_cast<TSimIteChip&>(*dynamic_cast<TSimSuperIo*>(m->FindDevice("superio")));
  TSimPinWiring& wiring = SimWiring(*m);
  IteEnter(*m, 0x2E);
  // Base from LDN 7 0x62/0x63, as the program reads it.
  EXPECT_EQ(LdnRead(*m, 7, 0x62) << 8 | LdnRead(*m, 7, 0x63), 0x800);
  // Reset: C8 = 0x01, so GP10 is an output (latch 0): the strap on GP10 does not matter.
  EXPECT_EQ(m->PortIn(0x800, 1) & 0x01, 0x00u);
  EXPECT_EQ(wiring.PinDrive("SIO.GPIO10"), TSimPinDrive::Low);
  // GP14 an input: reads the net's pull (high); with polarity, low.
  EXPECT_EQ(m->PortIn(0x800, 1) & 0x10, 0x10u);
  LdnWrite(*m, 7, 0xB0, 0x10);
  EXPECT_EQ(m->PortIn(0x800, 1) & 0x10, 0x00u);
  LdnWrite(*m, 7, 0xB0, 0x00);
  // The program's Output High: set the output-enable bit, then the level bit in the port.
  LdnWrite(*m, 7, 0xC8, 0x11);
  EXPECT_EQ(wiring.NetDrive("VR.PSI"), TSimPinDrive::Low);
  m->PortOut(0x800, 1, m->PortIn(0x800, 1) | 0x10);
  EXPECT_EQ(wiring.NetDrive("VR.PSI"), TSimPinDrive::High);
  EXPECT_EQ(chip.SimpleIoRead(1) & 0x10, 0x10);
  // Back to input: clearing the output-enable bit floats the net; the latch stays.
  LdnWrite(*m, 7, 0xC8, 0x01);
  EXPECT_EQ(wiring.NetDrive("VR.PSI"), TSimPinDrive::Floating);
  // A pin outside its GPIO function drives nothing even when enabled as an output.
  LdnWrite(*m, 7, 0xC8, 0x13);
  EXPECT_FALSE(chip.PinIsGpio("GPIO11"));
  EXPECT_EQ(wiring.PinDrive("SIO.GPIO11"), TSimPinDrive::Floating);
  // Unwired inputs follow their pull-ups; sets 6 to 8 are always GPIO, without pull-ups.
  LdnWrite(*m, 7, 0xB8, 0x00);
  ConfigWrite(*m, 0x2E, 0x25, 0x15);
  ConfigWrite(*m, 0x2E, 0xC0, 0x15);
  EXPECT_EQ(m->PortIn(0x800, 1) & 0x04, 0x00u);
  LdnWrite(*m, 7, 0xB8, 0x04);
  EXPECT_EQ(m->PortIn(0x800, 1) & 0x04, 0x04u);
  EXPECT_TRUE(chip.PinIsGpio("GPIO87"));
  EXPECT_EQ(m->PortIn(0x807, 1), 0xFFu);
  // The ports move with the base.
  LdnWrite(*m, 7, 0x62, 0x0A);
  EXPECT_EQ(m->PortIn(0x800, 1), 0xFFu);
  EXPECT_EQ(m->PortIn(0xA00, 1) & 0x10, 0x10u);
}

TEST(SimIteGpio, It8712HasFiveSets) {
  auto m = Board("[SuperIO]\nChip=IT8712F\nPort=0x4E\nSimpleIoBase=0xA00\n");
  ASSERT_NE(m, nullptr);
  auto& chip = dynamic_cast<TSimIteChip&>(*dynamic_cast<TSimSuperIo*>(m->FindDevice("superio")));
  EXPECT_TRUE(chip.HasPin("GPIO57"));
  EXPECT_FALSE(chip.HasPin("GPIO60"));
  EXPECT_EQ(m->Ports().Owner(0xA05), "");
  EXPECT_NE(m->Ports().Owner(0xA04), "");
}

}  // namespace

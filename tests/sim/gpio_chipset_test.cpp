// Chipset GPIO through the machine's ports and PCI configuration: the ICH block at the base the
// LPC bridge's GPIOBASE names, and the NVIDIA MCP's GPIO bytes behind its SMBus function; and
// the wiring that joins pins to nets.
#include <gtest/gtest.h>

#include "sim/ichgpio.h"
#include "sim/nvsmbusgpio.h"
#include "sim/pcibus.h"
#include "sim/pinwiring.h"
#include "superio_testboard.h"

namespace {

using namespace simchips;

uint32_t Cf8(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset) {
  return 0x80000000u | uint32_t{bus} << 16 | uint32_t{device} << 11 | uint32_t{function} << 8 |
         (offset & 0xFC);
}
uint32_t PciRead(TSimMachine& m, uint8_t device, uint8_t function, uint16_t offset) {
  m.PortOut(0xCF8, 4, Cf8(0, device, function, offset));
  return m.PortIn(0xCFC, 4);
}
void PciWrite(TSimMachine& m, uint8_t device, uint8_t function, uint16_t offset, uint32_t value) {
  m.PortOut(0xCF8, 4, Cf8(0, device, function, offset));
  m.PortOut(0xCFC, 4, value);
}

TEST(SimIchGpio, BlockFollowsGpioBaseAndGpioEnable) {
  auto m = Board(std::string(Chipset) + "[IchGpio]\nGPIO_USE_SEL=0x00004000\n");
  ASSERT_NE(m, nullptr);
  // The program's lookup: the word at 0x48 AND 0xFFC0.
  const uint16_t base = PciRead(*m, 31, 0, 0x48) & 0xFFC0;
  EXPECT_EQ(base, 0x480);
  EXPECT_EQ(m->PortIn(0x480, 4), 0x00004000u);
  // Disabling GPIO_EN silences the block; a new base moves it; bit 0 of GPIOBASE stays 1.
  PciWrite(*m, 31, 0, 0x4C, 0x00);
  EXPECT_EQ(m->PortIn(0x480, 4), 0xFFFFFFFFu);
  PciWrite(*m, 31, 0, 0x48, 0x0000053F);
  EXPECT_EQ(PciRead(*m, 31, 0, 0x48), 0x00000501u);
  PciWrite(*m, 31, 0, 0x4C, 0x10);
  EXPECT_EQ(m->PortIn(0x500, 4), 0x00004000u);
  EXPECT_EQ(m->PortIn(0x480, 4), 0xFFFFFFFFu);
  // Byte and word accesses reach the same registers.
  EXPECT_EQ(m->PortIn(0x501, 1), 0x40u);
  m->PortOut(0x502, 2, 0x0001);
  EXPECT_EQ(m->PortIn(0x500, 4), 0x00014000u);
}

TEST(SimIchGpio, LevelsOfOutputsAndInputsInBothBanks) {
  auto m = Board(std::string(Chipset) +
                 "[IchGpio]\nGPIO_USE_SEL=0x00004001\nGP_IO_SEL=0x00004001\n"
                 "[Wiring]\nICH.GPIO33=VR.PSI\nICH.GPIO14=Low\nICH.GPIO0=vr.psi\n");
  ASSERT_NE(m, nullptr);
  TSimPinWiring& wiring = SimWiring(*m);
  // GPIO 14 and 0 are inputs: the strap, and the net (pulled high while nobody drives it).
  EXPECT_EQ(m->PortIn(0x48C, 4) & 0x4001, 0x0001u);
  // Pin 33 to Output High as the program does it: USE_SEL2, then IO_SEL2 clear, LVL2 set.
  m->PortOut(0x4B0, 4, m->PortIn(0x4B0, 4) | 0x2);
  m->PortOut(0x4B4, 4, m->PortIn(0x4B4, 4) & ~0x2u);
  EXPECT_EQ(wiring.NetDrive("VR.PSI"), TSimPinDrive::Low);
  m->PortOut(0x4B8, 4, m->PortIn(0x4B8, 4) | 0x2);
  EXPECT_EQ(wiring.NetDrive("VR.PSI"), TSimPinDrive::High);
  EXPECT_EQ(m->PortIn(0x4B8, 4) & 0x2, 0x2u);
  // The input on the same net sees the driven level.
  m->PortOut(0x4B8, 4, m->PortIn(0x4B8, 4) & ~0x2u);
  EXPECT_EQ(m->PortIn(0x48C, 4) & 0x1, 0x0u);
  // Writes to input bits keep the latch: GPIO 14, an input while 1s were written, drives 0 once
  // it becomes an output.
  m->PortOut(0x48C, 4, 0xFFFFFFFF);
  m->PortOut(0x484, 4, 0x00000001);
  EXPECT_EQ(m->PortIn(0x48C, 4) & 0x4000, 0x0000u);
  EXPECT_EQ(wiring.PinDrive("ICH.GPIO14"), TSimPinDrive::Low);
  // GPI_INV has bits for GPIO 0..15 only and does not change what GP_LVL reads.
  m->PortOut(0x4AC, 4, 0xFFFFFFFF);
  EXPECT_EQ(m->PortIn(0x4AC, 4), 0x0000FFFFu);
  EXPECT_EQ(m->PortIn(0x48C, 4) & 0x1, 0x0u);  // GPIO 0 still sees GPIO 33 drive low
  // The ICH9 has GPIO 0..60: the missing ones read 0.
  m->PortOut(0x4B0, 4, 0xFFFFFFFF);
  EXPECT_EQ(m->PortIn(0x4B0, 4), 0x1FFFFFFFu);
  std::string error;
  EXPECT_FALSE(wiring.Wire("ICH.GPIO61", "High", &error));
}

TEST(SimIchGpio, StateKeepsRegistersAndTheBaseComesFromPci) {
  auto before = Board(std::string(Chipset) + "[IchGpio]\nGPIO_USE_SEL2=2\n");
  ASSERT_NE(before, nullptr);
  PciWrite(*before, 31, 0, 0x48, 0x00000601);
  before->PortOut(0x638, 4, 0x2);
  TSimState state;
  before->SaveState(state);
  auto after = Board(std::string(Chipset) + "[IchGpio]\nGPIO_USE_SEL2=2\n");
  std::string error;
  ASSERT_TRUE(after->LoadState(state, &error)) << error;
  EXPECT_EQ(after->PortIn(0x480, 4), 0xFFFFFFFFu);
  EXPECT_EQ(after->PortIn(0x638, 4), 0x2u);
  EXPECT_EQ(SimWiring(*after).PinDrive("ICH.GPIO33"), TSimPinDrive::High);
}

TEST(SimNvGpio, BytesAtTheSmbusFunctionsSystemControlBase) {
  auto m = Board(std::string(Chipset) +
                 "[NvSmbusGpio]\nSysCtrlBase=0x1400\nGPIO12=0x05\nGPIO3=0x08\n"
                 "[Wiring]\nMCP.GPIO12=VR.PSI\nMCP.GPIO1=Low\nMCP.GPIO2=vr.psi\n");
  ASSERT_NE(m, nullptr);
  TSimPinWiring& wiring = SimWiring(*m);
  // The program's lookup: the SMBus function's word at 0x64 AND 0xFF00, pin i at + 0xC0 + i.
  const uint16_t base = PciRead(*m, 1, 1, 0x64) & 0xFF00;
  ASSERT_EQ(base, 0x1400);
  EXPECT_EQ(m->PortIn(base + 0xC0 + 11, 1), 0x05u);  // GPIO12: output high
  EXPECT_EQ(wiring.NetDrive("VR.PSI"), TSimPinDrive::High);
  EXPECT_EQ(m->PortIn(base + 0xC0 + 0, 1), 0x00u);  // GPIO1: input, strapped low
  EXPECT_EQ(m->PortIn(base + 0xC0 + 1, 1), 0x01u);  // GPIO2: input on the driven net
  EXPECT_EQ(m->PortIn(base + 0xC0 + 2, 1), 0x08u);  // GPIO3: its other function
  EXPECT_EQ(m->PortIn(base + 0xC0 + 5, 1), 0x01u);  // unwired inputs read high
  // Output low, then a byte with other bits set: the mode still says output.
  m->PortOut(base + 0xC0 + 11, 1, 0x04);
  EXPECT_EQ(wiring.NetDrive("VR.PSI"), TSimPinDrive::Low);
  EXPECT_EQ(m->PortIn(base + 0xC0 + 1, 1), 0x00u);
  m->PortOut(base + 0xC0 + 11, 1, 0x25);
  EXPECT_EQ(m->PortIn(base + 0xC0 + 11, 1), 0x25u);
  EXPECT_EQ(wiring.NetDrive("VR.PSI"), TSimPinDrive::High);
  // Another function floats the pin.
  m->PortOut(base + 0xC0 + 11, 1, 0x09);
  EXPECT_EQ(wiring.NetDrive("VR.PSI"), TSimPinDrive::Floating);
  // A new base moves the bytes; saved state keeps them.
  PciWrite(*m, 1, 1, 0x64, 0x00001500);
  EXPECT_EQ(m->PortIn(0x14CB, 1), 0xFFu);
  EXPECT_EQ(m->PortIn(0x15CB, 1), 0x09u);
  TSimState state;
  m->SaveState(state);
  auto again = Board(std::string(Chipset) + "[NvSmbusGpio]\n[Wiring]\nMCP.GPIO12=VR.PSI\n");
  std::string error;
  ASSERT_TRUE(again->LoadState(state, &error)) << error;
  EXPECT_EQ(again->PortIn(0x15CB, 1), 0x09u);
  EXPECT_EQ(again->PortIn(0x15C0, 1), 0x00u);  // the strap came back with the wiring
}

TEST(SimNvGpio, SectionNeedsAnNvidiaSmbusFunction) {
  std::string error;
  EXPECT_EQ(Board(std::string(Chipset) + "[NvSmbusGpio]\nFunction=00:1f.0\n", &error), nullptr);
  EXPECT_NE(error.find("not an NVIDIA SMBus controller"), std::string::npos) << error;
  EXPECT_EQ(Board("[NvSmbusGpio]\n", &error), nullptr);
  EXPECT_NE(error.find("no PCI function 00:01.1"), std::string::npos) << error;
  EXPECT_EQ(Board(std::string(Chipset) + "[NvSmbusGpio]\nGPIO65=1\n", &error), nullptr);
  EXPECT_NE(error.find("GPIO65: no such GPIO"), std::string::npos) << error;
}

TEST(SimWiring, NetsTakeTheFirstDriverElseTheirPull) {
  auto m = Board(std::string(Chipset) +
                 "[IchGpio]\nGPIO_USE_SEL=0x3\nGP_LVL=0x2\n"
                 "[Wiring]\nICH.GPIO0=BUS\nICH.GPIO1=BUS\nPull.BUS=Low\n");
  ASSERT_NE(m, nullptr);
  TSimPinWiring& wiring = SimWiring(*m);
  EXPECT_EQ(wiring.NetDrive("bus"), TSimPinDrive::Low);  // GPIO0 drives its latch 0
  EXPECT_EQ(wiring.WiredTo("ich.gpio1"), "BUS");
  m->PortOut(0x484, 4, 0x1);  // GPIO0 input: GPIO1 drives high
  EXPECT_TRUE(wiring.NetLevel("BUS"));
  m->PortOut(0x484, 4, 0x3);  // nobody drives: the pull
  EXPECT_FALSE(wiring.NetLevel("BUS"));
  EXPECT_EQ(m->PortIn(0x48C, 4) & 0x3, 0x0u);
  EXPECT_TRUE(wiring.NetLevel("UNUSED"));  // an unknown net floats high
  std::string error;
  EXPECT_FALSE(wiring.SetStrap("ICH.GPIO99", true, &error));
  EXPECT_TRUE(wiring.SetStrap("ICH.GPIO1", true, &error));
  EXPECT_EQ(wiring.WiredTo("ICH.GPIO1"), "HIGH");
  EXPECT_EQ(m->PortIn(0x48C, 4) & 0x3, 0x2u);
}

}  // namespace

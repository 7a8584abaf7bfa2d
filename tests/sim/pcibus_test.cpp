#include "sim/pcibus.h"

#include <gtest/gtest.h>

#include "sim/simmachine.h"

namespace {

// Mechanism #1 address for bus/device/function/offset, offset bits 11:8 in bits 27:24.
uint32_t Cf8(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset) {
  return 0x80000000u | uint32_t(offset >> 8 & 0xF) << 24 | uint32_t{bus} << 16 |
         uint32_t{device} << 11 | uint32_t{function} << 8 | (offset & 0xFC);
}

class SimPciTest : public ::testing::Test {
 protected:
  SimPciTest() : Machine(TSimMachineConfig{}) {
    auto lpc = std::make_unique<TSimPciFunction>(0x8086, 0x2918, 0x060100, 0x02, 0);
    Lpc = lpc.get();
    Lpc->SetDword(0x40, 0x00000401);
    Lpc->SetDword(0x1F0, 0x12345678);
    Machine.Pci().AddFunction(0, 0x1F, 0, std::move(lpc));
    Machine.Pci().AddFunction(0, 0x1F, 3,
                              std::make_unique<TSimPciFunction>(0x8086, 0x2930, 0x0C0500, 0x02, 0));
    Machine.Pci().AddFunction(0, 0, 0,
                              std::make_unique<TSimPciFunction>(0x8086, 0x29C0, 0x060000, 0x02, 0));
  }

  uint32_t PortRead(uint32_t address, uint8_t lane, uint8_t width) {
    Machine.PortOut(0xCF8, 4, address);
    return Machine.PortIn(static_cast<uint16_t>(0xCFC + lane), width);
  }
  void PortWrite(uint32_t address, uint8_t lane, uint8_t width, uint32_t value) {
    Machine.PortOut(0xCF8, 4, address);
    Machine.PortOut(static_cast<uint16_t>(0xCFC + lane), width, value);
  }
  uint32_t EcamRead(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset) {
    return Machine.Memory().ReadDword(0xE0000000ull + (uint64_t{bus} << 20) +
                                      (uint64_t{device} << 15) + (uint64_t{function} << 12) +
                                      offset);
  }

  TSimMachine Machine;
  TSimPciFunction* Lpc = nullptr;
};

TEST_F(SimPciTest, MechanismOneReadsDwordsWordsAndBytesByLane) {
  EXPECT_EQ(PortRead(Cf8(0, 0x1F, 0, 0), 0, 4), 0x29188086u);
  EXPECT_EQ(PortRead(Cf8(0, 0x1F, 0, 2), 2, 2), 0x2918u);
  EXPECT_EQ(PortRead(Cf8(0, 0x1F, 0, 0x0B), 3, 1), 0x06u);
  EXPECT_EQ(PortRead(Cf8(0, 0x1F, 0, 0x41), 1, 1), 0x04u);
  // The address register reads back what was written, less the two low bits.
  Machine.PortOut(0xCF8, 4, Cf8(0, 0x1F, 0, 0x40) | 3);
  EXPECT_EQ(Machine.PortIn(0xCF8, 4), Cf8(0, 0x1F, 0, 0x40));
  // Same through the dispatcher's default configuration access.
  EXPECT_EQ(Machine.PciConfigRead(Cf8(0, 0x1F, 0, 0x08), 2, 2), 0x0601u);
}

TEST_F(SimPciTest, MechanismOneWritesByLaneReachTheRegister) {
  PortWrite(Cf8(0, 0x1F, 0, 0x48), 0, 4, 0x00000481);
  PortWrite(Cf8(0, 0x1F, 0, 0x4C), 0, 1, 0x10);
  PortWrite(Cf8(0, 0x1F, 0, 0x4E), 2, 2, 0xBEEF);
  EXPECT_EQ(Lpc->Dword(0x48), 0x00000481u);
  EXPECT_EQ(Lpc->Dword(0x4C), 0xBEEF0010u);
  Machine.PciConfigWrite(Cf8(0, 0x1F, 0, 0x41), 1, 1, 0x05);
  EXPECT_EQ(Lpc->Dword(0x40), 0x00000501u);
}

TEST_F(SimPciTest, ExtendedOffsetBitsReachTheUpperConfigurationSpace) {
  EXPECT_EQ(PortRead(Cf8(0, 0x1F, 0, 0x1F0), 0, 4), 0x12345678u);
  PortWrite(Cf8(0, 0x1F, 0, 0x1F2), 2, 2, 0xCAFE);
  EXPECT_EQ(Lpc->Dword(0x1F0), 0xCAFE5678u);
  // A chipset that ignores bits 27:24 sees offset 0xF0 and keeps the bits out of the latch.
  Machine.Pci().SetCf8ExtendedOffsets(false);
  EXPECT_EQ(PortRead(Cf8(0, 0x1F, 0, 0x1F0), 0, 4), Lpc->Dword(0xF0));
  EXPECT_EQ(Machine.PortIn(0xCF8, 4) & 0x0F000000u, 0u);
}

TEST_F(SimPciTest, AbsentFunctionsAndDisabledCyclesReadAllOnes) {
  EXPECT_EQ(PortRead(Cf8(0, 0x1F, 1, 0), 0, 4), 0xFFFFFFFFu);
  EXPECT_EQ(PortRead(Cf8(5, 0, 0, 0), 2, 2), 0xFFFFu);
  EXPECT_EQ(PortRead(Cf8(0, 0x1F, 0, 0) & 0x7FFFFFFF, 0, 4), 0xFFFFFFFFu);
  PortWrite(Cf8(0, 0x1F, 0, 0x40) & 0x7FFFFFFF, 0, 4, 0);
  EXPECT_EQ(Lpc->Dword(0x40), 0x00000401u);
  EXPECT_EQ(EcamRead(0, 0x1F, 1, 0), 0xFFFFFFFFu);
  // Narrow accesses to the address register are not configuration cycles.
  EXPECT_EQ(Machine.PortIn(0xCF8, 1), 0xFFu);
}

TEST_F(SimPciTest, IdentityAndClassStayWhatTheBoardSet) {
  PortWrite(Cf8(0, 0x1F, 0, 0), 0, 4, 0);
  PortWrite(Cf8(0, 0x1F, 0, 8), 0, 4, 0xFFFFFFFF);
  PortWrite(Cf8(0, 0x1F, 0, 0x0E), 2, 1, 0x00);
  EXPECT_EQ(PortRead(Cf8(0, 0x1F, 0, 0), 0, 4), 0x29188086u);
  EXPECT_EQ(PortRead(Cf8(0, 0x1F, 0, 8), 0, 4), 0x06010002u);
  // Function 3 exists, so function 0 reports a multi-function device.
  EXPECT_EQ(PortRead(Cf8(0, 0x1F, 0, 0x0E), 2, 1), 0x80u);
  EXPECT_EQ(PortRead(Cf8(0, 0, 0, 0x0E), 2, 1), 0x00u);
  // Command is writable; the status error bits clear when written with ones.
  Lpc->SetWord(0x06, 0x8210);
  PortWrite(Cf8(0, 0x1F, 0, 4), 0, 4, 0x80000007);
  EXPECT_EQ(Lpc->Word(0x04), 0x0007u);
  EXPECT_EQ(Lpc->Word(0x06), 0x0210u);
}

TEST_F(SimPciTest, EcamWindowMirrorsLegacyConfiguration) {
  for (uint16_t offset = 0; offset < 0x100; offset += 4) {
    ASSERT_EQ(EcamRead(0, 0x1F, 0, offset), PortRead(Cf8(0, 0x1F, 0, offset), 0, 4)) << offset;
  }
  EXPECT_EQ(EcamRead(0, 0x1F, 3, 0), 0x29308086u);
  // Writes through the window reach the same registers.
  Machine.Memory().WriteWord(0xE00F8000ull + 0x4A, 0x1234);
  EXPECT_EQ(PortRead(Cf8(0, 0x1F, 0, 0x48), 0, 4), 0x12340000u);
  Machine.Memory().WriteDword(0xE00F8000ull + 0x100, 0xA5A5A5A5);
  EXPECT_EQ(Lpc->Dword(0x100), 0xA5A5A5A5u);
}

TEST_F(SimPciTest, ListenersFollowWritesAndRestores) {
  std::vector<std::pair<uint16_t, uint8_t>> seen;
  uint32_t gpioBase = 0;
  Lpc->AddListener([&](TSimPciFunction& function, uint16_t offset, uint8_t width) {
    seen.emplace_back(offset, width);
    gpioBase = function.Dword(0x48) & 0xFF80;
  });
  PortWrite(Cf8(0, 0x1F, 0, 0x48), 0, 2, 0x0481);
  EXPECT_EQ(gpioBase, 0x480u);
  Machine.Memory().WriteDword(0xE00F8048, 0x00000501);
  EXPECT_EQ(gpioBase, 0x500u);
  TSimState state;
  Machine.SaveState(state);
  PortWrite(Cf8(0, 0x1F, 0, 0x48), 0, 4, 0x00000801);
  EXPECT_EQ(gpioBase, 0x800u);
  std::string error;
  ASSERT_TRUE(Machine.LoadState(state, &error)) << error;
  EXPECT_EQ(gpioBase, 0x500u);
  const std::vector<std::pair<uint16_t, uint8_t>> expected = {
      {0x48, 2}, {0x48, 4}, {0x48, 4}, {0, 0}};
  EXPECT_EQ(seen, expected);
}

}  // namespace

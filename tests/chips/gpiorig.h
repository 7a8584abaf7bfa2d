// GPIO back-ends on register doubles: the Super I/O rig of the detection tests (a bare simulated
// machine, TReadWrite on it, the shipped database, configuration-mode chip doubles) plus byte
// register blocks for the chipset GPIO spaces and the PCI functions that point at them. The
// doubles hold what is written and nothing more, so a test sees exactly which register bits a
// back-end reads and writes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/pcibus.h"
#include "sio_rig.h"

namespace gpiotest {

// Bytes at ports First .. First + size - 1, read and written at any width (little-endian), with a
// log of the writes as offsets from First.
class TPortBlock : public ISimPortHandler {
 public:
  struct TWrite {
    uint16_t Offset;
    uint8_t Width;
    uint32_t Value;
    bool operator==(const TWrite&) const = default;
  };

  TPortBlock(uint16_t first, size_t size) : First(first), Bytes(size, 0) {}

  const uint16_t First;
  std::vector<uint8_t> Bytes;
  std::vector<TWrite> Writes;

  uint32_t Dword(uint16_t offset) const {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= uint32_t{Bytes[offset + i]} << (8 * i);
    return value;
  }
  void SetDword(uint16_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) Bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
  }
  // The offsets written, in order.
  std::vector<uint16_t> WrittenOffsets() const {
    std::vector<uint16_t> offsets;
    for (const TWrite& write : Writes) offsets.push_back(write.Offset);
    return offsets;
  }

  uint32_t PortRead(uint16_t port, uint8_t width) override {
    uint32_t value = 0;
    for (uint8_t i = 0; i < width; ++i) value |= uint32_t{Bytes[port - First + i]} << (8 * i);
    return value;
  }
  void PortWrite(uint16_t port, uint8_t width, uint32_t value) override {
    Writes.push_back({static_cast<uint16_t>(port - First), width, value});
    for (uint8_t i = 0; i < width; ++i)
      Bytes[port - First + i] = static_cast<uint8_t>(value >> (8 * i));
  }
};

class TGpioRig : public siotest::TSioRig {
 public:
  // A bare machine, or the named board's.
  using siotest::TSioRig::TSioRig;

  // A PCI function with the given identity; config bytes set directly afterwards.
  TSimPciFunction& AddFunction(uint8_t device, uint8_t function, uint16_t vendor, uint16_t id,
                               uint32_t classCode) {
    auto model = std::make_unique<TSimPciFunction>(vendor, id, classCode, 0x01, 0);
    TSimPciFunction& added = *model;
    EXPECT_TRUE(Machine->Pci().AddFunction(0, device, function, std::move(model)));
    return added;
  }

  // The ICH9 LPC bridge at 00:1f.0 with GPIOBASE (bit 0 set, as the register reads), GPIO_EN set
  // in GPIO_CNTL and a 64-byte GPIO block at that base.
  TPortBlock& AddIchGpio(uint16_t base) {
    TSimPciFunction& lpc = AddIchBridge(0x8086, static_cast<uint16_t>(base | 1), 0x10);
    (void)lpc;
    return AddBlock(base, 64);
  }
  // The LPC bridge alone, of any vendor, with the given GPIOBASE and GPIO_CNTL.
  TSimPciFunction& AddIchBridge(uint16_t vendor, uint16_t gpioBase, uint8_t gpioControl) {
    TSimPciFunction& lpc = AddFunction(31, 0, vendor, 0x2918, 0x060100);
    lpc.SetWord(0x48, gpioBase);
    lpc.SetByte(0x4C, gpioControl);
    return lpc;
  }

  // An SMBus controller of the vendor with the NVIDIA GPIO base register at 0x64.
  void AddSmbus(uint8_t device, uint16_t vendor, uint16_t gpioBaseRegister) {
    TSimPciFunction& smbus = AddFunction(device, 0, vendor, 0x0752, 0x0C0500);
    smbus.SetWord(0x64, gpioBaseRegister);
  }

  TPortBlock& AddBlock(uint16_t first, size_t size) {
    Blocks_.push_back(std::make_unique<TPortBlock>(first, size));
    TPortBlock& block = *Blocks_.back();
    EXPECT_TRUE(Machine->Ports().Claim(first, static_cast<uint32_t>(size), &block, "test-gpio"));
    return block;
  }

  // The shipped database and a detected chip double.
  TSio& DetectChip(siotest::TConfigChip& chip) {
    Place(chip);
    return DetectShipped();
  }
  // The shipped database and whatever chip the board carries.
  TSio& DetectShipped() {
    WriteShipped();
    return Detect();
  }

 private:
  std::vector<std::unique_ptr<TPortBlock>> Blocks_;
};

}  // namespace gpiotest

// Small boards for the chip tests: a minimal machine plus the sections under test, built through
// the board-file reader as a real board is; and the port sequences software uses on the chips.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include "sim/simboard.h"

namespace simchips {

inline const std::string BoardsDir = std::string(KORZEM_SOURCE_DIR) + "/data/boards";

// An LPC bridge at 00:1f.0 with GPIOBASE 0x480 and GPIO_EN, and an MCP55 SMBus function at
// 00:01.1, for the chipset GPIO sections.
inline constexpr const char* Chipset =
    "[PCI 00:1f.0]\nVendor=0x8086\nDevice=0x2918\nClass=0x060100\n"
    "Config.0x48=81 04 00 00 10\n"
    "[PCI 00:01.1]\nVendor=0x10DE\nDevice=0x0368\nClass=0x0C0500\n";

// The machine of a board made of a minimal [Board]/[Processor] and sections; null with *error.
inline std::unique_ptr<TSimMachine> Board(const std::string& sections, std::string* error) {
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() /
      ("korzem-simchips-" + std::to_string(std::random_device{}()) + ".ini");
  std::ofstream(path) << "[Board]\nName=chips\n[Processor]\nVendor=GenuineIntel\n"
                         "Signature=0x10677\nFrequencyMHz=2000\n"
                      << sections;
  auto machine = CreateSimMachine(path.string(), "", error);
  std::filesystem::remove(path);
  return machine;
}

inline std::unique_ptr<TSimMachine> Board(const std::string& sections) {
  std::string error;
  auto machine = Board(sections, &error);
  EXPECT_NE(machine, nullptr) << error;
  return machine;
}

inline void WinbondEnter(TSimMachine& m, uint16_t port) {
  m.PortOut(port, 1, 0x87);
  m.PortOut(port, 1, 0x87);
}
inline void WinbondExit(TSimMachine& m, uint16_t port) {
  m.PortOut(port, 1, 0xAA);
}
inline void IteEnter(TSimMachine& m, uint16_t port) {
  for (uint32_t byte : {0x87u, 0x01u, 0x55u, port == 0x4E ? 0xAAu : 0x55u}) {
    m.PortOut(port, 1, byte);
  }
}
inline uint8_t ConfigRead(TSimMachine& m, uint16_t port, uint8_t reg) {
  m.PortOut(port, 1, reg);
  return static_cast<uint8_t>(m.PortIn(static_cast<uint16_t>(port + 1), 1));
}
inline void ConfigWrite(TSimMachine& m, uint16_t port, uint8_t reg, uint8_t value) {
  m.PortOut(port, 1, reg);
  m.PortOut(static_cast<uint16_t>(port + 1), 1, value);
}
inline uint8_t MonitorRead(TSimMachine& m, uint16_t base, uint8_t reg) {
  m.PortOut(static_cast<uint16_t>(base + 5), 1, reg);
  return static_cast<uint8_t>(m.PortIn(static_cast<uint16_t>(base + 6), 1));
}
inline void MonitorWrite(TSimMachine& m, uint16_t base, uint8_t reg, uint8_t value) {
  m.PortOut(static_cast<uint16_t>(base + 5), 1, reg);
  m.PortOut(static_cast<uint16_t>(base + 6), 1, value);
}

// The monitors' voltage formula as the program evaluates it, in single precision: step 125
// (Winbond, 8 mV) or 62.5 (ITE, 16 mV).
inline float ProgramVolts(uint8_t raw, float r1, float r2, uint16_t ref, float step) {
  return (static_cast<float>(raw) * (r1 + r2) - static_cast<float>(ref) * 0.0625f * r1) /
         (r2 * step);
}

}  // namespace simchips

// Hardware monitors on a simulated machine: the Super I/O rig (a configuration-mode chip double at
// 0x2E found through the shipped database) plus a register double of the monitor behind the
// logical device's base address, and a model file in the rig's temporary directory.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "base/inifile.h"
#include "base/textfmt.h"
#include "chips/hwm.h"
#include "chips/itehwm.h"
#include "chips/winbondhwm.h"
#include "tests/chips/sio_rig.h"

namespace hwmtest {

using siotest::TConfigChip;

// The monitor's index/data pair at base + 5 / + 6. A Winbond double keeps eight banks selected by
// bits 2-0 of register 0x4E for every register but 0x4E itself (stricter than the chip, whose banks
// cover only part of the map, so a missing bank selection shows); an ITE double has one flat map.
class TMonitorDouble : public ISimPortHandler {
 public:
  TMonitorDouble(uint16_t base, bool banked) : Base(base), Banked(banked) {}

  const uint16_t Base;
  const bool Banked;
  std::array<std::array<uint8_t, 256>, 8> Regs{};
  std::vector<std::string> Writes;  // "bB RR=VV" for every data write, in order
  int DataAccesses = 0;

  uint8_t& At(int bank, uint8_t reg) {
    return Banked && reg == 0x4E ? Regs[0][0x4E] : Regs[Banked ? bank & 7 : 0][reg];
  }
  int Bank() const { return Banked ? Regs[0][0x4E] & 7 : 0; }

  uint32_t PortRead(uint16_t port, uint8_t) override {
    if (port == Base + 5) return Index_;
    ++DataAccesses;
    return At(Bank(), Index_);
  }
  void PortWrite(uint16_t port, uint8_t, uint32_t value) override {
    const auto byte = static_cast<uint8_t>(value);
    if (port == Base + 5) {
      Index_ = byte;
      return;
    }
    ++DataAccesses;
    Writes.push_back("b" + std::to_string(Bank()) + " " + HexByte(Index_).substr(2) + "=" +
                     HexByte(byte).substr(2));
    At(Bank(), Index_) = byte;
  }

 private:
  uint8_t Index_ = 0;
};

// A port that reads a fixed value at any width.
class TFixedPort : public ISimPortHandler {
 public:
  uint32_t Value = 0;
  int Reads = 0;
  uint32_t PortRead(uint16_t, uint8_t width) override {
    ++Reads;
    return width == 4 ? Value : Value & ((1u << (8 * width)) - 1);
  }
  void PortWrite(uint16_t, uint8_t, uint32_t) override {}
};

class THwmRig : public siotest::TSioRig {
 public:
  static constexpr uint16_t kBase = 0x0290;

  // A Winbond W83627DHG (monitor at logical device 11) or an ITE IT8720F (logical device 4) at
  // 0x2E with its monitor at kBase; detected unless told not to.
  explicit THwmRig(TConfigChip::TFamily family, bool detect = true)
      : Chip(family, 0x2E, family == TConfigChip::TFamily::Ite ? 0x87 : 0xA0, 0x20),
        Monitor(kBase, family != TConfigChip::TFamily::Ite) {
    const uint8_t ldn = family == TConfigChip::TFamily::Ite ? 4 : 11;
    Chip.Reg(ldn, 0x60) = kBase >> 8;
    Chip.Reg(ldn, 0x61) = kBase & 0xFF;
    if (detect) Place(Chip);
    EXPECT_TRUE(Machine->Ports().Claim(kBase + 5, 2, &Monitor, "test-hwm"));
    WriteShipped();
    Detect();
    ModelPath = (std::filesystem::path(IniPath).parent_path() / "Model.ini").string();
    WriteModel("");
    Model = std::make_unique<TiFile>(ModelPath);
  }

  void WriteModel(const std::string& text) const {
    std::ofstream out(ModelPath, std::ios::binary);
    out << text;
  }

  THwmContext Context() {
    THwmContext context{*Rw, *Model, Sio};
    context.NewSio = [this] {
      ++NewSioCalls;
      return std::make_unique<TSio>(*Init, TScriptServices{*Rw, 2, Instance});
    };
    context.Sleep = [this](uint32_t ms) { Sleeps.push_back(ms); };
    return context;
  }

  TConfigChip Chip;
  TMonitorDouble Monitor;
  std::string ModelPath;
  std::unique_ptr<TiFile> Model;
  int NewSioCalls = 0;
  std::vector<uint32_t> Sleeps;
};

}  // namespace hwmtest

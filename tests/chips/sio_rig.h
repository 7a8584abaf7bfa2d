// Super I/O detection on a simulated machine: TSimMachine behind TInProcessLink behind TReadWrite,
// a copy of a database file in a temporary directory read through TInitFile, both trace sinks
// collected in order, and configuration-mode doubles of a Winbond and an ITE chip that tests can
// put at any port.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/trace.h"
#include "chips/sio.h"
#include "hw/initfile.h"
#include "hw/inprocesslink.h"
#include "hw/readwrite.h"
#include "os/test/fakedriverservice.h"
#include "os/test/fakesingleinstance.h"
#include "os/test/fakesystem.h"
#include "sim/simboard.h"
#include "sim/simmachine.h"

namespace siotest {

namespace fs = std::filesystem;

// A Super I/O as far as detection and configuration access see it: a configuration mode entered
// by the vendor's key at the index port, global registers below 0x30 and one bank of registers
// 0x30 to 0xFF per logical device (register 7 selects it). Locked, the chip ignores the data port
// and reads back all ones.
class TConfigChip : public ISimPortHandler {
 public:
  enum class TFamily { Winbond, Ite };

  TConfigChip(TFamily family, uint16_t port, uint8_t id, uint8_t revision)
      : Family(family), Port(port) {
    Global[0x20] = id;
    Global[0x21] = revision;
  }

  const TFamily Family;
  const uint16_t Port;
  std::array<uint8_t, 0x30> Global{};
  std::array<std::array<uint8_t, 256>, 16> Banks{};
  bool Unlocked = false;
  int Unlocks = 0;
  int Locks = 0;

  uint8_t& Reg(uint8_t ldn, uint8_t reg) { return Banks[ldn & 0x0F][reg]; }

  uint32_t PortRead(uint16_t port, uint8_t) override {
    if (!Unlocked) return 0xFF;
    if (port == Port) return Index_;
    return Index_ < 0x30 ? Global[Index_] : Banks[Global[0x07] & 0x0F][Index_];
  }

  void PortWrite(uint16_t port, uint8_t, uint32_t value) override {
    const uint8_t byte = static_cast<uint8_t>(value);
    if (port == Port) {
      if (!Unlocked) {
        FeedKey(byte);
      } else if (Family == TFamily::Winbond && byte == 0xAA) {
        Lock();
      } else {
        Index_ = byte;
      }
      return;
    }
    if (!Unlocked) return;
    if (Family == TFamily::Ite && Index_ == 0x02) {
      if (byte & 0x02) Lock();
      return;
    }
    if (Index_ < 0x20 && Index_ != 0x07) return;   // control registers: nothing to keep
    if (Index_ == 0x20 || Index_ == 0x21) return;  // the chip ID is read-only
    if (Index_ < 0x30)
      Global[Index_] = byte;
    else
      Banks[Global[0x07] & 0x0F][Index_] = byte;
  }

 private:
  void FeedKey(uint8_t byte) {
    const std::vector<uint8_t> key =
        Family == TFamily::Winbond
            ? std::vector<uint8_t>{0x87, 0x87}
            : std::vector<uint8_t>{0x87, 0x01, 0x55, Port == 0x4E ? uint8_t{0xAA} : uint8_t{0x55}};
    if (byte == key[KeyStep_]) {
      if (++KeyStep_ == key.size()) {
        KeyStep_ = 0;
        Unlocked = true;
        ++Unlocks;
      }
    } else {
      KeyStep_ = byte == key[0] ? 1 : 0;
    }
  }
  void Lock() {
    Unlocked = false;
    ++Locks;
  }

  size_t KeyStep_ = 0;
  uint8_t Index_ = 0;
};

// Ports that log what is written to them (scripts of hand-made database sections write here).
class TPortLog : public ISimPortHandler {
 public:
  std::vector<std::pair<uint16_t, uint8_t>> Writes;
  uint8_t ReadValue = 0;
  uint32_t PortRead(uint16_t, uint8_t) override { return ReadValue; }
  void PortWrite(uint16_t port, uint8_t, uint32_t value) override {
    Writes.emplace_back(port, static_cast<uint8_t>(value));
  }
};

// Both sinks in the order written; a console line is prefixed with "console: ".
class TSinkLines : public ITraceTap {
 public:
  TSinkLines() { SetTraceTap(this); }
  ~TSinkLines() override { SetTraceTap(nullptr); }
  TSinkLines(const TSinkLines&) = delete;
  TSinkLines& operator=(const TSinkLines&) = delete;

  std::vector<std::string> All;
  std::vector<std::string> Console;
  std::vector<std::string> Debug;

  void OnTraceLine(std::string_view text) override {
    All.push_back("console: " + std::string(text));
    Console.emplace_back(text);
  }
  void OnRwDebugLine(std::string_view text) override {
    All.emplace_back(text);
    Debug.emplace_back(text);
  }
  void Clear() {
    All.clear();
    Console.clear();
    Debug.clear();
  }
  // The debug lines beginning with prefix, in order.
  std::vector<std::string> Starting(std::string_view prefix) const {
    std::vector<std::string> found;
    for (const std::string& line : Debug)
      if (line.rfind(prefix, 0) == 0) found.push_back(line);
    return found;
  }
  // The port accesses of the register-access service.
  std::vector<std::string> PortLines() const { return Starting("RW: IoBase"); }
};

inline std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline std::string ShippedDatabase() {
  return ReadText(fs::path(KORZEM_SOURCE_DIR) / "data" / "KorZem.ini");
}

// A machine, a register-access service on it and a configuration file; TSio objects are made on
// demand so that a test can arrange the machine and the file first.
class TSioRig {
 public:
  // A bare machine without devices at the configuration ports, or the named board's machine.
  explicit TSioRig(const std::string& board = "") {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "-" + info->name();
    for (char& c : name)
      if (c == '/') c = '_';  // parameterised tests have slashes in their names
    Dir_ = fs::path(::testing::TempDir()) / ("sio-" + std::to_string(::getpid()) + "-" + name);
    fs::remove_all(Dir_);
    fs::create_directories(Dir_);
    IniPath = (Dir_ / "KorZem.ini").string();

    if (board.empty()) {
      Machine = std::make_unique<TSimMachine>(TSimMachineConfig{});
    } else {
      std::string error;
      Machine = CreateSimMachine(board, std::string(KORZEM_SOURCE_DIR) + "/data/boards", &error);
      if (!Machine) {
        ADD_FAILURE() << error;
        Machine = std::make_unique<TSimMachine>(TSimMachineConfig{});
      }
    }
    Service.DriverLoaded = true;
    Service.MakeDevice = [this] { return std::make_unique<TInProcessLink>(*Machine); };
    TReadWriteSettings settings;
    settings.OsKind = 4;
    settings.DetectPCIEBase = false;
    Rw = std::make_unique<TReadWrite>(Service, System, settings);
    System.Version = Fake9xVersion(10);  // the configuration file is not written back
  }
  ~TSioRig() {
    Sio.reset();
    Init.reset();
    fs::remove_all(Dir_);
  }
  TSioRig(const TSioRig&) = delete;
  TSioRig& operator=(const TSioRig&) = delete;

  // Puts a chip double at its port.
  void Place(TConfigChip& chip) {
    ASSERT_TRUE(Machine->Ports().Claim(chip.Port, 2, &chip, "test-sio"));
  }

  void WriteIni(const std::string& text) const {
    std::ofstream out(IniPath, std::ios::binary);
    out << text;
  }
  // The shipped database with a changed [Config] switch.
  void WriteShipped(bool disableSuperIo = false) const {
    std::string text = ShippedDatabase();
    if (disableSuperIo) {
      const std::string off = "DisableSuperIo=0";
      const size_t at = text.find(off);
      EXPECT_NE(at, std::string::npos);
      if (at != std::string::npos) text.replace(at, off.size(), "DisableSuperIo=1");
    }
    WriteIni(text);
  }

  // Loads the file and runs the detection; the lines before it (the service's own) are dropped.
  TSio& Detect() {
    Sio.reset();
    Init = std::make_unique<TInitFile>(IniPath, System);
    Lines.Clear();
    Sio = std::make_unique<TSio>(*Init, TScriptServices{*Rw, 2, Instance});
    return *Sio;
  }

  TSinkLines Lines;
  std::unique_ptr<TSimMachine> Machine;
  TFakeDriverService Service;
  TFakeOsSystem System;
  std::unique_ptr<TReadWrite> Rw;
  TFakeInstancePoster Instance;
  std::string IniPath;
  std::unique_ptr<TInitFile> Init;
  std::unique_ptr<TSio> Sio;

 private:
  fs::path Dir_;
};

}  // namespace siotest

// A script interpreter on the simulated P35 board: TSimMachine behind TInProcessLink behind
// TReadWrite, with two small port devices of the tests' own (a Super I/O-style index/data pair at
// 0x2E/0x2F and four scratch ports at 0xE0), in-memory files, a recorded DELAY and the
// register-access debug lines collected.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base/trace.h"
#include "hw/inprocesslink.h"
#include "hw/readwrite.h"
#include "os/test/fakedriverservice.h"
#include "os/test/fakesingleinstance.h"
#include "os/test/fakesystem.h"
#include "script/interpreter.h"
#include "sim/simboard.h"

namespace scripttest {

// An index/data register pair. Reading the index port returns the index latch, as a Super I/O in
// configuration mode does. Register 0x20 can be made to read Ready only from its ReadyAfter-th
// read on, for the WAIT block.
class TIndexDataDevice : public ISimPortHandler {
 public:
  std::array<uint8_t, 256> Regs{};
  uint8_t Index = 0;
  int Reg20Reads = 0;
  int ReadyAfter = 0;  // 0: register 0x20 reads Regs[0x20]
  uint8_t Ready = 1;

  uint32_t PortRead(uint16_t port, uint8_t) override {
    if (port == 0x2E) return Index;
    if (Index == 0x20 && ReadyAfter > 0) return ++Reg20Reads >= ReadyAfter ? Ready : 0;
    if (Index == 0x20) ++Reg20Reads;
    return Regs[Index];
  }
  void PortWrite(uint16_t port, uint8_t, uint32_t value) override {
    if (port == 0x2E)
      Index = static_cast<uint8_t>(value);
    else
      Regs[Index] = static_cast<uint8_t>(value);
  }
};

// Four byte registers that accesses of any width read and write, with a log of the writes.
class TScratchPorts : public ISimPortHandler {
 public:
  static constexpr uint16_t Base = 0xE0;
  std::array<uint8_t, 4> Bytes{};
  std::vector<std::pair<uint16_t, uint32_t>> Writes;

  uint32_t PortRead(uint16_t port, uint8_t width) override {
    uint32_t value = 0;
    for (uint8_t i = 0; i < width; ++i) value |= uint32_t{Bytes[port - Base + i]} << (8 * i);
    return value;
  }
  void PortWrite(uint16_t port, uint8_t width, uint32_t value) override {
    Writes.emplace_back(port, value);
    for (uint8_t i = 0; i < width; ++i)
      Bytes[port - Base + i] = static_cast<uint8_t>(value >> (8 * i));
  }
};

// Files kept in memory; a file stays "open" until the interpreter drops it.
class TMemoryFiles {
 public:
  struct TEntry {
    std::string Bytes;
    bool WriteThrough = false;
    bool Open = true;
  };
  std::map<std::string, std::shared_ptr<TEntry>> Files;
  std::vector<std::string> Refused;  // paths that cannot be created
  bool OutOfMemory = false;          // creating throws std::bad_alloc, as a full heap would

  std::unique_ptr<IOsFile> Create(const std::string& path, bool writeThrough) {
    if (OutOfMemory) throw std::bad_alloc();
    for (const std::string& refused : Refused)
      if (refused == path) return nullptr;
    auto entry = std::make_shared<TEntry>();
    entry->WriteThrough = writeThrough;
    Files[path] = entry;
    return std::make_unique<TFile>(entry);
  }
  std::string Text(const std::string& path) const {
    const auto it = Files.find(path);
    return it == Files.end() ? std::string("<no file>") : it->second->Bytes;
  }

 private:
  class TFile : public IOsFile {
   public:
    explicit TFile(std::shared_ptr<TEntry> entry) : Entry_(std::move(entry)) {}
    ~TFile() override { Entry_->Open = false; }
    bool Write(std::string_view bytes) override {
      Entry_->Bytes += bytes;
      return true;
    }

   private:
    std::shared_ptr<TEntry> Entry_;
  };
};

// Collects the register-access debug lines.
class TDebugLines : public ITraceTap {
 public:
  TDebugLines() { SetTraceTap(this); }
  ~TDebugLines() override { SetTraceTap(nullptr); }
  TDebugLines(const TDebugLines&) = delete;
  TDebugLines& operator=(const TDebugLines&) = delete;

  std::vector<std::string> Lines;
  void OnTraceLine(std::string_view) override {}
  void OnRwDebugLine(std::string_view text) override { Lines.emplace_back(text); }
  // The lines beginning with prefix, in order.
  std::vector<std::string> Starting(std::string_view prefix) const {
    std::vector<std::string> found;
    for (const std::string& line : Lines)
      if (line.rfind(prefix, 0) == 0) found.push_back(line);
    return found;
  }
};

struct TScriptRig {
  // processors: what the OS reports to the register-access service; scriptProcessors: what the
  // interpreter is told (0: the same).
  explicit TScriptRig(uint32_t processors = 2, uint32_t scriptProcessors = 0) {
    std::string error;
    Machine =
        CreateSimMachine("p35-core2", std::string(KORZEM_SOURCE_DIR) + "/data/boards", &error);
    if (!Machine) {
      ADD_FAILURE() << error;
      return;
    }
    // The board's own Super I/O chip gives way to the test's index/data double.
    Machine->Ports().Release(0x2E);
    EXPECT_TRUE(Machine->Ports().Claim(0x2E, 2, &SuperIo, "test-sio"));
    EXPECT_TRUE(Machine->Ports().Claim(TScratchPorts::Base, 4, &Scratch, "test-scratch"));
    Service.DriverLoaded = true;
    Service.MakeDevice = [this] { return std::make_unique<TInProcessLink>(*Machine); };
    TReadWriteSettings settings;
    settings.OsKind = 4;
    settings.NumberOfProcessors = processors;
    settings.DetectPCIEBase = true;
    Rw = std::make_unique<TReadWrite>(Service, System, settings);
    Ip = MakeInterpreter(scriptProcessors != 0 ? scriptProcessors : processors);
    Debug.Lines.clear();  // the service's own start-up lines
  }

  std::unique_ptr<TInterpreter> MakeInterpreter(uint32_t processors) {
    TScriptServices services{*Rw, processors, Instance};
    services.CreateFile = [this](const std::string& path, bool writeThrough) {
      return Files.Create(path, writeThrough);
    };
    services.Sleep = [this](uint32_t ms) { Sleeps.push_back(ms); };
    return std::make_unique<TInterpreter>(services);
  }

  // Runs script with the interpreter's own result cell.
  bool Run(std::string_view script) { return Ip->Execute(script); }
  const std::string& Text() const { return Ip->ResultText(); }
  int32_t Result() const { return Ip->ResultCell(); }
  int32_t Local(int index) const { return Ip->Slot(index); }

  TDebugLines Debug;
  TIndexDataDevice SuperIo;
  TScratchPorts Scratch;
  std::unique_ptr<TSimMachine> Machine;
  TFakeDriverService Service;
  TFakeOsSystem System;
  std::unique_ptr<TReadWrite> Rw;
  TFakeInstancePoster Instance;
  TMemoryFiles Files;
  std::vector<uint32_t> Sleeps;
  std::unique_ptr<TInterpreter> Ip;
};

// One script and what it must leave.
struct TCase {
  const char* Script;
  const char* Text;
};

}  // namespace scripttest

// The processor tests' machine: a simulated board behind the in-process link behind TReadWrite,
// a register-access configuration on a file in a temporary folder (PM timer and ACPI base taken
// from the board), TCpu over both, and the trace and debug lines collected.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/trace.h"
#include "hw/initfile.h"
#include "hw/inprocesslink.h"
#include "hw/readwrite.h"
#include "os/test/fakedriverservice.h"
#include "os/test/fakesystem.h"
#include "platform/cpu.h"
#include "sim/simboard.h"
#include "sim/simcpumodels.h"
#include "sim/simmachine.h"

namespace cputest {

namespace fs = std::filesystem;

inline const std::string kBoardsDir = std::string(KORZEM_SOURCE_DIR) + "/data/boards";

class TLines : public ITraceTap {
 public:
  TLines() { SetTraceTap(this); }
  ~TLines() override { SetTraceTap(nullptr); }
  TLines(const TLines&) = delete;
  TLines& operator=(const TLines&) = delete;

  void OnTraceLine(std::string_view text) override { Trace.emplace_back(text); }
  void OnRwDebugLine(std::string_view text) override { Rw.emplace_back(text); }
  void Clear() {
    Trace.clear();
    Rw.clear();
  }
  // Debug lines containing text.
  size_t RwCount(std::string_view text) const {
    return static_cast<size_t>(std::count_if(Rw.begin(), Rw.end(), [&](const std::string& line) {
      return line.find(text) != std::string::npos;
    }));
  }

  std::vector<std::string> Trace;
  std::vector<std::string> Rw;
};

// A folder of its own for the test, removed afterwards.
struct TTempDir {
  TTempDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "-" + info->name();
    std::replace(name.begin(), name.end(), '/', '_');
    Path = fs::path(::testing::TempDir()) / ("cpu-" + std::to_string(::getpid()) + "-" + name);
    fs::remove_all(Path);
    fs::create_directories(Path);
  }
  ~TTempDir() { fs::remove_all(Path); }
  std::string File(const std::string& name) const { return (Path / name).string(); }
  fs::path Path;
};

struct TCpuRig {
  // A board of data/boards.
  explicit TCpuRig(const std::string& board) {
    std::string error;
    Machine = CreateSimMachine(board, kBoardsDir, &error);
    if (Machine == nullptr) {
      ADD_FAILURE() << error;
      return;
    }
    Connect();
  }
  // A machine of the test's own, with the clock behaviour of its processor.
  explicit TCpuRig(const TSimMachineConfig& config) {
    Machine = std::make_unique<TSimMachine>(config);
    SimCpuClock(*Machine);
    Connect();
  }

  void Connect() {
    Service.DriverLoaded = true;
    Service.MakeDevice = [this] { return std::make_unique<TInProcessLink>(*Machine); };
    System.Info.NumberOfProcessors = Machine->CpuCount();
    System.NativeInfo.NumberOfProcessors = Machine->CpuCount();
    TReadWriteSettings settings;
    settings.OsKind = 4;
    settings.NumberOfProcessors = Machine->CpuCount();
    settings.DetectPCIEBase = false;  // nothing here needs it, and the scan takes a while
    Rw = std::make_unique<TReadWrite>(Service, System, settings);
    Init = std::make_unique<TInitFile>(Dir.File("KorZem.ini"), System);
    Init->PmTimerPort = Machine->PmTimer().Port();
    Init->PmTimerWidth = Machine->PmTimer().Bits() == 32 ? 0x100 : 0;
    Init->AcpiPmBase = static_cast<uint16_t>(Machine->PmTimer().Port() - 8);
    Cpu = std::make_unique<TCpu>(*Rw, *Init);
    Lines.Clear();
  }

  // Registers of a core, straight from the model.
  uint64_t Msr(uint32_t core, uint32_t msr) {
    uint64_t value = 0;
    EXPECT_TRUE(Machine->Cpu(core).ReadMsr(msr, &value)) << std::hex << msr;
    return value;
  }
  void SetMsr(uint32_t core, uint32_t msr, uint64_t value) {
    ASSERT_TRUE(Machine->Cpu(core).SetMsrValue(msr, value)) << std::hex << msr;
    SimCpuClock(*Machine).Update();
  }
  // An MSR write the way the program does it, on the current processor.
  bool WriteMsr(uint32_t msr, uint64_t value) {
    return Rw->WriteCpuMsr(
        CpuRegisters{static_cast<uint32_t>(value), 0, msr, static_cast<uint32_t>(value >> 32)});
  }
  double CoreMHz(uint32_t core = 0) { return Machine->Cpu(core).CoreFrequencyHz() / 1e6; }

  TLines Lines;
  TTempDir Dir;
  std::unique_ptr<TSimMachine> Machine;
  TFakeDriverService Service;
  TFakeOsSystem System;
  std::unique_ptr<TReadWrite> Rw;
  std::unique_ptr<TInitFile> Init;
  std::unique_ptr<TCpu> Cpu;
};

// An Intel or AMD processor of the test's own: vendor, signature and MSRs.
inline TSimMachineConfig ProcessorConfig(const std::string& vendor, uint32_t signature,
                                         std::vector<TSimMsrDefault> msrs = {}) {
  TSimMachineConfig config;
  config.Processor.Vendor = vendor;
  config.Processor.Signature = signature;
  config.Processor.FrequencyHz = 2000000000;
  config.Processor.Msrs = std::move(msrs);
  return config;
}

// Within 1 % of expected.
inline ::testing::AssertionResult WithinOnePercent(double actual, double expected) {
  if (std::abs(actual - expected) <= expected * 0.01) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << actual << " is not within 1 % of " << expected;
}

}  // namespace cputest

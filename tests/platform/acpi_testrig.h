// Shared pieces of the ACPI, SMBIOS and board-identity tests: the register-access service over an
// in-process machine (the simulated PC or the Linux back-end on a captured tree), a configuration
// object on a file in a temporary folder, the debug lines, and helpers to lay tables into memory.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>
#include "tests/support/tempdir.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "base/trace.h"
#include "hw/initfile.h"
#include "hw/inprocesslink.h"
#include "hw/readwrite.h"
#include "os/test/fakedriverservice.h"
#include "os/test/fakesystem.h"
#include "sim/simfirmware.h"
#include "sim/simmachine.h"

namespace platformtest {

namespace fs = std::filesystem;
using TBytes = std::vector<uint8_t>;

inline const std::string kRealData = KORZEM_REAL_DATA_DIR;

inline TBytes ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << path;
  return TBytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline uint32_t Get32(const uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

inline void Put32(TBytes& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

inline uint8_t Sum(const uint8_t* data, size_t length) {
  uint8_t sum = 0;
  for (size_t i = 0; i < length; ++i) sum = static_cast<uint8_t>(sum + data[i]);
  return sum;
}

// Sets the byte at checksumAt so that the first length bytes (all when 0) sum to zero.
inline void FixChecksum(TBytes& bytes, size_t checksumAt, size_t length = 0) {
  if (length == 0) length = bytes.size();
  bytes[checksumAt] = 0;
  bytes[checksumAt] = static_cast<uint8_t>(0x100 - Sum(bytes.data(), length));
}

// A table with a standard header: signature, length, revision 1, the OEM fields, body.
inline TBytes MakeTable(const std::string& signature, const TBytes& body,
                        const std::string& oem = "TEST  TESTTABL") {
  TBytes table(36, 0);
  std::memcpy(table.data(), signature.data(), 4);
  table[8] = 1;
  std::memcpy(table.data() + 10, oem.data(), std::min<size_t>(oem.size(), 14));
  table.insert(table.end(), body.begin(), body.end());
  Put32(table, 4, static_cast<uint32_t>(table.size()));
  FixChecksum(table, 9);
  return table;
}

// An ACPI 1.0 RSDP naming rsdt.
inline TBytes MakeRsdp(uint32_t rsdt) {
  TBytes rsdp(20, 0);
  std::memcpy(rsdp.data(), "RSD PTR ", 8);
  std::memcpy(rsdp.data() + 9, "TEST  ", 6);
  Put32(rsdp, 16, rsdt);
  FixChecksum(rsdp, 8);
  return rsdp;
}

inline TBytes MakeRsdt(const std::vector<uint32_t>& tables) {
  TBytes body;
  for (uint32_t address : tables) {
    for (int i = 0; i < 4; ++i) body.push_back(static_cast<uint8_t>(address >> (8 * i)));
  }
  return MakeTable("RSDT", body);
}

using ::TTempDir;

// The register-access debug lines written while the object lives.
class TDebugLines : public ITraceTap {
 public:
  TDebugLines() { SetTraceTap(this); }
  ~TDebugLines() override { SetTraceTap(nullptr); }
  TDebugLines(const TDebugLines&) = delete;
  TDebugLines& operator=(const TDebugLines&) = delete;
  void OnTraceLine(std::string_view) override {}
  void OnRwDebugLine(std::string_view text) override { Lines.emplace_back(text); }
  std::vector<std::string> Lines;
};

// The OS kinds the tests need: 1 (XP), 4 (Windows 7 native), 6 (Windows 7 under WOW64 on x64).
inline void DescribeOs(TFakeOsSystem& system, int osKind) {
  if (osKind == 1) system.Version = FakeNtVersion(5, 1);
  if (osKind == 6) {
    system.Wow64 = true;
    system.NativeInfo.ProcessorArchitecture = 9;
  }
}

// TReadWrite connected to machine, with a configuration read from a file that does not exist
// (every value its default). Lines collects what the program writes to the debug file from the
// end of construction on.
class TRwRig {
 public:
  explicit TRwRig(IInProcessMachine& machine, int osKind = 4) : Machine_(machine) {
    DescribeOs(System, osKind);
    Config = std::make_unique<TInitFile>(Dir.Path() + "/KorZem.ini", System);
    Service.DriverLoaded = true;
    Service.MakeDevice = [this] { return std::make_unique<TInProcessLink>(Machine_); };
    TReadWriteSettings settings;
    settings.OsKind = Config->OsVersion->OsKind;
    settings.DetectPCIEBase = false;
    Rw = std::make_unique<TReadWrite>(Service, System, settings);
    Debug.Lines.clear();
  }
  ~TRwRig() {
    Rw.reset();
    // The write-back at destruction (NT family only) is a test of its own elsewhere; here it
    // would only cost time.
    Config->OsVersion->OsKind = 0;
    Config.reset();
  }
  TRwRig(const TRwRig&) = delete;
  TRwRig& operator=(const TRwRig&) = delete;

  TTempDir Dir;
  TDebugLines Debug;
  TFakeOsSystem System;
  std::unique_ptr<TInitFile> Config;
  TFakeDriverService Service;
  std::unique_ptr<TReadWrite> Rw;

 private:
  IInProcessMachine& Machine_;
};

// A simulated PC with plenty of sparse RAM below 4 GiB (the real machines' tables lie near 3 GiB)
// and no memory-mapped configuration window in the way.
inline TSimMachineConfig RoomyMachine() {
  TSimMachineConfig config;
  config.RamBytes = 0xF0000000ull;
  config.LowRamTop = 0xF0000000ull;
  config.EcamBase = 0;
  return config;
}

// Builds the generated firmware of config into the machine's memory.
inline TSimFirmwareImage LayFirmware(TSimMachine& machine, const TSimFirmwareConfig& config) {
  TSimFirmwareImage image;
  std::string error;
  EXPECT_TRUE(BuildSimFirmwareImage(config, &image, &error)) << error;
  WriteSimFirmware(image, machine.Memory());
  return image;
}

inline void Poke(TSimMachine& machine, uint32_t address, const TBytes& bytes) {
  machine.Memory().Write(address, bytes.data(), bytes.size());
}

}  // namespace platformtest

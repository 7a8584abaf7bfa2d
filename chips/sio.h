// TSio finds the board's Super I/O chip through the chip database of KorZem.ini (sections "SIO"n
// and the vendor fallbacks "SIOVENDOR"n), whose entries describe each chip with small register
// scripts, and gives access to the chip's configuration registers: every access enters the
// configuration mode and leaves it again.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "script/interpreter.h"

class TInitFile;

struct LdnStruc {
  uint8_t Number = 0;
  std::string Text;
};

class TSio {
 public:
  // Runs the detection (unless the configuration disables Super I/O detection).
  TSio(TInitFile& initFile, TScriptServices services);
  ~TSio();
  TSio(const TSio&) = delete;
  TSio& operator=(const TSio&) = delete;

  bool Detected() const { return DetectedIndex >= 0; }

  // Each runs the section's port scripts in a fresh interpreter, so the ports found by Detect
  // reach EnterConfig/ExitConfig through the same locals, then the unlock or lock script. Nothing
  // without a detected chip.
  void EnterConfigMode();
  void ExitConfigMode();
  // The register operations refuse without a detected chip (ports 0): reads give all ones, writes
  // do nothing, and a register-access debug line says so.
  uint8_t ReadConfigReg(uint8_t reg);
  void WriteConfigReg(uint8_t reg, uint8_t value);
  void SelectLogicalDevice(uint8_t ldn);
  // Registers 0x60 (high) and 0x61 (low) of the selected logical device.
  uint16_t ReadDeviceBase();

  int32_t DetectedIndex = -1;  // n of the matching "SIO"n or "SIOVENDOR"n section
  std::string Name;
  std::string Detect;
  std::string IndexPort;
  std::string DataPort;
  uint16_t IndexPortNo = 0;
  uint16_t DataPortNo = 0;
  std::string EnterConfig;
  std::string ExitConfig;
  std::string InfoName;
  int32_t LdnCount = 0;
  std::array<LdnStruc, 32> Ldns{};
  std::string ExtInfo;
  std::string Vendor;
  bool MatchedVendorSection = false;  // the match came from a "SIOVENDOR"n section

 private:
  void RunDetection();
  // Reads the keys every section has into the record.
  void ReadCommonKeys(const std::string& section);
  // Replaces the logical devices with the section's non-empty Ldn0..Ldn31.
  void ReadLdns(const std::string& section);
  // Runs the matched section's IndexPort and DataPort scripts; the low 16 bits of their results
  // are the ports. False (ports left 0, a debug line) when the index port is not a configuration
  // port: 0x2E, 0x4E or one the section lists in its key "IndexPorts".
  bool TakePorts(const std::string& section, int32_t& result);
  bool PlausibleIndexPort(const std::string& section, uint16_t port) const;
  // A fresh interpreter holding the detected ports in the section's locals.
  void StartConfigInterpreter();

  TInitFile& InitFile_;
  TScriptServices Services_;
  std::unique_ptr<TInterpreter> Interpreter_;
};

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

  void EnterConfigMode();
  void ExitConfigMode();
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
  TInitFile& InitFile_;
  TScriptServices Services_;
  std::unique_ptr<TInterpreter> Interpreter_;
};

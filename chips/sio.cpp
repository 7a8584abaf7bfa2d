// Super I/O detection: a walk over the chip database in KorZem.ini, and configuration-register
// access that unlocks and locks the chip around every single access.
#include "chips/sio.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/textfmt.h"
#include "base/trace.h"
#include "hw/initfile.h"
#include "hw/readwrite.h"

namespace {

constexpr int kMaxLdns = 32;

// Detect scripts are judged by their result alone, and one result cell serves every candidate.
// Starting it at a value other than 0 keeps a Detect that produces no value (an empty one, or one
// that fails at its first command) from matching.
constexpr int32_t kNoResultYet = -1;

std::string TwoHex(uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(value));
  return text;
}

// The items of a comma- or blank-separated list.
std::vector<std::string> SplitPortList(const std::string& text) {
  std::vector<std::string> items;
  std::string item;
  for (char c : text + ",") {
    if (c == ',' || c == ' ' || c == '\t') {
      if (!item.empty()) items.push_back(item);
      item.clear();
    } else {
      item += c;
    }
  }
  return items;
}

// A port as the database writes numbers: "0x164E" or "164EH" (hexadecimal), or decimal.
std::optional<uint16_t> ParsePortNumber(const std::string& text) {
  std::string digits = text;
  int radix = 10;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    digits = digits.substr(2);
    radix = 16;
  } else if (digits.size() > 1 && (digits.back() == 'h' || digits.back() == 'H')) {
    digits.pop_back();
    radix = 16;
  }
  if (digits.empty() || digits.size() > 5) return std::nullopt;
  unsigned long value = 0;
  for (char c : digits) {
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (radix == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (radix == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) return std::nullopt;
    value = value * static_cast<unsigned long>(radix) + static_cast<unsigned long>(digit);
  }
  if (value > 0xFFFF) return std::nullopt;
  return static_cast<uint16_t>(value);
}

// Without a detected chip both ports are 0; a register operation then does nothing but say so.
void ReportRefusal(std::string_view operation) {
  RwDebugLine("SIO: no Super I/O detected, " + std::string(operation) + " refused");
}

}  // namespace

TSio::TSio(TInitFile& initFile, TScriptServices services)
    : InitFile_(initFile), Services_(std::move(services)) {
  RunDetection();
}

TSio::~TSio() = default;

void TSio::RunDetection() {
  DetectedIndex = -1;
  IndexPortNo = 0;
  DataPortNo = 0;
  MatchedVendorSection = false;
  if (InitFile_.DisableSuperIo) return;

  RwDebugLine("Starting SIO detection");
  // One interpreter for the whole walk: a section's Detect leaves the ports in locals for its
  // IndexPort and DataPort scripts.
  Interpreter_ = std::make_unique<TInterpreter>(Services_);
  int32_t result = kNoResultYet;

  for (int n = 1;; ++n) {
    const std::string section = "SIO" + std::to_string(n);
    if (!InitFile_.SectionExists(section)) break;
    ReadCommonKeys(section);
    ReadLdns(section);
    Interpreter_->Evaluate(Detect, result);
    if (result != 0 || !TakePorts(section, result)) continue;
    DetectedIndex = n;
    RwDebugLine("SIO detected: " + Name);
    TraceLine("SIO DETECTED[" + std::to_string(n) + "]" + Name);
    break;
  }

  if (DetectedIndex < 0) {
    for (int n = 1;; ++n) {
      const std::string section = "SIOVENDOR" + std::to_string(n);
      if (!InitFile_.SectionExists(section)) break;
      ReadCommonKeys(section);
      // A family has no logical-device list of its own.
      LdnCount = 0;
      Ldns.fill(LdnStruc{});
      Interpreter_->Evaluate(Detect, result);
      if (result != 0 || !TakePorts(section, result)) continue;
      DetectedIndex = n;
      MatchedVendorSection = true;
      RwDebugLine("SIO Vendor detected: " + Name);
      break;
    }
  }

  Interpreter_.reset();
}

void TSio::ReadCommonKeys(const std::string& section) {
  Name = InitFile_.ReadString(section, "Name", "");
  Detect = InitFile_.ReadString(section, "Detect", "");
  IndexPort = InitFile_.ReadString(section, "IndexPort", "");
  DataPort = InitFile_.ReadString(section, "DataPort", "");
  EnterConfig = InitFile_.ReadString(section, "EnterConfig", "");
  ExitConfig = InitFile_.ReadString(section, "ExitConfig", "");
  InfoName = InitFile_.ReadString(section, "InfoName", "");
  ExtInfo = InitFile_.ReadString(section, "ExtInfo", "");
  Vendor = InitFile_.ReadString(section, "Vendor", "");
}

void TSio::ReadLdns(const std::string& section) {
  LdnCount = 0;
  Ldns.fill(LdnStruc{});
  for (int number = 0; number < kMaxLdns; ++number) {
    std::string text = InitFile_.ReadString(section, "Ldn" + std::to_string(number), "");
    if (text.empty()) continue;
    Ldns[static_cast<size_t>(LdnCount++)] = {static_cast<uint8_t>(number), std::move(text)};
  }
}

bool TSio::PlausibleIndexPort(const std::string& section, uint16_t port) const {
  if (port == 0x2E || port == 0x4E) return true;
  for (const std::string& item : SplitPortList(InitFile_.ReadString(section, "IndexPorts", ""))) {
    const std::optional<uint16_t> named = ParsePortNumber(item);
    if (named && *named != 0 && *named == port) return true;
  }
  return false;
}

bool TSio::TakePorts(const std::string& section, int32_t& result) {
  Interpreter_->Evaluate(IndexPort, result);
  const uint16_t index = static_cast<uint16_t>(result);
  Interpreter_->Evaluate(DataPort, result);
  const uint16_t data = static_cast<uint16_t>(result);
  // A section whose port scripts do not work gives ports like 0: the unlock key and register
  // numbers would then go to the DMA controller. Such a match is no match.
  if (!PlausibleIndexPort(section, index) || data == 0 || data == index) {
    RwDebugLine("SIO: " + Name + " in [" + section + "] gives index port " + HexWord(index) +
                ", data port " + HexWord(data) + ": not a configuration port, skipped");
    IndexPortNo = 0;
    DataPortNo = 0;
    return false;
  }
  IndexPortNo = index;
  DataPortNo = data;
  return true;
}

// IndexPort and DataPort are local assignments without a value ("LOCAL0="); with the port appended
// ("LOCAL0= 46") they put the detected port back into the local the other scripts use.
void TSio::StartConfigInterpreter() {
  Interpreter_ = std::make_unique<TInterpreter>(Services_);
  Interpreter_->Execute(IndexPort + " " + std::to_string(IndexPortNo));
  Interpreter_->Execute(DataPort + " " + std::to_string(DataPortNo));
}

void TSio::EnterConfigMode() {
  if (!Detected()) return;
  StartConfigInterpreter();
  Interpreter_->Execute(EnterConfig);
}

void TSio::ExitConfigMode() {
  if (!Detected()) return;
  StartConfigInterpreter();
  Interpreter_->Execute(ExitConfig);
  Interpreter_.reset();
}

uint8_t TSio::ReadConfigReg(uint8_t reg) {
  if (!Detected()) {
    ReportRefusal("ReadConfigReg " + HexByte(reg));
    return 0xFF;
  }
  EnterConfigMode();
  Services_.Rw.IoBaseWriteByte(IndexPortNo, reg);
  const uint8_t value = Services_.Rw.IoBaseReadByte(DataPortNo);
  ExitConfigMode();
  return value;
}

void TSio::WriteConfigReg(uint8_t reg, uint8_t value) {
  if (!Detected()) {
    ReportRefusal("WriteConfigReg " + HexByte(reg) + "=" + HexByte(value));
    return;
  }
  EnterConfigMode();
  Services_.Rw.IoBaseWriteByte(IndexPortNo, reg);
  Services_.Rw.IoBaseWriteByte(DataPortNo, value);
  ExitConfigMode();
}

void TSio::SelectLogicalDevice(uint8_t ldn) {
  WriteConfigReg(0x07, ldn);
}

uint16_t TSio::ReadDeviceBase() {
  if (!Detected()) {
    ReportRefusal("ReadDeviceBase");
    return 0xFFFF;
  }
  EnterConfigMode();
  TraceLine("iPort [" + TwoHex(IndexPortNo) + "],dPort[" + TwoHex(DataPortNo) + "]");
  Services_.Rw.IoBaseWriteByte(IndexPortNo, 0x60);
  const uint8_t high = Services_.Rw.IoBaseReadByte(DataPortNo);
  TraceLine("Data60 [" + TwoHex(high) + "]");
  Services_.Rw.IoBaseWriteByte(IndexPortNo, 0x61);
  const uint8_t low = Services_.Rw.IoBaseReadByte(DataPortNo);
  ExitConfigMode();
  TraceLine("Data60 [" + TwoHex(high) + "],Data61[" + TwoHex(low) + "]");
  return static_cast<uint16_t>(high << 8 | low);
}

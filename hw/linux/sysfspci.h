// PCI configuration space through the kernel's sysfs files
// (/sys/bus/pci/devices/DDDD:BB:DD.F/config), addressed the way configuration mechanism #1 is.
// The kernel serialises these accesses with its own, so they never race a driver's 0xCF8 cycle.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "hw/linux/sysfiles.h"

// Bus, device and function of one mechanism #1 address, and the configuration offset it names
// (extended offset bits 27:24 above the register bits, plus the byte lane).
struct TPciLocation {
  uint8_t Bus = 0;
  uint8_t Device = 0;
  uint8_t Function = 0;
  uint16_t Offset = 0;
};
TPciLocation DecodePciAddress(uint32_t address, uint8_t lane);

class TSysfsPci {
 public:
  explicit TSysfsPci(std::string sysRoot) : SysRoot_(std::move(sysRoot)) {}

  // All ones of the width for a function that is not there or an offset beyond what sysfs offers;
  // error receives a message for every failure but an absent function.
  uint32_t Read(uint32_t address, uint8_t lane, uint8_t width, std::string* error);
  bool Write(uint32_t address, uint8_t lane, uint8_t width, uint32_t value, std::string* error);

  // Present functions of domain 0000 as bus << 8 | device << 3 | function, in bus order.
  std::vector<uint32_t> ListFunctions(std::string* error) const;

  std::string ConfigPath(const TPciLocation& location) const;

 private:
  struct TConfigFile {
    TFd Fd;
    bool Writable = false;
    uint64_t Size = 0;
  };
  // The open config file of the function, or null (error set unless the function is absent).
  TConfigFile* File(const TPciLocation& location, std::string* error);

  std::string SysRoot_;
  std::map<uint32_t, TConfigFile> Files_;
};

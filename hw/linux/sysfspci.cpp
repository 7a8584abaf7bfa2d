#include "hw/linux/sysfspci.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "base/textfmt.h"

namespace {

constexpr uint32_t kEnableBit = 0x80000000u;

uint32_t AllOnes(uint8_t width) {
  return width >= 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1;
}

bool ValidWidth(uint8_t width) {
  return width == 1 || width == 2 || width == 4;
}

uint32_t Key(const TPciLocation& l) {
  return static_cast<uint32_t>(l.Bus) << 8 | static_cast<uint32_t>(l.Device) << 3 | l.Function;
}

}  // namespace

TPciLocation DecodePciAddress(uint32_t address, uint8_t lane) {
  TPciLocation location;
  location.Bus = static_cast<uint8_t>(address >> 16);
  location.Device = static_cast<uint8_t>((address >> 11) & 0x1F);
  location.Function = static_cast<uint8_t>((address >> 8) & 0x07);
  location.Offset =
      static_cast<uint16_t>(((address >> 24) & 0x0F) << 8 | (address & 0xFC) | (lane & 3));
  return location;
}

std::string TSysfsPci::ConfigPath(const TPciLocation& l) const {
  char name[32];
  std::snprintf(name, sizeof name, "0000:%02x:%02x.%x", l.Bus, l.Device, l.Function);
  return RootedPath(SysRoot_, "/sys/bus/pci/devices/") + name + "/config";
}

TSysfsPci::TConfigFile* TSysfsPci::File(const TPciLocation& location, std::string* error) {
  const uint32_t key = Key(location);
  const auto found = Files_.find(key);
  if (found != Files_.end()) return &found->second;
  // Absent functions are looked up again each time: a full bus scan is cheap next to a cache
  // that would hide a device the kernel adds later.
  const std::string path = ConfigPath(location);
  TConfigFile file;
  file.Fd = OpenReadWrite(path, &file.Writable);
  if (!file.Fd.Valid()) {
    const int err = errno;
    if (err != ENOENT && err != ENOTDIR) *error = OpenFailure(path, err);
    return nullptr;
  }
  struct stat info {};
  if (::fstat(file.Fd.Get(), &info) == 0) file.Size = static_cast<uint64_t>(info.st_size);
  return &Files_.emplace(key, std::move(file)).first->second;
}

uint32_t TSysfsPci::Read(uint32_t address, uint8_t lane, uint8_t width, std::string* error) {
  if (!ValidWidth(width)) {
    *error = "PCI configuration read of width " + std::to_string(width) + " refused";
    return 0xFFFFFFFFu;
  }
  // Without the enable bit the host bridge runs no configuration cycle: the data port floats.
  if ((address & kEnableBit) == 0) return AllOnes(width);
  const TPciLocation location = DecodePciAddress(address, lane);
  TConfigFile* file = File(location, error);
  if (file == nullptr) return AllOnes(width);
  if (location.Offset + width > file->Size) {
    *error = ConfigPath(location) + " has no register at " + HexWord(location.Offset) + " (" +
             std::to_string(file->Size) + " bytes)";
    return AllOnes(width);
  }
  uint8_t bytes[4] = {};
  const ssize_t got = ::pread(file->Fd.Get(), bytes, width, location.Offset);
  if (got != width) {
    std::string reason = got < 0 ? ErrnoText(errno) : "short read";
    if (got >= 0 && ::geteuid() != 0) reason += " (beyond 64 bytes sysfs needs root)";
    *error =
        "cannot read " + ConfigPath(location) + " at " + HexWord(location.Offset) + ": " + reason;
    return AllOnes(width);
  }
  uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = value << 8 | bytes[i];
  return value;
}

bool TSysfsPci::Write(uint32_t address, uint8_t lane, uint8_t width, uint32_t value,
                      std::string* error) {
  if (!ValidWidth(width)) {
    *error = "PCI configuration write of width " + std::to_string(width) + " refused";
    return false;
  }
  if ((address & kEnableBit) == 0) return true;  // no configuration cycle, as on the hardware
  const TPciLocation location = DecodePciAddress(address, lane);
  TConfigFile* file = File(location, error);
  if (file == nullptr) return true;  // nobody claims the cycle
  const std::string path = ConfigPath(location);
  if (!file->Writable) {
    *error = "cannot write " + path + ": opened read-only (run as root)";
    return false;
  }
  if (location.Offset + width > file->Size) {
    *error = path + " has no register at " + HexWord(location.Offset) + " (" +
             std::to_string(file->Size) + " bytes)";
    return false;
  }
  uint8_t bytes[4];
  for (int i = 0; i < width; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
  const ssize_t put = ::pwrite(file->Fd.Get(), bytes, width, location.Offset);
  if (put != width) {
    const std::string reason = put < 0 ? ErrnoText(errno) : "short write";
    *error = "cannot write " + path + " at " + HexWord(location.Offset) + ": " + reason;
    return false;
  }
  return true;
}

std::vector<uint32_t> TSysfsPci::ListFunctions(std::string* error) const {
  std::vector<std::string> names;
  std::vector<uint32_t> functions;
  if (!ListDirectory(RootedPath(SysRoot_, "/sys/bus/pci/devices"), false, &names, error)) {
    return functions;
  }
  for (const std::string& name : names) {
    unsigned domain = 0, bus = 0, device = 0, function = 0;
    char tail = 0;
    if (std::sscanf(name.c_str(), "%4x:%2x:%2x.%1x%c", &domain, &bus, &device, &function, &tail) !=
        4) {
      continue;
    }
    if (domain != 0 || bus > 0xFF || device > 0x1F || function > 7) continue;
    functions.push_back(bus << 8 | device << 3 | function);
  }
  std::sort(functions.begin(), functions.end());
  return functions;
}

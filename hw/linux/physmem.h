// Physical memory for the in-process link: /dev/mem where the kernel allows it, with memory-held
// regions (the rebuilt firmware tables) laid over it. A map request answers in a 32-bit field that
// cannot carry a 64-bit pointer, so each mapping gets a handle that the link resolves.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "hw/linux/firmwareimage.h"
#include "hw/linux/sysfiles.h"

class TPhysicalMemory {
 public:
  TPhysicalMemory() = default;
  ~TPhysicalMemory();
  TPhysicalMemory(const TPhysicalMemory&) = delete;
  TPhysicalMemory& operator=(const TPhysicalMemory&) = delete;

  // The memory device (or a regular file standing in for it, whose size then bounds the
  // mappings). Without one, problem says why; it ends every message about unreachable memory.
  void SetDevice(TFd fd, bool writable, std::string path);
  void SetDeviceProblem(std::string problem) { DeviceProblem_ = std::move(problem); }
  bool HasDevice() const { return Device_.Valid(); }
  const std::string& DeviceProblem() const { return DeviceProblem_; }

  // Served from this process's memory in place of the device.
  void AddRegion(TMemoryRegion region);

  // Maps length bytes at address; handle receives a non-zero value for Resolve and Unmap.
  bool Map(uint64_t address, uint32_t length, uint32_t* handle, std::string* error);
  bool Unmap(uint32_t handle, std::string* error);
  // The address of the first requested byte; null for an unknown handle.
  uint8_t* Resolve(uint32_t handle) const;
  size_t MappingCount() const { return Mappings_.size(); }

 private:
  struct TMapping {
    uint8_t* Address = nullptr;  // the requested byte
    void* MapBase = nullptr;     // what munmap takes; null for a region
    size_t MapLength = 0;
  };

  uint32_t NewHandle();

  TFd Device_;
  bool DeviceWritable_ = false;
  bool DeviceIsFile_ = false;
  uint64_t DeviceFileSize_ = 0;
  std::string DevicePath_;
  std::string DeviceProblem_;
  std::vector<TMemoryRegion> Regions_;
  std::map<uint32_t, TMapping> Mappings_;
  uint32_t NextHandle_ = 1;
};

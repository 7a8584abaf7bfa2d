#include "hw/linux/physmem.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/textfmt.h"

namespace {

std::string RangeText(uint64_t address, uint32_t length) {
  return HexMin(address) + " (" + std::to_string(length) + " bytes)";
}

}  // namespace

TPhysicalMemory::~TPhysicalMemory() {
  for (auto& [handle, mapping] : Mappings_) {
    if (mapping.MapBase != nullptr) ::munmap(mapping.MapBase, mapping.MapLength);
  }
}

void TPhysicalMemory::SetDevice(TFd fd, bool writable, std::string path) {
  struct stat info {};
  DeviceIsFile_ = ::fstat(fd.Get(), &info) == 0 && S_ISREG(info.st_mode);
  DeviceFileSize_ = DeviceIsFile_ ? static_cast<uint64_t>(info.st_size) : 0;
  Device_ = std::move(fd);
  DeviceWritable_ = writable;
  DevicePath_ = std::move(path);
}

void TPhysicalMemory::AddRegion(TMemoryRegion region) {
  Regions_.push_back(std::move(region));
}

uint32_t TPhysicalMemory::NewHandle() {
  while (NextHandle_ == 0 || Mappings_.count(NextHandle_) != 0) ++NextHandle_;
  return NextHandle_++;
}

bool TPhysicalMemory::Map(uint64_t address, uint32_t length, uint32_t* handle, std::string* error) {
  *handle = 0;
  if (length == 0) {
    *error = "cannot map 0 bytes of physical memory at " + HexMin(address);
    return false;
  }
  const uint64_t end = address + length;
  for (TMemoryRegion& region : Regions_) {
    const uint64_t regionEnd = region.Base + static_cast<uint64_t>(region.Bytes.size());
    if (address >= region.Base && end <= regionEnd) {
      *handle = NewHandle();
      Mappings_[*handle] = {&region.Bytes[address - region.Base], nullptr, 0};
      return true;
    }
    if (address < regionEnd && end > region.Base) {
      *error = "physical memory " + RangeText(address, length) +
               " straddles the edge of the rebuilt firmware area at " + HexMin(region.Base);
      return false;
    }
  }
  if (!Device_.Valid()) {
    *error =
        "physical memory " + RangeText(address, length) + " is not reachable: " + DeviceProblem_;
    return false;
  }
  // A file standing in for the device cannot be touched past its end (SIGBUS).
  if (DeviceIsFile_ && end > DeviceFileSize_) {
    *error = "physical memory " + RangeText(address, length) + " lies beyond " + DevicePath_ +
             " (" + std::to_string(DeviceFileSize_) + " bytes)";
    return false;
  }
  const uint64_t page = static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
  const uint64_t base = address / page * page;
  const size_t mapLength = static_cast<size_t>((end - base + page - 1) / page * page);
  const int protection = DeviceWritable_ ? PROT_READ | PROT_WRITE : PROT_READ;
  void* mapped =
      ::mmap(nullptr, mapLength, protection, MAP_SHARED, Device_.Get(), static_cast<off_t>(base));
  if (mapped == MAP_FAILED) {
    const int err = errno;
    std::string reason = ErrnoText(err);
    if (err == EPERM && ::geteuid() == 0) {
      reason =
          "Operation not permitted (the kernel opens /dev/mem only for the first MiB and "
          "device memory)";
    }
    *error = "cannot map physical memory " + RangeText(address, length) + " through " +
             DevicePath_ + ": " + reason;
    return false;
  }
  *handle = NewHandle();
  Mappings_[*handle] = {static_cast<uint8_t*>(mapped) + (address - base), mapped, mapLength};
  return true;
}

bool TPhysicalMemory::Unmap(uint32_t handle, std::string* error) {
  const auto found = Mappings_.find(handle);
  if (found == Mappings_.end()) {
    *error = "unmap of unknown mapping handle " + HexDword(handle);
    return false;
  }
  if (found->second.MapBase != nullptr) ::munmap(found->second.MapBase, found->second.MapLength);
  Mappings_.erase(found);
  return true;
}

uint8_t* TPhysicalMemory::Resolve(uint32_t handle) const {
  const auto found = Mappings_.find(handle);
  return found == Mappings_.end() ? nullptr : found->second.Address;
}

#include "os/win32/devicelink.h"

#include <cpuid.h>

#include <cstring>

#include "hw/ioctl.h"
#include "os/win32/handle.h"

namespace {

class THandleDeviceIo final : public IWinDeviceIo {
 public:
  explicit THandleDeviceIo(HANDLE device) : Device_(device) {}

  bool Io(uint32_t code, void* in, uint32_t inSize, void* out, uint32_t outSize,
          uint32_t* returned) override {
    DWORD got = 0;
    const BOOL ok = ::DeviceIoControl(Device_.Get(), code, in, inSize, out, outSize, &got, nullptr);
    if (returned) *returned = got;
    return ok != 0;
  }

 private:
  TWinHandle Device_;
};

}  // namespace

std::unique_ptr<IWinDeviceIo> WinDeviceIoOfHandle(HANDLE device) {
  return std::make_unique<THandleDeviceIo>(device);
}

TWinDeviceLink::TWinDeviceLink(std::unique_ptr<IWinDeviceIo> device, bool wideMapAnswers)
    : Device_(std::move(device)), Wide_(wideMapAnswers) {}

bool TWinDeviceLink::Control(uint32_t code, const void* in, uint32_t inSize, void* out,
                             uint32_t outSize, uint32_t* returned) {
  if (Wide_ && code == CTL_MAP_MEMORY && inSize == sizeof(MapRequest)) {
    return Map(in, inSize, out, outSize, returned);
  }
  if (Wide_ && code == CTL_UNMAP_MEMORY && inSize == sizeof(uint32_t)) {
    return Unmap(in, inSize, returned);
  }
  // DeviceIoControl takes a non-const input buffer; the driver's answer goes to out only.
  return Device_->Io(code, const_cast<void*>(in), inSize, out, outSize, returned);
}

bool TWinDeviceLink::Map(const void* in, uint32_t, void* out, uint32_t outSize,
                         uint32_t* returned) {
  MapRequest request{};
  std::memcpy(&request, in, sizeof request);
  WideMapRequest wide{request.AddressLow, request.AddressHigh, request.Length, 0, 0};
  uint32_t got = 0;
  if (!Device_->Io(CTL_MAP_MEMORY, &wide, sizeof wide, &wide, sizeof wide, &got) ||
      got < sizeof wide || wide.Mapped == 0) {
    if (returned) *returned = 0;
    return false;
  }
  while (NextHandle_ == 0 || Mappings_.count(NextHandle_)) ++NextHandle_;
  const uint32_t handle = NextHandle_++;
  Mappings_[handle] = wide.Mapped;
  request.Mapped = handle;
  const uint32_t answer = outSize < sizeof request ? outSize : sizeof request;
  if (out) std::memcpy(out, &request, answer);
  if (returned) *returned = answer;
  return true;
}

bool TWinDeviceLink::Unmap(const void* in, uint32_t, uint32_t* returned) {
  uint32_t handle = 0;
  std::memcpy(&handle, in, sizeof handle);
  const auto mapping = Mappings_.find(handle);
  if (mapping == Mappings_.end()) {
    if (returned) *returned = 0;
    return false;
  }
  uint64_t address = mapping->second;
  Mappings_.erase(mapping);
  return Device_->Io(CTL_UNMAP_MEMORY, &address, sizeof address, nullptr, 0, returned);
}

uint8_t* TWinDeviceLink::ResolveMapping(uint32_t mapped) {
  if (!Wide_) return reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(mapped));
  const auto mapping = Mappings_.find(mapped);
  return mapping == Mappings_.end()
             ? nullptr
             : reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(mapping->second));
}

void TWinDeviceLink::ExecuteCpuId(CpuRegisters& regs) {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  __cpuid(regs.EAX, eax, ebx, ecx, edx);
  regs = CpuRegisters{eax, ebx, ecx, edx};
}

// The link to the kernel driver's device: DeviceIoControl on an open "\\.\ZemDrv" handle.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>

#include "hw/driverlink.h"

// What the device link asks of the device; the open handle in the program, a scripted device in
// tests.
class IWinDeviceIo {
 public:
  virtual ~IWinDeviceIo() = default;
  // DeviceIoControl with buffered semantics; false when the driver fails the request.
  virtual bool Io(uint32_t code, void* in, uint32_t inSize, void* out, uint32_t outSize,
                  uint32_t* returned) = 0;
};

// The device handle's DeviceIoControl; destroying it closes the handle.
std::unique_ptr<IWinDeviceIo> WinDeviceIoOfHandle(HANDLE device);

// The driver link over a device. A 32-bit build passes every request through: the map answer is
// the mapping's address in this process. A 64-bit build sends the map request in its 8-byte form
// (WideMapRequest) and hands the program a 32-bit mapping handle that ResolveMapping turns back
// into the address, and that an unmap request gives back.
class TWinDeviceLink final : public IDriverLink {
 public:
  explicit TWinDeviceLink(std::unique_ptr<IWinDeviceIo> device,
                          bool wideMapAnswers = sizeof(void*) > 4);

  bool Control(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
               uint32_t* returned) override;
  uint8_t* ResolveMapping(uint32_t mapped) override;
  void ExecuteCpuId(CpuRegisters& regs) override;
  // The NT driver is the only way to the ports: the program never reaches them itself.
  IZemMachine* DirectMachine() override { return nullptr; }

 private:
  bool Map(const void* in, uint32_t inSize, void* out, uint32_t outSize, uint32_t* returned);
  bool Unmap(const void* in, uint32_t inSize, uint32_t* returned);

  std::unique_ptr<IWinDeviceIo> Device_;
  bool Wide_;
  std::map<uint32_t, uint64_t> Mappings_;  // handle -> address (64-bit builds)
  uint32_t NextHandle_ = 1;
};

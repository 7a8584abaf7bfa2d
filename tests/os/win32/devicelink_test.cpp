// The driver link over DeviceIoControl: requests pass through unchanged in the 32-bit wire format,
// and a 64-bit build's map answers travel in the wide record and reach the program as handles.
#include "os/win32/devicelink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "hw/ioctl.h"

namespace {

// A device that records what reached it and answers map requests with a given address.
class TScriptedDevice final : public IWinDeviceIo {
 public:
  struct TCall {
    uint32_t Code;
    std::vector<uint8_t> In;
  };

  explicit TScriptedDevice(std::vector<TCall>& calls) : Calls_(calls) {}

  bool Io(uint32_t code, void* in, uint32_t inSize, void* out, uint32_t outSize,
          uint32_t* returned) override {
    const auto* bytes = static_cast<const uint8_t*>(in);
    Calls_.push_back({code, std::vector<uint8_t>(bytes, bytes + inSize)});
    if (Fails) return false;
    if (code == CTL_MAP_MEMORY && inSize == sizeof(WideMapRequest) && outSize >= inSize) {
      WideMapRequest request{};
      std::memcpy(&request, in, sizeof request);
      request.Mapped = Address;
      std::memcpy(out, &request, sizeof request);
      *returned = sizeof request;
      return true;
    }
    if (code == CTL_READ_IO_BYTE && outSize >= sizeof(IoRequest)) {
      IoRequest request{};
      std::memcpy(&request, in, sizeof request);
      request.Value = 0x5A;
      std::memcpy(out, &request, sizeof request);
      *returned = sizeof request;
      return true;
    }
    *returned = 0;
    return true;
  }

  uint64_t Address = 0x00007FF612345000ull;
  bool Fails = false;

 private:
  std::vector<TCall>& Calls_;
};

template <typename T>
T As(const std::vector<uint8_t>& bytes) {
  T value{};
  EXPECT_EQ(bytes.size(), sizeof value);
  std::memcpy(&value, bytes.data(), std::min(bytes.size(), sizeof value));
  return value;
}

}  // namespace

TEST(WinDeviceLink, TheNarrowFormPassesEveryRequestThrough) {
  std::vector<TScriptedDevice::TCall> calls;
  TWinDeviceLink link(std::make_unique<TScriptedDevice>(calls), /*wideMapAnswers=*/false);
  IoRequest port{0x2E, 0};
  uint32_t returned = 0;
  ASSERT_TRUE(link.Control(CTL_READ_IO_BYTE, &port, sizeof port, &port, sizeof port, &returned));
  EXPECT_EQ(port.Value, 0x5Au);
  EXPECT_EQ(returned, sizeof port);

  MapRequest map{0xF0000, 0, 0x100, 0};
  link.Control(CTL_MAP_MEMORY, &map, sizeof map, &map, sizeof map, &returned);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1].In.size(), sizeof(MapRequest));  // the 32-bit program's record, unchanged
  // The 32-bit answer is the address itself.
  EXPECT_EQ(link.ResolveMapping(0x00A40000u), reinterpret_cast<uint8_t*>(uintptr_t{0x00A40000u}));
}

TEST(WinDeviceLink, WideMapAnswersBecomeHandlesThatResolveAndUnmap) {
  std::vector<TScriptedDevice::TCall> calls;
  auto device = std::make_unique<TScriptedDevice>(calls);
  TScriptedDevice& script = *device;
  TWinDeviceLink link(std::move(device), /*wideMapAnswers=*/true);

  MapRequest map{0xFED00000u, 0, 0x400, 0};
  uint32_t returned = 0;
  ASSERT_TRUE(link.Control(CTL_MAP_MEMORY, &map, sizeof map, &map, sizeof map, &returned));
  EXPECT_EQ(returned, sizeof map);
  ASSERT_EQ(calls.size(), 1u);
  const auto sent = As<WideMapRequest>(calls[0].In);
  EXPECT_EQ(sent.AddressLow, 0xFED00000u);
  EXPECT_EQ(sent.AddressHigh, 0u);
  EXPECT_EQ(sent.Length, 0x400u);
  ASSERT_NE(map.Mapped, 0u);
  EXPECT_EQ(link.ResolveMapping(map.Mapped), reinterpret_cast<uint8_t*>(script.Address));

  // A second mapping gets a handle of its own.
  script.Address = 0x00007FF6ABCDE000ull;
  MapRequest second{0xE0000000u, 0, 0x1000, 0};
  ASSERT_TRUE(
      link.Control(CTL_MAP_MEMORY, &second, sizeof second, &second, sizeof second, &returned));
  EXPECT_NE(second.Mapped, map.Mapped);
  EXPECT_EQ(link.ResolveMapping(second.Mapped), reinterpret_cast<uint8_t*>(script.Address));

  // Unmapping sends the address in its 8-byte form and retires the handle.
  uint32_t handle = map.Mapped;
  ASSERT_TRUE(link.Control(CTL_UNMAP_MEMORY, &handle, sizeof handle, nullptr, 0, &returned));
  EXPECT_EQ(calls.back().Code, CTL_UNMAP_MEMORY);
  EXPECT_EQ(As<uint64_t>(calls.back().In), 0x00007FF612345000ull);
  EXPECT_EQ(link.ResolveMapping(handle), nullptr);
  // An unknown handle never reaches the driver.
  const size_t before = calls.size();
  EXPECT_FALSE(link.Control(CTL_UNMAP_MEMORY, &handle, sizeof handle, nullptr, 0, &returned));
  EXPECT_EQ(calls.size(), before);
}

TEST(WinDeviceLink, AFailedOrEmptyMapAnswerGivesNoHandle) {
  std::vector<TScriptedDevice::TCall> calls;
  auto device = std::make_unique<TScriptedDevice>(calls);
  TScriptedDevice& script = *device;
  TWinDeviceLink link(std::move(device), /*wideMapAnswers=*/true);
  MapRequest map{0xF0000, 0, 0x100, 0};
  uint32_t returned = 0;
  script.Address = 0;
  EXPECT_FALSE(link.Control(CTL_MAP_MEMORY, &map, sizeof map, &map, sizeof map, &returned));
  script.Fails = true;
  script.Address = 0x1000;
  EXPECT_FALSE(link.Control(CTL_MAP_MEMORY, &map, sizeof map, &map, sizeof map, &returned));
  EXPECT_EQ(map.Mapped, 0u);
}

TEST(WinDeviceLink, CpuIdRunsOnThisProcessor) {
  std::vector<TScriptedDevice::TCall> calls;
  TWinDeviceLink link(std::make_unique<TScriptedDevice>(calls));
  CpuRegisters regs{0, 0, 0, 0};
  link.ExecuteCpuId(regs);
  // Leaf 0 names the vendor in EBX, EDX, ECX and the highest leaf in EAX.
  EXPECT_GE(regs.EAX, 1u);
  const std::string vendor(reinterpret_cast<const char*>(&regs.EBX), 4);
  EXPECT_TRUE(vendor == "Genu" || vendor == "Auth" || vendor == "Hygo" || vendor == "Cent")
      << vendor;
  EXPECT_EQ(link.DirectMachine(), nullptr);
  EXPECT_TRUE(calls.empty());
}

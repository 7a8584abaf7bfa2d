#include "sim/portbus.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A register file of a few ports that records every access it sees.
class TRecordingPorts : public ISimPortHandler {
 public:
  struct TAccess {
    bool Write;
    uint16_t Port;
    uint8_t Width;
    uint32_t Value;
  };

  explicit TRecordingPorts(uint16_t base) : Base_(base) {}

  uint32_t PortRead(uint16_t port, uint8_t width) override {
    uint32_t value = 0;
    for (uint8_t i = 0; i < width; ++i) value |= uint32_t{Bytes[port - Base_ + i]} << (8 * i);
    Log.push_back({false, port, width, value});
    return value;
  }
  void PortWrite(uint16_t port, uint8_t width, uint32_t value) override {
    for (uint8_t i = 0; i < width; ++i) Bytes[port - Base_ + i] = (value >> (8 * i)) & 0xFF;
    Log.push_back({true, port, width, value});
  }

  uint8_t Bytes[16] = {};
  std::vector<TAccess> Log;

 private:
  uint16_t Base_;
};

TEST(SimPortBus, UnclaimedPortsFloatHigh) {
  TSimPortBus bus;
  EXPECT_EQ(bus.In(0x80, 1), 0xFFu);
  EXPECT_EQ(bus.In(0x80, 2), 0xFFFFu);
  EXPECT_EQ(bus.In(0x80, 4), 0xFFFFFFFFu);
  EXPECT_EQ(bus.In(0x80, 3), 0xFFFFFFFFu);  // not a width the processor has
  bus.Out(0x80, 1, 0x12);                   // goes nowhere and must not crash
  EXPECT_EQ(bus.Owner(0x80), "");
}

TEST(SimPortBus, ClaimedRangeSeesWholeAccessesAtTheirPort) {
  TSimPortBus bus;
  TRecordingPorts device(0x290);
  ASSERT_TRUE(bus.Claim(0x290, 8, &device, "monitor"));
  bus.Out(0x295, 1, 0x4E);
  EXPECT_EQ(bus.In(0x295, 1), 0x4Eu);
  bus.Out(0x290, 4, 0x11223344);
  EXPECT_EQ(bus.In(0x292, 2), 0x1122u);
  ASSERT_EQ(device.Log.size(), 4u);
  EXPECT_EQ(device.Log[2].Port, 0x290);
  EXPECT_EQ(device.Log[2].Width, 4);
  EXPECT_EQ(bus.Owner(0x297), "monitor");
  EXPECT_EQ(bus.Owner(0x298), "");
}

TEST(SimPortBus, OverlappingOrInvalidClaimsAreRefused) {
  TSimPortBus bus;
  TRecordingPorts a(0x2E), b(0x2E);
  ASSERT_TRUE(bus.Claim(0x2E, 2, &a, "a"));
  EXPECT_FALSE(bus.Claim(0x2F, 1, &b, "b"));
  EXPECT_FALSE(bus.Claim(0x20, 0x0F, &b, "b"));
  EXPECT_FALSE(bus.Claim(0x40, 0, &b, "b"));
  EXPECT_FALSE(bus.Claim(0xFFFE, 4, &b, "b"));
  EXPECT_TRUE(bus.Claim(0x30, 1, &b, "b"));
}

TEST(SimPortBus, AccessStraddlingAClaimIsSplitIntoBytes) {
  TSimPortBus bus;
  TRecordingPorts device(0x100);
  ASSERT_TRUE(bus.Claim(0x100, 2, &device, "two ports"));
  device.Bytes[0] = 0xAA;
  device.Bytes[1] = 0xBB;
  // Bytes 0x102 and 0x103 float.
  EXPECT_EQ(bus.In(0x100, 4), 0xFFFFBBAAu);
  // 0xFF starts below the claim: only 0x100 reaches the device, as a byte.
  device.Log.clear();
  bus.Out(0xFF, 2, 0x5500);
  ASSERT_EQ(device.Log.size(), 1u);
  EXPECT_EQ(device.Log[0].Port, 0x100);
  EXPECT_EQ(device.Log[0].Width, 1);
  EXPECT_EQ(device.Bytes[0], 0x55);
}

TEST(SimPortBus, ReleasedPortsFloatAgainAndCanBeReclaimed) {
  TSimPortBus bus;
  TRecordingPorts device(0x480), other(0x500);
  ASSERT_TRUE(bus.Claim(0x480, 4, &device, "gpio"));
  ASSERT_TRUE(bus.Claim(0x500, 4, &other, "smbus"));
  device.Bytes[0] = 0x01;
  EXPECT_TRUE(bus.Release(0x480));
  EXPECT_FALSE(bus.Release(0x480));
  EXPECT_EQ(bus.In(0x480, 1), 0xFFu);
  EXPECT_EQ(bus.Owner(0x500), "smbus");  // other claims keep their ports
  ASSERT_TRUE(bus.Claim(0x480, 4, &device, "gpio"));
  EXPECT_EQ(bus.In(0x480, 1), 0x01u);
  bus.Release(&other);
  EXPECT_EQ(bus.Owner(0x500), "");
}

}  // namespace

#include "hw/driver/machinerules.h"

#include <gtest/gtest.h>

namespace {

TEST(ZemMachineRules, PciAddressPlacesEveryFieldAndTheExtendedOffset) {
  EXPECT_EQ(ZemPciAddress(0, 0x18, 3, 0x1F0), 0x8100C3F0u);
  EXPECT_EQ(ZemPciAddress(0xFF, 31, 7, 0xFFF), 0x8FFFFFFCu);
  EXPECT_EQ(ZemPciAddress(0, 0, 0, 0x43), 0x80000040u);
  EXPECT_EQ(ZemPciLane(0x43), 3);
  EXPECT_EQ(ZemPciLane(0x1F0), 0);
}

TEST(ZemMachineRules, PciDeviceAndFunctionCannotSpillIntoOtherFields) {
  EXPECT_EQ(ZemPciAddress(0, 32, 0, 0), ZemPciAddress(0, 0, 0, 0));
  EXPECT_EQ(ZemPciAddress(0, 0, 8, 0), ZemPciAddress(0, 0, 0, 0));
  EXPECT_EQ(ZemPciAddress(2, 0xFF, 0xFF, 0x10), ZemPciAddress(2, 31, 7, 0x10));
  // Offsets above 0xFFF do not exist either; bit 12 would reach the reserved bits 31:28.
  EXPECT_EQ(ZemPciAddress(0, 0, 0, 0x1100) & 0x70000000u, 0u);
}

TEST(ZemMachineRules, PmTimerTicksWrapAtTheTimerWidth) {
  EXPECT_EQ(ZemPmTimerTicks(0xFFFF00, 0x000200, false), 0x300u);
  // A 24-bit timer's samples may carry garbage in the top byte; it never counts.
  EXPECT_EQ(ZemPmTimerTicks(0xAAFFFF00, 0x55000200, false), 0x300u);
  EXPECT_EQ(ZemPmTimerTicks(0xFFFFFF00, 0x00000200, true), 0x300u);
  EXPECT_EQ(ZemPmTimerTicks(0x00FFFF00, 0x01000200, true), 0x300u);
  EXPECT_EQ(ZemPmTimerTicks(0x00FFFF00, 0x01000200, false), 0x300u);
  EXPECT_EQ(ZemPmTimerTicks(0x00100000, 0x01100000, true), 0x01000000u);
  EXPECT_EQ(ZemPmTimerTicks(5, 5, false), 0u);
}

TEST(ZemMachineRules, ClockWaitIsBounded) {
  EXPECT_TRUE(ZemClockWaitAllowed(1));
  EXPECT_TRUE(ZemClockWaitAllowed(800));
  EXPECT_TRUE(ZemClockWaitAllowed(100000));
  EXPECT_FALSE(ZemClockWaitAllowed(0));
  EXPECT_FALSE(ZemClockWaitAllowed(100001));
  EXPECT_FALSE(ZemClockWaitAllowed(20000000));
  EXPECT_FALSE(ZemClockWaitAllowed(0xFFFFFFFFu));
  // The longest wait stays well inside one period of a 24-bit PM timer (3.579545 MHz).
  EXPECT_LT(uint64_t{ZemMaxClockMicroseconds} * 3579545 / 1000000, uint64_t{1} << 24);
}

TEST(ZemMachineRules, ControlRegisterNumbers) {
  for (uint32_t n = 0; n < 32; ++n) {
    const bool readable = n == 0 || n == 2 || n == 3 || n == 4 || n == 8;
    EXPECT_EQ(ZemReadableCr(n), readable) << n;
    EXPECT_EQ(ZemWritableCr(n), readable && n != 2) << n;
  }
  EXPECT_FALSE(ZemReadableCr(0xFFFFFFFFu));
}

TEST(ZemMachineRules, MapRangesAreNonEmptyAndDoNotWrap) {
  EXPECT_TRUE(ZemMapRangeAllowed(0xF0000, 0x10000));
  EXPECT_TRUE(ZemMapRangeAllowed(0, 1));
  EXPECT_TRUE(ZemMapRangeAllowed(0xFFFFFF00, 0x200));  // crosses 4 GiB: physical memory goes on
  EXPECT_TRUE(ZemMapRangeAllowed(0xFFFFFFFFFFFFFFFFull, 1));
  EXPECT_TRUE(ZemMapRangeAllowed(0xFFFFFFFF00000000ull, 0xFFFFFFFFu));
  EXPECT_FALSE(ZemMapRangeAllowed(0xF0000, 0));
  EXPECT_FALSE(ZemMapRangeAllowed(0xFFFFFFFFFFFFFFFFull, 2));
  EXPECT_FALSE(ZemMapRangeAllowed(0xFFFFFFFFFFFFF000ull, 0x2000));
}

}  // namespace

#include "hw/inprocesslink.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <map>
#include <vector>

#include "tests/hw/fakemachine.h"

namespace {

constexpr uint64_t MemoryBase = 0xF0000;

// Four processors, a few ports and 256 bytes of memory.
class TFakeInProcessMachine : public TFakeMachine {
 public:
  TFakeInProcessMachine() : TFakeMachine(4, MemoryBase, 0x100, 0x10) {}
};

TEST(TInProcessLink, HandsBackOnlyTheBytesTheDriverReports) {
  TFakeInProcessMachine machine;
  machine.Ports[0x2F] = 0x87;
  TInProcessLink link(machine);
  const IoRequest request{0x2F, 0x12345678};
  uint8_t out[16];
  std::memset(out, 0xEE, sizeof out);
  uint32_t returned = 0;
  ASSERT_TRUE(link.Control(CTL_READ_IO_BYTE, &request, 8, out, sizeof out, &returned));
  EXPECT_EQ(returned, 8u);
  IoRequest answer;
  std::memcpy(&answer, out, sizeof answer);
  EXPECT_EQ(answer.Port, 0x2Fu);
  EXPECT_EQ(answer.Value, 0x87u);
  for (size_t i = 8; i < sizeof out; ++i) EXPECT_EQ(out[i], 0xEE) << "byte " << i;
}

TEST(TInProcessLink, AnswersInTheCallersOwnRecord) {
  TFakeInProcessMachine machine;
  machine.Msrs[0][0x198] = 0x1122334455667788ull;
  TInProcessLink link(machine);
  CpuRegisters regs{0, 0, 0x198, 0};
  uint32_t returned = 0;
  ASSERT_TRUE(link.Control(CTL_READ_MSR, &regs, sizeof regs, &regs, sizeof regs, &returned));
  EXPECT_EQ(regs.EAX, 0x55667788u);
  EXPECT_EQ(regs.EDX, 0x11223344u);
}

TEST(TInProcessLink, WritesNeedNoOutputBuffer) {
  TFakeInProcessMachine machine;
  TInProcessLink link(machine);
  const IoRequest request{0x80, 0x5A};
  uint32_t returned = 99;
  EXPECT_TRUE(link.Control(CTL_WRITE_IO_BYTE, &request, sizeof request, nullptr, 0, &returned));
  EXPECT_EQ(returned, 0u);
  ASSERT_EQ(machine.PortWrites.size(), 1u);
  EXPECT_EQ(machine.PortWrites[0], std::make_pair(uint16_t{0x80}, 0x5Au));
}

TEST(TInProcessLink, AFailedRequestReportsFalseAndLeavesTheOutputAlone) {
  TFakeInProcessMachine machine;
  TInProcessLink link(machine);
  CrRequest request{5, 0, 0x1234};
  uint32_t returned = 99;
  EXPECT_FALSE(
      link.Control(CTL_READ_CR, &request, sizeof request, &request, sizeof request, &returned));
  EXPECT_EQ(returned, 0u);
  EXPECT_EQ(request.Value, 0x1234u);
  EXPECT_FALSE(link.Control(0x222850, nullptr, 0, nullptr, 0, nullptr));
}

TEST(TInProcessLink, MappingsResolveToTheMachinesMemory) {
  TFakeInProcessMachine machine;
  machine.Memory[0x40] = 0x5F;
  TInProcessLink link(machine);
  MapRequest map{static_cast<uint32_t>(MemoryBase + 0x40), 0, 16, 0};
  uint32_t returned = 0;
  ASSERT_TRUE(link.Control(CTL_MAP_MEMORY, &map, sizeof map, &map, sizeof map, &returned));
  EXPECT_EQ(returned, 16u);
  uint8_t* bytes = link.ResolveMapping(map.Mapped);
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(bytes[0], 0x5F);

  EXPECT_TRUE(link.Control(CTL_UNMAP_MEMORY, &map.Mapped, 4, nullptr, 0, &returned));
  EXPECT_EQ(link.ResolveMapping(map.Mapped), nullptr);
  EXPECT_FALSE(link.Control(CTL_UNMAP_MEMORY, &map.Mapped, 4, nullptr, 0, &returned));
}

TEST(TInProcessLink, AffinityMovesMsrAndCpuIdToTheLowestProcessorOfTheMask) {
  TFakeInProcessMachine machine;
  machine.Msrs[2][0x198] = 0x22;
  TInProcessLink link(machine);
  EXPECT_EQ(link.DirectMachine(), &machine);

  EXPECT_TRUE(link.SetAffinityMask(0b1100));
  EXPECT_EQ(machine.Selected, 2u);
  CpuRegisters regs{0, 0, 0x198, 0};
  ASSERT_TRUE(link.Control(CTL_READ_MSR, &regs, sizeof regs, &regs, sizeof regs, nullptr));
  EXPECT_EQ(regs.EAX, 0x22u);
  CpuRegisters id{1, 0, 0, 0};
  link.ExecuteCpuId(id);
  EXPECT_EQ(id.EAX, 0x101u);
  EXPECT_EQ(id.EBX, 2u << 24);

  EXPECT_FALSE(link.SetAffinityMask(0));        // nothing pinned: keep the current processor
  EXPECT_FALSE(link.SetAffinityMask(1u << 9));  // a processor this machine does not have
  EXPECT_EQ(machine.Selected, 2u);
  EXPECT_TRUE(link.SetAffinityMask(0b1000));
  EXPECT_EQ(machine.Selected, 3u);
}

}  // namespace

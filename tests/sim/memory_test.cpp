#include "sim/simmemory.h"

#include <gtest/gtest.h>

#include <cstring>

#include "hw/ioctl.h"
#include "sim/simmachine.h"

namespace {

TEST(SimMemory, LowMemoryReadsZeroAndUnwrittenRamAboveReadsAllOnes) {
  TSimMemory memory(256ull << 20, 0xC0000000);
  EXPECT_EQ(memory.ReadDword(0x400), 0u);
  EXPECT_EQ(memory.ReadDword(0xFFFFC), 0u);
  EXPECT_EQ(memory.ReadDword(0x100000), 0xFFFFFFFFu);
  EXPECT_EQ(memory.PageCount(), 0u);
}

TEST(SimMemory, WritesAllocatePagesOnlyInRam) {
  TSimMemory memory(256ull << 20, 0xC0000000);
  memory.WriteDword(0x0FFFFFFC, 0x11223344);  // last dword of RAM
  memory.WriteDword(0x10000000, 0x55667788);  // past RAM: dropped
  memory.WriteByte(0xFEC00000, 0x01);         // device space nothing claims: dropped
  EXPECT_EQ(memory.ReadDword(0x0FFFFFFC), 0x11223344u);
  EXPECT_EQ(memory.ReadDword(0x10000000), 0xFFFFFFFFu);
  EXPECT_EQ(memory.ReadByte(0xFEC00000), 0xFFu);
  EXPECT_EQ(memory.PageCount(), 1u);
  // The rest of a fresh page above 1 MiB keeps reading as never written.
  EXPECT_EQ(memory.ReadDword(0x0FFFF000), 0xFFFFFFFFu);
}

TEST(SimMemory, RamBeyondTheLowTopContinuesAboveFourGiB) {
  TSimMemory memory(4ull << 30, 0xC0000000);
  EXPECT_TRUE(memory.IsRam(0xBFFFFFFF));
  EXPECT_FALSE(memory.IsRam(0xC0000000));
  EXPECT_TRUE(memory.IsRam(0x100000000ull + (1ull << 30) - 1));
  EXPECT_FALSE(memory.IsRam(0x100000000ull + (1ull << 30)));
}

TEST(SimMemory, BiosAreaIsWritableMemory) {
  TSimMemory memory(64ull << 20, 0xC0000000);
  const char anchor[] = "_SM_";
  memory.Write(0xF0000, reinterpret_cast<const uint8_t*>(anchor), 4);
  memory.Write(0xFFFFE, reinterpret_cast<const uint8_t*>("\xAA\xBB"), 2);
  EXPECT_EQ(memory.ReadDword(0xF0000), 0x5F4D535Fu);
  EXPECT_EQ(memory.ReadWord(0xFFFFE), 0xBBAAu);
  EXPECT_EQ(memory.ReadDword(0xE0000), 0u);
}

TEST(SimMemory, MappingCopiesTheRangeAndWritesBackOnUnmap) {
  TSimMachine machine{TSimMachineConfig{}};
  machine.Memory().WriteDword(0xF0010, 0xDEADBEEF);
  uint32_t handle = 0;
  ASSERT_EQ(machine.MapPhysical(0xF0010, 16, &handle), ZEM_STATUS_SUCCESS);
  ASSERT_NE(handle, 0u);
  uint8_t* view = machine.ResolveMapping(handle);
  ASSERT_NE(view, nullptr);
  uint32_t value = 0;
  std::memcpy(&value, view, 4);
  EXPECT_EQ(value, 0xDEADBEEFu);
  // Not visible until the mapping is released.
  view[8] = 0x42;
  EXPECT_EQ(machine.Memory().ReadByte(0xF0018), 0x00u);
  EXPECT_EQ(machine.UnmapPhysical(handle), ZEM_STATUS_SUCCESS);
  EXPECT_EQ(machine.Memory().ReadByte(0xF0018), 0x42u);
  EXPECT_EQ(machine.ResolveMapping(handle), nullptr);
  EXPECT_NE(machine.UnmapPhysical(handle), ZEM_STATUS_SUCCESS);
  EXPECT_NE(machine.UnmapPhysical(0x12345678), ZEM_STATUS_SUCCESS);
  EXPECT_EQ(machine.MapPhysical(0xF0000, 0, &handle), ZEM_STATUS_INVALID_PARAMETER);
}

TEST(SimMemory, MappingsHaveDistinctHandles) {
  TSimMachine machine{TSimMachineConfig{}};
  uint32_t first = 0, second = 0;
  ASSERT_EQ(machine.MapPhysical(0x1000, 4, &first), ZEM_STATUS_SUCCESS);
  ASSERT_EQ(machine.MapPhysical(0x1000, 4, &second), ZEM_STATUS_SUCCESS);
  EXPECT_NE(first, second);
  machine.ResolveMapping(first)[0] = 1;
  machine.ResolveMapping(second)[1] = 2;
  machine.UnmapPhysical(second);
  machine.UnmapPhysical(first);
  EXPECT_EQ(machine.Memory().ReadWord(0x1000), 0x0201u);
}

TEST(SimMemory, MappingTheEcamWindowReachesConfigurationSpace) {
  TSimMachine machine{TSimMachineConfig{}};
  auto model = std::make_unique<TSimPciFunction>(0x8086, 0x2930, 0x0C0500, 0x02, 0);
  TSimPciFunction* smbus = model.get();
  smbus->SetWord(0x06, 0x8280);  // a latched error bit
  machine.Pci().AddFunction(0, 0x1F, 3, std::move(model));

  const uint64_t function = 0xE0000000ull + (0x1Full << 15) + (3ull << 12);
  uint32_t handle = 0;
  ASSERT_EQ(machine.MapPhysical(function, 256, &handle), ZEM_STATUS_SUCCESS);
  uint8_t* view = machine.ResolveMapping(handle);
  EXPECT_EQ(view[0], 0x86);
  EXPECT_EQ(view[3], 0x29);
  EXPECT_EQ(view[0x0B], 0x0C);
  view[0x40] = 0x01;  // HOSTC
  view[0x04] = 0x03;  // command; the status word beside it stays as read
  view[0x00] = 0x00;  // vendor: read-only
  ASSERT_EQ(machine.UnmapPhysical(handle), ZEM_STATUS_SUCCESS);
  EXPECT_EQ(smbus->Byte(0x40), 0x01);
  EXPECT_EQ(smbus->Word(0x04), 0x0003u);
  // Unchanged bytes were not written back, so the write-one-to-clear bit survives.
  EXPECT_EQ(smbus->Word(0x06), 0x8280u);
  EXPECT_EQ(smbus->Word(0x00), 0x8086u);
}

TEST(SimMemory, EcamScanFindsOnlyTheBoardsBase) {
  // The program's detection: dwords 0 and 8 of the first present device through each candidate
  // window must match what the legacy mechanism reads.
  TSimMachineConfig config;
  config.EcamBase = 0xF0000000;
  TSimMachine machine(config);
  machine.Pci().AddFunction(0, 0, 0,
                            std::make_unique<TSimPciFunction>(0x8086, 0x29C0, 0x060000, 0x02, 0));
  const uint32_t id = machine.PciConfigRead(0x80000000, 0, 4);
  const uint32_t classRev = machine.PciConfigRead(0x80000008, 0, 4);
  std::vector<uint32_t> matches;
  for (uint32_t base = 0xFE000000; base > 0xD0000000; base -= 0x02000000) {
    if (machine.Memory().ReadDword(base) == id &&
        machine.Memory().ReadDword(base + 8) == classRev) {
      matches.push_back(base);
    }
  }
  EXPECT_EQ(matches, std::vector<uint32_t>{0xF0000000});
}

}  // namespace

// Physical memory through the register-access service: mappings, single accesses, block reads in
// 256-byte windows and the pattern search.
#include <gtest/gtest.h>

#include "hw/readwrite.h"
#include "readwrite_fakes.h"

using namespace rwtest;

namespace {

constexpr uint32_t kBios = 0xE0000;

// A rig with the BIOS area (0xE0000..0xFFFFF) mapped as RAM.
struct TMemoryRig : TRig {
  TMemoryRig() { Hw.Ram.push_back({kBios, 0x100000}); }
};

}  // namespace

TEST(ReadWriteMemory, AccessesMapTheirWidthAndGiveTheHandleBack) {
  TMemoryRig rig;
  rig.Hw.PutMemory(0xF0000, std::string("\x78\x56\x34\x12\xAA", 5));
  TReadWrite& rw = rig.Build();

  EXPECT_EQ(rw.MemoryReadDword(0xF0000), 0x12345678u);
  EXPECT_EQ(rw.MemoryReadWord(0xF0001), 0x3456);  // unaligned is fine
  EXPECT_EQ(rw.MemoryReadByte(0xF0004), 0xAA);
  EXPECT_TRUE(rw.MemoryWriteWord(0xF0002, 0xBEEF));
  EXPECT_TRUE(rw.MemoryWriteByte(0xF0010, 0x5A));
  EXPECT_TRUE(rw.MemoryWriteDword(0xF0020, 0xCAFEF00D));
  EXPECT_EQ(rw.MemoryReadDword(0xF0000), 0xBEEF5678u);
  EXPECT_EQ(rw.MemoryReadDword(0xF0020), 0xCAFEF00Du);

  EXPECT_EQ(rig.Hw.MapLog[0], (TMapOp{0xF0000, 4}));
  EXPECT_EQ(rig.Hw.MapLog[1], (TMapOp{0xF0001, 2}));
  EXPECT_EQ(rig.Hw.MapLog[2], (TMapOp{0xF0004, 1}));
  // The unmap request carries the value the map request returned, not an address.
  EXPECT_EQ(rig.Hw.UnmapLog.size(), rig.Hw.MapLog.size());
  for (uint32_t mapped : rig.Hw.UnmapLog) EXPECT_LT(mapped, 0x10000u);
  EXPECT_EQ(rig.Hw.OpenMappings(), 0u);

  EXPECT_EQ(rig.Lines.Lines[0], "RW: MemoryReadDword 0x000F0000=0x12345678");
  EXPECT_EQ(rig.Lines.Lines[1], "RW: MemoryReadWord 0x000F0001=0x3456");
  EXPECT_EQ(rig.Lines.Lines[2], "RW: MemoryReadByte 0x000F0004=0xAA");
  EXPECT_EQ(rig.Lines.Lines[3], "RW: MemoryWriteWord 0x000F0002=0xBEEF");
  EXPECT_EQ(rig.Lines.Lines[4], "RW: MemoryWriteByte 0x000F0010=0x5A");
  EXPECT_EQ(rig.Lines.Lines[5], "RW: MemoryWriteDword 0x000F0020=0xCAFEF00D");
}

TEST(ReadWriteMemory, FailedMappingsTouchNothing) {
  TMemoryRig rig;
  TReadWrite& rw = rig.Build();

  EXPECT_EQ(rw.MemoryReadByte(0x1000), 0xFF);
  EXPECT_EQ(rw.MemoryReadWord(0x1000), 0xFFFF);
  EXPECT_EQ(rw.MemoryReadDword(0x1000), 0xFFFFFFFFu);
  EXPECT_FALSE(rw.MemoryWriteDword(0x1000, 0));
  EXPECT_FALSE(rw.MapMemory(0x1000, 16));
  EXPECT_TRUE(rig.Hw.UnmapLog.empty());
  EXPECT_TRUE(rig.Hw.Memory.empty());
  EXPECT_EQ(rig.Lines.Lines, (std::vector<std::string>{
                                 "RW: Map Memory Error: 0x00001000",
                                 "RW: MemoryReadByte 0x00001000=0xFF",
                                 "RW: Map Memory Error: 0x00001000",
                                 "RW: MemoryReadWord 0x00001000=0xFFFF",
                                 "RW: Map Memory Error: 0x00001000",
                                 "RW: MemoryReadDword 0x00001000=0xFFFFFFFF",
                                 "RW: MemoryWriteDword 0x00001000=0x00000000",
                                 "RW: Map Memory Error: 0x00001000",
                                 "RW: Map Memory Error: 0x00001000",
                             }));
}

TEST(ReadWriteMemory, AMappingThisProcessCannotReachIsGivenBackAndFails) {
  TMemoryRig rig;
  rig.Hw.ResolveWorks = false;
  TReadWrite& rw = rig.Build();
  EXPECT_EQ(rw.MemoryReadDword(0xF0000), 0xFFFFFFFFu);
  EXPECT_EQ(rig.Hw.OpenMappings(), 0u);
  EXPECT_EQ(rig.Lines.Lines[0], "RW: Map Memory Error: 0x000F0000");
}

TEST(ReadWriteMemory, UnmapFailureIsTraced) {
  TMemoryRig rig;
  TReadWrite& rw = rig.Build();
  const TMapping mapping = rw.MapMemory(0xF0000, 16);
  ASSERT_TRUE(mapping);
  mapping.Pointer[3] = 0x42;
  EXPECT_TRUE(rw.UnmapMemory(mapping));
  EXPECT_EQ(rig.Hw.Memory[0xF0003], 0x42);
  EXPECT_FALSE(rw.UnmapMemory(mapping.Mapped));  // already given back
  EXPECT_EQ(rig.Lines.Lines, (std::vector<std::string>{"RW: Unmap Memory Error"}));
}

TEST(ReadWriteMemory, BlockReadsWalkAlignedWindows) {
  TMemoryRig rig;
  for (uint32_t a = 0xF0000; a < 0xF0300; ++a) rig.Hw.Memory[a] = static_cast<uint8_t>(a * 7);
  TReadWrite& rw = rig.Build();

  uint8_t buffer[0x120];
  ASSERT_TRUE(rw.MemoryReadBlock(0xF00F0, buffer, sizeof buffer));
  for (uint32_t i = 0; i < sizeof buffer; ++i)
    ASSERT_EQ(buffer[i], static_cast<uint8_t>((0xF00F0 + i) * 7)) << i;
  EXPECT_EQ(rig.Hw.MapLog, (std::vector<TMapOp>{{0xF0000, 256}, {0xF0100, 256}, {0xF0200, 256}}));
  EXPECT_TRUE(rig.Lines.Lines.empty());

  rig.Hw.MapLog.clear();
  EXPECT_TRUE(rw.MemoryReadBlock(0xF0000, buffer, 0));
  EXPECT_TRUE(rig.Hw.MapLog.empty());

  uint8_t window[256];
  ASSERT_TRUE(rw.MemoryReadBlock(0xF0200, window));
  EXPECT_EQ(window[255], static_cast<uint8_t>(0xF02FF * 7));
  EXPECT_EQ(rig.Hw.MapLog, (std::vector<TMapOp>{{0xF0200, 256}}));

  // The block runs off the end of the mapped range.
  EXPECT_FALSE(rw.MemoryReadBlock(0xFFF80, buffer, sizeof buffer));
}

TEST(ReadWriteMemorySearch, AFullWindowExaminesSixteenPositionsAtStepSixteen) {
  TMemoryRig rig;
  // "_SM_" at every 16-byte position from 0xF0000 up.
  for (uint32_t a = 0xF0000; a < 0xF0400; a += 16) rig.Hw.PutMemory(a, "_SM_");
  TReadWrite& rw = rig.Build();

  // Instance k is position k: none is skipped or examined twice across the window seam.
  for (uint32_t k : {0u, 1u, 15u, 16u, 17u, 31u})
    EXPECT_EQ(rw.MemorySearch(0xF0000, 0x400, "_SM_", k, 16), 0xF0000 + 16 * k) << k;
}

TEST(ReadWriteMemorySearch, TheTailWindowIsScannedOnceAndMayReachPastTheLength) {
  TMemoryRig rig;
  TReadWrite& rw = rig.Build();

  // 0x180 bytes: one full window (consuming 252 of the length) and a 132-byte tail.
  EXPECT_EQ(rw.MemorySearch(0xF0000, 0x180, "RSD PTR ", 0, 16), kSearchNotFound);
  EXPECT_EQ(rig.Hw.MapLog, (std::vector<TMapOp>{{0xF0000, 256}, {0xF0100, 256}}));

  // The tail's last position is start + 0x180, beyond start + length - pattern length.
  rig.Hw.PutMemory(0xF0180, "_SM_");
  EXPECT_EQ(rw.MemorySearch(0xF0000, 0x180, "_SM_", 0, 16), 0xF0180u);
  rig.Hw.PutMemory(0xF0180, "xxxx");
  rig.Hw.PutMemory(0xF0190, "_SM_");
  EXPECT_EQ(rw.MemorySearch(0xF0000, 0x180, "_SM_", 0, 16), kSearchNotFound);
}

TEST(ReadWriteMemorySearch, InstanceOneReturnsTheSecondMatch) {
  TMemoryRig rig;
  rig.Hw.PutMemory(0xE0010, "SSDT");
  rig.Hw.PutMemory(0xE0350, "SSDT");
  rig.Hw.PutMemory(0xE0800, "SSDT");
  TReadWrite& rw = rig.Build();
  EXPECT_EQ(rw.MemorySearch(0xE0000, 0x1000, "SSDT", 0, 16), 0xE0010u);
  EXPECT_EQ(rw.MemorySearch(0xE0000, 0x1000, std::string("SSDT"), 1, 16), 0xE0350u);
  EXPECT_EQ(rw.MemorySearch(0xE0000, 0x1000, "SSDT", 2, 16), 0xE0800u);
  EXPECT_EQ(rw.MemorySearch(0xE0000, 0x1000, "SSDT", 3, 16), kSearchNotFound);
}

TEST(ReadWriteMemorySearch, PatternsAcrossAWindowBoundaryAreFound) {
  TMemoryRig rig;
  rig.Hw.PutMemory(0xF00FC, "RSD PTR ");               // bytes 0xF00FC..0xF0103
  const std::string anchor = "_SM3_0123456789ABCDEF";  // 21 bytes from 0xF05F0
  rig.Hw.PutMemory(0xF05F0, anchor);
  TReadWrite& rw = rig.Build();

  EXPECT_EQ(rw.MemorySearch(0xF0000, 0x200, "RSD PTR ", 0, 1), 0xF00FCu);
  EXPECT_EQ(rw.MemorySearch(0xF0500, 0x200, anchor, 0, 16), 0xF05F0u);
  // Step 0 counts as 1.
  EXPECT_EQ(rw.MemorySearch(0xF0000, 0x200, "RSD PTR ", 0, 0), 0xF00FCu);
  // Only start + k * step is examined: at step 16 the unaligned anchor is never seen.
  EXPECT_EQ(rw.MemorySearch(0xF0000, 0x200, "RSD PTR ", 0, 16), kSearchNotFound);
}

TEST(ReadWriteMemorySearch, DegenerateRequestsFindNothingWithoutMapping) {
  TMemoryRig rig;
  rig.Hw.PutMemory(0xF0000, "AB");
  TReadWrite& rw = rig.Build();
  EXPECT_EQ(rw.MemorySearch(0xF0000, 0, "AB", 0, 1), kSearchNotFound);
  EXPECT_EQ(rw.MemorySearch(0xF0000, 0x100, "", 0, 1), kSearchNotFound);
  EXPECT_TRUE(rig.Hw.MapLog.empty());
  // An unmappable window ends the search.
  EXPECT_EQ(rw.MemorySearch(0x1000, 0x100, "AB", 0, 1), kSearchNotFound);
  const uint8_t bytes[] = {'A', 'B'};
  EXPECT_EQ(rw.MemorySearch(0xF0000, 0x100, bytes, 2, 0, 1), 0xF0000u);
}

#include "hw/recordlink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "hw/inprocesslink.h"
#include "tests/hw/fakemachine.h"

namespace {

constexpr uint32_t MemoryBase = 0xE0000;

// Two processors, a Super I/O-like port pair, one PCI device, a TSC that moves on every read
// and 512 bytes of memory.
class TSmallMachine : public TFakeMachine {
 public:
  uint64_t Tsc = 1000;
  uint32_t CfAddress = 0;

  TSmallMachine() : TFakeMachine(2, MemoryBase, 0x200, 0x100) {
    Ports = {{0x2F, 0x87}, {0x80, 0}};
    Msrs[0][0x198] = 0x0C27;
    Msrs[1][0x198] = 0x0B25;
    for (size_t i = 0; i < Memory.size(); ++i) Memory[i] = static_cast<uint8_t>(i * 7);
  }

  uint32_t PortIn(uint16_t port, uint8_t width) override {
    if (port == 0xCFC) return CfAddress == 0x80000000u ? 0x29168086u : 0xFFFFFFFFu;
    return TFakeMachine::PortIn(port, width);
  }
  void PortOut(uint16_t port, uint8_t, uint32_t value) override {
    if (port == 0xCF8) CfAddress = value;
    Ports[port] = value;
  }
  uint64_t ReadTsc() override { return Tsc += 1000; }
  void ExecuteCpuId(CpuRegisters& regs) override {
    regs = CpuRegisters{regs.EAX == 0 ? 0xDu : 0x106A5u, Selected << 24, 0x6C65746E, 0x49656E69};
  }
};

std::string Hex(uint64_t value) {
  std::ostringstream text;
  text << std::hex << value;
  return text.str();
}

// What a program would see of a short session, as one text per observation. The port record is
// reused as TReadWrite reuses its own, so the second read carries the first one's result.
std::vector<std::string> RunSession(IDriverLink& link) {
  std::vector<std::string> seen;
  uint32_t returned = 0;
  // Makes the call first, then notes its result with the value it left behind.
  auto call = [&](bool ok, const auto& value) {
    seen.push_back((ok ? "ok " : "failed ") + std::to_string(returned) + " " + Hex(value()));
  };

  IoRequest io{0x2F, 0};
  call(link.Control(CTL_READ_IO_BYTE, &io, 8, &io, 8, &returned), [&] { return io.Value; });
  io = IoRequest{0x2E, 0x55};
  call(link.Control(CTL_WRITE_IO_BYTE, &io, 8, &io, 8, &returned), [] { return 0; });
  io.Port = 0x2F;
  call(link.Control(CTL_READ_IO_BYTE, &io, 8, &io, 8, &returned), [&] { return io.Value; });

  PciRequest pci{0, 0, 0, 0, 0, 0, 0};
  call(link.Control(CTL_READ_PCI_DWORD, &pci, 12, &pci, 12, &returned), [&] { return pci.Value; });

  for (uint32_t mask : {1u, 2u}) {
    link.SetAffinityMask(mask);
    CpuRegisters regs{0, 0, 0x198, 0};
    call(link.Control(CTL_READ_MSR, &regs, 16, &regs, 16, &returned), [&] { return regs.EAX; });
    CpuRegisters id{1, 0, 0, 0};
    link.ExecuteCpuId(id);
    returned = 16;
    call(true, [&] { return (uint64_t{id.EAX} << 32) | id.EBX; });
  }

  for (int i = 0; i < 3; ++i) {
    uint64_t tsc = 0;
    call(link.Control(CTL_READ_TSC, nullptr, 0, &tsc, 8, &returned), [&] { return tsc; });
  }

  // Map, read and change memory, then map it again to see the change.
  for (int pass = 0; pass < 2; ++pass) {
    MapRequest map{MemoryBase + 0x10, 0, 8, 0};
    const bool ok = link.Control(CTL_MAP_MEMORY, &map, 16, &map, 16, &returned);
    uint8_t* bytes = ok ? link.ResolveMapping(map.Mapped) : nullptr;
    uint64_t value = 0;
    if (bytes != nullptr) {
      std::memcpy(&value, bytes, 8);
      bytes[0] = 0xA5;
    }
    call(ok && bytes != nullptr, [&] { return value; });
    call(link.Control(CTL_UNMAP_MEMORY, &map.Mapped, 4, nullptr, 0, &returned), [] { return 0; });
  }

  MapRequest outside{0x1000, 0, 8, 0};
  call(link.Control(CTL_MAP_MEMORY, &outside, 16, &outside, 16, &returned), [] { return 0; });
  CrRequest cr5{5, 0, 0};
  call(link.Control(CTL_READ_CR, &cr5, 16, &cr5, 16, &returned), [&] { return cr5.Value; });
  return seen;
}

class RecordLinkTest : public testing::Test {
 protected:
  // Unique per process: several builds may run these tests at once.
  std::string CapturePath(const std::string& name) {
    static const std::string run = std::to_string(std::random_device{}());
    Paths_.push_back(testing::TempDir() + "korzem_recordlink_" + run + "_" + name + ".txt");
    return Paths_.back();
  }

  void TearDown() override {
    for (const std::string& path : Paths_) std::remove(path.c_str());
  }

  // Records RunSession on a fresh machine and returns what it saw.
  std::vector<std::string> Record(const std::string& path) {
    std::string error;
    auto recorder =
        TRecordingLink::Create(std::make_unique<TInProcessLink>(Machine_), path, &error);
    EXPECT_NE(recorder, nullptr) << error;
    if (!recorder) return {};
    std::vector<std::string> seen = RunSession(*recorder);
    EXPECT_FALSE(recorder->Failed()) << recorder->LastError();
    return seen;
  }

  std::unique_ptr<TReplayLink> ParseOrFail(const std::string& text) {
    std::string error;
    auto link = TReplayLink::Parse(text, "test.cap", &error);
    EXPECT_NE(link, nullptr) << error;
    return link;
  }

  static void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }

  TSmallMachine Machine_;
  std::vector<std::string> Paths_;
};

TEST_F(RecordLinkTest, ReplayingACaptureShowsTheProgramWhatTheMachineShowedIt) {
  const std::string path = CapturePath("session");
  const std::vector<std::string> recorded = Record(path);
  ASSERT_EQ(recorded.size(), 17u);
  EXPECT_EQ(recorded[0], "ok 8 87");
  EXPECT_EQ(recorded[2], "ok 8 87");
  EXPECT_EQ(recorded[3], "ok 12 29168086");
  EXPECT_EQ(recorded[4], "ok 16 c27");
  EXPECT_EQ(recorded[6], "ok 16 b25");
  EXPECT_EQ(recorded[7], "ok 16 106a501000000");
  EXPECT_NE(recorded[8], recorded[9]);  // the TSC moved between reads
  EXPECT_EQ(recorded[11], "ok 16 a19a938c857e7770");
  EXPECT_EQ(recorded[13], "ok 16 a19a938c857e77a5");  // the second map sees the first one's write
  EXPECT_EQ(recorded[15], "failed 0 0");

  std::string error;
  auto replay = TReplayLink::Open(path, &error);
  ASSERT_NE(replay, nullptr) << error;
  EXPECT_EQ(RunSession(*replay), recorded);
  EXPECT_FALSE(replay->Failed()) << replay->LastError();
  EXPECT_EQ(replay->DirectMachine(), nullptr);
}

TEST_F(RecordLinkTest, CaptureLinesAreReadableRecordsOfEachCall) {
  const std::string path = CapturePath("lines");
  Record(path);
  std::ifstream file(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], "KorZem driver capture 1");
  EXPECT_EQ(lines[1],
            "control 0x222808 CTL_READ_IO_BYTE in=2F00000000000000 out=2F00000087000000 "
            "status=ok returned=8");
  EXPECT_EQ(lines[2],
            "control 0x22280C CTL_WRITE_IO_BYTE in=2E00000055000000 out= status=ok returned=0");
  EXPECT_NE(std::find(lines.begin(), lines.end(), "affinity mask=0x00000002"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "cpuid in=01000000000000000000000000000000 "
                      "out=A506010000000001"
                      "6E74656C696E6549"),
            lines.end());
  const std::string cr5 =
      "control 0x222864 CTL_READ_CR in=05000000000000000000000000000000 out= status=failed "
      "returned=0";
  EXPECT_EQ(lines.back(), cr5);
  // The map carries the 8 mapped bytes (i * 7 from offset 0x10).
  bool sawMemory = false;
  for (const std::string& line : lines)
    if (line.find(" memory=70777E858C939AA1") != std::string::npos) sawMemory = true;
  EXPECT_TRUE(sawMemory);
}

TEST_F(RecordLinkTest, RepeatedCallsGetTheirAnswersInOrderThenTheLastAgain) {
  auto replay = ParseOrFail(
      "KorZem driver capture 1\n"
      "control 0x22285C in= out=0100000000000000 status=ok returned=8\n"
      "# a comment between records\n"
      "\n"
      "control 0x22285C in= out=0200000000000000 status=ok returned=8\r\n");
  ASSERT_NE(replay, nullptr);
  std::vector<uint64_t> seen;
  for (int i = 0; i < 4; ++i) {
    uint64_t tsc = 0;
    uint32_t returned = 0;
    EXPECT_TRUE(replay->Control(CTL_READ_TSC, nullptr, 0, &tsc, 8, &returned));
    EXPECT_EQ(returned, 8u);
    seen.push_back(tsc);
  }
  EXPECT_EQ(seen, (std::vector<uint64_t>{1, 2, 2, 2}));
}

TEST_F(RecordLinkTest, StaleResultFieldsInAReusedRecordStillMatch) {
  auto replay = ParseOrFail(
      "KorZem driver capture 1\n"
      "control 0x222808 CTL_READ_IO_BYTE in=2F00000000000000 out=2F00000087000000 status=ok "
      "returned=8\n");
  ASSERT_NE(replay, nullptr);
  IoRequest io{0x2F, 0xDEAD};
  uint32_t returned = 0;
  EXPECT_TRUE(replay->Control(CTL_READ_IO_BYTE, &io, 8, &io, 8, &returned));
  EXPECT_EQ(io.Value, 0x87u);
  // A different port is a different call, whatever the value field holds.
  io = IoRequest{0x2E, 0};
  EXPECT_FALSE(replay->Control(CTL_READ_IO_BYTE, &io, 8, &io, 8, &returned));
}

TEST_F(RecordLinkTest, AnUnrecordedCallFailsLoudly) {
  const std::string path = CapturePath("unseen");
  Record(path);
  std::string error;
  auto replay = TReplayLink::Open(path, &error);
  ASSERT_NE(replay, nullptr) << error;
  EXPECT_FALSE(replay->Failed());

  IoRequest io{0x99, 0};
  uint32_t returned = 77;
  EXPECT_FALSE(replay->Control(CTL_READ_IO_BYTE, &io, 8, &io, 8, &returned));
  EXPECT_EQ(returned, 0u);
  EXPECT_TRUE(replay->Failed());
  EXPECT_EQ(replay->LastError(),
            "replay: no recorded answer for code 0x222808 input 9900000000000000");

  CpuRegisters id{4, 0, 0, 0};
  replay->ExecuteCpuId(id);
  EXPECT_EQ(id.EAX, 0u);
  EXPECT_EQ(replay->LastError(), "replay: no recorded answer for CPUID leaf 0x00000004");

  uint32_t never = 0x4242;
  EXPECT_FALSE(replay->Control(CTL_UNMAP_MEMORY, &never, 4, nullptr, 0, &returned));
  EXPECT_NE(replay->LastError().find("never mapped"), std::string::npos);
}

TEST_F(RecordLinkTest, WritesThroughAReplayedMappingStayInThatMapping) {
  auto replay = ParseOrFail(
      "KorZem driver capture 1\n"
      "control 0x222800 CTL_MAP_MEMORY in=00000F00000000000400000000000000 "
      "out=00000F00000000000400000034120000 status=ok returned=16 memory=11223344\n");
  ASSERT_NE(replay, nullptr);
  uint32_t mapped[2] = {};
  for (uint32_t& handle : mapped) {
    MapRequest map{0xF0000, 0, 4, 0xFFFFFFFF};
    uint32_t returned = 0;
    ASSERT_TRUE(replay->Control(CTL_MAP_MEMORY, &map, 16, &map, 16, &returned));
    EXPECT_EQ(returned, 16u);
    EXPECT_EQ(map.AddressLow, 0xF0000u);
    handle = map.Mapped;
    uint8_t* bytes = replay->ResolveMapping(handle);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(bytes[0], 0x11);
    EXPECT_EQ(bytes[3], 0x44);
    bytes[0] = 0xFF;
  }
  EXPECT_NE(mapped[0], mapped[1]);
  EXPECT_TRUE(replay->Control(CTL_UNMAP_MEMORY, &mapped[0], 4, nullptr, 0, nullptr));
  EXPECT_EQ(replay->ResolveMapping(mapped[0]), nullptr);
  EXPECT_EQ(replay->ResolveMapping(mapped[1])[0], 0xFF);
  EXPECT_FALSE(replay->Failed());
}

TEST_F(RecordLinkTest, MissingOrMalformedCapturesAreRejectedWithTheReason) {
  std::string error;
  EXPECT_EQ(TReplayLink::Open(CapturePath("does-not-exist"), &error), nullptr);
  EXPECT_EQ(error, "replay: cannot read capture file " + CapturePath("does-not-exist"));

  const std::string path = CapturePath("malformed");
  WriteFile(path, "KorZem driver capture 1\ncontrol 0x222808 in=2F0 out= status=ok returned=8\n");
  EXPECT_EQ(TReplayLink::Open(path, &error), nullptr);
  EXPECT_EQ(error, "replay: " + path + " line 2: bad hex bytes in in=");

  struct TCase {
    const char* Text;
    const char* Error;
  };
  const TCase cases[] = {
      {"", "replay: x.cap: empty capture"},
      {"some other file\n",
       "replay: x.cap line 1: not a driver capture (the first line must be "
       "\"KorZem driver capture 1\")"},
      {"KorZem driver capture 1\ncontrol 0x222808 in=00 out= returned=0\n",
       "replay: x.cap line 2: missing status="},
      {"KorZem driver capture 1\ncontrol 0x222808 in=00 out= status=maybe returned=0\n",
       "replay: x.cap line 2: status must be ok or failed"},
      {"KorZem driver capture 1\ncontrol in=00 out= status=ok returned=0\n",
       "replay: x.cap line 2: a control record needs its code"},
      {"KorZem driver capture 1\ncpuid in=00 out=00\n",
       "replay: x.cap line 2: cpuid records carry 16 bytes in and out"},
      {"KorZem driver capture 1\n\nread 0x2F\n", "replay: x.cap line 3: unknown record \"read\""},
  };
  for (const TCase& c : cases) {
    error.clear();
    EXPECT_EQ(TReplayLink::Parse(c.Text, "x.cap", &error), nullptr) << c.Text;
    EXPECT_EQ(error, c.Error);
  }
}

TEST_F(RecordLinkTest, RecordingRefusesAFileItCannotCreate) {
  std::string error;
  auto link = TRecordingLink::Create(std::make_unique<TInProcessLink>(Machine_),
                                     CapturePath("no/such/dir/x"), &error);
  EXPECT_EQ(link, nullptr);
  EXPECT_EQ(error, "record: cannot create capture file " + CapturePath("no/such/dir/x"));
}

}  // namespace

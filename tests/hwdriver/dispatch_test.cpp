#include "hw/driver/dispatch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <ostream>
#include <tuple>
#include <vector>

#include "hw/driver/machinerules.h"
#include "hw/ioctl.h"

namespace {

constexpr uint16_t PmPort = 0x808;
constexpr uint64_t TscPerMicrosecond = 3000;
constexpr uint64_t AmdClocksPerMicrosecond = 2500;
constexpr uint32_t PmTicksPerMicrosecond = 3;
constexpr uint32_t RaiseToken = 0x5A;

// A machine with ports, configuration space, MSRs and counters in maps and a virtual clock that
// only BusyWaitMicroseconds advances.
class TFakeMachine : public IZemMachine {
 public:
  using TWrite = std::tuple<uint32_t, uint8_t, uint64_t>;  // port or MSR, width, value

  std::map<uint16_t, uint32_t> Ports;
  std::vector<TWrite> PortWrites;
  std::vector<uint16_t> PortReads;
  std::map<uint32_t, uint32_t> Config;  // by mechanism #1 address (offset & 0xFC)
  uint32_t ConfigAddress = 0;

  std::map<uint32_t, uint64_t> Msrs;
  std::vector<std::pair<uint32_t, uint64_t>> MsrWrites;
  std::map<uint32_t, uint64_t> Crs;
  std::vector<std::pair<uint32_t, uint64_t>> CrWrites;
  std::map<uint32_t, uint64_t> Pmcs;

  uint64_t Now = 0;  // microseconds
  uint32_t PmStart = 0;
  bool Pm24Bit = false;
  uint64_t TscStart = 0;
  bool Raised = false;
  bool WaitedRaised = false;
  int Lowered = 0;
  uint32_t LoweredWith = 0;

  uint32_t MapFailure = ZEM_STATUS_SUCCESS;
  std::vector<std::pair<uint64_t, uint32_t>> Maps;
  std::vector<uint32_t> Unmaps;

  uint32_t PortIn(uint16_t port, uint8_t width) override {
    PortReads.push_back(port);
    const uint32_t mask = width == 1 ? 0xFF : width == 2 ? 0xFFFF : 0xFFFFFFFF;
    if (port >= 0xCFC && port <= 0xCFF) {
      auto it = Config.find(ConfigAddress);
      const uint32_t dword = it == Config.end() ? 0xFFFFFFFF : it->second;
      return (dword >> (8 * (port - 0xCFC))) & mask;
    }
    if (port == PmPort) {
      const uint32_t ticks = PmStart + static_cast<uint32_t>(Now) * PmTicksPerMicrosecond;
      return Pm24Bit ? ticks & 0xFFFFFF : ticks;
    }
    auto it = Ports.find(port);
    return it == Ports.end() ? mask : it->second & mask;
  }

  void PortOut(uint16_t port, uint8_t width, uint32_t value) override {
    PortWrites.emplace_back(port, width, value);
    if (port == 0xCF8) ConfigAddress = value;
    if (port >= 0xCFC && port <= 0xCFF) {
      const int shift = 8 * (port - 0xCFC);
      const uint32_t mask = (width == 1 ? 0xFFu : width == 2 ? 0xFFFFu : 0xFFFFFFFFu) << shift;
      uint32_t& dword = Config[ConfigAddress];
      dword = (dword & ~mask) | ((value << shift) & mask);
    }
  }

  bool ReadMsr(uint32_t msr, uint64_t* value) override {
    if (msr == 0x10) {
      *value = ReadTsc();
      return true;
    }
    if (msr >= 0xC0010004 && msr <= 0xC0010007) {
      *value = AmdCount(msr - 0xC0010004);
      return true;
    }
    auto it = Msrs.find(msr);
    if (it == Msrs.end()) return false;
    *value = it->second;
    return true;
  }

  bool WriteMsr(uint32_t msr, uint64_t value) override {
    MsrWrites.emplace_back(msr, value);
    if (msr >= 0xC0010004 && msr <= 0xC0010007) {
      const uint32_t i = msr - 0xC0010004;
      Counter[i] = value;
      CounterSince[i] = Now;
      return true;
    }
    if (msr >= 0xC0010000 && msr <= 0xC0010003) {
      const uint32_t i = msr - 0xC0010000;
      Counter[i] = AmdCount(i);
      CounterSince[i] = Now;
    }
    Msrs[msr] = value;
    return true;
  }

  uint64_t ReadTsc() override { return TscStart + Now * TscPerMicrosecond; }

  bool ReadPmc(uint32_t counter, uint64_t* value) override {
    auto it = Pmcs.find(counter);
    if (it == Pmcs.end()) return false;
    *value = it->second;
    return true;
  }

  bool ReadCr(uint32_t number, uint64_t* value) override {
    auto it = Crs.find(number);
    if (it == Crs.end()) return false;
    *value = it->second;
    return true;
  }

  bool WriteCr(uint32_t number, uint64_t value) override {
    if (!Crs.count(number)) return false;
    CrWrites.emplace_back(number, value);
    Crs[number] = value;
    return true;
  }

  uint32_t MapPhysical(uint64_t address, uint32_t length, uint32_t* mapped) override {
    Maps.emplace_back(address, length);
    if (MapFailure != ZEM_STATUS_SUCCESS) return MapFailure;
    *mapped = 0x40000000u + static_cast<uint32_t>(address);
    return ZEM_STATUS_SUCCESS;
  }

  uint32_t UnmapPhysical(uint32_t mapped) override {
    Unmaps.push_back(mapped);
    return ZEM_STATUS_SUCCESS;
  }

  void BusyWaitMicroseconds(uint32_t microseconds) override {
    WaitedRaised = Raised;
    Now += microseconds;
  }

  uint32_t RaiseToDispatchLevel() override {
    Raised = true;
    return RaiseToken;
  }

  void LowerFromDispatchLevel(uint32_t previous) override {
    Raised = false;
    ++Lowered;
    LoweredWith = previous;
  }

 private:
  uint64_t AmdCount(uint32_t i) {
    const auto select = Msrs.find(0xC0010000 + i);
    const bool enabled = select != Msrs.end() && (select->second & (1u << 22)) != 0;
    return Counter[i] + (enabled ? (Now - CounterSince[i]) * AmdClocksPerMicrosecond : 0);
  }

  uint64_t Counter[4] = {};
  uint64_t CounterSince[4] = {};
};

struct TAnswer {
  uint32_t Status;
  uint32_t Returned;
  std::vector<uint8_t> Buffer;

  template <class Record>
  Record As() const {
    Record record{};
    std::memcpy(&record, Buffer.data(), std::min(Buffer.size(), sizeof record));
    return record;
  }
};

// Issues one request the way buffered I/O does: one system buffer of max(in, out) bytes.
template <class Record>
TAnswer Call(IZemMachine& machine, uint32_t code, const Record& record,
             uint32_t inLength = sizeof(Record), uint32_t outLength = sizeof(Record)) {
  TAnswer answer{0, 0xDEADBEEF, std::vector<uint8_t>(std::max(inLength, outLength), 0xEE)};
  std::memcpy(answer.Buffer.data(), &record, std::min<size_t>(inLength, sizeof record));
  answer.Status =
      ZemDispatch(machine, code, answer.Buffer.data(), inLength, outLength, &answer.Returned);
  return answer;
}

ClockRequest ClockFor(uint32_t msr, uint32_t microseconds, uint16_t width) {
  ClockRequest request{};
  request.CounterMsr = msr;
  request.Microseconds = microseconds;
  request.PmTimerPort = PmPort;
  request.PmTimerWidth = width;
  return request;
}

TEST(ZemDispatch, PortReadsStoreTheZeroExtendedValueAndReturnTheRecord) {
  TFakeMachine machine;
  machine.Ports[0x2F] = 0x12345678;
  const uint32_t codes[] = {CTL_READ_IO_BYTE, CTL_READ_IO_WORD, CTL_READ_IO_DWORD};
  const uint32_t expected[] = {0x78, 0x5678, 0x12345678};
  for (int i = 0; i < 3; ++i) {
    const TAnswer answer = Call(machine, codes[i], IoRequest{0x2F, 0xAAAAAAAA});
    EXPECT_EQ(answer.Status, ZEM_STATUS_SUCCESS);
    EXPECT_EQ(answer.Returned, 8u);
    EXPECT_EQ(answer.As<IoRequest>().Port, 0x2Fu);
    EXPECT_EQ(answer.As<IoRequest>().Value, expected[i]) << "code " << std::hex << codes[i];
  }
}

TEST(ZemDispatch, PortWritesSendTheValueAtTheirWidthAndReturnNothing) {
  TFakeMachine machine;
  EXPECT_EQ(Call(machine, CTL_WRITE_IO_BYTE, IoRequest{0x2E, 0x1187}).Returned, 0u);
  Call(machine, CTL_WRITE_IO_WORD, IoRequest{0x80, 0xABCD1234});
  const TAnswer dword = Call(machine, CTL_WRITE_IO_DWORD, IoRequest{0xCFC, 0xABCD1234});
  EXPECT_EQ(dword.Status, ZEM_STATUS_SUCCESS);
  EXPECT_EQ(dword.Returned, 0u);
  const std::vector<TFakeMachine::TWrite> expected = {
      {0x2E, 1, 0x87}, {0x80, 2, 0x1234}, {0xCFC, 4, 0xABCD1234}};
  EXPECT_EQ(machine.PortWrites, expected);
}

TEST(ZemDispatch, PciExtendedOffsetGoesIntoAddressBits27To24) {
  TFakeMachine machine;
  // Bus 0, device 0x18, function 3, register 0x1F0 (an AMD northbridge register).
  const uint32_t address = 0x80000000u | (1u << 24) | (0x18u << 11) | (3u << 8) | 0xF0;
  machine.Config[address] = 0xCAFEF00D;
  const TAnswer answer = Call(machine, CTL_READ_PCI_DWORD, PciRequest{0, 0x18, 3, 0, 0x1F0, 0, 0});
  EXPECT_EQ(answer.Status, ZEM_STATUS_SUCCESS);
  EXPECT_EQ(answer.Returned, 12u);
  EXPECT_EQ(answer.As<PciRequest>().Value, 0xCAFEF00Du);
  EXPECT_EQ(std::get<0>(machine.PortWrites.back()), 0xCF8u);
  EXPECT_EQ(std::get<2>(machine.PortWrites.back()), address);
  EXPECT_EQ(machine.PortReads.back(), 0xCFC);
}

TEST(ZemDispatch, PciByteAndWordAccessesUseTheirLaneOfTheDataPort) {
  TFakeMachine machine;
  const uint32_t address = 0x80000000u | (2u << 16) | (5u << 11) | (1u << 8) | 0x40;
  machine.Config[address] = 0x44332211;

  const TAnswer byte = Call(machine, CTL_READ_PCI_BYTE, PciRequest{2, 5, 1, 0, 0x42, 0, ~0u});
  EXPECT_EQ(byte.As<PciRequest>().Value, 0x33u);
  EXPECT_EQ(machine.PortReads.back(), 0xCFE);
  const TAnswer word = Call(machine, CTL_READ_PCI_WORD, PciRequest{2, 5, 1, 0, 0x42, 0, ~0u});
  EXPECT_EQ(word.As<PciRequest>().Value, 0x4433u);

  const TAnswer write = Call(machine, CTL_WRITE_PCI_BYTE, PciRequest{2, 5, 1, 0, 0x41, 0, 0x1A5});
  EXPECT_EQ(write.Status, ZEM_STATUS_SUCCESS);
  EXPECT_EQ(write.Returned, 0u);
  EXPECT_EQ(machine.Config[address], 0x4433A511u);
  Call(machine, CTL_WRITE_PCI_WORD, PciRequest{2, 5, 1, 0, 0x42, 0, 0xBEEF});
  Call(machine, CTL_WRITE_PCI_DWORD, PciRequest{2, 5, 1, 0, 0x44, 0, 0x01020304});
  EXPECT_EQ(machine.Config[address], 0xBEEFA511u);
  EXPECT_EQ(machine.Config[address + 4], 0x01020304u);
}

// Device 32 and function 8 do not exist; unmasked they would carry into the bus and device fields
// and reach bus 1 device 0 function 0 (or device 1 function 0) instead.
TEST(ZemDispatch, PciDeviceAndFunctionOutOfRangeStayInTheirFields) {
  TFakeMachine machine;
  machine.Config[0x80010000u] = 0x11111111;  // bus 1, device 0, function 0
  machine.Config[0x80000800u] = 0x22222222;  // bus 0, device 1, function 0
  const TAnswer device = Call(machine, CTL_READ_PCI_DWORD, PciRequest{0, 32, 0, 0, 0, 0, 0});
  EXPECT_EQ(std::get<2>(machine.PortWrites.back()), 0x80000000u);
  EXPECT_NE(device.As<PciRequest>().Value, 0x11111111u);
  const TAnswer function = Call(machine, CTL_READ_PCI_DWORD, PciRequest{0, 0, 8, 0, 0, 0, 0});
  EXPECT_EQ(std::get<2>(machine.PortWrites.back()), 0x80000000u);
  EXPECT_NE(function.As<PciRequest>().Value, 0x22222222u);
  Call(machine, CTL_WRITE_PCI_DWORD, PciRequest{0, 0xFF, 0xFF, 0, 0x40, 0, 0});
  EXPECT_EQ(std::get<2>(machine.PortWrites[machine.PortWrites.size() - 2]), 0x8000FF40u);
  EXPECT_EQ(machine.Config[0x80010000u], 0x11111111u);
}

TEST(ZemDispatch, MsrReadFillsEaxAndEdxAndWriteTakesThem) {
  TFakeMachine machine;
  machine.Msrs[0x198] = 0x0000112200000C27ull;
  const TAnswer read = Call(machine, CTL_READ_MSR, CpuRegisters{0, 0x5555, 0x198, 0});
  EXPECT_EQ(read.Status, ZEM_STATUS_SUCCESS);
  EXPECT_EQ(read.Returned, 16u);
  const CpuRegisters regs = read.As<CpuRegisters>();
  EXPECT_EQ(regs.EAX, 0x0C27u);
  EXPECT_EQ(regs.EBX, 0x5555u);
  EXPECT_EQ(regs.ECX, 0x198u);
  EXPECT_EQ(regs.EDX, 0x1122u);

  const TAnswer write = Call(machine, CTL_WRITE_MSR, CpuRegisters{0x0A0B, 0, 0x199, 0x7});
  EXPECT_EQ(write.Status, ZEM_STATUS_SUCCESS);
  EXPECT_EQ(write.Returned, 0u);
  EXPECT_EQ(machine.Msrs[0x199], 0x0000000700000A0Bull);
}

TEST(ZemDispatch, OperationsTheMachineCannotDoAreUnsuccessfulWithNoBytes) {
  TFakeMachine machine;  // no MSR 0x1A0, no PMC, no control registers
  const TAnswer msr = Call(machine, CTL_READ_MSR, CpuRegisters{0, 0, 0x1A0, 0});
  EXPECT_EQ(msr.Status, ZEM_STATUS_UNSUCCESSFUL);
  EXPECT_EQ(msr.Returned, 0u);
  EXPECT_EQ(Call(machine, CTL_READ_PMC, CrRequest{0, 0, 0}).Status, ZEM_STATUS_UNSUCCESSFUL);
  const TAnswer cr = Call(machine, CTL_READ_CR, CrRequest{0, 0, 0});
  EXPECT_EQ(cr.Status, ZEM_STATUS_UNSUCCESSFUL);
  EXPECT_EQ(cr.Returned, 0u);
  EXPECT_EQ(Call(machine, CTL_WRITE_CR, CrRequest{4, 0, 0}).Status, ZEM_STATUS_UNSUCCESSFUL);
}

TEST(ZemDispatch, TscAndPmcAnswers) {
  TFakeMachine machine;
  machine.TscStart = 0x123456789ABCull;
  const TAnswer tsc = Call(machine, CTL_READ_TSC, uint64_t{0}, 0, 8);
  EXPECT_EQ(tsc.Status, ZEM_STATUS_SUCCESS);
  EXPECT_EQ(tsc.Returned, 8u);
  EXPECT_EQ(tsc.As<uint64_t>(), 0x123456789ABCull);

  machine.Pmcs[1] = 0xFFFF0000AAAAull;
  const TAnswer pmc = Call(machine, CTL_READ_PMC, CrRequest{1, 0, 0});
  EXPECT_EQ(pmc.Returned, 16u);
  EXPECT_EQ(pmc.As<CrRequest>().Value, 0xFFFF0000AAAAull);
}

TEST(ZemDispatch, ControlRegisterReadsAreSignExtendedAndLimitedToKnownNumbers) {
  TFakeMachine machine;
  for (uint32_t n : {0u, 2u, 3u, 4u, 5u, 8u}) machine.Crs[n] = 0x80050033;
  machine.Crs[3] = 0x0000000100654321ull;  // only the low 32 bits are reported
  for (uint32_t n : {0u, 2u, 8u}) {
    const TAnswer answer = Call(machine, CTL_READ_CR, CrRequest{n, 0, 0});
    EXPECT_EQ(answer.Status, ZEM_STATUS_SUCCESS) << "CR" << n;
    EXPECT_EQ(answer.Returned, 16u);
    EXPECT_EQ(answer.As<CrRequest>().Value, 0xFFFFFFFF80050033ull);
  }
  EXPECT_EQ(Call(machine, CTL_READ_CR, CrRequest{3, 0, 0}).As<CrRequest>().Value, 0x654321ull);

  const TAnswer cr5 = Call(machine, CTL_READ_CR, CrRequest{5, 0, 0});
  EXPECT_EQ(cr5.Status, ZEM_STATUS_UNSUCCESSFUL);
  EXPECT_EQ(cr5.Returned, 0u);
}

TEST(ZemDispatch, ControlRegisterWritesTakeTheLowDwordOfAllowedRegisters) {
  TFakeMachine machine;
  for (uint32_t n : {0u, 2u, 3u, 4u, 8u}) machine.Crs[n] = 0;
  for (uint32_t n : {0u, 3u, 4u, 8u}) {
    const TAnswer answer = Call(machine, CTL_WRITE_CR, CrRequest{n, 0, 0xAB000000000006F0ull});
    EXPECT_EQ(answer.Status, ZEM_STATUS_SUCCESS) << "CR" << n;
    EXPECT_EQ(answer.Returned, 0u);
    EXPECT_EQ(machine.Crs[n], 0x6F0u);
  }
  EXPECT_EQ(Call(machine, CTL_WRITE_CR, CrRequest{2, 0, 1}).Status, ZEM_STATUS_UNSUCCESSFUL);
  EXPECT_EQ(Call(machine, CTL_WRITE_CR, CrRequest{1, 0, 1}).Status, ZEM_STATUS_UNSUCCESSFUL);
  EXPECT_EQ(machine.CrWrites.size(), 4u);
}

TEST(ZemDispatch, MapReturnsTheMappingAndUnmapReleasesIt) {
  TFakeMachine machine;
  const TAnswer map = Call(machine, CTL_MAP_MEMORY, MapRequest{0xF0000, 0, 0x100, 0});
  EXPECT_EQ(map.Status, ZEM_STATUS_SUCCESS);
  EXPECT_EQ(map.Returned, 16u);
  EXPECT_EQ(map.As<MapRequest>().Mapped, 0x400F0000u);
  ASSERT_EQ(machine.Maps.size(), 1u);
  EXPECT_EQ(machine.Maps[0], std::make_pair(uint64_t{0xF0000}, 0x100u));

  const TAnswer unmap = Call(machine, CTL_UNMAP_MEMORY, uint32_t{0x400F0000}, 4, 0);
  EXPECT_EQ(unmap.Status, ZEM_STATUS_SUCCESS);
  EXPECT_EQ(unmap.Returned, 0u);
  EXPECT_EQ(machine.Unmaps, std::vector<uint32_t>{0x400F0000});
}

TEST(ZemDispatch, MapFailureCarriesTheMachineStatusAndUnmapNeedsFourBytes) {
  TFakeMachine machine;
  machine.MapFailure = 0xC0000022;
  const TAnswer map = Call(machine, CTL_MAP_MEMORY, MapRequest{0xF0000, 0, 0x100, 0});
  EXPECT_EQ(map.Status, 0xC0000022u);
  EXPECT_EQ(map.Returned, 0u);

  const TAnswer unmap = Call(machine, CTL_UNMAP_MEMORY, uint32_t{0x400F0000}, 3, 0);
  EXPECT_EQ(unmap.Status, ZEM_STATUS_INSUFFICIENT_RESOURCES);
  EXPECT_EQ(unmap.Returned, 0u);
  EXPECT_TRUE(machine.Unmaps.empty());
}

TEST(ZemDispatch, EmptyOrWrappingMapRangesAreRefusedWithoutMapping) {
  TFakeMachine machine;
  for (const MapRequest request :
       {MapRequest{0xF0000, 0, 0, 0}, MapRequest{0xFFFFF000, 0xFFFFFFFF, 0x2000, 0},
        MapRequest{0xFFFFFFFF, 0xFFFFFFFF, 2, 0}}) {
    const TAnswer map = Call(machine, CTL_MAP_MEMORY, request);
    EXPECT_EQ(map.Status, ZEM_STATUS_INVALID_PARAMETER) << std::hex << request.AddressLow;
    EXPECT_EQ(map.Returned, 0u);
  }
  EXPECT_TRUE(machine.Maps.empty());
  // The last byte of the address space may be mapped, and a range may cross 4 GiB.
  EXPECT_EQ(Call(machine, CTL_MAP_MEMORY, MapRequest{0xFFFFFFFF, 0xFFFFFFFF, 1, 0}).Status,
            ZEM_STATUS_SUCCESS);
  EXPECT_EQ(Call(machine, CTL_MAP_MEMORY, MapRequest{0xFFFFFF00, 0, 0x200, 0}).Status,
            ZEM_STATUS_SUCCESS);
  EXPECT_EQ(machine.Maps.size(), 2u);
}

// A 64-bit machine whose mappings live above 4 GiB: only the wide record can carry them.
class TWideMachine : public TFakeMachine {
 public:
  std::vector<uint64_t> WideUnmaps;

  uint32_t MapPhysicalWide(uint64_t address, uint32_t, uint64_t* mapped) override {
    *mapped = 0x7FF000000000ull + address;
    return ZEM_STATUS_SUCCESS;
  }

  uint32_t UnmapPhysicalWide(uint64_t mapped) override {
    WideUnmaps.push_back(mapped);
    return ZEM_STATUS_SUCCESS;
  }
};

TEST(ZemDispatch, TheWideMapRecordCarriesASixtyFourBitAnswer) {
  TWideMachine machine;
  const TAnswer map = Call(machine, CTL_MAP_MEMORY, WideMapRequest{0xF0010, 0, 0x10, 0, 0});
  ASSERT_EQ(map.Status, ZEM_STATUS_SUCCESS);
  EXPECT_EQ(map.Returned, 24u);
  EXPECT_EQ(map.As<WideMapRequest>().Mapped, 0x7FF0000F0010ull);
  EXPECT_EQ(Call(machine, CTL_UNMAP_MEMORY, uint64_t{0x7FF0000F0010}, 8, 0).Status,
            ZEM_STATUS_SUCCESS);
  EXPECT_EQ(machine.WideUnmaps, std::vector<uint64_t>{0x7FF0000F0010ull});
  EXPECT_EQ(Call(machine, CTL_MAP_MEMORY, WideMapRequest{0x1000, 0, 0, 0, 0}).Status,
            ZEM_STATUS_INVALID_PARAMETER);

  // The narrow record still goes to the narrow operation, and the default wide operations of a
  // narrow machine pass through to it.
  TFakeMachine narrow;
  const TAnswer wide = Call(narrow, CTL_MAP_MEMORY, WideMapRequest{0xF0000, 0, 0x100, 0, ~0ull});
  EXPECT_EQ(wide.As<WideMapRequest>().Mapped, 0x400F0000ull);
  EXPECT_EQ(Call(narrow, CTL_UNMAP_MEMORY, uint64_t{0x400F0000}, 8, 0).Status, ZEM_STATUS_SUCCESS);
  EXPECT_EQ(Call(narrow, CTL_UNMAP_MEMORY, uint64_t{0x1400F0000}, 8, 0).Status,
            ZEM_STATUS_INVALID_PARAMETER);
  EXPECT_EQ(narrow.Unmaps, std::vector<uint32_t>{0x400F0000});
}

TEST(ZemDispatch, UnknownAndUnservedCodesAreInvalidParameters) {
  TFakeMachine machine;
  for (uint32_t code : {0x222850u, 0x222858u, 0x22286Cu, 0x222870u, 0x222820u, 0x12345678u}) {
    const TAnswer answer = Call(machine, code, ClockRequest{});
    EXPECT_EQ(answer.Status, ZEM_STATUS_INVALID_PARAMETER) << std::hex << code;
    EXPECT_EQ(answer.Returned, 0u);
  }
  EXPECT_TRUE(machine.PortReads.empty());
  EXPECT_TRUE(machine.PortWrites.empty());
}

TEST(ZemDispatch, RecordsShorterThanTheCodeNeedsAreRefusedWithoutAccess) {
  TFakeMachine machine;
  machine.Ports[0x2F] = 1;
  machine.Msrs[0x198] = 1;
  const IoRequest io{0x2F, 0};
  EXPECT_EQ(Call(machine, CTL_READ_IO_BYTE, io, 4, 8).Status, ZEM_STATUS_INVALID_PARAMETER);
  EXPECT_EQ(Call(machine, CTL_READ_IO_BYTE, io, 8, 4).Status, ZEM_STATUS_INVALID_PARAMETER);
  EXPECT_EQ(Call(machine, CTL_WRITE_IO_BYTE, io, 7, 0).Status, ZEM_STATUS_INVALID_PARAMETER);
  EXPECT_EQ(Call(machine, CTL_READ_PCI_DWORD, PciRequest{}, 8, 12).Status,
            ZEM_STATUS_INVALID_PARAMETER);
  EXPECT_EQ(Call(machine, CTL_READ_MSR, CpuRegisters{0, 0, 0x198, 0}, 12, 16).Status,
            ZEM_STATUS_INVALID_PARAMETER);
  EXPECT_EQ(Call(machine, CTL_READ_TSC, uint64_t{0}, 0, 4).Status, ZEM_STATUS_INVALID_PARAMETER);
  // The 4-byte map form of the 9x driver carries no length.
  EXPECT_EQ(Call(machine, CTL_MAP_MEMORY, uint32_t{0xF0000}, 4, 4).Status,
            ZEM_STATUS_INVALID_PARAMETER);
  const TAnswer clock = Call(machine, CTL_MEASURE_CLOCK, ClockFor(0x10, 800, 0), 32, 16);
  EXPECT_EQ(clock.Status, ZEM_STATUS_INVALID_PARAMETER);
  EXPECT_EQ(clock.Returned, 0u);
  EXPECT_TRUE(machine.PortReads.empty());
  EXPECT_TRUE(machine.Maps.empty());
  EXPECT_EQ(machine.Now, 0u);
}

TEST(ZemDispatch, ClockMeasurementSamplesTheNamedMsrAcrossARaisedBusyWait) {
  TFakeMachine machine;
  machine.TscStart = 0xFFFFFFF0;  // the samples straddle a 32-bit boundary of the counter
  machine.PmStart = 1000;
  // 100 ms of busy wait at 3 GHz: the increase crosses into the high half.
  const TAnswer answer = Call(machine, CTL_MEASURE_CLOCK, ClockFor(0x10, 100000, 0x100));
  EXPECT_EQ(answer.Status, ZEM_STATUS_SUCCESS);
  EXPECT_EQ(answer.Returned, 32u);
  const ClockRequest clock = answer.As<ClockRequest>();
  EXPECT_EQ(clock.Microseconds, 100000u * PmTicksPerMicrosecond);
  const uint64_t increase = 100000ull * TscPerMicrosecond;
  EXPECT_EQ(clock.CountHigh, 0u);
  EXPECT_EQ(clock.CountLow, static_cast<uint32_t>(increase));
  EXPECT_TRUE(machine.WaitedRaised);
  EXPECT_FALSE(machine.Raised);
  EXPECT_EQ(machine.LoweredWith, RaiseToken);
  EXPECT_EQ(std::count(machine.PortReads.begin(), machine.PortReads.end(), PmPort), 2);
}

TEST(ZemDispatch, ClockMeasurementCountsATwentyFourBitTimerAcrossItsWrap) {
  TFakeMachine machine;
  machine.Pm24Bit = true;
  machine.PmStart = 0xFFFF00;  // wraps 256 ticks into an 800 us wait
  machine.Msrs[0xE8] = 5;      // APERF standing still is still a valid sample
  const ClockRequest clock =
      Call(machine, CTL_MEASURE_CLOCK, ClockFor(0xE8, 800, 0)).As<ClockRequest>();
  EXPECT_EQ(clock.Microseconds, 800u * PmTicksPerMicrosecond);
  EXPECT_EQ(clock.CountHigh, 0u);
  EXPECT_EQ(clock.CountLow, 0u);
}

TEST(ZemDispatch, ClockMeasurementKeepsAllThirtyTwoBitsOfAWideTimer) {
  TFakeMachine machine;
  machine.PmStart = 0xFFFFFF00;  // a 32-bit timer wrapping; masking to 24 bits would lose ticks
  const ClockRequest clock =
      Call(machine, CTL_MEASURE_CLOCK, ClockFor(0x10, 800, 0x100)).As<ClockRequest>();
  EXPECT_EQ(clock.Microseconds, 800u * PmTicksPerMicrosecond);
}

// A wait long enough for a 24-bit PM timer to wrap more than once cannot be measured, and at
// dispatch level it would stall the processor for seconds: both measurements refuse it before
// touching the machine.
TEST(ZemDispatch, ClockMeasurementsRefuseWaitsOutsideTheBound) {
  for (const uint32_t code : {CTL_MEASURE_CLOCK, CTL_MEASURE_CLOCK_AMD}) {
    for (const uint32_t microseconds : {0u, ZemMaxClockMicroseconds + 1, 20000000u}) {
      TFakeMachine machine;
      for (int i = 0; i < 4; ++i) machine.Msrs[0xC0010000 + i] = 0;
      const TAnswer answer = Call(machine, code, ClockFor(0x10, microseconds, 0));
      EXPECT_EQ(answer.Status, ZEM_STATUS_INVALID_PARAMETER)
          << std::hex << code << std::dec << " " << microseconds;
      EXPECT_EQ(answer.Returned, 0u);
      EXPECT_EQ(machine.Now, 0u);
      EXPECT_FALSE(machine.Raised);
      EXPECT_EQ(machine.Lowered, 0);
      EXPECT_TRUE(machine.MsrWrites.empty());
    }
  }
  TFakeMachine machine;
  machine.Pm24Bit = true;
  machine.PmStart = 0xFFFFF0;
  const ClockRequest longest =
      Call(machine, CTL_MEASURE_CLOCK, ClockFor(0x10, ZemMaxClockMicroseconds, 0))
          .As<ClockRequest>();
  EXPECT_EQ(longest.Microseconds, ZemMaxClockMicroseconds * PmTicksPerMicrosecond);
}

TEST(ZemDispatch, ClockMeasurementOfAnUnreadableMsrFailsButRestoresTheLevel) {
  TFakeMachine machine;
  const TAnswer answer = Call(machine, CTL_MEASURE_CLOCK, ClockFor(0xE7, 800, 0));
  EXPECT_EQ(answer.Status, ZEM_STATUS_UNSUCCESSFUL);
  EXPECT_EQ(answer.Returned, 0u);
  EXPECT_EQ(machine.Lowered, 1);
  EXPECT_FALSE(machine.Raised);
}

struct TAmdCase {
  int BusySelects;
  uint32_t ExpectedSelect;
};

void PrintTo(const TAmdCase& c, std::ostream* os) {
  *os << c.BusySelects << " busy";
}

class ZemDispatchAmdClock : public testing::TestWithParam<TAmdCase> {};

TEST_P(ZemDispatchAmdClock, BorrowsTheFirstFreeEventSelectAndStopsItAfterwards) {
  TFakeMachine machine;
  for (int i = 0; i < 4; ++i) machine.Msrs[0xC0010000 + i] = 0;
  for (int i = 0; i < GetParam().BusySelects; ++i) machine.Msrs[0xC0010000 + i] = 0x4300C0;
  machine.PmStart = 0xFFFFF0;
  machine.Pm24Bit = true;

  const TAnswer answer = Call(machine, CTL_MEASURE_CLOCK_AMD, ClockFor(0xDEAD, 800, 0));
  ASSERT_EQ(answer.Status, ZEM_STATUS_SUCCESS);
  EXPECT_EQ(answer.Returned, 32u);
  const ClockRequest clock = answer.As<ClockRequest>();
  EXPECT_EQ(clock.Microseconds, 800u * PmTicksPerMicrosecond);
  EXPECT_EQ(clock.CountHigh, 0u);
  EXPECT_EQ(clock.CountLow, 800u * AmdClocksPerMicrosecond);

  const uint32_t select = GetParam().ExpectedSelect;
  const uint32_t counter = select + 4;
  const std::vector<std::pair<uint32_t, uint64_t>> expected = {
      {counter, 0}, {select, 0x430076}, {select, 0}};
  EXPECT_EQ(machine.MsrWrites, expected);
  EXPECT_EQ(machine.Msrs[select], 0u);
  for (int i = 0; i < GetParam().BusySelects && i < 3; ++i)
    EXPECT_EQ(machine.Msrs[0xC0010000 + i], 0x4300C0u) << "select " << i;
  EXPECT_TRUE(machine.WaitedRaised);
  EXPECT_EQ(machine.LoweredWith, RaiseToken);
}

INSTANTIATE_TEST_SUITE_P(BusySelects, ZemDispatchAmdClock,
                         testing::Values(TAmdCase{0, 0xC0010000}, TAmdCase{1, 0xC0010001},
                                         TAmdCase{2, 0xC0010002}, TAmdCase{3, 0xC0010003}));

TEST(ZemDispatch, AmdClockMeasurementFailsWhenTheEventSelectsCannotBeRead) {
  TFakeMachine machine;  // no event selects: a processor without these MSRs
  const TAnswer answer = Call(machine, CTL_MEASURE_CLOCK_AMD, ClockFor(0, 800, 0));
  EXPECT_EQ(answer.Status, ZEM_STATUS_UNSUCCESSFUL);
  EXPECT_EQ(answer.Returned, 0u);
  EXPECT_TRUE(machine.MsrWrites.empty());
  EXPECT_EQ(machine.Lowered, 1);
}

TEST(ZemDispatch, AcceptsANullBytesReturned) {
  TFakeMachine machine;
  IoRequest request{0x2E, 0x55};
  EXPECT_EQ(ZemDispatch(machine, CTL_WRITE_IO_BYTE, &request, 8, 0, nullptr), ZEM_STATUS_SUCCESS);
  EXPECT_EQ(machine.PortWrites.size(), 1u);
}

}  // namespace

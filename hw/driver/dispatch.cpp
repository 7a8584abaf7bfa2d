// Device-control dispatch of the ZemDrv driver.
//
// Every request uses buffered I/O: the record arrives in the system buffer, the routine overwrites
// it with the answer and reports how many bytes of the buffer the caller gets back. The kernel
// driver serialises requests and calls ZemDispatch under its mutex; the in-process links are
// single-threaded. Nothing here allocates, throws or calls a library.
#include "hw/driver/dispatch.h"

#include <stddef.h>

#include "hw/driver/machinerules.h"
#include "hw/ioctl.h"

namespace {

// Where the routines find their fields inside the packed records.
constexpr size_t IoPortAt = offsetof(IoRequest, Port);
constexpr size_t IoValueAt = offsetof(IoRequest, Value);
constexpr size_t PciBusAt = offsetof(PciRequest, Bus);
constexpr size_t PciDeviceAt = offsetof(PciRequest, Device);
constexpr size_t PciFunctionAt = offsetof(PciRequest, Function);
constexpr size_t PciOffsetAt = offsetof(PciRequest, Offset);
constexpr size_t PciValueAt = offsetof(PciRequest, Value);
constexpr size_t MapAddressLowAt = offsetof(MapRequest, AddressLow);
constexpr size_t MapAddressHighAt = offsetof(MapRequest, AddressHigh);
constexpr size_t MapLengthAt = offsetof(MapRequest, Length);
constexpr size_t MapMappedAt = offsetof(MapRequest, Mapped);
constexpr size_t WideMapMappedAt = offsetof(WideMapRequest, Mapped);
constexpr size_t RegEaxAt = offsetof(CpuRegisters, EAX);
constexpr size_t RegEcxAt = offsetof(CpuRegisters, ECX);
constexpr size_t RegEdxAt = offsetof(CpuRegisters, EDX);
constexpr size_t CrNumberAt = offsetof(CrRequest, Number);
constexpr size_t CrValueAt = offsetof(CrRequest, Value);
constexpr size_t ClockMsrAt = offsetof(ClockRequest, CounterMsr);
constexpr size_t ClockMicrosecondsAt = offsetof(ClockRequest, Microseconds);
constexpr size_t ClockCountHighAt = offsetof(ClockRequest, CountHigh);
constexpr size_t ClockCountLowAt = offsetof(ClockRequest, CountLow);
constexpr size_t ClockPmPortAt = offsetof(ClockRequest, PmTimerPort);
constexpr size_t ClockPmWidthAt = offsetof(ClockRequest, PmTimerWidth);
constexpr uint32_t UnmapInputSize = 4;  // the mapped address alone
constexpr uint32_t WideUnmapInputSize = 8;
constexpr uint32_t TscAnswerSize = 8;

// AMD legacy performance counters: four event selects and their four counters.
constexpr uint32_t AmdEventSelect0 = 0xC0010000u;
constexpr uint32_t AmdCounter0 = 0xC0010004u;
constexpr uint32_t AmdFreeSelects = 3;  // the fourth is taken over when these three are busy
constexpr uint64_t AmdEventEnable = 1u << 22;
// Enabled, counting in user and kernel mode, event 0x76 (processor clocks not halted).
constexpr uint64_t AmdUnhaltedClocks = 0x430076u;

// One request as the routines see it. Returned is what the caller gets back on success.
struct TRequest {
  IZemMachine* Machine;
  uint8_t* Buffer;
  uint32_t InputLength;
  uint32_t OutputLength;
  uint32_t Returned;
};

// The records are packed and the buffer may have any alignment: fields move byte by byte,
// little-endian as on the wire.
uint16_t Load16(const uint8_t* buffer, size_t at) {
  return static_cast<uint16_t>(buffer[at] | (buffer[at + 1] << 8));
}

uint32_t Load32(const uint8_t* buffer, size_t at) {
  return static_cast<uint32_t>(buffer[at]) | (static_cast<uint32_t>(buffer[at + 1]) << 8) |
         (static_cast<uint32_t>(buffer[at + 2]) << 16) |
         (static_cast<uint32_t>(buffer[at + 3]) << 24);
}

void Store32(uint8_t* buffer, size_t at, uint32_t value) {
  for (size_t i = 0; i < 4; ++i) buffer[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

void Store64(uint8_t* buffer, size_t at, uint64_t value) {
  Store32(buffer, at, static_cast<uint32_t>(value));
  Store32(buffer, at + 4, static_cast<uint32_t>(value >> 32));
}

uint32_t WidthMask(uint8_t width) {
  return width == 1 ? 0xFFu : width == 2 ? 0xFFFFu : 0xFFFFFFFFu;
}

// The NT driver trusts its one caller to pass whole records. This dispatcher also serves callers
// inside the program's own process, so a record that does not fit the buffers is refused rather
// than read or written past their end.
bool Fits(const TRequest& rq, uint32_t input, uint32_t output) {
  return rq.InputLength >= input && rq.OutputLength >= output;
}

/*
 * ReadPort: IN of the given width (1, 2 or 4 bytes) from the port at offset 0.
 *   The value, zero-extended, replaces the record's value field.
 *   Returns success with the 8-byte record.
 */
uint32_t ReadPort(TRequest& rq, uint8_t width) {
  uint32_t status = ZEM_STATUS_INVALID_PARAMETER;
  if (Fits(rq, sizeof(IoRequest), sizeof(IoRequest))) {
    const uint16_t port = static_cast<uint16_t>(Load32(rq.Buffer, IoPortAt));
    Store32(rq.Buffer, IoValueAt, rq.Machine->PortIn(port, width) & WidthMask(width));
    rq.Returned = sizeof(IoRequest);
    status = ZEM_STATUS_SUCCESS;
  }
  return status;
}

/*
 * WritePort: OUT of the low bytes of the value field to the port at offset 0.
 *   Returns success with no bytes.
 */
uint32_t WritePort(TRequest& rq, uint8_t width) {
  uint32_t status = ZEM_STATUS_INVALID_PARAMETER;
  if (Fits(rq, sizeof(IoRequest), 0)) {
    const uint16_t port = static_cast<uint16_t>(Load32(rq.Buffer, IoPortAt));
    rq.Machine->PortOut(port, width, Load32(rq.Buffer, IoValueAt) & WidthMask(width));
    status = ZEM_STATUS_SUCCESS;
  }
  return status;
}

// Mechanism #1 address of the record's function and register.
uint32_t PciAddress(const uint8_t* buffer) {
  return ZemPciAddress(buffer[PciBusAt], buffer[PciDeviceAt], buffer[PciFunctionAt],
                       Load16(buffer, PciOffsetAt));
}

uint8_t PciLane(const uint8_t* buffer) {
  return ZemPciLane(Load16(buffer, PciOffsetAt));
}

/*
 * ReadPci: configuration read of the given width at the record's bus, device, function and
 *   offset; the value, zero-extended, replaces the record's value field.
 *   Returns success with the 12-byte record.
 */
uint32_t ReadPci(TRequest& rq, uint8_t width) {
  uint32_t status = ZEM_STATUS_INVALID_PARAMETER;
  if (Fits(rq, sizeof(PciRequest), sizeof(PciRequest))) {
    const uint32_t value =
        rq.Machine->PciConfigRead(PciAddress(rq.Buffer), PciLane(rq.Buffer), width);
    Store32(rq.Buffer, PciValueAt, value & WidthMask(width));
    rq.Returned = sizeof(PciRequest);
    status = ZEM_STATUS_SUCCESS;
  }
  return status;
}

/*
 * WritePci: configuration write of the low bytes of the record's value field.
 *   Returns success with no bytes.
 */
uint32_t WritePci(TRequest& rq, uint8_t width) {
  uint32_t status = ZEM_STATUS_INVALID_PARAMETER;
  if (Fits(rq, sizeof(PciRequest), 0)) {
    const uint32_t value = Load32(rq.Buffer, PciValueAt) & WidthMask(width);
    rq.Machine->PciConfigWrite(PciAddress(rq.Buffer), PciLane(rq.Buffer), width, value);
    status = ZEM_STATUS_SUCCESS;
  }
  return status;
}

/*
 * ReadMsr: RDMSR of the register named by ECX; EAX and EDX receive the value's halves, EBX is
 *   left as it came. The machine supplies whatever an access needs beyond the number (on AMD
 *   processors the key in ESI/EDI that unlocks protected registers).
 *   Returns success with the 16-byte record; unsuccessful when the access faults or the machine
 *   cannot reach MSRs.
 */
uint32_t ReadMsr(TRequest& rq) {
  uint32_t status = ZEM_STATUS_INVALID_PARAMETER;
  if (Fits(rq, sizeof(CpuRegisters), sizeof(CpuRegisters))) {
    uint64_t value = 0;
    status = ZEM_STATUS_UNSUCCESSFUL;
    if (rq.Machine->ReadMsr(Load32(rq.Buffer, RegEcxAt), &value)) {
      Store32(rq.Buffer, RegEaxAt, static_cast<uint32_t>(value));
      Store32(rq.Buffer, RegEdxAt, static_cast<uint32_t>(value >> 32));
      rq.Returned = sizeof(CpuRegisters);
      status = ZEM_STATUS_SUCCESS;
    }
  }
  return status;
}

/*
 * WriteMsr: WRMSR of EDX:EAX to the register named by ECX.
 *   Returns success with no bytes; unsuccessful when the access faults.
 */
uint32_t WriteMsr(TRequest& rq) {
  uint32_t status = ZEM_STATUS_INVALID_PARAMETER;
  if (Fits(rq, sizeof(CpuRegisters), 0)) {
    const uint64_t value =
        (static_cast<uint64_t>(Load32(rq.Buffer, RegEdxAt)) << 32) | Load32(rq.Buffer, RegEaxAt);
    status = rq.Machine->WriteMsr(Load32(rq.Buffer, RegEcxAt), value) ? ZEM_STATUS_SUCCESS
                                                                      : ZEM_STATUS_UNSUCCESSFUL;
  }
  return status;
}

// Stores a measurement's answer: PM-timer ticks and the counter's 64-bit increase split into high
// and low.
void StoreClockAnswer(TRequest& rq, uint32_t t0, uint32_t t1, uint64_t count) {
  const bool wide = Load16(rq.Buffer, ClockPmWidthAt) != 0;
  Store32(rq.Buffer, ClockMicrosecondsAt, ZemPmTimerTicks(t0, t1, wide));
  Store32(rq.Buffer, ClockCountHighAt, static_cast<uint32_t>(count >> 32));
  Store32(rq.Buffer, ClockCountLowAt, static_cast<uint32_t>(count));
  rq.Returned = sizeof(ClockRequest);
}

// A measurement's busy wait runs with the processor held; only bounded waits are made.
bool ClockWaitAllowed(const TRequest& rq) {
  return ZemClockWaitAllowed(Load32(rq.Buffer, ClockMicrosecondsAt));
}

/*
 * MeasureClock: samples the PM timer and the counter MSR named at offset 0 on both sides of a
 *   busy wait of the requested microseconds, with the processor kept at dispatch level so that
 *   both counters cover exactly the same interval on the same processor.
 *   Returns success with the 32-bit record (ticks, counter increase); unsuccessful when the
 *   counter cannot be read; invalid parameter for a wait of 0 or above ZemMaxClockMicroseconds.
 */
uint32_t MeasureClock(TRequest& rq) {
  uint32_t status = ZEM_STATUS_INVALID_PARAMETER;
  if (Fits(rq, sizeof(ClockRequest), sizeof(ClockRequest)) && ClockWaitAllowed(rq)) {
    IZemMachine& machine = *rq.Machine;
    const uint32_t msr = Load32(rq.Buffer, ClockMsrAt);
    const uint16_t pmPort = Load16(rq.Buffer, ClockPmPortAt);
    uint64_t c0 = 0;
    uint64_t c1 = 0;
    uint32_t t1 = 0;
    bool sampled = false;

    const uint32_t level = machine.RaiseToDispatchLevel();
    const uint32_t t0 = machine.ReadPmTimer(pmPort);
    if (machine.ReadMsr(msr, &c0)) {
      machine.BusyWaitMicroseconds(Load32(rq.Buffer, ClockMicrosecondsAt));
      t1 = machine.ReadPmTimer(pmPort);
      sampled = machine.ReadMsr(msr, &c1);
    }
    machine.LowerFromDispatchLevel(level);

    status = ZEM_STATUS_UNSUCCESSFUL;
    if (sampled) {
      StoreClockAnswer(rq, t0, t1, c1 - c0);
      status = ZEM_STATUS_SUCCESS;
    }
  }
  return status;
}

/*
 * MeasureClockAmd: the same measurement with a legacy AMD performance counter counting unhalted
 *   core clocks. Borrows the first event select (0..2) that is not enabled, or the fourth when
 *   all three are in use; the counter starts at 0, so its value is the increase. The select is
 *   left at 0. Offset 0 is not used.
 *   Returns success with the 32-bit record; unsuccessful when an MSR access faults; invalid
 *   parameter for a wait the plain measurement refuses.
 */
uint32_t MeasureClockAmd(TRequest& rq) {
  uint32_t status = ZEM_STATUS_INVALID_PARAMETER;
  if (Fits(rq, sizeof(ClockRequest), sizeof(ClockRequest)) && ClockWaitAllowed(rq)) {
    IZemMachine& machine = *rq.Machine;
    const uint16_t pmPort = Load16(rq.Buffer, ClockPmPortAt);
    uint64_t count = 0;
    uint32_t t1 = 0;
    bool counted = false;

    const uint32_t level = machine.RaiseToDispatchLevel();
    const uint32_t t0 = machine.ReadPmTimer(pmPort);
    uint32_t index = 0;
    bool readable = true;
    for (; index < AmdFreeSelects; ++index) {
      uint64_t select = 0;
      readable = machine.ReadMsr(AmdEventSelect0 + index, &select);
      if (!readable || (select & AmdEventEnable) == 0) break;
    }
    const uint32_t select = AmdEventSelect0 + index;
    const uint32_t counter = AmdCounter0 + index;
    if (readable && machine.WriteMsr(counter, 0) && machine.WriteMsr(select, AmdUnhaltedClocks)) {
      machine.BusyWaitMicroseconds(Load32(rq.Buffer, ClockMicrosecondsAt));
      t1 = machine.ReadPmTimer(pmPort);
      counted = machine.ReadMsr(counter, &count);
      counted = machine.WriteMsr(select, 0) && counted;
    }
    machine.LowerFromDispatchLevel(level);

    status = ZEM_STATUS_UNSUCCESSFUL;
    if (counted) {
      StoreClockAnswer(rq, t0, t1, count);
      status = ZEM_STATUS_SUCCESS;
    }
  }
  return status;
}

/*
 * ReadTsc: RDTSC; the counter replaces the first 8 bytes. No input is read.
 *   Returns success with 8 bytes.
 */
uint32_t ReadTsc(TRequest& rq) {
  uint32_t status = ZEM_STATUS_INVALID_PARAMETER;
  if (Fits(rq, 0, TscAnswerSize)) {
    Store64(rq.Buffer, 0, rq.Machine->ReadTsc());
    rq.Returned = TscAnswerSize;
    status = ZEM_STATUS_SUCCESS;
  }
  return status;
}

/*
 * ReadPmc: RDPMC of the counter numbered at offset 0; the value goes to offset 8.
 *   Returns success with the 16-byte record; unsuccessful when the machine cannot read it.
 */
uint32_t ReadPmc(TRequest& rq) {
  uint32_t status = ZEM_STATUS_INVALID_PARAMETER;
  if (Fits(rq, sizeof(CrRequest), sizeof(CrRequest))) {
    uint64_t value = 0;
    status = ZEM_STATUS_UNSUCCESSFUL;
    if (rq.Machine->ReadPmc(Load32(rq.Buffer, CrNumberAt), &value)) {
      Store64(rq.Buffer, CrValueAt, value);
      rq.Returned = sizeof(CrRequest);
      status = ZEM_STATUS_SUCCESS;
    }
  }
  return status;
}

/*
 * ReadCr: reads CR0, CR2, CR3, CR4 or CR8. The register is taken as 32 bits, as the 32-bit
 *   driver the program was written against reads it, and sign-extended to the 64-bit field.
 *   Returns success with the 16-byte record; unsuccessful for any other number or when the
 *   machine cannot reach control registers.
 */
uint32_t ReadCr(TRequest& rq) {
  uint32_t status = ZEM_STATUS_INVALID_PARAMETER;
  if (Fits(rq, sizeof(CrRequest), sizeof(CrRequest))) {
    const uint32_t number = Load32(rq.Buffer, CrNumberAt);
    uint64_t value = 0;
    status = ZEM_STATUS_UNSUCCESSFUL;
    if (ZemReadableCr(number) && rq.Machine->ReadCr(number, &value)) {
      const int32_t low = static_cast<int32_t>(static_cast<uint32_t>(value));
      Store64(rq.Buffer, CrValueAt, static_cast<uint64_t>(static_cast<int64_t>(low)));
      rq.Returned = sizeof(CrRequest);
      status = ZEM_STATUS_SUCCESS;
    }
  }
  return status;
}

/*
 * WriteCr: writes the low 32 bits of offset 8 to CR0, CR3, CR4 or CR8 (CR2 is only ever written
 *   by the processor).
 *   Returns success with no bytes; unsuccessful for any other number or when the machine cannot
 *   reach control registers.
 */
uint32_t WriteCr(TRequest& rq) {
  uint32_t status = ZEM_STATUS_INVALID_PARAMETER;
  if (Fits(rq, sizeof(CrRequest), 0)) {
    const uint32_t number = Load32(rq.Buffer, CrNumberAt);
    status = ZEM_STATUS_UNSUCCESSFUL;
    if (ZemWritableCr(number) && rq.Machine->WriteCr(number, Load32(rq.Buffer, CrValueAt))) {
      status = ZEM_STATUS_SUCCESS;
    }
  }
  return status;
}

/*
 * MapMemory: maps the requested physical range for the caller; the value the caller uses to
 *   reach the requested byte goes to offset 12, or, for a 64-bit caller sending the 24-byte
 *   record, to the 64-bit field at offset 16.
 *   Returns success with the 16- or 24-byte record; invalid parameter for an empty range or one
 *   that wraps past the top of the address space; otherwise the machine's failure status.
 */
uint32_t MapMemory(TRequest& rq) {
  uint32_t status = ZEM_STATUS_INVALID_PARAMETER;
  if (Fits(rq, sizeof(MapRequest), sizeof(MapRequest))) {
    const uint64_t address = (static_cast<uint64_t>(Load32(rq.Buffer, MapAddressHighAt)) << 32) |
                             Load32(rq.Buffer, MapAddressLowAt);
    const uint32_t length = Load32(rq.Buffer, MapLengthAt);
    if (!ZemMapRangeAllowed(address, length)) return status;
    if (Fits(rq, sizeof(WideMapRequest), sizeof(WideMapRequest))) {
      uint64_t mapped = 0;
      status = rq.Machine->MapPhysicalWide(address, length, &mapped);
      if (status == ZEM_STATUS_SUCCESS) {
        Store64(rq.Buffer, WideMapMappedAt, mapped);
        rq.Returned = sizeof(WideMapRequest);
      }
    } else {
      uint32_t mapped = 0;
      status = rq.Machine->MapPhysical(address, length, &mapped);
      if (status == ZEM_STATUS_SUCCESS) {
        Store32(rq.Buffer, MapMappedAt, mapped);
        rq.Returned = sizeof(MapRequest);
      }
    }
  }
  return status;
}

/*
 * UnmapMemory: releases the mapping whose value a map request returned (the first 4 bytes, or 8
 *   from a 64-bit caller).
 *   Returns the machine's status with no bytes; insufficient resources when the input is too
 *   short to hold the value.
 */
uint32_t UnmapMemory(TRequest& rq) {
  uint32_t status = ZEM_STATUS_INSUFFICIENT_RESOURCES;
  if (rq.InputLength >= WideUnmapInputSize) {
    const uint64_t mapped =
        (static_cast<uint64_t>(Load32(rq.Buffer, 4)) << 32) | Load32(rq.Buffer, 0);
    status = rq.Machine->UnmapPhysicalWide(mapped);
  } else if (rq.InputLength >= UnmapInputSize) {
    status = rq.Machine->UnmapPhysical(Load32(rq.Buffer, 0));
  }
  return status;
}

}  // namespace

/*
 * ZemDispatch: routes one device-control request to its routine.
 *   Codes the program never sends, or does not know, complete with invalid parameter. Whatever
 *   the routine reported is withdrawn when the request fails, so a failed request returns
 *   nothing.
 */
uint32_t ZemDispatch(IZemMachine& machine, uint32_t code, void* systemBuffer, uint32_t inputLength,
                     uint32_t outputLength, uint32_t* bytesReturned) {
  TRequest rq = {&machine, static_cast<uint8_t*>(systemBuffer), inputLength, outputLength, 0};
  uint32_t status = ZEM_STATUS_INVALID_PARAMETER;

  switch (code) {
    case CTL_MAP_MEMORY:
      status = MapMemory(rq);
      break;
    case CTL_UNMAP_MEMORY:
      status = UnmapMemory(rq);
      break;
    case CTL_READ_IO_BYTE:
      status = ReadPort(rq, 1);
      break;
    case CTL_READ_IO_WORD:
      status = ReadPort(rq, 2);
      break;
    case CTL_READ_IO_DWORD:
      status = ReadPort(rq, 4);
      break;
    case CTL_WRITE_IO_BYTE:
      status = WritePort(rq, 1);
      break;
    case CTL_WRITE_IO_WORD:
      status = WritePort(rq, 2);
      break;
    case CTL_WRITE_IO_DWORD:
      status = WritePort(rq, 4);
      break;
    case CTL_READ_PCI_BYTE:
      status = ReadPci(rq, 1);
      break;
    case CTL_READ_PCI_WORD:
      status = ReadPci(rq, 2);
      break;
    case CTL_READ_PCI_DWORD:
      status = ReadPci(rq, 4);
      break;
    case CTL_WRITE_PCI_BYTE:
      status = WritePci(rq, 1);
      break;
    case CTL_WRITE_PCI_WORD:
      status = WritePci(rq, 2);
      break;
    case CTL_WRITE_PCI_DWORD:
      status = WritePci(rq, 4);
      break;
    case CTL_READ_MSR:
      status = ReadMsr(rq);
      break;
    case CTL_WRITE_MSR:
      status = WriteMsr(rq);
      break;
    case CTL_MEASURE_CLOCK:
      status = MeasureClock(rq);
      break;
    case CTL_READ_TSC:
      status = ReadTsc(rq);
      break;
    case CTL_READ_PMC:
      status = ReadPmc(rq);
      break;
    case CTL_READ_CR:
      status = ReadCr(rq);
      break;
    case CTL_WRITE_CR:
      status = WriteCr(rq);
      break;
    case CTL_MEASURE_CLOCK_AMD:
      status = MeasureClockAmd(rq);
      break;
    default:
      status = ZEM_STATUS_INVALID_PARAMETER;
      break;
  }

  if (status != ZEM_STATUS_SUCCESS) rq.Returned = 0;
  if (bytesReturned != nullptr) *bytesReturned = rq.Returned;
  return status;
}

// The wire format between the program and its driver: control codes and packed request records.
// Shared by user mode and the freestanding dispatcher, so it uses only <stdint.h>.
#pragma once

#include <stdint.h>

// CTL_CODE(FILE_DEVICE_UNKNOWN, function, METHOD_BUFFERED, FILE_ANY_ACCESS).
constexpr uint32_t ZemCtlCode(uint32_t function) {
  return 0x220000u + (function << 2);
}

constexpr uint32_t CTL_MAP_MEMORY = ZemCtlCode(0xA00);
constexpr uint32_t CTL_UNMAP_MEMORY = ZemCtlCode(0xA01);
constexpr uint32_t CTL_READ_IO_BYTE = ZemCtlCode(0xA02);
constexpr uint32_t CTL_WRITE_IO_BYTE = ZemCtlCode(0xA03);
constexpr uint32_t CTL_READ_IO_WORD = ZemCtlCode(0xA04);
constexpr uint32_t CTL_WRITE_IO_WORD = ZemCtlCode(0xA05);
constexpr uint32_t CTL_READ_IO_DWORD = ZemCtlCode(0xA06);
constexpr uint32_t CTL_WRITE_IO_DWORD = ZemCtlCode(0xA07);
constexpr uint32_t CTL_READ_PCI_BYTE = ZemCtlCode(0xA0A);
constexpr uint32_t CTL_WRITE_PCI_BYTE = ZemCtlCode(0xA0B);
constexpr uint32_t CTL_READ_PCI_WORD = ZemCtlCode(0xA0C);
constexpr uint32_t CTL_WRITE_PCI_WORD = ZemCtlCode(0xA0D);
constexpr uint32_t CTL_READ_PCI_DWORD = ZemCtlCode(0xA0E);
constexpr uint32_t CTL_WRITE_PCI_DWORD = ZemCtlCode(0xA0F);
constexpr uint32_t CTL_READ_MSR = ZemCtlCode(0xA10);
constexpr uint32_t CTL_WRITE_MSR = ZemCtlCode(0xA11);
constexpr uint32_t CTL_MEASURE_CLOCK = ZemCtlCode(0xA15);
constexpr uint32_t CTL_READ_TSC = ZemCtlCode(0xA17);
constexpr uint32_t CTL_READ_PMC = ZemCtlCode(0xA18);
constexpr uint32_t CTL_READ_CR = ZemCtlCode(0xA19);
constexpr uint32_t CTL_WRITE_CR = ZemCtlCode(0xA1A);
constexpr uint32_t CTL_MEASURE_CLOCK_AMD = ZemCtlCode(0xA1D);

static_assert(CTL_MAP_MEMORY == 0x222800u && CTL_READ_IO_BYTE == 0x222808u);
static_assert(CTL_READ_PCI_BYTE == 0x222828u && CTL_READ_MSR == 0x222840u);
static_assert(CTL_MEASURE_CLOCK == 0x222854u && CTL_READ_TSC == 0x22285Cu);
static_assert(CTL_READ_CR == 0x222864u && CTL_MEASURE_CLOCK_AMD == 0x222874u);

// Completion statuses the dispatcher reports (NTSTATUS values).
constexpr uint32_t ZEM_STATUS_SUCCESS = 0x00000000u;
constexpr uint32_t ZEM_STATUS_UNSUCCESSFUL = 0xC0000001u;
constexpr uint32_t ZEM_STATUS_INVALID_PARAMETER = 0xC000000Du;
constexpr uint32_t ZEM_STATUS_INSUFFICIENT_RESOURCES = 0xC000009Au;

#pragma pack(push, 1)

struct IoRequest {
  uint32_t Port;   // zero-extended 16-bit port
  uint32_t Value;  // write value in, read value out (low bits)
};

struct PciRequest {
  uint8_t Bus;
  uint8_t Device;
  uint8_t Function;
  uint8_t Reserved0;
  uint16_t Offset;  // 0..0xFFF; 0x100 and above reach the extended configuration space
  uint16_t Reserved1;
  uint32_t Value;
};

struct MapRequest {
  uint32_t AddressLow;
  uint32_t AddressHigh;  // always 0
  uint32_t Length;
  uint32_t Mapped;  // out: the mapping's address (in-process links: a handle they resolve)
};

// The map request of 64-bit builds, whose mapped address does not fit MapRequest.Mapped: the same
// fields, padded, and an 8-byte address. The driver tells the forms apart by the input length (16
// or 24 bytes); an unmap request then carries the 8-byte address instead of the 4-byte one. The
// 32-bit program never sends it.
struct MapRequest64 {
  uint32_t AddressLow;
  uint32_t AddressHigh;  // always 0
  uint32_t Length;
  uint32_t Reserved;
  uint64_t Mapped;  // out: the mapping's address in the calling process
};

struct CpuRegisters {
  uint32_t EAX;
  uint32_t EBX;
  uint32_t ECX;
  uint32_t EDX;
};

struct CrRequest {
  uint32_t Number;
  uint32_t Reserved;
  uint64_t Value;
};

struct ClockRequest {
  uint32_t CounterMsr;    // 0x10 (TSC) or 0xE8 (APERF); unused by the AMD measurement
  uint32_t Microseconds;  // in: busy-wait time; out: elapsed PM-timer ticks
  uint32_t CountHigh;     // out: counter increase, high dword
  uint32_t CountLow;      // out: counter increase, low dword
  uint16_t PmTimerPort;
  uint16_t PmTimerWidth;  // 0x100: 32-bit timer; 0: 24-bit
  uint8_t Reserved[12];
};

#pragma pack(pop)

static_assert(sizeof(IoRequest) == 8);
static_assert(sizeof(PciRequest) == 12);
static_assert(sizeof(MapRequest) == 16);
static_assert(sizeof(MapRequest64) == 24);
static_assert(sizeof(CpuRegisters) == 16);
static_assert(sizeof(CrRequest) == 16);
static_assert(sizeof(ClockRequest) == 32);
static_assert(__builtin_offsetof(PciRequest, Offset) == 4 &&
              __builtin_offsetof(PciRequest, Value) == 8);
static_assert(__builtin_offsetof(CrRequest, Value) == 8);
static_assert(__builtin_offsetof(ClockRequest, PmTimerPort) == 16);
static_assert(__builtin_offsetof(ClockRequest, PmTimerWidth) == 18);

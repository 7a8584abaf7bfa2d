// The rules of the driver's machine that do not need the processor: how a configuration address is
// composed, how PM-timer samples become ticks, which control registers and physical ranges a
// request may name, how long a measurement may keep the processor. The dispatcher applies them
// to every request and the kernel machine checks them again before it executes an instruction, so
// both sides agree and the rules are tested in user mode. Freestanding: no library, no heap.
#pragma once

#include <stdint.h>

// Mechanism #1 address of a function's register: enable bit, offset bits 11:8 in address bits
// 27:24 (AMD extended configuration space), bus, device, function and the dword-aligned offset.
// Device and function are masked to their 5 and 3 bits so that an out-of-range number cannot
// spill into the bus or device field and reach another function.
constexpr uint32_t ZemPciAddress(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset) {
  return 0x80000000u | ((static_cast<uint32_t>(offset >> 8) & 0xFu) << 24) |
         (static_cast<uint32_t>(bus) << 16) | ((static_cast<uint32_t>(device) & 0x1Fu) << 11) |
         ((static_cast<uint32_t>(function) & 0x7u) << 8) | (static_cast<uint32_t>(offset) & 0xFCu);
}

// The byte of the data port (0xCFC + lane) an access at this offset starts at.
constexpr uint8_t ZemPciLane(uint16_t offset) {
  return static_cast<uint8_t>(offset & 3u);
}

// PM-timer ticks between two samples. A 24-bit timer (TMR_VAL_EXT clear) counts in the low 24
// bits and wraps there, so the difference is taken modulo 2^24; a 32-bit one modulo 2^32.
constexpr uint32_t ZemPmTimerTicks(uint32_t first, uint32_t second, bool wide) {
  const uint32_t ticks = second - first;
  return wide ? ticks : ticks & 0x00FFFFFFu;
}

// The longest busy wait a clock measurement may ask for. The wait runs with the processor at
// dispatch level, where a long stall trips the system's watchdog; 100 ms also stays far inside
// one period of a 24-bit PM timer (about 4.7 s at 3.58 MHz), so a single wrap is all the tick
// difference ever has to absorb. A wait of 0 measures nothing and is refused too.
constexpr uint32_t ZemMaxClockMicroseconds = 100000;

constexpr bool ZemClockWaitAllowed(uint32_t microseconds) {
  return microseconds != 0 && microseconds <= ZemMaxClockMicroseconds;
}

// Control registers a request may read (CR0, CR2, CR3, CR4, CR8) and write (CR2 only ever
// written by the processor).
constexpr bool ZemReadableCr(uint32_t number) {
  return number == 0 || number == 2 || number == 3 || number == 4 || number == 8;
}

constexpr bool ZemWritableCr(uint32_t number) {
  return number == 0 || number == 3 || number == 4 || number == 8;
}

// A physical range a map request may name: at least one byte, and its last byte still inside the
// 64-bit physical address space (a range that wraps past the top would map from address 0).
constexpr bool ZemMapRangeAllowed(uint64_t address, uint32_t length) {
  return length != 0 && address + (length - 1u) >= address;
}

// The driver's device-control dispatcher: turns one control code and its request record into
// operations on a machine. Shared unchanged by the kernel driver and the in-process links, so it is
// freestanding (no exceptions, RTTI, heap or standard library).
#pragma once

#include <stdint.h>

#include "hw/driver/machine.h"

// Executes one buffered device-control request. systemBuffer holds max(inputLength, outputLength)
// bytes: the request record on entry, the answer on return. bytesReturned (may be null) receives
// the number of answer bytes to hand back to the caller; it is 0 whenever the status is not
// ZEM_STATUS_SUCCESS. Returns the request's completion status (ZEM_STATUS_* of hw/ioctl.h).
uint32_t ZemDispatch(IZemMachine& machine, uint32_t code, void* systemBuffer, uint32_t inputLength,
                     uint32_t outputLength, uint32_t* bytesReturned);

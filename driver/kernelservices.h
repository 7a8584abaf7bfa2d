/* The seam between the driver's two languages. The kernel's headers (mingw-w64's DDK) only work
   from C, so everything that needs them lives in zemdrv.c, and the machine and the dispatcher,
   which are C++, reach the kernel through these functions. Statuses are NTSTATUS values. */
#ifndef ZEMDRV_KERNELSERVICES_H
#define ZEMDRV_KERNELSERVICES_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Maps length bytes of physical memory from address into the calling process; pointer receives
   the user address of the requested byte. below2GiB keeps the view where a 32-bit answer can
   name it. */
int32_t ZemMapPhysicalView(uint64_t address, uint32_t length, int below2GiB, void** pointer);
/* Unmaps the view of the calling process that contains pointer. */
int32_t ZemUnmapPhysicalView(void* pointer);
/* Busy-waits without giving up the processor. */
void ZemStallMicroseconds(uint32_t microseconds);
/* Raises the processor to dispatch level; ZemLowerIrql takes what it returned. */
uint32_t ZemRaiseToDispatchLevel(void);
void ZemLowerIrql(uint32_t previous);

/* Executes one device-control request on the kernel machine (kernelmachine.cpp). */
uint32_t ZemKernelDispatch(uint32_t code, void* systemBuffer, uint32_t inputLength,
                           uint32_t outputLength, uint32_t* bytesReturned);

#ifdef __cplusplus
}
#endif

#endif

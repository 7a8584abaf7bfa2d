/* Runs a routine that executes one privileged instruction and reports whether it completed. An
   instruction can fault even in the kernel (RDMSR/WRMSR of a register the processor lacks, RDPMC
   of a counter it lacks, a control-register write with reserved bits, CR8 through the alternate
   encoding on a processor without it): the fault is caught by a structured exception frame in
   the guard, which returns 0 instead of letting the system stop. The frame is written in
   assembly (guard_x64.S, guard_x86.S with its handler in guard_x86.c) because GCC has no
   __try. */
#ifndef ZEMDRV_GUARD_H
#define ZEMDRV_GUARD_H

#ifdef __cplusplus
extern "C" {
#endif

typedef void (*TZemGuardedRoutine)(void* context);

/* 1 when routine(context) returned, 0 when it raised an exception. */
int ZemGuardedCall(TZemGuardedRoutine routine, void* context);

#ifdef __cplusplus
}
#endif

#endif

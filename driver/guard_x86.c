/* The frame handler of the x86 guard: a fault in the guarded routine resumes at the guard's
   recovery point with the guard's own stack and frame pointers; unwinding passes through. */
#include <ddk/ntddk.h>

/* Exception flags of an unwind pass (winnt.h has them; the kernel headers do not). */
#ifndef EXCEPTION_UNWINDING
#define EXCEPTION_UNWINDING 0x2
#endif
#ifndef EXCEPTION_EXIT_UNWIND
#define EXCEPTION_EXIT_UNWIND 0x4
#endif

void ZemGuardRecover(void);

EXCEPTION_DISPOSITION __cdecl ZemGuardHandler(EXCEPTION_RECORD* record, void* frame,
                                              CONTEXT* context, void* dispatcher) {
  const ULONG* registration = (const ULONG*)frame;
  (void)dispatcher;
  if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND))
    return ExceptionContinueSearch;
  context->Esp = (ULONG)frame;
  context->Ebp = registration[2];
  context->Eip = (ULONG)&ZemGuardRecover;
  return ExceptionContinueExecution;
}

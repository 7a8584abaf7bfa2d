/* ZemGuardedCall for x64 Windows: a function with a __C_specific_handler scope around the call.
   When the routine faults, the handler unwinds to this frame and continues at .Lfault, which
   returns 0. The scope's filter is the constant EXCEPTION_EXECUTE_HANDLER (1), so every exception
   raised while the routine runs is taken. */
        .text
        .p2align 4
        .globl  ZemGuardedCall
        .def    ZemGuardedCall; .scl 2; .type 32; .endef
        .seh_proc ZemGuardedCall
ZemGuardedCall:
        subq    $40, %rsp               /* shadow space for the routine, keeps rsp 16-aligned */
        .seh_stackalloc 40
        .seh_endprologue
        movq    %rcx, %rax
        movq    %rdx, %rcx
.Lbegin:
        call    *%rax
        nop                             /* the return address lies inside the scope */
.Lend:
        movl    $1, %eax
        addq    $40, %rsp
        ret
.Lfault:
        xorl    %eax, %eax
        addq    $40, %rsp
        ret
        .seh_handler __C_specific_handler, @except
        .seh_handlerdata
        .long   1                       /* one scope record */
        .rva    .Lbegin, .Lend
        .long   1                       /* filter: EXCEPTION_EXECUTE_HANDLER */
        .rva    .Lfault
        .text
        .seh_endproc

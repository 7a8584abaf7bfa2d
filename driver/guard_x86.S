/* ZemGuardedCall for x86 Windows: pushes an exception registration record on the fs:[0] chain
   around the call. The frame handler (ZemGuardHandler in guard_x86.cpp) sends a fault back here:
   it restores esp to the record and ebp to the value saved with it and jumps to
   _ZemGuardRecover, which unlinks the record and returns 0, as a compiler's __except does. */
        .text
        .p2align 4
        .globl  _ZemGuardedCall
        .globl  _ZemGuardRecover
_ZemGuardedCall:                        /* cdecl: routine at 8(%ebp), context at 12(%ebp) */
        pushl   %ebp
        movl    %esp, %ebp
        pushl   %ebx
        pushl   %esi
        pushl   %edi
        pushl   %ebp                    /* record + 8: frame pointer to resume with */
        pushl   $_ZemGuardHandler       /* record + 4: handler */
        pushl   %fs:0                   /* record + 0: next record */
        movl    %esp, %fs:0
        pushl   12(%ebp)
        call    *8(%ebp)
        addl    $4, %esp
        movl    $1, %eax
.Lunlink:
        movl    (%esp), %ecx
        movl    %ecx, %fs:0
        addl    $12, %esp
        popl    %edi
        popl    %esi
        popl    %ebx
        popl    %ebp
        ret
_ZemGuardRecover:                       /* esp = record, ebp = this frame */
        xorl    %eax, %eax
        jmp     .Lunlink

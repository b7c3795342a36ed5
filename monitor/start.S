@ Relocation stub and start-up entry. The boot ROM starts the raw code at
@ the load address 0, but everything is linked for the run address: the stub
@ reaches its three addresses only through literal words relative to the
@ program counter, so it runs correctly from the load address, and copies the
@ monitor up out of the SDRAM that the tests will overwrite.

        .arm
        .syntax unified
        .section .text.relocation_stub, "ax"

        .global relocation_stub
relocation_stub:
        mov     r8, #0                  @ source: the load address
        ldr     r9, copy_end            @ run address of the first word after the code
        ldr     r10, copy_destination
        @ Whole 32-byte chunks, up to and including the one that holds the
        @ end address: the last chunk may take a few words past the code.
copy_chunk:
        ldmia   r8!, {r0-r7}
        stmia   r10!, {r0-r7}
        cmp     r10, r9
        bls     copy_chunk
        .global relocation_jump
relocation_jump:
        ldr     pc, startup_address     @ absolute: from here on nothing runs from SDRAM

copy_destination:
        .word   MONITOR_RUN_ADDRESS
copy_end:
        .word   monitor_code_end
startup_address:
        .word   startup

        .global startup
startup:
        ldr     sp, stack_top
        bl      monitor_main            @ never returns
stack_top:
        .word   MONITOR_STACK_TOP

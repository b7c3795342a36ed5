// The boot monitor's routines. Everything runs from the internal RAM at
// MONITOR_RUN_ADDRESS; every byte of output goes through uart_putc, so
// output_enabled silences all of it.
#pragma once

#include <stdint.h>

// The two flag words, right after the code (see monitor.ld).
extern "C" volatile uint32_t output_enabled;  // 0: uart_putc drops every byte
extern "C" volatile uint32_t slow_output;     // nonzero: pause after each line end

// The bus-level tests call put_hex directly, so it stays a routine of its
// own however much of the rest folds into its callers.
#define MONITOR_ENTRY __attribute__((noinline, used))

extern "C" {
[[noreturn]] void monitor_main();
void board_init();
uint32_t uart_getc();
void uart_putc(uint32_t byte);
void put_newline();
MONITOR_ENTRY void put_hex(uint32_t value);
// The label character, then the value as put_hex prints it.
void put_labelled(uint32_t label, uint32_t value);

// Memory tests write through a store routine handed to them.
typedef void (*store_routine)(uint32_t address, uint32_t value);
void store16(uint32_t address, uint32_t value);
uint32_t sdram_test();
uint32_t data_line_test(uint32_t base, store_routine store);
uint32_t address_line_test(uint32_t base, uint32_t size, store_routine store);
void trace_write(uint32_t offset, uint32_t value);
void trace_read(uint32_t offset, uint32_t value);
void trace_mismatch(uint32_t value);

uint32_t nand_id_test();
}

// The command loop: prompt, one command byte, optional trace, the result mark
// and the result in hexadecimal.
#include "hardware.h"
#include "monitor.h"

// Placed right after the code, outside the raw output (monitor.ld).
__attribute__((section(".flags"))) volatile uint32_t output_enabled;
__attribute__((section(".flags"))) volatile uint32_t slow_output;

void monitor_main() {
  uint32_t verbose = 0;
  board_init();
  output_enabled = 1;
  slow_output = 0;
  for (;;) {
    uint32_t result = 0;
    uart_putc(MONITOR_PROMPT);
    // Trace text goes out only in verbose mode; a "v" takes effect from the
    // next command, since this cycle's gate is already closed.
    output_enabled = verbose;
    uint32_t command = uart_getc();
    if (command == COMMAND_SDRAM_TEST) result = sdram_test();
    if (command == COMMAND_NAND_TEST) result = nand_id_test();
    if (command == COMMAND_SLOW_OUTPUT) slow_output = 1;
    if (command == COMMAND_VERBOSE) verbose = 1;
    output_enabled = 1;
    uart_putc(MONITOR_RESULT_MARK);
    put_hex(result);
  }
}

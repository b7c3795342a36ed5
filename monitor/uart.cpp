// Polled byte input and output on the UART, and the printing helpers built on
// the gated output.
#include "hardware.h"
#include "monitor.h"

uint32_t uart_getc() {
  while ((reg32(UART_LSR) & LSR_RX_READY) == 0) {
  }
  return reg32(UART_DATA) & 0xFF;
}

// Every caller passes a byte (0 to 255), so the store has 0 above bit 7.
void uart_putc(uint32_t byte) {
  if (output_enabled == 0) return;
  while ((reg32(UART_LSR) & LSR_TX_EMPTY) == 0) {
  }
  reg32(UART_DATA) = byte;
}

// The slow-output pause is a count, not a time: a volatile counter in memory,
// stored and read back on every step, so the compiler cannot shorten it.
constexpr uint32_t SLOW_OUTPUT_COUNT = 200000;

// The text's bytes, lowest first, up to the first zero byte: up to four
// characters held in one register instead of a string in memory.
static void put_text(uint32_t text) {
  for (; text != 0; text >>= 8) uart_putc(text & 0xFF);
}

void put_newline() {
  put_text('\r' | '\n' << 8);
  if (output_enabled == 0 || slow_output == 0) return;
  volatile uint32_t count = 0;
  uint32_t reached;
  do {
    reached = count + 1;
    count = reached;
  } while (reached < SLOW_OUTPUT_COUNT);
}

void put_labelled(uint32_t label, uint32_t value) {
  put_text(label);
  // From the highest place that is not a leading zero down to the lowest,
  // which always prints, so 0 prints as "0".
  uint32_t shift = 28;
  while (shift != 0 && (value >> shift) == 0) shift -= 4;
  for (;; shift -= 4) {
    uint32_t nibble = value >> shift & 0xF;
    uart_putc(nibble < 10 ? nibble + '0' : nibble + ('a' - 10));
    if (shift == 0) return;
  }
}

void put_hex(uint32_t value) { put_labelled(0, value); }

// Polled byte input and output on the UART, and the printing routines built
// on the gated output.
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

void put_newline() {
  uart_putc('\r');
  uart_putc('\n');
  if (output_enabled == 0 || slow_output == 0) return;
  volatile uint32_t count = 0;
  do {
    count = count + 1;
  } while (count < SLOW_OUTPUT_COUNT);
}

// Lowercase hexadecimal without leading zeros: the digits are found lowest
// first, so they are kept until the highest is known, then sent highest
// first. At least one digit is produced, so 0 prints as "0"; eight cover any
// 32-bit value.
void put_hex(uint32_t value) {
  uint8_t digits[8];
  uint8_t *next = digits;
  do {
    uint32_t nibble = value & 0xF;
    *next++ = nibble < 10 ? '0' + nibble : 'a' + (nibble - 10);
    value >>= 4;
  } while (value != 0);
  while (next != digits) uart_putc(*--next);
}

void put_labelled(uint32_t label, uint32_t value) {
  uart_putc(label);
  put_hex(value);
}

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

void put_newline() {
  uart_putc('\r');
  uart_putc('\n');
  if (output_enabled != 0 && slow_output != 0) {
    for (volatile uint32_t count = 0; count < SLOW_OUTPUT_COUNT; count = count + 1) {
    }
  }
}

void put_labelled(uint32_t label, uint32_t value) {
  for (; label != 0; label >>= 8) uart_putc(label & 0xFF);
  uint8_t digits[8];  // least significant place first
  uint32_t count = 0;
  do {
    uint32_t nibble = value & 0xF;
    digits[count++] = nibble < 10 ? nibble + '0' : nibble + ('a' - 10);
    value >>= 4;
  } while (value != 0);
  while (count != 0) uart_putc(digits[--count]);
}

void put_hex(uint32_t value) { put_labelled(0, value); }

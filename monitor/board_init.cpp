// Control block and UART set-up, before the monitor first sends or reads a
// byte. What the control-block bit fields mean is the board's business; the
// monitor performs exactly these accesses, in this order.
#include "hardware.h"
#include "monitor.h"

// One read-modify-write: every other bit of the register keeps its value.
static void change_bits(uint32_t address, uint32_t clear, uint32_t set) {
  volatile uint32_t &reg = reg32(address);
  reg = (reg & ~clear) | set;
}

void board_init() {
  change_bits(CTRL_0000, 0x0F000000, 0);
  change_bits(CTRL_0100, 0x00000040, 0);
  change_bits(CTRL_0104, 0x00000040, 0);
  change_bits(CTRL_0140, 0x00001FC0, 0);
  change_bits(CTRL_0144, 0x00001FC0, 0);
  // Two separate read-modify-writes of one register: the second reads it again.
  change_bits(CTRL_0004, 0x0000FF00, 0);
  change_bits(CTRL_0004, 0, 0x00003300);

  reg32(UART_IER) = 0x00;   // no interrupts: the monitor polls
  reg32(UART_LCR) = 0x80;   // divisor latch access on
  reg32(UART_DATA) = 0x59;  // divisor 0x0059: 115200 baud
  reg32(UART_IER) = 0x00;
  reg32(UART_LCR) = 0x03;  // 8 data bits, no parity, 1 stop bit; latch off
  reg32(UART_FCR) = 0x87;  // FIFOs on and cleared, receive trigger 2
  reg32(UART_MCR) = 0x03;
}

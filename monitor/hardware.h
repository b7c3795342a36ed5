// The board's registers and memories as the monitor reaches them. Every access
// goes through a volatile pointer of the exact width, so the compiler performs
// each one once, in program order, and with that width.
#pragma once

#include <stdint.h>

inline volatile uint32_t &reg32(uint32_t address) {
  return *reinterpret_cast<volatile uint32_t *>(address);
}
inline volatile uint16_t &mem16(uint32_t address) {
  return *reinterpret_cast<volatile uint16_t *>(address);
}
inline volatile uint8_t &reg8(uint32_t address) {
  return *reinterpret_cast<volatile uint8_t *>(address);
}

// Control block: the registers that board_init adjusts.
constexpr uint32_t CTRL_0000 = 0xD0010000;
constexpr uint32_t CTRL_0004 = 0xD0010004;
constexpr uint32_t CTRL_0100 = 0xD0010100;
constexpr uint32_t CTRL_0104 = 0xD0010104;
constexpr uint32_t CTRL_0140 = 0xD0010140;
constexpr uint32_t CTRL_0144 = 0xD0010144;

// UART: a 16550 with 32-bit registers 4 bytes apart.
constexpr uint32_t UART_DATA = 0xD0012000;  // divisor low byte while LCR_DLAB
constexpr uint32_t UART_IER = 0xD0012004;   // divisor high byte while LCR_DLAB
constexpr uint32_t UART_FCR = 0xD0012008;
constexpr uint32_t UART_LCR = 0xD001200C;
constexpr uint32_t UART_MCR = 0xD0012010;
constexpr uint32_t UART_LSR = 0xD0012014;
constexpr uint32_t LSR_RX_READY = 0x01;
constexpr uint32_t LSR_TX_EMPTY = 0x20;

// SDRAM under test.
constexpr uint32_t SDRAM_BASE = 0x00000000;
constexpr uint32_t SDRAM_SIZE = 0x04000000;

// NAND flash window: three byte-wide ports.
constexpr uint32_t NAND_DATA = 0xD8000000;
constexpr uint32_t NAND_COMMAND = 0xD8000001;
constexpr uint32_t NAND_ADDRESS = 0xD8000002;

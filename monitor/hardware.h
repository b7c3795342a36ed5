// The board's registers and memories as the monitor reaches them. Every access
// goes through a volatile pointer of the exact width, so the compiler performs
// each one once, in program order, and with that width.
#pragma once

#include <stdint.h>

#include "korvane/board_map.h"

inline volatile uint32_t &reg32(uint32_t address) {
  return *reinterpret_cast<volatile uint32_t *>(address);
}
inline volatile uint16_t &mem16(uint32_t address) {
  return *reinterpret_cast<volatile uint16_t *>(address);
}
inline volatile uint8_t &reg8(uint32_t address) {
  return *reinterpret_cast<volatile uint8_t *>(address);
}

// Control block: the registers that board_init adjusts, named by offset.
constexpr uint32_t CTRL_0000 = CONTROL_BLOCK_BASE + 0x000;
constexpr uint32_t CTRL_0004 = CONTROL_BLOCK_BASE + 0x004;
constexpr uint32_t CTRL_0100 = CONTROL_BLOCK_BASE + 0x100;
constexpr uint32_t CTRL_0104 = CONTROL_BLOCK_BASE + 0x104;
constexpr uint32_t CTRL_0140 = CONTROL_BLOCK_BASE + 0x140;
constexpr uint32_t CTRL_0144 = CONTROL_BLOCK_BASE + 0x144;

// UART: a 16550 with 32-bit registers 4 bytes apart.
constexpr uint32_t UART_DATA = UART_BASE + 0x00;  // divisor low byte while the latch is open
constexpr uint32_t UART_IER = UART_BASE + 0x04;   // divisor high byte while the latch is open
constexpr uint32_t UART_FCR = UART_BASE + 0x08;
constexpr uint32_t UART_LCR = UART_BASE + 0x0C;
constexpr uint32_t UART_MCR = UART_BASE + 0x10;
constexpr uint32_t UART_LSR = UART_BASE + 0x14;
constexpr uint32_t LSR_RX_READY = 0x01;
constexpr uint32_t LSR_TX_EMPTY = 0x20;

// NAND flash window: three byte-wide ports.
constexpr uint32_t NAND_DATA = NAND_WINDOW_BASE + 0;
constexpr uint32_t NAND_COMMAND = NAND_WINDOW_BASE + 1;
constexpr uint32_t NAND_ADDRESS = NAND_WINDOW_BASE + 2;

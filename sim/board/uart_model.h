// The UART's state: a 16550 register block with 32-bit registers 4 bytes
// apart, of which the low 8 bits carry data (uart_model.cpp).
#pragma once

#include <cstdint>

#include "board.h"

struct board;

struct uart_device {
  uart_backend backend{};
  // The boot ROM talked XMODEM through this UART and leaves it set for the
  // line: 115200 baud, 8N1, FIFOs on, no interrupts, modem control off.
  uint32_t ier = 0;     // interrupt enable
  uint32_t lcr = 0x03;  // line control
  uint32_t mcr = 0;     // modem control
  uint32_t scr = 0;     // scratch
  uint32_t dll = 0x59;  // divisor, low byte
  uint32_t dlm = 0;     // divisor, high byte
  bool fifos_on = true;
  uint64_t tx_free_at = 0;   // emulated time when the transmitter is empty again
  uint8_t last_rx = 0x04;    // what the receive register holds: the ROM's last byte, EOT
  unsigned empty_polls = 0;  // consecutive line-status reads with nothing to wait for
};

// Maps the UART on the core; false when the core refused the mapping.
bool uart_map(board &b);

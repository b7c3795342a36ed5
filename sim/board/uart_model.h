// The UART's state: a 16550 register block with 32-bit registers 4 bytes
// apart, of which the low 8 bits carry data (uart_model.cpp).
#pragma once

#include <cstdint>
#include <deque>

#include "board.h"

struct board;

// How many bytes each FIFO holds, on the 16550 the board carries, once the
// FIFOs are on; with them off a single holding register.
constexpr unsigned UART_FIFO_DEPTH = 16;

struct uart_device {
  uart_backend backend{};
  // The boot ROM talked XMODEM through this UART and leaves it as it used
  // it: 115200 baud, 8N1, FIFOs on; its receiver served by interrupt (the
  // received-data and line-status interrupts on), its receive state in the
  // scratch register, modem control off.
  uint32_t ier = 0x05;  // interrupt enable
  uint32_t lcr = 0x03;  // line control
  uint32_t mcr = 0;     // modem control
  uint32_t scr = 0x5A;  // scratch
  uint32_t dll = 0x59;  // divisor, low byte
  uint32_t dlm = 0;     // divisor, high byte
  bool fifos_on = true;
  // When each byte taken for sending has left: the first is in the shift
  // register, the rest wait in the transmit FIFO.
  std::deque<uint64_t> tx_done;
  bool overrun = false;      // line status bit 1 until read
  uint8_t last_rx = 0x04;    // what the receive register holds: the ROM's last byte, EOT
  unsigned empty_polls = 0;  // consecutive line-status reads with nothing to wait for
};

// Maps the UART on the core; false when the core refused the mapping.
bool uart_map(board &b);

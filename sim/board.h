// Working in this tree: read DEVELOPERS.md at the top of the tree first.
// The emulated board: an ARM core (ARM state, little-endian) with the board's
// memory map and peripheral models. Used by the bus-level tests and by the
// boardsim program.
//
// Principles of operation
// - The caller places code at address 0 (as the boot ROM does) and runs the
//   core from there. The core stops when asked to, when an instruction limit
//   is reached, or when the program does something the board cannot do (an
//   access to unmapped memory, an undefined instruction).
// - The UART model talks to the outside through a uart_backend: the bus-level
//   tests feed a queue and record what is sent, boardsim bridges a
//   pseudo-terminal. When the program keeps polling an empty receiver, the
//   model calls rx_idle so that the back-end may block until input arrives
//   instead of letting the emulation spin.
// - Every access to the UART, the control block, the NAND window and the
//   SDRAM can be recorded (address, width, direction, value), in order.
//
// Summary
//   board_create    make a board from a configuration and a UART back-end
//   board_destroy   free it
//   board_load      place code at address 0 and point the core at it
//   board_run       run until stopped, a limit, or a fault
//   board_request_stop  ask board_run to return (callable from a back-end)
//   board_accesses  the recorded accesses, in order
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct bus_access {
  uint32_t address;
  uint8_t width;  // 1, 2 or 4 bytes
  bool write;
  uint32_t value;
};

// SDRAM faults. A line number of -1 means the line is sound.
struct sdram_fault_config {
  int data_stuck_line = -1;  // data line 0..15, held at data_stuck_level
  int data_stuck_level = 0;
  int addr_stuck_line = -1;  // byte-address line 1..25, held at addr_stuck_level
  int addr_stuck_level = 0;
  int addr_short_a = -1;     // two byte-address lines 1..25 shorted together
  int addr_short_b = -1;
};

struct nand_config {
  uint8_t id[4] = {0x2C, 0xF1, 0x80, 0x95};
  uint8_t final_status = 0xE0;
  bool never_ready = false;  // the ready bit never comes up after a reset
};

struct board_config {
  sdram_fault_config sdram;
  nand_config nand;
  // Start values of the six control-block registers at 0xD0010000,
  // 0xD0010004, 0xD0010100, 0xD0010104, 0xD0010140 and 0xD0010144.
  uint32_t control_init[6] = {0, 0, 0, 0, 0, 0};
  bool record_accesses = false;  // boardsim leaves this off: the log would grow for ever
};

struct uart_backend {
  int (*rx_peek)(void *ctx);           // the waiting byte 0..255, or -1; never blocks
  int (*rx_take)(void *ctx);           // take the waiting byte (-1 when none)
  void (*tx)(void *ctx, uint8_t byte); // the program sent a byte
  void (*rx_idle)(void *ctx);          // the program polls an empty receiver; may block a while
  void *ctx;
};

struct board;

board *board_create(const board_config *config, const uart_backend *uart);
void board_destroy(board *b);
// Returns 1 on success, 0 when the code does not fit the SDRAM.
int board_load(board *b, const uint8_t *code, size_t size);
// Runs until board_request_stop, until max_instructions have run (0: no
// limit), or until a fault. Returns 0 when stopped or at the limit, -1 on a
// fault (the reason is printed on standard error).
int board_run(board *b, uint64_t max_instructions);
void board_request_stop(board *b);
const std::vector<bus_access> &board_accesses(const board *b);

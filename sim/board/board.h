// The emulated board: an ARM core (ARM state, little-endian) with the board's
// memory map and peripheral models. Used by the bus-level tests and by the
// boardsim program.
//
// Principles of operation
// - The caller places code at address 0 (as the boot ROM does) and runs the
//   core from there. The rest is as the boot ROM leaves it: junk from the
//   configuration's seed in the registers, the internal RAM and the SDRAM
//   beyond the code (handover_state.h), the UART as the ROM set it. The core stops when asked to,
//   when an instruction limit is reached, or when the program does something the board cannot do
//   (an access to unmapped memory, an undefined instruction).
// - The UART model talks to the outside through a uart_backend: the bus-level
//   tests feed a queue and record what is sent, boardsim bridges a
//   pseudo-terminal. When the program keeps polling an empty receiver, the
//   model calls rx_idle so that the back-end may block until input arrives
//   instead of letting the emulation spin.
// - Time on the board is the count of instructions executed. The UART's
//   transmitter and the NAND chip's reset take time in that count, and the
//   models refuse what the hardware would refuse: a byte stored while the
//   transmit FIFO is full is lost, a NAND command while the chip is busy is
//   ignored, and so is Read ID before the chip's first Reset. Each such
//   broken rule is reported once per kind (board_reports, board_on_report), with the
//   address of the instruction that made the access and the
//   register accessed. The rules include the width of every access (32 bits
//   for the UART and the control block, 8 for the NAND window, 16 for a
//   test's SDRAM access), the start-up's control-block read-modify-writes
//   (which bits, in which order) and the UART set-up (no interrupts, those
//   the boot ROM left on included, FIFOs on and cleared, modem control lines
//   on, divisor latch closed for the line).
// - Every access to the UART, the control block, the NAND window and the
//   SDRAM can be recorded (address, width, direction, value), in order.
//   Instruction fetches are not recorded; the internal RAM's accesses neither,
//   but a test can watch a range of it (board_watch_ram).
// - Memory map (korvane/board_map.h): SDRAM, 64 MiB from address 0 (plain
//   RAM the code runs from until it relocates); the 2 KiB internal RAM; the
//   control block; the UART (16550, 32-bit registers 4 bytes apart); the
//   NAND window (data, command latch, address latch at offsets 0, 1, 2).
//   Everything else is unmapped.
// - SDRAM faults act only on accesses made by code running outside the
//   SDRAM, that is after the program has copied itself away: the copy at
//   address 0 must stay intact for the program to run at all.
//
// Summary
//   board_create    make a board from a configuration and a UART back-end
//   board_destroy   free it
//   board_load      place code at address 0 and point the core at it
//   board_run       run until stopped, a limit, or a fault
//   board_request_stop  ask board_run to return (callable from a back-end)
//   board_accesses  the recorded accesses, in order
//   board_reports   the broken rules reported so far
//   board_on_report  hear of each as it is found
//   board_instructions  emulated time, in instructions executed
//   board_skipped_instructions  of it, those of counted waits taken in one step
//   board_clear_accesses  forget them
//   board_read_memory, board_write_memory  the test's own view of memory
//   board_sdram_fetches, board_last_sdram_fetch  instructions run from SDRAM
//   board_watch_ram, board_lowest_watched  lowest internal-RAM address touched
//   board_profile_blocks, board_busiest_loop  the busiest loop and its length
//   board_call      run one routine of the program with an argument, then resume
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sdram_faults.h"

// Emulated time is the number of instructions the core has executed, counted
// a translated block at a time, so that every run of the same program on the
// same input sees the same timing. The nominal rate is far below the real
// core's clock: a slower clock makes every wait on a peripheral cost fewer
// emulated polls, so the emulation keeps ahead of the real line, while the
// shortest wait (a character time, 347 instructions at 115200 baud) still
// lasts many times longer than any path from one store to the next.
// Peripheral accesses take longer than other instructions (below). Both
// are the board's clock, against which the tests time the program's waits.
constexpr uint64_t CORE_INSTRUCTIONS_PER_US = 4;
// A load or store to a peripheral (UART, NAND window, control block) stalls
// the core on the slow peripheral bus for this many instruction times. It
// also keeps a wait on a peripheral to a few polls, cheap to emulate.
constexpr uint64_t PERIPHERAL_ACCESS_INSTRUCTIONS = 32;

struct bus_access {
  uint32_t address;
  uint8_t width;  // 1, 2 or 4 bytes
  bool write;
  uint32_t value;
};

struct nand_config {
  uint8_t id[4] = {0x2C, 0xF1, 0x80, 0x95};
  uint8_t final_status = 0xE0;  // bits 6 and 5 show the chip's state instead
  bool never_ready = false;     // the ready bit never comes up after a reset
  // How long a reset keeps the chip busy, in emulated microseconds: the
  // slowest case of such chips, a reset that aborts an erase. The monitor's
  // bounded ready poll lasts hundreds of times longer.
  unsigned reset_busy_us = 500;
  // How long the chip goes on saying ready after the Reset command, before
  // it turns busy: the slowest such chip's, in emulated nanoseconds. A
  // status read this soon is no sign that the reset is done.
  unsigned reset_busy_delay_ns = 100;
};

struct board_config {
  sdram_fault_config sdram;  // up to two wiring faults (sdram_faults.h)
  nand_config nand;
  // Reset values of the six control-block registers at 0xD0010000,
  // 0xD0010004, 0xD0010100, 0xD0010104, 0xD0010140 and 0xD0010144. Every
  // field the start-up clears is all ones, every other nibble holds set bits,
  // and the field of 0xD0010004 that the start-up rewrites holds the
  // complement of what it writes: a read-modify-write with a wrong mask
  // (keeping the field instead of the rest, missing a bit of the field, or
  // reaching into another nibble) leaves values a correct one never gives.
  uint32_t control_init[6] = {0x1F5A3C69, 0x6B82CC95, 0xA5C396E7,
                              0x5A3C69DB, 0x7E813FD7, 0x9C635FE5};
  bool record_accesses = false;  // boardsim leaves this off: the log would grow for ever
  // What the junk the boot ROM leaves in the registers and memory is drawn
  // from (handover_state.h); fixed here so that the tests repeat, given
  // anew by boardsim for each board.
  uint32_t seed = 1;
  // The serial line the UART drives: its rate, 8N1. Bytes the UART sends at
  // another rate or in another frame reach the line garbled.
  long line_baud = 115200;
};

struct uart_backend {
  int (*rx_peek)(void *ctx);            // the waiting byte 0..255, or -1; never blocks
  int (*rx_take)(void *ctx);            // take the waiting byte (-1 when none)
  void (*tx)(void *ctx, uint8_t byte);  // the program sent a byte
  void (*rx_idle)(void *ctx);           // the program polls an empty receiver; may block a while
  void *ctx;
  // How many bytes have arrived and wait to be taken; null: never more than
  // the receive FIFO holds.
  size_t (*rx_waiting)(void *ctx) = nullptr;
};

struct board;

// nullptr with the reason in why when the emulated core cannot be set up.
board *board_create(const board_config *config, const uart_backend *uart, std::string *why);
void board_destroy(board *b);
// Places the code and the boot ROM's leftovers; false, with the reason in
// why, when the code does not fit the SDRAM.
bool board_load(board *b, const uint8_t *code, size_t size, std::string *why = nullptr);
// Runs until board_request_stop, until max_instructions have run (0: no
// limit), or until a fault. False on a fault, with the reason in why.
bool board_run(board *b, uint64_t max_instructions, std::string *why);
void board_request_stop(board *b);
const std::vector<bus_access> &board_accesses(const board *b);
// The broken rules reported so far (each kind once), in order.
const std::vector<std::string> &board_reports(const board *b);
// Calls report with each broken rule as it is found, for a program that shows
// them as they happen: the board itself never prints.
void board_on_report(board *b, void (*report)(void *context, const char *text), void *context);
// Emulated time: instructions executed so far.
uint64_t board_instructions(const board *b);
// Of those, the instructions of counted waits that the board took in one step
// instead of pass by pass (counted_wait.h): part of the time all the same.
uint64_t board_skipped_instructions(const board *b);

// Instrumentation for the bus-level tests; boardsim needs none of it.
void board_clear_accesses(board *b);
// Copy to or from the board's memory as the core sees it (SDRAM or internal
// RAM), outside any model or fault. False for unmapped memory.
bool board_read_memory(board *b, uint32_t address, void *data, size_t size);
bool board_write_memory(board *b, uint32_t address, const void *data, size_t size);
// Instructions executed from the SDRAM so far, and the address of the last.
uint64_t board_sdram_fetches(const board *b);
uint32_t board_last_sdram_fetch(const board *b);
// Watch the internal RAM from low up to (not including) high: remember the
// lowest address that any load or store touches there, counting only code
// that runs outside the SDRAM (the copy loop of a relocation is not counted).
// Call before the first board_run.
constexpr uint32_t NO_ACCESS = 0xFFFFFFFF;
void board_watch_ram(board *b, uint32_t low, uint32_t high);
uint32_t board_lowest_watched(const board *b);  // NO_ACCESS when none
// Count the runs of the translated blocks that begin in [low, high) from now
// on. A loop's body is a block or a few, each run once a pass, so a wait
// loop shows as the blocks run most.
struct block_runs {
  uint32_t address;       // the block run most
  uint32_t instructions;  // the length of a pass: every block run as often
  uint64_t runs;
};
void board_profile_blocks(board *b, uint32_t low, uint32_t high);
// The loop run most since board_profile_blocks; all zero when none ran.
block_runs board_busiest_loop(const board *b);
// Call the routine at address with argument in r0, on the program's own
// stack below its current stack pointer, and put its r0 into *result when it
// returns. Every register is restored afterwards, so a later board_run goes
// on where the program was. False, with the reason in why, on a fault or
// when the routine did not return within max_instructions (0: no limit).
bool board_call(board *b, uint32_t address, uint32_t argument, uint64_t max_instructions,
                uint32_t *result, std::string *why);

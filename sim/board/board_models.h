// The pieces of the emulated board, shared by its sources: the board record
// and one map function per model. Each model maps its own address range on
// the core and records its accesses through board_record.
#pragma once

#include <unicorn/unicorn.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "board.h"
#include "korvane/board_map.h"

// The memory map is the one the monitor is built for; each model keeps its
// own register layout and command set, an independent check of the monitor's.
constexpr uint32_t PERIPHERAL_WINDOW = 0x1000;  // what each peripheral maps

// Emulated time is the number of instructions the core has executed, counted
// a translated block at a time, so that every run of the same program on the
// same input sees the same timing. The nominal rate is far below the real
// core's clock: a slower clock makes every wait on a peripheral cost fewer
// emulated polls, so the emulation keeps ahead of the real line, while the
// shortest wait (a character time, 347 instructions at 115200 baud) still
// lasts many times longer than any path from one store to the next.
// Peripheral accesses take longer than other instructions (below).
constexpr uint64_t CORE_INSTRUCTIONS_PER_US = 4;
// A load or store to a peripheral (UART, NAND window, control block) stalls
// the core on the slow peripheral bus for this many instruction times. It
// also keeps a wait on a peripheral to a few polls, cheap to emulate.
constexpr uint64_t PERIPHERAL_ACCESS_INSTRUCTIONS = 32;

// Broken rules of the board, each reported once per kind.
enum class report_kind {
  uart_tx_busy,        // a byte stored while the transmitter was busy
  uart_line_settings,  // divisor or line control wrong for the line
  uart_rx_empty,       // receive register read with no byte waiting
  nand_busy_command,   // a command other than status or reset while busy
  nand_address,        // an address cycle the chip does not take
  nand_no_address,     // data read after Read ID without its address cycle
  count
};

struct uart_state {
  uart_backend backend{};
  // The boot ROM talked XMODEM through this UART and leaves it set for the
  // line: 115200 baud, 8N1.
  uint32_t ier = 0, lcr = 0x03, mcr = 0, scr = 0, dll = 0x59, dlm = 0;
  uint64_t tx_free_at = 0;   // emulated time when the transmitter is empty again
  uint8_t last_rx = 0x04;    // what the receive register holds: the ROM's last byte, EOT
  unsigned empty_polls = 0;  // consecutive line-status reads with nothing to wait for
};

struct nand_state {
  // waiting_address: Read ID given, its address cycle not yet.
  enum class mode { idle, status, waiting_address, id } mode = mode::idle;
  uint64_t ready_at = 0;  // emulated time when a reset is done
  unsigned id_index = 0;
};

struct sdram_state {
  // Only filled while a fault is configured: the cells as the faulty wiring
  // really holds them (physical byte address -> byte), and the content the
  // core's RAM had before the fault model first changed it.
  std::unordered_map<uint32_t, uint8_t> cells;
  std::unordered_map<uint32_t, uint8_t> original;
};

struct board {
  uc_engine *uc = nullptr;
  board_config config;
  uart_state uart;
  nand_state nand;
  std::unordered_map<uint32_t, uint32_t> control;  // offset -> register value
  sdram_state sdram;
  std::vector<bus_access> accesses;
  bool stop_requested = false;
  uint64_t instructions = 0;  // emulated time
  bool reported[static_cast<int>(report_kind::count)] = {};
  std::vector<std::string> reports;

  uint64_t sdram_fetches = 0;
  uint32_t last_sdram_fetch = 0;
  uint32_t lowest_watched = NO_ACCESS;
};

void board_record(board &b, uint32_t address, unsigned width, bool write, uint32_t value);
// A peripheral model's bus callbacks begin with these: the board behind the
// callback's user pointer, with the time of the access spent (and, for a
// store, the store recorded). A load is recorded once its value is known.
board &board_peripheral_load(void *user);
board &board_peripheral_store(void *user, uint32_t address, unsigned width, uint64_t value);
uint64_t board_record_load(board &b, uint32_t address, unsigned width, uint32_t value);
// The address of the instruction now executing.
uint32_t board_pc(board &b);
// Reports a broken rule on standard error, the first time only for its kind:
// "board: " and the text, which says what the program did and where.
void board_report(board &b, report_kind kind, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
// Whether the instruction now executing was fetched from the SDRAM.
bool board_running_from_sdram(board &b);

// One per model; each returns false when the core refused the mapping.
bool uart_map(board &b);
bool control_block_map(board &b);
bool nand_map(board &b);
bool sdram_map(board &b);

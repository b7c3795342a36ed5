// The pieces of the emulated board, shared by its sources: the board record
// and one map function per model. Each model maps its own address range on
// the core and records its accesses through board_record.
#pragma once

#include <unicorn/unicorn.h>

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "board.h"

constexpr uint32_t SDRAM_BASE = 0x00000000;
constexpr uint32_t SDRAM_SIZE = 0x04000000;
constexpr uint32_t INTERNAL_RAM_BASE = 0xC8010000;
constexpr uint32_t INTERNAL_RAM_SIZE = 0x800;
constexpr uint32_t CONTROL_BLOCK_BASE = 0xD0010000;
constexpr uint32_t UART_BASE = 0xD0012000;
constexpr uint32_t NAND_BASE = 0xD8000000;
constexpr uint32_t PERIPHERAL_WINDOW = 0x1000;  // what each peripheral maps

struct uart_state {
  uart_backend backend{};
  uint32_t ier = 0, lcr = 0, mcr = 0, scr = 0, dll = 0, dlm = 0;
  unsigned empty_polls = 0;  // consecutive line-status reads with nothing waiting
};

struct nand_state {
  enum class mode { idle, status, id } mode = mode::idle;
  bool busy = false;
  unsigned busy_reads_left = 0;
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

  uint64_t sdram_fetches = 0;
  uint32_t last_sdram_fetch = 0;
  uint32_t lowest_watched = NO_ACCESS;
};

void board_record(board &b, uint32_t address, unsigned width, bool write, uint32_t value);
// Whether the instruction now executing was fetched from the SDRAM.
bool board_running_from_sdram(board &b);

// One per model; each returns false when the core refused the mapping.
bool uart_map(board &b);
bool control_block_map(board &b);
bool nand_map(board &b);
bool sdram_map(board &b);

// The pieces of the emulated board, shared by its sources: the board record,
// which holds one state record per device model (each declared with its
// model), and what every model uses to record accesses and report broken
// rules. Each model maps its own address range on the core.
#pragma once

#include <unicorn/unicorn.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "board.h"
#include "control_block_model.h"
#include "handover_state.h"
#include "korvane/board_map.h"
#include "nand_model.h"
#include "sdram_model.h"
#include "uart_model.h"

// The memory map is the one the monitor is built for; each model keeps its
// own register layout and command set, an independent check of the monitor's.
constexpr uint32_t PERIPHERAL_WINDOW = 0x1000;  // what each peripheral maps

// Broken rules of the board, each reported once per kind.
enum class report_kind {
  uart_tx_overflow,    // a byte stored while the transmit FIFO was full
  uart_rx_overrun,     // more bytes arrived than the receive FIFO holds
  uart_line_settings,  // divisor or line control wrong for the line
  uart_rx_empty,       // receive register read with no byte waiting
  uart_width,          // a load or store narrower than the 32-bit registers
  uart_interrupts,     // an interrupt enabled: nothing on the board serves it
  uart_fifo,           // FIFOs left off or not cleared
  uart_modem_control,  // modem control lines off, or loopback on
  uart_divisor_latch,  // the line used while the divisor latch is open
  nand_busy_command,   // a command other than status or reset while busy
  nand_address,        // an address cycle the chip does not take
  nand_no_address,     // data read after Read ID without its address cycle
  nand_no_reset,       // Read ID before the chip was reset after power-up
  nand_width,          // a load or store wider than the 8-bit ports
  control_width,       // a load or store narrower than the 32-bit registers
  control_bits,        // a bit changed that the start-up must keep
  control_field,       // a field left with another value than the start-up gives it
  control_order,       // a start-up step out of order or done twice
  control_no_read,     // a register written without reading it first
  sdram_width,         // a test's access that is not 16 bits wide
  ram_unset,           // internal RAM loaded that nothing stored since the hand-over
  count
};

struct board {
  uc_engine *uc = nullptr;
  board_config config;
  uart_device uart;
  nand_device nand;
  control_block_device control;
  sdram_device sdram;
  handover_memory handover;  // the SDRAM's junk, page by page
  std::vector<bus_access> accesses;
  bool stop_requested = false;
  uint64_t instructions = 0;          // emulated time
  uint64_t skipped_instructions = 0;  // of it, counted waits taken in one step
  bool reported[static_cast<int>(report_kind::count)] = {};
  std::vector<std::string> reports;
  void (*on_report)(void *context, const char *text) = nullptr;  // board_on_report
  void *report_context = nullptr;

  uint64_t sdram_fetches = 0;
  uint32_t last_sdram_fetch = 0;
  uint32_t lowest_watched = NO_ACCESS;
  uint32_t profile_low = 0, profile_high = 0;  // empty: no profile
  std::unordered_map<uint32_t, block_runs> profile;
};

void board_record(board &b, uint32_t address, unsigned width, bool write, uint32_t value);
// A peripheral model's bus callbacks begin with these: the board behind the
// callback's user pointer, with the time of the access spent (and, for a
// store, the store recorded). A load is recorded once its value is known.
board &board_peripheral_load(void *user);
board &board_peripheral_store(void *user, uint32_t address, unsigned width, uint64_t value);
uint64_t board_record_load(board &b, uint32_t address, unsigned width, uint32_t value);
// The address of the instruction now executing: the load or store itself
// while a model handles its access.
uint32_t board_pc(board &b);
// Reports a broken rule on standard error, the first time only for its kind:
// "board: " and the text, which says what the program did and where.
void board_report(board &b, report_kind kind, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
// Whether the instruction now executing was fetched from the SDRAM.
bool board_running_from_sdram(board &b);
// Reports an access of the wrong width, once for its kind: "<device>: 1-byte
// store at <address> at pc <pc><where>: <rule>", where names the register
// (", in the ...") or is empty.
void board_report_width(board &b, report_kind kind, const char *device, unsigned width, bool write,
                        uint32_t address, const std::string &where, const char *rule);

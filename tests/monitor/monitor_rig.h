// The test rig: the packed boot image's code on the emulated board, fed
// through a queue (uart_queue.h), with every bus access recorded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "korvane/board_map.h"
#include "monitor_symbols.h"
#include "uart_queue.h"

// The code of the packed image, as the boot ROM would start it.
const std::vector<uint8_t> &image_code();

struct monitor_rig {
  explicit monitor_rig(board_config config = {});
  ~monitor_rig();
  monitor_rig(const monitor_rig &) = delete;
  monitor_rig &operator=(const monitor_rig &) = delete;

  // Queue the bytes and run until the monitor waits for more input; returns
  // what it sent meanwhile. Fails the test on a fault or a runaway program.
  std::string send(const std::string &input);
  // The monitor's code size, and the addresses derived from it.
  uint32_t code_size() const { return static_cast<uint32_t>(image_code().size()); }
  uint32_t flags_address() const { return MONITOR_RUN_ADDRESS + code_size(); }
  uint32_t read_word(uint32_t address);

  const std::vector<bus_access> &accesses() const { return board_accesses(b); }

  uart_queue line;
  board *b = nullptr;
};

// How long a command takes on the board's clock, in emulated instructions,
// of them those the board took in one step, and the loop run most meanwhile
// (a wait's loop), after the given set-up, on a fresh board.
struct command_time {
  uint64_t instructions;
  uint64_t skipped;
  block_runs busiest;
};
command_time time_command(const std::string &setup, const std::string &command,
                          board_config config = {});

// The accesses to addresses in [low, high).
std::vector<bus_access> accesses_in(const std::vector<bus_access> &all, uint32_t low,
                                    uint32_t high);
// Expects the accesses to begin with these steps, each access width bytes.
struct bus_step {
  uint32_t address;
  bool write;
  uint32_t value;
};
void expect_steps(const std::vector<bus_step> &expected, const std::vector<bus_access> &actual,
                  uint8_t width);
// Text split into lines ended by CR LF (the ends removed).
std::vector<std::string> crlf_lines(const std::string &text);

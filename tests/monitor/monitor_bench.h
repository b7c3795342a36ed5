// The test bench: the packed boot image's code on the emulated board, with a
// receive queue that the test fills and a record of every byte sent.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "board.h"
#include "monitor_symbols.h"

constexpr uint32_t RUN_ADDRESS = 0xC8010000;
constexpr uint32_t STACK_TOP = 0xC8010800;
constexpr uint32_t STACK_BUDGET = 104;
constexpr uint32_t SDRAM_END = 0x04000000;
constexpr uint32_t UART_BASE = 0xD0012000;

// The code of the packed image: its size from the header at 0x04, the code
// from 0x200.
const std::vector<uint8_t> &image_code();

struct monitor_bench {
  explicit monitor_bench(board_config config = {});
  ~monitor_bench();
  monitor_bench(const monitor_bench &) = delete;
  monitor_bench &operator=(const monitor_bench &) = delete;

  // Queue the bytes and run until the monitor waits for more input; returns
  // what it sent meanwhile. Fails the test on a fault or a runaway program.
  std::string send(const std::string &input);
  // The monitor's code size, and the addresses derived from it.
  uint32_t code_size() const { return static_cast<uint32_t>(image_code().size()); }
  uint32_t flags_address() const { return RUN_ADDRESS + code_size(); }
  uint32_t read_word(uint32_t address);
  void write_word(uint32_t address, uint32_t value);

  const std::vector<bus_access> &accesses() const { return board_accesses(b); }

  board *b = nullptr;
  std::deque<uint8_t> rx;
  std::string tx;
  bool waiting = false;  // the monitor polled an empty receiver
};

// The accesses to addresses in [low, high).
std::vector<bus_access> accesses_in(const std::vector<bus_access> &all, uint32_t low,
                                    uint32_t high);
// Text split into lines ended by CR LF (the ends removed).
std::vector<std::string> crlf_lines(const std::string &text);

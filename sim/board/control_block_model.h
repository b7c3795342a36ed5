// The control block's state: the six registers that the start-up adjusts,
// how far its read-modify-writes have come, and every other register
// (control_block_model.cpp).
#pragma once

#include <cstdint>
#include <unordered_map>

struct board;

constexpr int CONTROL_REGISTERS = 6;

struct control_block_device {
  // In the order of board_config::control_init.
  uint32_t regs[CONTROL_REGISTERS] = {};
  unsigned steps_done = 0;                       // start-up read-modify-writes done, in their order
  int last_loaded = -1;                          // the register the last access loaded, or -1
  std::unordered_map<uint32_t, uint32_t> other;  // offset -> value, 0 until written
};

// Maps the control block on the core; false when the core refused the mapping.
bool control_block_map(board &b);

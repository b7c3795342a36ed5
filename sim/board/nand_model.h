// The NAND flash chip's state, behind the board's three byte-wide ports
// (nand_model.cpp).
#pragma once

#include <cstdint>

struct board;

struct nand_device {
  // waiting_address: Read ID given, its address cycle not yet.
  enum class mode { idle, status, waiting_address, id } mode = mode::idle;
  uint64_t busy_from = 0;    // emulated time when a reset makes the chip busy
  uint64_t ready_at = 0;     // emulated time when a reset is done
  bool reset_given = false;  // a Reset since power-up
  unsigned id_index = 0;     // the next ID byte a data load gives
};

// Maps the NAND window on the core; false when the core refused the mapping.
bool nand_map(board &b);

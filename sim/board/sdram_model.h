// The SDRAM's state: what a configured wiring fault keeps apart from the
// core's RAM (sdram_model.cpp).
#pragma once

#include <cstdint>
#include <unordered_map>

struct board;

struct sdram_device {
  // Only filled while a fault is configured: the cells as the faulty wiring
  // really holds them (physical byte address -> byte), and the content the
  // core's RAM had before the fault model first changed it.
  std::unordered_map<uint32_t, uint8_t> cells;
  std::unordered_map<uint32_t, uint8_t> original;
  // The data bus's levels after the last access, lane 1 in the high byte.
  uint16_t bus = 0;
};

// Maps the SDRAM on the core with its hooks; false when the core refused.
bool sdram_map(board &b);

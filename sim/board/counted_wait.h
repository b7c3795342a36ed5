// A counted wait taken in one step: a loop that steps a counter word in the
// internal RAM by one, reading it back, until it reaches a register's value,
// and does nothing else. Emulated one pass at a time such a loop costs the
// host far more than anything else the program does (every store to the
// internal RAM goes through the core's check for code being overwritten),
// while a pass can break no rule of the board: the counter is plain memory
// that the loop itself keeps setting. So when such a loop's block begins
// with its counter already set, the counter is moved on to its last step at
// once, and the board's clock (and the block profile) are given every pass
// that this leaves out: the same time, the same memory and registers as
// when each pass runs, and the last pass still runs on the core.
//
// Anything else, a loop of another shape, a counter anywhere but the
// internal RAM, a counter not yet set since the hand-over, a wait that would
// wrap around, runs pass by pass as before.
#pragma once

#include <cstdint>

struct board;

// Called as a block of size bytes at address begins; returns how many passes
// of the block it left out (0: none, the block runs as it is).
uint64_t counted_wait_skip(board &b, uint32_t address, uint32_t size);

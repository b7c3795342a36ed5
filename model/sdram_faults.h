// The SDRAM's wiring faults and what they do to an access: one model, used by
// the simulated board to misbehave and by korvane-diagnose to replay the
// tests under each candidate fault. Pure functions; no emulator here.
//
// Principles of operation
// - The SDRAM has a 16-bit data bus: byte lane 0 (data lines 0..7) holds the
//   even byte addresses, lane 1 (lines 8..15) the odd ones. Byte-address
//   lines 1..25 select the cell; line 1 picks between neighbouring 16-bit
//   words, and bit 0 of a byte address is the lane, not a line.
// - A stuck data line holds its level whatever is driven or stored, so it
//   shows on every read of its lane.
// - A stuck address line holds its level: the two cells that differ only in
//   that line become one.
// - Two shorted address lines both carry the AND of what the controller
//   drives on them (a wired AND: the low driver wins). A line stuck at 0 in a
//   short pulls its partner low; a line stuck at 1 follows its partner.
// - Up to two faults at once. Stuck address lines act first, then the
//   shorts, as groups: three lines joined by two shorts all carry the AND of
//   the three.
//
// Summary
//   sdram_fault_add      add a fault to a set, refusing duplicates and
//                        contradictions
//   sdram_fault_set      the set of a list of faults
//   sdram_fault_address  the cell a byte address reaches
//   sdram_fault_byte     the byte a read delivers from a cell's content
//   sdram_fault_word     the same for a 16-bit read at an even address
#pragma once

#include <cstdint>
#include <vector>

constexpr int SDRAM_DATA_LINES = 16;      // data lines 0..15
constexpr int SDRAM_FIRST_ADDR_LINE = 1;  // byte-address lines 1..25
constexpr int SDRAM_LAST_ADDR_LINE = 25;
constexpr int SDRAM_MAX_FAULTS = 2;

enum class sdram_fault_kind : uint8_t { data_stuck, addr_stuck, addr_short };

// One fault: a data or address line held at a level, or two address lines
// shorted together.
struct sdram_fault {
  sdram_fault_kind kind = sdram_fault_kind::data_stuck;
  int line = 0;
  int other = 0;  // the level (0 or 1) of a stuck line; the second line of a short
};

// The faults of one board; count 0 is a sound board.
struct sdram_fault_config {
  int count = 0;
  sdram_fault faults[SDRAM_MAX_FAULTS];
};

bool operator==(const sdram_fault &a, const sdram_fault &b);

// Adds fault to the set. False (the set unchanged) when the set is
// full, a line is out of range, a short joins a line to itself, or the fault
// repeats or contradicts one already there (a line stuck at both levels).
bool sdram_fault_add(sdram_fault_config *config, const sdram_fault &fault);

// The set of the listed faults, added in order; one that sdram_fault_add
// refuses is left out, so count tells whether all were taken.
sdram_fault_config sdram_fault_set(const std::vector<sdram_fault> &faults);

uint32_t sdram_fault_address(const sdram_fault_config &config, uint32_t byte_address);
uint8_t sdram_fault_byte(const sdram_fault_config &config, uint32_t byte_address, uint8_t byte);
uint16_t sdram_fault_word(const sdram_fault_config &config, uint16_t word);

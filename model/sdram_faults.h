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
// - A floating data line is driven by nobody between the controller and the
//   chip: a read returns on it the level the bus last carried, that is the
//   value of the previous store or load, whatever the cell holds. A pattern
//   read straight after its own store looks sound; read again after another
//   store, it shows that store's bit.
// - Two shorted data lines both carry the AND (wired AND: the low driver
//   wins) or the OR (wired OR: the high one wins) of their two levels, on
//   every access; a read shows the combination of what the cell holds.
// - A stuck address line holds its level: the two cells that differ only in
//   that line become one.
// - Two shorted address lines both carry the AND, or the OR, of what the
//   controller drives on them. A line stuck at 0 in a wired-AND short pulls
//   its partner low; a line stuck at 1 follows its partner (and the other
//   way round for a wired OR).
// - Up to two faults at once. Stuck lines act first, then the shorts, as
//   nets: lines joined by shorts, directly or along a chain, all carry one
//   level. A net whose shorts are all of one wiring carries their AND or
//   their OR; one whose shorts differ (a wired AND and a wired OR on a
//   shared line) has no level that wins everywhere, and carries the level
//   most of its lines are driven to (a tie, which three lines cannot make,
//   goes low). The order in which the faults are given never matters. On
//   the data lines a floating line takes the bus's level before either.
//
// Summary
//   sdram_fault_add      add a fault to a set, refusing duplicates and
//                        contradictions
//   sdram_fault_set      the set of a list of faults
//   sdram_fault_address  the cell a byte address reaches
//   sdram_fault_read     the 16-bit value a read delivers from a cell's content
//   sdram_fault_word     the same where no line floats (the bus left out)
//   sdram_fault_floating the data lines whose read levels depend on the bus
#pragma once

#include <cstdint>
#include <vector>

constexpr int SDRAM_DATA_LINES = 16;      // data lines 0..15
constexpr int SDRAM_FIRST_ADDR_LINE = 1;  // byte-address lines 1..25
constexpr int SDRAM_LAST_ADDR_LINE = 25;
constexpr int SDRAM_MAX_FAULTS = 2;

// The shorts' wiring is in the kind: addr_short and data_short are wired
// AND, the _or kinds wired OR.
enum class sdram_fault_kind : uint8_t {
  data_stuck,
  addr_stuck,
  addr_short,
  addr_short_or,
  data_short,
  data_short_or,
  data_floating,
};

// One fault: a data or address line held at a level, a data line left
// floating, or two lines of one bus shorted together.
struct sdram_fault {
  sdram_fault_kind kind = sdram_fault_kind::data_stuck;
  int line = 0;
  int other = 0;  // the level (0 or 1) of a stuck line; the second line of a
                  // short; 0 for a floating line
};

// The faults of one board; count 0 is a sound board.
struct sdram_fault_config {
  int count = 0;
  sdram_fault faults[SDRAM_MAX_FAULTS];
};

bool operator==(const sdram_fault &a, const sdram_fault &b);

// Whether a fault joins two lines, and whether it is on the data lines.
inline bool sdram_fault_is_short(sdram_fault_kind kind) {
  return kind == sdram_fault_kind::addr_short || kind == sdram_fault_kind::addr_short_or ||
         kind == sdram_fault_kind::data_short || kind == sdram_fault_kind::data_short_or;
}
inline bool sdram_fault_on_data(sdram_fault_kind kind) {
  return kind == sdram_fault_kind::data_stuck || kind == sdram_fault_kind::data_floating ||
         kind == sdram_fault_kind::data_short || kind == sdram_fault_kind::data_short_or;
}
// Whether a short is wired OR.
inline bool sdram_fault_wired_or(sdram_fault_kind kind) {
  return kind == sdram_fault_kind::addr_short_or || kind == sdram_fault_kind::data_short_or;
}

// Adds fault to the set. False (the set unchanged) when the set is
// full, a line is out of range, a short joins a line to itself, or the fault
// repeats or contradicts one already there (a line stuck at both levels, a
// floating line also stuck, two lines shorted with both wirings).
bool sdram_fault_add(sdram_fault_config *config, const sdram_fault &fault);

// The set of the listed faults, added in order; one that sdram_fault_add
// refuses is left out, so count tells whether all were taken.
sdram_fault_config sdram_fault_set(const std::vector<sdram_fault> &faults);

uint32_t sdram_fault_address(const sdram_fault_config &config, uint32_t byte_address);

// cell is what the cell holds (lane 1 in the high byte), bus the 16 bits the
// data bus carried at the previous store or load.
uint16_t sdram_fault_read(const sdram_fault_config &config, uint16_t cell, uint16_t bus);
uint16_t sdram_fault_word(const sdram_fault_config &config, uint16_t word);

// The bits of a read that the bus, not the cell, decides: floating lines and
// the lines shorted to them. 0 when no line floats.
uint16_t sdram_fault_floating(const sdram_fault_config &config);

// SDRAM tests: the data lines with walking 16-bit patterns, then the address
// lines with counters at power-of-two offsets. All writes go through the store
// routine, all reads are direct 16-bit loads, each performed once: the tests
// exist to see what the memory returns. Offsets are in bytes from the base.
#include "hardware.h"
#include "korvane/console_texts.h"
#include "monitor.h"

void store16(uint32_t address, uint32_t value) { mem16(address) = value; }

// One trace line: " ", byte offset, "w" or "r", value.
static void trace_access(uint32_t offset, uint32_t direction, uint32_t value) {
  put_labelled(TRACE_OFFSET_LABEL, offset);
  put_labelled(direction, value);
  put_newline();
}

void trace_write(uint32_t offset, uint32_t value) {
  trace_access(offset, TRACE_WRITE_LABEL, value);
}
void trace_read(uint32_t offset, uint32_t value) { trace_access(offset, TRACE_READ_LABEL, value); }

void trace_mismatch(uint32_t value) {
  uart_putc(TRACE_MISMATCH_MARK);
  put_labelled(TRACE_READ_LABEL, value);
  put_newline();
}

// The cell routines stay out of line: a copy at each of their call sites
// costs more code than the call.

// A write of the value through the store routine, and its trace line.
__attribute__((noinline)) static void write_cell(store_routine store, uint32_t base,
                                                 uint32_t offset, uint32_t value) {
  store(base + offset, value);
  trace_write(offset, value);
}

// A read, and its trace line; returns the value read.
__attribute__((noinline)) static uint32_t read_cell(uint32_t base, uint32_t offset) {
  uint32_t value = mem16(base + offset);
  trace_read(offset, value);
  return value;
}

// Writes the pattern, reads it back at once, writes 0 to the next word and
// reads the pattern's word again. Returns true when both reads gave the
// pattern; otherwise traces the pattern as a mismatch.
static bool pattern_holds(store_routine store, uint32_t base, uint32_t offset, uint32_t pattern) {
  write_cell(store, base, offset, pattern);
  uint32_t at_once = read_cell(base, offset);
  write_cell(store, base, offset + 2, 0);
  uint32_t after_zero = read_cell(base, offset);
  // A stuck line, or one shorted to a neighbour, reads back wrong at once.
  bool driven_level_holds = at_once == pattern;
  // A floating line may still show the level just written, left on the bus;
  // the 0 written to the next word drives every line low in between.
  bool stored_level_holds = after_zero == pattern;
  if (driven_level_holds && stored_level_holds) return true;
  trace_mismatch(pattern);
  return false;
}

// Finds a data line stuck at 0 or 1, or shorted to a neighbour. A walking one
// (0x0001 .. 0x8000) drives each line high alone, so a line stuck at 0, or
// pulled low by a neighbour, reads back as a cleared bit; its complement
// drives each line low alone and shows a line stuck at 1 or pulled high.
// Each pattern has a word of its own, and the word after it takes the 0.
// Returns the last failed pattern, or 0.
uint32_t data_line_test(uint32_t base, store_routine store) {
  put_labelled(TRACE_DATA_TEST_LABEL, base);
  put_newline();
  uint32_t result = 0;
  uint32_t offset = 0;
  for (uint32_t walking_one = 0x0001; walking_one <= 0x8000; walking_one <<= 1) {
    uint32_t walking_zero = ~walking_one & 0xFFFF;
    if (!pattern_holds(store, base, offset, walking_one)) result = walking_one;
    if (!pattern_holds(store, base, offset + 4, walking_zero)) result = walking_zero;
    offset += 8;
  }
  return result;
}

// The address test's two walks, which differ only in their cells. Each visits
// one cell per counter value 0, 1, 2, ...: the walking-one cells are word 0,
// whose address lines are all low, then words 1, 2, 4, ..., each with exactly
// one line high; the walking-zero cells are their complements within the
// region, all lines high and then each with exactly one line low.
enum walk { WALKING_ONE, WALKING_ZERO };

// The byte offset of the walk's cell for the counter value; mask has every
// word-address line of the region high.
static uint32_t walk_cell(walk direction, uint32_t mask, uint32_t value) {
  uint32_t one_line = (1u << value) >> 1;  // 0, then 1, 2, 4, ...
  uint32_t word = direction == WALKING_ONE ? one_line : mask & ~one_line;
  return 2 * word;
}

// Writes each cell of the walk with its own counter, then reads every cell
// back in the same order; lines + 1 cells in all. All writes come before the
// reads, so that every overlap of two cells has happened when they are read.
// Returns the number of cells that no longer held their own counter, and
// traces the value read from each.
__attribute__((noinline)) static uint32_t walk_mismatches(store_routine store, uint32_t base,
                                                          walk direction, uint32_t mask,
                                                          uint32_t lines) {
  // Stores (phase 1 or 3): the walk's cells, counters 0, 1, 2, ...
  for (uint32_t value = 0; value <= lines; ++value) {
    write_cell(store, base, walk_cell(direction, mask, value), value);
  }
  // Reads (phase 2 or 4): a later store of the walk that landed on an earlier
  // cell shows as that cell's wrong counter.
  uint32_t mismatches = 0;
  for (uint32_t value = 0; value <= lines; ++value) {
    uint32_t read = read_cell(base, walk_cell(direction, mask, value));
    bool cell_kept_its_counter = read == value;
    if (cell_kept_its_counter) continue;
    ++mismatches;
    trace_mismatch(read);
  }
  return mismatches;
}

// Finds an address line stuck at 0 or 1, or shorted to another. Every cell
// of a walk differs from the walk's first cell in exactly one address line.
// When that line cannot change (stuck) or changes together with another
// (shorted), two cells of the walk are one word: the later write overwrites
// the earlier counter, and the read-back shows it. The walking-one cells
// expose lines stuck at 0, the walking-zero cells lines stuck at 1. The
// counters stay below 32, so faults in data lines 5 to 15 do not show here.
// Returns the number of reads that differed.
uint32_t address_line_test(uint32_t base, uint32_t size, store_routine store) {
  put_labelled(TRACE_ADDRESS_TEST_LABEL, base);
  put_labelled(TRACE_ADDRESS_SIZE_LABEL, size);
  put_newline();
  uint32_t words = size / 2;
  uint32_t mask = words - 1;
  uint32_t lines = 0;  // word-address lines: 25 for 64 MiB
  for (uint32_t line = 1; line < words; line <<= 1) ++lines;
  uint32_t mismatches = 0;
  // Phases 1 and 2: stores to the walking-one cells, then their reads.
  mismatches += walk_mismatches(store, base, WALKING_ONE, mask, lines);
  // Phases 3 and 4: the same for the walking-zero cells.
  mismatches += walk_mismatches(store, base, WALKING_ZERO, mask, lines);
  return mismatches;
}

uint32_t sdram_test() {
  uint32_t result = 0;
  if (data_line_test(SDRAM_BASE, store16) != 0) result = 1;
  if (address_line_test(SDRAM_BASE, SDRAM_SIZE, store16) != 0) result = 2;
  return result;
}

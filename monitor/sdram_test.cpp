// SDRAM tests: the data lines with walking 16-bit patterns, then the address
// lines with counters at power-of-two offsets. All writes go through the store
// routine, all reads are direct 16-bit loads, each performed once: the tests
// exist to see what the memory returns.
#include "hardware.h"
#include "monitor.h"

void store16(uint32_t address, uint32_t value) { mem16(address) = value; }

// One trace line: " ", byte offset, "w" or "r", value.
static void trace_access(uint32_t offset, uint32_t value, uint32_t direction) {
  put_labelled(' ', offset);
  put_labelled(direction, value);
  put_newline();
}

void trace_write(uint32_t offset, uint32_t value) { trace_access(offset, value, 'w'); }
void trace_read(uint32_t offset, uint32_t value) { trace_access(offset, value, 'r'); }

void trace_mismatch(uint32_t value) {
  put_labelled('*' | 'r' << 8, value);
  put_newline();
}

// The cell routines stay out of line: every copy inlined at one of their
// five call sites costs more code than the call.

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

// Finds a data line stuck at 0 or 1, or shorted to a neighbour. A walking one
// (0x0001 .. 0x8000) drives each line high alone, so a line stuck at 0 or
// pulled low by another reads back as a cleared bit; its complement drives
// each line low alone and shows a line stuck at 1. Each pattern is read twice:
// at once, and after a 0 has been written to the next word, which catches a
// floating line whose last driven level would otherwise linger on the bus.
// Cells are 4 bytes apart: the pattern's word, then the word that takes the 0.
// Returns the last failed pattern, or 0.
uint32_t data_line_test(uint32_t base, store_routine store) {
  put_labelled('D', base);
  put_newline();
  uint32_t result = 0;
  for (uint32_t offset = 0; offset < 0x80; offset += 4) {
    uint32_t pattern = 1u << (offset / 8);
    if (offset & 4) pattern = ~pattern & 0xFFFF;
    write_cell(store, base, offset, pattern);
    uint32_t first = read_cell(base, offset);
    write_cell(store, base, offset + 2, 0);
    uint32_t second = read_cell(base, offset);
    if (first != pattern || second != pattern) {
      result = pattern;
      trace_mismatch(pattern);
    }
  }
  return result;
}

// Finds an address line stuck at 0 or 1, or shorted to another. Every cell of
// a walk differs from the walk's first cell in exactly one address line; when
// that line cannot change (stuck) or changes together with another (shorted),
// two cells become one and a later write shows in the other's read-back. The
// first walk (word offsets 0, 1, 2, 4, ...) exposes lines stuck at 0, the
// second (the complements within the region: mask, mask - 1, mask - 2,
// mask - 4, ...) lines stuck at 1. Every cell holds its own counter, below 32,
// so faults in data lines 5 to 15 do not show here. Returns nonzero when any
// read differed; the mismatch line names the value read.
uint32_t address_line_test(uint32_t base, uint32_t size, store_routine store) {
  put_labelled('A', base);
  put_labelled(' ', size);
  put_newline();
  uint32_t words = size / 2;
  uint32_t failed = 0;
  // Four passes: the walking-one cells written, then read back in the same
  // order; then the same for the walking-zero cells (offsets complemented
  // within the region). line >> 1 runs through the word offsets 0, 1, 2, 4,
  // ...
  for (uint32_t pass = 0; pass < 4; ++pass) {
    uint32_t flip = pass < 2 ? 0 : words - 1;
    uint32_t value = 0;
    for (uint32_t line = 1; line >> 1 < words; line <<= 1, ++value) {
      uint32_t offset = 2 * ((line >> 1) ^ flip);
      if ((pass & 1) == 0) {
        write_cell(store, base, offset, value);
      } else if (uint32_t read = read_cell(base, offset); read != value) {
        failed = 1;
        trace_mismatch(read);
      }
    }
  }
  return failed;
}

uint32_t sdram_test() {
  uint32_t result = data_line_test(SDRAM_BASE, store16) != 0;
  if (address_line_test(SDRAM_BASE, SDRAM_SIZE, store16) != 0) result = 2;
  return result;
}

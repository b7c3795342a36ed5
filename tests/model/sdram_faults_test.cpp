// The SDRAM fault model: what a board's faulty address and data lines do to
// the addresses and words that pass through them, and which fault sets no
// board can have.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "sdram_fault_names.h"
#include "sdram_faults.h"

namespace {

TEST(SdramFaults, AddressAndDataLinesThroughTheWiring) {
  struct address_case {
    std::vector<sdram_fault> f;
    uint32_t in, out;
  } cases[] = {
      {{}, 0x3FFFFFF, 0x3FFFFFF},
      {{{STUCK, 1, 0}}, 0x3, 0x1},  // the lane bit is no line
      {{{STUCK, 25, 1}}, 0x0, 0x2000000},
      {{{SHORT, 3, 7}}, 0x8, 0x0},    // one high line alone is pulled low
      {{{SHORT, 3, 7}}, 0x88, 0x88},  // both high stay high
      // A chain of shorts: all three lines carry the AND of the three.
      {{{SHORT, 2, 5}, {SHORT, 5, 9}}, 0x224, 0x224},
      {{{SHORT, 2, 5}, {SHORT, 5, 9}}, 0x024, 0x0},
      {{{SHORT, 5, 9}, {SHORT, 2, 5}}, 0x204, 0x0},
      // Stuck low pulls its partner low; stuck high follows it.
      {{{STUCK, 4, 0}, {SHORT, 4, 6}}, 0x40, 0x0},
      {{{STUCK, 4, 1}, {SHORT, 4, 6}}, 0x40, 0x50},
      {{{STUCK, 4, 1}, {SHORT, 4, 6}}, 0x00, 0x00},
      // A wired OR: one high line pulls its partner high.
      {{{SHORT_OR, 3, 7}}, 0x8, 0x88},
      {{{SHORT_OR, 3, 7}}, 0x0, 0x0},
      {{{SHORT_OR, 2, 5}, {SHORT_OR, 5, 9}}, 0x200, 0x224},
      {{{STUCK, 4, 1}, {SHORT_OR, 4, 6}}, 0x00, 0x50},
      {{{STUCK, 4, 0}, {SHORT_OR, 4, 6}}, 0x40, 0x50},
      // Shorts of both wirings on a shared line: the three lines carry the
      // level most of them are driven to, in whichever order they came.
      {{{SHORT, 18, 22}, {SHORT_OR, 17, 22}}, 0x20000, 0x0},
      {{{SHORT_OR, 17, 22}, {SHORT, 18, 22}}, 0x20000, 0x0},
      {{{SHORT, 18, 22}, {SHORT_OR, 17, 22}}, 0x60000, 0x460000},
      {{{SHORT_OR, 17, 22}, {SHORT, 18, 22}}, 0x60000, 0x460000},
  };
  for (const address_case &c : cases)
    EXPECT_EQ(c.out, sdram_fault_address(sdram_fault_set(c.f), c.in)) << std::hex << c.in;
  struct data_case {
    std::vector<sdram_fault> f;
    uint16_t cell, bus, out;
  } reads[] = {
      {{{DATA, 9, 1}}, 0x0000, 0x0000, 0x0200},
      {{{DATA, 0, 0}, {DATA, 15, 1}}, 0x00FF, 0x00FF, 0x80FE},
      // A floating line shows the bus, whatever the cell holds.
      {{{FLOATING, 4}}, 0x0010, 0x0000, 0x0000},
      {{{FLOATING, 4}}, 0x0000, 0xFFFF, 0x0010},
      {{{FLOATING, 12}, {DATA, 3, 1}}, 0x1000, 0x0000, 0x0008},
      // Shorted data lines, across the lanes too.
      {{{DSHORT, 3, 12}}, 0x0008, 0, 0x0000},
      {{{DSHORT, 3, 12}}, 0x1008, 0, 0x1008},
      {{{DSHORT_OR, 3, 12}}, 0x1000, 0, 0x1008},
      {{{DSHORT_OR, 0, 1}, {DSHORT_OR, 1, 2}}, 0x0001, 0, 0x0007},
      {{{DATA, 5, 1}, {DSHORT, 5, 6}}, 0x0040, 0, 0x0060},
      {{{DATA, 5, 0}, {DSHORT_OR, 5, 6}}, 0x0020, 0, 0x0000},
      // The floating level travels through a short.
      {{{FLOATING, 2}, {DSHORT_OR, 2, 7}}, 0x0000, 0x0004, 0x0084},
      {{{DSHORT_OR, 6, 8}, {DSHORT, 6, 11}}, 0x0040, 0, 0x0000},
      {{{DSHORT, 6, 11}, {DSHORT_OR, 6, 8}}, 0x0040, 0, 0x0000},
      {{{DSHORT_OR, 6, 8}, {DSHORT, 6, 11}}, 0x0140, 0, 0x0940},
      {{{DSHORT, 6, 11}, {DSHORT_OR, 6, 8}}, 0x0140, 0, 0x0940},
  };
  for (const data_case &c : reads)
    EXPECT_EQ(c.out, sdram_fault_read(sdram_fault_set(c.f), c.cell, c.bus)) << std::hex << c.cell;
  EXPECT_EQ(0x0084, sdram_fault_floating(sdram_fault_set({{FLOATING, 2}, {DSHORT, 7, 2}})));
  EXPECT_EQ(0x0000, sdram_fault_floating(sdram_fault_set({{DSHORT, 7, 2}})));
}

TEST(SdramFaults, RefusesWhatNoBoardHas) {
  const std::vector<sdram_fault> refused[] = {
      {{DATA, 16, 0}},
      {{DATA, 3, 2}},
      {{STUCK, 0, 1}},
      {{STUCK, 26, 1}},
      {{SHORT, 4, 4}},
      {{DATA, 3, 0}, {DATA, 3, 1}},
      {{SHORT, 4, 9}, {SHORT, 9, 4}},
      {{STUCK, 2, 0}, {STUCK, 2, 0}},
      {{DATA, 1, 0}, {DATA, 2, 0}, {DATA, 3, 0}},
      {{FLOATING, 16}},
      {{FLOATING, 3}, {DATA, 3, 1}},
      {{DSHORT, 2, 16}},
      {{DSHORT, 2, 2}},
      {{DSHORT, 2, 9}, {DSHORT_OR, 9, 2}},
      {{SHORT, 4, 9}, {SHORT_OR, 4, 9}},
      {{SHORT, 0, 9}},
  };
  for (const auto &list : refused)
    EXPECT_LT(sdram_fault_set(list).count, int(list.size()))
        << list.size() << " faults, first line " << list[0].line;
}

}  // namespace

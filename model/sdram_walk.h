// The SDRAM tests' walk as the monitor performs it: every write and read of
// the data-line test and then of the address-line test, in order, with byte
// offsets from the base and the values written. The order is fixed, so a
// trace is fully described by the values its reads returned.
//
// Summary
//   sdram_walk          the steps of both tests, data-line test first
//   sdram_replay        the reads a board with these faults returns
//   sdram_replay_matches  whether a board with these faults returns exactly
//                       these reads (stops at the first difference)
//   sdram_read_expected  the value a sound board returns for read i
//   sdram_trace         the monitor's trace text for a set of reads
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "korvane/board_map.h"
#include "sdram_faults.h"

constexpr int SDRAM_DATA_READS = 64;     // 32 patterns, each read twice
constexpr int SDRAM_ADDRESS_READS = 52;  // 26 words in each of two walks
constexpr int SDRAM_READS = SDRAM_DATA_READS + SDRAM_ADDRESS_READS;

struct walk_step {
  bool write;
  uint32_t offset;  // byte offset from the base
  uint16_t value;   // written, or what a sound board reads back
  int read_index;   // 0..SDRAM_READS-1 for a read, -1 for a write
};

struct sdram_reads {
  uint16_t value[SDRAM_READS];
};

bool operator==(const sdram_reads &a, const sdram_reads &b);

// Data-line steps come first; index SDRAM_DATA_STEPS starts the address test.
constexpr int SDRAM_DATA_STEPS = 128;
const std::vector<walk_step> &sdram_walk();

void sdram_replay(const sdram_fault_config &faults, sdram_reads *reads);
bool sdram_replay_matches(const sdram_fault_config &faults, const sdram_reads &reads);
uint16_t sdram_read_expected(int read_index);

// Whether read i is followed by a mismatch line, and the value that line
// names: the data-line test checks a pattern after its second read and names
// the pattern; the address-line test checks every read and names the value
// read.
bool sdram_mismatch_after(const sdram_reads &reads, int read_index, uint16_t *named);

// The trace lines of both tests, each ending in CR LF, as the monitor prints
// them for a board that returns these reads.
std::string sdram_trace(const sdram_reads &reads);

// The SDRAM bus across boards: for each of the 16 data and 25 address lines,
// how many boards had it named stuck, shorted or floating. A line that keeps
// failing across many boards points at the assembly or a part lot, not at
// one board.
//
// Only the faults a diagnosis was sure of count: a set the trace could not
// tell apart names lines that may be sound. A board counts once for a line
// whatever else it had.
#pragma once

#include <string>

#include "sdram_faults.h"

struct bus_line_count {
  long long boards = 0;  // with the line named at all
  long long stuck = 0, shorted = 0, floating = 0;
};

struct bus_line_counts {
  bus_line_count data[SDRAM_DATA_LINES];
  bus_line_count address[SDRAM_LAST_ADDR_LINE + 1];  // 1 to 25; 0 unused
  long long boards = 0;                              // with any line named
};

// One board's lines, marked fault by fault (stuck, shorted, floating), then
// counted once.
struct bus_board_lines {
  unsigned data[SDRAM_DATA_LINES] = {};
  unsigned address[SDRAM_LAST_ADDR_LINE + 1] = {};
};
void bus_lines_mark(bus_board_lines *board, const std::string &kind, const std::string &words);
void bus_lines_count(const bus_board_lines &board, bus_line_counts *out);

// The lines a fault of this kind names in its words ("data lines 3 and 7
// shorted" names 3 and 7); false for a kind that is no SDRAM line's or words
// that do not say it.
bool bus_fault_lines(const std::string &kind, const std::string &words, bool *data, int lines[2],
                     int *count);

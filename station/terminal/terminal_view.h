// What the operator sees. On a terminal: one row per slot, redrawn in place
// (name, port, serial, phase, elapsed time, the verdict in words and
// colour), a summary line and the station's status. Anywhere else (a pipe,
// a file, CI): one line per event, each beginning with its UTC time, with
// no escape sequences.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "station/records/board_counts.h"
#include "station/slots/slot_cycle.h"
#include "station/slots/slot_shown.h"

// The station's counts since it started, as board_counts defines them.
struct station_totals {
  board_counts counts;
  unit_tally units;
  double started = 0;  // steady seconds
};

void count_board(station_totals *t, const board_record &board, bool recorded);

// "2026-12-09T11:22:12Z A: PASS (serial SN1, 12.5 s)"; the station's own
// events are under the name "station".
std::string event_line(std::time_t utc, const view_event &e);

// The summary's parts: the counts in words (board_counts_words), then the
// boards per hour.
std::vector<std::string> summary_parts(const station_totals &t, double now);
// The parts on one line: "12 boards tested, 10 passed, 2 failed, 0 errors,
// first-pass yield 83.3%, final yield 83.3%, 40.1 boards per hour"
std::string summary_text(const station_totals &t, double now);

// The terminal's size; 0 where unknown.
struct terminal_size {
  size_t columns = 0, lines = 0;
};

// The terminal's rows, each without its line end: a heading, one row per
// slot (name, port, serial, time, then the phase, or the last board's
// verdict and the phase while the slot waits for the next), the summary
// (on as many rows as the width needs) and the footer's lines (the status,
// what is being typed). Each row is cut to size.columns (the port's column
// is left out first, a long port keeping its end), since a row the
// terminal wrapped would throw the redrawing off by a line; with more slots
// than size.lines has room for, the slots are shown a page at a time, the
// pages turning every PAGE_S seconds.
std::vector<std::string> terminal_rows(const std::vector<slot_state> &slots,
                                       const cycle_settings &settings, const station_totals &t,
                                       const std::vector<std::string> &footer, double now,
                                       bool color, terminal_size size);

constexpr double PAGE_S = 5;

// Whether colour is wanted: NO_COLOR set to anything but "" says no.
bool color_wanted(void);

// Text from the command line or a board made safe to print: control
// characters become '?'.
std::string printable(const std::string &text);

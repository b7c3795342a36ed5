// What the operator sees. On a terminal: one row per slot, redrawn in place
// (name, port, serial, phase, elapsed time, the verdict in words and
// colour), a summary line and the station's status. Anywhere else (a pipe,
// a file, CI): one line per event, each beginning with its UTC time, with
// no escape sequences.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "station/slots/slot_cycle.h"

// The station's counts since it started.
struct station_totals {
  int tested = 0;  // boards recorded, whatever their outcome
  int passed = 0, failed = 0, errors = 0, interrupted = 0;
  int not_recorded = 0;
  int slot_errors = 0;  // slots whose port could not be used, once at least
  double started = 0;   // steady seconds
};

void count_board(station_totals *t, const board_record &board, bool recorded);

// "2026-12-09T11:22:12Z A: PASS (serial SN1, 12.5 s)"; the station's own
// events are under the name "station".
std::string event_line(std::time_t utc, const view_event &e);

// "12 boards tested, 10 passed, 2 failed, 0 errors, yield 83%, 40.1 boards per hour",
// followed by the interrupted boards, the boards not recorded and the slot
// errors when there are any: every count that makes the exit status 1.
std::string summary_text(const station_totals &t, double now);

// "waiting for a board", "downloading 42%", "SDRAM pass 3 of 10", ...
std::string phase_text(const slot_state &s, const cycle_settings &settings, double now);

// "1:05", "1:02:03"
std::string elapsed_text(double seconds);

// The terminal's rows, each without its line end: a heading, one row per
// slot (name, port, serial, time, then the phase, or the last board's
// verdict and the phase while the slot waits for the next), the summary
// and, when there is one, the status. Each is cut to
// width columns (0: uncut), since a row the terminal wrapped would throw
// the redrawing off by a line.
std::vector<std::string> terminal_rows(const std::vector<slot_state> &slots,
                                       const cycle_settings &settings, const station_totals &t,
                                       const std::string &status, double now, bool color,
                                       size_t width);

// Whether colour is wanted: NO_COLOR set to anything but "" says no.
bool color_wanted(void);

// Text from the command line or a board made safe to print: control
// characters become '?'.
std::string printable(const std::string &text);

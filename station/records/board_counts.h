// The figures a person reads about a set of boards, defined once for every
// place that shows them: the terminal's summary, the web page and
// /api/slots, the run's reports and the `report` command.
//
// Principles of operation
// - tested is every board whose cycle ended, whatever its outcome, and adds
//   up: tested = passed + failed + errors + interrupted + not recorded.
// - A board not recorded (its row not in the database yet) counts only as
//   that, never as passed or failed, until its row is in
//   (board_counts_recorded moves it to its outcome).
// - A slot error is a slot whose port could not be used, once at least
//   (korvane could not open it, or it vanished while the slot waited): no
//   board, so not tested, but counted.
// - The yields are over units: a serial is one unit however often it was
//   tested, a board without a serial a unit of its own. A unit's first
//   cycle with a verdict decides the first-pass yield, its last the final
//   yield. An interrupted cycle is the station stopping, not a verdict: it
//   is left out; an error is a verdict (the board did not pass).
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "station/records/board_record.h"

struct board_counts {
  long long tested = 0;
  long long passed = 0, failed = 0, errors = 0, interrupted = 0, not_recorded = 0;
  long long slot_errors = 0;
  long long units = 0, first_passed = 0, final_passed = 0;
};

// What the units of a live count remember: each serial's last verdict. One
// entry per distinct serial of the run.
struct unit_tally {
  std::unordered_map<std::string, bool> last_passed;
};

// Counts a board whose cycle ended; recorded says whether its row is in.
// A recorded board with a verdict also counts as a unit (tally null: as a
// unit of its own, as a board without a serial always is).
void board_counts_add(board_counts *c, unit_tally *tally, const std::string &serial,
                      board_outcome outcome, bool recorded);

// A board counted as not recorded whose row is now in.
void board_counts_recorded(board_counts *c, unit_tally *tally, const std::string &serial,
                           board_outcome outcome);

// A unit whose cycles, in order, began with `first` and ended with `last`
// (neither interrupted): how a report that streams each serial's cycles
// adds it.
void board_counts_add_unit(board_counts *c, board_outcome first, board_outcome last);

// Adds b's figures to a's.
void board_counts_sum(board_counts *a, const board_counts &b);

// The yields in percent; -1 while there is no unit.
double first_pass_yield(const board_counts &c);
double final_yield(const board_counts &c);

// "6.3%", or "-" with no unit.
std::string yield_text(double percent);

// The counts in words, each a part a view may put on one line or break
// between: "16 boards tested", "1 passed", "3 failed", "12 errors", then
// "2 interrupted", "1 not recorded", "1 slot error" when there are any,
// "first-pass yield 6.3%", "final yield 6.3%".
std::vector<std::string> board_counts_words(const board_counts &c);

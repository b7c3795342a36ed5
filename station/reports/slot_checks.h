// The slots to check: a slot whose fixture (a worn pogo pin, a loose cable)
// fails good boards shows either a failure rate above the rest of its
// station's by more than chance explains, or boards that failed on it and
// then passed when retested on another slot.
//
// Principles of operation
// - A failure is a board the slot did not pass: failed, or ended in error
//   (a board that never answers is as likely the cable as the board). An
//   interrupted cycle is the station stopping and counts for nothing.
// - The rate test is Fisher's exact test, one-sided: the chance that, of all
//   the failures at the station, at least as many as the slot had would
//   fall on it if every slot were alike. A slot is flagged below
//   SLOT_CHECK_P.
// - A slot with fewer than SLOT_CHECK_MIN_BOARDS boards, or whose station's
//   other slots have fewer, is left out of the rate test: a few boards say
//   nothing about a fixture. It may still be flagged by its retests.
// - Over a line of several stations, each slot is also set against every
//   other slot of the line, by the same test and rules: a station whose
//   slots all fail more than the line's shows there.
// - "Failed here, passed elsewhere": a serial that failed on a slot and
//   passed later on another counts once for that slot; at
//   SLOT_CHECK_MIN_MOVES such serials the slot is flagged.
#pragma once

#include <string>
#include <vector>

constexpr double SLOT_CHECK_P = 0.01;
constexpr long long SLOT_CHECK_MIN_BOARDS = 10;
constexpr long long SLOT_CHECK_MIN_MOVES = 2;

// One slot's figures over the report's range.
struct slot_tally {
  std::string station, slot;
  long long boards = 0;    // with a verdict: passed, failed or error
  long long failures = 0;  // failed or error
  long long moves = 0;     // serials that failed here, then passed on another slot
  std::string fault;       // the fault its failures name most, "" for none
  long long fault_boards = 0;
};

struct slot_check {
  slot_tally slot;
  long long others_boards = 0, others_failures = 0;  // the station's other slots
  bool tested = false;                               // enough boards for the rate test
  double p = 1;                                      // the rate test's p; 1 untested
  bool rate_flag = false, moves_flag = false;
  // The same against every other slot of the line (a line's report of
  // several stations).
  long long line_boards = 0, line_failures = 0;
  bool line_tested = false;
  double line_p = 1;
  bool line_flag = false;
};

struct slot_checks {
  std::vector<slot_check> flagged;   // in the order of the tallies
  std::vector<slot_tally> left_out;  // too few boards for the rate test
  long long slots = 0;               // slots with a verdict on any board
  bool across_line = false;          // set against the line's other slots too
};

// The one-sided p of Fisher's exact test on a 2x2 table: of `total` boards,
// `failures` failed; `drawn` of them were on the slot, `hits` of those
// failed. The chance of `hits` or more under the hypergeometric law.
double fisher_upper_p(long long total, long long failures, long long drawn, long long hits);

// The checks over every slot of the report, tallies grouped by station;
// across_line: against the line's other slots too, when the tallies hold
// more than one station.
slot_checks check_slots(const std::vector<slot_tally> &tallies, bool across_line = false);

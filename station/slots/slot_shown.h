// What a slot shows, the same on the terminal and on the web page: the
// verdict with its own board's serial and time while the slot waits for the
// next board (whose serial, scanned meanwhile, shows as the next one), a
// port in error as an ERROR, and the phase in words.
#pragma once

#include <string>

#include "station/slots/slot_cycle.h"

struct slot_shown {
  slot_verdict verdict = slot_verdict::none;  // error for a port in error
  std::string word;         // "PASS", "FAIL", "ERROR", "INTERRUPTED", "NOT RECORDED"; "" for none
  std::string detail;       // what follows the word: the fault named, korvane's message
  std::string serial;       // the board shown: the one under test, or the verdict's
  std::string next_serial;  // scanned for the next board while a verdict shows
  double seconds = 0;       // the board's own time, or the time in this phase
  bool running = false;     // seconds counts on: a board is under test
  std::string ended;        // when the verdict's board ended (UTC), while it shows
  // "waiting for a board", "downloading 42%", "SDRAM pass 3 of 10", with the
  // errors in a row when there are
  std::string phase;
};

slot_shown show_slot(const slot_state &s, const cycle_settings &settings, double now);

// "waiting for a board", "downloading 42%", "SDRAM pass 3 of 10", ...
std::string phase_text(const slot_state &s, const cycle_settings &settings, double now);

// "1:05", "1:02:03"
std::string elapsed_text(double seconds);

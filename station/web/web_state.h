// What the station's live web page shows: one record per slot and the
// station's header, as the station hands them to the web server, and the JSON
// document the page, its event stream and /api/slots carry.
#pragma once

#include <string>
#include <vector>

struct web_slot {
  std::string name;
  std::string port;
  std::string serial;       // of the board in the slot, or of the verdict's board; empty: none
  std::string next_serial;  // scanned for the next board while a verdict shows
  // In words, as the terminal shows it: "waiting for a board", "downloading
  // 42%", "SDRAM pass 3 of 10"
  std::string phase;
  int percent = -1;  // the download's progress (the page's bar), -1 when not downloading
  int pass = 0;      // the soak's pass under way, 0 when not soaking
  int passes = 0;    // the passes asked for, 0 when not a counted soak
  // Seconds since the board in the slot started; the verdict's board's own
  // time while its verdict shows
  double elapsed = 0;
  bool busy = false;          // a board is under test (its verdict is not in yet)
  std::string ended;          // when the verdict's board ended (UTC), while it shows
  bool held = false;          // its board ended in error: it waits for a serial or a retry
  bool takes_serial = false;  // a scan not aimed at a slot may go to it (slot_takes_serial)
  // "", "PASS", "FAIL", "ERROR", "INTERRUPTED", "NOT RECORDED"; kept until the
  // next board starts
  std::string verdict;
  std::string detail;  // the fault named for a FAIL, the reason for an ERROR
};

// The station's counts, as the station's one definition of them gives them
// (board_counts.h).
struct web_header {
  std::string station;
  long long tested = 0, passed = 0, failed = 0, errors = 0, interrupted = 0, not_recorded = 0;
  long long slot_errors = 0;
  double first_pass_yield = -1, final_yield = -1;  // percent; -1 before the first verdict
  std::string line = "";  // the line's state in words ("line: all sent"); empty without a line
};

// The state as one line of JSON: {"station", "tested", "passed", "failed",
// "errors", "interrupted", "not_recorded", "slot_errors", "yield" and
// "first_pass_yield" (the same, a fraction; null before the first verdict),
// "final_yield", "line" (the line's state, null without one), "time_ms" (when the station made this
// state, milliseconds since 1970, so a page can tell how late it shows it), "slots": [{"slot",
// "port", "serial", "next_serial", "phase", "percent", "pass", "passes",
// "seconds", "busy", "ended", "held", "takes_serial", "verdict", "detail"}]}. Text that is
// not valid UTF-8 has its bad bytes replaced, so that the document always is.
std::string web_state_json(const web_header &header, const std::vector<web_slot> &slots,
                           long long time_ms);

// The same document without its time, made once per change: the state the
// station hands over is compared with the last one as this text, and then
// stamped with its time, not made again.
std::string web_state_content(const web_header &header, const std::vector<web_slot> &slots);
std::string web_state_stamped(const std::string &content, long long time_ms);

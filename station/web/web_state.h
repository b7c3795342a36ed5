// What the station's live web page shows: one record per slot and the
// station's header, as the station hands them to the web server, and the JSON
// document the page, its event stream and /api/slots carry.
#pragma once

#include <string>
#include <vector>

struct web_slot {
  std::string name;
  std::string port;
  std::string serial;  // of the board in the slot (or the last one); empty: none
  // In words, as the terminal shows it: "waiting for a board", "downloading
  // 42%", "SDRAM pass 3 of 10"
  std::string phase;
  int percent = -1;    // the download's progress (the page's bar), -1 when not downloading
  int pass = 0;        // the soak's pass under way, 0 when not soaking
  int passes = 0;      // the passes asked for, 0 when not a counted soak
  double elapsed = 0;  // seconds since the board in the slot started
  bool busy = false;   // a board is under test (its verdict is not in yet)
  // "", "PASS", "FAIL", "ERROR", "INTERRUPTED", "NOT RECORDED"; kept until the
  // next board starts
  std::string verdict;
  std::string detail;  // the fault named for a FAIL, the reason for an ERROR
};

struct web_header {
  std::string station;
  int tested = 0;
  int passed = 0;
  int failed = 0;
  std::string line = "";  // the line's state in words ("line: all sent"); empty without a line
};

// The state as one line of JSON: {"station", "tested", "passed", "failed",
// "yield" (null before the first board), "line" (null without one), "time_ms" (when the station
// made this state, milliseconds since 1970, so a page can tell how late it shows it), "slots":
// [{"slot", "port", "serial", "phase", "percent", "pass", "passes", "seconds", "busy", "verdict",
// "detail"}]}. Text that is not valid UTF-8 has its bad bytes replaced, so that the document always
// is.
std::string web_state_json(const web_header &header, const std::vector<web_slot> &slots,
                           long long time_ms);

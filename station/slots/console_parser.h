// korvane's console text read as it comes, in pieces of any size, turned
// into the steps of a board's cycle: the wake-up wait, the download and its
// percentage, each test's start and its verdict. A trace (-v) between a
// test's title and its verdict is passed over.
#pragma once

#include <string>
#include <vector>

enum class console_event_kind {
  waiting,       // korvane waits for the board's wake-up answer
  downloading,   // the board answered; percent holds the progress
  test_started,  // test holds "sdram" or "flash"
  test_ended,    // test, and passed
};

struct console_event {
  console_event_kind kind;
  int percent = 0;
  std::string test;
  bool passed = false;
};

struct console_parser {
  std::string line;       // the current line up to now, without its end
  std::string open_test;  // the test whose verdict is awaited, or ""
  bool waiting_seen = false;
  int percent = -1;  // the last percentage given, -1 before the download
};

// Reads text, the next piece of the console, and appends what it showed.
void console_parse(console_parser *p, const std::string &text, std::vector<console_event> *events);

// Standard input read a line at a time without ever blocking the station:
// the main loop's one wait, bounded, is the wait for a line.
#pragma once

#include <string>
#include <vector>

// A line longer than this is cut there; the rest up to its end is dropped.
constexpr size_t MAX_INPUT_LINE = 4096;

struct stdin_lines {
  std::string pending;    // a line begun, not yet ended
  bool ended = false;     // standard input closed or failed
  bool dropping = false;  // the rest of an over-long line
  bool keys = false;      // a terminal's keys: the bytes go to `keys_read` unsplit
  std::string keys_read;
};

// A terminal on standard input hands each key as it is typed, unechoed (the
// station shows what is typed itself), until stdin_keys_end or the end of
// the process. False when standard input is no terminal, or will not.
bool stdin_keys_begin(void);
void stdin_keys_end(void);

// Waits up to timeout_ms for input and appends the lines that are complete.
// Once standard input has ended it only waits.
void stdin_wait_lines(stdin_lines *in, int timeout_ms, std::vector<std::string> *lines);

// Splits bytes read into lines; the platform's reader calls these.
void stdin_take_bytes(stdin_lines *in, const char *bytes, size_t n,
                      std::vector<std::string> *lines);
// Standard input ended: a line begun is the last one.
void stdin_take_end(stdin_lines *in, std::vector<std::string> *lines);

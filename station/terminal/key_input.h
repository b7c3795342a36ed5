// The keys typed on the station's terminal, taken one by one as they come
// (stdin_keys_begin), made into the lines the operator means:
// - `q` as the first key of a line ends the station at once; no Enter is
//   waited for, and no "qq" is left to become a serial;
// - printable keys (UTF-8 included) make the line, Backspace takes back the
//   last character, Ctrl-U the whole line; Enter ends it;
// - every other key is dropped: control keys, and the escape sequences of
//   arrow and function keys whole;
// - keys left without an Enter for KEYS_STALE_S are stray (a key pressed by
//   a sleeve, a scan cut short): they are dropped when the next key comes,
//   and never become the start of the next serial.
#pragma once

#include <string>
#include <vector>

#include "station/terminal/stdin_lines.h"

constexpr double KEYS_STALE_S = 10;

struct key_line {
  std::string typed;  // the line so far, as the view shows it
  double last_key = 0;
  int escape = 0;  // 1: after ESC; 2: in a sequence, until its final byte
};

struct key_outcome {
  std::vector<std::string> lines;  // ended with Enter, in order
  bool quit = false;               // `q` began a line
  std::string dropped;             // stray keys dropped, to say so
};

// Takes the bytes typed; now is steady seconds.
void keys_take(key_line *k, const std::string &bytes, double now, key_outcome *out);

// The keys typed on the station's terminal, taken one by one as they come
// (stdin_keys_begin), made into the lines the operator means:
// - `q` as the first key of a line ends the station at once, unless more
//   keys follow it within SCAN_GAP_S, as a barcode scanner types them: then
//   it begins a serial (a scanned "qa-0001"). No Enter is waited for; a
//   person's keys come further apart, so that "q" then "q" ends the
//   station and leaves no "qq" to become a serial; a line that is "q"
//   alone ends it too, however fast its Enter came;
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
// A scanner types a serial a few milliseconds a key; the station reads its
// keys at least every 50 ms. A `q` followed by nothing for this long is the
// quit key: the station ends at most this and one read later.
constexpr double SCAN_GAP_S = 0.1;

struct key_line {
  std::string typed;  // the line so far, as the view shows it
  double last_key = 0;
  int escape = 0;        // 1: after ESC; 2: in a sequence, until its final byte
  bool q_first = false;  // the line began with `q`, its keys so far a burst
};

struct key_outcome {
  std::vector<std::string> lines;  // ended with Enter, in order
  bool quit = false;               // `q` was the quit key
  std::string dropped;             // stray keys dropped, to say so
};

// Takes the bytes typed; now is steady seconds. Called at every read, with
// no bytes too, so that a `q` alone ends the station once SCAN_GAP_S passed.
void keys_take(key_line *k, const std::string &bytes, double now, key_outcome *out);

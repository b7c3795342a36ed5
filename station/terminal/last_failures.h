// The failed boards the station names in its closing words on a terminal:
// the last few, each on a line, and how many failed before them, so that a
// day of failures costs the station no more than a minute of them.
#pragma once

#include <cstddef>
#include <deque>
#include <string>

struct last_failures {
  std::deque<std::string> kept;  // the last ones, oldest first
  long long earlier = 0;         // failed boards before them, not kept
};

// The closing words keep this many failed boards by name.
constexpr std::size_t LAST_FAILURES_KEPT = 20;

// A failed board in words ("A (serial KV-7): FAIL SDRAM: ..."); the oldest
// kept goes when more than `keep` are.
void last_failures_add(last_failures *f, const std::string &words,
                       std::size_t keep = LAST_FAILURES_KEPT);

// The closing words' lines, each ending in a line end, made printable:
// "37 earlier failed boards not listed", then the boards kept. Empty with
// no failure.
std::string last_failures_text(const last_failures &f);

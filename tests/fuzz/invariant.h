// A broken invariant ends the fuzzer with one line that names it; libFuzzer
// reports the abort with the input that caused it.
#pragma once

#include <cstdio>
#include <cstdlib>

[[noreturn]] inline void fail(const char *what) {
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

// When the board on the line makes way for the next one of a boards file.
// An operator swaps a board once its run is over, and the host beginning to
// wake the board on the line again is the sign that it is: the next board's
// boot ROM is then the one that answers. SIGUSR1 asks for the swap at any
// time. Without a boards file nothing here ever asks for one.
#pragma once

#include <csignal>
#include <cstddef>
#include <cstdint>

#include "pty_link.h"

struct board_swap {
  bool watch = false;                                // a boards file is in use
  const volatile sig_atomic_t *signalled = nullptr;  // set by SIGUSR1
  size_t pattern_pos = 0;                            // wake-up bytes a silent board saw
};

// What the bytes queued from the host begin with, as a running board's code
// would take them: the whole wake-up pattern, arrived by now (swap); its
// beginning, the rest still coming (keep it from the code for the moment);
// or anything else (the code's input).
enum class wakeup_seen { none, beginning, whole };
wakeup_seen board_swap_look(pty_link *link, int64_t now);

// Whether SIGUSR1 asked for the next board.
bool board_swap_signalled(const board_swap *swap);

// A board that has stopped answering (an image refused, its code faulted)
// takes what comes in until the swap: returns when the host wakes it or on
// SIGUSR1, or never without a boards file.
void board_swap_wait_silent(pty_link *link, board_swap *swap);

// Waking the board's boot ROM: it listens for the wake-up pattern after a
// reset and answers it with NAK.
#pragma once

#include "korvane/console_texts.h"

// The width of the console line shown while the board is woken: the
// download's first line blanks exactly that much of it.
constexpr int WAKEUP_WAITING_WIDTH = sizeof WAKEUP_WAITING_TEXT - 1;

void send_wakeup_pattern(void);

// Sends the pattern and listens 50 ms after each, until a NAK comes. There
// is no limit: the operator may reset the board whenever he likes.
void wait_for_wakeup(void);

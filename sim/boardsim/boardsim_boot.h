// The boot ROM at work on the pseudo-terminal: from reset until it has taken
// a good image.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "board_swap.h"
#include "boot_rom.h"
#include "pty_link.h"

enum class boardsim_boot_end {
  started,  // a good image: its code is in code
  refused,  // a bad image, or a register table that leaves the SDRAM unusable
  swapped,  // the board was swapped before it took a good image
};

// Runs the ROM until a transfer ends, or until the board is swapped
// (board_swap.h). On refused the reason is in why, and nothing is to be
// started: the caller reports it, then drains the line and leaves the host
// waiting, as a real board would leave it, until the swap
// (board_swap_wait_silent). When timestamp is not null it hears the moments
// the ROM answered the wake-up and acknowledged the download.
boardsim_boot_end boardsim_boot(pty_link *link, const boot_rom_config *config,
                                void (*timestamp)(const char *what, int64_t ns), board_swap *swap,
                                std::vector<uint8_t> *code, std::string *why);

// The boot ROM at work on the pseudo-terminal: from reset until it has taken
// a good image.
#pragma once

#include <cstdint>
#include <vector>

#include "board_swap.h"
#include "boot_rom.h"
#include "pty_link.h"

// Prints "boardsim: <what> at <seconds>" on standard error, for timings.
void boardsim_timestamp(const char *what, int64_t ns);

// Runs the ROM until a transfer ends with a good image, and returns true with
// its code in code. A transfer whose image is bad, or whose register table
// leaves the SDRAM unusable, is reported on standard error and then nothing
// is started: the line is drained and the host is left waiting, as a real
// board would leave it, until the board is swapped (board_swap.h). False
// when the board was swapped before it took a good image.
bool boardsim_boot(pty_link *link, const boot_rom_config *config, bool timestamps, board_swap *swap,
                   std::vector<uint8_t> *code);

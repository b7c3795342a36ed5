// The boot ROM at work on the pseudo-terminal: from reset until it has taken
// a good image.
#pragma once

#include <cstdint>
#include <vector>

#include "boot_rom.h"
#include "pty_link.h"

// Prints "boardsim: <what> at <seconds>" on standard error, for timings.
void boardsim_timestamp(const char *what, int64_t ns);

// Runs the ROM until a transfer ends with a good image, and returns its code
// in code. A transfer whose image is bad is reported on standard error and
// then nothing is started: the function never returns, the line is drained
// and the host is left waiting, as a real board would leave it.
void boardsim_boot(pty_link *link, const boot_rom_config *config, bool timestamps,
                   std::vector<uint8_t> *code);

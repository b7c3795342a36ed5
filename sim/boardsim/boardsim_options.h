// The boardsim command line: where the line appears, how the boot ROM and
// the line behave, and which faults the board has.
#pragma once

#include <cstddef>
#include <string>

#include "board.h"
#include "boot_rom.h"

struct boardsim_options {
  std::string link_path;  // empty: no symlink
  long baud = 0;          // 0: bytes pass as fast as they can
  bool timestamps = false;
  int line_noise = 0;  // random bytes before every prompt of the running code
  bool help = false;
  bool version = false;
  boot_rom_config rom;
  board_config board;
};

// False with a one-line message in why (no newline).
bool boardsim_parse_options(int argc, char **argv, boardsim_options *opts, std::string *why);

extern const char BOARDSIM_USAGE[];

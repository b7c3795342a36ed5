// The boardsim command line: where the line appears, how the boot ROM and
// the line behave, and which faults the board has. One table holds every
// option; the usage text and the parsing both follow from it.
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
  std::string boards_path;  // empty: one board, the one of the fault options
  bool seed_given = false;  // otherwise each run draws its own
  uint32_t seed = 0;        // the boot ROM's junk; board n of a boards file takes seed + n - 1
  bool show_seed = false;
  int board_options = 0;        // how many options given were a board's own
  const char *stray = nullptr;  // the first plain argument given: boardsim takes none
};

// False with a one-line message in why (no newline; why may be null).
// A long option may be cut to any start that no other shares.
bool boardsim_parse_options(int argc, char **argv, boardsim_options *opts, std::string *why);

// One line of a boards file: the fault options of one board, in the command
// line's syntax, separated by blanks; an empty line is a sound board. False
// with a one-line message in why (may be null) for a bad option or one that
// is not a board's own (the line, the boot ROM).
bool boardsim_parse_board_line(const std::string &line, board_config *board, std::string *why);

// The usage text, from the option table.
std::string boardsim_usage(void);

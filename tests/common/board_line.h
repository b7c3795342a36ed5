// A pseudo-terminal line between the built korvane and a scripted board,
// and one whole run over it.
#pragma once

#include "child_process.h"
#include "korvane_program.h"
#include "scripted_board.h"

#include <string>
#include <vector>

struct line {
  int master = -1, slave = -1;
  std::string path;  // the slave side, which korvane opens
};

line open_line(void);

// Stands in args for the line's port, so that a test can put -p where it
// likes; args without it get "-p <port>" in front.
extern const char LINE_PORT[];

// Runs the korvane under test with args against the board; ends within 5 s.
child_result run_on_board(std::vector<std::string> args, board_script *board,
                          const std::string &tag, line l = open_line());

// The same with the given program, run as it is.
child_result run_on_board(const char *korvane, std::vector<std::string> args, board_script *board,
                          const std::string &tag, line l);

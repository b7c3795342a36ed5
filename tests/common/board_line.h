// A pseudo-terminal line between the built korvane and a scripted board,
// and one whole run over it.
#pragma once

#include "child_process.h"
#include "scripted_board.h"

#include <string>
#include <vector>

struct line {
    int master = -1, slave = -1;
    std::string path;  // the slave side, which korvane opens
};

line open_line(void);

// Runs `korvane -p <line> args...` against the board; ends within 5 s.
child_result run_on_board(const char *korvane, std::vector<std::string> args, board_script *board,
                          const std::string &tag, line l);

// One diagnosis end to end: boardsim with the given options, `korvane -v -l`
// against it, then korvane-diagnose over the log. Shared by the end-to-end
// test and the benchmark.
#pragma once

#include <string>
#include <vector>

struct diagnosis_programs {
  std::string korvane, boardsim, diagnose;
};

struct board_diagnosis {
  bool ok = false;     // every program ran and ended as it should
  std::string report;  // korvane-diagnose's standard output
  int status = -1;     // korvane-diagnose's exit status
  std::string error;   // what went wrong, when not ok
};

// korvane_args come after "-p PORT -v -l LOG" (for example "sdram"),
// diagnose_args before the log (for example "--json"). korvane-diagnose
// must end with status 0, or with the statuses --exit-status gives.
board_diagnosis diagnose_board(const diagnosis_programs &programs,
                               const std::vector<std::string> &board_options,
                               const std::vector<std::string> &korvane_args = {},
                               const std::vector<std::string> &diagnose_args = {});

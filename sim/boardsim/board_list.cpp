#include "board_list.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "boardsim_options.h"
#include "korvane/why.h"

bool board_list_read(const std::string &path, std::vector<board_config> *boards, std::string *why) {
  std::ifstream in(path);
  if (!in) return set_why(why, "cannot read the boards file %s: %s", path.c_str(), strerror(errno));
  std::vector<board_config> read;
  std::string line;
  for (int number = 1; std::getline(in, line); number++) {
    board_config board;
    std::string reason;
    if (!boardsim_parse_board_line(line, &board, &reason))
      return set_why(why, "%s line %d: %s", path.c_str(), number, reason.c_str());
    read.push_back(board);
  }
  if (in.bad())
    return set_why(why, "cannot read the boards file %s: %s", path.c_str(), strerror(errno));
  if (read.empty())
    return set_why(why, "the boards file %s holds no board (an empty line is a sound one)",
                   path.c_str());
  *boards = read;
  return true;
}

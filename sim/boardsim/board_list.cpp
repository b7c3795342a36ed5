#include "board_list.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "boardsim_options.h"

bool board_list_read(const std::string &path, std::vector<board_config> *boards, std::string *why) {
  std::ifstream in(path);
  if (!in) {
    *why = "cannot read the boards file " + path + ": " + strerror(errno);
    return false;
  }
  std::vector<board_config> read;
  std::string line;
  for (int number = 1; std::getline(in, line); number++) {
    board_config board;
    std::string reason;
    if (!boardsim_parse_board_line(line, &board, &reason)) {
      *why = path + " line " + std::to_string(number) + ": " + reason;
      return false;
    }
    read.push_back(board);
  }
  if (in.bad()) {
    *why = "cannot read the boards file " + path + ": " + strerror(errno);
    return false;
  }
  if (read.empty()) {
    *why = "the boards file " + path + " holds no board (an empty line is a sound one)";
    return false;
  }
  *boards = read;
  return true;
}

// The boards of a boards file: one board a line, each line its fault options
// in the command line's syntax, an empty line a sound board.
#pragma once

#include <string>
#include <vector>

#include "board.h"

// Reads the file at path into boards, in order. False with a one-line
// message in why when the file cannot be read, holds no line, or a line is
// not one board's options (the message names the file and the line).
bool board_list_read(const std::string &path, std::vector<board_config> *boards, std::string *why);

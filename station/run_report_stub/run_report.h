// The run's reports, rewritten whole after every board (written to a
// temporary file, then renamed over the old one).
#pragma once

#include <string>
#include <vector>

#include "board_record.h"

bool write_run_json(const std::string &path, const std::vector<board_record> &boards,
                    std::string *why);
bool write_run_junit(const std::string &path, const std::vector<board_record> &boards,
                     std::string *why);

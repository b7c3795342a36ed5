// A board's log diagnosed in the station, with the code of korvane-diagnose:
// the text report, the JSON document and the faults it names, one per
// board_faults row.
#pragma once

#include <string>

#include "net_names.h"
#include "station/records/board_record.h"

// Fills board->diagnosis, diagnosis_json and faults from the log at path.
// False with the reason when the log cannot be read or is no korvane log
// (a board stopped in its first test leaves such a log); the record then
// keeps the reason as its diagnosis.
bool diagnose_board_log(const std::string &path, board_record *board, std::string *why);

// The first fault named for a test ("sdram" or "flash"), in words, or "".
std::string first_fault_words(const board_record &board, const std::string &test);

// The board's names for its lines beside their numbers in the record's
// diagnosis and its JSON; the faults' rows keep their words, by which the
// reports count them across boards.
void name_board_lines(board_record *board, const net_names &nets);

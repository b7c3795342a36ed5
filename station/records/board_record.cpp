#include "station/records/board_record.h"

namespace {

// The words, in the order of board_outcome.
const char *const OUTCOME_WORDS[] = {"passed", "failed", "error", "interrupted"};

}  // namespace

const char *board_outcome_name(board_outcome outcome) { return OUTCOME_WORDS[int(outcome)]; }

bool board_outcome_from_name(const std::string &word, board_outcome *outcome) {
  for (int i = 0; i < int(sizeof OUTCOME_WORDS / sizeof *OUTCOME_WORDS); i++) {
    if (word == OUTCOME_WORDS[i]) {
      *outcome = board_outcome(i);
      return true;
    }
  }
  return false;
}

std::string board_outcome_sql(board_outcome outcome) {
  return std::string("'") + board_outcome_name(outcome) + "'";
}

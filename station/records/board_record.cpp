#include "station/records/board_record.h"

const char *board_outcome_name(board_outcome outcome) {
  switch (outcome) {
    case board_outcome::passed:
      return "passed";
    case board_outcome::failed:
      return "failed";
    case board_outcome::error:
      return "error";
    case board_outcome::interrupted:
      return "interrupted";
  }
  return "error";
}

bool board_outcome_from_name(const std::string &name, board_outcome *outcome) {
  for (board_outcome o : {board_outcome::passed, board_outcome::failed, board_outcome::error,
                          board_outcome::interrupted}) {
    if (name == board_outcome_name(o)) {
      *outcome = o;
      return true;
    }
  }
  return false;
}

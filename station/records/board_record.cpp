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

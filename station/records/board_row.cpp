#include "station/records/board_row.h"

#include "station/records/station_database.h"

namespace {

// The names, in the order of board_column.
const char *const BOARD_COLUMNS[BOARD_COLUMN_COUNT] = {
    "serial",       "slot",      "port",           "station",        "operator",     "started",
    "ended",        "seconds",   "outcome",        "sdram_passes",   "sdram_failed", "flash_passes",
    "flash_failed", "diagnosis", "diagnosis_json", "korvane_status", "message",      "log"};

}  // namespace

std::string board_select_list() {
  std::string list = "id";
  for (const char *name : BOARD_COLUMNS) list += std::string(", ") + name;
  return list;
}

std::string board_insert_sql() {
  std::string names, values;
  for (int i = 0; i < BOARD_COLUMN_COUNT; i++) {
    names += std::string(i ? ", " : "") + BOARD_COLUMNS[i];
    values += (i ? ", ?" : "?") + std::to_string(i + 1);
  }
  return "INSERT INTO boards (" + names + ") VALUES (" + values + ")";
}

void board_bind(sqlite3_stmt *s, const board_record &b) {
  // A column's parameter is its place in the list, from ?1.
  auto text = [s](board_column c, const std::string &value) { db_bind_text(s, c + 1, value); };
  auto integer = [s](board_column c, long long value) { sqlite3_bind_int64(s, c + 1, value); };
  text(COLUMN_SERIAL, b.serial);
  text(COLUMN_SLOT, b.slot);
  text(COLUMN_PORT, b.port);
  text(COLUMN_STATION, b.station);
  text(COLUMN_OPERATOR, b.operator_name);
  text(COLUMN_STARTED, b.started);
  text(COLUMN_ENDED, b.ended);
  sqlite3_bind_double(s, COLUMN_SECONDS + 1, b.seconds);
  text(COLUMN_OUTCOME, board_outcome_name(b.outcome));
  integer(COLUMN_SDRAM_PASSES, b.sdram_passes);
  integer(COLUMN_SDRAM_FAILED, b.sdram_failed);
  integer(COLUMN_FLASH_PASSES, b.flash_passes);
  integer(COLUMN_FLASH_FAILED, b.flash_failed);
  text(COLUMN_DIAGNOSIS, b.diagnosis);
  text(COLUMN_DIAGNOSIS_JSON, b.diagnosis_json);
  if (b.korvane_status < 0) {
    sqlite3_bind_null(s, COLUMN_KORVANE_STATUS + 1);
  } else {
    integer(COLUMN_KORVANE_STATUS, b.korvane_status);
  }
  text(COLUMN_MESSAGE, b.message);
  text(COLUMN_LOG, b.log);
}

bool board_read(sqlite3_stmt *s, board_record *b) {
  // Column 0 is the id; a column of the list is one further on.
  auto text = [s](board_column c) { return db_text(s, c + 1); };
  auto integer = [s](board_column c) { return int(sqlite3_column_int64(s, c + 1)); };
  b->id = sqlite3_column_int64(s, 0);
  b->serial = text(COLUMN_SERIAL);
  b->slot = text(COLUMN_SLOT);
  b->port = text(COLUMN_PORT);
  b->station = text(COLUMN_STATION);
  b->operator_name = text(COLUMN_OPERATOR);
  b->started = text(COLUMN_STARTED);
  b->ended = text(COLUMN_ENDED);
  b->seconds = sqlite3_column_double(s, COLUMN_SECONDS + 1);
  b->sdram_passes = integer(COLUMN_SDRAM_PASSES);
  b->sdram_failed = integer(COLUMN_SDRAM_FAILED);
  b->flash_passes = integer(COLUMN_FLASH_PASSES);
  b->flash_failed = integer(COLUMN_FLASH_FAILED);
  b->diagnosis = text(COLUMN_DIAGNOSIS);
  b->diagnosis_json = text(COLUMN_DIAGNOSIS_JSON);
  b->korvane_status = sqlite3_column_type(s, COLUMN_KORVANE_STATUS + 1) == SQLITE_NULL
                          ? -1
                          : integer(COLUMN_KORVANE_STATUS);
  b->message = text(COLUMN_MESSAGE);
  b->log = text(COLUMN_LOG);
  return board_outcome_from_name(text(COLUMN_OUTCOME), &b->outcome);
}

bool board_read_faults(sqlite3_stmt *faults, long long id, std::vector<board_fault> *out) {
  sqlite3_reset(faults);
  sqlite3_bind_int64(faults, 1, id);
  int rc;
  while ((rc = sqlite3_step(faults)) == SQLITE_ROW)
    out->push_back({db_text(faults, 0), db_text(faults, 1), db_text(faults, 2)});
  return rc == SQLITE_DONE;
}

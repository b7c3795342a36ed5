#include "station/reports/history_query.h"

#include "station/reports/history_database.h"
#include "korvane/why.h"

bool history_cycles(sqlite3 *db, const std::string &serial,
                    const std::function<void(const history_cycle &)> &each, long long *count,
                    std::string *why) {
  *count = 0;
  sqlite3_stmt *cycles = history_prepare(
      db,
      "SELECT id, serial, slot, port, station, operator, started, ended, seconds, outcome,"
      " sdram_passes, sdram_failed, flash_passes, flash_failed, message, log, diagnosis_json"
      " FROM boards WHERE serial = ? ORDER BY started, id",
      why);
  sqlite3_stmt *faults = history_prepare_faults(db, why);
  bool ok = cycles && faults;
  if (ok) sqlite3_bind_text(cycles, 1, serial.c_str(), int(serial.size()), SQLITE_TRANSIENT);
  int rc = SQLITE_DONE;
  while (ok && (rc = sqlite3_step(cycles)) == SQLITE_ROW) {
    history_cycle c;
    c.id = sqlite3_column_int64(cycles, 0);
    c.serial = column_text(cycles, 1);
    c.slot = column_text(cycles, 2);
    c.port = column_text(cycles, 3);
    c.station = column_text(cycles, 4);
    c.operator_name = column_text(cycles, 5);
    c.started = column_text(cycles, 6);
    c.ended = column_text(cycles, 7);
    c.seconds = sqlite3_column_double(cycles, 8);
    c.outcome = column_text(cycles, 9);
    c.sdram_passes = sqlite3_column_int64(cycles, 10);
    c.sdram_failed = sqlite3_column_int64(cycles, 11);
    c.flash_passes = sqlite3_column_int64(cycles, 12);
    c.flash_failed = sqlite3_column_int64(cycles, 13);
    c.message = column_text(cycles, 14);
    c.log = column_text(cycles, 15);
    c.diagnosis_json = column_text(cycles, 16);
    if (!board_fault_words(faults, c.id, &c.faults)) {
      rc = SQLITE_ERROR;
      break;
    }
    ++*count;
    each(c);
  }
  if (ok && rc != SQLITE_DONE) {
    ok = false;
    set_why(why, "%s", sqlite3_errmsg(db));
  }
  sqlite3_finalize(cycles);
  sqlite3_finalize(faults);
  return ok;
}

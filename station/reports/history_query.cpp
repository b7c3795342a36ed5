#include "station/reports/history_query.h"

#include "station/records/board_row.h"
#include "station/records/station_database.h"
#include "korvane/why.h"

bool history_cycles(sqlite3 *db, const std::string &serial,
                    const std::function<void(const board_record &)> &each, long long *count,
                    std::string *why) {
  *count = 0;
  db_statement cycles = db_prepare(
      db, "SELECT " + board_select_list() + " FROM boards WHERE serial = ?1 ORDER BY started, id",
      why);
  db_statement faults = cycles ? db_prepare(db, BOARD_FAULTS_SQL, why) : nullptr;
  if (!faults) return false;
  db_bind_text(cycles.get(), 1, serial);
  int rc;
  while ((rc = sqlite3_step(cycles.get())) == SQLITE_ROW) {
    board_record c;
    if (!board_read(cycles.get(), &c)) return set_why(why, "board %lld has no outcome", c.id);
    if (!board_read_faults(faults.get(), c.id, &c.faults)) return db_fail(db, why);
    ++*count;
    each(c);
  }
  return rc == SQLITE_DONE || db_fail(db, why);
}

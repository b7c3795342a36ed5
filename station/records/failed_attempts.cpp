#include "station/records/failed_attempts.h"

#include "korvane/why.h"
#include "station/records/station_database.h"

namespace {

// The count, and the first fault of the latest failed cycle: the board's
// own history, found through the index on serial and start time.
const char QUERY[] =
    "SELECT (SELECT COUNT(*) FROM boards WHERE serial = ?1 AND outcome = 'failed'),"
    " (SELECT CASE f.test WHEN 'flash' THEN 'flash: ' ELSE '' END || f.words"
    "  FROM boards b JOIN board_faults f ON f.board_id = b.id"
    "  WHERE b.serial = ?1 AND b.outcome = 'failed'"
    "  ORDER BY b.started DESC, b.id DESC, f.rowid LIMIT 1)";

const char UNSENT[] =
    "SELECT b.uid, b.started,"
    " (SELECT CASE f.test WHEN 'flash' THEN 'flash: ' ELSE '' END || f.words"
    "  FROM board_faults f WHERE f.board_id = b.id ORDER BY f.rowid LIMIT 1)"
    " FROM outbox o JOIN boards b ON b.id = o.board_id"
    " WHERE b.serial = ?1 AND b.outcome = 'failed'";

}  // namespace

db_handle failed_attempts_open(const std::string &path, std::string *why) {
  std::string reason;
  db_handle db = db_open(path, db_access::read_only, &reason);
  if (!db) set_why(why, "cannot read %s: %s", path.c_str(), reason.c_str());
  return db;
}

bool failed_attempts_of(sqlite3 *db, const std::string &serial, failed_attempts *out,
                        std::string *why) {
  *out = failed_attempts();
  db_statement s = db_prepare(db, QUERY, why);
  if (!s) return false;
  db_bind_text(s.get(), 1, serial);
  if (sqlite3_step(s.get()) != SQLITE_ROW) return db_fail(db, why);
  out->count = sqlite3_column_int64(s.get(), 0);
  out->last_fault = db_text(s.get(), 1);
  return true;
}

bool failed_attempts_unsent(sqlite3 *db, const std::string &serial,
                            std::vector<failed_attempt> *out, std::string *why) {
  out->clear();
  db_statement s = db_prepare(db, UNSENT, why);
  if (!s) return false;
  db_bind_text(s.get(), 1, serial);
  int step;
  while ((step = sqlite3_step(s.get())) == SQLITE_ROW)
    out->push_back({db_text(s.get(), 0), db_text(s.get(), 1), db_text(s.get(), 2)});
  return step == SQLITE_DONE || db_fail(db, why);
}

std::string hold_reason(const std::string &serial, const failed_attempts &a) {
  std::string out =
      serial + " failed " + std::to_string(a.count) + (a.count == 1 ? " time" : " times");
  if (!a.last_fault.empty()) out += " (" + a.last_fault + ")";
  return out + "; send it to rework";
}

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

bool failed_attempts_open(const std::string &path, attempts_reader *reader, std::string *why) {
  std::string reason;
  reader->db = db_open(path, db_access::read_only, &reason);
  if (!reader->db) return set_why(why, "cannot read %s: %s", path.c_str(), reason.c_str());
  return true;
}

void failed_attempts_close(attempts_reader *reader) {
  reader->of.reset();
  reader->unsent.reset();
  reader->db.reset();
}

// The kept statement for sql, bound to serial; null with SQLite's reason.
// A statement is reset once read, so that no read stays open between calls.
static sqlite3_stmt *bound(attempts_reader *reader, db_statement *kept, const char *sql,
                           const std::string &serial, std::string *why) {
  if (!*kept) *kept = db_prepare(reader->db.get(), sql, why);
  if (!*kept) return nullptr;
  db_bind_text(kept->get(), 1, serial);
  return kept->get();
}

bool failed_attempts_of(attempts_reader *reader, const std::string &serial, failed_attempts *out,
                        std::string *why) {
  *out = failed_attempts();
  sqlite3_stmt *s = bound(reader, &reader->of, QUERY, serial, why);
  if (!s) return false;
  bool ok = sqlite3_step(s) == SQLITE_ROW;
  if (ok) {
    out->count = sqlite3_column_int64(s, 0);
    out->last_fault = db_text(s, 1);
  } else {
    db_fail(reader->db.get(), why);
  }
  sqlite3_reset(s);
  return ok;
}

bool failed_attempts_unsent(attempts_reader *reader, const std::string &serial,
                            std::vector<failed_attempt> *out, std::string *why) {
  out->clear();
  sqlite3_stmt *s = bound(reader, &reader->unsent, UNSENT, serial, why);
  if (!s) return false;
  int step;
  while ((step = sqlite3_step(s)) == SQLITE_ROW)
    out->push_back({db_text(s, 0), db_text(s, 1), db_text(s, 2)});
  bool ok = step == SQLITE_DONE || db_fail(reader->db.get(), why);
  sqlite3_reset(s);
  return ok;
}

std::string hold_reason(const std::string &serial, const failed_attempts &a) {
  std::string out =
      serial + " failed " + std::to_string(a.count) + (a.count == 1 ? " time" : " times");
  if (!a.last_fault.empty()) out += " (" + a.last_fault + ")";
  return out + "; send it to rework";
}

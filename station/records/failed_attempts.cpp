#include "station/records/failed_attempts.h"

#include "korvane/why.h"

namespace {

// The count, and the first fault of the latest failed cycle: the board's
// own history, found through the index on serial and start time.
const char QUERY[] =
    "SELECT (SELECT COUNT(*) FROM boards WHERE serial = ?1 AND outcome = 'failed'),"
    " (SELECT CASE f.test WHEN 'flash' THEN 'flash: ' ELSE '' END || f.words"
    "  FROM boards b JOIN board_faults f ON f.board_id = b.id"
    "  WHERE b.serial = ?1 AND b.outcome = 'failed'"
    "  ORDER BY b.started DESC, b.id DESC, f.rowid LIMIT 1)";

}  // namespace

sqlite3 *failed_attempts_open(const std::string &path, std::string *why) {
  sqlite3 *db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    set_why(why, "cannot read %s: %s", path.c_str(), db ? sqlite3_errmsg(db) : "no memory");
    sqlite3_close(db);
    return nullptr;
  }
  // The station's own commits hold the write lock only for a moment.
  sqlite3_busy_timeout(db, 2000);
  return db;
}

bool failed_attempts_of(sqlite3 *db, const std::string &serial, failed_attempts *out,
                        std::string *why) {
  *out = failed_attempts();
  sqlite3_stmt *s = nullptr;
  if (sqlite3_prepare_v2(db, QUERY, -1, &s, nullptr) != SQLITE_OK)
    return set_why(why, "%s", sqlite3_errmsg(db));
  sqlite3_bind_text(s, 1, serial.data(), int(serial.size()), SQLITE_TRANSIENT);
  int rc = sqlite3_step(s);
  if (rc == SQLITE_ROW) {
    out->count = sqlite3_column_int64(s, 0);
    const unsigned char *fault = sqlite3_column_text(s, 1);
    if (fault)
      out->last_fault.assign(reinterpret_cast<const char *>(fault),
                             size_t(sqlite3_column_bytes(s, 1)));
  }
  sqlite3_finalize(s);
  if (rc != SQLITE_ROW) return set_why(why, "%s", sqlite3_errmsg(db));
  return true;
}

std::string hold_reason(const std::string &serial, const failed_attempts &a) {
  std::string out =
      serial + " failed " + std::to_string(a.count) + (a.count == 1 ? " time" : " times");
  if (!a.last_fault.empty()) out += " (" + a.last_fault + ")";
  return out + "; send it to rework";
}

#include "station/records/outbox_rows.h"

#include "korvane/why.h"

namespace {

bool fail(sqlite3 *db, std::string *why) {
  return set_why(why, "the outbox: %s", sqlite3_errmsg(db));
}

std::string text(sqlite3_stmt *s, int column) {
  const unsigned char *t = sqlite3_column_text(s, column);
  return t ? (const char *)t : "";
}

// The statement for sql: the kept one (prepared now when it is not yet),
// else one in local for this call alone. Null when it cannot be prepared.
sqlite3_stmt *statement(sqlite3 *db, const char *sql, db_statement *kept, db_statement *local) {
  db_statement &s = kept ? *kept : *local;
  if (!s) {
    sqlite3_stmt *made = nullptr;
    bool ok = sqlite3_prepare_v2(db, sql, -1, &made, nullptr) == SQLITE_OK;
    s.reset(made);
    if (!ok) s.reset();
  }
  return s.get();
}

// Ends a statement's run so that a kept one holds no read open between
// calls, then clears its values.
void done(sqlite3_stmt *s) {
  sqlite3_reset(s);
  sqlite3_clear_bindings(s);
}

// Runs sql with its one id (and reason), expecting no row back.
bool change(sqlite3 *db, const char *sql, db_statement *kept, long long board_id,
            const std::string *reason, std::string *why) {
  db_statement local;
  sqlite3_stmt *s = statement(db, sql, kept, &local);
  bool ok = s != nullptr;
  if (ok) {
    sqlite3_bind_int64(s, 1, board_id);
    if (reason) sqlite3_bind_text(s, 2, reason->data(), (int)reason->size(), SQLITE_TRANSIENT);
    ok = sqlite3_step(s) == SQLITE_DONE;
  }
  if (!ok) fail(db, why);
  if (s) done(s);
  return ok;
}

}  // namespace

bool outbox_add(sqlite3 *db, long long board_id, const std::string &queued, std::string *why) {
  return change(db, "INSERT INTO outbox (board_id, queued) VALUES (?1, ?2)", nullptr, board_id,
                &queued, why);
}

bool outbox_next(sqlite3 *db, long long *board_id, std::string *why, outbox_statements *kept) {
  db_statement local;
  sqlite3_stmt *s =
      statement(db, "SELECT board_id FROM outbox WHERE state = 'waiting' ORDER BY board_id LIMIT 1",
                kept ? &kept->next : nullptr, &local);
  *board_id = 0;
  int step = s ? sqlite3_step(s) : SQLITE_ERROR;
  if (step == SQLITE_ROW) *board_id = sqlite3_column_int64(s, 0);
  bool ok = step == SQLITE_ROW || step == SQLITE_DONE;
  if (!ok) fail(db, why);
  if (s) done(s);
  return ok;
}

bool outbox_ack(sqlite3 *db, long long board_id, std::string *why, outbox_statements *kept) {
  return change(db, "DELETE FROM outbox WHERE board_id = ?1", kept ? &kept->ack : nullptr, board_id,
                nullptr, why);
}

bool outbox_park(sqlite3 *db, long long board_id, const std::string &reason, std::string *why,
                 outbox_statements *kept) {
  return change(db, "UPDATE outbox SET state = 'parked', reason = ?2 WHERE board_id = ?1",
                kept ? &kept->park : nullptr, board_id, &reason, why);
}

bool outbox_count(sqlite3 *db, outbox_counts *out, std::string *why, outbox_statements *kept) {
  const char *sql =
      "SELECT (SELECT count(*) FROM outbox WHERE state = 'waiting'),"
      " (SELECT min(queued) FROM outbox WHERE state = 'waiting'),"
      " (SELECT count(*) FROM outbox WHERE state = 'parked'),"
      " (SELECT reason FROM outbox WHERE state = 'parked' ORDER BY board_id DESC LIMIT 1)";
  db_statement local;
  sqlite3_stmt *s = statement(db, sql, kept ? &kept->count : nullptr, &local);
  bool ok = s && sqlite3_step(s) == SQLITE_ROW;
  if (ok) {
    out->waiting = sqlite3_column_int64(s, 0);
    out->oldest = text(s, 1);
    out->parked = sqlite3_column_int64(s, 2);
    out->last_reason = text(s, 3);
  } else {
    fail(db, why);
  }
  if (s) done(s);
  return ok;
}

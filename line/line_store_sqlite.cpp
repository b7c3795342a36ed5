// The line's SQLite back-end: one connection, one writer at a time, WAL and
// synchronous FULL, so that a record acknowledged is on disk.
#include <mutex>

#include <sqlite3.h>

#include "korvane/why.h"
#include "line/line_store_backend.h"
#include "station/records/board_migration.h"
#include "station/records/board_row.h"
#include "station/records/station_database.h"

namespace {

// A station's `boards` and `board_faults`, with the line's own columns.
const char PRAGMAS[] = "PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL;";

const char FIND_UID[] = "SELECT content_hash FROM boards WHERE uid = ?1";

}  // namespace

struct line_sqlite {
  std::mutex mutex;
  db_handle handle;
  db_statement insert_board, insert_fault, find_uid;
};

line_sqlite *line_sqlite_open(const std::string &path, std::string *why) {
  line_sqlite *db = new line_sqlite;
  std::string reason;
  db->handle =
      db_connect(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, &reason);
  sqlite3 *raw = db->handle.get();
  // A line database of an earlier release gets the columns it lacks.
  bool ok =
      raw && db_exec(raw, PRAGMAS, &reason) &&
      db_exec(raw, board_tables_sql(line_board_tables("INTEGER PRIMARY KEY", "INTEGER")).c_str(),
              &reason) &&
      board_columns_add(raw, &reason);
  if (ok) {
    db->insert_board = db_prepare(raw, board_insert_sql(LINE_COLUMNS), &reason);
    db->insert_fault = db_prepare(raw, board_fault_insert_sql(), &reason);
    db->find_uid = db_prepare(raw, FIND_UID, &reason);
    ok = db->insert_board && db->insert_fault && db->find_uid;
  }
  if (!ok) {
    set_why(why, "cannot open the database %s: %s", path.c_str(), reason.c_str());
    delete db;
    return nullptr;
  }
  return db;
}

void line_sqlite_close(line_sqlite *db) { delete db; }

namespace {

bool insert(line_sqlite *db, const line_record &record, const std::string &received,
            std::string *why) {
  sqlite3 *h = db->handle.get();
  sqlite3_stmt *s = db->insert_board.get();
  board_bind(s, record.board);
  db_bind_text(s, board_bound_count() + 1, received);
  db_bind_text(s, board_bound_count() + 2, record.content_hash);
  if (!db_step_done(h, s, why)) return false;
  return board_insert_faults(h, db->insert_fault.get(), sqlite3_last_insert_rowid(h),
                             record.board.faults, why);
}

}  // namespace

line_put line_sqlite_put(line_sqlite *db, const line_record &record, const std::string &received,
                         std::string *why) {
  std::lock_guard<std::mutex> lock(db->mutex);
  db_transaction t(db->handle.get());
  if (!db_begin(&t, why)) return line_put::unavailable;
  sqlite3_stmt *f = db->find_uid.get();
  db_bind_text(f, 1, record.board.uid);
  int step = sqlite3_step(f);
  std::string hash = step == SQLITE_ROW ? db_text(f, 0) : "";
  sqlite3_reset(f);
  if (step == SQLITE_ROW) return hash == record.content_hash ? line_put::same : line_put::clash;
  if (step != SQLITE_DONE) {
    db_fail(db->handle.get(), why);
    return line_put::unavailable;
  }
  if (!insert(db, record, received, why) || !db_commit(&t, why)) return line_put::unavailable;
  return line_put::stored;
}

bool line_sqlite_day(line_sqlite *db, const std::string &since,
                     std::map<std::string, line_day_counts> *out, std::string *why) {
  std::lock_guard<std::mutex> lock(db->mutex);
  db_statement s = db_prepare(db->handle.get(),
                              "SELECT station, outcome, count(*) FROM boards WHERE started >= ?1"
                              " GROUP BY station, outcome",
                              why);
  if (!s) return false;
  db_bind_text(s.get(), 1, since);
  int step;
  while ((step = sqlite3_step(s.get())) == SQLITE_ROW)
    line_day_add(out, db_text(s.get(), 0), db_text(s.get(), 1), sqlite3_column_int64(s.get(), 2));
  return step == SQLITE_DONE || db_fail(db->handle.get(), why);
}

namespace {

// A serial's attempts, read under the one connection's lock, which no
// record's write passes: the counts over all, then the newest listed with the
// first fault each named, found through the index on serial and start time.
const char SERIAL_COUNTS[] =
    "SELECT count(*), coalesce(sum(outcome = 'failed'), 0) FROM boards WHERE serial = ?1";
const char SERIAL_LIST[] =
    "SELECT b.uid, b.station, b.slot, b.started, b.ended, b.outcome,"
    " (SELECT CASE f.test WHEN 'flash' THEN 'flash: ' ELSE '' END || f.words"
    "  FROM board_faults f WHERE f.board_id = b.id ORDER BY f.rowid LIMIT 1)"
    " FROM boards b WHERE b.serial = ?1 ORDER BY b.started DESC, b.id DESC LIMIT ?2";

}  // namespace

bool line_sqlite_serial(line_sqlite *db, const std::string &serial, line_serial_attempts *out,
                        std::string *why) {
  std::lock_guard<std::mutex> lock(db->mutex);
  sqlite3 *h = db->handle.get();
  db_statement counts = db_prepare(h, SERIAL_COUNTS, why);
  db_statement list = db_prepare(h, SERIAL_LIST, why);
  if (!counts || !list) return false;
  db_bind_text(counts.get(), 1, serial);
  if (sqlite3_step(counts.get()) != SQLITE_ROW) return db_fail(h, why);
  out->total = sqlite3_column_int64(counts.get(), 0);
  out->failed = sqlite3_column_int64(counts.get(), 1);
  db_bind_text(list.get(), 1, serial);
  sqlite3_bind_int(list.get(), 2, LINE_ATTEMPTS_LISTED);
  int step;
  while ((step = sqlite3_step(list.get())) == SQLITE_ROW) {
    sqlite3_stmt *s = list.get();
    out->newest.push_back({db_text(s, 0), db_text(s, 1), db_text(s, 2), db_text(s, 3),
                           db_text(s, 4), db_text(s, 5), db_text(s, 6)});
  }
  return step == SQLITE_DONE || db_fail(h, why);
}

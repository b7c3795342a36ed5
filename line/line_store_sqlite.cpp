// The line's SQLite back-end: one connection, one writer at a time, WAL and
// synchronous FULL, so that a record acknowledged is on disk.
#include <mutex>

#include <sqlite3.h>

#include "korvane/why.h"
#include "line/line_store_backend.h"

namespace {

// A station's `boards` and `board_faults`, with the line's own columns.
const char SCHEMA[] = R"sql(
PRAGMA journal_mode = WAL;
PRAGMA synchronous = FULL;
CREATE TABLE IF NOT EXISTS boards (
  id INTEGER PRIMARY KEY,
  serial TEXT,
  slot TEXT NOT NULL,
  port TEXT NOT NULL,
  station TEXT NOT NULL,
  operator TEXT,
  started TEXT NOT NULL,
  ended TEXT NOT NULL,
  seconds REAL NOT NULL,
  outcome TEXT NOT NULL CHECK (outcome IN ('passed', 'failed', 'error', 'interrupted')),
  sdram_passes INTEGER NOT NULL DEFAULT 0,
  sdram_failed INTEGER NOT NULL DEFAULT 0,
  flash_passes INTEGER NOT NULL DEFAULT 0,
  flash_failed INTEGER NOT NULL DEFAULT 0,
  diagnosis TEXT,
  diagnosis_json TEXT,
  korvane_status INTEGER,
  message TEXT,
  log TEXT,
  uid TEXT NOT NULL UNIQUE,
  release TEXT,
  received TEXT NOT NULL,
  content_hash TEXT NOT NULL
);
CREATE TABLE IF NOT EXISTS board_faults (
  board_id INTEGER NOT NULL REFERENCES boards(id),
  test TEXT NOT NULL,
  kind TEXT NOT NULL,
  words TEXT NOT NULL
);
CREATE INDEX IF NOT EXISTS boards_by_serial ON boards(serial, started);
CREATE INDEX IF NOT EXISTS boards_by_started ON boards(started);
CREATE INDEX IF NOT EXISTS board_faults_by_board ON board_faults(board_id);
)sql";

const char INSERT_BOARD[] =
    "INSERT INTO boards (serial, slot, port, station, operator, started, ended, seconds, outcome,"
    " sdram_passes, sdram_failed, flash_passes, flash_failed, diagnosis, diagnosis_json,"
    " korvane_status, message, log, uid, release, received, content_hash)"
    " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17, ?18,"
    " ?19, ?20, ?21, ?22)";
const char INSERT_FAULT[] =
    "INSERT INTO board_faults (board_id, test, kind, words) VALUES (?1, ?2, ?3, ?4)";
const char FIND_UID[] = "SELECT content_hash FROM boards WHERE uid = ?1";

// A reader (a report) holds the file for moments at a time.
const int BUSY_TIMEOUT_MS = 5000;

void bind_text(sqlite3_stmt *s, int index, const std::string &text, bool empty_is_null) {
  if (empty_is_null && text.empty()) {
    sqlite3_bind_null(s, index);
  } else {
    sqlite3_bind_text(s, index, text.data(), (int)text.size(), SQLITE_TRANSIENT);
  }
}

bool step_done(sqlite3_stmt *s) {
  bool ok = sqlite3_step(s) == SQLITE_DONE;
  sqlite3_reset(s);
  sqlite3_clear_bindings(s);
  return ok;
}

}  // namespace

struct line_sqlite {
  std::mutex mutex;
  sqlite3 *handle = nullptr;
  sqlite3_stmt *insert_board = nullptr, *insert_fault = nullptr, *find_uid = nullptr;
};

line_sqlite *line_sqlite_open(const std::string &path, std::string *why) {
  line_sqlite *db = new line_sqlite;
  bool ok = sqlite3_open_v2(path.c_str(), &db->handle,
                            SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                            nullptr) == SQLITE_OK;
  if (ok) sqlite3_busy_timeout(db->handle, BUSY_TIMEOUT_MS);
  char *message = nullptr;
  ok = ok && sqlite3_exec(db->handle, SCHEMA, nullptr, nullptr, &message) == SQLITE_OK;
  ok = ok && sqlite3_prepare_v2(db->handle, INSERT_BOARD, -1, &db->insert_board, nullptr) ==
                 SQLITE_OK;
  ok = ok && sqlite3_prepare_v2(db->handle, INSERT_FAULT, -1, &db->insert_fault, nullptr) ==
                 SQLITE_OK;
  ok = ok && sqlite3_prepare_v2(db->handle, FIND_UID, -1, &db->find_uid, nullptr) == SQLITE_OK;
  if (!ok) {
    set_why(why, "cannot open the database %s: %s", path.c_str(),
            message ? message : db->handle ? sqlite3_errmsg(db->handle) : "out of memory");
    sqlite3_free(message);
    line_sqlite_close(db);
    return nullptr;
  }
  return db;
}

void line_sqlite_close(line_sqlite *db) {
  if (!db) return;
  sqlite3_finalize(db->insert_board);
  sqlite3_finalize(db->insert_fault);
  sqlite3_finalize(db->find_uid);
  sqlite3_close(db->handle);
  delete db;
}

line_put line_sqlite_put(line_sqlite *db, const line_record &record, const std::string &received,
                         std::string *why) {
  std::lock_guard<std::mutex> lock(db->mutex);
  sqlite3 *h = db->handle;
  if (sqlite3_exec(h, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
    set_why(why, "%s", sqlite3_errmsg(h));
    return line_put::unavailable;
  }
  const board_record &b = record.board;
  sqlite3_stmt *f = db->find_uid;
  bind_text(f, 1, b.uid, false);
  int step = sqlite3_step(f);
  std::string hash = step == SQLITE_ROW ? (const char *)sqlite3_column_text(f, 0) : "";
  sqlite3_reset(f);
  if (step == SQLITE_ROW) {
    sqlite3_exec(h, "ROLLBACK", nullptr, nullptr, nullptr);
    return hash == record.content_hash ? line_put::same : line_put::clash;
  }
  sqlite3_stmt *s = db->insert_board;
  bool ok = step == SQLITE_DONE;
  if (ok) {
    bind_text(s, 1, b.serial, true);
    bind_text(s, 2, b.slot, false);
    bind_text(s, 3, b.port, false);
    bind_text(s, 4, b.station, false);
    bind_text(s, 5, b.operator_name, true);
    bind_text(s, 6, b.started, false);
    bind_text(s, 7, b.ended, false);
    sqlite3_bind_double(s, 8, b.seconds);
    bind_text(s, 9, board_outcome_name(b.outcome), false);
    sqlite3_bind_int(s, 10, b.sdram_passes);
    sqlite3_bind_int(s, 11, b.sdram_failed);
    sqlite3_bind_int(s, 12, b.flash_passes);
    sqlite3_bind_int(s, 13, b.flash_failed);
    bind_text(s, 14, b.diagnosis, true);
    bind_text(s, 15, b.diagnosis_json, true);
    if (b.korvane_status < 0) {
      sqlite3_bind_null(s, 16);
    } else {
      sqlite3_bind_int(s, 16, b.korvane_status);
    }
    bind_text(s, 17, b.message, true);
    bind_text(s, 18, b.log, true);
    bind_text(s, 19, b.uid, false);
    bind_text(s, 20, b.release, true);
    bind_text(s, 21, received, false);
    bind_text(s, 22, record.content_hash, false);
    ok = step_done(s);
  }
  long long id = sqlite3_last_insert_rowid(h);
  for (size_t i = 0; ok && i < b.faults.size(); i++) {
    sqlite3_stmt *fs = db->insert_fault;
    sqlite3_bind_int64(fs, 1, id);
    bind_text(fs, 2, b.faults[i].test, false);
    bind_text(fs, 3, b.faults[i].kind, false);
    bind_text(fs, 4, b.faults[i].words, false);
    ok = step_done(fs);
  }
  ok = ok && sqlite3_exec(h, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
  if (!ok) {
    set_why(why, "%s", sqlite3_errmsg(h));
    sqlite3_exec(h, "ROLLBACK", nullptr, nullptr, nullptr);
    return line_put::unavailable;
  }
  return line_put::stored;
}

bool line_sqlite_day(line_sqlite *db, const std::string &since,
                     std::map<std::string, line_day_counts> *out, std::string *why) {
  std::lock_guard<std::mutex> lock(db->mutex);
  sqlite3_stmt *s = nullptr;
  bool ok = sqlite3_prepare_v2(db->handle,
                               "SELECT station, outcome, count(*) FROM boards WHERE started >= ?1"
                               " GROUP BY station, outcome",
                               -1, &s, nullptr) == SQLITE_OK;
  if (ok) sqlite3_bind_text(s, 1, since.c_str(), -1, SQLITE_TRANSIENT);
  int step = SQLITE_DONE;
  while (ok && (step = sqlite3_step(s)) == SQLITE_ROW)
    line_day_add(out, (const char *)sqlite3_column_text(s, 0),
                 (const char *)sqlite3_column_text(s, 1), sqlite3_column_int64(s, 2));
  ok = ok && step == SQLITE_DONE;
  if (!ok) set_why(why, "%s", sqlite3_errmsg(db->handle));
  sqlite3_finalize(s);
  return ok;
}

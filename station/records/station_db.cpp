#include "station/records/station_db.h"

#include <sqlite3.h>

#include "board_schema_sql.h"
#include "korvane/why.h"
#include "station/records/board_migration.h"
#include "station/records/board_uid.h"
#include "station/records/outbox_rows.h"

struct station_db {
  sqlite3 *handle = nullptr;
  sqlite3_stmt *insert_board = nullptr;
  sqlite3_stmt *insert_fault = nullptr;
  bool outbox = false;  // each record waits in the outbox for the line
};

namespace {

const char INSERT_BOARD[] =
    "INSERT INTO boards (serial, slot, port, station, operator, started, ended, seconds, outcome,"
    " sdram_passes, sdram_failed, flash_passes, flash_failed, diagnosis, diagnosis_json,"
    " korvane_status, message, log, uid, release)"
    " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17, ?18,"
    " ?19, ?20)";
const char INSERT_FAULT[] =
    "INSERT INTO board_faults (board_id, test, kind, words) VALUES (?1, ?2, ?3, ?4)";

// A busy database (a report being read by another program) is waited for
// this long before a commit counts as failed.
const int BUSY_TIMEOUT_MS = 5000;

bool fail(sqlite3 *handle, const std::string &what, std::string *why) {
  return set_why(why, what + ": " + (handle ? sqlite3_errmsg(handle) : "out of memory"));
}

bool run(sqlite3 *handle, const char *sql, const std::string &what, std::string *why) {
  char *message = nullptr;
  if (sqlite3_exec(handle, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
  set_why(why, what + ": " + (message ? message : sqlite3_errmsg(handle)));
  sqlite3_free(message);
  return false;
}

// Text, or NULL for an empty one where the column allows it.
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

station_db *station_db_open(const std::string &path, std::string *why) {
  station_db *db = new station_db;
  std::string where = "cannot open the database " + path;
  bool ok = sqlite3_open_v2(path.c_str(), &db->handle,
                            SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                            nullptr) == SQLITE_OK;
  if (!ok) fail(db->handle, where, why);
  if (ok) sqlite3_busy_timeout(db->handle, BUSY_TIMEOUT_MS);
  // The schema's statements write the file, so a database that cannot be
  // written is found here, before any board is touched.
  ok = ok && run(db->handle, BOARD_SCHEMA_SQL, where, why);
  ok = ok && run(db->handle, "BEGIN IMMEDIATE; COMMIT;", where, why);
  ok = ok && board_schema_migrate(db->handle, why);
  ok = ok &&
       (sqlite3_prepare_v2(db->handle, INSERT_BOARD, -1, &db->insert_board, nullptr) == SQLITE_OK ||
        fail(db->handle, where, why));
  ok = ok &&
       (sqlite3_prepare_v2(db->handle, INSERT_FAULT, -1, &db->insert_fault, nullptr) == SQLITE_OK ||
        fail(db->handle, where, why));
  if (!ok) {
    station_db_close(db);
    return nullptr;
  }
  return db;
}

bool station_db_commit(station_db *db, board_record *board, std::string *why) {
  std::string what = "cannot record the board";
  if (board->uid.empty()) board->uid = board_new_uid();
  board->release = KORVANE_VERSION;
  if (!run(db->handle, "BEGIN IMMEDIATE", what, why)) return false;
  sqlite3_stmt *s = db->insert_board;
  bind_text(s, 1, board->serial, true);
  bind_text(s, 2, board->slot, false);
  bind_text(s, 3, board->port, false);
  bind_text(s, 4, board->station, false);
  bind_text(s, 5, board->operator_name, true);
  bind_text(s, 6, board->started, false);
  bind_text(s, 7, board->ended, false);
  sqlite3_bind_double(s, 8, board->seconds);
  bind_text(s, 9, board_outcome_name(board->outcome), false);
  sqlite3_bind_int(s, 10, board->sdram_passes);
  sqlite3_bind_int(s, 11, board->sdram_failed);
  sqlite3_bind_int(s, 12, board->flash_passes);
  sqlite3_bind_int(s, 13, board->flash_failed);
  bind_text(s, 14, board->diagnosis, true);
  bind_text(s, 15, board->diagnosis_json, true);
  if (board->korvane_status < 0) {
    sqlite3_bind_null(s, 16);
  } else {
    sqlite3_bind_int(s, 16, board->korvane_status);
  }
  bind_text(s, 17, board->message, true);
  bind_text(s, 18, board->log, true);
  bind_text(s, 19, board->uid, false);
  bind_text(s, 20, board->release, false);
  bool ok = step_done(s) || fail(db->handle, what, why);
  long long id = sqlite3_last_insert_rowid(db->handle);
  for (size_t i = 0; ok && i < board->faults.size(); i++) {
    const board_fault &f = board->faults[i];
    sqlite3_stmt *fs = db->insert_fault;
    sqlite3_bind_int64(fs, 1, id);
    bind_text(fs, 2, f.test, false);
    bind_text(fs, 3, f.kind, false);
    bind_text(fs, 4, f.words, false);
    ok = step_done(fs) || fail(db->handle, what, why);
  }
  ok = ok && (!db->outbox || outbox_add(db->handle, id, board->ended, why));
  ok = ok && run(db->handle, "COMMIT", what, why);
  if (!ok) {
    sqlite3_exec(db->handle, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
  }
  board->id = id;
  return true;
}

void station_db_keep_outbox(station_db *db) { db->outbox = true; }

void station_db_close(station_db *db) {
  if (!db) return;
  sqlite3_finalize(db->insert_board);
  sqlite3_finalize(db->insert_fault);
  sqlite3_close(db->handle);
  delete db;
}

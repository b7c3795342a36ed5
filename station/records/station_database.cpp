#include "station/records/station_database.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "board_schema_sql.h"
#include "korvane/why.h"
#include "station/records/board_migration.h"
#include "station/records/board_row.h"

namespace {

// A busy database (a station committing while a report reads, or the other
// way round) is waited for this long before the statement counts as failed.
const int BUSY_TIMEOUT_MS = 5000;

// SQLite's own message for a missing file says only that it cannot open
// it; the system's reason tells the user which of the causes it is.
bool readable_file(const std::string &path, std::string *why) {
  FILE *f = fopen(path.c_str(), "rb");
  if (!f) return set_why(why, "%s", strerror(errno));
  fclose(f);
  struct stat st = {};
  if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    return set_why(why, "%s", strerror(EISDIR));
  return true;
}

// The tables the report and history read, probed without reading a row.
bool holds_station_tables(sqlite3 *db, std::string *why) {
  const char *probes[] = {
      "SELECT id, serial, slot, station, started, ended, seconds, outcome FROM boards LIMIT 0",
      "SELECT board_id, test, kind, words FROM board_faults LIMIT 0"};
  for (const char *sql : probes) {
    std::string reason;
    if (!db_prepare(db, sql, &reason))
      return set_why(why, "not a station database: %s", reason.c_str());
  }
  return true;
}

}  // namespace

db_handle db_connect(const std::string &path, int flags, std::string *why) {
  sqlite3 *raw = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
  db_handle db(raw);
  if (rc != SQLITE_OK) {
    set_why(why, "%s", raw ? sqlite3_errmsg(raw) : "out of memory");
    return nullptr;
  }
  sqlite3_busy_timeout(raw, BUSY_TIMEOUT_MS);
  return db;
}

db_handle db_open(const std::string &path, db_access access, std::string *why) {
  bool writing = access == db_access::read_write;
  if (!writing && !readable_file(path, why)) return nullptr;
  int flags = writing ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX
                      : SQLITE_OPEN_READONLY;
  db_handle db = db_connect(path, flags, why);
  if (!db) return nullptr;
  sqlite3 *raw = db.get();
  // The schema's statements write the file, so a database that cannot be
  // written is found here, before any board is touched.
  bool ok = writing ? db_exec(raw, board_tables_sql(board_tables()).c_str(), why) &&
                          db_exec(raw, BOARD_SCHEMA_SQL, why) &&
                          db_exec(raw, "BEGIN IMMEDIATE; COMMIT;", why)
                    : holds_station_tables(raw, why) && board_schema_view(raw, why);
  return ok ? std::move(db) : nullptr;
}

db_statement db_prepare(sqlite3 *db, const std::string &sql, std::string *why) {
  sqlite3_stmt *s = nullptr;
  int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr);
  db_statement statement(s);
  if (rc != SQLITE_OK) {
    db_fail(db, why);
    return nullptr;
  }
  return statement;
}

bool db_exec(sqlite3 *db, const char *sql, std::string *why) {
  char *message = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
  set_why(why, "%s", message ? message : sqlite3_errmsg(db));
  sqlite3_free(message);
  return false;
}

bool db_fail(sqlite3 *db, std::string *why) {
  return set_why(why, "%s", db ? sqlite3_errmsg(db) : "out of memory");
}

void db_bind_text(sqlite3_stmt *s, int index, const std::string &text) {
  if (text.empty()) {
    sqlite3_bind_null(s, index);
  } else {
    sqlite3_bind_text(s, index, text.data(), int(text.size()), SQLITE_TRANSIENT);
  }
}

bool db_step_done(sqlite3 *db, sqlite3_stmt *s, std::string *why) {
  bool ok = sqlite3_step(s) == SQLITE_DONE || db_fail(db, why);
  sqlite3_reset(s);
  sqlite3_clear_bindings(s);
  return ok;
}

std::string db_text(sqlite3_stmt *s, int column) {
  const unsigned char *text = sqlite3_column_text(s, column);
  return text ? std::string(reinterpret_cast<const char *>(text),
                            size_t(sqlite3_column_bytes(s, column)))
              : std::string();
}

db_transaction::~db_transaction() {
  if (open) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
}

bool db_begin(db_transaction *t, std::string *why) {
  t->open = db_exec(t->db, "BEGIN IMMEDIATE", why);
  return t->open;
}

bool db_commit(db_transaction *t, std::string *why) {
  if (!db_exec(t->db, "COMMIT", why)) return false;
  t->open = false;
  return true;
}

// The station's database as every part of the station reaches it: the run
// that writes a board's record, and the report and history that read them.
// One open, one busy time-out, statements that finalise themselves, a
// transaction that rolls back unless committed, one rule for binding text.
// No exceptions: every call that can fail returns false or null with
// SQLite's reason in *why, and the caller words the failure.
//
// How to use it
//   std::string why;
//   db_handle db = db_open(path, db_access::read_only, &why);  // null: why says
//   db_statement s = db_prepare(db.get(), "SELECT ... WHERE serial = ?1", &why);
//   if (!s) ...;                       // finalised by itself wherever it goes
//   db_bind_text(s.get(), 1, serial);  // empty text is bound as NULL
//   while (sqlite3_step(s.get()) == SQLITE_ROW) ... db_text(s.get(), 0) ...
//
//   db_transaction t(db.get());
//   if (!db_begin(&t, &why)) ...;      // BEGIN IMMEDIATE
//   ... statements ...
//   if (!db_commit(&t, &why)) ...;     // anything short of this rolls back
//
// The `boards` columns and how a board_record binds and reads them are in
// board_row.h.
#pragma once

#include <memory>
#include <string>

#include <sqlite3.h>

struct db_closer {
  void operator()(sqlite3 *db) const { sqlite3_close(db); }
};
struct db_finalizer {
  void operator()(sqlite3_stmt *s) const { sqlite3_finalize(s); }
};

// A database that is closed, and a statement that is finalised, when it goes.
using db_handle = std::unique_ptr<sqlite3, db_closer>;
using db_statement = std::unique_ptr<sqlite3_stmt, db_finalizer>;

enum class db_access {
  // The report and the history: the file must exist and hold the station's
  // tables; nothing is ever written.
  read_only,
  // The station: the file and its tables are made when missing, in WAL mode
  // with synchronous FULL, and the open proves that the file can be written.
  read_write,
};

// Opens path with SQLite's open flags; a lock held by another connection is
// waited for the busy time-out. Null with SQLite's reason otherwise. For the
// files that are not a station's database as db_open makes it (the line's),
// or that must already be there.
db_handle db_connect(const std::string &path, int flags, std::string *why);

// Opens path. Null with the reason ("No such file or directory", "not a
// station database: ...", SQLite's own words) otherwise.
db_handle db_open(const std::string &path, db_access access, std::string *why);

// A statement, or null with SQLite's reason.
db_statement db_prepare(sqlite3 *db, const std::string &sql, std::string *why);

// Runs sql (one or more statements, no values); false with the reason.
bool db_exec(sqlite3 *db, const char *sql, std::string *why);

// Sets *why to SQLite's last reason for db and returns false.
bool db_fail(sqlite3 *db, std::string *why);

// Binds text to ?index. The one rule for empty text: it is NULL, "none".
void db_bind_text(sqlite3_stmt *s, int index, const std::string &text);

// Steps s once and expects it to be done (an INSERT), then resets it and
// clears its values for the next use; false with the reason.
bool db_step_done(sqlite3 *db, sqlite3_stmt *s, std::string *why);

// The text of a column, "" for NULL.
std::string db_text(sqlite3_stmt *s, int column);

// A transaction that rolls back when it goes out of scope begun but not
// committed.
struct db_transaction {
  explicit db_transaction(sqlite3 *db) : db(db) {}
  ~db_transaction();
  db_transaction(const db_transaction &) = delete;
  db_transaction &operator=(const db_transaction &) = delete;
  sqlite3 *db;
  bool open = false;
};

// BEGIN IMMEDIATE: the write lock is taken now, waited for up to the busy
// time-out, so a commit never fails halfway for want of it.
bool db_begin(db_transaction *t, std::string *why);
// COMMIT; false with the reason, and the transaction rolled back.
bool db_commit(db_transaction *t, std::string *why);

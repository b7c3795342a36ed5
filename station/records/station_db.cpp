#include "station/records/station_db.h"

#include "station/records/board_row.h"
#include "station/records/station_database.h"
#include "korvane/why.h"
#include "station/records/board_migration.h"
#include "station/records/board_uid.h"
#include "station/records/outbox_rows.h"

struct station_db {
  db_handle handle;
  db_statement insert_board;
  db_statement insert_fault;
  bool outbox = false;  // each record waits in the outbox for the line
};

namespace {

bool insert_board(station_db *db, board_record *board, std::string *why) {
  sqlite3 *handle = db->handle.get();
  board_bind(db->insert_board.get(), *board);
  if (!db_step_done(handle, db->insert_board.get(), why)) return false;
  long long id = sqlite3_last_insert_rowid(handle);
  if (!board_insert_faults(handle, db->insert_fault.get(), id, board->faults, why)) return false;
  if (db->outbox && !outbox_add(handle, id, board->ended, why)) return false;
  board->id = id;
  return true;
}

}  // namespace

station_db *station_db_open(const std::string &path, std::string *why) {
  std::string reason;
  station_db *db = new station_db;
  db->handle = db_open(path, db_access::read_write, &reason);
  // A database of an earlier release gets its new columns before the
  // insert that names them is made.
  if (db->handle && !board_schema_migrate(db->handle.get(), &reason)) db->handle.reset();
  if (db->handle) db->insert_board = db_prepare(db->handle.get(), board_insert_sql(), &reason);
  if (db->insert_board)
    db->insert_fault = db_prepare(db->handle.get(), board_fault_insert_sql(), &reason);
  if (!db->insert_fault) {
    delete db;
    set_why(why, "cannot open the database " + path + ": " + reason);
    return nullptr;
  }
  return db;
}

bool station_db_commit(station_db *db, board_record *board, std::string *why) {
  std::string reason;
  long long id = board->id;
  if (board->uid.empty()) board->uid = board_new_uid();
  board->release = KORVANE_VERSION;
  db_transaction t(db->handle.get());
  if (db_begin(&t, &reason) && insert_board(db, board, &reason) && db_commit(&t, &reason))
    return true;
  board->id = id;
  return set_why(why, "cannot record the board: " + reason);
}

void station_db_keep_outbox(station_db *db) { db->outbox = true; }

void station_db_close(station_db *db) { delete db; }

void station_db_busy_wait(station_db *db, int ms) { sqlite3_busy_timeout(db->handle.get(), ms); }

bool station_db_holds(station_db *db, const board_record &board, bool *held, std::string *why) {
  const char sql[] =
      "SELECT 1 FROM boards WHERE station = ?1 AND slot = ?2 AND started = ?3 AND log IS ?4";
  std::string reason;
  db_statement s = db_prepare(db->handle.get(), sql, &reason);
  if (!s) return set_why(why, "cannot read the database: " + reason);
  db_bind_text(s.get(), 1, board.station);
  db_bind_text(s.get(), 2, board.slot);
  db_bind_text(s.get(), 3, board.started);
  db_bind_text(s.get(), 4, board.log);
  int step = sqlite3_step(s.get());
  if (step != SQLITE_ROW && step != SQLITE_DONE) {
    db_fail(db->handle.get(), &reason);
    return set_why(why, "cannot read the database: " + reason);
  }
  *held = step == SQLITE_ROW;
  return true;
}

#include "station/records/board_fetch.h"

#include "korvane/why.h"
#include "station/records/board_row.h"
#include "station/records/station_database.h"

namespace {

using statements = board_fetch_statements;

bool prepare(sqlite3 *db, const std::string &where, statements *st, std::string *why) {
  st->boards = db_prepare(db, "SELECT " + board_select_list() + " FROM boards" + where, why);
  if (st->boards) st->faults = db_prepare(db, BOARD_FAULTS_SQL, why);
  return st->faults || set_why(why, "cannot read the boards: " + *why);
}

// The row s is on, whole; false when its outcome or faults cannot be read.
bool read_whole(sqlite3_stmt *s, sqlite3_stmt *faults, board_record *b) {
  *b = board_record();
  return board_read(s, b) && board_read_faults(faults, b->id, &b->faults);
}

}  // namespace

bool board_fetch(sqlite3 *db, long long id, board_record *out, std::string *why,
                 board_fetch_statements *kept) {
  statements local;
  statements &st = kept ? *kept : local;
  if ((!st.boards || !st.faults) && !prepare(db, " WHERE id = ?1", &st, why)) return false;
  sqlite3_stmt *boards = st.boards.get();
  sqlite3_bind_int64(boards, 1, id);
  int step = sqlite3_step(boards);
  bool ok = step == SQLITE_ROW && read_whole(boards, st.faults.get(), out);
  if (step == SQLITE_DONE)
    set_why(why, "no board %lld", id);
  else if (!ok)
    set_why(why, "cannot read board %lld: %s", id, sqlite3_errmsg(db));
  // Reset: a kept statement ends its read here, not at the next fetch.
  sqlite3_reset(boards);
  sqlite3_reset(st.faults.get());
  return ok;
}

bool board_fetch_each(sqlite3 *db, const std::string &since,
                      const std::function<bool(const board_record &)> &each, std::string *why) {
  statements st;
  if (!prepare(db, since.empty() ? " ORDER BY id" : " WHERE started >= ?1 ORDER BY id", &st, why))
    return false;
  if (!since.empty()) db_bind_text(st.boards.get(), 1, since);
  int step;
  while ((step = sqlite3_step(st.boards.get())) == SQLITE_ROW) {
    board_record b;
    if (!read_whole(st.boards.get(), st.faults.get(), &b)) break;
    if (!each(b)) return true;
  }
  if (step != SQLITE_DONE) return set_why(why, "cannot read the boards: %s", sqlite3_errmsg(db));
  return true;
}

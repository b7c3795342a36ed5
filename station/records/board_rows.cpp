#include "station/records/board_rows.h"

#include "korvane/why.h"

namespace {

const char SELECT_BOARDS[] =
    "SELECT id, serial, slot, port, station, operator, started, ended, seconds, outcome,"
    " sdram_passes, sdram_failed, flash_passes, flash_failed, diagnosis, diagnosis_json,"
    " korvane_status, message, log, uid, release FROM boards";

std::string text(sqlite3_stmt *s, int column) {
  const unsigned char *t = sqlite3_column_text(s, column);
  return t ? std::string((const char *)t, (size_t)sqlite3_column_bytes(s, column)) : "";
}

board_outcome outcome_of(const std::string &name) {
  for (board_outcome o : {board_outcome::passed, board_outcome::failed, board_outcome::error,
                          board_outcome::interrupted}) {
    if (name == board_outcome_name(o)) return o;
  }
  return board_outcome::error;
}

void read_row(sqlite3_stmt *s, board_record *b) {
  b->id = sqlite3_column_int64(s, 0);
  b->serial = text(s, 1);
  b->slot = text(s, 2);
  b->port = text(s, 3);
  b->station = text(s, 4);
  b->operator_name = text(s, 5);
  b->started = text(s, 6);
  b->ended = text(s, 7);
  b->seconds = sqlite3_column_double(s, 8);
  b->outcome = outcome_of(text(s, 9));
  b->sdram_passes = sqlite3_column_int(s, 10);
  b->sdram_failed = sqlite3_column_int(s, 11);
  b->flash_passes = sqlite3_column_int(s, 12);
  b->flash_failed = sqlite3_column_int(s, 13);
  b->diagnosis = text(s, 14);
  b->diagnosis_json = text(s, 15);
  b->korvane_status = sqlite3_column_type(s, 16) == SQLITE_NULL ? -1 : sqlite3_column_int(s, 16);
  b->message = text(s, 17);
  b->log = text(s, 18);
  b->uid = text(s, 19);
  b->release = text(s, 20);
}

bool read_faults(sqlite3_stmt *faults, board_record *b) {
  sqlite3_bind_int64(faults, 1, b->id);
  int step;
  while ((step = sqlite3_step(faults)) == SQLITE_ROW)
    b->faults.push_back({text(faults, 0), text(faults, 1), text(faults, 2)});
  sqlite3_reset(faults);
  return step == SQLITE_DONE;
}

struct statements {
  sqlite3_stmt *boards = nullptr, *faults = nullptr;
  ~statements() {
    sqlite3_finalize(boards);
    sqlite3_finalize(faults);
  }
};

bool prepare(sqlite3 *db, const std::string &where, statements *st, std::string *why) {
  std::string sql = SELECT_BOARDS + where;
  bool ok = sqlite3_prepare_v2(db, sql.c_str(), -1, &st->boards, nullptr) == SQLITE_OK &&
            sqlite3_prepare_v2(db,
                               "SELECT test, kind, words FROM board_faults WHERE board_id = ?1"
                               " ORDER BY rowid",
                               -1, &st->faults, nullptr) == SQLITE_OK;
  return ok || set_why(why, "cannot read the boards: %s", sqlite3_errmsg(db));
}

}  // namespace

bool board_read(sqlite3 *db, long long id, board_record *out, std::string *why) {
  statements st;
  if (!prepare(db, " WHERE id = ?1", &st, why)) return false;
  sqlite3_bind_int64(st.boards, 1, id);
  int step = sqlite3_step(st.boards);
  if (step == SQLITE_DONE) return set_why(why, "no board %lld", id);
  *out = board_record();
  if (step != SQLITE_ROW || (read_row(st.boards, out), !read_faults(st.faults, out)))
    return set_why(why, "cannot read board %lld: %s", id, sqlite3_errmsg(db));
  return true;
}

bool board_rows_each(sqlite3 *db, const std::string &since,
                     const std::function<bool(const board_record &)> &each, std::string *why) {
  statements st;
  if (!prepare(db, since.empty() ? " ORDER BY id" : " WHERE started >= ?1 ORDER BY id", &st, why))
    return false;
  if (!since.empty()) sqlite3_bind_text(st.boards, 1, since.c_str(), -1, SQLITE_TRANSIENT);
  int step;
  while ((step = sqlite3_step(st.boards)) == SQLITE_ROW) {
    board_record b;
    read_row(st.boards, &b);
    if (!read_faults(st.faults, &b)) break;
    if (!each(b)) return true;
  }
  if (step != SQLITE_DONE) return set_why(why, "cannot read the boards: %s", sqlite3_errmsg(db));
  return true;
}

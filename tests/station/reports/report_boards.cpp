#include "report_boards.h"

#include <sqlite3.h>

#include "station/records/board_row.h"
#include "test_files.h"

namespace {

bool fail(sqlite3 *db, std::string *why) {
  *why = sqlite3_errmsg(db);
  sqlite3_close(db);
  return false;
}

}  // namespace

bool write_board_database(const std::string &path, const std::vector<report_board> &boards,
                          std::string *why) {
  std::string schema = board_tables_sql(board_tables()) + read_file(BOARD_SCHEMA);
  if (schema.empty()) {
    *why = "cannot read " BOARD_SCHEMA;
    return false;
  }
  sqlite3 *db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) return fail(db, why);
  if (sqlite3_exec(db, schema.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK ||
      sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
    return fail(db, why);
  sqlite3_stmt *board = nullptr, *fault = nullptr;
  if (sqlite3_prepare_v2(
          db,
          "INSERT INTO boards (serial, slot, port, station, started, ended, seconds, outcome,"
          " sdram_passes, sdram_failed, flash_passes, flash_failed, diagnosis_json, log, message)"
          " VALUES (?1, ?2, '/dev/pts/' || ?2, ?3, ?4,"
          " strftime('%Y-%m-%dT%H:%M:%SZ', ?4, '+' || ?5 || ' seconds'), ?5, ?6,"
          " 1, ?6 = 'failed', 1, 0, ?8, ?9, CASE WHEN ?6 = 'error' THEN 'port lost' END)",
          -1, &board, nullptr) != SQLITE_OK ||
      sqlite3_prepare_v2(db, "INSERT INTO board_faults VALUES (?, ?, ?, ?)", -1, &fault, nullptr) !=
          SQLITE_OK)
    return fail(db, why);
  bool ok = true;
  for (const report_board &b : boards) {
    sqlite3_reset(board);
    if (b.serial) {
      sqlite3_bind_text(board, 1, b.serial, -1, SQLITE_TRANSIENT);
    } else {
      sqlite3_bind_null(board, 1);
    }
    sqlite3_bind_text(board, 2, b.slot.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(board, 3, b.station.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(board, 4, b.started.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_double(board, 5, b.seconds);
    sqlite3_bind_text(board, 6, b.outcome.c_str(), -1, SQLITE_TRANSIENT);
    if (b.diagnosis_json.empty()) {
      sqlite3_bind_null(board, 8);
    } else {
      sqlite3_bind_text(board, 8, b.diagnosis_json.c_str(), -1, SQLITE_TRANSIENT);
    }
    sqlite3_bind_text(board, 9, b.log.c_str(), -1, SQLITE_TRANSIENT);
    ok = ok && sqlite3_step(board) == SQLITE_DONE;
    long long id = sqlite3_last_insert_rowid(db);
    for (const report_fault &f : b.faults) {
      sqlite3_reset(fault);
      sqlite3_bind_int64(fault, 1, id);
      sqlite3_bind_text(fault, 2, f.test.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(fault, 3, f.kind.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(fault, 4, f.words.c_str(), -1, SQLITE_TRANSIENT);
      ok = ok && sqlite3_step(fault) == SQLITE_DONE;
    }
  }
  sqlite3_finalize(board);
  sqlite3_finalize(fault);
  if (!ok || sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
    return fail(db, why);
  sqlite3_close(db);
  return true;
}

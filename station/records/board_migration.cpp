#include "station/records/board_migration.h"

#include <vector>

#include "korvane/why.h"
#include "station/records/board_row.h"
#include "station/records/board_uid.h"

namespace {

// The columns a release added to `boards`, in the order it added them.
const char *const ADDED_COLUMNS[] = {"uid", "release", "attempts_checked"};

bool fail(sqlite3 *db, std::string *why) {
  return set_why(why, "cannot bring the database up to date: %s", sqlite3_errmsg(db));
}

bool exec(sqlite3 *db, const char *sql, std::string *why) {
  return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK || fail(db, why);
}

bool has_column(sqlite3 *db, const char *name) {
  sqlite3_stmt *s = nullptr;
  bool found = false;
  if (sqlite3_prepare_v2(db, "SELECT 1 FROM pragma_table_info('boards') WHERE name = ?1", -1, &s,
                         nullptr) == SQLITE_OK) {
    sqlite3_bind_text(s, 1, name, -1, SQLITE_STATIC);
    found = sqlite3_step(s) == SQLITE_ROW;
  }
  sqlite3_finalize(s);
  return found;
}

// Gives every row without a uid a fresh one.
bool fill_uids(sqlite3 *db, std::string *why) {
  sqlite3_stmt *pick = nullptr, *set = nullptr;
  bool ok = sqlite3_prepare_v2(db, "SELECT id FROM boards WHERE uid IS NULL", -1, &pick, nullptr) ==
                SQLITE_OK &&
            sqlite3_prepare_v2(db, "UPDATE boards SET uid = ?1 WHERE id = ?2", -1, &set, nullptr) ==
                SQLITE_OK;
  std::vector<long long> ids;
  while (ok && sqlite3_step(pick) == SQLITE_ROW) ids.push_back(sqlite3_column_int64(pick, 0));
  for (long long id : ids) {
    if (!ok) break;
    std::string uid = board_new_uid();
    sqlite3_bind_text(set, 1, uid.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int64(set, 2, id);
    ok = sqlite3_step(set) == SQLITE_DONE;
    sqlite3_reset(set);
  }
  if (!ok) fail(db, why);
  sqlite3_finalize(pick);
  sqlite3_finalize(set);
  return ok;
}

}  // namespace

bool board_columns_add(sqlite3 *db, std::string *why) {
  bool ok = true;
  for (const char *column : ADDED_COLUMNS) {
    if (ok && !has_column(db, column))
      ok = exec(db, ("ALTER TABLE boards ADD COLUMN " + board_column_sql(column)).c_str(), why);
  }
  return ok;
}

bool board_schema_migrate(sqlite3 *db, std::string *why) {
  if (!exec(db, "BEGIN IMMEDIATE", why)) return false;
  bool ok = board_columns_add(db, why) && fill_uids(db, why) &&
            exec(db, "CREATE UNIQUE INDEX IF NOT EXISTS boards_by_uid ON boards(uid)", why) &&
            exec(db, "COMMIT", why);
  if (!ok) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  return ok;
}

bool board_schema_view(sqlite3 *db, std::string *why) {
  std::string missing;
  for (const char *column : ADDED_COLUMNS) {
    if (!has_column(db, column)) missing += std::string(", NULL AS ") + column;
  }
  if (missing.empty()) return true;
  std::string view = "CREATE TEMP VIEW boards AS SELECT *" + missing + " FROM main.boards";
  return exec(db, view.c_str(), why);
}

#include "station/reports/report_db.h"

#include "station/records/station_database.h"

namespace {

bool sqlite_rows(sqlite3 *db, const std::string &sql, const std::vector<std::string> &params,
                 const report_row_fn &row, std::string *why) {
  db_statement s = db_prepare(db, sql, why);
  if (!s) return false;
  for (size_t i = 0; i < params.size(); ++i) db_bind_text(s.get(), int(i) + 1, params[i]);
  int rc;
  while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) row(row_view{s.get(), nullptr});
  return rc == SQLITE_DONE || db_fail(db, why);
}

}  // namespace

report_db report_db_sqlite(sqlite3 *db) {
  return
      [db](const std::string &sql, const std::vector<std::string> &params, const report_row_fn &row,
           std::string *why) { return sqlite_rows(db, sql, params, row, why); };
}

bool report_db_open_file(const std::string &path, report_db *out, std::string *why) {
  db_handle opened = db_open(path, db_access::read_only, why);
  // A read transaction holds one snapshot until the connection closes.
  if (!opened || !db_exec(opened.get(), "BEGIN", why)) return false;
  std::shared_ptr<sqlite3> db(opened.release(), db_closer());
  *out = [db](const std::string &sql, const std::vector<std::string> &params,
              const report_row_fn &row,
              std::string *why) { return sqlite_rows(db.get(), sql, params, row, why); };
  return true;
}

bool report_db_rows(const report_db &db, const std::string &sql,
                    const std::vector<std::string> &params, const report_row_fn &row,
                    std::string *why) {
  return db(sql, params, row, why);
}

#include "database_rows.h"

#include <sqlite3.h>

std::vector<std::string> database_rows(const std::string &db_path, const std::string &sql) {
  sqlite3 *db = nullptr;
  std::vector<std::string> rows;
  if (sqlite3_open_v2(db_path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return {"cannot open " + db_path};
  }
  sqlite3_stmt *s = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) {
    rows.push_back(sqlite3_errmsg(db));
  }
  while (s && sqlite3_step(s) == SQLITE_ROW) {
    std::string row;
    for (int i = 0; i < sqlite3_column_count(s); i++) {
      const unsigned char *text = sqlite3_column_text(s, i);
      row += std::string(i ? "|" : "") + (text ? (const char *)text : "NULL");
    }
    rows.push_back(row);
  }
  sqlite3_finalize(s);
  sqlite3_close(db);
  return rows;
}

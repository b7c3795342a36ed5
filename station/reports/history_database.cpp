#include "station/reports/history_database.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "korvane/why.h"

sqlite3 *history_database_open(const std::string &path, std::string *why) {
  // SQLite's own message for a missing file says only that it cannot open
  // it; the system's reason tells the user which of the causes it is.
  FILE *f = fopen(path.c_str(), "rb");
  if (!f) {
    set_why(why, "%s", strerror(errno));
    return nullptr;
  }
  fclose(f);
  struct stat st = {};
  if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    set_why(why, "%s", strerror(EISDIR));
    return nullptr;
  }
  sqlite3 *db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    set_why(why, "%s", db ? sqlite3_errmsg(db) : "out of memory");
    sqlite3_close(db);
    return nullptr;
  }
  // A station still writing holds the database for a moment at a time.
  sqlite3_busy_timeout(db, 2000);
  sqlite3_stmt *s = nullptr;
  const char *probe =
      "SELECT id, serial, slot, station, started, ended, seconds, outcome FROM boards "
      "LIMIT 0";
  const char *faults = "SELECT board_id, test, kind, words FROM board_faults LIMIT 0";
  for (const char *sql : {probe, faults}) {
    if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) != SQLITE_OK) {
      set_why(why, "not a station database: %s", sqlite3_errmsg(db));
      sqlite3_finalize(s);
      sqlite3_close(db);
      return nullptr;
    }
    sqlite3_finalize(s);
  }
  return db;
}

sqlite3_stmt *history_prepare(sqlite3 *db, const char *sql, std::string *why) {
  sqlite3_stmt *s = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) != SQLITE_OK) {
    set_why(why, "%s", sqlite3_errmsg(db));
    sqlite3_finalize(s);
    return nullptr;
  }
  return s;
}

std::string column_text(sqlite3_stmt *s, int column) {
  const unsigned char *text = sqlite3_column_text(s, column);
  return text ? std::string(reinterpret_cast<const char *>(text),
                            size_t(sqlite3_column_bytes(s, column)))
              : std::string();
}

sqlite3_stmt *history_prepare_faults(sqlite3 *db, std::string *why) {
  return history_prepare(db, "SELECT words FROM board_faults WHERE board_id = ? ORDER BY rowid",
                         why);
}

bool board_fault_words(sqlite3_stmt *faults, long long id, std::vector<std::string> *words) {
  sqlite3_reset(faults);
  sqlite3_bind_int64(faults, 1, id);
  int rc;
  while ((rc = sqlite3_step(faults)) == SQLITE_ROW) words->push_back(column_text(faults, 0));
  return rc == SQLITE_DONE;
}

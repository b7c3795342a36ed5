// A station's database made by the release before records carried a uid:
// the station opens it and brings it up to date, each old row with a uid of
// its own; a report reads it, untouched, before that.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include "database_rows.h"
#include "station/records/station_database.h"
#include "station/records/station_db.h"
#include "test_files.h"

namespace {

// The boards table as that release made it.
const char OLD_SCHEMA[] =
    "CREATE TABLE boards (id INTEGER PRIMARY KEY, serial TEXT, slot TEXT NOT NULL,"
    " port TEXT NOT NULL, station TEXT NOT NULL, operator TEXT, started TEXT NOT NULL,"
    " ended TEXT NOT NULL, seconds REAL NOT NULL, outcome TEXT NOT NULL,"
    " sdram_passes INTEGER NOT NULL DEFAULT 0, sdram_failed INTEGER NOT NULL DEFAULT 0,"
    " flash_passes INTEGER NOT NULL DEFAULT 0, flash_failed INTEGER NOT NULL DEFAULT 0,"
    " diagnosis TEXT, diagnosis_json TEXT, korvane_status INTEGER, message TEXT, log TEXT);"
    "CREATE TABLE board_faults (board_id INTEGER NOT NULL, test TEXT NOT NULL,"
    " kind TEXT NOT NULL, words TEXT NOT NULL);"
    "INSERT INTO boards (serial, slot, port, station, started, ended, seconds, outcome) VALUES"
    " ('S1', 'A', 'p', 'st', '2026-12-01T00:00:00Z', '2026-12-01T00:01:00Z', 60, 'passed'),"
    " ('S2', 'A', 'p', 'st', '2026-12-01T00:02:00Z', '2026-12-01T00:03:00Z', 60, 'failed');";

TEST(BoardMigration, OldRowsGetUidsAndReadersSeeNullsMeanwhile) {
  std::string dir = temp_dir("migration");
  std::string path = dir + "/old.db";
  sqlite3 *raw = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open(path.c_str(), &raw));
  ASSERT_EQ(SQLITE_OK, sqlite3_exec(raw, OLD_SCHEMA, nullptr, nullptr, nullptr));
  sqlite3_close(raw);

  std::string why;
  db_handle reader = db_open(path, db_access::read_only, &why);
  ASSERT_TRUE(reader) << why;
  db_statement read = db_prepare(reader.get(), "SELECT serial, uid FROM boards ORDER BY id", &why);
  ASSERT_TRUE(read) << why;
  std::vector<std::string> seen;
  while (sqlite3_step(read.get()) == SQLITE_ROW)
    seen.push_back(db_text(read.get(), 0) + "|" + db_text(read.get(), 1));
  EXPECT_EQ(std::vector<std::string>({"S1|", "S2|"}), seen);
  read.reset();
  reader.reset();

  station_db *db = station_db_open(path, &why);
  ASSERT_NE(nullptr, db) << why;
  board_record b;
  b.serial = "S3";
  b.slot = "A";
  b.port = "p";
  b.station = "st";
  b.started = b.ended = "2026-12-02T00:00:00Z";
  ASSERT_TRUE(station_db_commit(db, &b, &why)) << why;
  station_db_close(db);
  EXPECT_EQ(std::vector<std::string>({"3|3|1"}),
            database_rows(path,
                          "SELECT count(*), count(DISTINCT uid), count(release)"
                          " FROM boards WHERE length(uid) = 36"));
  remove_tree(dir);
}

}  // namespace

// Records committed off the station's loop when the database refuses them
// for a while: another program's write lock, a full disk (a file size limit
// the database's pages cannot fit), the database file deleted. Every board
// is in the database afterwards, whether the database mends during the run
// or only by the next start.
#include <gtest/gtest.h>

#include <signal.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "database_rows.h"
#include "station/records/record_committer.h"
#include "station/records/record_journal.h"
#include "station/records/station_db.h"
#include "test_files.h"

namespace {

board_record board_of(const std::string &serial) {
  board_record b;
  b.serial = serial;
  b.slot = "A";
  b.port = "/dev/pts/9";
  b.station = "bench";
  b.started = "2026-12-09T11:22:12Z";
  b.ended = "2026-12-09T11:22:20Z";
  b.outcome = board_outcome::failed;
  b.sdram_passes = b.sdram_failed = 1;
  b.log = "/logs/" + serial + ".log";
  b.faults = {{"sdram", "data_stuck", "data line 5 stuck at 1"}};
  return b;
}

class RecordCommitter : public ::testing::Test {
 public:
  std::string dir, path, journal;
  sqlite3 *other = nullptr;  // another program's connection
  rlimit file_size{};

  void SetUp() override {
    dir = temp_dir("record-committer");
    ASSERT_NE("", dir);
    path = dir + "/station.db";
    journal = journal_folder(dir + "/logs");
    getrlimit(RLIMIT_FSIZE, &file_size);
    signal(SIGXFSZ, SIG_IGN);
  }
  void TearDown() override {
    setrlimit(RLIMIT_FSIZE, &file_size);
    if (other) sqlite3_close(other);
    remove_tree(dir);
  }

  record_committer *open_committer() {
    std::string why;
    station_db *db = station_db_open(path, &why);
    EXPECT_TRUE(db) << why;
    if (!db) return nullptr;
    // Another program's lock is not waited for: the test drives the retries.
    station_db_busy_wait(db, 0);
    return committer_open(db, path, journal);
  }

  std::vector<std::string> serials() {
    return database_rows(path, "SELECT serial FROM boards ORDER BY id");
  }
  size_t journaled() {
    std::string why;
    return journal_read(journal, &why).size();
  }
};

struct failure_case {
  const char *name;
  std::function<void(RecordCommitter *)> fail, mend;
  const char *problem;  // in the committer's reason
};

TEST_F(RecordCommitter, RecordsRefusedWaitInTheJournalUntilTheDatabaseTakesThem) {
  const failure_case cases[] = {
      {"another program's write lock",
       [](RecordCommitter *t) {
         ASSERT_EQ(SQLITE_OK, sqlite3_open(t->path.c_str(), &t->other));
         ASSERT_EQ(SQLITE_OK, sqlite3_exec(t->other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr));
       },
       [](RecordCommitter *t) {
         sqlite3_exec(t->other, "ROLLBACK", nullptr, nullptr, nullptr);
         sqlite3_close(t->other);
         t->other = nullptr;
       },
       "locked"},
      {"a full disk",
       [](RecordCommitter *t) {
         rlimit small = t->file_size;
         small.rlim_cur = 2048;  // a record fits, a page of the database does not
         setrlimit(RLIMIT_FSIZE, &small);
       },
       [](RecordCommitter *t) { setrlimit(RLIMIT_FSIZE, &t->file_size); }, "cannot record"},
      {"the database file deleted",
       [](RecordCommitter *t) { ASSERT_EQ(0, unlink(t->path.c_str())); },
       // A database put back in its place is the one written from then on.
       [](RecordCommitter *t) {
         std::string why;
         station_db *fresh = station_db_open(t->path, &why);
         ASSERT_TRUE(fresh) << why;
         station_db_close(fresh);
       },
       "was deleted under the station"},
  };
  for (const failure_case &c : cases) {
    for (bool mended_in_run : {true, false}) {
      SCOPED_TRACE(std::string(c.name) + (mended_in_run ? ", mended in the run" : ", next start"));
      remove_tree(dir);
      dir = temp_dir("record-committer");
      path = dir + "/station.db";
      journal = journal_folder(dir + "/logs");
      record_committer *rc = open_committer();
      ASSERT_TRUE(rc);
      committer_add(rc, board_of("SN-1"));
      committer_try(rc);
      c.fail(this);
      long second = committer_add(rc, board_of("SN-2"));
      committer_add(rc, board_of("SN-3"));
      committer_try(rc);
      committer_news news = committer_take(rc);
      EXPECT_EQ(2u, news.waiting);
      EXPECT_NE(std::string::npos, news.problem.find(c.problem)) << news.problem;
      EXPECT_EQ("", news.journal_problem);
      ASSERT_EQ(1u, news.committed.size());
      EXPECT_EQ("SN-1", news.committed[0].board.serial);
      EXPECT_EQ(2u, journaled());

      if (mended_in_run) {
        c.mend(this);
        committer_try(rc);
        news = committer_take(rc);
        EXPECT_EQ(0u, news.waiting);
        EXPECT_EQ("", news.problem);
        ASSERT_EQ(2u, news.committed.size());
        EXPECT_EQ(second, news.committed[0].ticket);
        EXPECT_LT(0, news.committed[0].board.id);
      }
      committer_news last;
      std::vector<board_record> left = committer_close(rc, &last);
      EXPECT_EQ(mended_in_run ? 0u : 2u, left.size());
      if (!mended_in_run) {
        c.mend(this);
        // The next start commits what the journal holds, once.
        rc = open_committer();
        ASSERT_TRUE(rc);
        committer_try(rc);
        EXPECT_EQ(2u, committer_take(rc).committed.size());
        committer_close(rc, &last);
      }
      std::vector<std::string> expected = {"SN-1", "SN-2", "SN-3"};
      if (std::string(c.name) == "the database file deleted") expected = {"SN-2", "SN-3"};
      EXPECT_EQ(expected, serials());
      EXPECT_EQ(0u, journaled());
    }
  }
}

// A station that died between a commit and the journal's tidying: its
// record is not committed twice.
TEST_F(RecordCommitter, JournalOfARecordCommittedAlreadyIsOnlyTidied) {
  record_committer *rc = open_committer();
  ASSERT_TRUE(rc);
  committer_add(rc, board_of("SN-1"));
  committer_try(rc);
  committer_news last;
  committer_close(rc, &last);
  std::string entry, why;
  ASSERT_TRUE(journal_write(journal, path, board_of("SN-1"), &entry, &why)) << why;
  rc = open_committer();
  committer_try(rc);
  committer_close(rc, &last);
  EXPECT_EQ(std::vector<std::string>({"SN-1"}), serials());
  EXPECT_EQ(0u, journaled());
}

}  // namespace

namespace {

// Two stations may share a logs folder: a start takes up only what a
// station that has ended left for its own database.
TEST_F(RecordCommitter, AStartTakesUpOnlyItsOwnLeftOvers) {
  std::string entry, why;
  ASSERT_TRUE(journal_write(journal, path, board_of("MINE"), &entry, &why)) << why;
  ASSERT_TRUE(journal_write(journal, dir + "/other.db", board_of("OTHER-DB"), &entry, &why));
  ASSERT_TRUE(journal_write(journal, path, board_of("RUNNING"), &entry, &why));
  // As a station still running (this test's parent) would have left it.
  nlohmann::json doc = nlohmann::json::parse(read_file(entry));
  doc["journal_writer"] = (long)getppid();
  FILE *f = fopen(entry.c_str(), "w");
  ASSERT_TRUE(f);
  fputs(doc.dump().c_str(), f);
  fclose(f);
  record_committer *rc = open_committer();
  ASSERT_TRUE(rc);
  committer_try(rc);
  committer_news last;
  committer_close(rc, &last);
  EXPECT_EQ(std::vector<std::string>({"MINE"}), serials());
  EXPECT_EQ(2u, journaled());
}

}  // namespace

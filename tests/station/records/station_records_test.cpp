// What a board leaves behind: its row in the database, its faults from the
// diagnosis of its log, and the log itself under a name never reused.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "station/records/board_diagnosis.h"
#include "station/records/board_logs.h"
#include "station/records/failed_attempts.h"
#include "database_rows.h"
#include "korvane_logs.h"
#include "station/records/station_db.h"
#include "test_files.h"

namespace {

void write_text(const std::string &path, const std::string &text) {
  FILE *f = std::fopen(path.c_str(), "wb");
  ASSERT_TRUE(f);
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
}

class StationRecords : public ::testing::Test {
 protected:
  std::string dir;
  void SetUp() override {
    dir = temp_dir("station-records");
    ASSERT_NE("", dir);
  }
  void TearDown() override { remove_tree(dir); }
};

board_record failed_board() {
  board_record b;
  b.serial = "'; DROP TABLE boards; --";
  b.slot = "A";
  b.port = "/dev/pts/9";
  b.station = "bench";
  b.started = "2026-12-09T11:22:12Z";
  b.ended = "2026-12-09T11:22:20Z";
  b.seconds = 8.25;
  b.outcome = board_outcome::failed;
  b.sdram_passes = 1;
  b.sdram_failed = 1;
  b.flash_passes = 1;
  b.korvane_status = 0;
  b.diagnosis = "SDRAM: data line 5 stuck at 1\n";
  b.faults = {{"sdram", "data_stuck", "data line 5 stuck at 1"}};
  return b;
}

TEST_F(StationRecords, BoardAndFaultsCommittedTogetherAsTyped) {
  std::string path = dir + "/station.db";
  std::string why;
  station_db *db = station_db_open(path, &why);
  ASSERT_TRUE(db) << why;
  board_record b = failed_board();
  ASSERT_TRUE(station_db_commit(db, &b, &why)) << why;
  EXPECT_EQ(1, b.id);
  board_record empty;  // no serial, no operator, no korvane status
  empty.slot = "B";
  empty.port = "/dev/pts/8";
  empty.station = "bench";
  empty.started = empty.ended = "2026-12-09T11:22:12Z";
  empty.outcome = board_outcome::interrupted;
  ASSERT_TRUE(station_db_commit(db, &empty, &why)) << why;
  EXPECT_EQ(2, empty.id);
  station_db_close(db);

  EXPECT_EQ(
      std::vector<std::string>(
          {"1|'; DROP TABLE boards; --|A|/dev/pts/9|bench|NULL|2026-12-09T11:22:12Z|"
           "2026-12-09T11:22:20Z|8.25|failed|1|1|1|0|0|NULL",
           "2|NULL|B|/dev/pts/8|bench|NULL|2026-12-09T11:22:12Z|2026-12-09T11:22:12Z|0.0|"
           "interrupted|0|0|0|0|NULL|NULL"}),
      database_rows(path,
                    "SELECT id, serial, slot, port, station, operator, started, ended, seconds,"
                    " outcome, sdram_passes, sdram_failed, flash_passes, flash_failed,"
                    " korvane_status, message FROM boards ORDER BY id"));
  EXPECT_EQ(std::vector<std::string>({"1|sdram|data_stuck|data line 5 stuck at 1"}),
            database_rows(path, "SELECT board_id, test, kind, words FROM board_faults"));
  EXPECT_EQ(std::vector<std::string>({"wal"}), database_rows(path, "PRAGMA journal_mode"));

  // A fault the table refuses (words are NOT NULL) rolls the whole board
  // back: no row without its faults.
  board_record refused = failed_board();
  refused.faults[0].words.clear();
  db = station_db_open(path, &why);
  ASSERT_TRUE(db) << why;
  EXPECT_FALSE(station_db_commit(db, &refused, &why));
  EXPECT_EQ(0u, why.find("cannot record the board: ")) << why;
  EXPECT_EQ(0, refused.id);
  station_db_close(db);
  EXPECT_EQ(std::vector<std::string>({"2"}), database_rows(path, "SELECT COUNT(*) FROM boards"));

  // Opened again, the rows are kept and the ids go on.
  db = station_db_open(path, &why);
  ASSERT_TRUE(db) << why;
  board_record again = failed_board();
  ASSERT_TRUE(station_db_commit(db, &again, &why));
  EXPECT_EQ(3, again.id);
  station_db_close(db);
}

TEST_F(StationRecords, DatabaseThatCannotBeWrittenIsRefusedAtOpen) {
  write_text(dir + "/not.db", std::string(4096, 'x'));
  mkdir((dir + "/folder.db").c_str(), 0755);
  const struct {
    const char *name;
    std::string path;
  } cases[] = {
      {"missing folder", dir + "/missing/station.db"},
      {"a folder", dir + "/folder.db"},
      {"not a database", dir + "/not.db"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    std::string why;
    station_db *db = station_db_open(c.path, &why);
    EXPECT_EQ(nullptr, db);
    station_db_close(db);
    EXPECT_EQ(0u, why.find("cannot open the database " + c.path + ": ")) << why;
  }
}

TEST_F(StationRecords, LogIsNeverOverwritten) {
  std::string why, placed;
  write_text(dir + "/SN1-T.log", "first board");
  write_text(dir + "/SN1-T-2.log", "second board");
  std::string working = working_log_path(dir, "A", 7);
  write_text(working, "third board");
  ASSERT_TRUE(place_board_log(working, dir, "SN1-T", &placed, &why)) << why;
  EXPECT_EQ(dir + "/SN1-T-3.log", placed);
  EXPECT_EQ("third board", read_file(placed));
  EXPECT_EQ("first board", read_file(dir + "/SN1-T.log"));
  EXPECT_EQ("second board", read_file(dir + "/SN1-T-2.log"));
  struct stat st;
  EXPECT_NE(0, stat(working.c_str(), &st)) << "the working file is gone";

  EXPECT_FALSE(place_board_log(dir + "/gone.log", dir, "SN2-T", &placed, &why));
  EXPECT_NE("", why);
}

TEST_F(StationRecords, LogNamesAreSafeFileNames) {
  const struct {
    std::string serial, slot, stem;
  } cases[] = {
      {"SN-1_a.b", "A", "SN-1_a.b-20261209T112212Z"},
      {"", "/dev/ttyUSB0", "slot-_dev_ttyUSB0-20261209T112212Z"},
      {"../../etc/passwd", "A", "_._.._etc_passwd-20261209T112212Z"},
      {".hidden", "A", "_hidden-20261209T112212Z"},
      {"'; DROP TABLE boards; --", "A", "___DROP_TABLE_boards__---20261209T112212Z"},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(c.stem, board_log_stem(c.serial, c.slot, "20261209T112212Z"));
  }
}

TEST_F(StationRecords, LogsFolderMadeOrRefused) {
  std::string why;
  EXPECT_TRUE(logs_folder_ready(dir + "/a/b/logs", &why)) << why;
  write_text(dir + "/file", "x");
  EXPECT_FALSE(logs_folder_ready(dir + "/file", &why));
  EXPECT_EQ(0u, why.find("cannot make the logs folder " + dir + "/file")) << why;
}

TEST_F(StationRecords, DiagnosisNamesEachFault) {
  flash_reading bad_maker = good_flash();
  bad_maker.id[0] = 0;
  const struct {
    const char *name;
    std::string log;
    bool diagnosed;
    std::vector<std::string> faults;  // test|kind|words
  } cases[] = {
      {"sound board",
       traced_sdram_test(sdram_fault_config()) + traced_flash_test(good_flash()),
       true,
       {}},
      {"data line stuck",
       traced_sdram_test(sdram_fault_set({{sdram_fault_kind::data_stuck, 5, 1}})) +
           traced_flash_test(good_flash()),
       true,
       {"sdram|data_stuck|data line 5 stuck at 1"}},
      {"address lines shorted",
       traced_sdram_test(sdram_fault_set({{sdram_fault_kind::addr_short, 3, 7}})),
       true,
       {"sdram|address_short|address lines 3 and 7 shorted"}},
      {"flash maker",
       traced_flash_test(bad_maker),
       true,
       {"flash|maker|maker 0x00 is neither 0x20 nor 0x2c"}},
      {"a pair on one board",
       traced_sdram_test(sdram_fault_set(
           {{sdram_fault_kind::data_stuck, 5, 1}, {sdram_fault_kind::addr_short, 3, 7}})),
       true,
       {"sdram|data_stuck|data line 5 stuck at 1",
        "sdram|address_short|address lines 3 and 7 shorted"}},
      {"a trace that cannot tell two faults apart",
       traced_sdram_test(sdram_fault_set({{sdram_fault_kind::addr_stuck, 4, 0}})),
       true,
       {"sdram|one_of|one of 2 faults: address line 4 stuck at 0; address line 4 stuck at 1"}},
      {"a pair the trace cannot tell from another, worded as the diagnosis words it",
       traced_sdram_test(sdram_fault_set(
           {{sdram_fault_kind::data_short, 1, 8}, {sdram_fault_kind::addr_short_or, 2, 20}})),
       true,
       {"sdram|one_of|one of 2 pairs of faults: data lines 1 and 8 shorted and address lines 2 "
        "and 20 shorted (wired OR); data lines 1 and 8 shorted and address lines 2 and 22 "
        "shorted (wired OR)"}},
      {"a failed pass the log does not let be read",
       traced_sdram_test(sdram_fault_config()) +
           traced_sdram_test(sdram_fault_set({{sdram_fault_kind::data_stuck, 5, 1}}))
               .substr(0, 40) +
           "\n" + traced_flash_test(good_flash()),
       true,
       {"sdram|no_verdict|sound in 1 of 2 passes, 1 unreadable"}},
      {"no korvane log", "hello\n", false, {}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = dir + "/board.log";
    write_text(path, c.log);
    board_record b;
    std::string why;
    EXPECT_EQ(c.diagnosed, diagnose_board_log(path, &b, &why)) << why;
    std::vector<std::string> faults;
    for (const board_fault &f : b.faults) faults.push_back(f.test + "|" + f.kind + "|" + f.words);
    EXPECT_EQ(c.faults, faults);
    EXPECT_NE("", b.diagnosis);
    EXPECT_EQ(c.diagnosed, !b.diagnosis_json.empty());
  }
}

}  // namespace

// The retest limit's reader keeps its statements from one serial to the
// next: each look sees the records committed since, for its own serial.
TEST_F(StationRecords, AttemptsReadAgainForEachSerial) {
  std::string path = dir + "/station.db", why;
  station_db *db = station_db_open(path, &why);
  ASSERT_TRUE(db) << why;
  station_db_keep_outbox(db);
  auto commit = [&](const std::string &serial, board_outcome outcome) {
    board_record b = failed_board();
    b.serial = serial;
    b.outcome = outcome;
    if (outcome != board_outcome::failed) b.faults.clear();
    ASSERT_TRUE(station_db_commit(db, &b, &why)) << why;
  };
  commit("KV-1", board_outcome::failed);
  commit("KV-1", board_outcome::passed);
  commit("KV-2", board_outcome::passed);
  attempts_reader reader;
  ASSERT_TRUE(failed_attempts_open(path, &reader, &why)) << why;
  struct {
    const char *serial, *then_fails;  // a failed board committed after the look
    long long count;
    const char *fault;
  } const looks[] = {
      {"KV-1", "KV-2", 1, "data line 5 stuck at 1"},
      {"KV-2", "KV-1", 1, "data line 5 stuck at 1"},
      {"KV-1", "", 2, "data line 5 stuck at 1"},
      {"KV-3", "", 0, ""},
  };
  for (const auto &l : looks) {
    failed_attempts a;
    std::vector<failed_attempt> unsent;
    ASSERT_TRUE(failed_attempts_of(&reader, l.serial, &a, &why)) << why;
    ASSERT_TRUE(failed_attempts_unsent(&reader, l.serial, &unsent, &why)) << why;
    EXPECT_EQ(l.count, a.count) << l.serial;
    EXPECT_EQ(l.fault, a.last_fault) << l.serial;
    EXPECT_EQ((size_t)l.count, unsent.size()) << l.serial;
    if (*l.then_fails) commit(l.then_fails, board_outcome::failed);
  }
  failed_attempts_close(&reader);
  station_db_close(db);
}

// korvane-line report and history over the whole line, on SQLite and on a
// throw-away PostgreSQL: the same records, carried from a station by export
// and import, give the same report to the letter on both engines, and the
// slots to check set each slot against its station's and the line's.
#include <gtest/gtest.h>

#include <deque>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <libpq-fe.h>

#include "child_process.h"
#include "postgres_server.h"
#include "report_boards.h"
#include "test_files.h"

namespace {

const double WAIT_S = 120;

const char ODD_SERIAL[] = "K\t\\N\r\n\\9";

std::deque<std::string> serials;  // what report_board's serials point into

// `boards` boards at a slot, the first `failed` of them failed with data
// line 5 stuck, a minute apart from `minute` on, serials from `first`.
void add_slot(std::vector<report_board> *out, const char *station, const char *slot, int boards,
              int failed, int first, int minute) {
  for (int i = 0; i < boards; ++i) {
    serials.push_back("K" + std::to_string(first + i));
    char started[32];
    int m = minute + i;
    snprintf(started, sizeof started, "2026-12-0%dT%02d:%02d:00Z", 7 + m / 600, 8 + m % 600 / 60,
             m % 60);
    report_board b = {serials.back().c_str(),           station, slot, started, 40.0 + i % 7,
                      i < failed ? "failed" : "passed", {},      "",   ""};
    if (i < failed) b.faults.push_back({"sdram", "data_stuck", "data line 5 stuck at 1"});
    out->push_back(b);
  }
}

// Station A's three slots fail none of 20; station B's two fail 8 of 20
// each: alike within B, far above the line. K0..K3 failed on B 1 and passed
// on B 2 (their retests); B 2's own boards pass.
std::vector<report_board> line_boards() {
  std::vector<report_board> out;
  add_slot(&out, "A", "1", 20, 0, 100, 0);
  add_slot(&out, "A", "2", 20, 0, 200, 0);
  add_slot(&out, "A", "3", 20, 0, 300, 0);
  add_slot(&out, "B", "1", 20, 8, 0, 0);
  add_slot(&out, "B", "2", 20, 8, 400, 0);
  add_slot(&out, "B", "2", 4, 0, 0, 600);
  // A board whose serial and fault hold every character a row's text form
  // escapes; interrupted, so it counts in no slot's rate.
  out.push_back({ODD_SERIAL,
                 "C",
                 "1",
                 "2026-12-07T09:00:00Z",
                 3,
                 "interrupted",
                 {{"sdram", "data_stuck", "back\\slash\ttab\nline \"quoted\""}},
                 "",
                 ""});
  return out;
}

child_result run(const std::vector<std::string> &args) {
  return finish_child(start_child(args, args[0]), args[0], WAIT_S);
}

class LineReport : public ::testing::Test {
 protected:
  std::string dir, export_file;
  postgres_server postgres;

  void SetUp() override {
    dir = temp_dir("line-report");
    std::string why, station = dir + "/station.db";
    ASSERT_TRUE(write_board_database(station, line_boards(), &why)) << why;
    child_result exported = run({STATION_PATH, "export", "--db", station});
    ASSERT_EQ(0, exported.status) << exported.err;
    export_file = dir + "/records.jsonl";
    std::ofstream(export_file) << exported.out;
  }
  void TearDown() override {
    postgres_stop(&postgres);
    remove_tree(dir);
  }
  // The line's databases, each with the station's records imported: the
  // SQLite file, then PostgreSQL's connection string when it can start.
  std::vector<std::string> line_databases() {
    std::vector<std::string> out = {dir + "/line.db"};
    std::string why;
    if (postgres_start(&postgres, &why)) {
      out.push_back(postgres.conninfo);
    } else {
      ADD_FAILURE() << "PostgreSQL: " << why;
    }
    for (const std::string &db : out) {
      child_result imported = run({LINE_PATH, "import", export_file, "--db", db});
      EXPECT_EQ(0, imported.status) << imported.err;
    }
    return out;
  }
};

// Every engine gives the same output to the letter, and in it the slots to
// check set each slot against its station's and the line's.
TEST_F(LineReport, TheSameOnBothEnginesAndSlotsSetAgainstTheLine) {
  std::vector<std::string> dbs = line_databases();
  struct command_case {
    const char *name;
    std::vector<std::string> args;
  } commands[] = {
      {"report", {"report"}},
      {"report --csv", {"report", "--csv"}},
      {"one station since a moment",
       {"report", "--station", "B", "--since", "2026-12-07T08:05:00Z"}},
      {"history", {"history", "K0"}},
      {"history --csv", {"history", "K3", "--csv"}},
      {"history of an odd serial", {"history", ODD_SERIAL, "--csv"}},
  };
  std::map<std::string, std::string> out;
  for (const command_case &c : commands) {
    for (const std::string &db : dbs) {
      std::vector<std::string> args = {LINE_PATH};
      args.insert(args.end(), c.args.begin(), c.args.end());
      args.insert(args.end(), {"--db", db});
      child_result r = run(args);
      EXPECT_EQ(0, r.status) << c.name << ": " << r.err;
      EXPECT_NE("", r.out) << c.name;
      if (db == dbs[0]) out[c.name] = r.out;
      EXPECT_EQ(out[c.name], r.out) << c.name << " on " << db;
    }
  }
  const std::string &report = out["report"];
  size_t start = report.find("Slots to check:\n"), end = report.find("Faults, most");
  ASSERT_NE(std::string::npos, start) << report;
  // B's slots stand out only against the line; B 1 also for the boards that
  // passed on B 2. The p-values are those Python's exact fractions give
  // (slot_checks_test checks the test against them).
  EXPECT_EQ(
      "Slots to check:\n"
      "  B 1: 4 boards failed here and passed on another slot; 8 of 20 boards failed, the "
      "station's other slots 8 of 24 (33.3%), p = 0.44, the line's other slots 8 of 84 (9.5%), "
      "p = 0.0024; most named: data line 5 stuck at 1 (8 boards)\n"
      "  B 2: 8 of 24 boards failed, the station's other slots 8 of 20 (40.0%), p = 0.78, the "
      "line's other slots 8 of 80 (10.0%), p = 0.0098; most named: data line 5 stuck at 1 (8 "
      "boards)\n",
      report.substr(start, end - start));
  for (const char *row :
       {"slot_check,1,B,flag,line-rate+retests\r\n", "slot_check,2,B,line_p,0.0098\r\n"})
    EXPECT_NE(std::string::npos, out["report --csv"].find(row)) << row;
}

TEST_F(LineReport, AnUnreachableServerIsOneLineAndStatus1) {
  child_result r = run({LINE_PATH, "report", "--db", "host=" + dir + " dbname=none user=nobody"});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ(0u, r.err.find("korvane-line: cannot read the database host=")) << r.err;
  EXPECT_EQ(1, std::count(r.err.begin(), r.err.end(), '\n')) << r.err;
  EXPECT_EQ("", r.out);
}

// A PostgreSQL line made before its board_faults had the order they were
// recorded in: the next serve or import numbers them, and a history lists
// a board's faults in that order.
TEST_F(LineReport, AnEarlierPostgresLineGetsItsFaultsOrder) {
  std::string why;
  if (!postgres_start(&postgres, &why)) GTEST_SKIP() << why;
  const std::string &db = postgres.conninfo;
  ASSERT_EQ(0, run({LINE_PATH, "import", export_file, "--db", db}).status);
  PGconn *c = PQconnectdb(db.c_str());
  const char *earlier[] = {
      "ALTER TABLE board_faults DROP COLUMN rowid",
      "INSERT INTO boards (serial, slot, port, station, started, ended, seconds, outcome, uid,"
      " received, content_hash) VALUES ('OLD', '1', 'p', 'A', '2026-12-01T08:00:00Z',"
      " '2026-12-01T08:01:00Z', 60, 'failed', 'old-uid', '2026-12-01T08:01:01Z', 'h')",
      "INSERT INTO board_faults (board_id, test, kind, words) SELECT id, 'sdram', 'data_stuck',"
      " w FROM boards, (VALUES ('first'), ('second'), ('third')) AS v(w) WHERE uid = 'old-uid'"};
  for (const char *sql : earlier) {
    PGresult *r = PQexec(c, sql);
    EXPECT_EQ(PGRES_COMMAND_OK, PQresultStatus(r)) << PQerrorMessage(c);
    PQclear(r);
  }
  PQfinish(c);
  ASSERT_EQ(0, run({LINE_PATH, "import", export_file, "--db", db}).status);
  child_result r = run({LINE_PATH, "history", "OLD", "--db", db});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_NE(std::string::npos, r.out.find("  first; second; third\n")) << r.out;
}

}  // namespace

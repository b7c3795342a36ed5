// The slots to check: the exact test's p against a table Python's standard
// library computes with whole numbers, and the slots flagged over databases
// made for the purpose, through the report's own reading.
#include <cmath>
#include <deque>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "child_process.h"
#include "report_boards.h"
#include "station/reports/bus_lines.h"
#include "station/records/station_database.h"
#include "station/reports/report_query.h"
#include "station/reports/slot_checks.h"
#include "station/reports/slot_checks_format.h"
#include "test_files.h"

namespace {

// The one-sided p as a sum of exact fractions: no logarithm, no rounding
// until the last division.
const char PYTHON_FISHER[] =
    "import sys\n"
    "from fractions import Fraction\n"
    "from math import comb\n"
    "for case in sys.argv[1:]:\n"
    "    total, failures, drawn, hits = map(int, case.split(','))\n"
    "    top = sum(comb(failures, k) * comb(total - failures, drawn - k)\n"
    "              for k in range(hits, min(drawn, failures) + 1))\n"
    "    print(repr(float(Fraction(top, comb(total, drawn)))))\n";

TEST(SlotChecks, FisherAgainstPythonsExactFractions) {
  struct table {
    long long total, failures, drawn, hits;
  } cases[] = {
      {30, 6, 10, 6},            // 6 of 10 among 0 of 20: far below 0.01
      {30, 1, 10, 1},            // 1 of 10 among 0 of 20: a third
      {34, 2, 12, 2},            // 2 of 12 among 0 of 22
      {200, 20, 20, 6},          // 6 of 20 against 14 of 180
      {200, 20, 20, 2},          // just the station's rate
      {200, 20, 20, 0},          // none failed: p is 1
      {2000, 100, 125, 16},      // a slot of 16 at 5% with twice the rate
      {20000, 1667, 1250, 140},  // a week's station, a slot a little high
      {20000, 1667, 1250, 200},  // far out in the tail
  };
  std::vector<std::string> argv = {"/usr/bin/python3", "-c", PYTHON_FISHER};
  for (const table &c : cases)
    argv.push_back(std::to_string(c.total) + "," + std::to_string(c.failures) + "," +
                   std::to_string(c.drawn) + "," + std::to_string(c.hits));
  pid_t pid = start_child(argv, "python3");
  ASSERT_GT(pid, 0);
  child_result r = finish_child(pid, "python3", 120);
  ASSERT_EQ(0, r.status) << r.err;
  std::istringstream lines(r.out);
  for (const table &c : cases) {
    double want = 0;
    ASSERT_TRUE(lines >> want) << r.out;
    double got = fisher_upper_p(c.total, c.failures, c.drawn, c.hits);
    EXPECT_NEAR(want, got, want * 1e-9 + 1e-300)
        << c.total << " " << c.failures << " " << c.drawn << " " << c.hits;
  }
}

// Boards for a table: `boards` at a slot, the first `failed` of them failed
// with data line 5 stuck at 1, serials a prefix and a number counted from
// `from`, a minute apart.
struct slot_boards {
  const char *station, *slot;
  int boards, failed;
  const char *serials;  // nullptr: none
  int from;
  int minute;  // the first board's
};

std::deque<std::string> kept_serials;  // what report_board's serials point into

std::vector<report_board> boards_of(const std::vector<slot_boards> &slots) {
  std::vector<report_board> out;
  for (const slot_boards &s : slots) {
    for (int i = 0; i < s.boards; ++i) {
      const char *serial = nullptr;
      if (s.serials) {
        kept_serials.push_back(std::string(s.serials) + std::to_string(s.from + i));
        serial = kept_serials.back().c_str();
      }
      int minute = s.minute + i;
      char started[32];
      snprintf(started, sizeof started, "2026-12-08T%02d:%02d:00Z", 8 + minute / 60, minute % 60);
      bool failed = i < s.failed;
      report_board b = {serial, s.station, s.slot, started, 40, failed ? "failed" : "passed",
                        {},     "",        ""};
      if (failed) b.faults.push_back({"sdram", "data_stuck", "data line 5 stuck at 1"});
      out.push_back(b);
    }
  }
  return out;
}

station_report gather(const std::vector<report_board> &boards) {
  std::string dir = temp_dir("slot_checks"), path = dir + "/station.db", why;
  station_report r;
  EXPECT_TRUE(write_board_database(path, boards, &why)) << why;
  db_handle db = db_open(path, db_access::read_only, &why);
  EXPECT_TRUE(db) << why;
  if (db) {
    EXPECT_TRUE(report_gather(report_db_sqlite(db.get()), report_filter(), false, &r, &why)) << why;
  }
  remove_tree(dir);
  return r;
}

const char HEAD[] = "Slots to check:\n";

TEST(SlotChecks, FlaggedOverDatabasesMadeForThePurpose) {
  struct table {
    const char *name;
    std::vector<slot_boards> slots;
    std::string section;  // after HEAD
    std::string flags;    // each slot's data-flag on the page's chart, in order
  } cases[] = {
      {"6 of 10 among 0 of 20 stands out",
       {{"A", "1", 10, 6, nullptr, 0, 0},
        {"A", "2", 10, 0, nullptr, 0, 0},
        {"A", "3", 10, 0, nullptr, 0, 0}},
       "  A 1: 6 of 10 boards failed, the station's other slots 0 of 20 (0.0%), p = 0.00035; "
       "most named: data line 5 stuck at 1 (6 boards)\n",
       "rate;;;"},
      {"1 of 10 among 0 of 20 is chance",
       {{"A", "1", 10, 1, nullptr, 0, 0},
        {"A", "2", 10, 0, nullptr, 0, 0},
        {"A", "3", 10, 0, nullptr, 0, 0}},
       "  none stands out (3 slots)\n",
       ";;;"},
      {"failed here, passed elsewhere, twice: a retest on the same slot does not count",
       {{"A", "1", 12, 3, "S", 0, 0},
        {"A", "2", 2, 0, "S", 0, 100},  // S0 and S1 pass on slot 2
        {"A", "1", 1, 0, "S", 2, 200},  // S2 passes on slot 1
        {"A", "2", 20, 0, nullptr, 0, 300}},
       "  A 1: 2 boards failed here and passed on another slot; 3 of 13 boards failed, the "
       "station's other slots 0 of 22 (0.0%), p = 0.044; most named: data line 5 stuck at 1 "
       "(3 boards)\n",
       "retests;;"},
      {"one move is not enough",
       {{"A", "1", 12, 1, "S", 0, 0},
        {"A", "2", 1, 0, "S", 0, 100},
        {"A", "2", 20, 0, nullptr, 0, 300}},
       "  none stands out (2 slots)\n",
       ";;"},
      {"too few boards on the slot, or on the station's others",
       {{"A", "1", 4, 4, nullptr, 0, 0},
        {"A", "2", 20, 0, nullptr, 0, 0},
        {"B", "1", 30, 20, nullptr, 0, 0}},
       "  none stands out (3 slots)\n"
       "  left out, under 10 boards here or on the station's other slots: A 1 (4 boards), "
       "A 2 (20 boards), B 1 (30 boards)\n",
       "left-out;left-out;left-out;"},
  };
  for (const table &c : cases) {
    station_report r = gather(boards_of(c.slots));
    EXPECT_EQ(HEAD + c.section, slot_checks_text(r.checks)) << c.name;
    // The page's chart marks the flagged slots and those left out.
    std::string chart = slot_checks_html(r.checks, r.slots), flags;
    for (size_t at = chart.find("data-flag=\""); at != std::string::npos;
         at = chart.find("data-flag=\"", at + 1))
      flags += chart.substr(at + 11, chart.find('"', at + 11) - at - 11) + ";";
    EXPECT_EQ(c.flags, flags) << c.name;
  }
}

TEST(SlotChecks, TheBusLinesAcrossBoards) {
  const report_fault D5 = {"sdram", "data_stuck", "data line 5 stuck at 1"};
  const report_fault D5_6 = {"sdram", "data_short", "data lines 5 and 6 shorted (wired OR)"};
  const report_fault A25 = {"sdram", "address_stuck", "address line 25 stuck at 0"};
  const report_fault SET = {"sdram", "one_of", "one of 2 faults: data line 7 stuck at 1; x"};
  std::vector<report_board> boards = {
      {"S1", "A", "1", "2026-12-08T09:00:00Z", 40, "failed", {D5, D5_6}, "", ""},
      {"S2", "A", "1", "2026-12-08T09:01:00Z", 40, "failed", {D5}, "", ""},
      {"S3", "A", "1", "2026-12-08T09:02:00Z", 40, "failed", {A25, SET}, "", ""},
  };
  bus_line_counts b = gather(boards).bus_lines;
  struct table {
    bool data;
    int line;
    long long boards, stuck, shorted;
  } lines[] = {{true, 5, 2, 2, 1}, {true, 6, 1, 0, 1}, {true, 7, 0, 0, 0}, {false, 25, 1, 1, 0}};
  EXPECT_EQ(3, b.boards);
  for (const table &l : lines) {
    const bus_line_count &c = l.data ? b.data[l.line] : b.address[l.line];
    EXPECT_EQ(l.boards, c.boards) << l.line;
    EXPECT_EQ(l.stuck, c.stuck) << l.line;
    EXPECT_EQ(l.shorted, c.shorted) << l.line;
  }
}

// Over the line, a slot is also set against every other slot of the line:
// the flags and those left out, as the CSV gives them.
TEST(SlotChecks, AgainstTheLinesOtherSlots) {
  struct table {
    const char *name;
    std::vector<slot_tally> slots;
    std::string rows;  // the slot_check rows' flags and those left out
  } cases[] = {
      {"one station: nothing more than the station's test",
       {{"A", "1", 10, 6, 0, "", 0}, {"A", "2", 20, 0, 0, "", 0}},
       "A 1 flag rate;"},
      {"a slot alone at its station is set against the line",
       {{"A", "1", 10, 6, 0, "", 0}, {"B", "1", 20, 0, 0, "", 0}, {"B", "2", 20, 0, 0, "", 0}},
       "A 1 flag line-rate;"},
      {"a station whose slots all fail stands out against the line alone",
       {{"A", "1", 20, 8, 0, "", 0},
        {"A", "2", 20, 8, 0, "", 0},
        {"B", "1", 30, 0, 0, "", 0},
        {"B", "2", 30, 0, 0, "", 0}},
       "A 1 flag line-rate;A 2 flag line-rate;"},
      {"too few boards on the slot for either",
       {{"A", "1", 9, 9, 0, "", 0}, {"A", "2", 20, 0, 0, "", 0}, {"B", "1", 20, 0, 0, "", 0}},
       "A 1 left out;"},
  };
  for (const table &c : cases) {
    std::istringstream csv(slot_checks_csv(check_slots(c.slots, true)));
    std::string line, rows;
    while (std::getline(csv, line)) {
      std::vector<std::string> f;
      std::istringstream fields(line.substr(0, line.size() - 1));  // CR LF
      for (std::string field; std::getline(fields, field, ',');) f.push_back(field);
      if (f[0] == "slot_check" && f[3] == "flag") rows += f[2] + " " + f[1] + " flag " + f[4] + ";";
      if (f[0] == "slot_check_left_out") rows += f[2] + " " + f[1] + " left out;";
    }
    EXPECT_EQ(c.rows, rows) << c.name;
  }
}

}  // namespace

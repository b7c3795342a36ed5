// The station's report and history against databases the tests write: the
// figures, the text and CSV forms, and the bounds on dates.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "station/records/station_database.h"
#include "station/reports/csv_row.h"
#include "station/reports/history_format.h"
#include "station/reports/history_query.h"
#include "report_boards.h"
#include "station/reports/report_format.h"
#include "station/reports/report_query.h"
#include "test_files.h"

namespace {

const report_fault DATA5 = {"sdram", "data_stuck", "data line 5 stuck at 1"};
const report_fault DEVICE = {"flash", "device", "device 0x00 is not 0xf1"};

// Two days at station A (slots 1 and 2) and one board at station B: S1
// fails then passes on a retest, S4 ends in error then passes, two boards
// have no serial, S5 is interrupted.
const std::vector<report_board> LINE = {
    {"S1", "A", "1", "2026-12-08T09:00:00Z", 40, "failed", {DATA5}, "", ""},
    {"S2", "A", "2", "2026-12-08T09:10:00Z", 41, "passed", {}, "", ""},
    {"S3", "A", "1", "2026-12-08T09:20:00Z", 45, "failed", {DATA5}, "", ""},
    {"S1", "A", "2", "2026-12-08T10:00:00Z", 42, "passed", {}, "", ""},
    {"S4", "A", "1", "2026-12-09T08:00:00Z", 5, "error", {}, "", ""},
    {"S4", "A", "1", "2026-12-09T08:30:00Z", 43, "passed", {}, "", ""},
    {nullptr, "A", "2", "2026-12-09T09:00:00Z", 50, "failed", {DEVICE}, "", ""},
    {nullptr, "A", "2", "2026-12-09T09:05:00Z", 44, "passed", {}, "", ""},
    {"S5", "A", "1", "2026-12-09T09:10:00Z", 10, "interrupted", {}, "", ""},
    {"S6", "B", "1", "2026-12-09T10:00:00Z", 60, "passed", {}, "", ""},
};

struct database {
  std::string dir, path;
  explicit database(const std::vector<report_board> &boards) {
    dir = temp_dir("report_query");
    path = dir + "/station.db";
    std::string why;
    EXPECT_TRUE(write_board_database(path, boards, &why)) << why;
  }
  ~database() { remove_tree(dir); }
};

station_report gather(const std::string &path, const report_filter &filter) {
  std::string why;
  station_report r;
  db_handle db = db_open(path, db_access::read_only, &why);
  EXPECT_TRUE(db) << why;
  if (!db) return r;
  EXPECT_TRUE(report_gather(report_db_sqlite(db.get()), filter, false, &r, &why)) << why;
  return r;
}

report_filter bounded(const std::string &since, const std::string &until,
                      const std::string &station) {
  report_filter f;
  f.station = station;
  EXPECT_TRUE(since.empty() || report_bound(since, false, &f.since)) << since;
  EXPECT_TRUE(until.empty() || report_bound(until, true, &f.until)) << until;
  return f;
}

TEST(ReportQuery, TheWholeLineInWords) {
  database db(LINE);
  EXPECT_EQ(
      "Boards tested: 10 (passed 5, failed 3, errors 1, interrupted 1)\n"
      "First-pass yield: 42.9% (3 of 7 boards)\n"
      "Final yield: 71.4% (5 of 7 boards)\n"
      "Retested: 2 serials\n"
      "  S1: 2 cycles, first failed, last passed\n"
      "  S4: 2 cycles, first error, last passed\n"
      "Yield per day:\n"
      "  2026-12-08: 4 boards tested, 2 passed, 2 failed, 0 errors, first-pass yield 33.3%, "
      "final yield 66.7%\n"
      "  2026-12-09: 6 boards tested, 3 passed, 1 failed, 1 error, 1 interrupted, first-pass "
      "yield 50.0%, final yield 75.0%\n"
      "Yield per slot:\n"
      "  A 1: 5 boards tested, 1 passed, 2 failed, 1 error, 1 interrupted, first-pass yield 0.0%, "
      "final yield 33.3%\n"
      "  A 2: 4 boards tested, 3 passed, 1 failed, 0 errors, first-pass yield 75.0%, final yield "
      "75.0%\n"
      "  B 1: 1 board tested, 1 passed, 0 failed, 0 errors, first-pass yield 100.0%, final yield "
      "100.0%\n"
      "Slots to check:\n"
      "  none stands out (3 slots)\n"
      "  left out, under 10 boards here or on the station's other slots: A 1 (4 boards), "
      "A 2 (4 boards), B 1 (1 board)\n"
      "Faults, most frequent first:\n"
      "  data line 5 stuck at 1: 2 boards, 67% of failures\n"
      "  flash: device 0x00 is not 0xf1: 1 board, 33% of failures\n"
      "Board time: median 43.0 s, 95th percentile 60.0 s\n"
      "Boards per hour: 4.6 (10 boards over 2.2 hours of running)\n",
      report_text(gather(db.path, report_filter())));
}

// The report sums the database up in SQL; the live views count board by
// board as they end. Both follow board_counts, so the same boards give the
// same figures.
TEST(ReportQuery, FiguresAsTheLiveViewsCountThem) {
  database db(LINE);
  board_counts live;
  unit_tally tally;
  for (const report_board &b : LINE) {
    board_outcome outcome;
    ASSERT_TRUE(board_outcome_from_name(b.outcome, &outcome));
    board_counts_add(&live, &tally, b.serial ? b.serial : "", outcome, true);
  }
  board_counts r = gather(db.path, report_filter()).total;
  const std::pair<long long, long long> same[] = {{live.tested, r.tested},
                                                  {live.passed, r.passed},
                                                  {live.failed, r.failed},
                                                  {live.errors, r.errors},
                                                  {live.interrupted, r.interrupted},
                                                  {live.units, r.units},
                                                  {live.first_passed, r.first_passed},
                                                  {live.final_passed, r.final_passed}};
  for (const auto &figure : same) EXPECT_EQ(figure.first, figure.second);
}

TEST(ReportQuery, FiguresForEachRange) {
  database db(LINE);
  struct range_case {
    const char *name;
    std::string since, until, station;
    long long boards, units, first_passed, final_passed, retested, failed;
    double median;
  } cases[] = {
      {"everything", "", "", "", 10, 7, 3, 5, 2, 3, 43},
      {"the first day", "", "2026-12-08", "", 4, 3, 1, 2, 1, 2, 41},
      {"the second day", "2026-12-09", "", "", 6, 4, 2, 3, 1, 1, 44},
      {"from a moment", "2026-12-09T09:00:00Z", "", "", 4, 3, 2, 2, 0, 1, 50},
      {"up to a moment", "", "2026-12-08T09:10:00Z", "", 2, 2, 1, 1, 0, 1, 40},
      {"one station", "", "", "B", 1, 1, 1, 1, 0, 0, 60},
      {"a station with no boards", "", "", "C", 0, 0, 0, 0, 0, 0, 0},
      {"a range with no boards", "2027-01-01", "", "", 0, 0, 0, 0, 0, 0, 0},
  };
  for (const range_case &c : cases) {
    SCOPED_TRACE(c.name);
    station_report r = gather(db.path, bounded(c.since, c.until, c.station));
    EXPECT_EQ(c.boards, r.total.tested);
    EXPECT_EQ(c.units, r.total.units);
    EXPECT_EQ(c.first_passed, r.total.first_passed);
    EXPECT_EQ(c.final_passed, r.total.final_passed);
    EXPECT_EQ(c.retested, r.retested);
    EXPECT_EQ(c.failed, r.total.failed);
    EXPECT_EQ(c.median, r.median_seconds);
  }
}

TEST(ReportQuery, FaultsMostFrequentFirstAndBounded) {
  std::vector<report_board> boards;
  // Fault n on n boards: the Pareto must come out in reverse order of n,
  // and a board naming the same fault twice counts once.
  const int kinds = int(REPORT_MAX_FAULTS) + 5;
  for (int n = 1; n <= kinds; ++n) {
    for (int b = 0; b < n; ++b) {
      report_fault f = {"sdram", "address_stuck", "fault " + std::to_string(n)};
      boards.push_back({nullptr, "A", "1", "2026-12-08T09:00:00Z", 1, "failed", {f, f}, "", ""});
    }
  }
  database db(boards);
  station_report r = gather(db.path, report_filter());
  ASSERT_EQ(REPORT_MAX_FAULTS, r.faults.size());
  EXPECT_EQ(5, r.other_faults);
  for (size_t i = 0; i < r.faults.size(); ++i) {
    EXPECT_EQ("fault " + std::to_string(kinds - int(i)), r.faults[i].words);
    EXPECT_EQ(kinds - int(i), r.faults[i].boards);
  }
}

TEST(ReportQuery, DatesTakenAndRefused) {
  struct date_case {
    std::string text;
    bool upper, valid;
    std::string bound;
  } cases[] = {
      {"2026-12-09", false, true, "2026-12-09"},
      {"2026-12-09", true, true, "2026-12-09U"},
      {"2026-12-09T11:22:12Z", true, true, "2026-12-09T11:22:12Z"},
      {"2026-13-09", false, false, ""},
      {"2026-12-32", false, false, ""},
      {"2026-12-9", false, false, ""},
      {"2026/12/09", false, false, ""},
      {"2026-12-09T25:00:00Z", false, false, ""},
      {"2026-12-09T11:22:12", false, false, ""},
      {"yesterday", false, false, ""},
      {"", false, false, ""},
  };
  for (const date_case &c : cases) {
    std::string bound;
    EXPECT_EQ(c.valid, report_bound(c.text, c.upper, &bound)) << c.text;
    EXPECT_EQ(c.bound, c.valid ? bound : "") << c.text;
  }
}

// Splits CSV as a spreadsheet reads it: quoted fields, doubled quotes, CR LF
// between rows.
std::vector<std::vector<std::string>> read_csv(const std::string &text) {
  std::vector<std::vector<std::string>> rows(1, std::vector<std::string>(1));
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    std::string &field = rows.back().back();
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      rows.back().emplace_back();
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      rows.emplace_back(1);
      ++i;
    } else {
      field += c;
    }
  }
  rows.pop_back();  // after the last CR LF
  return rows;
}

TEST(ReportQuery, SerialsRoundTripThroughCsv) {
  // A cell a spreadsheet would run as a formula comes out as text: with a
  // quote before it.
  const char *serials[] = {"plain",  "with,comma",  "with \"quotes\"", "\"",
                           ",",      "line\nbreak", "<script>",        "+cmd|calc",
                           "=1+1,2", "-2",          "@SUM(A1)"};
  std::vector<report_board> boards;
  for (const char *s : serials)
    boards.push_back({s, "A", "1", "2026-12-08T09:00:00Z", 1, "failed", {DATA5}, "", "log, one"});
  database db(boards);
  std::string why;
  db_handle handle = db_open(db.path, db_access::read_only, &why);
  ASSERT_TRUE(handle) << why;
  for (const char *s : serials) {
    std::string csv = history_csv_header();
    long long count = 0;
    ASSERT_TRUE(history_cycles(
        report_db_sqlite(handle.get()), s,
        [&csv](const board_record &c) { csv += history_csv_line(c); }, &count, &why))
        << why;
    std::vector<std::vector<std::string>> rows = read_csv(csv);
    ASSERT_EQ(2u, rows.size()) << s;
    ASSERT_EQ(rows[0].size(), rows[1].size()) << s;
    EXPECT_EQ("serial", rows[0][1]);
    EXPECT_EQ(std::string(std::strchr("=+-@", s[0]) ? "'" : "") + s, rows[1][1]);
    EXPECT_EQ("data line 5 stuck at 1", rows[1][14]);
    EXPECT_EQ("log, one", rows[1][15]);
  }
}

TEST(ReportQuery, CsvHoldsTheTextsRows) {
  database db(LINE);
  std::vector<std::vector<std::string>> rows =
      read_csv(report_csv(gather(db.path, report_filter())));
  std::vector<std::string> header = {"section", "name", "station", "measure", "value"};
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(header, rows[0]);
  struct row_case {
    std::vector<std::string> row;
  } expected[] = {
      {{"total", "", "", "boards", "10"}},
      {{"yield", "first_pass", "", "percent", "42.9"}},
      {{"yield", "final", "", "passed", "5"}},
      {{"retested", "S4", "", "first", "error"}},
      {{"day", "2026-12-09", "", "interrupted", "1"}},
      {{"slot", "1", "A", "first_pass_yield_percent", "0.0"}},
      {{"slot", "1", "A", "final_yield_percent", "33.3"}},
      {{"fault", "data line 5 stuck at 1", "", "boards", "2"}},
      {{"fault", "device 0x00 is not 0xf1", "", "test", "flash"}},
      {{"time", "p95", "", "seconds", "60.0"}},
      {{"throughput", "", "", "boards_per_hour", "4.6"}},
  };
  for (const row_case &c : expected) {
    bool found = false;
    for (const std::vector<std::string> &r : rows) found = found || r == c.row;
    EXPECT_TRUE(found) << csv_row(c.row);
  }
  for (const std::vector<std::string> &r : rows) EXPECT_EQ(5u, r.size()) << csv_row(r);
}

TEST(ReportQuery, HistoryOldestFirstInWords) {
  database db(LINE);
  std::string why, text;
  db_handle handle = db_open(db.path, db_access::read_only, &why);
  ASSERT_TRUE(handle) << why;
  long long count = 0;
  ASSERT_TRUE(history_cycles(
      report_db_sqlite(handle.get()), "S4",
      [&text](const board_record &c) { text += history_text_line(c); }, &count, &why));
  EXPECT_EQ(2, count);
  EXPECT_EQ(
      "2026-12-09T08:00:00Z  error  slot 1 at A  5.0 s  SDRAM 0 of 1 failed, flash 0 of 1 "
      "failed: port lost\n"
      "2026-12-09T08:30:00Z  passed  slot 1 at A  43.0 s  SDRAM 0 of 1 failed, flash 0 of 1 "
      "failed\n",
      text);
}

}  // namespace

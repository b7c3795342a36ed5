// The report and history commands as a user meets them: what they print,
// their status, the page they write, and that they leave the database as
// it was.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "child_process.h"
#include "report_boards.h"
#include "test_files.h"

namespace {

std::string replace_all(std::string text, const std::string &from, const std::string &to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

child_result run_driver(const std::vector<std::string> &args) {
  std::vector<std::string> argv = {REPORT_DRIVER};
  argv.insert(argv.end(), args.begin(), args.end());
  pid_t pid = start_child(argv, "korvane-station");
  EXPECT_GT(pid, 0);
  return finish_child(pid, "korvane-station", 30);
}

bool exists(const std::string &path) { return !read_file(path).empty(); }

TEST(ReportProgram, StatusMessagesAndPages) {
  std::string dir = temp_dir("report_program");
  std::string db = dir + "/station.db", why;
  ASSERT_TRUE(write_board_database(
      db,
      {{"S1",
        "A",
        "1",
        "2026-12-08T09:00:00Z",
        40,
        "failed",
        {{"sdram", "data_stuck", "data line 5 stuck at 1"}},
        "{\"sdram\": {\"faults\": [\"data line 5 stuck at 1\"]}}",
        "logs/S1.log"},
       {"S1", "A", "1", "2026-12-08T10:00:00Z", 42, "passed", {}, "", "logs/S1-2.log"}},
      &why))
      << why;
  FILE *text = fopen((dir + "/text.db").c_str(), "w");
  ASSERT_TRUE(text);
  fputs("not a database, only text that is long enough to look like a header\n", text);
  fclose(text);
  const std::string before = read_file(db);

  const std::string REPORT_USAGE =
      "Usage: korvane-station report [--db PATH] [--since DATE] [--until DATE] [--station "
      "NAME]\n                              [--csv] [--html FILE]\n";
  struct program_case {
    const char *name;
    std::vector<std::string> args;  // @DIR@ is the test's folder, @DB@ its database
    int status;
    std::string out;   // what stdout begins with
    std::string err;   // stderr, whole
    std::string page;  // the page written, "" for none
  } cases[] = {
      {"a report", {"report", "--db", "@DB@"}, 0, "Boards tested: 2 (passed 1, failed 1,", "", ""},
      {"a value after =",
       {"report", "--db=@DB@", "--csv"},
       0,
       "section,name,station,measure,value\r\n",
       "",
       ""},
      {"a history",
       {"history", "S1", "--db", "@DB@"},
       0,
       "History of board S1, oldest first:\n2026-12-08T09:00:00Z  failed  slot 1 at A",
       "",
       ""},
      {"a history as CSV",
       {"history", "--csv", "--db", "@DB@", "S1"},
       0,
       "id,serial,started,",
       "",
       ""},
      {"the report's page",
       {"report", "--db", "@DB@", "--html", "@DIR@/report.html"},
       0,
       "Boards tested: 2",
       "",
       "@DIR@/report.html"},
      {"the history's page",
       {"history", "S1", "--db", "@DB@", "--html", "@DIR@/history.html"},
       0,
       "History of board S1",
       "",
       "@DIR@/history.html"},
      {"no database",
       {"report", "--db", "@DIR@/none.db"},
       1,
       "",
       "korvane-station: cannot read the database @DIR@/none.db: No such file or directory\n",
       ""},
      {"the default database, absent",
       {"history", "S1"},
       1,
       "",
       "korvane-station: cannot read the database korvane-station.db: No such file or directory\n",
       ""},
      {"not a database",
       {"report", "--db", "@DIR@/text.db"},
       1,
       "",
       "korvane-station: cannot read the database @DIR@/text.db: not a station database: file is "
       "not a database\n",
       ""},
      {"a folder for a database",
       {"report", "--db", "@DIR@"},
       1,
       "",
       "korvane-station: cannot read the database @DIR@: Is a directory\n",
       ""},
      {"a station with no boards",
       {"report", "--db", "@DB@", "--station", "line-9"},
       0,
       "Boards tested: 0 (passed 0, failed 0, errors 0, interrupted 0)\n"
       "First-pass yield: no board with a verdict\n"
       "Final yield: no board with a verdict\n"
       "Retested: 0 serials\n"
       "Yield per day:\n  none\n"
       "Yield per slot:\n  none\n"
       "Faults, most frequent first:\n  none\n"
       "Board time: no board with a verdict\n"
       "Boards per hour: no time running\n",
       "",
       ""},
      {"a serial never seen",
       {"history", "S9", "--db", "@DB@"},
       1,
       "",
       "korvane-station: no board with serial S9 in @DB@\n",
       ""},
      {"a page that cannot be written",
       {"report", "--db", "@DB@", "--html", "@DIR@/none/r.html"},
       1,
       "Boards tested: 2",
       "korvane-station: cannot write @DIR@/none/r.html: No such file or directory\n",
       ""},
      {"an unknown option",
       {"report", "--serial", "S1"},
       2,
       "",
       "korvane-station: unknown option --serial\n" + REPORT_USAGE,
       ""},
      {"history's own option on report",
       {"report", "S1"},
       2,
       "",
       "korvane-station: unexpected argument: S1\n" + REPORT_USAGE,
       ""},
      {"a bad date",
       {"report", "--since", "09/12/2026"},
       2,
       "",
       "korvane-station: not a date (YYYY-MM-DD or YYYY-MM-DDTHH:MM:SSZ): 09/12/2026\n" +
           REPORT_USAGE,
       ""},
      {"a value missing",
       {"report", "--db"},
       2,
       "",
       "korvane-station: --db needs its PATH\n" + REPORT_USAGE,
       ""},
      {"no serial",
       {"history", "--db", "@DB@"},
       2,
       "",
       "korvane-station: which board? give its serial\nUsage: korvane-station history SERIAL "
       "[--db PATH] [--csv] [--html FILE]\n",
       ""},
      {"a serial that looks like an option",
       {"history", "--db", "@DB@", "--", "-S1"},
       1,
       "",
       "korvane-station: no board with serial -S1 in @DB@\n",
       ""},
  };
  for (const program_case &c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args;
    for (const std::string &a : c.args)
      args.push_back(replace_all(replace_all(a, "@DB@", db), "@DIR@", dir));
    child_result r = run_driver(args);
    EXPECT_EQ(c.status, r.status);
    EXPECT_EQ(c.out, r.out.substr(0, c.out.size()));
    EXPECT_EQ(replace_all(replace_all(c.err, "@DB@", db), "@DIR@", dir), r.err);
    std::string page = replace_all(c.page, "@DIR@", dir);
    if (!page.empty()) {
      EXPECT_EQ(0u, read_file(page).find("<!DOCTYPE html>"));
      EXPECT_FALSE(exists(page + ".part"));
    }
  }
  EXPECT_FALSE(exists(dir + "/none/r.html.part"));
  // Reading never changes a record.
  EXPECT_TRUE(before == read_file(db));
  remove_tree(dir);
}

}  // namespace

// korvane-station.exe under Wine, in the port sandbox, driving korvane.exe
// against simulated boards: one run of three slots, each board's record
// read back from the database and the JUnit report, and the exit status
// that sums the failures up; each record also sent to the Linux line server
// on loopback.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <tinyxml2.h>
#include <unistd.h>

#include <sys/stat.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "child_process.h"
#include "korvane_program.h"
#include "test_files.h"

namespace {

struct slot_case {
  const char *slot;
  std::vector<std::string> board;  // boardsim's fault options
  const char *outcome;
  const char *fault;  // words the board's diagnosis holds; "" for none
};

// A path of this machine as a Windows program under Wine reaches it.
std::string windows_path(const std::string &path) { return "Z:" + path; }

struct board_row {
  std::string outcome, diagnosis, port, station;
  int sdram_failed = -1, flash_failed = -1;
};

std::map<std::string, board_row> rows_by_slot(const std::string &db_path) {
  std::map<std::string, board_row> out;
  sqlite3 *db = nullptr;
  if (sqlite3_open_v2(db_path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << "cannot open " << db_path << ": " << sqlite3_errmsg(db);
    sqlite3_close(db);
    return out;
  }
  sqlite3_stmt *query = nullptr;
  const char *sql =
      "SELECT slot, outcome, coalesce(diagnosis, ''), sdram_failed, flash_failed, port, station"
      " FROM boards";
  if (sqlite3_prepare_v2(db, sql, -1, &query, nullptr) == SQLITE_OK) {
    while (sqlite3_step(query) == SQLITE_ROW) {
      board_row r;
      r.outcome = reinterpret_cast<const char *>(sqlite3_column_text(query, 1));
      r.diagnosis = reinterpret_cast<const char *>(sqlite3_column_text(query, 2));
      r.sdram_failed = sqlite3_column_int(query, 3);
      r.flash_failed = sqlite3_column_int(query, 4);
      r.port = reinterpret_cast<const char *>(sqlite3_column_text(query, 5));
      r.station = reinterpret_cast<const char *>(sqlite3_column_text(query, 6));
      out[reinterpret_cast<const char *>(sqlite3_column_text(query, 0))] = r;
    }
  } else {
    ADD_FAILURE() << sqlite3_errmsg(db);
  }
  sqlite3_finalize(query);
  sqlite3_close(db);
  return out;
}

TEST(StationWine, TestsABoardPerSlotAndRecordsEach) {
  ASSERT_TRUE(korvane_under_wine());
  const slot_case slots[] = {
      {"sound", {}, "passed", ""},
      {"stuck", {"--data-stuck", "5:1"}, "failed", "data line 5 stuck at 1"},
      {"flash", {"--nand-never-ready"}, "failed", "never became ready"},
  };
  std::string dir = temp_dir("station_wine");
  ASSERT_FALSE(dir.empty());
  std::vector<pid_t> boards;
  std::map<std::string, std::string> port_names;
  std::vector<std::string> args = {"--once",
                                   "--db",
                                   windows_path(dir + "/station.db"),
                                   "--logs",
                                   windows_path(dir + "/logs"),
                                   "--junit",
                                   windows_path(dir + "/run.xml")};
#ifdef LINE_PATH
  // The line server, natively, on loopback: the station sends it its records.
  // The station sends under its default name, the host's.
  char station_name[256] = {};
  ASSERT_EQ(0, gethostname(station_name, sizeof station_name - 1));
  std::ofstream(dir + "/tokens") << station_name << " wine-station-token-0123456789\n";
  chmod((dir + "/tokens").c_str(), 0600);
  std::ofstream(dir + "/token") << "wine-station-token-0123456789\n";
  pid_t line_server = start_child(
      {LINE_PATH, "serve", "--listen", "0", "--tokens", dir + "/tokens", "--db", dir + "/line.db"},
      "korvane-line");
  std::string served;
  ASSERT_TRUE(read_child_line(line_server, &served, 10)) << "korvane-line did not start";
  std::string url = served.substr(served.find("http://"));
  url = url.substr(0, url.find('/', 7));
  for (std::string a : {"--line", url.c_str(), "--line-token"}) args.push_back(a);
  args.push_back(windows_path(dir + "/token"));
#endif
  for (const slot_case &s : slots) {
    std::vector<std::string> argv = {BOARDSIM_PATH};
    argv.insert(argv.end(), s.board.begin(), s.board.end());
    pid_t board = start_child(argv, "boardsim");
    std::string line;
    ASSERT_TRUE(board > 0 && read_child_line(board, &line, 10)) << "boardsim did not start";
    boards.push_back(board);
    korvane_port port = korvane_port_for(line);
    port_names[s.slot] = port.name;
    args.push_back(std::string(s.slot) + "=" + port.arg);
  }
  std::vector<std::string> argv = {PORT_SANDBOX, WINE_PROGRAM, STATION_EXE};
  argv.insert(argv.end(), args.begin(), args.end());
  pid_t station = start_child(argv, "korvane-station.exe");
  ASSERT_GT(station, 0);
  child_result r = finish_child(station, "korvane-station.exe", 150);
  for (pid_t board : boards) stop_child(board, SIGTERM, 5);

  EXPECT_FALSE(r.timed_out);
  // An SDRAM failure adds 8, a FLASH failure 16.
  EXPECT_EQ(24, r.status) << r.out << r.err;
  std::map<std::string, board_row> rows = rows_by_slot(dir + "/station.db");
  EXPECT_EQ(3u, rows.size());
  // The port as Windows names it, and by default the host's name as the
  // Linux station on the same host records it.
  char host[256] = {};
  ASSERT_EQ(0, gethostname(host, sizeof host - 1));
  for (const slot_case &s : slots) {
    SCOPED_TRACE(s.slot);
    board_row row = rows[s.slot];
    EXPECT_EQ(s.outcome, row.outcome);
    EXPECT_EQ(port_names[s.slot], row.port);
    EXPECT_EQ(host, row.station);
    if (*s.fault) {
      EXPECT_NE(std::string::npos, row.diagnosis.find(s.fault)) << row.diagnosis;
    }
  }
  EXPECT_LT(0, rows["stuck"].sdram_failed);
#ifdef LINE_PATH
  EXPECT_EQ(0, stop_child(line_server, SIGTERM, 10).status);
  EXPECT_NE(std::string::npos, r.out.find("line: all sent")) << r.out;
  EXPECT_EQ(3u, rows_by_slot(dir + "/line.db").size());
#endif
  EXPECT_LT(0, rows["flash"].flash_failed);

  tinyxml2::XMLDocument junit;
  ASSERT_EQ(tinyxml2::XML_SUCCESS, junit.LoadFile((dir + "/run.xml").c_str()));
  const tinyxml2::XMLElement *root = junit.FirstChildElement("testsuites");
  ASSERT_NE(nullptr, root);
  int suites = 0;
  std::string failures;
  for (const tinyxml2::XMLElement *s = root->FirstChildElement("testsuite"); s;
       s = s->NextSiblingElement("testsuite")) {
    ++suites;
    for (const tinyxml2::XMLElement *c = s->FirstChildElement("testcase"); c;
         c = c->NextSiblingElement("testcase"))
      if (const tinyxml2::XMLElement *f = c->FirstChildElement("failure"))
        failures += std::string(f->Attribute("message")) + "\n";
  }
  EXPECT_EQ(3, suites);
  EXPECT_NE(std::string::npos, failures.find("data line 5 stuck at 1")) << failures;
  remove_tree(dir);
}

}  // namespace

// The built korvane-station driving the built korvane against boardsims,
// one per slot: the rows it commits, the logs it files, its exit status and
// its event lines; how it ends on Ctrl-C and on kill -9; how it refuses to
// start where it cannot keep its records.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "child_process.h"
#include "database_rows.h"
#include "test_files.h"

namespace {

const double RUN_TIMEOUT_S = 60;

// The korvane processes that log into logs: those of the station under
// test, whatever the ports (a port freed is soon another test's).
int korvanes_logging_in(const std::string &logs) {
  int count = 0;
  DIR *proc = opendir("/proc");
  while (dirent *e = proc ? readdir(proc) : nullptr) {
    std::string cmdline = read_file(std::string("/proc/") + e->d_name + "/cmdline");
    for (char &c : cmdline) {
      if (c == '\0') c = ' ';
    }
    if (cmdline.compare(0, sizeof KORVANE_PATH - 1, KORVANE_PATH) == 0 &&
        cmdline.find(" " + logs + "/") != std::string::npos) {
      count++;
    }
  }
  if (proc) closedir(proc);
  return count;
}

struct slot_case {
  std::string name;
  std::vector<std::string> board;  // boardsim's options
  bool vanishes = false;           // the board goes away once it is in
};

// One row as the cases expect it: serial, slot, outcome, the four counts,
// korvane's status and message.
const char ROW_QUERY[] =
    "SELECT serial, slot, outcome, sdram_passes, sdram_failed, flash_passes, flash_failed,"
    " korvane_status, message FROM boards ORDER BY slot";

class StationE2e : public ::testing::Test {
 protected:
  std::string dir;
  std::vector<pid_t> boards;
  std::vector<std::string> ports;

  void SetUp() override {
    dir = temp_dir("station-e2e");
    ASSERT_NE("", dir);
  }
  void TearDown() override {
    stop_boards();
    remove_tree(dir);
  }

  std::string start_board(std::vector<std::string> options) {
    options.insert(options.begin(), BOARDSIM_PATH);
    pid_t b = start_child(options, "boardsim");
    EXPECT_GT(b, 0);
    std::string path;
    EXPECT_TRUE(read_child_line(b, &path, 5));
    boards.push_back(b);
    ports.push_back(path);
    return path;
  }

  void stop_boards() {
    for (pid_t b : boards) {
      if (b > 0) stop_child(b, SIGTERM, 5);
    }
    boards.clear();
    ports.clear();
  }

  // The station with its standard input read from a file holding input.
  pid_t start_station(const std::vector<std::string> &args, const std::string &input = "") {
    std::string input_path = dir + "/input";
    FILE *f = fopen(input_path.c_str(), "w");
    if (f) {
      fputs(input.c_str(), f);
      fclose(f);
    }
    pid_t s = start_station_reading(input_path, args);
    EXPECT_GT(s, 0);
    return s;
  }

  // The station with its standard input read from input_path.
  pid_t start_station_reading(const std::string &input_path, const std::vector<std::string> &args) {
    std::vector<std::string> argv = {
        "/bin/sh",    "-c",          "input=$1; shift; exec \"$0\" \"$@\" < \"$input\"",
        STATION_PATH, input_path,    "--korvane",
        KORVANE_PATH, "--db",        dir + "/station.db",
        "--logs",     dir + "/logs", "--station",
        "bench"};
    argv.insert(argv.end(), args.begin(), args.end());
    return start_child(argv, "korvane-station");
  }

  std::vector<std::string> rows() { return database_rows(dir + "/station.db", ROW_QUERY); }

  // A stand-in for korvane in the test's folder: a shell script of body.
  std::string fake_korvane(const std::string &body) {
    const std::string path = dir + "/korvane";
    std::ofstream(path) << "#!/bin/sh\n" << body;
    chmod(path.c_str(), 0755);
    return path;
  }

  // The station with its standard input a pipe the test types into, line by
  // line, when it chooses (*typing).
  pid_t start_station_typed(const std::vector<std::string> &args, int *typing) {
    std::string fifo = dir + "/typed";
    EXPECT_EQ(0, mkfifo(fifo.c_str(), 0600));
    // Read and write: the open does not wait for the station's end.
    *typing = open(fifo.c_str(), O_RDWR);
    EXPECT_GE(*typing, 0);
    return start_station_reading(fifo, args);
  }
};

// Every line an event line: its UTC time first, no escape sequence.
void expect_event_lines(const std::string &out) {
  static const std::regex EVENT("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ [^\\x1b]*");
  size_t start = 0;
  while (start < out.size()) {
    size_t end = out.find('\n', start);
    ASSERT_NE(std::string::npos, end) << "an unended line";
    std::string line = out.substr(start, end - start);
    EXPECT_TRUE(std::regex_match(line, EVENT)) << line;
    start = end + 1;
  }
}

struct run_case {
  const char *name;
  std::vector<slot_case> slots;
  std::vector<std::string> args;
  std::string input;  // the serials typed
  int status;
  std::vector<std::string> rows;    // ROW_QUERY's, "$PORT0" for the first board's port
  std::vector<std::string> events;  // texts the event lines hold, after their time
};

TEST_F(StationE2e, RunsRecordEveryBoard) {
  const run_case cases[] = {
      {"sound board",
       {{"A", {}}},
       {},
       "SN-1\n",
       0,
       {"SN-1|A|passed|1|0|1|0|0|NULL"},
       {"A: waiting for a board", "A: board in, downloading", "A: SDRAM passed", "A: FLASH passed",
        "A: PASS (serial SN-1, ",
        "station: 1 board tested, 1 passed, 0 failed, 0 errors, first-pass yield 100.0%, final "
        "yield 100.0%, "}},
      {"data line stuck",
       {{"A", {"--data-stuck", "5:1"}}},
       {},
       "",
       8,
       {"NULL|A|failed|1|1|1|0|0|NULL"},
       {"A: SDRAM failed", "A: FAIL SDRAM: data line 5 stuck at 1 (no serial, "}},
      {"address lines shorted",
       {{"A", {"--addr-short", "3:7"}}},
       {"--test", "sdram"},
       "A=SN-2\n",
       8,
       {"SN-2|A|failed|1|1|0|0|0|NULL"},
       {"A: FAIL SDRAM: address lines 3 and 7 shorted (serial SN-2, "}},
      {"flash maker wrong",
       {{"A", {"--nand-id", "00,f1,80,95"}}},
       {},
       "",
       16,
       {"NULL|A|failed|1|0|1|1|0|NULL"},
       {"A: FAIL FLASH: maker 0x00 is neither 0x20 nor 0x2c"}},
      {"soak of passes counts each pass",
       {{"A", {"--nand-status", "e1"}}, {"B", {}}},
       {"--passes", "3", "--test", "flash"},
       "",
       16,
       {"NULL|A|failed|0|0|3|3|130|NULL", "NULL|B|passed|0|0|3|0|130|NULL"},
       {"A: FLASH failed in pass 3", "B: FLASH passed in pass 3",
        "A: FAIL FLASH: status 0xe1 is not 0xe0"}},
      {"download refused",
       {{"A", {"--cancel-block", "3"}}},
       {},
       "",
       1,
       {"NULL|A|error|0|0|0|0|1|Xmodem download failed: -1."},
       {"A: ERROR Xmodem download failed: -1. (no serial, "}},
      {"port vanishes, the other slots go on",
       {{"A", {"--baud", "115200"}, true}, {"B", {"--data-stuck", "2:0"}}, {"C", {}}},
       {},
       "C=SN-C\nSN-A\n",
       9,
       {"SN-A|A|error|0|0|0|0|1|Lost serial port $PORT0.", "NULL|B|failed|1|1|1|0|0|NULL",
        "SN-C|C|passed|1|0|1|0|0|NULL"},
       {"A: ERROR Lost serial port $PORT0.", "B: FAIL SDRAM: data line 2 stuck at 0",
        "C: PASS (serial SN-C, "}},
      {"serial as typed, refused ones change nothing",
       {{"A", {}}, {"B", {}}},
       {},
       std::string(65, 'x') + "\nSN\x1b\n'; DROP TABLE boards; --\nB=" + std::string(64, 'y') +
           "\n",
       0,
       {"'; DROP TABLE boards; --|A|passed|1|0|1|0|0|NULL",
        std::string(64, 'y') + "|B|passed|1|0|1|0|0|NULL"},
       {"station: serial longer than 64 characters refused",
        "station: serial holding control characters refused"}},
  };
  for (const run_case &c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args = c.args;
    args.push_back("--once");
    for (const slot_case &s : c.slots) args.push_back(s.name + "=" + start_board(s.board));
    pid_t station = start_station(args, c.input);
    for (size_t i = 0; i < c.slots.size(); i++) {
      if (!c.slots[i].vanishes) continue;
      std::string in = c.slots[i].name + ": board in";
      ASSERT_TRUE(read_child_until(
          station, [&](const child_result &r) { return r.out.find(in) != std::string::npos; },
          RUN_TIMEOUT_S));
      stop_child(boards[i], SIGKILL, 5);
      boards[i] = -1;
    }
    child_result r = finish_child(station, "korvane-station", RUN_TIMEOUT_S);
    ASSERT_FALSE(r.timed_out) << r.out;
    EXPECT_EQ(c.status, r.status) << r.out << r.err;
    EXPECT_EQ("", r.err);
    std::vector<std::string> want = c.rows;
    for (std::string &row : want) row = std::regex_replace(row, std::regex("\\$PORT0"), ports[0]);
    EXPECT_EQ(want, rows());
    expect_event_lines(r.out);
    for (std::string e : c.events) {
      e = std::regex_replace(e, std::regex("\\$PORT0"), ports[0]);
      EXPECT_NE(std::string::npos, r.out.find("Z " + e)) << e << " not in\n" << r.out;
    }
    // Each board's log is filed under its serial or slot and its start, and
    // holds its tests; nothing else is left in the folder.
    std::vector<std::string> logs = database_rows(
        dir + "/station.db",
        "SELECT log, coalesce(serial, 'slot-' || slot), started, outcome FROM boards");
    std::vector<std::string> names;
    for (const std::string &row : logs) {
      std::vector<std::string> f;
      size_t start = 0, bar;
      while ((bar = row.find('|', start)) != std::string::npos) {
        f.push_back(row.substr(start, bar - start));
        start = bar + 1;
      }
      f.push_back(row.substr(start));
      ASSERT_EQ(4u, f.size()) << row;
      std::string stamp = f[2];
      stamp.erase(std::remove(stamp.begin(), stamp.end(), '-'), stamp.end());
      stamp.erase(std::remove(stamp.begin(), stamp.end(), ':'), stamp.end());
      EXPECT_EQ(0u, f[0].find(dir + "/logs/")) << f[0];
      if (f[1].find('\'') == std::string::npos) {
        EXPECT_EQ(dir + "/logs/" + f[1] + "-" + stamp + ".log", f[0]);
      }
      bool tested = f[3] == "passed" || f[3] == "failed";
      EXPECT_EQ(tested, read_file(f[0]).find("Testing") != std::string::npos) << f[0];
      names.push_back(f[0]);
    }
    DIR *d = opendir((dir + "/logs").c_str());
    size_t files = 0;
    while (dirent *e = d ? readdir(d) : nullptr) files += e->d_name[0] != '.';
    if (d) closedir(d);
    EXPECT_EQ(names.size(), files);
    EXPECT_EQ(0, korvanes_logging_in(dir + "/logs"));

    stop_boards();
    unlink((dir + "/station.db").c_str());
    unlink((dir + "/station.db-wal").c_str());
    unlink((dir + "/station.db-shm").c_str());
    remove_tree(dir + "/logs");
  }
}

// A port lost before any board came in leaves no record, yet ends the
// station with status 1: its summary says why.
TEST_F(StationE2e, PortLostWhileWaitingCountsAsASlotError) {
  std::string a = start_board({"--boot-delay", "3600000"});
  pid_t station = start_station({"--once", "--junit", dir + "/run.xml", "A=" + a});
  ASSERT_TRUE(read_child_until(
      station,
      [](const child_result &r) {
        return r.out.find("A: waiting for a board") != std::string::npos;
      },
      RUN_TIMEOUT_S));
  stop_child(boards[0], SIGKILL, 5);
  boards[0] = -1;
  child_result r = finish_child(station, "korvane-station", RUN_TIMEOUT_S);
  EXPECT_EQ(1, r.status) << r.out << r.err;
  EXPECT_EQ(std::vector<std::string>{}, rows());
  std::smatch summary;
  ASSERT_TRUE(std::regex_search(r.out, summary, std::regex("station: 0 boards tested, .*")));
  EXPECT_NE(std::string::npos, summary.str().find(", 0 errors, 1 slot error, first-pass yield -"))
      << summary.str();
  // The run's report ends with the same counts, the slot error with them.
  std::string report = read_file(dir + "/run.xml");
  for (const char *count : {"\"tested\" value=\"0\"", "\"slot_errors\" value=\"1\"",
                            "\"first_pass_yield\" value=\"-\""})
    EXPECT_NE(std::string::npos, report.find(count)) << count << "\n" << report;
}

TEST_F(StationE2e, CtrlCRecordsTheBoardsUnderTestAsInterrupted) {
  std::string a = start_board({});
  std::string b = start_board({});
  pid_t station = start_station(
      {"--passes", "1000", "--test", "flash", "--json", dir + "/run.json", "A=" + a, "B=" + b},
      "SN-A\n");
  auto both_testing = [](const child_result &r) {
    return r.out.find("A: FLASH passed") != std::string::npos &&
           r.out.find("B: FLASH passed") != std::string::npos;
  };
  ASSERT_TRUE(read_child_until(station, both_testing, RUN_TIMEOUT_S));
  child_result r = stop_child(station, SIGINT, RUN_TIMEOUT_S);
  EXPECT_EQ(1, r.status) << r.out << r.err;
  std::vector<std::string> got = rows();
  ASSERT_EQ(2u, got.size());
  EXPECT_EQ(0u, got[0].find("SN-A|A|interrupted|0|0|")) << got[0];
  EXPECT_EQ(0u, got[1].find("NULL|B|interrupted|0|0|")) << got[1];
  EXPECT_NE(std::string::npos, r.out.find("A: INTERRUPTED (serial SN-A, "));
  EXPECT_EQ(0, korvanes_logging_in(dir + "/logs"));
  // The run's report ends with the counts the summary gives.
  std::string report = read_file(dir + "/run.json");
  for (const char *count : {"\"interrupted\":2", "\"tested\":2", "\"first_pass_yield\":null"})
    EXPECT_NE(std::string::npos, report.find(count)) << count << "\n" << report;
}

TEST_F(StationE2e, MinutesSoakCountsOnlyCompletePasses) {
  std::string a = start_board({"--nand-status", "e1"});
  child_result r =
      finish_child(start_station({"--once", "--minutes", "0.1", "--test", "flash", "A=" + a}),
                   "korvane-station", RUN_TIMEOUT_S);
  EXPECT_EQ(16, r.status) << r.out << r.err;
  std::vector<std::string> got =
      database_rows(dir + "/station.db",
                    "SELECT outcome, flash_passes = flash_failed, flash_passes > 0, sdram_passes,"
                    " korvane_status, seconds >= 6 FROM boards");
  EXPECT_EQ(std::vector<std::string>({"failed|1|1|0|130|1"}), got);
  // Every pass the record counts is one the event lines saw end.
  std::vector<std::string> passes =
      database_rows(dir + "/station.db", "SELECT flash_passes FROM boards");
  ASSERT_EQ(1u, passes.size());
  EXPECT_NE(std::string::npos, r.out.find("A: FLASH failed in pass " + passes[0] + "\n"));
  EXPECT_EQ(std::string::npos,
            r.out.find("A: FLASH failed in pass " + std::to_string(std::stoi(passes[0]) + 1)));
}

TEST_F(StationE2e, KillNineLeavesRecordsIntactAndNoKorvane) {
  std::string a = start_board({});
  child_result first =
      finish_child(start_station({"--once", "A=" + a}, "SN-1\n"), "korvane-station", RUN_TIMEOUT_S);
  ASSERT_EQ(0, first.status) << first.out << first.err;
  stop_boards();

  a = start_board({});
  // Slot B's port never answers: its korvane waits with an empty log.
  int quiet = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(quiet, 0);
  ASSERT_EQ(0, grantpt(quiet));
  ASSERT_EQ(0, unlockpt(quiet));
  std::string b = ptsname(quiet);
  pid_t station = start_station({"--passes", "1000", "--test", "flash", "A=" + a, "B=" + b});
  ASSERT_TRUE(read_child_until(
      station,
      [](const child_result &r) { return r.out.find("A: FLASH passed") != std::string::npos; },
      RUN_TIMEOUT_S));
  stop_child(station, SIGKILL, 5);
  // The korvane is told of its station's death by the kernel, and ends.
  double end = steady_seconds() + 5;
  while (korvanes_logging_in(dir + "/logs") && steady_seconds() < end) usleep(20000);
  EXPECT_EQ(0, korvanes_logging_in(dir + "/logs"));
  EXPECT_EQ(std::vector<std::string>({"ok"}),
            database_rows(dir + "/station.db", "PRAGMA integrity_check"));
  EXPECT_EQ(std::vector<std::string>({"SN-1|A|passed|1|0|1|0|0|NULL"}), rows());

  // The next start tidies the dead station's empty working logs (B's) and
  // keeps the one that holds a board's log (A's).
  auto working_logs = [this](bool empty) {
    int count = 0;
    DIR *d = opendir((dir + "/logs").c_str());
    while (dirent *e = d ? readdir(d) : nullptr) {
      if (std::string(e->d_name).compare(0, 17, ".korvane-station-") != 0) continue;
      count += read_file(dir + "/logs/" + e->d_name).empty() == empty;
    }
    if (d) closedir(d);
    return count;
  };
  EXPECT_EQ(1, working_logs(true));
  EXPECT_EQ(1, working_logs(false));
  stop_boards();
  child_result again = finish_child(start_station({"--once", "A=" + start_board({})}),
                                    "korvane-station", RUN_TIMEOUT_S);
  EXPECT_EQ(0, again.status) << again.out << again.err;
  EXPECT_EQ(0, working_logs(true));
  EXPECT_EQ(1, working_logs(false));
  close(quiet);
}

// One slot's board carries a fault; the file `nets` beside the database
// names its line in the record.
TEST_F(StationE2e, NetsBesideTheDatabaseNameTheLinesInTheRecords) {
  FILE *f = fopen((dir + "/nets").c_str(), "w");
  ASSERT_TRUE(f);
  fputs("LINE,NAME\nD5,SD_D5 U12 pin 34\n", f);
  fclose(f);
  std::string a = start_board({"--data-stuck", "5:1"}), b = start_board({});
  child_result r = finish_child(start_station({"--once", "A=" + a, "B=" + b}, "A=SN-A\nB=SN-B\n"),
                                "korvane-station", RUN_TIMEOUT_S);
  ASSERT_EQ(8, r.status) << r.out << r.err;
  EXPECT_EQ(std::vector<std::string>(
                {"A|SDRAM: data line 5 (SD_D5 U12 pin 34) stuck at 1|1", "B|SDRAM: sound|0"}),
            database_rows(dir + "/station.db",
                          "SELECT slot, substr(diagnosis, 1, instr(diagnosis, char(10)) - 1),"
                          " instr(diagnosis_json, '\"net\": \"SD_D5 U12 pin 34\"') > 0"
                          " FROM boards ORDER BY slot"));
  // The faults' rows keep the words the reports count them by.
  EXPECT_EQ(std::vector<std::string>({"data line 5 stuck at 1"}),
            database_rows(dir + "/station.db", "SELECT words FROM board_faults"));
}

// A worn fixture: slot A's boards fail 6 times in 10, B's and C's never.
// The report flags A alone, with the exact test's p.
TEST_F(StationE2e, ReportFlagsTheSlotWhoseBoardsFail) {
  std::string stream[3];
  for (int i = 0; i < 10; ++i) {
    stream[0] += i < 6 ? "--data-stuck 5:1\n" : "\n";
    stream[1] += "\n";
    stream[2] += "\n";
  }
  std::vector<std::string> args;
  const char *names[] = {"A", "B", "C"};
  for (int i = 0; i < 3; ++i) {
    std::string file = dir + "/boards-" + names[i];
    FILE *f = fopen(file.c_str(), "w");
    ASSERT_TRUE(f);
    fputs(stream[i].c_str(), f);
    fclose(f);
    args.push_back(std::string(names[i]) + "=" + start_board({"--boards", file}));
  }
  pid_t station = start_station(args);
  auto verdicts = [](const child_result &r) {
    size_t n = 0;
    for (const char *word : {": PASS (", ": FAIL "})
      for (size_t at = r.out.find(word); at != std::string::npos; at = r.out.find(word, at + 1))
        ++n;
    return n;
  };
  ASSERT_TRUE(read_child_until(
      station, [&](const child_result &r) { return verdicts(r) >= 30; }, RUN_TIMEOUT_S));
  stop_child(station, SIGINT, RUN_TIMEOUT_S);
  child_result report =
      finish_child(start_child({STATION_PATH, "report", "--db", dir + "/station.db"}, "report"),
                   "report", RUN_TIMEOUT_S);
  EXPECT_EQ(0, report.status) << report.err;
  EXPECT_NE(std::string::npos,
            report.out.find("Slots to check:\n"
                            "  bench A: 6 of 10 boards failed, the station's other slots 0 of 20 "
                            "(0.0%), p = 0.00035; most named: data line 5 stuck at 1 (6 boards)\n"
                            "Faults"))
      << report.out;
}

// --max-attempts: a serial that failed as often already is held for rework,
// its board never woken; another serial in the same slot is tested, and a
// serial under the limit elsewhere is tested as before.
TEST_F(StationE2e, MaxAttemptsHoldsABoardForRework) {
  std::string a = start_board({"--data-stuck", "5:1"});
  child_result first = finish_child(start_station({"--once", "A=" + a}, "A=KV-0007\n"),
                                    "korvane-station", RUN_TIMEOUT_S);
  ASSERT_EQ(8, first.status) << first.out << first.err;
  stop_boards();
  // The operator scans before the board is in: it answers only later.
  a = start_board({"--boot-delay", "2000"});
  std::string b = start_board({});
  pid_t station = start_station({"--once", "--max-attempts", "1", "A=" + a, "B=" + b},
                                "A=KV-0007\nB=KV-0008\n");
  const std::string hold =
      "A: HOLD KV-0007 failed 1 time (data line 5 stuck at 1); send it to rework\n";
  ASSERT_TRUE(read_child_until(
      station,
      [&](const child_result &r) {
        return r.out.find(hold) != std::string::npos &&
               r.out.find("B: PASS (serial KV-0008") != std::string::npos;
      },
      RUN_TIMEOUT_S));
  child_result r = stop_child(station, SIGINT, RUN_TIMEOUT_S);
  EXPECT_EQ(std::string::npos, r.out.find("A: board in")) << r.out;
  EXPECT_EQ(
      std::vector<std::string>({"KV-0007|A|failed", "KV-0008|B|passed"}),
      database_rows(dir + "/station.db", "SELECT serial, slot, outcome FROM boards ORDER BY id"));
  // The held board was never woken: korvane finds it waiting still.
  child_result k = finish_child(start_child({KORVANE_PATH, "-p", a, "flash"}, "korvane"), "korvane",
                                RUN_TIMEOUT_S);
  EXPECT_EQ(0, k.status) << k.err;
}

TEST_F(StationE2e, RecordsThatCannotBeKeptStopTheStationBeforeAnyBoard) {
  std::string a = start_board({});
  FILE *f = fopen((dir + "/file").c_str(), "w");
  ASSERT_TRUE(f);
  fclose(f);
  const struct {
    const char *name;
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {"database in a missing folder",
       {"--db", dir + "/missing/station.db"},
       "korvane-station: cannot open the database " + dir + "/missing/station.db: "},
      {"logs folder under a file",
       {"--logs", dir + "/file/logs"},
       "korvane-station: cannot make the logs folder " + dir + "/file/logs"},
      {"report in a missing folder", {"--json", dir + "/missing/run.json"}, "korvane-station: "},
      {"no korvane",
       {"--korvane", dir + "/missing/korvane"},
       "korvane-station: cannot run korvane: " + dir + "/missing/korvane is no program\n"},
      {"a nets file refused",
       {"--nets", dir + "/file", "--nets", dir + "/bad-nets"},
       "korvane-station: cannot read the nets file " + dir +
           "/bad-nets: line 2: the board has no line D16 (data lines are D0 to D15, address "
           "lines A1 to A25)\n"},
  };
  f = fopen((dir + "/bad-nets").c_str(), "w");
  ASSERT_TRUE(f);
  fputs("D15,SD_D15\nD16,SD_D16\n", f);
  fclose(f);
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args = c.args;
    args.push_back("A=" + a);
    child_result r = finish_child(start_station(args), "korvane-station", RUN_TIMEOUT_S);
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("", r.out);
    EXPECT_EQ(0u, r.err.find(c.err)) << r.err;
    EXPECT_EQ(1, std::count(r.err.begin(), r.err.end(), '\n')) << r.err;
  }
  // The board was never woken: korvane still finds it waiting.
  child_result k = finish_child(start_child({KORVANE_PATH, "-p", a, "flash"}, "korvane"), "korvane",
                                RUN_TIMEOUT_S);
  EXPECT_EQ(0, k.status) << k.err;
}

// A stand-in for korvane that prints what a test gives and ends as it says:
// the ends a real board cannot be made to show on cue.
TEST_F(StationE2e, KorvaneEndingsBecomeRecordsOrSlotErrors) {
  const std::string waiting = "Waiting for the board to wake up...";
  const std::string download =
      "\\r                                   \\r"
      "Downloading boot code...(  0%%)\\b\\b\\b\\b\\b100%%)"
      "\\r                               \\r";
  const struct {
    const char *name;
    std::string script;
    int status;
    std::vector<std::string> rows;
    std::string event;
  } cases[] = {
      {"ends without a verdict",
       "printf '" + waiting + download + "'",
       1,
       {"NULL|A|error|0|0|0|0|0|korvane ended without a verdict"},
       "A: ERROR korvane ended without a verdict (no serial, "},
      {"board never asks for the download",
       "printf '" + waiting +
           "\\r                               \\r'\n"
           "echo 'Xmodem download failed: -2.' >&2; exit 1",
       1,
       {"NULL|A|error|0|0|0|0|1|Xmodem download failed: -2."},
       "A: ERROR Xmodem download failed: -2. (no serial, "},
      {"port cannot be opened",
       "printf 'Could not open serial port /dev/x.\\n/dev/x: No such file or directory\\n' >&2\n"
       "exit 1",
       1,
       {},
       "A: ERROR Could not open serial port /dev/x. /dev/x: No such file or directory\n"},
      {"korvane dies in a test",
       "printf '" + waiting + download + "Testing SDRAM...\\nD0\\r\\n'; kill -SEGV $$",
       1,
       {"NULL|A|error|0|0|0|0|139|korvane ended with status 139"},
       "A: ERROR korvane ended with status 139 (no serial, "},
      {"plain run without a trace",
       "printf '" + waiting + download + "Testing SDRAM... passed\\nTesting FLASH... failed\\n'",
       16,
       {"NULL|A|failed|1|0|1|1|0|NULL"},
       "A: FAIL FLASH: failed 1 of 1 pass (no serial, "},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    // Its log, where korvane -l would make it: the fifth argument.
    const std::string korvane = fake_korvane(": >\"$5\"\n" + c.script + "\n");
    child_result r = finish_child(start_station({"--once", "--korvane", korvane, "A=/dev/x"}),
                                  "korvane-station", RUN_TIMEOUT_S);
    EXPECT_EQ(c.status, r.status) << r.out << r.err;
    EXPECT_EQ(c.rows, rows());
    EXPECT_NE(std::string::npos, r.out.find("Z " + c.event)) << r.out;
    unlink((dir + "/station.db").c_str());
    unlink((dir + "/station.db-wal").c_str());
    unlink((dir + "/station.db-shm").c_str());
  }
}

// A board that keeps failing its download is one record, not one every
// cycle: its slot waits for the operator. --require-serial starts no
// korvane without a serial, --serial-pattern refuses a scan that does not
// match, and a bare serial never goes to a held slot.
TEST_F(StationE2e, HeldSlotsAndSerialRules) {
  const std::string korvane = fake_korvane(
      ": >\"$5\"\nprintf 'Waiting for the board to wake up...'\n"
      "echo 'Xmodem download failed: -2.' >&2; exit 1\n");
  int typing = -1;
  pid_t station = start_station_typed({"--korvane", korvane, "--require-serial", "--serial-pattern",
                                       "KV-[0-9]+", "A=/dev/x", "B=/dev/y"},
                                      &typing);
  auto until = [station](const std::string &text) {
    return read_child_until(
        station, [&](const child_result &r) { return r.out.find(text) != std::string::npos; },
        RUN_TIMEOUT_S);
  };
  auto type = [typing](const std::string &lines) {
    EXPECT_EQ(ssize_t(lines.size()), write(typing, lines.data(), lines.size()));
  };
  // A record is committed a moment after its verdict shows: the count is
  // read once it reaches the number wanted, or the run's time is up.
  auto cycles_of = [this](const std::string &slot, long wanted) {
    long n = 0;
    for (double end = steady_seconds() + RUN_TIMEOUT_S; steady_seconds() < end; usleep(20000)) {
      std::vector<std::string> all = rows();
      n = std::count_if(all.begin(), all.end(), [&](const std::string &row) {
        return row.find("|" + slot + "|error|") != std::string::npos;
      });
      if (n >= wanted) break;
    }
    return n;
  };
  ASSERT_TRUE(until("A: waiting for its serial"));
  ASSERT_TRUE(until("B: waiting for its serial"));
  type("KV-x\nKV-1\n");
  ASSERT_TRUE(until("A: ERROR Xmodem download failed: -2. (serial KV-1, "));
  ASSERT_TRUE(until("station: serial KV-x does not match KV-[0-9]+; refused"));
  // A is held: the next bare serial goes to B, which errs in its turn.
  type("KV-2\n");
  ASSERT_TRUE(until("B: ERROR Xmodem download failed: -2. (serial KV-2, "));
  EXPECT_EQ(1, cycles_of("A", 1));
  type("retry A\n");
  ASSERT_TRUE(until("A: 2 errors in a row: check the fixture"));
  EXPECT_EQ(2, cycles_of("A", 2));
  // A retry is the same board: its serial stays.
  for (const std::string &row : rows()) {
    if (row.find("|A|") != std::string::npos) {
      EXPECT_EQ(0u, row.find("KV-1|A|error|")) << row;
    }
  }
  type("A=KV-3\nB=KV-3\n");
  ASSERT_TRUE(until("station: serial KV-3 is in slots A and B at once"));
  child_result r = stop_child(station, SIGINT, RUN_TIMEOUT_S);
  close(typing);
  EXPECT_EQ(1, r.status) << r.out << r.err;
  EXPECT_EQ(std::string::npos, r.out.find("KV-x|")) << r.out;
}

TEST_F(StationE2e, BadCommandLineIsStatusTwo) {
  child_result r = finish_child(start_station({"A=/dev/a", "B=/dev/a"}), "korvane-station", 10);
  EXPECT_EQ(2, r.status);
  EXPECT_EQ("korvane-station: two slots on port /dev/a\nTry korvane-station --help\n", r.err);
}

}  // namespace

// Another program holds the database's write lock while boards end: their
// verdicts are shown at once, marked as not yet recorded, and their records
// are written once the lock goes.
TEST_F(StationE2e, RecordsWaitForADatabaseLockedByAnotherProgram) {
  const std::string korvane = fake_korvane(
      ": >\"$5\"\nprintf 'Waiting for the board to wake up...\\r   \\r'\n"
      "while [ ! -e '" +
      dir +
      "/go' ]; do sleep 0.05; done\n"
      "printf 'Testing SDRAM... passed\\nTesting FLASH... passed\\n'\n");
  pid_t s = start_station({"--once", "--korvane", korvane, "A=/dev/x", "B=/dev/y"});
  std::string line;
  // The database is made before the first event line.
  ASSERT_TRUE(read_child_line(s, &line, RUN_TIMEOUT_S));
  sqlite3 *other = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open((dir + "/station.db").c_str(), &other));
  ASSERT_EQ(SQLITE_OK, sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr));
  fclose(fopen((dir + "/go").c_str(), "w"));
  std::string seen;
  read_child_until(
      s,
      [&seen](const child_result &r) {
        seen = r.out;
        return r.out.find("not yet recorded") != std::string::npos;
      },
      RUN_TIMEOUT_S);
  EXPECT_NE(std::string::npos, seen.find("A: PASS")) << seen;
  EXPECT_NE(std::string::npos, seen.find("B: PASS")) << seen;
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  child_result r = finish_child(s, "korvane-station", RUN_TIMEOUT_S);
  EXPECT_EQ(0, r.status) << seen << r.out << r.err;
  EXPECT_EQ(
      std::vector<std::string>({"NULL|A|passed|1|0|1|0|0|NULL", "NULL|B|passed|1|0|1|0|0|NULL"}),
      rows());
  DIR *journal = opendir((dir + "/logs/.journal").c_str());
  int left = 0;
  while (dirent *e = journal ? readdir(journal) : nullptr) left += e->d_name[0] != '.';
  if (journal) closedir(journal);
  EXPECT_EQ(0, left);
}

// A korvane holds nothing of the station's: not the page's sockets, not the
// database, not the reports.
TEST_F(StationE2e, KorvaneInheritsOnlyItsStandardStreams) {
  const std::string korvane = fake_korvane("ls -l /proc/$$/fd > '" + dir +
                                           "/fds'\necho 'Could not open serial port.' >&2\n"
                                           "exit 1\n");
  child_result r =
      finish_child(start_station({"--once", "--korvane", korvane, "--web", "127.0.0.1:0", "--json",
                                  dir + "/run.json", "A=/dev/x"}),
                   "korvane-station", RUN_TIMEOUT_S);
  EXPECT_EQ(1, r.status) << r.out << r.err;
  std::string fds = read_file(dir + "/fds");
  ASSERT_NE("", fds);
  for (const char *held : {"socket:", "station.db", "run.json", ".log"}) {
    EXPECT_EQ(std::string::npos, fds.find(held)) << held << " in\n" << fds;
  }
}

// Boards end faster than a locked database takes them: past its limit the
// station takes no new board, says why, and goes on once the records are
// in; every board shown is in the database.
TEST_F(StationE2e, TooManyRecordsWaitingHoldNewBoards) {
  const std::string korvane = fake_korvane(
      ": >\"$5\"\nprintf 'Waiting for the board to wake up...\\r   \\r"
      "Testing SDRAM... passed\\nTesting FLASH... passed\\n'\n");
  pid_t s = start_station({"--korvane", korvane, "A=/dev/x"});
  std::string line;
  ASSERT_TRUE(read_child_line(s, &line, RUN_TIMEOUT_S));
  sqlite3 *other = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open((dir + "/station.db").c_str(), &other));
  ASSERT_EQ(SQLITE_OK, sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr));
  auto seen = [&](const char *text) {
    return read_child_until(
        s, [text](const child_result &r) { return r.out.find(text) != std::string::npos; },
        RUN_TIMEOUT_S);
  };
  EXPECT_TRUE(seen("station: no new boards: 8 records wait for the database"));
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  EXPECT_TRUE(seen("station: records written; new boards are taken again"));
  child_result r = stop_child(s, SIGINT, RUN_TIMEOUT_S);
  // Every verdict shown, a board Ctrl-C interrupted as well.
  size_t shown = 0;
  for (const char *verdict : {" A: PASS (", " A: INTERRUPTED ("}) {
    for (size_t at = 0; (at = r.out.find(verdict, at)) != std::string::npos; at++) shown++;
  }
  EXPECT_LE(8u, shown) << r.out;
  EXPECT_EQ(shown, rows().size()) << r.out;
}

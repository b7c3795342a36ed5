// korvane-line on this machine, SQLite and PostgreSQL side by side: ingest
// from 50 stations sending at once (goal 500 records/s or more), a backlog
// of 10,000 records drained after an outage (goal 200/s or more), and
// `korvane-line report` over 1,000,000 records (goal under 2 s, and its
// records per second), and the
// station's own CPU with --line against without (goal within 5%). The
// stations are line_sender_driver processes: the station's own database,
// outbox and sender. Prints figures; nothing here passes or fails.
//
// Usage: line_bench KORVANE_LINE LINE_SENDER_DRIVER KORVANE_STATION KORVANE BOARDSIM
//        [report | station-cpu]   (the report's figures alone, or the station's CPU)
#include <fcntl.h>
#include <poll.h>
#include <dirent.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <libpq-fe.h>
#include <sqlite3.h>

#include "child_process.h"
#include "http_pipe.h"
#include "postgres_server.h"
#include "test_files.h"

namespace {

const int SENDERS = 50;
const int RECORDS_EACH = 100;
const int BACKLOG = 10000;
const long REPORT_BOARDS = 1000000;
const double RUN_TIMEOUT_S = 900;

std::string line_program, driver_program, station_program, korvane_program, boardsim_program, dir;

std::string token_of(int i) { return "bench-token-" + std::to_string(i) + "-0123456789"; }

void write_tokens(void) {
  std::ofstream out(dir + "/tokens");
  for (int i = 0; i < SENDERS; i++) {
    out << "st" << i << " " << token_of(i) << "\n";
    std::ofstream(dir + "/st" + std::to_string(i) + ".token") << token_of(i) << "\n";
  }
  out.close();
  chmod((dir + "/tokens").c_str(), 0600);
}

pid_t start_server(const std::string &db, int port, std::string *url) {
  pid_t p = start_child({line_program, "serve", "--db", db, "--tokens", dir + "/tokens", "--listen",
                         std::to_string(port)},
                        "korvane-line");
  std::string line;
  if (!read_child_line(p, &line, 60)) return -1;
  size_t at = line.find("http://");
  *url = line.substr(at, line.find('/', at + 7) - at);
  return p;
}

pid_t start_sender(int i, const std::string &url, int records, int wait_s) {
  std::string station = "st" + std::to_string(i);
  child_setup quiet;
  quiet.out_dropped = true;
  return start_child(
      {driver_program, dir + "/" + station + ".db", station, url, dir + "/" + station + ".token",
       std::to_string(records), "0", std::to_string(wait_s)},
      station, quiet);
}

void fill_backlog(int station, int records);

// 50 stations, each with RECORDS_EACH records waiting (made while the line
// was away), sending at once: the line's ingest, not the stations' commits.
double ingest(const std::string &db) {
  for (int i = 0; i < SENDERS; i++) fill_backlog(i, RECORDS_EACH);
  std::string url;
  pid_t server = start_server(db, 0, &url);
  double start = steady_seconds();
  std::vector<pid_t> senders;
  for (int i = 0; i < SENDERS; i++) senders.push_back(start_sender(i, url, 0, 600));
  bool all = true;
  for (pid_t s : senders) all = finish_child(s, "sender", RUN_TIMEOUT_S).status == 0 && all;
  double seconds = steady_seconds() - start;
  stop_child(server, SIGTERM, 60);
  return all ? SENDERS * RECORDS_EACH / seconds : 0;
}

// A station's outbox grown to `records` (the first one sent to no server,
// the rest copied in SQL with uids of their own).
void fill_backlog(int station, int records) {
  int free_port = 0;
  close(pipe_listen(&free_port));
  std::string nowhere = "http://127.0.0.1:" + std::to_string(free_port);
  std::string station_db = dir + "/st" + std::to_string(station) + ".db";
  unlink(station_db.c_str());
  finish_child(start_sender(station, nowhere, 1, 0), "sender", RUN_TIMEOUT_S);
  sqlite3 *raw = nullptr;
  sqlite3_open(station_db.c_str(), &raw);
  std::string copy =
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
      std::to_string(records - 1) +
      "), h(x) AS (SELECT lower(hex(randomblob(16))) FROM n)"
      " INSERT INTO boards (serial, slot, port, station, started, ended, seconds, outcome, uid,"
      " release) SELECT 'B-' || substr(x, 1, 8), slot, port, station, started, ended, seconds,"
      " outcome, substr(x, 1, 8) || '-' || substr(x, 9, 4) || '-4' || substr(x, 14, 3) || '-8'"
      " || substr(x, 18, 3) || '-' || substr(x, 21, 12), release FROM h, (SELECT * FROM boards"
      " LIMIT 1);"
      " INSERT INTO outbox (board_id, queued) SELECT id, ended FROM boards"
      " WHERE id NOT IN (SELECT board_id FROM outbox);";
  sqlite3_exec(raw, copy.c_str(), nullptr, nullptr, nullptr);
  sqlite3_close(raw);
}

// BACKLOG records waiting at one station, drained.
double drain(const std::string &db) {
  fill_backlog(49, BACKLOG);
  std::string url;
  pid_t server = start_server(db, 0, &url);
  double start = steady_seconds();
  bool ok = finish_child(start_sender(49, url, 0, 600), "sender", RUN_TIMEOUT_S).status == 0;
  double seconds = steady_seconds() - start;
  stop_child(server, SIGTERM, 60);
  return ok ? BACKLOG / seconds : 0;
}

// The report's figures: median wall time of three runs, and its CPU.
struct report_figures {
  double seconds = -1, cpu_seconds = -1;
};

report_figures time_report(const std::string &db) {
  std::vector<std::pair<double, double>> runs;
  for (int i = 0; i < 3; i++) {
    child_setup quiet;
    quiet.out_dropped = true;
    pid_t p = start_child({line_program, "report", "--db", db}, "report", quiet);
    child_result r = finish_child(p, "report", RUN_TIMEOUT_S);
    runs.push_back(r.status == 0 ? std::make_pair(r.ended_at - r.started_at, r.cpu_seconds)
                                 : std::make_pair(-1.0, -1.0));
  }
  std::sort(runs.begin(), runs.end());
  return {runs[1].first, runs[1].second};
}

// A line database of REPORT_BOARDS boards (50 stations of 16 slots, one
// board in 12 failed with a fault), made by the server's own tables and
// filled in SQL, then the report's figures.
report_figures report_sqlite(void) {
  std::string db = dir + "/report.db";
  std::string url;
  // The server makes the line's tables.
  pid_t server = start_server(db, 0, &url);
  stop_child(server, SIGTERM, 60);
  sqlite3 *raw = nullptr;
  sqlite3_open(db.c_str(), &raw);
  std::string fill =
      "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < " +
      std::to_string(REPORT_BOARDS - 1) +
      ") INSERT INTO boards (serial, slot, port, station, started, ended, seconds, outcome,"
      " sdram_passes, sdram_failed, uid, received, content_hash)"
      " SELECT 'SN-' || (i / 1), 'S' || (i % 16), 'p', 'st' || (i % 50),"
      " strftime('%Y-%m-%dT%H:%M:%SZ', 1790000000 + i * 8, 'unixepoch'),"
      " strftime('%Y-%m-%dT%H:%M:%SZ', 1790000060 + i * 8, 'unixepoch'), 60,"
      " CASE WHEN i % 12 = 5 THEN 'failed' ELSE 'passed' END, 1, i % 12 = 5,"
      " printf('%08x-0000-4000-8000-%012x', i, i), '2026-12-09T00:00:00Z', '' FROM n;"
      " INSERT INTO board_faults (board_id, test, kind, words)"
      " SELECT id, 'sdram', 'data_stuck', 'data line ' || (id % 32) || ' stuck at 0'"
      " FROM boards WHERE outcome = 'failed';";
  sqlite3_exec(raw, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_exec(raw, fill.c_str(), nullptr, nullptr, nullptr);
  sqlite3_exec(raw, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(raw);
  return time_report(db);
}

// The same boards in PostgreSQL.
report_figures report_postgres(const std::string &conninfo) {
  std::string url;
  pid_t server = start_server(conninfo, 0, &url);
  stop_child(server, SIGTERM, 60);
  std::string fill =
      "TRUNCATE boards, board_faults;"
      " INSERT INTO boards (serial, slot, port, station, started, ended, seconds, outcome,"
      " sdram_passes, sdram_failed, uid, received, content_hash)"
      " SELECT 'SN-' || i, 'S' || (i % 16), 'p', 'st' || (i % 50),"
      " to_char(to_timestamp(1790000000 + i * 8) AT TIME ZONE 'UTC',"
      " 'YYYY-MM-DD\"T\"HH24:MI:SS\"Z\"'),"
      " to_char(to_timestamp(1790000060 + i * 8) AT TIME ZONE 'UTC',"
      " 'YYYY-MM-DD\"T\"HH24:MI:SS\"Z\"'), 60,"
      " CASE WHEN i % 12 = 5 THEN 'failed' ELSE 'passed' END, 1, (i % 12 = 5)::int,"
      " lpad(to_hex(i), 8, '0') || '-0000-4000-8000-' || lpad(to_hex(i), 12, '0'),"
      " '2026-12-09T00:00:00Z', '' FROM generate_series(0, " +
      std::to_string(REPORT_BOARDS - 1) +
      ") i;"
      " INSERT INTO board_faults (board_id, test, kind, words)"
      " SELECT id, 'sdram', 'data_stuck', 'data line ' || (id % 32) || ' stuck at 0'"
      " FROM boards WHERE outcome = 'failed';"
      " ANALYZE;";
  PGconn *c = PQconnectdb(conninfo.c_str());
  PGresult *r = PQexec(c, fill.c_str());
  bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
  if (!ok) fprintf(stderr, "line_bench: %s", PQerrorMessage(c));
  PQclear(r);
  PQfinish(c);
  return ok ? time_report(conninfo) : report_figures();
}

void print_report_figures(bool have_postgres, const std::string &conninfo) {
  report_figures lite = report_sqlite();
  report_figures pg = have_postgres ? report_postgres(conninfo) : report_figures();
  printf("%-44s %12.2f %12.2f %10s\n", "report over 1,000,000 records (s)", lite.seconds,
         pg.seconds, "< 2");
  printf("%-44s %12.0f %12.0f %10s\n", "report, records per second", REPORT_BOARDS / lite.seconds,
         REPORT_BOARDS / pg.seconds, ">= 500000");
  printf("%-44s %12.2f %12.2f %10s\n", "report's own CPU (s; the server's aside)", lite.cpu_seconds,
         pg.cpu_seconds, "-");
  fflush(stdout);
}

// The station's CPU: two stations at once on the same kind of boards, one
// without the line and one with it, so that both meet the same load of the
// machine (a station's CPU grows with its wall time: its loop ticks). Each
// has 8 slots, a boardsim with a stream of sound boards per slot, and every
// board is scanned (--require-serial, a serial typed when the slot asks for
// it) and checked against the retest limit (--max-attempts): with --line
// each board is a record sent and a serial asked of the line, beside the
// heartbeats. A station's own CPU (its korvane children aside) is read from
// /proc as it ends, in clock ticks. Boards back to back (a board every
// second or two per slot, where the line's cost per board shows most), then
// paced as an operator would place them, though six times faster than a
// line's board a minute per slot.
const int CPU_SLOTS = 8;
const int CPU_PAIRS = 3;
struct cpu_pace {
  const char *name;
  int boards_each;
  double seconds;  // from a slot's asking for its serial to the serial typed
} const CPU_PACES[] = {{"boards back to back", 25, 0}, {"a board every 10 s per slot", 5, 10}};

struct cpu_station {
  pid_t pid = -1;
  int typing = -1, output = -1;  // its standard input and output
  std::vector<pid_t> boards;
  std::string out;
  size_t scanned_to = 0;  // what of out was looked at for serials asked
  int serials = 0, verdicts = 0;
  std::vector<std::pair<double, std::string>> due;  // serials to type, and when
  double cpu = -1;
  double whole = -1;                      // its CPU and its korvane children's, to the microsecond
  std::map<std::string, double> threads;  // CPU by thread name, read just before its end
};

// A /proc stat file's utime + stime, in seconds (to the clock tick).
bool stat_cpu(const std::string &path, double *own) {
  std::string text = read_file(path);
  size_t at = text.rfind(')');
  unsigned long utime = 0, stime = 0;
  if (at == std::string::npos ||
      std::sscanf(text.c_str() + at + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu",
                  &utime, &stime) != 2)
    return false;
  double tick = (double)sysconf(_SC_CLK_TCK);
  *own = (utime + stime) / tick;
  return true;
}

// The station's CPU by thread name (the main thread goes by the program's).
void read_threads(cpu_station *s) {
  std::string tasks = "/proc/" + std::to_string(s->pid) + "/task";
  DIR *dir_of_tasks = opendir(tasks.c_str());
  if (!dir_of_tasks) return;
  while (dirent *e = readdir(dir_of_tasks)) {
    if (e->d_name[0] == '.') continue;
    std::string task = tasks + "/" + e->d_name;
    std::string name = read_file(task + "/comm");
    if (!name.empty() && name.back() == '\n') name.pop_back();
    double cpu = 0;
    if (stat_cpu(task + "/stat", &cpu)) s->threads[name] += cpu;
  }
  closedir(dir_of_tasks);
}

std::string threads_text(const cpu_station &s) {
  std::string out;
  char item[64];
  for (const auto &t : s.threads) {
    std::snprintf(item, sizeof item, "%s%s %.2f", out.empty() ? "" : ", ", t.first.c_str(),
                  t.second);
    out += item;
  }
  return out;
}

bool cpu_station_start(cpu_station *s, const std::string &tag, int boards_each,
                       const std::vector<std::string> &line_args) {
  {
    std::ofstream boards(dir + "/cpu-boards");
    for (int i = 0; i < boards_each; i++) boards << "\n";
  }
  std::vector<std::string> argv = {station_program,
                                   "--korvane",
                                   korvane_program,
                                   "--db",
                                   dir + "/station-cpu-" + tag + ".db",
                                   "--logs",
                                   dir + "/logs-" + tag,
                                   "--station",
                                   "st0",
                                   "--require-serial",
                                   "--max-attempts",
                                   "3"};
  argv.insert(argv.end(), line_args.begin(), line_args.end());
  for (int i = 0; i < CPU_SLOTS; i++) {
    pid_t b = start_child({boardsim_program, "--boards", dir + "/cpu-boards"}, "boardsim");
    std::string port;
    if (!read_child_line(b, &port, 60)) return false;
    s->boards.push_back(b);
    argv.push_back("S" + std::to_string(i) + "=" + port);
  }
  int in[2], out[2];
  if (pipe(in) != 0 || pipe(out) != 0) return false;
  s->pid = fork();
  if (s->pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 2);
    for (int fd : {in[0], in[1], out[0], out[1], null}) close(fd);
    std::vector<char *> args;
    for (std::string &a : argv) args.push_back(&a[0]);
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  s->typing = in[1];
  s->output = out[0];
  return s->pid > 0;
}

// Takes what the station wrote: each slot that asks for its serial gets the
// next one, each verdict is counted.
void cpu_station_read(cpu_station *s, const std::string &tag, double pace) {
  char buffer[4096];
  ssize_t n = read(s->output, buffer, sizeof buffer);
  if (n <= 0) return;
  s->out.append(buffer, (size_t)n);
  for (;;) {
    size_t end = s->out.find('\n', s->scanned_to);
    if (end == std::string::npos) return;
    std::string line = s->out.substr(s->scanned_to, end - s->scanned_to);
    s->scanned_to = end + 1;
    // "TIME S3: waiting for its serial": the slot is the second word.
    size_t slot_at = line.find(' ') + 1, colon = line.find(':', slot_at);
    std::string said = colon == std::string::npos ? "" : line.substr(colon);
    if (said == ": waiting for its serial") {
      s->due.push_back({steady_seconds() + pace, line.substr(slot_at, colon - slot_at) + "=KV-" +
                                                     tag + "-" + std::to_string(s->serials++) +
                                                     "\n"});
    } else if (said.compare(0, 8, ": PASS (") == 0) {
      s->verdicts++;
    }
  }
}

// Ends the station, its CPU read just before it is waited for.
void cpu_station_end(cpu_station *s) {
  read_threads(s);
  kill(s->pid, SIGINT);
  close(s->typing);
  char buffer[4096];
  double until = steady_seconds() + 60;
  while (steady_seconds() < until) {
    std::string state = read_file("/proc/" + std::to_string(s->pid) + "/stat");
    if (state.find(") Z") != std::string::npos) {
      if (!stat_cpu("/proc/" + std::to_string(s->pid) + "/stat", &s->cpu)) s->cpu = -1;
      break;
    }
    // Its last lines are read, so that it never waits on a full pipe.
    pollfd p = {s->output, POLLIN, 0};
    if (poll(&p, 1, 10) > 0 && read(s->output, buffer, sizeof buffer) <= 0) usleep(10000);
  }
  if (s->cpu < 0) kill(s->pid, SIGKILL);
  rusage used = {};
  if (wait4(s->pid, nullptr, 0, &used) == s->pid && s->cpu >= 0)
    s->whole = used.ru_utime.tv_sec + used.ru_stime.tv_sec +
               (used.ru_utime.tv_usec + used.ru_stime.tv_usec) / 1e6;
  close(s->output);
  for (pid_t b : s->boards) stop_child(b, SIGTERM, 10);
}

// The serials whose time has come are typed.
void cpu_station_type(cpu_station *s) {
  double now = steady_seconds();
  for (auto it = s->due.begin(); it != s->due.end();) {
    if (it->first > now) {
      ++it;
      continue;
    }
    if (write(s->typing, it->second.data(), it->second.size()) < 0) return;
    it = s->due.erase(it);
  }
}

// One pair at once; false when it could not be measured.
bool station_cpu_pair(int run, const cpu_pace &pace, const std::string &url, double *without,
                      double *with, double *without_all, double *with_all) {
  cpu_station alone, lined;
  std::string a = std::to_string(2 * run), b = std::to_string(2 * run + 1);
  bool ok = cpu_station_start(&alone, a, pace.boards_each, {}) &&
            cpu_station_start(&lined, b, pace.boards_each,
                              {"--line", url, "--line-token", dir + "/st0.token"});
  const int all = CPU_SLOTS * pace.boards_each;
  double until = steady_seconds() + RUN_TIMEOUT_S;
  while (ok && (alone.verdicts < all || lined.verdicts < all) && steady_seconds() < until) {
    cpu_station_type(&alone);
    cpu_station_type(&lined);
    pollfd p[2] = {{alone.output, POLLIN, 0}, {lined.output, POLLIN, 0}};
    if (poll(p, 2, 20) <= 0) continue;
    if (p[0].revents) cpu_station_read(&alone, a, pace.seconds);
    if (p[1].revents) cpu_station_read(&lined, b, pace.seconds);
  }
  ok = ok && alone.verdicts == all && lined.verdicts == all;
  for (cpu_station *s : {&alone, &lined})
    if (s->pid > 0) cpu_station_end(s);
  *without = alone.cpu;
  *with = lined.cpu;
  *without_all = alone.whole;
  *with_all = lined.whole;
  if (ok) {
    printf("    threads without: %s\n    threads with:    %s\n", threads_text(alone).c_str(),
           threads_text(lined).c_str());
  }
  return ok && alone.cpu > 0 && lined.cpu > 0 && alone.whole > 0 && lined.whole > 0;
}

// Pairs of stations at each pace, each pair's ratio printed and the median
// of the ratios: the figures.
void station_cpu_figure(void) {
  std::string url;
  pid_t server = start_server(dir + "/cpu.db", 0, &url);
  int run = 0;
  for (const cpu_pace &pace : CPU_PACES) {
    std::vector<double> ratios, whole_ratios;
    printf(
        "station CPU, a station without the line and one with it at once, %d slots x %d"
        " boards each,\n  every board scanned, --max-attempts 3, %s:\n",
        CPU_SLOTS, pace.boards_each, pace.name);
    for (int pair = 0; pair < CPU_PAIRS; pair++) {
      double without = 0, with = 0, without_all = 0, with_all = 0;
      if (!station_cpu_pair(run++, pace, url, &without, &with, &without_all, &with_all)) {
        printf("  pair %d: not measured\n", pair + 1);
        continue;
      }
      ratios.push_back(100 * with / without);
      whole_ratios.push_back(100 * with_all / without_all);
      printf("  pair %d: %.2f s without, %.2f s with --line: %.1f%%\n", pair + 1, without, with,
             ratios.back());
      printf("    with its korvane children: %.2f s without, %.2f s with: %.1f%%\n", without_all,
             with_all, whole_ratios.back());
      fflush(stdout);
    }
    std::sort(ratios.begin(), ratios.end());
    std::sort(whole_ratios.begin(), whole_ratios.end());
    printf("%-44s %12.1f %12s %10s\n", "station CPU with --line over without (%)",
           ratios.empty() ? 0 : ratios[ratios.size() / 2], "-", "<= 105");
    printf("%-44s %12.1f %12s %10s\n", "  the same, its korvane children counted (%)",
           whole_ratios.empty() ? 0 : whole_ratios[whole_ratios.size() / 2], "-", "<= 105");
    fflush(stdout);
  }
  stop_child(server, SIGTERM, 60);
}

}  // namespace

int main(int argc, char **argv) {
  std::string mode = argc == 7 ? argv[6] : "";
  bool report_only = mode == "report", cpu_only = mode == "station-cpu";
  if (argc != 6 && !report_only && !cpu_only) {
    fprintf(stderr,
            "usage: line_bench KORVANE_LINE LINE_SENDER_DRIVER KORVANE_STATION KORVANE BOARDSIM"
            " [report | station-cpu]\n");
    return 2;
  }
  line_program = argv[1];
  driver_program = argv[2];
  station_program = argv[3];
  korvane_program = argv[4];
  boardsim_program = argv[5];
  dir = temp_dir("line-bench");
  write_tokens();
  if (cpu_only) {
    station_cpu_figure();
    remove_tree(dir);
    return 0;
  }
  postgres_server postgres;
  std::string why;
  bool have_postgres = postgres_start(&postgres, &why);
  if (!have_postgres) printf("PostgreSQL: not measured: %s\n", why.c_str());
  double load[1] = {0};
  if (getloadavg(load, 1) == 1) printf("load average at the start: %.1f\n", load[0]);
  printf("%-44s %12s %12s %10s\n", "figure", "SQLite", "PostgreSQL", "goal");
  if (report_only) {
    print_report_figures(have_postgres, postgres.conninfo);
    postgres_stop(&postgres);
    remove_tree(dir);
    return 0;
  }
  double sqlite_ingest = ingest(dir + "/ingest.db");
  double pg_ingest = have_postgres ? ingest(postgres.conninfo) : 0;
  printf("%-44s %12.0f %12.0f %10s\n", "ingest, 50 stations sending (records/s)", sqlite_ingest,
         pg_ingest, ">= 500");
  fflush(stdout);
  double sqlite_drain = drain(dir + "/drain.db");
  double pg_drain = have_postgres ? drain(postgres.conninfo) : 0;
  printf("%-44s %12.0f %12.0f %10s\n", "backlog of 10,000 drained (records/s)", sqlite_drain,
         pg_drain, ">= 200");
  fflush(stdout);
  print_report_figures(have_postgres, postgres.conninfo);
  station_cpu_figure();
  postgres_stop(&postgres);
  remove_tree(dir);
  return 0;
}

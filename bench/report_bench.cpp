// korvane-station's report and history on a large database: 100,000 boards
// (and 10,000 beside them, to show memory flat in the number of boards),
// written here with a fixed seed: 16 slots at two stations over 100 days,
// one board in 20 retested, one in 12 failed with one of 60 faults, but on
// one slot (line-1 slot 5, a worn fixture) one in 8. For each command, the
// median wall time of five runs of the whole program and its peak resident
// memory, and the report's slots to check. Goals: report (with its slots to
// check and bus lines across boards) under 1 s, history under 50 ms, memory
// the same at both sizes. Prints figures; nothing here passes or fails.
//
// Usage: report_bench REPORT_DRIVER
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "child_process.h"
#include "report_boards.h"
#include "test_files.h"

namespace {

const unsigned SEED = 26;
const int FAULT_KINDS = 60;
// A bound on one run, far beyond its time.
const double RUN_TIMEOUT_S = 600;

struct run_figures {
  double seconds = 0;
  double cpu_seconds = 0;
  long peak_kb = 0;
  int status = -1;
};

// One run of the program, its output thrown away: wall time and peak memory.
run_figures run_once(const std::vector<std::string> &args) {
  run_figures f;
  child_setup setup;
  setup.out_dropped = true;
  pid_t pid = start_child(args, args[0], setup);
  if (pid < 0) return f;
  child_result r = finish_child(pid, args[0], RUN_TIMEOUT_S);
  fputs(r.err.c_str(), stderr);
  if (r.timed_out) return f;
  f.seconds = r.ended_at - r.started_at;
  f.peak_kb = r.peak_kb;
  f.cpu_seconds = r.cpu_seconds;
  f.status = r.status;
  return f;
}

// The median time of five runs, the largest peak.
run_figures measure(const std::vector<std::string> &args) {
  std::vector<run_figures> runs;
  for (int i = 0; i < 5; ++i) runs.push_back(run_once(args));
  std::sort(runs.begin(), runs.end(),
            [](const run_figures &a, const run_figures &b) { return a.seconds < b.seconds; });
  run_figures out = runs[2];
  std::vector<double> cpu;
  for (const run_figures &r : runs) {
    out.peak_kb = std::max(out.peak_kb, r.peak_kb);
    cpu.push_back(r.cpu_seconds);
  }
  std::sort(cpu.begin(), cpu.end());
  out.cpu_seconds = cpu[2];
  return out;
}

std::string iso_time(long long seconds_since_start) {
  // Day 0 is 2026-09-01; the station runs 08:00 onwards.
  long long day = seconds_since_start / 86400, rest = seconds_since_start % 86400;
  static const int month_days[] = {30, 31, 30, 31, 31, 28};  // Sep .. Feb
  int month = 9, year = 2026;
  for (int i = 0; day >= month_days[i]; ++i) {
    day -= month_days[i];
    if (++month == 13) {
      month = 1;
      ++year;
    }
  }
  char text[64];
  snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", year, month, int(day + 1),
           int(rest / 3600), int(rest / 60 % 60), int(rest % 60));
  return text;
}

// The boards, and the serials they point into.
void make_boards(int count, std::vector<std::string> *serials, std::vector<report_board> *boards) {
  std::mt19937 random(SEED);
  serials->reserve(size_t(count));
  int per_day = count / 100;
  for (int i = 0; i < count; ++i) {
    // One board in 20 is a retest of a board five cycles earlier.
    bool retest = i >= 5 && random() % 20 == 0;
    serials->push_back(retest ? (*serials)[size_t(i - 5)] : "SN" + std::to_string(100000 + i));
    bool worn = i % 16 == 4;  // line-1, slot 5
    bool failed = random() % (worn ? 8 : 12) == 0;
    int fault = int(random() % FAULT_KINDS);
    report_board b = {nullptr,
                      i % 2 ? "line-2" : "line-1",
                      std::to_string(i % 8 + 1),
                      iso_time((i / per_day) * 86400LL + 8 * 3600 + (i % per_day) * 30),
                      40.0 + double(random() % 200) / 10,
                      failed ? "failed" : "passed",
                      {},
                      "",
                      "korvane-logs/SN" + std::to_string(i) + ".log"};
    if (failed) {
      int line = fault % 16;
      std::string words = fault < 16 ? "data line " + std::to_string(line) + " stuck at 1"
                                     : "flash check " + std::to_string(fault);
      b.faults.push_back(
          {fault < 16 ? "sdram" : "flash", fault < 16 ? "data_stuck" : "device", words});
      b.diagnosis_json =
          "{\"schema\": 2, \"sdram\": {\"faults\": [{\"kind\": \"data_stuck\", "
          "\"lines\": [" +
          std::to_string(line) + "], \"level\": 1, \"wiring\": null, \"words\": \"" + words +
          "\"}]}, \"flash\": null}";
    }
    boards->push_back(b);
  }
  for (size_t i = 0; i < boards->size(); ++i) (*boards)[i].serial = (*serials)[i].c_str();
}

double file_megabytes(const std::string &path) {
  struct stat st = {};
  return stat(path.c_str(), &st) == 0 ? double(st.st_size) / 1e6 : 0;
}

// The database is written by a child of its own, which also names a serial
// that came back (for the history): a program spawned from a parent that
// once held the 100,000 boards would report the parent's peak as its own.
bool write_database(const std::string &db, int count, std::string *retested) {
  std::string named = db + ".retested";
  pid_t pid = start_child_function(
      [&] {
        std::vector<std::string> serials;
        std::vector<report_board> boards;
        make_boards(count, &serials, &boards);
        std::string why, serial = serials[serials.size() / 2];
        for (size_t i = serials.size() / 2; i < serials.size(); ++i) {
          if (serials[i] == serials[i - 5]) {
            serial = serials[i];
            break;
          }
        }
        bool ok = write_board_database(db, boards, &why);
        if (!ok) fprintf(stderr, "report_bench: %s\n", why.c_str());
        FILE *f = fopen(named.c_str(), "w");
        ok = ok && f && fputs(serial.c_str(), f) >= 0;
        if (f) fclose(f);
        return ok ? 0 : 1;
      },
      "the database's writer");
  child_result r =
      pid < 0 ? child_result() : finish_child(pid, "the database's writer", RUN_TIMEOUT_S);
  fputs(r.err.c_str(), stderr);
  *retested = read_file(named);
  return r.status == 0 && !retested->empty();
}

// The report's slots to check, as it prints them: the worn slot should be
// there, and chance alone flags about one slot in a hundred.
void print_slot_checks(const std::string &driver, const std::string &db) {
  pid_t pid = start_child({driver, "report", "--db", db}, driver);
  if (pid < 0) return;
  child_result r = finish_child(pid, driver, RUN_TIMEOUT_S);
  size_t start = r.out.find("Slots to check:\n");
  size_t end = r.out.find("Faults, most frequent first:");
  if (start == std::string::npos || end == std::string::npos) return;
  std::string section = r.out.substr(start, end - start), indented;
  for (size_t at = 0, next; at < section.size(); at = next + 1) {
    next = section.find('\n', at);
    indented += "  " + section.substr(at, next - at + 1);
  }
  fputs(indented.c_str(), stdout);
}

void bench_size(const std::string &driver, const std::string &dir, int count) {
  std::string db = dir + "/station-" + std::to_string(count) + ".db", retested;
  if (!write_database(db, count, &retested)) return;
  const struct {
    const char *name;
    std::vector<std::string> args;
  } commands[] = {
      {"report", {driver, "report", "--db", db}},
      {"report --csv", {driver, "report", "--db", db, "--csv"}},
      {"report --html", {driver, "report", "--db", db, "--html", dir + "/report.html"}},
      {"report --since (last 10 days)", {driver, "report", "--db", db, "--since", "2026-11-30"}},
      {"history", {driver, "history", retested, "--db", db}},
      {"history --html", {driver, "history", retested, "--db", db, "--html", dir + "/h.html"}},
  };
  printf("%d boards (database %.1f MB):\n", count, file_megabytes(db));
  for (const auto &c : commands) {
    run_figures f = measure(c.args);
    printf("  %-30s %7.1f ms  (CPU %6.1f ms)  peak %6ld KB  status %d\n", c.name, f.seconds * 1000,
           f.cpu_seconds * 1000, f.peak_kb, f.status);
  }
  print_slot_checks(driver, db);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    fputs("Usage: report_bench REPORT_DRIVER\n", stderr);
    return 2;
  }
  std::string dir = temp_dir("report_bench");
  printf("goals: report under 1000 ms, history under 50 ms, memory flat in the boards\n");
  double load[1] = {0};
  if (getloadavg(load, 1) == 1) printf("load average at the start: %.1f\n", load[0]);
  bench_size(argv[1], dir, 10000);
  bench_size(argv[1], dir, 100000);
  remove_tree(dir);
  return 0;
}

// The run's JSON and JUnit reports through a long day: 100,000 synthetic
// boards (one in 12 failed with a diagnosis, one in 40 in error) added
// through the station's own report writer, each board made durable as the
// station makes it. Prints the time per board and the resident memory over
// the first thousand boards and over the last: flat when a board costs the
// same however many came before it. Nothing here passes or fails.
//
// Usage: run_reports_bench [FOLDER [BOARDS]]
//   FOLDER defaults to /dev/shm, so that the figures are the writer's and
//   not the disk's syncs.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "station/records/run_files.h"
#include "test_files.h"

namespace {

long resident_kb() {
  long pages = 0, resident = 0;
  FILE *f = fopen("/proc/self/statm", "r");
  if (f && fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
  if (f) fclose(f);
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

board_record board_number(long n) {
  board_record b;
  b.id = n + 1;
  b.serial = "KV-" + std::to_string(100000 + n);
  b.slot = std::string(1, (char)('a' + n % 16));
  b.port = "/dev/ttyUSB" + std::to_string(n % 16);
  b.station = "bench";
  b.started = "2026-12-09T11:22:12Z";
  b.ended = "2026-12-09T11:23:02Z";
  b.seconds = 50.25;
  b.sdram_passes = b.flash_passes = 1;
  b.korvane_status = 0;
  b.log = "/logs/" + b.serial + "-20261209T112212Z.log";
  b.outcome = board_outcome::passed;
  if (n % 12 == 5) {
    b.outcome = board_outcome::failed;
    b.sdram_failed = 1;
    b.diagnosis = "SDRAM: data line 5 stuck at 1\n";
    b.diagnosis_json =
        "{\"sdram\":{\"groups\":[{\"result\":\"failed\",\"words\":\"data line 5 stuck at 1\","
        "\"verdict\":\"faulty\",\"passes\":1,\"first_passes\":[1]}]},\"flash\":null}";
    b.faults = {{"sdram", "data_stuck", "data line 5 stuck at 1"}};
  } else if (n % 40 == 7) {
    b.outcome = board_outcome::error;
    b.korvane_status = 1;
    b.message = "Lost serial port /dev/ttyUSB3.";
  }
  return b;
}

struct span {
  double seconds = 0;
  long kb_before = 0, kb_after = 0;
};

}  // namespace

int main(int argc, char **argv) {
  std::string parent = argc > 1 ? argv[1] : "/dev/shm";
  long boards = argc > 2 ? std::atol(argv[2]) : 100000;
  const long SPAN = 1000;
  if (boards < 2 * SPAN) boards = 2 * SPAN;
  setenv("TMPDIR", parent.c_str(), 1);
  std::string dir = temp_dir("run-reports-bench");
  if (dir.empty()) {
    std::fprintf(stderr, "run_reports_bench: cannot make a folder in %s\n", parent.c_str());
    return 1;
  }
  std::string why;
  run_report *json = run_report_start(dir + "/run.json", report_kind::json, &why);
  run_report *junit = json ? run_report_start(dir + "/run.xml", report_kind::junit, &why) : nullptr;
  if (!junit) {
    std::fprintf(stderr, "run_reports_bench: %s\n", why.c_str());
    return 1;
  }
  span first, last;
  board_counts counts;
  for (long n = 0; n < boards; n++) {
    span *s = n < SPAN ? &first : n >= boards - SPAN ? &last : nullptr;
    if (s && (n == 0 || n == boards - SPAN)) s->kb_before = resident_kb();
    board_record b = board_number(n);
    auto start = std::chrono::steady_clock::now();
    // The counts as the station gives them; its tally of serials is the
    // station's, not the writer's, so each board is a unit of its own here.
    board_counts_add(&counts, nullptr, b.serial, b.outcome, true);
    bool ok = run_report_add(json, b, counts, &why) && run_report_add(junit, b, counts, &why);
    double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!ok) {
      std::fprintf(stderr, "run_reports_bench: board %ld: %s\n", n, why.c_str());
      return 1;
    }
    if (s) {
      s->seconds += took;
      if (n == SPAN - 1 || n == boards - 1) s->kb_after = resident_kb();
    }
  }
  long json_kb = 0, xml_kb = 0;
  {
    FILE *f = fopen((dir + "/run.json").c_str(), "rb");
    if (f && fseek(f, 0, SEEK_END) == 0) json_kb = ftell(f) / 1024;
    if (f) fclose(f);
    f = fopen((dir + "/run.xml").c_str(), "rb");
    if (f && fseek(f, 0, SEEK_END) == 0) xml_kb = ftell(f) / 1024;
    if (f) fclose(f);
  }
  run_report_end(json);
  run_report_end(junit);
  remove_tree(dir);
  std::printf(
      "%ld boards through the JSON and JUnit reports in %s (%ld KB and %ld KB at the end)\n",
      boards, parent.c_str(), json_kb, xml_kb);
  std::printf("  first %ld boards: %.1f us per board, resident %ld KB -> %ld KB\n", SPAN,
              first.seconds / SPAN * 1e6, first.kb_before, first.kb_after);
  std::printf("  last %ld boards:  %.1f us per board, resident %ld KB -> %ld KB\n", SPAN,
              last.seconds / SPAN * 1e6, last.kb_before, last.kb_after);
  std::printf("  last / first time per board: %.2f\n", last.seconds / first.seconds);
  return 0;
}

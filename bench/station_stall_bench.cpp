// How long korvane-station's view and its other slots wait while a soak's
// log of 46 MB (20,001 verbose passes) is diagnosed. Two slots run stand-ins
// for korvane: slot B reports a test every 20 ms for twelve seconds; slot A,
// a second in, ends a board whose log is the 46 MB one. The station's event
// lines for B are timed as they arrive: the longest gap beyond B's own 20 ms
// while A's log is diagnosed is what the view and the slots waited (goal:
// 100 ms at most). Prints figures; nothing here passes or fails.
//
// Usage: station_stall_bench KORVANE-STATION
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "child_process.h"
#include "korvane_logs.h"
#include "test_files.h"

namespace {

double seconds_now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool write_soak_log(const std::string &path, long *bytes) {
  FILE *f = fopen(path.c_str(), "wb");
  if (!f) return false;
  const std::string sound = traced_sdram_test(sdram_fault_config{});
  const std::string faulty =
      traced_sdram_test(sdram_fault_set({{sdram_fault_kind::data_stuck, 5, 1}}));
  const std::string flash = traced_flash_test(good_flash());
  for (int pass = 1; pass <= 20001; ++pass) {
    fputs((pass % 7 ? sound : faulty).c_str(), f);
    fputs(flash.c_str(), f);
  }
  *bytes = ftell(f);
  return fclose(f) == 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: station_stall_bench KORVANE-STATION\n");
    return 2;
  }
  std::string dir = temp_dir("station-stall-bench");
  long bytes = 0;
  if (dir.empty() || !write_soak_log(dir + "/soak.log", &bytes)) {
    fprintf(stderr, "station_stall_bench: cannot write the soak log\n");
    return 1;
  }
  // The stand-in: its log where korvane -l puts it (the fifth argument), the
  // port (the second) telling the slots apart.
  std::string korvane = dir + "/korvane";
  FILE *f = fopen(korvane.c_str(), "w");
  fprintf(f,
          "#!/bin/sh\n: >\"$5\"\n"
          "printf 'Waiting for the board to wake up...\\r   \\r'\n"
          "if [ \"$2\" = /dev/a ]; then\n"
          "  sleep 1; cp '%s/soak.log' \"$5\"\n"
          "  printf 'Testing SDRAM... passed\\nTesting FLASH... passed\\n'; exit 0\n"
          "fi\n"
          "i=0; while [ $i -lt 600 ]; do\n"
          "  printf 'Testing SDRAM... passed\\n'; sleep 0.02; i=$((i+1))\n"
          "done\n"
          "printf 'Testing FLASH... passed\\n'\n",
          dir.c_str());
  fclose(f);
  chmod(korvane.c_str(), 0755);
  pid_t station =
      start_child({argv[1], "--once", "--korvane", korvane, "--db", dir + "/s.db", "--logs",
                   dir + "/logs", "--station", "bench", "A=/dev/a", "B=/dev/b"},
                  "korvane-station");
  std::vector<double> b_lines;
  double a_done = 0, start = seconds_now();
  size_t seen = 0;
  read_child_until(
      station,
      [&](const child_result &r) {
        size_t end;
        while ((end = r.out.find('\n', seen)) != std::string::npos) {
          std::string line = r.out.substr(seen, end - seen);
          seen = end + 1;
          if (line.find(" B: SDRAM passed") != std::string::npos) b_lines.push_back(seconds_now());
          if (line.find(" A: PASS") != std::string::npos) a_done = seconds_now();
        }
        return false;
      },
      120);
  finish_child(station, "korvane-station", 30);
  remove_tree(dir);
  if (b_lines.size() < 3 || !a_done) {
    fprintf(stderr, "station_stall_bench: the station's lines were not as expected\n");
    return 1;
  }
  std::vector<double> gaps;
  double longest = 0;
  for (size_t i = 1; i < b_lines.size(); i++) {
    double gap = b_lines[i] - b_lines[i - 1];
    gaps.push_back(gap);
    longest = std::max(longest, gap);
  }
  // The three longest, and when they ended against A's verdict.
  std::vector<std::pair<double, double>> worst;
  for (size_t i = 1; i < b_lines.size(); i++)
    worst.push_back({b_lines[i] - b_lines[i - 1], b_lines[i] - a_done});
  std::sort(worst.rbegin(), worst.rend());
  std::sort(gaps.begin(), gaps.end());
  printf("A soak log of %.1f MB diagnosed while slot B reports a test every 20 ms:\n", bytes / 1e6);
  printf("  slot A's verdict %.2f s after the start; %zu lines of slot B\n", a_done - start,
         b_lines.size());
  printf("  gap between B's lines: median %.0f ms, longest %.0f ms\n", gaps[gaps.size() / 2] * 1000,
         longest * 1000);
  for (size_t i = 0; i < 3 && i < worst.size(); i++)
    printf("  gap of %.0f ms ending %+.2f s from A's verdict\n", worst[i].first * 1000,
           worst[i].second);
  printf("  the view waited at most %.0f ms between two turns of the loop (goal: 100 ms)\n",
         longest * 1000);
  return 0;
}

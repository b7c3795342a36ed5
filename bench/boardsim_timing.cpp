// Timings of korvane against boardsim at the real line rate: the download
// against what the wire allows, the time to the monitor's first prompt, a
// plain and a verbose pass, korvane's CPU time against its wall time, and
// the CPU an idle board takes. Prints a table; nothing here passes or fails.
//
// Usage: boardsim_timing KORVANE BOARDSIM IMAGE
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "child_process.h"

namespace {

const long BAUD = 115200;
const double BITS_PER_BYTE = 10;

struct pass_figures {
  bool ok = false;
  double wall_s = 0, cpu_s = 0;
  double nak_s = 0, eot_ack_s = 0, first_prompt_s = 0;  // from korvane's start
  double board_idle_cpu_s = 0, idle_s = 0;
};

// The time boardsim stamped on one of its events, or -1.
double event_time(const std::string &err, const std::string &what) {
  std::string key = "boardsim: " + what + " at ";
  size_t at = err.find(key);
  return at == std::string::npos ? -1 : atof(err.c_str() + at + key.size());
}

pass_figures run_pass(const char *korvane, const char *boardsim, bool verbose, double idle_s) {
  pass_figures f;
  pid_t board = start_child({boardsim, "--baud", std::to_string(BAUD), "--timestamps"}, "boardsim");
  if (board < 0) return f;
  std::string port;
  auto has_line = [&](const child_result &r) {
    port = r.out.substr(0, r.out.find('\n'));
    return r.out.find('\n') != std::string::npos;
  };
  if (!read_child_until(board, has_line, 5)) {
    stop_child(board, SIGTERM, 5);
    return f;
  }
  std::vector<std::string> args = {korvane, "-p", port};
  if (verbose) args.push_back("-v");
  double start = steady_seconds();
  pid_t k = start_child(args, "korvane");
  child_result r = finish_child(k, "korvane", 60);
  if (k > 0 && r.status == 0) {
    f.wall_s = r.ended_at - start;
    f.cpu_s = r.cpu_seconds;
    // The monitor now waits for a command that never comes: an idle board.
    double before = child_cpu_seconds(board);
    read_child_until(
        board, [](const child_result &) { return false; }, idle_s);
    f.board_idle_cpu_s = child_cpu_seconds(board) - before;
    f.idle_s = idle_s;
    f.ok = true;
  } else {
    fprintf(stderr, "korvane failed (status %d): %s\n", r.status, r.err.c_str());
  }
  child_result b = stop_child(board, SIGTERM, 5);
  f.nak_s = event_time(b.err, "wake-up answered") - start;
  f.eot_ack_s = event_time(b.err, "download acknowledged") - start;
  f.first_prompt_s = event_time(b.err, "first byte from the code") - start;
  return f;
}

void row(const char *name, double measured_ms, const char *against, double reference_ms,
         const char *ratio_note) {
  printf("%-34s %10.1f ms  %-22s", name, measured_ms, against);
  if (reference_ms > 0) {
    printf(" %9.1f ms  %6.1f%%  %s\n", reference_ms, 100 * reference_ms / measured_ms, ratio_note);
  } else {
    printf("\n");
  }
}

void ratio_row(const char *name, double part_ms, double whole_ms, const char *target) {
  printf("%-34s %10.1f ms  %-22s %9.1f ms  %6.2f%%  %s\n", name, part_ms, "of wall time", whole_ms,
         100 * part_ms / whole_ms, target);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 4) {
    fprintf(stderr, "Usage: %s KORVANE BOARDSIM IMAGE\n", argv[0]);
    return 2;
  }
  struct stat st;
  if (stat(argv[3], &st) != 0) {
    fprintf(stderr, "cannot read %s\n", argv[3]);
    return 1;
  }
  size_t blocks = size_t(st.st_size) / 128 + 1;
  double wire_ms = double(blocks) * (133 + 1) * BITS_PER_BYTE * 1000 / BAUD;

  pass_figures plain = run_pass(argv[1], argv[2], false, 2.0);
  pass_figures verbose = run_pass(argv[1], argv[2], true, 0);
  if (!plain.ok || !verbose.ok) return 1;

  printf("korvane against boardsim at %ld baud, %ld-byte image, %zu blocks\n\n", BAUD,
         long(st.st_size), blocks);
  printf("%-34s %13s  %-22s %12s  %7s\n", "figure", "measured", "against", "reference", "ratio");
  char name[64];
  snprintf(name, sizeof name, "download, NAK to ACK of EOT");
  row(name, 1000 * (plain.eot_ack_s - plain.nak_s), "wire limit", wire_ms,
      "of wire rate (target 97%)");
  row("start to first prompt", 1000 * plain.first_prompt_s, "", 0, "");
  row("plain pass (korvane wall time)", 1000 * plain.wall_s, "", 0, "");
  row("verbose pass (korvane wall time)", 1000 * verbose.wall_s, "", 0, "");
  ratio_row("korvane CPU, plain pass", 1000 * plain.cpu_s, 1000 * plain.wall_s, "(target < 2%)");
  ratio_row("korvane CPU, verbose pass", 1000 * verbose.cpu_s, 1000 * verbose.wall_s,
            "(target < 2%)");
  printf("%-34s %10.1f ms  %-22s %9.1f ms  %6.2f%%  %s\n", "boardsim CPU, idle board",
         1000 * plain.board_idle_cpu_s, "of idle time", 1000 * plain.idle_s,
         100 * plain.board_idle_cpu_s / plain.idle_s, "(target < 5%)");
  return 0;
}

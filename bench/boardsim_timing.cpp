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

#include "e2e_process.h"

namespace {

const long BAUD = 115200;
const double BITS_PER_BYTE = 10;

struct pass_figures {
  bool ok = false;
  double wall_s = 0, cpu_s = 0;
  double nak_s = 0, eot_ack_s = 0, first_prompt_s = 0;  // from korvane's start
  double board_idle_cpu_s = 0, idle_s = 0;
};

double seconds(const timeval &tv) { return double(tv.tv_sec) + double(tv.tv_usec) / 1e6; }

// The time boardsim stamped on one of its events, or -1.
double event_time(const std::string &err, const std::string &what) {
  std::string key = "boardsim: " + what + " at ";
  size_t at = err.find(key);
  return at == std::string::npos ? -1 : atof(err.c_str() + at + key.size());
}

// CPU time used so far by a running process, from /proc.
double process_cpu_s(pid_t pid) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  size_t close_paren = text.rfind(')');
  if (close_paren == std::string::npos) return -1;
  std::vector<std::string> fields;
  size_t pos = close_paren + 2;
  while (pos < text.size()) {
    size_t end = text.find(' ', pos);
    if (end == std::string::npos) end = text.size();
    fields.push_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  // Fields from the state on: utime and stime are the 12th and 13th.
  if (fields.size() < 13) return -1;
  return (atof(fields[11].c_str()) + atof(fields[12].c_str())) / double(sysconf(_SC_CLK_TCK));
}

pass_figures run_pass(const char *korvane, const char *boardsim, bool verbose, double idle_s) {
  pass_figures f;
  e2e_process board;
  if (!e2e_start(&board, {boardsim, "--baud", std::to_string(BAUD), "--timestamps"})) return f;
  auto has_line = [](const e2e_process &p) { return p.out.find('\n') != std::string::npos; };
  if (!e2e_read_until(&board, has_line, 5)) {
    e2e_stop(&board, SIGTERM, 5);
    return f;
  }
  std::string port = board.out.substr(0, board.out.find('\n'));
  std::vector<std::string> args = {korvane, "-p", port};
  if (verbose) args.push_back("-v");
  e2e_process k;
  double start = e2e_now();
  if (e2e_start(&k, args) && e2e_finish(&k, 60) && k.status == 0) {
    f.wall_s = e2e_now() - start;
    f.cpu_s = seconds(k.usage.ru_utime) + seconds(k.usage.ru_stime);
    // The monitor now waits for a command that never comes: an idle board.
    double before = process_cpu_s(board.pid);
    e2e_read_until(&board, [](const e2e_process &) { return false; }, idle_s);
    f.board_idle_cpu_s = process_cpu_s(board.pid) - before;
    f.idle_s = idle_s;
    f.ok = true;
  } else {
    fprintf(stderr, "korvane failed (status %d): %s\n", k.status, k.err.c_str());
  }
  e2e_stop(&board, SIGTERM, 5);
  f.nak_s = event_time(board.err, "wake-up answered") - start;
  f.eot_ack_s = event_time(board.err, "download acknowledged") - start;
  f.first_prompt_s = event_time(board.err, "first byte from the code") - start;
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

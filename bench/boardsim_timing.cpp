// Timings of korvane against boardsim at the real line rate: the download
// against what the wire allows, the time to the monitor's first prompt, a
// plain and a verbose pass, korvane's CPU time against its wall time, and
// the CPU an idle board takes; then a soak's verbose pass (korvane -c -v,
// both tests, the monitor's slow output on): its wall time and boardsim's
// CPU against the target, and the instructions it runs on the board's clock
// against what the board's core at 200 MHz takes for them. Prints a table;
// nothing here passes or fails.
//
// Usage: boardsim_timing KORVANE BOARDSIM IMAGE
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "boot_image_format.h"
#include "child_process.h"
#include "korvane/console_texts.h"
#include "uart_queue.h"

namespace {

const long BAUD = 115200;
const double BITS_PER_BYTE = 10;
// The soak's verbose pass: what it may take, and the real board's clock.
const double SOAK_PASS_TARGET_MS = 5000;
const double CORE_MHZ = 200;
const int SOAK_PASSES = 3;

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

struct soak_figures {
  bool ok = false;
  double pass_s = 0, board_cpu_s = 0;  // a pass's wall time, and boardsim's CPU in it
};

size_t count_of(const std::string &text, const char *what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
  return n;
}

// korvane -c -v against a fresh board: the passes after the first, whose
// start holds the download.
soak_figures run_soak(const char *korvane, const char *boardsim) {
  soak_figures f;
  pid_t board = start_child({boardsim, "--baud", std::to_string(BAUD)}, "boardsim");
  std::string port;
  if (board < 0 || !read_child_line(board, &port, 5)) {
    if (board > 0) stop_child(board, SIGTERM, 5);
    return f;
  }
  pid_t k = start_child({korvane, "-c", "-v", "-p", port}, "korvane");
  auto passes_begun = [](size_t n) {
    return [n](const child_result &r) { return count_of(r.out, SDRAM_TEST_TITLE) >= n; };
  };
  if (k > 0 && read_child_until(k, passes_begun(2), 120)) {
    double start = steady_seconds(), cpu = child_cpu_seconds(board);
    if (read_child_until(k, passes_begun(2 + SOAK_PASSES), 60.0 * SOAK_PASSES)) {
      f.pass_s = (steady_seconds() - start) / SOAK_PASSES;
      f.board_cpu_s = (child_cpu_seconds(board) - cpu) / SOAK_PASSES;
      f.ok = true;
    }
  }
  if (!f.ok) fprintf(stderr, "korvane -c -v did not run its passes against boardsim\n");
  if (k > 0) stop_child(k, SIGTERM, 5);
  stop_child(board, SIGTERM, 5);
  return f;
}

// The same pass on the emulated board in-process: the instructions it runs on
// the board's clock, and those of them the board took in one step.
bool pass_instructions(const std::vector<uint8_t> &image, uint64_t *total, uint64_t *skipped) {
  boot_image_info info;
  std::string why;
  if (!boot_image_parse(image.data(), image.size(), &info, &why)) return false;
  uart_queue line;
  board_config config;
  uart_backend backend = uart_queue_backend(&line);
  line.b = board_create(&config, &backend, &why);
  if (line.b == nullptr || !board_load(line.b, image.data() + info.code_offset, info.code_size))
    return false;
  bool ok = true;
  for (const char *setup : {"", "v", "s"})
    ok = ok && uart_queue_exchange(&line, setup, 1'000'000, &why);
  uint64_t before = board_instructions(line.b), skipped_before = board_skipped_instructions(line.b);
  for (const char *test : {"1", "2"}) ok = ok && uart_queue_exchange(&line, test, 0, &why);
  *total = board_instructions(line.b) - before;
  *skipped = board_skipped_instructions(line.b) - skipped_before;
  board_destroy(line.b);
  if (!ok) fprintf(stderr, "the monitor did not run its pass: %s\n", why.c_str());
  return ok;
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

// A figure as a share of its reference.
void share_row(const char *name, double measured_ms, const char *against, double reference_ms,
               const char *target) {
  printf("%-34s %10.1f ms  %-22s %9.1f ms  %6.1f%%  %s\n", name, measured_ms, against, reference_ms,
         100 * measured_ms / reference_ms, target);
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
  soak_figures soak = run_soak(argv[1], argv[2]);
  std::ifstream in(argv[3], std::ios::binary);
  const std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), {});
  uint64_t instructions = 0, skipped = 0;
  if (!plain.ok || !verbose.ok || !soak.ok || !pass_instructions(image, &instructions, &skipped))
    return 1;

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
  printf("\nsoak, korvane -c -v: a pass of both tests with the slow output, after the first\n");
  share_row("soak pass (wall time)", 1000 * soak.pass_s, "target", SOAK_PASS_TARGET_MS,
            "(target <= 100%)");
  share_row("soak pass (boardsim CPU)", 1000 * soak.board_cpu_s, "target", SOAK_PASS_TARGET_MS, "");
  const double core_ms = double(instructions) / (CORE_MHZ * 1000);
  printf("%-34s %10.1f M   %-22s %9.1f ms  %6.1f%%  taken in one step\n",
         "soak pass (board instructions)", double(instructions) / 1e6, "at 200 MHz", core_ms,
         100.0 * double(skipped) / double(instructions));
  share_row("soak pass (wall time)", 1000 * soak.pass_s, "a 200 MHz core's run", core_ms, "");
  return 0;
}

// boardsim: a simulated board on a pseudo-terminal. It prints the line's
// path, runs the boot ROM until it has taken an image, then runs the image's
// code on the emulated core with the UART bridged to the line. With a boards
// file the same line sees one board after another (board_swap.h).
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/prctl.h>
#include <unistd.h>
#include <vector>

#include "board.h"
#include "board_list.h"
#include "board_swap.h"
#include "boardsim_boot.h"
#include "boardsim_options.h"
#include "pty_link.h"

namespace {

// The monitor's prompt: boardsim's own copy on purpose, apart from the monitor's header.
constexpr uint8_t PROMPT = '?';

// The only process-wide state: what the signal handler must clean up, and
// the request for the next board.
char g_link_path[PATH_MAX];
char g_link_target[PATH_MAX];
volatile sig_atomic_t g_next_board = 0;

void on_next_board(int) { g_next_board = 1; }

// Prints "boardsim: <what> at <seconds>" on standard error, for timings.
void print_timestamp(const char *what, int64_t ns) {
  fprintf(stderr, "boardsim: %s at %lld.%09lld\n", what, (long long)(ns / 1000000000),
          (long long)(ns % 1000000000));
}

// Each rule the code breaks, as the board finds it.
void print_report(void *, const char *text) { fprintf(stderr, "board: %s\n", text); }

// The core may be deep in a loop that never reaches the UART (a flash that
// never becomes ready), so a stop request could wait for ever; the handler
// instead removes our symlink itself and ends the process.
void on_signal(int) {
  if (g_link_path[0] != '\0') {
    char target[PATH_MAX];
    ssize_t n = readlink(g_link_path, target, sizeof target);
    size_t len = strlen(g_link_target);
    if (n == ssize_t(len) && memcmp(target, g_link_target, len) == 0) unlink(g_link_path);
  }
  _exit(0);
}

void catch_signals(const pty_link *link) {
  if (!link->link_path.empty() && link->link_path.size() < PATH_MAX &&
      link->slave_path.size() < PATH_MAX) {
    strcpy(g_link_path, link->link_path.c_str());
    strcpy(g_link_target, link->slave_path.c_str());
  }
  struct sigaction sa;
  memset(&sa, 0, sizeof sa);
  sa.sa_handler = on_signal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

// Without SA_RESTART, so that the signal ends a wait on the line at once.
void catch_next_board() {
  struct sigaction sa;
  memset(&sa, 0, sizeof sa);
  sa.sa_handler = on_next_board;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGUSR1, &sa, nullptr);
}

struct uart_bridge {
  pty_link *link;
  bool timestamps;
  bool sent_any;
  int line_noise;
  uint32_t noise_state;
  board_swap *swap;
  board *b;      // to stop when the board is swapped
  bool swapped;  // the code was stopped for the next board
};

// A running board watches for its swap wherever its code looks at the line.
// The beginning of a wake-up pattern is kept from the code until the rest
// shows whether it is one: the code must not take the host's wake-up for
// commands, and no command begins with the pattern's first byte.
bool input_held(uart_bridge *u) {
  if (!u->swap->watch || u->swapped) return u->swapped;
  wakeup_seen seen = board_swap_look(u->link, pty_now_ns());
  if (seen == wakeup_seen::whole || board_swap_signalled(u->swap)) {
    u->swapped = true;
    board_request_stop(u->b);
    return true;
  }
  return seen == wakeup_seen::beginning;
}

// Noise on the line before each prompt. A "?" in it would be a prompt the
// monitor never sent, which no receiver can tell from a real one, so the
// noise holds every byte value but that one.
void send_noise(uart_bridge *u) {
  for (int i = 0; i < u->line_noise; i++) {
    u->noise_state = u->noise_state * 1103515245u + 12345u;
    uint8_t byte = uint8_t(u->noise_state >> 16);
    pty_send(u->link, byte == PROMPT ? uint8_t('!') : byte);
  }
}

int bridge_peek(void *ctx) {
  uart_bridge *u = static_cast<uart_bridge *>(ctx);
  return input_held(u) ? -1 : pty_peek(u->link, pty_now_ns());
}

int bridge_take(void *ctx) {
  uart_bridge *u = static_cast<uart_bridge *>(ctx);
  return input_held(u) ? -1 : pty_take(u->link, pty_now_ns());
}

// What has arrived by now and is not kept from the code.
size_t bridge_waiting(void *ctx) {
  uart_bridge *u = static_cast<uart_bridge *>(ctx);
  if (input_held(u)) return 0;
  int64_t now = pty_now_ns();
  size_t n = 0;
  while (n < u->link->rx.size() && u->link->rx[n].arrival_ns <= now) n++;
  return n;
}

void bridge_tx(void *ctx, uint8_t byte) {
  uart_bridge *u = static_cast<uart_bridge *>(ctx);
  if (byte == PROMPT) send_noise(u);
  int64_t sent = pty_send(u->link, byte);
  if (u->timestamps && !u->sent_any) print_timestamp("first byte from the code", sent);
  u->sent_any = true;
}

// The monitor waits for a command by polling its receiver; blocking here
// until the host writes is what keeps an idle board off the CPU. The bound
// only limits how long the core goes unresumed.
void bridge_idle(void *ctx) {
  uart_bridge *u = static_cast<uart_bridge *>(ctx);
  pty_wait(u->link, pty_now_ns() + 250 * 1000000LL);
}

// Runs one board from reset: its boot ROM, then its code until the board is
// swapped (true) or, without a boards file, until the code faults (false).
// A board whose code faults in a stream of boards waits silently for its swap.
bool run_board(pty_link *link, const boardsim_options &opts, const board_config &config,
               board_swap *swap) {
  std::vector<uint8_t> code;
  std::string why;
  switch (boardsim_boot(link, &opts.rom, opts.timestamps ? print_timestamp : nullptr, swap, &code,
                        &why)) {
    case boardsim_boot_end::started:
      break;
    case boardsim_boot_end::refused:
      fprintf(stderr, "boardsim: %s\n", why.c_str());
      board_swap_wait_silent(link, swap);
      return true;
    case boardsim_boot_end::swapped:
      return true;
  }
  uart_bridge bridge = {link, opts.timestamps, false, opts.line_noise, 1, swap, nullptr, false};
  uart_backend backend = {bridge_peek, bridge_take, bridge_tx,
                          bridge_idle, &bridge,     bridge_waiting};
  board *b = board_create(&config, &backend, &why);
  bridge.b = b;
  if (b != nullptr) board_on_report(b, print_report, nullptr);
  bool ok = true;
  if (b == nullptr) {
    fprintf(stderr, "boardsim: cannot make the board: %s\n", why.c_str());
    ok = false;
  } else if (!board_load(b, code.data(), code.size(), &why)) {
    fprintf(stderr, "boardsim: %s\n", why.c_str());
    ok = false;
  } else if (!board_run(b, 0, &why)) {
    fprintf(stderr, "boardsim: the code stopped on a fault: %s\n", why.c_str());
    ok = false;
  }
  if (b != nullptr) board_destroy(b);
  if (!ok && swap->watch) board_swap_wait_silent(link, swap);
  return ok;
}

}  // namespace

int main(int argc, char **argv) {
  boardsim_options opts;
  std::string why;
  if (!boardsim_parse_options(argc, argv, &opts, &why)) {
    fprintf(stderr, "boardsim: %s\nTry 'boardsim --help'.\n", why.c_str());
    return 2;
  }
  if (opts.help) {
    fputs(boardsim_usage().c_str(), stdout);
    return 0;
  }
  if (opts.version) {
    fputs("boardsim " KORVANE_VERSION "\n", stdout);
    return 0;
  }
  std::vector<board_config> boards = {opts.board};
  board_swap swap;
  if (!opts.boards_path.empty()) {
    if (!board_list_read(opts.boards_path, &boards, &why)) {
      fprintf(stderr, "boardsim: %s\nTry 'boardsim --help'.\n", why.c_str());
      return 2;
    }
    swap.watch = true;
    swap.signalled = &g_next_board;
  }
  pty_link link;
  if (!pty_open(&link, opts.link_path.empty() ? nullptr : opts.link_path.c_str(), &why)) {
    fprintf(stderr, "boardsim: %s\n", why.c_str());
    return 1;
  }
  catch_signals(&link);
  if (swap.watch) catch_next_board();
  pty_set_baud(&link, opts.baud);
  // Sleeps of a byte's time (87 us at 115200) need a finer timer than the
  // default slack of 50 us to keep the pacing close to the line rate.
  if (opts.baud > 0) prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);
  printf("%s\n", link.slave_path.c_str());
  fflush(stdout);

  // A seed of the clock's and the process's, so that runs side by side differ.
  uint32_t seed = opts.seed_given ? opts.seed : uint32_t(pty_now_ns() ^ (int64_t(getpid()) << 16));
  if (opts.show_seed) fprintf(stderr, "boardsim: seed %u\n", unsigned(seed));
  int status = 0;
  for (board_config &config : boards) {
    g_next_board = 0;
    config.seed = seed++;
    if (!run_board(&link, opts, config, &swap)) status = 1;
    if (!swap.watch) break;
  }
  pty_close(&link);
  return status;
}

#include "station/terminal/stdin_lines.h"

#include <cerrno>
#include <cstdlib>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

void stdin_wait_lines(stdin_lines *in, int timeout_ms, std::vector<std::string> *lines) {
  if (in->ended) {
    poll(nullptr, 0, timeout_ms);
    return;
  }
  struct pollfd p = {STDIN_FILENO, POLLIN, 0};
  if (poll(&p, 1, timeout_ms) <= 0) return;
  char buf[4096];
  ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
  if (n > 0) {
    stdin_take_bytes(in, buf, (size_t)n, lines);
  } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
    stdin_take_end(in, lines);
  }
}

namespace {

struct termios g_saved;
bool g_keys = false;

}  // namespace

bool stdin_keys_begin(void) {
  if (g_keys) return true;
  if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &g_saved) != 0) return false;
  struct termios keys = g_saved;
  // Ctrl-C stays a signal; only the line editing and the echo go.
  keys.c_lflag &= ~(tcflag_t)(ICANON | ECHO);
  keys.c_cc[VMIN] = 1;
  keys.c_cc[VTIME] = 0;
  if (tcsetattr(STDIN_FILENO, TCSANOW, &keys) != 0) return false;
  g_keys = true;
  static bool registered = false;
  if (!registered) std::atexit(stdin_keys_end);
  registered = true;
  return true;
}

void stdin_keys_end(void) {
  if (!g_keys) return;
  tcsetattr(STDIN_FILENO, TCSANOW, &g_saved);
  g_keys = false;
}

#include "station/terminal/stdin_lines.h"

#include <cerrno>
#include <poll.h>
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

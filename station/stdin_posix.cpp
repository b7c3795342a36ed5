#include "stdin_lines.h"

#include <cerrno>
#include <poll.h>
#include <unistd.h>

static void take_bytes(stdin_lines *in, const char *bytes, size_t n,
                       std::vector<std::string> *lines) {
  for (size_t i = 0; i < n; i++) {
    if (bytes[i] == '\n') {
      if (!in->dropping || !in->pending.empty()) lines->push_back(in->pending);
      in->pending.clear();
      in->dropping = false;
    } else if (in->pending.size() < MAX_INPUT_LINE && !in->dropping) {
      in->pending += bytes[i];
    } else if (!in->dropping) {
      lines->push_back(in->pending);
      in->pending.clear();
      in->dropping = true;
    }
  }
}

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
    take_bytes(in, buf, (size_t)n, lines);
  } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
    // A last line without its end still counts.
    if (!in->pending.empty() && !in->dropping) lines->push_back(in->pending);
    in->pending.clear();
    in->ended = true;
  }
}

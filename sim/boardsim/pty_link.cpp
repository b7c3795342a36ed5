#include "pty_link.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "korvane/why.h"

namespace {

using steady = std::chrono::steady_clock;

}  // namespace

int64_t pty_now_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(steady::now().time_since_epoch())
      .count();
}

namespace {

// A sleep ends tens of microseconds late, more on a busy machine: most of a
// byte's time at 115200 baud. Waiting out the rest on the clock would keep
// the CPU busy for as long as the board talks, on every board of a station;
// instead a byte handed over this soon after the line went free is sent
// back to back with the one before, as the board's transmit FIFO would send
// it, so that the lateness does not add up over a stream of bytes.
constexpr int64_t LATE_WAKE_NS = 500000;

void sleep_until(int64_t ns) {
  if (ns > pty_now_ns())
    std::this_thread::sleep_until(steady::time_point(std::chrono::nanoseconds(ns)));
}

// A symlink left by an earlier run that was killed points at a
// pseudo-terminal and is replaced; anything else at that path (a file, a
// user's own link) belongs to someone else and is left alone.
bool is_stale_link(const char *path) {
  char target[PATH_MAX];
  ssize_t n = readlink(path, target, sizeof target - 1);
  if (n < 0) return false;
  target[n] = '\0';
  const char *number = target + 9;
  return strncmp(target, "/dev/pts/", 9) == 0 && *number != '\0' &&
         strspn(number, "0123456789") == strlen(number);
}

bool make_link(const std::string &target, const char *path, std::string *why) {
  if (symlink(target.c_str(), path) == 0) return true;
  if (errno == EEXIST && !is_stale_link(path))
    return set_why(why, "cannot make the link %s: it exists and is no link to a pseudo-terminal",
                   path);
  if (errno == EEXIST && unlink(path) == 0 && symlink(target.c_str(), path) == 0) return true;
  return set_why(why, "cannot make the link %s: %s", path, strerror(errno));
}

// The time at which a byte handed to the line at `ready` has fully crossed
// it, when the line is busy with earlier bytes until *line_free; moves
// *line_free on. Without pacing (byte_ns 0) the byte crosses at once.
int64_t pace(int64_t *line_free, int64_t ready, int64_t byte_ns) {
  if (byte_ns == 0) return ready;
  int64_t start = ready > *line_free ? ready : *line_free;
  *line_free = start + byte_ns;
  return *line_free;
}

void pump_input(pty_link *link) {
  uint8_t buf[512];
  for (;;) {
    ssize_t n = read(link->master, buf, sizeof buf);
    if (n <= 0) return;
    // Bytes that waited in the pty's buffer were on the line meanwhile;
    // stamping them from the time of reading is close enough for pacing.
    int64_t now = pty_now_ns();
    for (ssize_t i = 0; i < n; i++) {
      link->rx.push_back({buf[i], pace(&link->rx_line_free, now, link->byte_ns)});
    }
  }
}

int64_t next_arrival(const pty_link *link) {
  return link->rx.empty() ? INT64_MAX : link->rx.front().arrival_ns;
}

}  // namespace

bool pty_open(pty_link *link, const char *link_path, std::string *why) {
  link->master = posix_openpt(O_RDWR | O_NOCTTY);
  if (link->master < 0 || grantpt(link->master) != 0 || unlockpt(link->master) != 0) {
    set_why(why, "cannot make a pseudo-terminal: %s", strerror(errno));
    pty_close(link);
    return false;
  }
  const char *name = ptsname(link->master);
  if (name == nullptr) {
    set_why(why, "cannot name the pseudo-terminal: %s", strerror(errno));
    pty_close(link);
    return false;
  }
  link->slave_path = name;
  link->slave = open(name, O_RDWR | O_NOCTTY);
  termios tio;
  if (link->slave < 0 || tcgetattr(link->slave, &tio) != 0) {
    set_why(why, "cannot open %s: %s", name, strerror(errno));
    pty_close(link);
    return false;
  }
  cfmakeraw(&tio);
  cfsetispeed(&tio, B115200);
  cfsetospeed(&tio, B115200);
  tcsetattr(link->slave, TCSANOW, &tio);
  fcntl(link->master, F_SETFL, fcntl(link->master, F_GETFL) | O_NONBLOCK);
  if (link_path != nullptr) {
    if (!make_link(link->slave_path, link_path, why)) {
      pty_close(link);
      return false;
    }
    link->link_path = link_path;
  }
  return true;
}

void pty_close(pty_link *link) {
  if (!link->link_path.empty()) {
    char target[PATH_MAX];
    ssize_t n = readlink(link->link_path.c_str(), target, sizeof target - 1);
    if (n >= 0 && std::string(target, size_t(n)) == link->slave_path) {
      unlink(link->link_path.c_str());
    }
    link->link_path.clear();
  }
  if (link->slave >= 0) close(link->slave);
  if (link->master >= 0) close(link->master);
  link->slave = -1;
  link->master = -1;
}

void pty_set_baud(pty_link *link, long baud) {
  link->byte_ns = baud > 0 ? 10 * 1000000000LL / baud : 0;
}

int pty_peek(pty_link *link, int64_t now) {
  if (link->rx.empty()) pump_input(link);
  if (link->rx.empty() || link->rx.front().arrival_ns > now) return -1;
  return link->rx.front().byte;
}

int pty_take(pty_link *link, int64_t now) {
  int byte = pty_peek(link, now);
  if (byte >= 0) link->rx.pop_front();
  return byte;
}

int64_t pty_send(pty_link *link, uint8_t byte) {
  int64_t ready = pty_now_ns();
  if (ready > link->tx_line_free && ready - link->tx_line_free <= LATE_WAKE_NS)
    ready = link->tx_line_free;
  int64_t due = pace(&link->tx_line_free, ready, link->byte_ns);
  if (link->byte_ns != 0) sleep_until(due);
  for (;;) {
    ssize_t n = write(link->master, &byte, 1);
    if (n == 1) break;
    if (n < 0 && errno != EAGAIN && errno != EINTR) break;
    // The host is not reading and the pty's buffer is full: wait as a real
    // transmitter would wait for its line.
    pollfd pfd = {link->master, POLLOUT, 0};
    poll(&pfd, 1, 1000);
  }
  return due;
}

void pty_wait(pty_link *link, int64_t deadline_ns) {
  int64_t now = pty_now_ns();
  int64_t next = next_arrival(link);
  if (next <= now) return;
  // A queued byte that is still crossing the line wakes us when it lands,
  // but new bytes from the host cannot overtake it, so only the clock matters.
  if (next != INT64_MAX) {
    sleep_until(next < deadline_ns ? next : deadline_ns);
    return;
  }
  pollfd pfd = {link->master, POLLIN, 0};
  int timeout_ms = -1;
  if (deadline_ns != INT64_MAX) {
    int64_t left_ms = (deadline_ns - now + 999999) / 1000000;
    timeout_ms = left_ms > INT32_MAX ? INT32_MAX : int(left_ms);
  }
  int rc = poll(&pfd, 1, timeout_ms);
  if (rc > 0 && !(pfd.revents & POLLIN)) {
    // A hung-up line reports itself at once, again and again; wait out the
    // deadline instead of spinning on it.
    sleep_until(deadline_ns == INT64_MAX ? now + 100000000 : deadline_ns);
    return;
  }
  pump_input(link);
}

void pty_pump(pty_link *link) { pump_input(link); }

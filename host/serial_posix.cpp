// POSIX back-end of the serial link: termios, poll() and exclusive use.
#include "serial_link.h"

#include "port_name.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

static int port_handle = -1;

// The descriptor whose exclusive flag the signal handlers clear, or -1.
static volatile sig_atomic_t exclusive_fd = -1;

static char port_name[PATH_MAX];

// Bytes already taken from the device but not yet handed out. Taking all
// that is waiting in one call saves a wake-up and two system calls a byte
// when the monitor's trace streams in.
static unsigned char pending[256];
static std::size_t pending_next, pending_end;

const char *serial_port_name(void) { return port_name; }

static speed_t speed_for(unsigned baud_rate) {
  switch (baud_rate) {
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    default:
      return B115200;
  }
}

// Two open descriptors on one device: the same file, or two nodes of one
// character device (a port reached by a second path).
static bool same_device(const struct stat &a, const struct stat &b) {
  if (S_ISCHR(a.st_mode) && S_ISCHR(b.st_mode)) return a.st_rdev == b.st_rdev;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Why the open descriptor must not be used as the port, or null. Checked
// before a byte goes out: anything but a terminal (a file, /dev/null, a FIFO)
// would be overwritten or spun on, and the operator's own terminal would be
// left raw and exclusive, without Ctrl-C.
static const char *refusal(int fd) {
  struct termios tio;
  if (tcgetattr(fd, &tio) != 0) return errno == ENOTTY ? "Not a terminal" : std::strerror(errno);
  // Succeeds only on the controlling terminal of our own session, by
  // whatever path it was reached (/dev/tty included).
  if (tcgetsid(fd) >= 0) return "Is korvane's own terminal";
  struct stat port, other;
  if (fstat(fd, &port) != 0) return nullptr;
  for (int std_fd = 0; std_fd <= 2; std_fd++) {
    if (std_fd != fd && fstat(std_fd, &other) == 0 && same_device(port, other))
      return "Is korvane's own terminal";
  }
  return nullptr;
}

// The device a port names: the path itself, or /dev/ttyS<n-1> for COM<n>;
// null for a number below COM1, the first serial device.
static const char *device_for(int port_number, const char *device_path, char *numbered,
                              std::size_t size) {
  if (device_path) return device_path;
  if (port_number <= 0) return nullptr;
  std::snprintf(numbered, size, "/dev/ttyS%d", port_number - 1);
  return numbered;
}

stream_target serial_stream_target(std::FILE *stream, const char *, int port_number,
                                   const char *device_path) {
  char numbered[32];
  const char *path = device_for(port_number, device_path, numbered, sizeof numbered);
  struct stat port, other;
  if (path && stat(path, &port) == 0 && fstat(fileno(stream), &other) == 0 &&
      same_device(port, other))
    return stream_target::THE_PORT;
  return stream_target::OTHER;
}

// Clears the exclusive flag, then lets the signal end the process as it
// would have: SA_RESETHAND has restored its default action, and the signal
// raised here is delivered as soon as the handler returns.
static void release_port_and_end(int sig) {
  int saved_errno = errno;
  if (exclusive_fd >= 0) ioctl(exclusive_fd, TIOCNXCL);
  raise(sig);
  errno = saved_errno;
}

// Every signal whose default action ends the process: those that end a run
// from outside (Ctrl-C, Ctrl-\, timeout(1) and kill, a closed terminal, a
// closed pipe on standard output, a resource limit, a stray timer or user
// signal) and our own faults. One that is ignored (nohup, a background job)
// stays ignored, and one that something else already handles (a sanitizer's
// fault reports) keeps its handler.
static const int ENDING_SIGNALS[] = {
    SIGHUP,    SIGINT,  SIGQUIT, SIGILL,  SIGTRAP, SIGABRT, SIGBUS,    SIGFPE,  SIGUSR1, SIGSEGV,
    SIGUSR2,   SIGPIPE, SIGALRM, SIGTERM, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGSYS,
#if defined(SIGSTKFLT)
    SIGSTKFLT,
#endif
#if defined(SIGPOLL)
    SIGPOLL,
#endif
#if defined(SIGPWR)
    SIGPWR,
#endif
};

static void release_port_on(int sig) {
  struct sigaction old;
  if (sigaction(sig, nullptr, &old) != 0) return;
  if ((old.sa_flags & SA_SIGINFO) || old.sa_handler != SIG_DFL) return;
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = release_port_and_end;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND | SA_RESTART;
  sigaction(sig, &action, nullptr);
}

static void release_port_on_signals(void) {
  static bool installed = false;
  if (installed) return;
  installed = true;
  for (int sig : ENDING_SIGNALS) release_port_on(sig);
#if defined(SIGRTMIN)
  // The real-time signals end the process too; those below SIGRTMIN are
  // the C library's own.
  for (int sig = SIGRTMIN; sig <= SIGRTMAX; sig++) release_port_on(sig);
#endif
}

// The group whose members may use a device that refused us for lack of
// permission: the device's own, or the one serial ports are given to.
static std::string group_of(const char *path) {
  struct stat st;
  if (stat(path, &st) == 0 && (st.st_mode & S_IWGRP)) {
    if (const struct group *g = getgrgid(st.st_gid)) return g->gr_name;
  }
  return "dialout";
}

bool serial_open(int port_number, const char *device_path) {
  // Named in full, not cut short to fit: the message must name what the
  // user typed.
  if (device_path && std::strlen(device_path) >= sizeof port_name) {
    std::fprintf(stderr, "Could not open serial port %s.\n", device_path);
    std::fprintf(stderr, "%s: %s\n", device_path, std::strerror(ENAMETOOLONG));
    return false;
  }
  format_port_name(port_name, sizeof port_name, port_number, device_path);

  char numbered[32];
  const char *path = device_for(port_number, device_path, numbered, sizeof numbered);
  if (!path) {
    std::fprintf(stderr, "Could not open serial port %s.\n", port_name);
    std::fprintf(stderr, "%s: %s\n", port_name, std::strerror(ENOENT));
    return false;
  }

  // O_NONBLOCK only for the open itself, so that a modem line that is
  // down (or a FIFO with no writer) cannot hold it up; reads and writes
  // below block as they should.
  int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  int err = errno;
  const char *reason = nullptr;
  const int held_fd = exclusive_fd;
  if (fd >= 0) {
    // Exclusive use: a second korvane on the same port must fail here,
    // not interleave its bytes with ours. The handlers go in first, so
    // that no signal finds the flag set and nobody to clear it.
    if ((reason = refusal(fd)) == nullptr) {
      release_port_on_signals();
      exclusive_fd = fd;
    }
    if (reason || ioctl(fd, TIOCEXCL) != 0) {
      if (!reason) err = errno;
      exclusive_fd = held_fd;
      close(fd);
      fd = -1;
    } else if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      // The port is another korvane's, exclusive flag and all.
      err = errno == EWOULDBLOCK ? EBUSY : errno;
      exclusive_fd = held_fd;
      close(fd);
      fd = -1;
    } else {
      int flags = fcntl(fd, F_GETFL);
      fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    }
  }
  if (fd < 0) {
    std::fprintf(stderr, "Could not open serial port %s.\n", port_name);
    std::fprintf(stderr, "%s: %s\n", path, reason ? reason : std::strerror(err));
    if (!reason && err == EACCES) {
      std::string group = group_of(path);
      std::fprintf(stderr,
                   "join group %s to use the port: sudo usermod -aG %s $USER, then log in again\n",
                   group.c_str(), group.c_str());
    }
    return false;
  }
  port_handle = fd;

  // Hold DTR and RTS inactive. A pseudo-terminal has no modem lines, so
  // a failure here is of no consequence.
  int lines = TIOCM_DTR | TIOCM_RTS;
  ioctl(fd, TIOCMBIC, &lines);
  return true;
}

void serial_configure(unsigned baud_rate) {
  tcflush(port_handle, TCIOFLUSH);
  pending_next = pending_end = 0;

  struct termios tio;
  std::memset(&tio, 0, sizeof tio);
  if (tcgetattr(port_handle, &tio) != 0) return;
  cfmakeraw(&tio);
  tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | ISTRIP);
  tio.c_iflag |= IGNBRK;
  tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
  tio.c_cflag |= CS8 | CLOCAL | CREAD;
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  cfsetispeed(&tio, speed_for(baud_rate));
  cfsetospeed(&tio, speed_for(baud_rate));
  tcsetattr(port_handle, TCSANOW, &tio);
}

void serial_write_byte(unsigned char byte) {
  for (;;) {
    ssize_t n = write(port_handle, &byte, 1);
    if (n == 1) return;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      struct pollfd p = {port_handle, POLLOUT, 0};
      poll(&p, 1, -1);
      continue;
    }
    serial_port_lost();
  }
}

unsigned long long serial_clock_ms(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (unsigned long long)ts.tv_sec * 1000 + (unsigned long long)ts.tv_nsec / 1000000;
}

// Reads whatever is waiting (at least one byte) into pending; a hang-up or
// a device error means the port is gone.
static void fill_pending(void) {
  for (;;) {
    ssize_t n = read(port_handle, pending, sizeof pending);
    if (n > 0) {
      pending_next = 0;
      pending_end = (std::size_t)n;
      return;
    }
    if (n < 0 && errno == EINTR) continue;
    serial_port_lost();
  }
}

int serial_read_byte(unsigned timeout_ms) {
  if (pending_next == pending_end) {
    // Without a time-out a blocking read waits by itself; with one,
    // poll() bounds the wait and the read then finds the byte waiting.
    const long long deadline = (long long)serial_clock_ms() + timeout_ms;
    while (timeout_ms != 0) {
      long long left = deadline - (long long)serial_clock_ms();
      struct pollfd p = {port_handle, POLLIN, 0};
      int ready = poll(&p, 1, left > 0 ? (int)left : 0);
      if (ready > 0) break;
      if (ready == 0) return 0;
      if (errno != EINTR) serial_port_lost();
    }
    fill_pending();
  }
  return pending[pending_next++];
}

void serial_close(void) {
  // The exclusive flag belongs to the device, not to our descriptor: left
  // set, it keeps the port busy for everyone else after we have gone.
  if (port_handle >= 0) {
    exclusive_fd = -1;
    ioctl(port_handle, TIOCNXCL);
    close(port_handle);
  }
  port_handle = -1;
}

// The child on Linux: pipes for its output, its own process group (so that a
// Ctrl-C typed at the station reaches the station alone, which then stops
// every child in turn), and SIGTERM when the station dies, however it dies:
// korvane ends on it as on Ctrl-C, clearing its port's exclusive flag.
#include "station/slots/station_child.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "korvane/why.h"

struct station_child {
  pid_t pid = -1;
  int out_fd = -1, err_fd = -1;
  bool exited = false;
  int status = 0;
};

static void close_fd(int *fd) {
  if (*fd >= 0) close(*fd);
  *fd = -1;
}

static void set_nonblocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

// Every descriptor above the standard streams closes at the exec, whoever
// opened it and however (the page's sockets, the database, the reports): a
// korvane holds nothing of the station's. close_range where the kernel has
// it, else one descriptor at a time.
static void close_others_at_exec(void) {
  const unsigned CLOSE_RANGE_CLOEXEC_FLAG = 1u << 2;
#ifdef SYS_close_range
  if (syscall(SYS_close_range, 3u, ~0u, CLOSE_RANGE_CLOEXEC_FLAG) == 0) return;
#else
  (void)CLOSE_RANGE_CLOEXEC_FLAG;
#endif
  long max = sysconf(_SC_OPEN_MAX);
  if (max < 0 || max > 65536) max = 65536;
  for (int fd = 3; fd < max; fd++) fcntl(fd, F_SETFD, FD_CLOEXEC);
}

// The child runs in the station's own memory until its exec (vfork), so
// starting a korvane costs the same however large the station has grown:
// no page tables copied, no copy-on-write faults afterwards in any thread.
// Only system calls here, nothing that allocates or takes a lock; an errno
// for the station goes through *failure, read once the child has exec'd or
// ended.
[[noreturn]] static void run_child(char *const *argv, pid_t station, int out_fd, int err_fd,
                                   const sigset_t *mask, volatile int *failure) {
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  // The station may have died before the line above took effect.
  if (getppid() != station) _exit(127);
  setpgid(0, 0);
  int null_fd = open("/dev/null", O_RDONLY);
  if (null_fd < 0 || dup2(null_fd, STDIN_FILENO) < 0 || dup2(out_fd, STDOUT_FILENO) < 0 ||
      dup2(err_fd, STDERR_FILENO) < 0) {
    *failure = errno;
    _exit(127);
  }
  if (null_fd > STDERR_FILENO) close(null_fd);
  close_others_at_exec();
  // The station's handlers must not run here, on its memory: default
  // actions back (this table is the child's own copy) before the signals
  // blocked for the start are let in.
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) signal(sig, SIG_DFL);
  sigprocmask(SIG_SETMASK, mask, nullptr);
  execv(argv[0], argv);
  *failure = errno;
  _exit(127);
}

station_child *child_start(const std::string &program, const std::vector<std::string> &args,
                           std::string *why) {
  std::vector<std::string> words = args;
  words.insert(words.begin(), program);
  std::vector<char *> argv;
  for (std::string &w : words) argv.push_back(&w[0]);
  argv.push_back(nullptr);

  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0) {
    set_why(why, "cannot make a pipe: %s", std::strerror(errno));
    return nullptr;
  }
  if (pipe2(err, O_CLOEXEC) != 0) {
    set_why(why, "cannot make a pipe: %s", std::strerror(errno));
    close(out[0]);
    close(out[1]);
    return nullptr;
  }
  pid_t station = getpid();
  sigset_t all, mask;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &mask);
  volatile int failure = 0;
  // The station's thread waits here until the child has exec'd or ended.
  pid_t pid = vfork();
  if (pid == 0) run_child(argv.data(), station, out[1], err[1], &mask, &failure);
  int start_errno = pid < 0 ? errno : failure;
  pthread_sigmask(SIG_SETMASK, &mask, nullptr);
  close(out[1]);
  close(err[1]);
  if (pid < 0 || start_errno != 0) {
    if (pid > 0) waitpid(pid, nullptr, 0);
    close(out[0]);
    close(err[0]);
    set_why(why, "cannot run " + program + ": " + std::strerror(start_errno));
    return nullptr;
  }
  station_child *c = new station_child;
  c->pid = pid;
  c->out_fd = out[0];
  c->err_fd = err[0];
  set_nonblocking(c->out_fd);
  set_nonblocking(c->err_fd);
  return c;
}

// Takes what waits on *fd; closes it at its end.
static void take(int *fd, std::string *sink) {
  if (*fd < 0) return;
  char buf[4096];
  ssize_t n;
  while ((n = read(*fd, buf, sizeof buf)) > 0) sink->append(buf, (size_t)n);
  if (n == 0 || (errno != EAGAIN && errno != EINTR)) close_fd(fd);
}

bool child_read(station_child *c, std::string *out, std::string *err) {
  take(&c->out_fd, out);
  take(&c->err_fd, err);
  return c->out_fd >= 0 || c->err_fd >= 0;
}

void child_interrupt(station_child *c) {
  if (!c->exited) kill(c->pid, SIGINT);
}

bool child_exited(station_child *c, int *status) {
  if (!c->exited) {
    int wstatus = 0;
    pid_t r = waitpid(c->pid, &wstatus, WNOHANG);
    if (r == c->pid) {
      c->exited = true;
      c->status = WIFSIGNALED(wstatus) ? 128 + WTERMSIG(wstatus) : WEXITSTATUS(wstatus);
    }
  }
  if (c->exited && status) *status = c->status;
  return c->exited;
}

void child_end(station_child *c) {
  if (!c) return;
  if (!c->exited) {
    kill(c->pid, SIGKILL);
    while (waitpid(c->pid, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  close_fd(&c->out_fd);
  close_fd(&c->err_fd);
  delete c;
}

#include "child_process.h"

#include "test_files.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct child_state {
  std::string tag;
  int out_fd = -1, err_fd = -1;
  int pidfd = -1;  // readable once the child has ended
  child_result r;
};

// Every child started and not yet finished, by pid.
std::map<pid_t, child_state> children;

void close_fd(int *fd) {
  if (*fd >= 0) close(*fd);
  *fd = -1;
}

// Takes what is waiting on fd into sink; closes fd at its end.
void take(int *fd, std::string *sink) {
  char buf[4096];
  ssize_t n;
  while ((n = read(*fd, buf, sizeof buf)) > 0) sink->append(buf, (size_t)n);
  if (n == 0 || (errno != EAGAIN && errno != EINTR)) close_fd(fd);
}

// Waits up to timeout_ms for output or the child's end and takes what
// came. Returns false once the child has ended.
bool wait_some(child_state *c, int timeout_ms) {
  struct pollfd p[3] = {{c->out_fd, POLLIN, 0}, {c->err_fd, POLLIN, 0}, {c->pidfd, POLLIN, 0}};
  poll(p, 3, timeout_ms);
  if (p[0].revents) take(&c->out_fd, &c->r.out);
  if (p[1].revents) take(&c->err_fd, &c->r.err);
  return !(p[2].revents & POLLIN);
}

void reap(pid_t pid, child_state *c) {
  int wstatus = 0;
  struct rusage usage = {};
  wait4(pid, &wstatus, 0, &usage);
  if (!c->r.timed_out && WIFEXITED(wstatus)) c->r.status = WEXITSTATUS(wstatus);
  if (!c->r.timed_out && WIFSIGNALED(wstatus)) c->r.signal = WTERMSIG(wstatus);
  c->r.cpu_seconds = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
                     usage.ru_stime.tv_usec / 1e6;
  // What it wrote just before the end is in the pipes; a grandchild that
  // kept them open must not hold up the wait, so take only what is there.
  take(&c->out_fd, &c->r.out);
  take(&c->err_fd, &c->r.err);
}

}  // namespace

double steady_seconds(void) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

pid_t start_child(const std::vector<std::string> &argv, const std::string &tag) {
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0) return -1;
  if (pipe2(err, O_CLOEXEC) != 0) {
    close(out[0]);
    close(out[1]);
    return -1;
  }
  std::vector<char *> args;
  for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
  args.push_back(nullptr);
  pid_t parent = getpid();
  pid_t pid = fork();
  if (pid == 0) {
    // A test killed on its time-out must not leave a board or a korvane
    // running.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    int devnull = open("/dev/null", O_RDONLY);
    dup2(devnull, 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  if (pid < 0) {
    close(out[0]);
    close(err[0]);
    return -1;
  }
  child_state &c = children[pid];
  c = child_state();
  c.tag = tag;
  c.out_fd = out[0];
  c.err_fd = err[0];
  fcntl(c.out_fd, F_SETFL, O_NONBLOCK);
  fcntl(c.err_fd, F_SETFL, O_NONBLOCK);
  c.pidfd = (int)syscall(SYS_pidfd_open, pid, 0);
  return pid;
}

bool read_child_until(pid_t pid, const std::function<bool(const child_result &)> &done,
                      double timeout_s) {
  auto it = children.find(pid);
  if (it == children.end()) return false;
  child_state &c = it->second;
  const double end = steady_seconds() + timeout_s;
  while (!done(c.r)) {
    double left = end - steady_seconds();
    if (left <= 0 || (c.out_fd < 0 && c.err_fd < 0)) return false;
    if (!wait_some(&c, (int)(left * 1000) + 1)) {
      // Ended: what is left in the pipes is all there will be.
      take(&c.out_fd, &c.r.out);
      take(&c.err_fd, &c.r.err);
      return done(c.r);
    }
  }
  return true;
}

// Wine's client library reports its own trouble with the wine server
// ("wine client error:...") on the program's standard error, now and then
// as a program that has already failed ends. Those lines are Wine's, not the
// program's, and never come from a native program.
static std::string without_wine_client_errors(const std::string &err) {
  static const char prefix[] = "wine client error:";
  std::string kept;
  std::size_t at = 0;
  while (at < err.size()) {
    std::size_t end = err.find('\n', at);
    end = end == std::string::npos ? err.size() : end + 1;
    if (err.compare(at, sizeof prefix - 1, prefix) != 0) kept.append(err, at, end - at);
    at = end;
  }
  return kept;
}

child_result finish_child(pid_t pid, const std::string &tag, double timeout_s) {
  auto it = children.find(pid);
  if (it == children.end()) {
    std::fprintf(stderr, "%s: no such child\n", tag.c_str());
    return child_result();
  }
  child_state &c = it->second;
  const double end = steady_seconds() + timeout_s;
  for (;;) {
    double left = end - steady_seconds();
    if (left <= 0) {
      std::fprintf(stderr, "%s did not end in %.1f s: killed\n", tag.c_str(), timeout_s);
      c.r.timed_out = true;
      kill(pid, SIGKILL);
      break;
    }
    if (!wait_some(&c, (int)(left * 1000) + 1)) break;
  }
  c.r.ended_at = steady_seconds();
  reap(pid, &c);
  close_fd(&c.out_fd);
  close_fd(&c.err_fd);
  close_fd(&c.pidfd);
  child_result r = c.r;
  children.erase(it);
  r.err = without_wine_client_errors(r.err);
  return r;
}

child_result stop_child(pid_t pid, int sig, double timeout_s) {
  auto it = children.find(pid);
  kill(pid, sig);
  return finish_child(pid, it == children.end() ? "child" : it->second.tag, timeout_s);
}

double child_cpu_seconds(pid_t pid) {
  std::string text = read_file("/proc/" + std::to_string(pid) + "/stat");
  // The name in parentheses may hold spaces: read the fields after it,
  // state to cmajflt skipped, then utime and stime.
  size_t at = text.rfind(')');
  unsigned long utime = 0, stime = 0;
  if (at == std::string::npos ||
      std::sscanf(text.c_str() + at + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu",
                  &utime, &stime) != 2)
    return -1;
  return (utime + stime) / (double)sysconf(_SC_CLK_TCK);
}

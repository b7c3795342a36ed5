#include "child_process.h"

#include "test_files.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <mutex>
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
  int in_fd = -1, out_fd = -1, err_fd = -1;
  int pidfd = -1;  // readable once the child has ended
  child_result r;
};

// Every child started and not yet finished, by pid. A benchmark starts
// children from several threads; each child is used by one thread only.
std::map<pid_t, child_state> children;
std::mutex children_lock;

child_state *find_child(pid_t pid) {
  std::lock_guard<std::mutex> hold(children_lock);
  auto it = children.find(pid);
  return it == children.end() ? nullptr : &it->second;
}

void close_fd(int *fd) {
  if (*fd >= 0) close(*fd);
  *fd = -1;
}

// Takes what is waiting on fd into sink; closes fd at its end.
void take(int *fd, std::string *sink) {
  if (*fd < 0) return;
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
  c->r.peak_kb = usage.ru_maxrss;
  // What it wrote just before the end is in the pipes; a grandchild that
  // kept them open must not hold up the wait, so take only what is there.
  take(&c->out_fd, &c->r.out);
  take(&c->err_fd, &c->r.err);
}

// A pipe for one of the child's standard streams, or none when the stream
// is not the starter's to see (-1 at both ends).
bool stream_pipe(bool wanted, int ends[2]) {
  ends[0] = ends[1] = -1;
  return !wanted || pipe2(ends, O_CLOEXEC) == 0;
}

// The child's side of a standard stream: its pipe end, or /dev/null.
void child_stream(int fd, int pipe_end, int null_flags) {
  int from = pipe_end >= 0 ? pipe_end : open("/dev/null", null_flags);
  dup2(from, fd);
}

// Forks a child with its standard streams set up; in the child, body runs
// and its value ends it. Returns the child's pid, or -1.
pid_t start(const std::string &tag, const child_setup &setup, const std::function<int()> &body) {
  int in[2], out[2], err[2];
  bool made = stream_pipe(setup.fed, in);
  made = stream_pipe(!setup.out_dropped, out) && made;
  made = stream_pipe(!setup.err_dropped, err) && made;
  int *ends[] = {&in[0], &in[1], &out[0], &out[1], &err[0], &err[1]};
  if (!made) {
    for (int *fd : ends) close_fd(fd);
    return -1;
  }
  const double started_at = steady_seconds();
  pid_t parent = getpid();
  pid_t pid = fork();
  if (pid == 0) {
    // A test killed on its time-out must not leave a board or a korvane
    // running.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    if (setup.address_space) {
      struct rlimit cap = {(rlim_t)setup.address_space, (rlim_t)setup.address_space};
      if (setrlimit(RLIMIT_AS, &cap) != 0) _exit(127);
    }
    child_stream(0, in[0], O_RDONLY);
    child_stream(1, out[1], O_WRONLY);
    child_stream(2, err[1], O_WRONLY);
    _exit(body());
  }
  close_fd(&in[0]);
  close_fd(&out[1]);
  close_fd(&err[1]);
  if (pid < 0) {
    for (int *fd : ends) close_fd(fd);
    return -1;
  }
  std::lock_guard<std::mutex> hold(children_lock);
  child_state &c = children[pid];
  c = child_state();
  c.tag = tag;
  c.in_fd = in[1];
  c.out_fd = out[0];
  c.err_fd = err[0];
  for (int fd : {c.in_fd, c.out_fd, c.err_fd})
    if (fd >= 0) fcntl(fd, F_SETFL, O_NONBLOCK);
  c.pidfd = (int)syscall(SYS_pidfd_open, pid, 0);
  c.r.started_at = started_at;
  return pid;
}

}  // namespace

double steady_seconds(void) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

pid_t start_child(const std::vector<std::string> &argv, const std::string &tag,
                  const child_setup &setup) {
  std::vector<char *> args;
  for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
  args.push_back(nullptr);
  return start(tag, setup, [&args] {
    execvp(args[0], args.data());
    return 127;
  });
}

pid_t start_child_function(const std::function<int()> &body, const std::string &tag) {
  return start(tag, child_setup(), body);
}

bool feed_child(pid_t pid, const std::function<std::string(long)> &chunk, double timeout_s) {
  child_state *c = find_child(pid);
  if (!c || c->in_fd < 0) return false;
  // A child that stops reading must not end the starter with SIGPIPE.
  void (*old)(int) = signal(SIGPIPE, SIG_IGN);
  const double end = steady_seconds() + timeout_s;
  bool fed = false, going = true;
  std::string data;
  size_t at = 0;
  for (long next = 0; going;) {
    if (at == data.size()) {
      data = chunk(next++);
      at = 0;
      if (data.empty()) {
        fed = true;
        break;
      }
    }
    double left = end - steady_seconds();
    if (left <= 0) break;
    struct pollfd p[4] = {{c->in_fd, POLLOUT, 0},
                          {c->out_fd, POLLIN, 0},
                          {c->err_fd, POLLIN, 0},
                          {c->pidfd, POLLIN, 0}};
    poll(p, 4, (int)(left * 1000) + 1);
    if (p[1].revents) take(&c->out_fd, &c->r.out);
    if (p[2].revents) take(&c->err_fd, &c->r.err);
    if (p[3].revents & POLLIN) break;
    if (p[0].revents & (POLLERR | POLLHUP)) break;
    if (!(p[0].revents & POLLOUT)) continue;
    ssize_t n = write(c->in_fd, data.data() + at, data.size() - at);
    if (n > 0) at += (size_t)n;
    going = n > 0 || errno == EAGAIN || errno == EINTR;
  }
  close_fd(&c->in_fd);
  signal(SIGPIPE, old);
  return fed;
}

bool read_child_until(pid_t pid, const std::function<bool(const child_result &)> &done,
                      double timeout_s) {
  child_state *found = find_child(pid);
  if (!found) return false;
  child_state &c = *found;
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

bool read_child_line(pid_t pid, std::string *line, double timeout_s) {
  auto has_line = [line](const child_result &r) {
    size_t end = r.out.find('\n');
    if (end != std::string::npos) *line = r.out.substr(0, end);
    return end != std::string::npos;
  };
  return read_child_until(pid, has_line, timeout_s);
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
  child_state *found = find_child(pid);
  if (!found) {
    std::fprintf(stderr, "%s: no such child\n", tag.c_str());
    return child_result();
  }
  child_state &c = *found;
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
  close_fd(&c.in_fd);
  close_fd(&c.out_fd);
  close_fd(&c.err_fd);
  close_fd(&c.pidfd);
  child_result r = c.r;
  {
    std::lock_guard<std::mutex> hold(children_lock);
    children.erase(pid);
  }
  r.err = without_wine_client_errors(r.err);
  return r;
}

child_result stop_child(pid_t pid, int sig, double timeout_s) {
  child_state *c = find_child(pid);
  kill(pid, sig);
  return finish_child(pid, c ? c->tag : "child", timeout_s);
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

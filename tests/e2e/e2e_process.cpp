#include "e2e_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

double e2e_now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int e2e_start(e2e_process *p, const std::vector<std::string> &argv) {
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0) return 0;
  if (pipe2(err, O_CLOEXEC) != 0) {
    close(out[0]);
    close(out[1]);
    return 0;
  }
  std::vector<char *> args;
  for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
  args.push_back(nullptr);
  p->pid = fork();
  if (p->pid == 0) {
    // A test killed on its time-out must not leave a board running.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    dup2(out[1], 1);
    dup2(err[1], 2);
    execv(args[0], args.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  p->out_fd = out[0];
  p->err_fd = err[0];
  return p->pid > 0;
}

namespace {

// Reads what is there, waiting at most timeout_ms. Returns 0 once both
// pipes are closed.
int read_some(e2e_process *p, int timeout_ms) {
  pollfd fds[2] = {{p->out_fd, POLLIN, 0}, {p->err_fd, POLLIN, 0}};
  std::string *sinks[2] = {&p->out, &p->err};
  int *owners[2] = {&p->out_fd, &p->err_fd};
  if (p->out_fd < 0 && p->err_fd < 0) return 0;
  if (poll(fds, 2, timeout_ms) <= 0) return 1;
  for (int i = 0; i < 2; i++) {
    if (fds[i].fd < 0 || fds[i].revents == 0) continue;
    char buf[4096];
    ssize_t n = read(fds[i].fd, buf, sizeof buf);
    if (n > 0) {
      sinks[i]->append(buf, size_t(n));
    } else {
      close(fds[i].fd);
      *owners[i] = -1;
    }
  }
  return 1;
}

int reap(e2e_process *p, bool block) {
  int st;
  pid_t r = wait4(p->pid, &st, block ? 0 : WNOHANG, &p->usage);
  if (r != p->pid) return 0;
  p->status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
  return 1;
}

}  // namespace

bool e2e_read_until(e2e_process *p, const std::function<bool(const e2e_process &)> &done,
                    double timeout_s) {
  double end = e2e_now() + timeout_s;
  while (!done(*p)) {
    double left = end - e2e_now();
    if (left <= 0) return false;
    // Both pipes closed: nothing more can come.
    if (!read_some(p, int(left * 1000) + 1)) return done(*p);
  }
  return true;
}

int e2e_finish(e2e_process *p, double timeout_s) {
  if (p->pid <= 0 || p->status >= 0) return 1;
  double end = e2e_now() + timeout_s;
  while (!reap(p, false)) {
    double left = end - e2e_now();
    if (left <= 0) {
      kill(p->pid, SIGKILL);
      reap(p, true);
      return 0;
    }
    read_some(p, left < 0.05 ? int(left * 1000) + 1 : 50);
  }
  // What the child wrote just before it ended is still in the pipes.
  double drain_end = e2e_now() + 1.0;
  while (e2e_now() < drain_end && read_some(p, 100)) {
  }
  if (p->out_fd >= 0) close(p->out_fd);
  if (p->err_fd >= 0) close(p->err_fd);
  p->out_fd = p->err_fd = -1;
  return 1;
}

int e2e_stop(e2e_process *p, int sig, double timeout_s) {
  if (p->pid > 0 && p->status < 0) kill(p->pid, sig);
  return e2e_finish(p, timeout_s);
}

// Child processes for the end-to-end tests: start a program with its output
// on pipes, read it until something shows up, and make sure it ends: every
// wait is bounded and a child that outlives its time is killed.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

struct e2e_process {
  pid_t pid = -1;
  int out_fd = -1;
  int err_fd = -1;
  std::string out;
  std::string err;
  int status = -1;  // exit code, or 128 + signal; -1 while running
  rusage usage{};   // the child's CPU time, once it has ended
};

// Returns 0 when the program cannot be started.
int e2e_start(e2e_process *p, const std::vector<std::string> &argv);
// Reads output until done(p) holds, the child ends, or timeout_s passes.
// Returns whether done(p) held.
bool e2e_read_until(e2e_process *p, const std::function<bool(const e2e_process &)> &done,
                    double timeout_s);
// Waits for the child to end, reading its output; kills it after timeout_s.
// Returns 0 when it had to be killed.
int e2e_finish(e2e_process *p, double timeout_s);
// Sends sig, then waits for the end as e2e_finish does.
int e2e_stop(e2e_process *p, int sig, double timeout_s);
double e2e_now();

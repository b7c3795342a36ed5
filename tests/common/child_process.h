// A program run as a child process by the tests and the benchmarks: started
// with its output on pipes, read until something shows up, and made sure to
// end: every wait is bounded, a child that outlives its time is killed, and
// every child dies with the process that started it.
#pragma once

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

struct child_result {
  int status = -1;         // exit status; -1 when killed or ended by a signal
  int signal = 0;          // the signal that ended it, other than our kill
  bool timed_out = false;  // killed for outliving its time
  std::string out, err;    // what it wrote: so far, or in all once ended
  double ended_at = 0;     // steady-clock seconds
  double cpu_seconds = 0;  // user and system time of the child
};

// Starts the program with argv (argv[0] is the program, looked up in PATH
// when it has no '/'); tag names it in messages. Returns -1 when it cannot
// be started.
pid_t start_child(const std::vector<std::string> &argv, const std::string &tag);

// Reads the child's output until done(what it wrote so far) holds, it closes
// both streams, or timeout_s passes. Returns whether done held.
bool read_child_until(pid_t pid, const std::function<bool(const child_result &)> &done,
                      double timeout_s);

// Waits up to timeout_s for the child to end, killing it after that.
child_result finish_child(pid_t pid, const std::string &tag, double timeout_s);

// Sends sig, then waits as finish_child does.
child_result stop_child(pid_t pid, int sig, double timeout_s);

// User and system time a running child has used so far, in seconds.
double child_cpu_seconds(pid_t pid);

double steady_seconds(void);

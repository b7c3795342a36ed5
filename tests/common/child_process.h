// A program run as a child process by the tests and the benchmarks: started
// with its output on pipes, its input fed if asked, its address space capped
// if asked, read until something shows up, and made sure to end: every wait
// is bounded, a child that outlives its time is killed, and every child dies
// with the process that started it. What it used (CPU, peak memory, wall
// time) comes back with its exit status.
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
  double started_at = 0;   // steady-clock seconds
  double ended_at = 0;
  double cpu_seconds = 0;  // user and system time of the child
  // The child's peak resident size. A child starts as a copy of its
  // starter, so this counts the starter's size at the start too.
  long peak_kb = 0;
};

// What a child gets besides its arguments; the defaults suit most tests.
struct child_setup {
  bool fed = false;                      // standard input a pipe for feed_child; else /dev/null
  bool out_dropped = false;              // standard output thrown away: large and unwanted
  bool err_dropped = false;              // standard error likewise
  unsigned long long address_space = 0;  // a cap on it (RLIMIT_AS) in bytes; 0: none
};

// Starts the program with argv (argv[0] is the program, looked up in PATH
// when it has no '/'); tag names it in messages. Returns -1 when it cannot
// be started.
pid_t start_child(const std::vector<std::string> &argv, const std::string &tag,
                  const child_setup &setup = child_setup());

// Runs body in a child of its own, which ends with what body returns: what
// it allocates then never counts in the starter's own peak, nor in that of
// the children the starter starts later. Only for a starter with no other
// threads.
pid_t start_child_function(const std::function<int()> &body, const std::string &tag);

// Writes chunk(0), chunk(1), ... to the standard input of a child started
// fed, taking its output meanwhile, until chunk gives "", the child stops
// reading or ends, or timeout_s passes; then closes that input. Returns
// whether every chunk went in.
bool feed_child(pid_t pid, const std::function<std::string(long)> &chunk, double timeout_s);

// Reads the child's output until done(what it wrote so far) holds, it closes
// both streams, or timeout_s passes. Returns whether done held.
bool read_child_until(pid_t pid, const std::function<bool(const child_result &)> &done,
                      double timeout_s);

// Reads the child's output until its first line on standard output is
// whole, and gives that line without its end. Returns false when the child
// ended or timeout_s passed before it.
bool read_child_line(pid_t pid, std::string *line, double timeout_s);

// Waits up to timeout_s for the child to end, killing it after that.
child_result finish_child(pid_t pid, const std::string &tag, double timeout_s);

// Sends sig, then waits as finish_child does.
child_result stop_child(pid_t pid, int sig, double timeout_s);

// User and system time a running child has used so far, in seconds.
double child_cpu_seconds(pid_t pid);

double steady_seconds(void);

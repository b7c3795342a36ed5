// The built korvane as a child process: started with its output in files,
// waited for with a bound, and measured (how long it took to end after a
// given moment, and how much CPU time it used in all).
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

struct child_result {
    int status = -1;         // exit status; -1 when killed or ended by a signal
    std::string out, err;
    double ended_at = 0;     // steady-clock seconds
    double cpu_seconds = 0;  // user and system time of the child
};

// Starts the program with argv (argv[0] is the program); output goes to
// files named after tag in the test's temporary directory.
pid_t start_child(const std::vector<std::string> &argv, const std::string &tag);

// Waits up to timeout_s for the child to end, killing it after that.
child_result finish_child(pid_t pid, const std::string &tag, double timeout_s);

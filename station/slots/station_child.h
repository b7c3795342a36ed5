// A korvane child process per board: started with its arguments, its
// standard output and standard error read through pipes without blocking,
// stopped as Ctrl-C would stop it. A child dies with the station (a pipe it
// reads, the platform's parent-death signal or job object).
#pragma once

#include <string>
#include <vector>

struct station_child;
station_child *child_start(const std::string &program, const std::vector<std::string> &args,
                           std::string *why);
// Appends what the child wrote since the last call; false once both streams ended.
bool child_read(station_child *c, std::string *out, std::string *err);
// Asks the child to stop as Ctrl-C would (SIGINT on Linux; Ctrl-Break to its own process group on
// Windows).
void child_interrupt(station_child *c);
// True once the child has exited; *status its exit status (128 + signal number when a signal ended
// it).
bool child_exited(station_child *c, int *status);
// Kills it if still running, waits for it, frees it.
void child_end(station_child *c);

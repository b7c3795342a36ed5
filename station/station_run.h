// The whole station, from the command line to the exit status: the slots'
// cycles, the serials on standard input, the records, the reports and the
// view, in one single-threaded loop that waits at most a tick at a time.
#pragma once

int station_run(int argc, char **argv);

// The host's side of the exchange with the monitor: the command exchange
// (wait for the prompt "?", send one command byte, echo the trace text up to
// ":", take the result) and the test phase built on it, the monitor's
// commands that the run options select, with a verdict line for each test on
// the console and in the log file.
#pragma once

#include "options.h"

// Reads without time-out until the byte arrives; every other byte is dropped.
void wait_for_byte(unsigned char byte);

// Runs one command; true when its result starts with "0" (passed).
bool run_monitor_command(unsigned char command);

// Verbose and slow output when asked, then the selected tests, once or, when
// continuous, until a write to the log file or to standard output fails.
void run_test_phase(const run_options *opts);

// The test phase: the monitor's commands that the run options select, with
// a verdict line for each test on the console and in the log file.
#pragma once

#include "options.h"

// Verbose and slow output when asked, then the selected tests, once or, when
// continuous, until a write to the log file fails.
void run_test_phase(const run_options *opts);

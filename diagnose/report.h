// The diagnosis in words: one line per test, "SDRAM: ..." and "FLASH: ...",
// with the passes of a continuous run grouped by what they showed (up to 20
// verdicts, the passes of the rest counted); a line for the passes that could
// not be read; a log without trace lines gets its counts and one line of
// advice.
#pragma once

#include <string>

#include "log_summary.h"

// The line that follows the counts of a log without trace lines.
extern const char NO_TRACE_ADVICE[];

// What one test's line says after its name ("SDRAM: "), without its end.
std::string test_words(const test_summary &t);

// The whole report, each line ending in "\n".
std::string diagnosis_report(const log_summary &summary);

// The note on a continuous run stopped inside a test, without its end.
std::string cut_short_note(const log_ending &ending);

// The diagnosis in words: one line per test, "SDRAM: ..." and "FLASH: ...",
// with the passes of a continuous run grouped by what they showed.
#pragma once

#include <string>

#include "inference.h"
#include "log_parser.h"

// "data line 5 stuck at 1", "address lines 3 and 7 shorted", ...
std::string sdram_fault_words(const sdram_fault &fault);
std::string sdram_diagnosis_words(const sdram_diagnosis &d);
// "sound", each failed check in words, or that the flash never became ready.
std::string flash_words(const flash_reading &r);

// What a log without trace lines gets instead of a diagnosis.
extern const char NO_TRACE_ADVICE[];

// The whole report, each line ending in "\n". Without try_pairs a trace
// that no single fault explains is not searched further (for the fuzzer,
// which would spend its time in the pair search).
std::string diagnosis_report(const log_contents &log, bool try_pairs = true);

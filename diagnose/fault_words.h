// The faults and verdicts in words, as every report says them: the text
// report prints them, the JSON and JUnit reports carry the same words.
#pragma once

#include <string>
#include <vector>

#include "flash_checks.h"
#include "sdram_diagnosis.h"

// "data line 5 stuck at 1", "address lines 3 and 7 shorted", ...
std::string sdram_fault_words(const sdram_fault &fault);
// The faults of a set joined by " and ".
std::string sdram_config_words(const sdram_fault_config &config);
// "one of 2 faults" or "one of 2 pairs of faults": the words before the
// choices of a diagnosis the trace cannot settle, wherever they are listed.
std::string one_of_words(size_t choices, bool pairs);
// "sound", the fault, "one of 2 faults: ...", "two faults: ...", or that
// nothing fits.
std::string sdram_diagnosis_words(const sdram_diagnosis &d);
// "sound", each failed check in words, or that the flash never became ready,
// or became ready only after the monitor stopped waiting (a good reading
// that korvane logged as failed).
std::string flash_words(const flash_reading &r, bool passed);

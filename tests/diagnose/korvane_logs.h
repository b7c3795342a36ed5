// Log text as `korvane -l` writes it, made from the shared fault model:
// each test's title, with -v the monitor's trace, and the verdict; and the
// fault kinds' short names. Shared by the diagnosis and monitor tests and the
// benchmark.
#pragma once

#include <string>

#include "flash_checks.h"
#include "sdram_fault_names.h"
#include "sdram_faults.h"
#include "sdram_walk.h"

// The reads a board with these faults returns.
sdram_reads reads_of(const sdram_fault_config &faults);

// A traced test, as korvane -v logs it.
std::string traced_sdram_test(const sdram_reads &reads);
std::string traced_sdram_test(const sdram_fault_config &faults);
std::string traced_flash_test(const flash_reading &reading);

// A test without its trace: "Testing SDRAM... passed\n" and the like.
std::string plain_test(bool sdram, bool passed);

// A flash the board accepts.
flash_reading good_flash();

// Which SDRAM faults explain a trace. Every fault the board can have is a
// hypothesis; each is replayed through the shared fault model and kept when
// its reads match the trace's exactly. Single faults are tried first, pairs
// only when no single fault fits: a pair that fits where a single does would
// be a needless second fault.
#pragma once

#include <vector>

#include "sdram_faults.h"
#include "sdram_walk.h"

enum class sdram_verdict { sound, single, pair, unexplained };

struct sdram_diagnosis {
  sdram_verdict verdict = sdram_verdict::sound;
  std::vector<sdram_fault_config> fits;  // every hypothesis that fits, in a fixed order
};

// Every single fault: 16 data lines and 25 address lines stuck at 0 or 1,
// and every pair of address lines shorted (382 in all), in a fixed order.
const std::vector<sdram_fault> &sdram_single_faults();

sdram_diagnosis sdram_diagnose(const sdram_reads &reads, bool try_pairs = true);

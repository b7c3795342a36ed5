// Which SDRAM faults explain a trace. Every fault the board can have is a
// hypothesis; each is replayed through the shared fault model and kept when
// its reads match the trace's exactly. Single faults are tried first, pairs
// only when no single fault fits: a pair that fits where a single does would
// be a needless second fault.
//
// Most pairs are ruled out before the walk is replayed: the reads a trace
// changes must be reads the pair's lines can reach, the values it shows must
// be values the walk wrote there, as the pair's data lines deliver them, and
// those reads alone, replayed from the writes just before them, must match.
#pragma once

#include <vector>

#include "sdram_faults.h"
#include "sdram_walk.h"

enum class sdram_verdict { sound, single, pair, unexplained };

struct sdram_diagnosis {
  sdram_verdict verdict = sdram_verdict::sound;
  std::vector<sdram_fault_config> fits;  // every hypothesis that fits, in a fixed order
};

// Every single fault, in a fixed order: the 16 data lines stuck at 0 or 1
// or floating, every pair of data lines shorted as a wired AND or OR, then
// the 25 address lines stuck at 0 or 1 and every pair of them shorted as a
// wired AND or OR (938 in all).
const std::vector<sdram_fault> &sdram_single_faults();

sdram_diagnosis sdram_diagnose(const sdram_reads &reads, bool try_pairs = true);

// Whether the pair search replays the whole walk for this pair of faults
// and these reads, that is whether it passes the checks made before. A pair
// must always pass them for the reads it makes itself.
bool sdram_pair_may_fit(const sdram_fault_config &pair, const sdram_reads &reads);

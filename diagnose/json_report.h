// The diagnosis as one JSON document, for scripts (korvane-diagnose --json):
//
//   {"sdram": TEST or null, "flash": TEST or null, "traced": bool,
//    "cut_short": null or {"test": "SDRAM"|"FLASH", "line": N}}
//   TEST: {"passes": N, "failed": N,
//          "verdict": "sound"|"faulty"|"unexplained"|"not diagnosed",
//          "faults": [FAULT...],
//          "groups": [{"words": "...", "result": "passed"|"failed",
//                      "verdict": ..., "faults": [FAULT...], "passes": N,
//                      "first_passes": [N...]}...]}
//   FAULT: the words of a fault, or a list of the faults that the trace
//          cannot tell apart (one of them is the fault).
#pragma once

#include <string>

#include "log_summary.h"

// The document, pretty-printed, ending in a line break.
std::string json_report(const log_summary &summary);

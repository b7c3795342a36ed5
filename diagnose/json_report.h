// The diagnosis as one JSON document, for scripts (korvane-diagnose --json):
//
//   {"schema": 2, "verdict": VERDICT,
//    "sdram": TEST or null, "flash": TEST or null, "traced": bool,
//    "cut_short": null or {"test": "SDRAM"|"FLASH", "line": N},
//    "unreadable": [{"line": N, "reason": "...", "test": "SDRAM"|"FLASH"|null,
//                    "pass": N|null}...], "unreadable_count": N}
//   VERDICT: "sound"|"faulty"|"unexplained"|"not diagnosed"|"no verdict";
//          the document's is the worst of its tests', and no better than
//          "no verdict" with any pass unreadable
//   TEST: {"passes": N, "failed": N, "unreadable": N,
//          "unreadable_passes": [N...], "verdict": VERDICT,
//          "faults": [ENTRY...],
//          "groups": [{"words": "...", "result": "passed"|"failed",
//                      "verdict": VERDICT, "faults": [ENTRY...], "passes": N,
//                      "first_passes": [N...]}...]}
//   ENTRY: FAULT, a pair [FAULT, FAULT], or {"one_of": [FAULT or pair...]}
//          when the trace cannot tell them apart (one of them is the fault)
//   FAULT: {"kind": "...", "lines": [N...], "level": 0|1|null,
//           "wiring": "and"|"or"|null, "words": "..."}, as fault_data.h
//          gives it
//
// "unreadable" lists the first 100 passes that could not be read; the count
// is of them all.
#pragma once

#include <string>

#include "log_summary.h"

// The version of the document's shape; a script checks it before reading.
constexpr int JSON_SCHEMA = 2;

// The document, pretty-printed, ending in a line break.
std::string json_report(const log_summary &summary);

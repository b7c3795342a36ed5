// The faults a diagnosis names, as data rather than words, for programs that
// act on them (the JSON report is made from these, and a test station can
// take them in-process without parsing any text).
//
// A test's faults are a list of entries. Each entry is what one diagnosis
// names: either one hypothesis for certain, or several that the trace cannot
// tell apart, one of which is the board's ("one of"). A hypothesis is a
// single fault or a pair (two faults on the same board). A fault is an
// object with its kind, its lines, its level or wiring, and its words.
//
//   test_verdict(summary.sdram)  sound, faulty, unexplained, not diagnosed
//   test_faults(summary.sdram)   every entry any pass named, each once
//   summary.sdram.groups[i].faults  the entries of one group of passes
//
// For example, a board with data line 5 stuck at 1 gives one entry, with
// one hypothesis, of one fault: {kind "data_stuck", lines {5}, level 1,
// wiring "", words "data line 5 stuck at 1"}.
#pragma once

#include <string>
#include <vector>

#include "flash_checks.h"
#include "sdram_diagnosis.h"

// One fault.
struct fault_object {
  // SDRAM: "data_stuck", "data_floating", "data_short", "address_stuck",
  // "address_short". FLASH: the check that failed, "maker", "device",
  // "third_id_byte", "fourth_id_byte", "status", "status_misread", or
  // "never_ready", "late_ready".
  std::string kind;
  std::vector<int> lines;  // the data or address lines, in order; none for the flash
  int level = -1;          // 0 or 1 for a stuck line, else -1
  std::string wiring;      // "and" or "or" for a short, else empty
  std::string words;       // as the text report says it
};

bool operator==(const fault_object &a, const fault_object &b);

// A single fault, or a pair.
typedef std::vector<fault_object> fault_hypothesis;

// One hypothesis for certain (one_of holds one), or several, one of which is
// the board's.
struct fault_entry {
  std::vector<fault_hypothesis> one_of;
};

bool operator==(const fault_entry &a, const fault_entry &b);

typedef std::vector<fault_entry> fault_list;

fault_object sdram_fault_object(const sdram_fault &fault);

// The entries an SDRAM diagnosis names: none for a sound board or a trace
// nothing fits, else one.
fault_list sdram_diagnosis_faults(const sdram_diagnosis &d);

// The entries a flash reading names, one per failed check; passed is the
// verdict korvane logged, which alone tells a chip that became ready after
// the monitor stopped waiting.
fault_list flash_faults(const flash_reading &r, bool passed);

// Whether a reading with this verdict is a chip that became ready late: the
// monitor gave up waiting, but the final status and the ID are good.
bool flash_late_ready(const flash_reading &r, bool passed);

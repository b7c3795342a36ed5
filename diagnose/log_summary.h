// A log summed up as its tests are read: for each test the number of passes
// and of failed ones, and the passes grouped by what they showed, each
// group with its words and the faults it names. No pass is kept, so the
// summary stays small however long the log is; only the pass-by-pass record
// that a JUnit report needs grows with the passes, and only when asked for.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "fault_words.h"
#include "log_parser.h"

// What a pass, or a whole test, showed.
enum class verdict {
  sound,          // the trace shows no fault
  faulty,         // the trace names its faults
  unexplained,    // the test failed and no fault fits its trace
  not_diagnosed,  // a log without trace lines
};

// "sound", "faulty", "unexplained", "not diagnosed".
const char *verdict_name(verdict v);

// The pass numbers a group lists.
constexpr size_t MAX_PASSES_LISTED = 10;
// Groups a test keeps; the passes of any further verdict are summed up in
// one group more, with OTHER_VERDICTS as its words.
constexpr size_t MAX_GROUPS = 4096;
extern const char OTHER_VERDICTS[];

struct pass_group {
  std::string words;  // as the text report says it, e.g. "data line 5 stuck at 1"
  bool passed = false;
  verdict kind = verdict::sound;
  fault_list faults;
  uint64_t passes = 0;
  std::vector<uint64_t> first_passes;  // the first MAX_PASSES_LISTED, from 1
};

struct test_summary {
  bool present = false;
  bool traced = false;
  uint64_t passes = 0, failed = 0;
  std::vector<pass_group> groups;                      // in order of first appearance
  std::unordered_map<std::string, uint32_t> group_of;  // by words
  // Pass by pass, when kept: runs of passes in the same group (group, count).
  // A deque grows without copying what it holds.
  std::deque<std::pair<uint32_t, uint32_t>> runs;
};

struct log_summary {
  // Set before reading.
  bool keep_passes = false;  // fill test_summary::runs
  bool try_pairs = true;     // search pairs of SDRAM faults

  test_summary sdram, flash;
  log_ending ending;
  // A trace seen before reuses its diagnosis: the SDRAM traces' reads, as
  // bytes, to their group.
  std::unordered_map<std::string, uint32_t> sdram_seen;
};

// Adds one complete test. False, with the reason, only when the pass-by-pass
// record would outgrow its bound.
bool summary_add(log_summary *summary, const test_record &test, std::string *why);

// summary_add in the shape parse_log calls; context is the log_summary.
bool summary_handler(void *context, const test_record &test, std::string *why);

// The verdict over all passes: "not diagnosed" without a trace; sound when
// every pass was; faulty when any pass named its fault; else unexplained.
verdict test_verdict(const test_summary &t);

// The faults any pass named, each once, in order of first appearance.
fault_list test_faults(const test_summary &t);

// Reads a whole log into summary (whose settings are already made). False
// with the reason ("line N: ...") as parse_log gives it.
bool summarize_log(line_reader *in, log_summary *summary, std::string *why);

// A log summed up as its tests are read: for each test the number of passes
// and of failed ones, and the passes grouped by what they showed, each
// group with its words and the faults it names (as data: fault_data.h);
// the passes that could not be read, with their reasons. No pass is kept,
// so the summary stays small however long the log is; only the pass-by-pass
// record that a JUnit report needs grows with the passes, when asked for,
// and up to a bound.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "fault_data.h"
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
// one group more, with OTHER_VERDICTS as its words, the worst verdict among
// them and the first MAX_OTHER_FAULTS entries they named.
constexpr size_t MAX_GROUPS = 4096;
constexpr size_t MAX_OTHER_FAULTS = 20;
extern const char OTHER_VERDICTS[];
// Unreadable passes listed with their reasons; the rest are only counted.
constexpr size_t MAX_UNREADABLE_LISTED = 100;

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
  // A deque grows without copying what it holds. Past max_runs runs the
  // record stops growing: runs_complete turns false, and the passes after
  // the last run kept are counted by group in later_passes.
  std::deque<std::pair<uint32_t, uint32_t>> runs;
  bool runs_complete = true;
  std::vector<uint64_t> later_passes;  // by group
};

// The runs a test's pass-by-pass record keeps at most (8 bytes each).
constexpr size_t MAX_RUNS = 4u << 20;

// A pass whose text could not be read.
struct unreadable_pass {
  long long line = 0;  // the line at which it could not be read further
  std::string reason;
};

struct log_summary {
  // Set before reading.
  bool keep_passes = false;    // fill test_summary::runs
  bool try_pairs = true;       // search pairs of SDRAM faults
  size_t max_runs = MAX_RUNS;  // the bound of each test's runs

  test_summary sdram, flash;
  log_ending ending;
  uint64_t unreadable_count = 0;
  std::vector<unreadable_pass> unreadable;  // the first MAX_UNREADABLE_LISTED
  // A trace seen before reuses its diagnosis: the SDRAM traces' reads, as
  // bytes, to their group.
  std::unordered_map<std::string, uint32_t> sdram_seen;
};

// Adds one complete test, or one unreadable pass. Never fails (the shape
// parse_log needs); the record of passes is bounded as described above.
bool summary_add(log_summary *summary, const test_record &test, std::string *why);

// summary_add in the shape parse_log calls; context is the log_summary.
bool summary_handler(void *context, const test_record &test, std::string *why);

// The verdict over all passes: "not diagnosed" without a trace; sound when
// every pass was; faulty when any pass named its fault; else unexplained.
verdict test_verdict(const test_summary &t);

// The verdict over the readable passes, for --exit-status and a test
// station: 8 when any SDRAM pass failed, 16 when any FLASH pass did, their
// sum when both did.
int summary_status(const log_summary &summary);

// The verdict over both tests: faulty when either is, else unexplained when
// either is, else not diagnosed when either is, else sound.
verdict summary_verdict(const log_summary &summary);

// The faults any pass named, each once, in order of first appearance.
fault_list test_faults(const test_summary &t);

// Reads a whole log into summary (whose settings are already made). False
// with the reason ("line N: ...") as parse_log gives it.
bool summarize_log(line_reader *in, log_summary *summary, std::string *why);

// A log summed up as its tests are read: for each test the number of passes
// and of failed ones, and the passes grouped by what they showed, each
// group with its words and the faults it names (as data: fault_data.h);
// the passes that could not be read, with their reasons, counted with their
// test where their title tells it. An unreadable pass may hide a failure:
// a test with one is never sound, and one with nothing else has no
// verdict. Passes are numbered from 1 in each test, the unreadable ones
// with the others. No pass is kept,
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
  no_verdict,     // passes could not be read, and none that could failed
};

// "sound", "faulty", "unexplained", "not diagnosed", "no verdict".
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

// The group a pass-by-pass record gives an unreadable pass.
constexpr uint32_t UNREADABLE_GROUP = UINT32_MAX;

struct test_summary {
  bool present = false;  // a pass of it is in the log, readable or not
  bool traced = false;
  uint64_t passes = 0, failed = 0;                     // the readable passes
  uint64_t unreadable = 0;                             // passes whose title alone could be read
  std::vector<uint64_t> unreadable_passes;             // their first MAX_PASSES_LISTED numbers
  std::vector<pass_group> groups;                      // in order of first appearance
  std::unordered_map<std::string, uint32_t> group_of;  // by words
  // Pass by pass, when kept: runs of passes in the same group (group, count).
  // A deque grows without copying what it holds. Past max_runs runs the
  // record stops growing: runs_complete turns false, and the passes after
  // the last run kept are counted by group in later_passes. Unreadable
  // passes are runs of UNREADABLE_GROUP, and later_unreadable.
  std::deque<std::pair<uint32_t, uint32_t>> runs;
  bool runs_complete = true;
  std::vector<uint64_t> later_passes;  // by group
  uint64_t later_unreadable = 0;
};

// The runs a test's pass-by-pass record keeps at most (8 bytes each).
constexpr size_t MAX_RUNS = 4u << 20;

// A pass whose text could not be read.
struct unreadable_pass {
  long long line = 0;  // the line at which it could not be read further
  std::string reason;
  bool kind_known = false;  // which test it is, when its title tells
  test_kind kind = test_kind::sdram;
  uint64_t pass = 0;  // its number in that test, or 0
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

// The verdict over all passes: no verdict when none could be read; for a
// failed pass, faulty when any named its fault, else unexplained ("not
// diagnosed" without a trace); with no failed pass, no verdict when any
// could not be read, else sound ("not diagnosed" without a trace).
verdict test_verdict(const test_summary &t);

// The status for --exit-status and a test station: 8 when any SDRAM pass
// failed, 16 when any FLASH pass did, their sum when both did; else
// STATUS_UNREADABLE when any pass could not be read (it may hide a
// failure); else 0.
constexpr int STATUS_UNREADABLE = 4;
int summary_status(const log_summary &summary);

// Whether the log's readable passes carry a trace.
bool summary_traced(const log_summary &summary);

// The verdict over both tests, the worst of: faulty, unexplained, no
// verdict (also for an unreadable pass whose test is not known), not
// diagnosed, sound.
verdict summary_verdict(const log_summary &summary);

// The faults any pass named, each once, in order of first appearance.
fault_list test_faults(const test_summary &t);

// Reads a whole log into summary (whose settings are already made). False
// with the reason ("line N: ...") as parse_log gives it.
bool summarize_log(line_reader *in, log_summary *summary, std::string *why);

// The station's figures, defined once: boards in the order they end, some
// of them retested, in error, interrupted or not recorded (yet), and what
// every view reads of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "station/records/board_counts.h"

namespace {

const board_outcome PASSED = board_outcome::passed, FAILED = board_outcome::failed,
                    ERROR = board_outcome::error, INTERRUPTED = board_outcome::interrupted;

struct ended {
  std::string serial;
  board_outcome outcome;
  bool recorded;
};

TEST(BoardCounts, FiguresAddUpAndYieldsCountUnits) {
  const struct {
    const char *name;
    std::vector<ended> boards;
    long long tested, passed, failed, errors, interrupted, not_recorded, units;
    std::string words;
  } cases[] = {
      {"none",
       {},
       0,
       0,
       0,
       0,
       0,
       0,
       0,
       "0 boards tested, 0 passed, 0 failed, 0 errors, first-pass yield -, final yield -"},
      {"a retest that passes: one unit, failed first, passed last",
       {{"S1", FAILED, true}, {"S1", PASSED, true}},
       2,
       1,
       1,
       0,
       0,
       0,
       1,
       "2 boards tested, 1 passed, 1 failed, 0 errors, first-pass yield 0.0%, final yield "
       "100.0%"},
      {"a pass that a retest fails: final yield falls",
       {{"S1", PASSED, true}, {"S1", FAILED, true}, {"S2", PASSED, true}},
       3,
       2,
       1,
       0,
       0,
       0,
       2,
       "3 boards tested, 2 passed, 1 failed, 0 errors, first-pass yield 100.0%, final yield "
       "50.0%"},
      {"errors are verdicts; interrupted boards are not",
       {{"S1", ERROR, true}, {"S2", INTERRUPTED, true}, {"S3", PASSED, true}},
       3,
       1,
       0,
       1,
       1,
       0,
       2,
       "3 boards tested, 1 passed, 0 failed, 1 error, 1 interrupted, first-pass yield 50.0%, "
       "final yield 50.0%"},
      {"an interrupted first cycle leaves the next one first",
       {{"S1", INTERRUPTED, true}, {"S1", PASSED, true}},
       2,
       1,
       0,
       0,
       1,
       0,
       1,
       "2 boards tested, 1 passed, 0 failed, 0 errors, 1 interrupted, first-pass yield 100.0%, "
       "final yield 100.0%"},
      {"boards without a serial are units of their own",
       {{"", FAILED, true}, {"", PASSED, true}},
       2,
       1,
       1,
       0,
       0,
       0,
       2,
       "2 boards tested, 1 passed, 1 failed, 0 errors, first-pass yield 50.0%, final yield "
       "50.0%"},
      {"a board not recorded is neither passed nor a unit",
       {{"S1", PASSED, false}, {"S2", FAILED, true}},
       2,
       0,
       1,
       0,
       0,
       1,
       1,
       "2 boards tested, 0 passed, 1 failed, 0 errors, 1 not recorded, first-pass yield 0.0%, "
       "final yield 0.0%"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    board_counts counts;
    unit_tally tally;
    for (const ended &b : c.boards)
      board_counts_add(&counts, &tally, b.serial, b.outcome, b.recorded);
    EXPECT_EQ(c.tested, counts.tested);
    EXPECT_EQ(c.tested, counts.passed + counts.failed + counts.errors + counts.interrupted +
                            counts.not_recorded);
    EXPECT_EQ(c.passed, counts.passed);
    EXPECT_EQ(c.failed, counts.failed);
    EXPECT_EQ(c.errors, counts.errors);
    EXPECT_EQ(c.interrupted, counts.interrupted);
    EXPECT_EQ(c.not_recorded, counts.not_recorded);
    EXPECT_EQ(c.units, counts.units);
    std::string words;
    for (const std::string &w : board_counts_words(counts))
      words += (words.empty() ? "" : ", ") + w;
    EXPECT_EQ(c.words, words);
  }
}

TEST(BoardCounts, RecordedLaterCountsAsItsOutcome) {
  board_counts counts;
  unit_tally tally;
  counts.slot_errors = 1;
  board_counts_add(&counts, &tally, "S1", PASSED, false);
  board_counts_recorded(&counts, &tally, "S1", PASSED);
  EXPECT_EQ(0, counts.not_recorded);
  EXPECT_EQ(1, counts.passed);
  EXPECT_EQ(100.0, first_pass_yield(counts));
  std::vector<std::string> words = board_counts_words(counts);
  EXPECT_NE(words.end(), std::find(words.begin(), words.end(), "1 slot error"));
}

}  // namespace

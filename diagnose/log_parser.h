// Reads the test-phase text that `korvane -l` writes: for each test its
// title, with -v the monitor's trace lines, and its verdict; one pass or
// many. The trace must follow the monitor's walk step by step and agree with
// its verdict. A pass that does not (a corrupted byte, a line cut short,
// noise) is handed on as unreadable, with its line number and reason, and
// the reading goes on at the next title; a log in which nothing at all can
// be read is refused with its first reason.
//
// A title that noise damaged still tells its test when it differs from the
// title in a byte or two; a line longer than any of korvane's is damage too.
//
// The log is read as a stream and each test is handed on as soon as it is
// complete, so nothing grows with the length of the log. A log that stops
// inside a test is cut short: when the same test already ran complete
// earlier and what the log holds of it shows no failure, that is how a
// continuous run ends (Ctrl-C), and the cut test is left out; otherwise the
// log is truncated, and the cut test is handed on as an unreadable pass of
// its test.
#pragma once

#include <cstdint>
#include <string>

#include "flash_checks.h"
#include "korvane/board_check_words.h"
#include "line_reader.h"
#include "sdram_walk.h"

// The test a pass ran, as every program names it.
using test_kind = board_test;

struct test_record {
  test_kind kind = test_kind::sdram;
  long long line = 0;  // the title's line, from 1
  bool traced = false;
  bool passed = false;
  // A pass whose text cannot be read: where and why; kind holds only when
  // kind_known (its title could be read, or nearly).
  bool readable = true;
  bool kind_known = true;
  // A test the log ends in: what it holds of its trace already fails.
  bool failing = false;
  long long problem_line = 0;
  std::string problem;
  sdram_reads sdram{};  // for a traced SDRAM test
  flash_reading flash;  // for a traced FLASH test
};

// What the whole log showed beyond its tests.
struct log_ending {
  long long cut_short_line = 0;  // the title line of a left-out last test, or 0
  test_kind cut_short_kind = test_kind::sdram;
};

// Called for each complete test, in the order of the log. False stops the
// reading, with the reason in why.
typedef bool (*test_handler)(void *context, const test_record &test, std::string *why);

// Reads the log to its end. False with the reason in why ("line N: ...")
// when it is not a korvane log, cannot be read, or a handler refused.
bool parse_log(line_reader *in, test_handler handler, void *context, log_ending *ending,
               std::string *why);

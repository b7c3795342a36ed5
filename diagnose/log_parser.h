// Reads the test-phase text that `korvane -l` writes: for each test its
// title, with -v the monitor's trace lines, and its verdict; one pass or
// many. The trace must follow the monitor's walk step by step and agree with
// its verdict; anything else is reported with its line number.
//
// Lines may end in LF, CR LF or CR CR LF (a log written in text mode on
// Windows). A log that stops inside a test is cut short; when the same test
// already ran complete earlier, that is how a continuous run ends (Ctrl-C),
// and the cut test is left out; otherwise the log is truncated.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "flash_checks.h"
#include "sdram_walk.h"

enum class test_kind { sdram, flash };

struct test_record {
  test_kind kind = test_kind::sdram;
  int line = 0;  // the title's line, from 1
  bool traced = false;
  bool passed = false;
  sdram_reads sdram{};  // for a traced SDRAM test
  flash_reading flash;  // for a traced FLASH test
};

struct log_contents {
  std::vector<test_record> tests;
  int cut_short_line = 0;  // the title line of a left-out last test, or 0
};

struct log_error {
  int line = 0;
  std::string message;  // names the line
};

// False with err filled when the text is not a korvane log.
bool parse_log(const std::string &text, log_contents *log, log_error *err);

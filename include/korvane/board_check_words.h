// The board's two tests as every program names them: the word a command
// line, a record and a JSON key use ("sdram"), the title a report shows
// ("SDRAM"), and the title korvane prints on its console, in the order
// korvane runs them. The station and korvane-diagnose read them from here.
#pragma once

#include <cstring>
#include <string>

#include "korvane/console_texts.h"

enum class board_test { sdram, flash };

struct board_test_words {
  board_test test;
  const char *name;
  const char *title;
  const char *console_title;
};

constexpr board_test_words BOARD_TESTS[] = {
    {board_test::sdram, "sdram", "SDRAM", SDRAM_TEST_TITLE},
    {board_test::flash, "flash", "FLASH", FLASH_TEST_TITLE},
};

inline const board_test_words &board_test_of(board_test test) { return BOARD_TESTS[int(test)]; }

// The test a name gives ("sdram", "flash"); false for any other word.
inline bool board_test_named(const std::string &name, board_test *test) {
  for (const board_test_words &t : BOARD_TESTS) {
    if (name == t.name) {
      *test = t.test;
      return true;
    }
  }
  return false;
}

// The title of the test a name gives: "SDRAM" for "sdram", "FLASH" for
// the other.
inline const char *board_test_title(const std::string &name) {
  board_test test = board_test::flash;
  board_test_named(name, &test);
  return board_test_of(test).title;
}

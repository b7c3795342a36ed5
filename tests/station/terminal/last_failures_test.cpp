// The closing words' failed boards: the last few named, the rest counted.
#include <gtest/gtest.h>

#include "station/terminal/last_failures.h"

namespace {

TEST(LastFailures, KeepsTheLastAndCountsTheRest) {
  const struct {
    int failed;
    const char *text;
  } cases[] = {
      {0, ""},
      {2, "F1\nF2\n"},
      {3, "F1\nF2\nF3\n"},
      {4, "1 earlier failed board not listed\nF2\nF3\nF4\n"},
      {1000, "997 earlier failed boards not listed\nF998\nF999\nF1000\n"},
  };
  for (const auto &c : cases) {
    last_failures f;
    for (int i = 1; i <= c.failed; i++) last_failures_add(&f, "F" + std::to_string(i), 3);
    EXPECT_EQ(c.text, last_failures_text(f)) << c.failed;
    EXPECT_LE(f.kept.size(), 3u);
  }
  // A board's words come from the command line and the board: made printable.
  last_failures f;
  last_failures_add(&f, "A (serial \x1b[2J): FAIL");
  EXPECT_EQ("A (serial ?[2J): FAIL\n", last_failures_text(f));
}

}  // namespace

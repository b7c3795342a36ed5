// The korvane under test when things go wrong around it: the port goes away
// in every phase of a run, the log file's disk is full, a second korvane
// tries the same port. Each case runs the real program against a scripted
// board on a pseudo-terminal.
#include "board_line.h"

#include <gtest/gtest.h>

#include <string>
#include <unistd.h>
#include <vector>

namespace {

TEST(Hardening, APortThatGoesAwayEndsTheRunInEveryPhase) {
  struct {
    const char *name;
    std::vector<std::string> args;
    board_phase phase;
    int commands;  // answered before the hang-up
  } cases[] = {
      {"wake-up", {}, HANG_UP_IN_WAKEUP, 0},       {"download", {}, HANG_UP_IN_DOWNLOAD, 0},
      {"test phase", {}, HANG_UP_IN_TESTS, 1},     {"verbose set-up", {"-v"}, HANG_UP_IN_TESTS, 0},
      {"continuous", {"-c"}, HANG_UP_IN_TESTS, 9},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    board_script board;
    board.hang_up = c.phase;
    board.monitor.limit = c.commands;
    line l = open_line();
    child_result r = run_on_board(c.args, &board, "lost", l);
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("Lost serial port " + korvane_port_for(l.path).name + ".\n", r.err);
    EXPECT_EQ((std::size_t)c.commands, board.monitor.commands.size());
    // Bounds on an ending, not a speed figure: a korvane that spins or
    // hangs on a dead line blows both by far.
    double after = r.ended_at - board.hung_up_at;
    EXPECT_LT(after, korvane_end_bound_s());
    EXPECT_LT(r.cpu_seconds, 0.5);
    std::printf("%s: ended %.0f ms after the hang-up, %.0f ms CPU in all\n", c.name, after * 1000,
                r.cpu_seconds * 1000);
  }
}

TEST(Hardening, ALogOnAFullDiskFailsTheRunAfterTheTests) {
  struct {
    std::vector<std::string> args;
    std::string flash_answer;
    std::string commands;
    std::string tests;
  } cases[] = {
      {{"-l", "/dev/full"}, ":5", "12", "Testing SDRAM... passed\nTesting FLASH... failed\n"},
      {{"-v", "-l", "/dev/full", "flash"}, "Se0\r\n:5", "v2", "Testing FLASH...\nSe0\r\nfailed\n"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.commands);
    board_script board;
    board.monitor.answers['2'] = c.flash_answer;
    child_result r = run_on_board(c.args, &board, "full");
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("Could not write logfile '/dev/full'.\n", r.err);
    EXPECT_EQ(c.commands, board.monitor.commands);
    EXPECT_EQ(0u, r.out.find("Logging to '/dev/full'\n"));
    ASSERT_GE(r.out.size(), c.tests.size());
    EXPECT_EQ(c.tests, r.out.substr(r.out.size() - c.tests.size()));
  }
}

TEST(Hardening, ASecondKorvaneOnTheSamePortFailsAndTheFirstGoesOn) {
  if (korvane_under_wine())
    GTEST_SKIP() << "Wine lets a second process open a COM port that one holds with no sharing";
  line l = open_line();
  const korvane_port port = korvane_port_for(l.path);
  child_result second;
  board_script board;
  board.monitor.answers['2'] = ":3";
  // The first korvane is on the line and sending its wake-up pattern.
  board.on_first_byte = [&] {
    pid_t pid = start_child(korvane_command({"-p", port.arg}), "second");
    second = finish_child(pid, "second", 5.0);
  };
  child_result first = run_on_board({}, &board, "first", l);

  EXPECT_EQ(1, second.status);
  EXPECT_EQ(0u, second.err.find("Could not open serial port " + port.name + ".\n")) << second.err;
  EXPECT_EQ("", second.out);

  EXPECT_EQ(0, first.status);
  EXPECT_EQ("", first.err);
  EXPECT_TRUE(board.image_matches);
  EXPECT_EQ("12", board.monitor.commands);
  const std::string tests = "Testing SDRAM... passed\nTesting FLASH... failed\n";
  ASSERT_GE(first.out.size(), tests.size());
  EXPECT_EQ(tests, first.out.substr(first.out.size() - tests.size()));
}

}  // namespace

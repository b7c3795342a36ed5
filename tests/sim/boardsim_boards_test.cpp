// One boardsim with a boards file against one korvane run per board: each
// run sees its own board's faults, the next board goes in when the host wakes
// a board whose monitor runs or on SIGUSR1, and boardsim ends after the last.
// Each board takes the next seed for its boot ROM's junk: the sound monitor
// runs on all of them alike.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "korvane_program.h"
#include "test_files.h"

namespace {

const double RUN_TIMEOUT_S = 30;

struct boards_run {
  pid_t board = -1;
  korvane_port port;
};

bool start_boardsim(const std::string &boards_path, boards_run *run) {
  run->board = start_child({BOARDSIM_PATH, "--boards", boards_path, "--seed", "7", "--show-seed"},
                           "boardsim");
  if (run->board <= 0) return false;
  std::string path;
  if (!read_child_line(run->board, &path, 5)) return false;
  run->port = korvane_port_for(path);
  return true;
}

child_result run_korvane(const boards_run &run) {
  pid_t k = start_child(korvane_command({"-p", run.port.arg}), "korvane");
  child_result r = finish_child(k, "korvane", RUN_TIMEOUT_S);
  EXPECT_FALSE(r.timed_out) << "korvane did not end; it printed:\n" << r.out;
  return r;
}

// What a run prints after the download.
std::string tests_text(const child_result &r) {
  size_t at = r.out.find("Testing SDRAM");
  return at == std::string::npos ? r.out : r.out.substr(at);
}

struct board_case {
  const char *line;    // the board's line in the file
  bool signal_before;  // SIGUSR1 puts it in, not the host's wake-up
  const char *tests_text;
};

TEST(BoardsimBoards, EachRunSeesItsOwnBoard) {
  const board_case boards[] = {
      {"", false, "Testing SDRAM... passed\nTesting FLASH... passed\n"},
      {"--data-stuck 5:0", false, "Testing SDRAM... failed\nTesting FLASH... passed\n"},
      {"  --nand-id 00,f1,80,95  ", false, "Testing SDRAM... passed\nTesting FLASH... failed\n"},
      {"", false, "Testing SDRAM... passed\nTesting FLASH... passed\n"},
      {"--addr-stuck 9:1 --nand-status e1", true,
       "Testing SDRAM... failed\nTesting FLASH... failed\n"},
  };
  std::string text;
  for (const board_case &c : boards) text += std::string(c.line) + "\n";
  const std::string path = temp_file("boardsim-boards");
  ASSERT_NE("", path);
  std::ofstream(path) << text;

  boards_run run;
  ASSERT_TRUE(start_boardsim(path, &run));
  for (const board_case &c : boards) {
    SCOPED_TRACE(c.line);
    if (c.signal_before) kill(run.board, SIGUSR1);
    child_result k = run_korvane(run);
    EXPECT_EQ(0, k.status) << k.err;
    EXPECT_EQ(c.tests_text, tests_text(k));
  }
  // The last board: the operator's signal takes it out and boardsim ends.
  kill(run.board, SIGUSR1);
  child_result b = finish_child(run.board, "boardsim", 5);
  EXPECT_FALSE(b.timed_out);
  EXPECT_EQ(0, b.status);
  EXPECT_EQ("boardsim: seed 7\n", b.err);
  unlink(path.c_str());
}

}  // namespace

// The korvane under test against the built boardsim over a real
// pseudo-terminal: console text byte for byte, exit status, log file,
// faults of the board and of the line.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "child_process.h"
#include "korvane_program.h"
#include "test_files.h"

namespace {

const double RUN_TIMEOUT_S = 30;

std::string hex(unsigned v) {
  char buf[16];
  snprintf(buf, sizeof buf, "%x", v);
  return buf;
}

size_t image_size() {
  struct stat st;
  return stat(BOOT_IMAGE_PATH, &st) == 0 ? size_t(st.st_size) : 0;
}

// The trace of the SDRAM test on sound memory: the data lines with walking
// ones and zeros over the first 64 words, then the address lines with
// walking-one and walking-zero offsets over 64 MiB.
std::string sdram_trace() {
  auto line = [](unsigned offset, char op, unsigned value) {
    return " " + hex(offset) + op + hex(value) + "\r\n";
  };
  std::string s = "D0\r\n";
  for (unsigned k = 0; k < 16; k++) {
    unsigned p = 1u << k, q = ~p & 0xFFFF;
    s += line(8 * k, 'w', p) + line(8 * k, 'r', p) + line(8 * k + 2, 'w', 0) + line(8 * k, 'r', p);
    s += line(8 * k + 4, 'w', q) + line(8 * k + 4, 'r', q) + line(8 * k + 6, 'w', 0) +
         line(8 * k + 4, 'r', q);
  }
  s += "A0 4000000\r\n";
  const unsigned words = 0x2000000, mask = words - 1;
  for (int zeros = 0; zeros < 2; zeros++) {
    std::vector<unsigned> offsets = {zeros ? mask : 0};
    for (unsigned bit = 1; bit < words; bit <<= 1) offsets.push_back(zeros ? mask & ~bit : bit);
    for (char op : {'w', 'r'}) {
      for (unsigned v = 0; v < offsets.size(); v++) s += line(2 * offsets[v], op, v);
    }
  }
  return s;
}

const char NAND_TRACE[] = "M2c Df1 R80 P95 \r\nSe0\r\n";

class KorvaneE2e : public ::testing::Test {
 protected:
  pid_t board = -1;
  korvane_port port;

  void start_board(std::vector<std::string> options = {}) {
    options.insert(options.begin(), BOARDSIM_PATH);
    board = start_child(options, "boardsim");
    ASSERT_GT(board, 0);
    std::string path;
    ASSERT_TRUE(read_child_line(board, &path, 5));
    port = korvane_port_for(path);
  }

  // What boardsim printed on standard error: the board's reports of broken
  // rules, among others.
  std::string stop_board(int sig = SIGTERM) {
    child_result r;
    if (board > 0) {
      r = stop_child(board, sig, 5);
      EXPECT_FALSE(r.timed_out) << "boardsim did not stop";
    }
    board = -1;
    return r.err;
  }

  pid_t start_korvane(std::vector<std::string> args) {
    args.insert(args.begin(), {"-p", port.arg});
    pid_t k = start_child(korvane_command(args), "korvane");
    EXPECT_GT(k, 0);
    return k;
  }

  child_result run(std::vector<std::string> args) {
    child_result k = finish_child(start_korvane(args), "korvane", RUN_TIMEOUT_S);
    EXPECT_FALSE(k.timed_out) << "korvane did not end; it printed:\n" << k.out;
    return k;
  }

  void TearDown() override { stop_board(); }
};

struct run_case {
  const char *name;
  std::vector<std::string> board_options;
  std::vector<std::string> korvane_args;
  std::string tests_text;  // what follows the download on the console
};

TEST_F(KorvaneE2e, RunsReportAsTheBoardBehaves) {
  const run_case cases[] = {
      {"sound board", {}, {}, "Testing SDRAM... passed\nTesting FLASH... passed\n"},
      {"one test by name", {}, {"flash"}, "Testing FLASH... passed\n"},
      {"stuck data line",
       {"--data-stuck", "5:0"},
       {},
       "Testing SDRAM... failed\nTesting FLASH... passed\n"},
      {"wrong NAND maker",
       {"--nand-id", "00,f1,80,95"},
       {},
       "Testing SDRAM... passed\nTesting FLASH... failed\n"},
      {"checksum receiver",
       {"--checksum"},
       {},
       "Testing SDRAM... passed\nTesting FLASH... passed\n"},
      {"late boot ROM",
       {"--boot-delay", "700"},
       {},
       "Testing SDRAM... passed\nTesting FLASH... passed\n"},
      {"refused blocks", {"--nak-block", "2:3"}, {"sdram"}, "Testing SDRAM... passed\n"},
      {"verbose",
       {},
       {"-v"},
       "Testing SDRAM...\n" + sdram_trace() + "passed\nTesting FLASH...\n" + NAND_TRACE +
           "passed\n"},
      {"line noise",
       {"--line-noise", "64", "--nand-status", "e1"},
       {},
       "Testing SDRAM... passed\nTesting FLASH... failed\n"},
      {"line noise, verbose",
       {"--line-noise", "64"},
       {"-v"},
       "Testing SDRAM...\n" + sdram_trace() + "passed\nTesting FLASH...\n" + NAND_TRACE +
           "passed\n"},
  };
  for (const run_case &c : cases) {
    SCOPED_TRACE(c.name);
    start_board(c.board_options);
    child_result k = run(c.korvane_args);
    EXPECT_EQ(0, k.status) << k.err;
    EXPECT_EQ(download_text(image_size()) + c.tests_text, k.out);
    EXPECT_EQ("", k.err);
    EXPECT_EQ("", stop_board());
  }
}

// The one test of a cancelled download at the level of the program: here
// the receiver really cancels in the middle of the image.
TEST_F(KorvaneE2e, CancelledDownloadFails) {
  start_board({"--cancel-block", "3"});
  const std::string log_path = temp_file("korvane-e2e-cancel");
  ASSERT_NE("", log_path);
  child_result k = run({"-l", log_path});
  EXPECT_EQ(1, k.status);
  EXPECT_EQ("Xmodem download failed: -1.\n", k.err);
  EXPECT_EQ(std::string::npos, k.out.find("Testing"));
  EXPECT_EQ("", read_file(log_path));
  unlink(log_path.c_str());
}

TEST_F(KorvaneE2e, ContinuousLogHoldsEveryCompleteConsoleLine) {
  start_board();
  const std::string log_path = temp_file("korvane-e2e-log");
  ASSERT_NE("", log_path);
  pid_t k = start_korvane({"-c", "-l", log_path});
  auto repeated = [](const child_result &p) {
    size_t first = p.out.find("Testing FLASH");
    return first != std::string::npos &&
           p.out.find("Testing FLASH", first + 1) != std::string::npos;
  };
  EXPECT_TRUE(read_child_until(k, repeated, RUN_TIMEOUT_S));
  child_result r = stop_child(k, SIGINT, 5);
  EXPECT_FALSE(r.timed_out);
  std::string log = read_file(log_path);
  unlink(log_path.c_str());

  std::string opening = "Logging to '" + log_path + "'\n" + download_text(image_size());
  ASSERT_EQ(0, r.out.compare(0, opening.size(), opening)) << r.out;
  std::string tests = r.out.substr(opening.size());
  std::string complete = tests.substr(0, tests.rfind('\n') + 1);
  EXPECT_NE(std::string::npos,
            complete.find("Testing SDRAM... passed\nTesting FLASH... passed\nTesting SDRAM"));
  EXPECT_EQ(0, log.compare(0, complete.size(), complete)) << "console lines:\n"
                                                          << complete << "log:\n"
                                                          << log;
}

TEST_F(KorvaneE2e, BoardGoingAwayEndsTheRun) {
  start_board();
  pid_t k = start_korvane({"-c"});
  auto testing = [](const child_result &p) {
    return p.out.find("Testing FLASH") != std::string::npos;
  };
  ASSERT_TRUE(read_child_until(k, testing, RUN_TIMEOUT_S));
  stop_board(SIGKILL);
  double killed = steady_seconds();
  child_result r = finish_child(k, "korvane", 5);
  EXPECT_LT(r.ended_at - killed, korvane_end_bound_s());
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("Lost serial port " + port.name + ".\n", r.err);
}

}  // namespace

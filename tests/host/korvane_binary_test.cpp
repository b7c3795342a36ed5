// The korvane under test over a real pseudo-terminal, against a small
// scripted board played by the test: it answers the wake-up, receives the
// image in CRC mode, checks it against the image the host carries, then
// plays a monitor. Console and log text are compared byte for byte.
#include "board_line.h"
#include "boot_image.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

// korvane's usage text, written out again on purpose: the program is
// checked against the text it must print, not against its own copy.
const char USAGE[] =
    "Usage: korvane [-c] [-h] [-l <logfile>] [-p <port>] [-v] [sdram|flash]\n"
    "\n"
    "Version: 1.3, 03 January 2013\n"
    "\n"
    "Tests basic components (SDRAM and FLASH) of a Tarrowind Brenmoor\n"
    "unit. If no test is specified all tests are run in sequence.\n"
    "\n"
    "  -c            Run test(s) continuously (CTRL-C to stop).\n"
    "\n"
    "  -h            Print this usage message.\n"
    "\n"
    "  -l            Log test(s) results to <logfile>.\n"
    "\n"
    "  -p <port>     Use the specified serial port (default is \"1\").  Valid\n"
    "                values are 1 (COM1), 2 (COM2), etc.\n"
    "\n"
    "  -v            Run test(s) in verbose mode.\n"
    "\n";

std::string temp_path(const std::string &name) {
  return testing::TempDir() + "korvane_" + name + "." + std::to_string(getpid());
}

child_result run_alone(const std::vector<std::string> &args) {
  return finish_child(start_child(korvane_command(args), "alone"), "alone", 5.0);
}

TEST(KorvaneBinary, HelpPrintsTheUsageTextAndExitsOne) {
  child_result r = run_alone({"-h"});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ(USAGE, r.err);
  EXPECT_EQ("", r.out);
}

TEST(KorvaneBinary, OptionsAndTheTestNameStandInAnyOrder) {
  const std::string P = LINE_PORT;
  struct {
    std::vector<std::string> args;
    bool posixly_correct;
    std::string commands;  // what the board received
  } cases[] = {
      {{"-p", P, "flash", "-v"}, false, "v2"},
      {{"flash", "-p", P, "-v"}, false, "v2"},
      {{"-v", "sdram", "-p", P}, false, "v1"},
      {{"sdram", "flash", "-p", P}, false, "12"},  // two names: both tests
      {{"-p", P, "-v", "flash"}, true, "v2"},
      // Parsing stops at the name: "flash" and "-v" are two words left.
      {{"-p", P, "flash", "-v"}, true, "12"},
      {{"-p", P, "sdram", "-c"}, true, "12"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args) + (c.posixly_correct ? " POSIXLY_CORRECT" : ""));
    board_script board;
    if (c.posixly_correct) setenv("POSIXLY_CORRECT", "1", 1);
    child_result r = run_on_board(c.args, &board, "order");
    unsetenv("POSIXLY_CORRECT");
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ(c.commands, board.monitor.commands);
    EXPECT_TRUE(board.image_matches);
  }
}

TEST(KorvaneBinary, AWholeRunAgainstAScriptedBoard) {
  board_script board;
  board.monitor.answers['1'] = "D0\r\n 0w1\r\n:0";
  board.monitor.answers['2'] = "M2c Df1 R0 P95 \r\nSe0\r\n:1";
  std::string log = temp_path("whole.log");
  child_result r = run_on_board({"-v", "-l", log}, &board, "whole");
  EXPECT_EQ(0, r.status);
  EXPECT_EQ("", r.err);
  EXPECT_TRUE(board.image_matches);
  EXPECT_EQ("v12", board.monitor.commands);
  // The monitor's CR LF passes as it is: no CR added on the console or
  // in the log.
  std::string phase =
      "Testing SDRAM...\nD0\r\n 0w1\r\npassed\nTesting FLASH...\nM2c Df1 R0 P95 "
      "\r\nSe0\r\nfailed\n";
  EXPECT_EQ("Logging to '" + log + "'\n" + download_text(BOOT_IMAGE_SIZE) + phase, r.out);
  EXPECT_EQ(phase, read_file(log));
  unlink(log.c_str());
}

TEST(KorvaneBinary, APortThatCannotBeOpenedSaysWhy) {
  korvane_port port = korvane_missing_port();
  child_result r = run_alone({"-p", port.arg});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("", r.out);
  const std::string first = "Could not open serial port " + port.name + ".\n" + port.name + ": ";
  ASSERT_EQ(0u, r.err.find(first)) << r.err;
  ASSERT_EQ('\n', r.err.back());
  // The system's own reason, as one line without the period and CR LF
  // that the Win32 texts end with.
  std::string reason = r.err.substr(first.size(), r.err.size() - first.size() - 1);
  EXPECT_NE("", reason);
  EXPECT_EQ(std::string::npos, reason.find_first_of("\r\n"));
  EXPECT_NE('.', reason.back());
  if (!korvane_under_wine()) {
    EXPECT_EQ(std::strerror(ENOENT), reason);
  }
}

TEST(KorvaneBinary, APortThatIsARegularFileIsRefusedUntouched) {
  if (!korvane_under_wine())
    GTEST_SKIP() << "natively, refusing what is no terminal is the POSIX link's own test";
  std::string path = temp_path("not_a_port");
  std::ofstream(path) << "keep\n";
  korvane_port port = korvane_port_to_file(path);
  child_result r = run_alone({"-p", port.arg});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ(
      "Could not open serial port " + port.name + ".\n" + port.name + ": Not a character device\n",
      r.err);
  EXPECT_EQ("", r.out);
  EXPECT_EQ("keep\n", read_file(path));
  unlink(path.c_str());
}

}  // namespace

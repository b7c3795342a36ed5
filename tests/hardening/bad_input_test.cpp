// The built korvane given what a new user mistypes or is unlucky with: a port
// that is no terminal or is its own terminal, a log file that is the port,
// standard streams closed or full, a log that fails in a continuous run. Each
// must end with one clear message and status 1, and write nothing where it
// does not belong.
#include "board_line.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::string replaced(std::string s, const std::string &from, const std::string &to) {
  for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
    s.replace(at, from.size(), to);
  return s;
}

// What korvane wrote down the line so far, without waiting.
std::string line_output(int master) {
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  std::string got;
  char buf[256];
  ssize_t n;
  while ((n = read(master, buf, sizeof buf)) > 0) got.append(buf, (std::size_t)n);
  return got;
}

TEST(BadInput, EndsWithOneMessageAndTouchesNothing) {
  // The shell text runs with $1 korvane, $2 the line, $3 a directory that
  // holds results.txt, a FIFO and, for some cases, the log; @L and @D in
  // the expected texts stand for the line and the directory.
  struct {
    const char *name;
    const char *shell;
    bool board;  // a scripted board plays the line; else nothing may reach it
    int status;
    const char *err;
    const char *commands = "";  // what the board was sent
    const char *log = nullptr;  // the contents of $3/log, or null: no such check
  } cases[] = {
      {"a file", "exec \"$1\" -p \"$3/results.txt\"", false, 1,
       "Could not open serial port @D/results.txt.\n@D/results.txt: Not a terminal\n"},
      {"/dev/null", "exec \"$1\" -p /dev/null", false, 1,
       "Could not open serial port /dev/null.\n/dev/null: Not a terminal\n"},
      {"/dev/full", "exec \"$1\" -p /dev/full", false, 1,
       "Could not open serial port /dev/full.\n/dev/full: Not a terminal\n"},
      {"/dev/zero", "exec \"$1\" -p /dev/zero", false, 1,
       "Could not open serial port /dev/zero.\n/dev/zero: Not a terminal\n"},
      {"a FIFO", "exec \"$1\" -p \"$3/fifo\"", false, 1,
       "Could not open serial port @D/fifo.\n@D/fifo: Not a terminal\n"},
      {"the terminal on stdin", "exec \"$1\" -p \"$2\" <\"$2\"", false, 1,
       "Could not open serial port @L.\n@L: Is korvane's own terminal\n"},
      {"the terminal on stdout", "exec \"$1\" -p \"$2\" >\"$2\"", false, 1,
       "Could not open serial port @L.\n@L: Is korvane's own terminal\n"},
      {"the controlling terminal by its path",
       "exec setsid sh -c 'exec 3<>\"$2\"; exec \"$1\" -p \"$2\"' sh \"$1\" \"$2\"", false, 1,
       "Could not open serial port @L.\n@L: Is korvane's own terminal\n"},
      {"/dev/tty", "exec setsid sh -c 'exec 3<>\"$2\"; exec \"$1\" -p /dev/tty' sh \"$1\" \"$2\"",
       false, 1, "Could not open serial port /dev/tty.\n/dev/tty: Is korvane's own terminal\n"},
      {"the log is the port", "exec \"$1\" -l \"$2\" -p \"$2\"", false, 1,
       "Could not open logfile '@L'.\n@L: Is the serial port @L\n"},
      {"the log is the port by a link",
       "ln -s \"$2\" \"$3/port\"; exec \"$1\" -l \"$3/port\" -p \"$2\"", false, 1,
       "Could not open logfile '@D/port'.\n@D/port: Is the serial port @L\n"},
      {"stdout closed", "exec \"$1\" -p \"$2\" >&-", true, 1, "Could not write standard output.\n",
       "12"},
      {"stderr closed", "exec \"$1\" -l \"$3/log\" -p \"$3/none/port\" 2>&-", false, 1, "", "", ""},
      {"stdout full", "exec \"$1\" -p \"$2\" >/dev/full", true, 1,
       "Could not write standard output.\n", "12"},
      {"continuous with a full log", "exec \"$1\" -c -l /dev/full -p \"$2\"", true, 1,
       "Could not write logfile '/dev/full'.\n/dev/full: No space left on device\n", "s"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    const std::string dir = temp_dir("korvane-bad");
    ASSERT_NE("", dir);
    const std::string results = "results of an earlier run\n";
    std::ofstream(dir + "/results.txt") << results;
    ASSERT_EQ(0, mkfifo((dir + "/fifo").c_str(), 0600));
    line l = open_line();

    pid_t pid = start_child({"/bin/sh", "-c", c.shell, "sh", KORVANE_BINARY, l.path, dir}, "bad");
    board_script board;
    // A korvane that goes on for ever meets a board that goes away.
    board.monitor.limit = 9;
    std::string sent;
    if (c.board) play_board(l.master, l.slave, &board);
    child_result r = finish_child(pid, "bad", 5.0);
    if (!c.board) {
      sent = line_output(l.master);
      close(l.master);
      close(l.slave);
    }

    EXPECT_EQ(c.status, r.status);
    EXPECT_EQ(replaced(replaced(c.err, "@L", l.path), "@D", dir), r.err);
    EXPECT_EQ("", sent);
    if (c.board) {
      EXPECT_EQ(c.commands, board.monitor.commands);
    }
    if (c.log) {
      EXPECT_EQ(c.log, read_file(dir + "/log"));
    }
    EXPECT_EQ(results, read_file(dir + "/results.txt"));
    remove_tree(dir);
  }
}

// The exclusive flag is the device's, not the descriptor's: left behind, it
// keeps the port busy for everyone (but root) after korvane has gone.
TEST(BadInput, AFinishedRunLeavesThePortFreeForOthers) {
  line l = open_line();
  int master = l.master;
  l.master = dup(master);  // the board's end closes; ours keeps the line up
  board_script board;
  child_result r = run_on_board(KORVANE_BINARY, {}, &board, "free", l);
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ("12", board.monitor.commands);
  // Root may open an exclusive port all the same, so the flag is asked for.
  int next_user = open(l.path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(next_user, 0);
  int exclusive = -1;
  EXPECT_EQ(0, ioctl(next_user, TIOCGEXCL, &exclusive));
  EXPECT_EQ(0, exclusive);
  close(next_user);
  close(master);
}

}  // namespace

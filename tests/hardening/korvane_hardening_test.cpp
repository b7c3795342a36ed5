// The korvane under test when things go wrong around it: the port goes away
// in every phase of a run, the log file's disk is full, a second korvane
// tries the same port. Each case runs the real program against a scripted
// board on a pseudo-terminal.
#include "board_line.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
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

// Wine passes a Windows exit code to the system cut to its low byte:
// STATUS_CONTROL_C_EXIT, 0xC000013A, is seen as 0x3A.
const int CONTROL_C_EXIT_UNDER_WINE = 0x3A;

// The time korvane may take to end after its last byte on a line that
// never stops talking: its drain's bound, 10 s, and plenty to spare.
const double DRAIN_END_BOUND_S = 30;

// The board's end of a line that never stops talking, played until korvane
// has closed the line or has been quiet for longer than DRAIN_END_BOUND_S:
// after korvane's first byte, `first` at once, then `noise` every 100 ms
// whatever korvane sends. Returns when korvane last sent a byte (steady
// seconds).
double talk_for_ever(int master, int held_slave, char first, char noise) {
  double heard = 0, next = 0;
  while (heard == 0 || steady_seconds() < heard + DRAIN_END_BOUND_S + 1) {
    struct pollfd p = {master, POLLIN, 0};
    int wait_ms = heard == 0 ? 5000 : (int)((next - steady_seconds()) * 1000) + 1;
    if (poll(&p, 1, wait_ms > 0 ? wait_ms : 0) > 0) {
      char buf[256];
      if (read(master, buf, sizeof buf) <= 0) break;  // korvane has gone
      if (heard == 0) {
        close(held_slave);
        next = steady_seconds();
        if (write(master, &first, 1) != 1) break;
      }
      heard = steady_seconds();
    } else if (heard == 0) {
      break;  // korvane never came
    }
    if (steady_seconds() >= next) {
      if (write(master, &noise, 1) != 1) break;
      next += 0.1;
    }
  }
  return heard;
}

// The exclusive-use flag of the line's terminal, read through a descriptor
// of our own: root may open an exclusive terminal all the same, anyone else
// is refused as busy.
int exclusive_flag(const std::string &path) {
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == EBUSY ? 1 : -1;
  int flag = -1;
  ioctl(fd, TIOCGEXCL, &flag);
  close(fd);
  return flag;
}

// How a run ends when it cannot end by itself or is given a port or log it
// must refuse: a receiver that never stops talking, standard output lost or
// closed in a continuous run, every signal that ends a process, in the
// wake-up or the test phase, a port number out of range or with no number at
// all, a port path too long or a port the user may not open, a log that
// cannot be opened, that is the port by any of its names, or a FIFO.
TEST(Hardening, NoSilentHangNoStaleLockNoUnnamedPort) {
  enum board_end {
    NO_BOARD,            // the line stays as it is
    NAK_PAST_CANCEL,     // NAK on and on, CAN or not
    NOISE_IN_HANDSHAKE,  // NAK to the wake-up, then "x" on and on
    BOARD,               // the scripted board, nine commands at most
    QUIET_IN_WAKEUP,     // the board goes quiet inside the wake-up, the line stays up
    QUIET_IN_TESTS,      // the monitor prompts, then never answers
  };
  enum platforms { BOTH, NATIVE, WINE };
  struct edge {
    const char *name;
    std::vector<std::string> args;  // LINE_PORT: the line's port; @D: a fresh directory
    board_end board;
    int status;       // the exit status, or -1 when the signal ends it
    const char *err;  // @L: the line's port as korvane names it; @D as above
    int signal = 0;   // sent once the board's end has played
    platforms where = BOTH;
    const char *stdout_to = nullptr;  // a shell redirection of standard output
    bool sandboxed = false;           // korvane may open a numbered port
    const char *out = nullptr;        // null: not checked
    const char *commands = nullptr;   // what the board was sent; null: not checked
    bool as_nobody = false;           // run by a user who may not open the line
    const char *fifo_text = nullptr;  // @D/fifo read while it runs: what came; null: no reader
  };
  const char *download_failed_4 = "Xmodem download failed: -4.\n";
  const edge cases[] = {
      {"a receiver that NAKs past the cancel", {}, NAK_PAST_CANCEL, 1, download_failed_4},
      {"noise through the handshake", {}, NOISE_IN_HANDSHAKE, 1, "Xmodem download failed: -2.\n"},
      {"continuous with standard output full",
       {"-c"},
       BOARD,
       1,
       "Could not write standard output.\n",
       0,
       BOTH,
       ">/dev/full",
       false,
       nullptr,
       "s"},
      // A closed standard output is an unwritable one, not a silent run
      // that never ends.
      {"continuous with standard output closed",
       {"-c", "-l", "@D/run.log"},
       BOARD,
       1,
       "Could not write standard output.\n",
       0,
       BOTH,
       ">&-",
       false,
       nullptr,
       "s"},
      {"SIGINT in the wake-up", {}, QUIET_IN_WAKEUP, -1, "", SIGINT},
      {"SIGINT in the test phase", {}, QUIET_IN_TESTS, -1, "", SIGINT},
      {"SIGTERM in the wake-up", {}, QUIET_IN_WAKEUP, -1, "", SIGTERM, NATIVE},
      {"SIGTERM in the test phase", {}, QUIET_IN_TESTS, -1, "", SIGTERM, NATIVE},
      {"SIGHUP in the wake-up", {}, QUIET_IN_WAKEUP, -1, "", SIGHUP, NATIVE},
      {"SIGHUP in the test phase", {}, QUIET_IN_TESTS, -1, "", SIGHUP, NATIVE},
      {"SIGPIPE in the wake-up", {}, QUIET_IN_WAKEUP, -1, "", SIGPIPE, NATIVE},
      {"SIGPIPE in the test phase", {}, QUIET_IN_TESTS, -1, "", SIGPIPE, NATIVE},
      {"SIGQUIT in the wake-up", {}, QUIET_IN_WAKEUP, -1, "", SIGQUIT},
      {"SIGQUIT in the test phase", {}, QUIET_IN_TESTS, -1, "", SIGQUIT},
      {"SIGALRM in the test phase", {}, QUIET_IN_TESTS, -1, "", SIGALRM, NATIVE},
      {"SIGUSR1 in the test phase", {}, QUIET_IN_TESTS, -1, "", SIGUSR1, NATIVE},
      {"SIGUSR2 in the test phase", {}, QUIET_IN_TESTS, -1, "", SIGUSR2, NATIVE},
      {"SIGXCPU in the test phase", {}, QUIET_IN_TESTS, -1, "", SIGXCPU, NATIVE},
      {"SIGXFSZ in the test phase", {}, QUIET_IN_TESTS, -1, "", SIGXFSZ, NATIVE},
      {"SIGVTALRM in the test phase", {}, QUIET_IN_TESTS, -1, "", SIGVTALRM, NATIVE},
      {"SIGPROF in the test phase", {}, QUIET_IN_TESTS, -1, "", SIGPROF, NATIVE},
      {"2^32 + 1",
       {"-p", "4294967297"},
       NO_BOARD,
       1,
       "Could not open serial port 4294967297.\n4294967297: Port number out of range\n",
       0,
       BOTH,
       nullptr,
       true,
       ""},
      {"INT_MAX + 1",
       {"-p", "2147483648"},
       NO_BOARD,
       1,
       "Could not open serial port 2147483648.\n2147483648: Port number out of range\n",
       0,
       BOTH,
       nullptr,
       true,
       ""},
      {"INT_MIN - 1",
       {"-p", "-2147483649"},
       NO_BOARD,
       1,
       "Could not open serial port -2147483649.\n-2147483649: Port number out of range\n",
       0,
       BOTH,
       nullptr,
       true,
       ""},
      {"beyond 64 bits",
       {"-p", "99999999999999999999x"},
       NO_BOARD,
       1,
       "Could not open serial port 99999999999999999999x.\n"
       "99999999999999999999x: Port number out of range\n",
       0,
       BOTH,
       nullptr,
       true,
       ""},
      {"a device name without its directory",
       {"-p", "ttyUSB0"},
       NO_BOARD,
       1,
       "Could not open serial port COM0.\n"
       "ttyUSB0: no such port number; give a device path such as /dev/ttyUSB0\n",
       0,
       NATIVE,
       nullptr,
       true,
       ""},
      {"a Windows port by its name, a number already",
       {"-p", "COM3"},
       NO_BOARD,
       1,
       "Could not open serial port COM0.\nCOM3: no such port number; give the number: -p 3\n",
       0,
       WINE,
       nullptr,
       true,
       ""},
      {"a port by its Windows name",
       {"-p", "COM3"},
       NO_BOARD,
       1,
       "Could not open serial port COM0.\nCOM3: no such port number; give the number: -p 3\n",
       0,
       NATIVE,
       nullptr,
       true,
       ""},
      {"a Windows port in the device namespace",
       {"-p", "\\\\.\\COM12"},
       NO_BOARD,
       1,
       "Could not open serial port COM0.\n\\\\.\\COM12: no such port number; give the number: -p "
       "12\n",
       0,
       WINE,
       nullptr,
       true,
       ""},
      {"another Windows device in the device namespace",
       {"-p", "\\\\.\\CNCA0"},
       NO_BOARD,
       1,
       "Could not open serial port COM0.\n\\\\.\\CNCA0: no such port number; give a device path "
       "such as //./CNCA0\n",
       0,
       WINE,
       nullptr,
       true,
       ""},
      {"a log in no directory",
       {"-l", "@D/no/such/log", "-p", LINE_PORT},
       NO_BOARD,
       1,
       "Could not open logfile '@D/no/such/log'.\n@D/no/such/log: No such file or directory\n"},
      {"a log that is a directory",
       {"-l", "@D", "-p", LINE_PORT},
       NO_BOARD,
       1,
       "Could not open logfile '@D'.\n@D: Is a directory\n",
       0,
       NATIVE},
      {"a log that is the port",
       {"-l", LINE_PORT, "-p", LINE_PORT},
       NO_BOARD,
       1,
       "Could not open logfile '@L'.\n@L: Is the serial port @L\n",
       0,
       NATIVE,
       nullptr,
       false,
       ""},
      // The port's own names: the text would go down the line as commands.
      {"a log that is the port in the device namespace",
       {"-l", "\\\\.\\COM@N", "-p", LINE_PORT},
       NO_BOARD,
       1,
       "Could not open logfile '\\\\.\\COM@N'.\n\\\\.\\COM@N: Is the serial port @L\n",
       0,
       WINE,
       nullptr,
       false,
       ""},
      {"a log that is the port in the namespace with slashes",
       {"-l", "//./COM@N", "-p", LINE_PORT},
       NO_BOARD,
       1,
       "Could not open logfile '//./COM@N'.\n//./COM@N: Is the serial port @L\n",
       0,
       WINE,
       nullptr,
       false,
       ""},
      {"a log that is the port by its name",
       {"-l", "COM@N", "-p", LINE_PORT},
       NO_BOARD,
       1,
       "Could not open logfile 'COM@N'.\nCOM@N: Is the serial port @L\n",
       0,
       WINE,
       nullptr,
       false,
       ""},
      {"a log that is the port by its name in lower case with a colon",
       {"-l", "com@N:", "-p", LINE_PORT},
       NO_BOARD,
       1,
       "Could not open logfile 'com@N:'.\ncom@N:: Is the serial port @L\n",
       0,
       WINE,
       nullptr,
       false,
       ""},
      {"a log that is the port's terminal",
       {"-l", "@P", "-p", LINE_PORT},
       NO_BOARD,
       1,
       "Could not open logfile '@P'.\n@P: Is a serial port\n",
       0,
       WINE,
       nullptr,
       false,
       ""},
      {"a log that is a FIFO nobody reads",
       {"-l", "@D/fifo", "-p", LINE_PORT},
       NO_BOARD,
       1,
       "Could not open logfile '@D/fifo'.\n@D/fifo: Is a FIFO with no reader\n",
       0,
       BOTH,
       nullptr,
       false,
       ""},
      {"a log that is a FIFO with a reader",
       {"-l", "@D/fifo", "sdram"},
       BOARD,
       0,
       "",
       0,
       NATIVE,
       nullptr,
       false,
       nullptr,
       "1",
       false,
       "Testing SDRAM... passed\n"},
      {"a port path longer than the system takes",
       {"-p", "/@LONG"},
       NO_BOARD,
       1,
       "Could not open serial port /@LONG.\n/@LONG: File name too long\n",
       0,
       NATIVE,
       nullptr,
       false,
       ""},
      {"a port path longer than Windows takes",
       {"-p", "/@LONG"},
       NO_BOARD,
       1,
       "Could not open serial port /@LONG.\n/@LONG: @TOO_LONG\n",
       0,
       WINE,
       nullptr,
       false,
       ""},
      {"a port that needs a group",
       {"-p", LINE_PORT},
       NO_BOARD,
       1,
       "Could not open serial port @L.\n@L: Permission denied\n"
       "join group dialout to use the port: sudo usermod -aG dialout $USER, then log in again\n",
       0,
       NATIVE,
       nullptr,
       false,
       "",
       nullptr,
       true},
  };
  for (const edge &c : cases) {
    SCOPED_TRACE(c.name);
    if (c.where == (korvane_under_wine() ? NATIVE : WINE)) continue;
    line l = open_line();
    const korvane_port port = korvane_port_for(l.path);
    const std::string dir = temp_dir("korvane-edge");
    ASSERT_NE("", dir);
    ASSERT_EQ(0, mkfifo((dir + "/fifo").c_str(), 0600));
    // Past the longest path either system takes.
    const std::string long_name(5000, 'a');
    auto expand = [&](std::string s) {
      for (const auto &p : std::vector<std::pair<std::string, std::string>>{
               {"@TOO_LONG", "File name is too long"},  // Wine's text
               {"@LONG", long_name},
               {"@L", port.name},
               {"@D", dir},
               {"@N", port.arg},
               {"@P", l.path}})
        s = replaced(s, p.first, p.second);
      return s;
    };
    std::vector<std::string> args = c.args;
    if (c.board != NO_BOARD) args.insert(args.begin(), {"-p", LINE_PORT});
    for (std::string &a : args) a = a == LINE_PORT ? port.arg : expand(a);
    std::vector<std::string> argv =
        c.sandboxed ? korvane_sandboxed_command(args) : korvane_command(args);
    if (argv.empty()) {
      std::printf("%s: skipped, no port sandbox in this build\n", c.name);
      continue;
    }
    if (c.stdout_to)
      argv.insert(argv.begin(), {"/bin/sh", "-c", std::string("exec \"$@\" ") + c.stdout_to, "sh"});
    if (c.as_nobody) {
      if (geteuid() != 0) {
        std::printf("%s: skipped, only root can run korvane as another user\n", c.name);
        continue;
      }
      // A line only its owner may use: no group that would let one in.
      ASSERT_EQ(0, fchmod(l.slave, 0600));
      argv.insert(argv.begin(),
                  {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"});
    }
    int fifo_reader = -1;
    if (c.fifo_text) {
      fifo_reader = open((dir + "/fifo").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
      ASSERT_GE(fifo_reader, 0);
    }

    // The line outlives whatever plays the board's end, so that the flag
    // can be read back and a quiet board keeps korvane waiting.
    int kept_master = dup(l.master);
    pid_t pid = start_child(argv, c.name);
    ASSERT_GT(pid, 0);
    board_script board;
    double last_heard = 0;
    switch (c.board) {
      case NO_BOARD:
        close(l.master);
        break;
      case NAK_PAST_CANCEL:
        last_heard = talk_for_ever(l.master, l.slave, 0x15, 0x15);
        close(l.master);
        break;
      case NOISE_IN_HANDSHAKE:
        last_heard = talk_for_ever(l.master, l.slave, 0x15, 'x');
        close(l.master);
        break;
      case BOARD:
      case QUIET_IN_WAKEUP:
      case QUIET_IN_TESTS:
        board.hang_up = c.board == QUIET_IN_WAKEUP ? HANG_UP_IN_WAKEUP : HANG_UP_IN_TESTS;
        board.monitor.limit = c.board == QUIET_IN_TESTS ? 0 : 9;
        play_board(l.master, l.slave, &board);
        break;
    }
    if (c.signal) kill(pid, c.signal);
    child_result r = finish_child(pid, c.name, 5.0);
    if (c.board == NO_BOARD) close(l.slave);

    // Under Wine, Ctrl-C and Ctrl-\ both end the run as Ctrl-C does.
    if (korvane_under_wine() && (c.signal == SIGINT || c.signal == SIGQUIT)) {
      EXPECT_EQ(CONTROL_C_EXIT_UNDER_WINE, r.status);
    } else {
      EXPECT_EQ(c.status, r.status);
      EXPECT_EQ(c.signal, r.signal);
    }
    EXPECT_EQ(expand(c.err), r.err);
    if (c.fifo_text) {
      std::string text;
      char buf[4096];
      ssize_t n;
      while ((n = read(fifo_reader, buf, sizeof buf)) > 0) text.append(buf, (std::size_t)n);
      close(fifo_reader);
      EXPECT_EQ(c.fifo_text, text);
    }
    if (c.out) {
      EXPECT_EQ(c.out, r.out);
    }
    if (c.commands) {
      EXPECT_EQ(c.commands, board.monitor.commands);
    }
    EXPECT_EQ(0, exclusive_flag(l.path));
    if (last_heard) {
      // A bound on an ending, not a figure: the drain's own bound is
      // tested on a virtual clock.
      double drain = r.ended_at - last_heard;
      EXPECT_LT(drain, DRAIN_END_BOUND_S);
      if (c.err == download_failed_4)
        std::printf("%s: ended %.1f s after korvane's last byte\n", c.name, drain);
    }
    close(kept_master);
    remove_tree(dir);
  }
}

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
    EXPECT_EQ("Could not write logfile '/dev/full'.\n/dev/full: No space left on device\n", r.err);
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

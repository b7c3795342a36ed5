// The command line: what it selects, the usage text, the log files it
// opens, and the run it starts when the port does not open or the download
// is cancelled.
#include "korvane_run.h"
#include "log_file.h"
#include "options.h"
#include "scripted_link.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const char USAGE_START[] =
    "Usage: korvane [-c] [-h] [-l <logfile>] [-p <port>] [-v] [sdram|flash]\n";

struct outcome {
  int status;
  std::string out, err;
  run_options opts = {};  // what a parse read, port_path cleared
  std::string port_path;  // opts.port_path, which pointed into the argument vector
};

// Calls f with "korvane" and args as main's argument vector, getopt started
// afresh (which also re-reads POSIXLY_CORRECT), and its output captured.
outcome call(const std::function<int(int, char **)> &f, std::vector<std::string> args) {
  args.insert(args.begin(), "korvane");
  std::vector<char *> argv;
  for (auto &a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  optind = 0;
  outcome o;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  o.status = f((int)args.size(), argv.data());
  o.err = testing::internal::GetCapturedStderr();
  o.out = testing::internal::GetCapturedStdout();
  return o;
}

outcome parse(const std::vector<std::string> &args) {
  run_options opts;
  std::string port_path;
  outcome p = call(
      [&](int argc, char **argv) {
        int status = parse_command_line(argc, argv, &opts);
        port_path = opts.port_path ? opts.port_path : "";
        opts.port_path = nullptr;
        return status;
      },
      args);
  close_log_file();
  p.opts = opts;
  p.port_path = port_path;
  return p;
}

bool is_usage(const std::string &err) {
  return err.compare(0, sizeof USAGE_START - 1, USAGE_START) == 0 && err.size() > 400 &&
         err.substr(err.size() - 2) == "\n\n";
}

// What a parse selected, in words: the port, then -c and -v, then the tests.
std::string selected(const outcome &p) {
  std::string s = "COM" + std::to_string(p.opts.port_number);
  if (!p.port_path.empty()) s += " " + p.port_path;
  if (p.opts.continuous) s += ", continuous";
  if (p.opts.verbose) s += ", verbose";
  if (p.opts.run_sdram_test) s += ", sdram";
  if (p.opts.run_flash_test) s += ", flash";
  return s;
}

// The order of options and names, and POSIXLY_CORRECT, are tested on the
// built programs (korvane_binary_test), where the Windows build's option
// parser is the one that counts.
TEST(CommandLine, OptionsAndTestNames) {
  struct {
    std::vector<std::string> args;
    const char *selects;
  } cases[] = {
      {{}, "COM1, sdram, flash"},
      {{"-p", "3", "flash"}, "COM3, flash"},
      {{"-c", "-v", "sdram"}, "COM1, continuous, verbose, sdram"},
      {{"-cv"}, "COM1, continuous, verbose, sdram, flash"},
      {{"bogus", "words"}, "COM1, sdram, flash"},
      {{"-p", "x"}, "COM0, sdram, flash"},
      {{"-p", "-3"}, "COM-3, sdram, flash"},
      {{"-p12"}, "COM12, sdram, flash"},
      {{"-p", "/dev/pts/7"}, "COM1 /dev/pts/7, sdram, flash"},
      {{"-p", "/dev/pts/7", "-p", "2"}, "COM2, sdram, flash"},
  };
  for (const auto &c : cases) {
    outcome p = parse(c.args);
    SCOPED_TRACE(testing::PrintToString(c.args));
    EXPECT_EQ(-1, p.status);
    EXPECT_EQ("", p.err);
    EXPECT_EQ(c.selects, selected(p));
  }
}

TEST(CommandLine, ErrorsPrintTheUsageTextAndNothingElse) {
  std::vector<std::vector<std::string>> cases = {
      {"-h"}, {"-x"}, {"-l"}, {"-p"}, {"memory"}, {"-v", "SDRAM"}, {"--help"},
  };
  for (const auto &args : cases) {
    outcome p = parse(args);
    SCOPED_TRACE(testing::PrintToString(args));
    EXPECT_EQ(1, p.status);
    EXPECT_TRUE(is_usage(p.err)) << p.err;
    EXPECT_EQ("", p.out);
  }
}

TEST(CommandLine, LogFilesOpenAsTheyStand) {
  const std::string dir = temp_dir("korvane-opts");
  ASSERT_NE("", dir);
  const std::string first = dir + "/first.log", second = dir + "/second.log";

  // A -l before a later error has created its file and said so.
  outcome p = parse({"-l", first, "-x"});
  EXPECT_EQ(1, p.status);
  EXPECT_EQ("Logging to '" + first + "'\n", p.out);
  EXPECT_TRUE(is_usage(p.err));
  struct stat st;
  EXPECT_EQ(0, stat(first.c_str(), &st));

  // Two -l: both created, the second is the one in use.
  p = parse({"-l", first, "-l", second});
  EXPECT_EQ(-1, p.status);
  EXPECT_EQ("Logging to '" + first + "'\nLogging to '" + second + "'\n", p.out);
  EXPECT_EQ(0, stat(second.c_str(), &st));

  std::string missing = dir + "/no/such/dir.log";
  p = parse({"-l", missing, "-h"});
  EXPECT_EQ(1, p.status);
  EXPECT_EQ(
      "Could not open logfile '" + missing + "'.\n" + missing + ": No such file or directory\n",
      p.err);

  // A FIFO is refused at once when nobody reads it, and taken when someone
  // does.
  const std::string fifo = dir + "/fifo";
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  p = parse({"-l", fifo});
  EXPECT_EQ(1, p.status);
  EXPECT_EQ("Could not open logfile '" + fifo + "'.\n" + fifo + ": Is a FIFO with no reader\n",
            p.err);
  EXPECT_EQ("", p.out);
  int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  p = parse({"-l", fifo});
  EXPECT_EQ(-1, p.status);
  EXPECT_EQ("Logging to '" + fifo + "'\n", p.out);
  close(reader);

  remove_tree(dir);
}

// Tests run side by side under ctest, so each process logs to its own file.
std::string log_path() { return "/tmp/korvane_run_test." + std::to_string(getpid()) + ".log"; }

TEST(Run, APortThatDoesNotOpenEndsWithStatusOne) {
  scripted_link_reset(replies({}));
  scripted_link_fail_open();
  outcome o = call(korvane_run, {"-l", log_path(), "-p", "4"});
  EXPECT_EQ(1, o.status);
  EXPECT_EQ(4, serial_log.opened_port);
  EXPECT_FALSE(serial_log.configured);
  EXPECT_FALSE(log_file_is_open());
  EXPECT_EQ("Logging to '" + log_path() + "'\n", o.out);
  std::remove(log_path().c_str());
}

// The -p number as atoi reads it, except where atoi would pick a port the
// user did not name: out of the range of int, or no number at all.
TEST(Run, APortArgumentThatNamesNoNumberOpensNothing) {
  const int NOT_OPENED = -99;
  struct {
    const char *arg;
    int opened;
    const char *err;
  } cases[] = {
      {"4294967297", NOT_OPENED,
       "Could not open serial port 4294967297.\n4294967297: Port number out of range\n"},
      {"-2147483649", NOT_OPENED,
       "Could not open serial port -2147483649.\n-2147483649: Port number out of range\n"},
      {"ttyUSB0", NOT_OPENED,
       "Could not open serial port COM0.\n"
       "ttyUSB0: no such port number; give a device path such as /dev/ttyUSB0\n"},
      // A Windows name of a port: its number is the argument, on every build.
      {"COM3", NOT_OPENED,
       "Could not open serial port COM0.\nCOM3: no such port number; give the number: -p 3\n"},
      {"\\\\.\\COM12", NOT_OPENED,
       "Could not open serial port COM0.\n\\\\.\\COM12: no such port number; give the number: -p "
       "12\n"},
      {"\\\\.\\CNCA0", NOT_OPENED,
       "Could not open serial port COM0.\n"
       "\\\\.\\CNCA0: no such port number; give a device path such as /dev/CNCA0\n"},
      {"2147483647", 2147483647, "Could not open serial port COM2147483647.\n"},
      {"-2147483648", -2147483647 - 1, "Could not open serial port COM-2147483648.\n"},
      {"12abc", 12, "Could not open serial port COM12.\n"},
      {"", 0, "Could not open serial port COM0.\n"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.arg);
    scripted_link_reset(replies({}));
    scripted_link_fail_open();
    outcome o = call(korvane_run, {"-p", c.arg});
    EXPECT_EQ(1, o.status);
    EXPECT_EQ(c.opened, serial_log.opened_port);
    EXPECT_EQ(c.err, o.err);
    EXPECT_EQ("", o.out);
  }
}

TEST(Run, ACancelledDownloadIsReportedAndEverythingClosed) {
  // Wake-up answered after one silent try, then the receiver cancels.
  scripted_link_reset(replies({SILENCE, 0x15, 0x18, 0x18}));
  outcome o = call(korvane_run, {"-l", log_path()});
  EXPECT_EQ(1, o.status);
  EXPECT_EQ("Xmodem download failed: -1.\n", o.err);
  EXPECT_EQ("Logging to '" + log_path() + "'\nWaiting for the board to wake up...\r" +
                std::string(31, ' ') + "\r",
            o.out);
  EXPECT_TRUE(serial_log.configured);
  EXPECT_TRUE(serial_log.closed);
  EXPECT_FALSE(log_file_is_open());
  std::remove(log_path().c_str());
}

}  // namespace
